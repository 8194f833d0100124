#include "dsp/Bitcrusher.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vx {
namespace {

// bits = 16 − 7.04 x (clamped to 1…16), levels 2^bits; the hold advances 1 − 0.99 y a frame.
TEST(Bitcrusher, XSetsFractionalBitsAndYTheHoldRate) {
    const struct {
        float x, y;
        double bits, hold;
    } cases[] = {{0.0f, 0.0f, 16.0, 1.0},    {1.0f, 1.0f, 8.96, 0.01},
                 {0.5f, 0.5f, 12.48, 0.505}, {0.25f, 0.75f, 14.24, 0.2575},
                 {3.0f, 0.0f, 1.0, 1.0},    // clamped low
                 {-1.0f, 0.0f, 16.0, 1.0}}; // clamped high
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        Bitcrusher b;
        b.padInput(c.x, c.y);
        EXPECT_NEAR(b.bits, c.bits, 1e-5);
        EXPECT_NEAR(b.levels, std::pow(2.0, c.bits), 1e-5 * std::pow(2.0, c.bits));
        EXPECT_NEAR(b.holdIncrement, c.hold, 1e-6);
    }
}

TEST(Bitcrusher, ResetClearsThePhaseAndTheLeftHeldValueOnly) {
    Bitcrusher b;
    b.holdPhase = 0.7f;
    b.heldL = 0.3f;
    b.heldR = -0.3f;
    b.reset();
    EXPECT_EQ(b.holdPhase, 0.0f);
    EXPECT_EQ(b.heldL, 0.0f);
    EXPECT_EQ(b.heldR, -0.3f);
}

// Y = 0 takes a new sample every frame; each is the level at or below the input, on a grid of
// `levels` steps per unit (fractional at x > 0).
TEST(Bitcrusher, EveryFrameIsFlooredToTheLevelGrid) {
    for (const float x : {0.0f, 0.5f, 1.0f}) {
        SCOPED_TRACE(x);
        Bitcrusher stereo, mono;
        stereo.padInput(x, 0.0f);
        mono.padInput(x, 0.0f);
        const double levels = stereo.levels; // the pad mapping is checked above
        const std::vector<float> in = test::noise(2 * 20000, 21);
        std::vector<float> io = in;
        stereo.processStereo(io.data(), 20000);
        for (size_t i = 0; i < io.size(); ++i) {
            const double out = io[i];
            const double steps = out * levels;
            ASSERT_LE(out, in[i] + 1e-7) << i; // the float division may round up by an ulp
            ASSERT_LT(in[i] - out, 1.0 / levels) << i;
            ASSERT_NEAR(steps, std::round(steps), 1e-3) << i;
            if (x == 0.0f) {
                ASSERT_EQ(out, std::floor(65536.0 * in[i]) / 65536.0) << i;
            }
            if (i % 2 == 0) {
                ASSERT_EQ(mono.tick(in[i]), io[i]) << i;
            }
        }
    }
}

TEST(Bitcrusher, FullHoldTakesANewSampleEveryHundredFrames) {
    Bitcrusher b;
    b.padInput(0.0f, 1.0f);
    const int frames = 20000;
    std::vector<float> io(2 * frames);
    for (int k = 0; k < frames; ++k) {
        io[2 * static_cast<size_t>(k)] = -0.9f + 9e-5f * static_cast<float>(k); // rising ramp
        io[2 * static_cast<size_t>(k) + 1] = -io[2 * static_cast<size_t>(k)];
    }
    const std::vector<float> in = io;
    b.processStereo(io.data(), frames);
    // Until the first take the held values are the initial zeros. 100 × 0.01f sums to just
    // below 1 in float, so the first take is on the 101st frame; after that every 100th.
    for (int k = 0; k < frames; ++k) {
        const int source = k < 100 ? -1 : 100 + (k - 100) / 100 * 100;
        for (int ch = 0; ch < 2; ++ch) {
            const double expected =
                source < 0
                    ? 0.0
                    : std::floor(65536.0 * in[2 * static_cast<size_t>(source) + ch]) / 65536.0;
            ASSERT_EQ(io[2 * static_cast<size_t>(k) + ch], expected) << k << " ch " << ch;
        }
    }
}

TEST(Bitcrusher, ProcessFrameQuantisesOnlyWhereTheHoldPhaseWraps) {
    Bitcrusher b;
    b.holdIncrement = 0.5f;
    b.levels = 4.0f;
    const float in[4] = {0.3f, 0.3f, -0.3f, 0.7f};
    float out[4];
    for (int pass = 0; pass < 2; ++pass) { // the phase carries over between calls
        b.processFrame(in, out);
        EXPECT_EQ(out[0], 0.3f);
        EXPECT_EQ(out[1], 0.25f);
        EXPECT_EQ(out[2], -0.3f);
        EXPECT_EQ(out[3], 0.5f);
    }
    EXPECT_EQ(b.heldL, 0.0f);
}

} // namespace
} // namespace vx
