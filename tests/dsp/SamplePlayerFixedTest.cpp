#include "dsp/SamplePlayerFixed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace vx {
namespace {

// Interleaved stereo frames whose left sample is the frame index + 1 and right its negative.
std::unique_ptr<float[]> rampFrames(int frames) {
    auto out = std::make_unique<float[]>(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        out[size_t(2 * i)] = float(i + 1);
        out[size_t(2 * i + 1)] = -float(i + 1);
    }
    return out;
}

TEST(SamplePlayerFixed, StartsEmptyStoppedAndAtGainOneAndAHalf) {
    SamplePlayerFixed p;
    EXPECT_TRUE(p.finished.load());
    EXPECT_EQ(p.playPos.load(), 0x7FFFFFFFu);
    EXPECT_EQ(p.frameCount(), 0);
    EXPECT_EQ(p.level, 1.5f);
    EXPECT_FALSE(p.isPlaying());
    p.noteOn(); // nothing loaded: stays finished
    EXPECT_EQ(p.playPos.load(), 0u);
    EXPECT_FALSE(p.isPlaying());
}

TEST(SamplePlayerFixed, EveryStopPutsThePositionPastTheEnd) {
    SamplePlayerFixed p;
    p.setSamples(rampFrames(11), 10);
    for (int way = 0; way < 3; ++way) {
        p.noteOn();
        ASSERT_TRUE(p.isPlaying());
        if (way == 0) {
            p.noteOff();
        } else if (way == 1) {
            p.stop();
        } else {
            p.reset();
        }
        EXPECT_FALSE(p.isPlaying()) << way;
        EXPECT_EQ(p.playPos.load(), SamplePlayerFixed::kPastEnd) << way;
    }
    EXPECT_EQ(p.rewind(), 1);
    EXPECT_EQ(p.playPos.load(), 0u);
    EXPECT_TRUE(p.isPlaying());
}

// A 1000-frame sound has 999 playable frames; cycles shorter than what remains mix only their
// own length and continue next cycle; the pad reports finished on the cycle after its end.
TEST(SamplePlayerFixed, MixesItsFramesScaledAcrossCyclesAndThenFinishes) {
    SamplePlayerFixed p;
    p.setSamples(rampFrames(1000), 999);
    p.level = 0.5f;
    p.noteOn();
    std::vector<float> out(2 * 400, 0.25f);
    int played = 0;
    for (int cycle = 0; cycle < 3; ++cycle) {
        std::fill(out.begin(), out.end(), 0.25f);
        p.mixInto(out.data(), 400);
        const int expected = std::min(400, 999 - played);
        for (int i = 0; i < 400; ++i) {
            const float want = i < expected ? 0.25f + 0.5f * float(played + i + 1) : 0.25f;
            ASSERT_EQ(out[size_t(2 * i)], want) << cycle << " " << i;
            ASSERT_EQ(out[size_t(2 * i + 1)],
                      i < expected ? 0.25f - 0.5f * float(played + i + 1) : 0.25f);
        }
        played += expected;
        EXPECT_TRUE(p.isPlaying()) << cycle; // still "playing" until the next cycle finds the end
    }
    EXPECT_EQ(played, 999);
    p.mixInto(out.data(), 400);
    EXPECT_FALSE(p.isPlaying());
}

TEST(SamplePlayerFixed, ASecondPressRestartsWithoutDoublingTheLevel) {
    SamplePlayerFixed p;
    p.setSamples(rampFrames(100), 99);
    p.level = 1.0f;
    p.noteOn();
    std::vector<float> out(2 * 10, 0.0f);
    p.mixInto(out.data(), 10);
    p.noteOn();
    std::fill(out.begin(), out.end(), 0.0f);
    p.mixInto(out.data(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(out[size_t(2 * i)], float(i + 1)); // from the top, one voice
    }
}

TEST(SamplePlayerFixed, TickMonoReadsTheInterleavedBufferOneFloatAtATime) {
    SamplePlayerFixed p;
    p.setSamples(rampFrames(3), 2);
    p.level = 2.0f;
    p.noteOn();
    EXPECT_EQ(p.tickMono(), 2.0f);  // left of frame 0
    EXPECT_EQ(p.tickMono(), -2.0f); // right of frame 0
    EXPECT_TRUE(p.isPlaying());
    EXPECT_EQ(p.playPos.load(), 2u);
    EXPECT_EQ(p.tickMono(), 0.0f); // position 2 = frameCount: the end
    EXPECT_FALSE(p.isPlaying());
}

// The main thread reassigns and presses the pad while another thread mixes it as fast as it
// can: every mixed sample comes from one of the buffers (each holds one constant value), and
// no freed buffer is read (the sanitizer builds check the latter).
TEST(SamplePlayerFixed, ReassigningWhileTheRenderThreadMixesIsSafe) {
    SamplePlayerFixed p;
    p.level = 1.0f;
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread render([&] {
        std::vector<float> out(2 * 64);
        while (!stop.load()) {
            std::fill(out.begin(), out.end(), 0.0f);
            p.mixInto(out.data(), 64);
            for (float v : out) {
                if (v != 0.0f && (v < 1.0f || v > 40.0f || v != float(int(v)))) {
                    bad.fetch_add(1);
                }
            }
        }
    });
    for (int round = 0; round < 400; ++round) {
        const int frames = 50 + (round * 37) % 500;
        auto buffer = std::make_unique<float[]>(size_t(frames) * 2);
        std::fill(buffer.get(), buffer.get() + 2 * frames, float(1 + round % 40));
        p.setSamples(std::move(buffer), frames - 1);
        p.noteOn();
        std::this_thread::yield();
    }
    stop.store(true);
    render.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(p.frameCount(), 0);
}

} // namespace
} // namespace vx
