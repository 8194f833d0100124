#include "dsp/AMRepeater.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vx {
namespace {

// S = {1/2, 1/4, 1/8, 1/16, 1/32} beat by nearest(4x), truncated; at 120 BPM a beat is 22050
// frames.
TEST(AMRepeater, XChoosesTheSliceByNearestAndTruncates) {
    const struct {
        float x;
        float tempo;
        int expected;
    } cases[] = {{0.0f, 120.0f, 11025},  {0.125f, 120.0f, 5512}, {0.25f, 120.0f, 5512},
                 {0.375f, 120.0f, 2756}, {0.5f, 120.0f, 2756},   {0.625f, 120.0f, 1378},
                 {0.875f, 120.0f, 689},  {1.0f, 120.0f, 689},    {0.0f, 45.0f, 29400},
                 {0.0f, 40.0f, 29400}, // 33075 does not fit the buffer
                 {0.0f, 128.0f, 10335}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "x=" << c.x << " at " << c.tempo);
        AMRepeater r;
        r.setTempo(c.tempo);
        r.padInput(c.x, 1.0f);
        EXPECT_EQ(r.sliceLength, c.expected);
    }
}

// R = {1, 2, 4, 6, 8} passes by nearest(4y).
TEST(AMRepeater, YChoosesTheRepeatCountByNearest) {
    const struct {
        float y;
        int expected;
    } cases[] = {{0.0f, 1}, {0.12f, 1},  {0.125f, 2}, {0.375f, 4},
                 {0.5f, 4}, {0.625f, 6}, {0.875f, 8}, {1.0f, 8}};
    for (const auto& c : cases) {
        AMRepeater r;
        r.padInput(0.0f, c.y);
        EXPECT_EQ(r.repeatCount, c.expected) << "y=" << c.y;
    }
}

// A pad move that shortens the slice below the position ends the pass: the slice restarts and
// the next repeat begins (wrapping to capture after the last); fewer repeats than the index
// restart the cycle.
TEST(AMRepeater, PadMovesRestartTheSliceOrTheCycleWhenThePositionNoLongerFits) {
    const struct {
        const char* name;
        float y0; // first pad move at x = 0 (11025 frames)
        int slicePos, repeatIndex;
        float x1, y1; // second pad move
        int expectPos, expectIndex;
    } cases[] = {
        {"shorter slice: next repeat", 0.5f, 6000, 1, 0.25f, 0.5f, 0, 2},
        {"past the last repeat: capture", 0.5f, 6000, 3, 0.25f, 0.5f, 0, 0},
        {"slice still long enough", 0.5f, 3000, 1, 0.25f, 0.5f, 3000, 1}, // 5512 > 3000
        {"fewer repeats than the index", 1.0f, 0, 5, 0.0f, 0.25f, 0, 0},  // 8 → 2 passes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AMRepeater r;
        r.padInput(0.0f, c.y0);
        r.slicePos = c.slicePos;
        r.repeatIndex = c.repeatIndex;
        r.padInput(c.x1, c.y1);
        EXPECT_EQ(r.slicePos, c.expectPos);
        EXPECT_EQ(r.repeatIndex, c.expectIndex);
    }
}

TEST(AMRepeater, SetTempoRecomputesTheSliceAndResyncs) {
    AMRepeater r;
    r.padInput(0.0f, 1.0f); // 11025 frames at 120
    r.slicePos = 10000;
    r.repeatIndex = 2;
    r.frameCounter = 1000;
    r.resync = false;
    r.setTempo(240.0f); // 5512 frames
    EXPECT_EQ(r.sliceLength, 5512);
    EXPECT_EQ(r.slicePos, 0);
    EXPECT_EQ(r.repeatIndex, 3);
    EXPECT_TRUE(r.resync);
    EXPECT_EQ(r.nextBoundary, 11025u);
}

TEST(AMRepeater, DegenerateTemposKeepTheSliceInsideTheBuffer) {
    AMRepeater r;
    for (const float t : {0.0f, -120.0f, 1e9f}) {
        r.setTempo(t);
        EXPECT_GE(r.sliceLength, 1) << t;
        EXPECT_LE(r.sliceLength, AMRepeater::kSliceFrames) << t;
    }
}

TEST(AMRepeater, ResetRestartsCountingAndSilencesTheSlices) {
    AMRepeater r;
    r.frameCounter = 12345;
    r.slicePos = 17;
    r.repeatIndex = 2;
    r.sliceL[100] = 0.5f;
    r.sliceR[29399] = -0.5f;
    r.reset();
    EXPECT_EQ(r.frameCounter, 0u);
    EXPECT_FALSE(r.resync);
    EXPECT_EQ(r.slicePos, 0);
    EXPECT_EQ(r.repeatIndex, 0);
    EXPECT_EQ(r.sliceL[100], 0.0f);
    EXPECT_EQ(r.sliceR[29399], 0.0f);
}

void processInBlocks(AMRepeater& r, std::vector<float>& io, int block) {
    const int frames = static_cast<int>(io.size() / 2);
    for (int start = 0; start < frames; start += block) {
        r.processStereo(io.data() + 2 * start, std::min(block, frames - start));
    }
}

TEST(AMRepeater, OneOrNoRepeatPassesTheAudioThroughAndKeepsCounting) {
    for (const float y : {-1.0f, 0.0f, 0.1f}) { // −1: pad never touched, count 0
        AMRepeater r;
        if (y >= 0.0f) {
            r.padInput(0.3f, y);
        }
        r.alignToCounter(1000);
        const std::vector<float> in = test::noise(2 * 30000, 9);
        std::vector<float> io = in;
        processInBlocks(r, io, 512);
        EXPECT_EQ(io, in) << "y=" << y;
        EXPECT_EQ(r.frameCounter, 31000u) << "y=" << y;
        // Leaving the bypass resyncs on the deck's grid, not on the count at alignment.
        r.padInput(0.3f, 1.0f);
        EXPECT_EQ(r.nextBoundary, 44100u) << "y=" << y;
    }
}

// The frame counted `boundary` closes the old cycle; capture starts on the next one. 120 BPM:
// beats of 22050 frames. 128 BPM: 20671.875, the first boundary truncated; a quarter beat
// trunc(5167.96875).
TEST(AMRepeater, CapturesFromTheBeatThenReplaysTheSlice) {
    const struct {
        float tempo, x, y;
        uint64_t alignedAt;
        uint64_t boundary; // first beat boundary after alignedAt
        int slice, passes;
    } cases[] = {{120.0f, 0.0f, 1.0f, 1000, 22050, 11025, 8},
                 {120.0f, 0.5f, 0.5f, 30000, 44100, 2756, 4},
                 {128.0f, 0.25f, 0.75f, 1000, 20671, 5167, 6},
                 {120.0f, 1.0f, 0.25f, 0, 22050, 689, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tempo << " BPM, slice " << c.slice);
        AMRepeater r;
        r.setTempo(c.tempo);
        r.padInput(c.x, c.y);
        r.reset(); // as an engage does, then the deck aligns the counter
        r.alignToCounter(c.alignedAt);
        const int first = static_cast<int>(c.boundary - c.alignedAt) + 1;
        const int cycle = c.slice * c.passes;
        const std::vector<float> in = test::noise(2 * static_cast<size_t>(first + 2 * cycle), 4);
        std::vector<float> io = in;
        processInBlocks(r, io, 700);
        for (int j = 0; j < 2 * cycle; ++j) {
            const int pass = (j / c.slice) % c.passes;
            const int source = pass == 0 ? first + j : first + (j / cycle) * cycle + j % c.slice;
            for (int ch = 0; ch < 2; ++ch) {
                ASSERT_EQ(io[2 * static_cast<size_t>(first + j) + ch],
                          in[2 * static_cast<size_t>(source) + ch])
                    << "frame " << first + j << " pass " << pass << " channel " << ch;
            }
        }
        EXPECT_FALSE(r.resync);
    }
}

} // namespace
} // namespace vx
