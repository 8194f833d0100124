#include "dsp/MDelay.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vx {
namespace {

// F = {1/16, 1/8, 1/4, 1/2, 1} beat by nearest(4x); at 120 BPM one beat is 22050 frames.
TEST(MDelay, XChoosesABeatFractionByNearest) {
    const struct {
        float x;
        float tempo;
        float expectedLength;
    } cases[] = {{0.0f, 120.0f, 1378.125f},
                 {0.1249f, 120.0f, 1378.125f},
                 {0.125f, 120.0f, 2756.25f}, // 4x = 0.5 rounds up
                 {0.3f, 120.0f, 2756.25f},
                 {0.375f, 120.0f, 5512.5f},
                 {0.5f, 120.0f, 5512.5f},
                 {0.625f, 120.0f, 11025.0f}, // 2.5 rounds up, not to even
                 {0.875f, 120.0f, 22050.0f},
                 {1.0f, 120.0f, 22050.0f},
                 {1.0f, 90.0f, 29400.0f},
                 {0.5f, 128.0f, 5167.96875f},
                 // clamps: 1 beat at 10 BPM would be 264600 frames
                 {1.0f, 10.0f, 131072.0f},
                 {0.0f, 1e7f, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "x=" << c.x << " at " << c.tempo);
        MDelay d;
        d.tempo = c.tempo;
        d.padInput(c.x, 0.5f);
        EXPECT_FLOAT_EQ(d.delayLength, c.expectedLength);
    }
}

TEST(MDelay, FreeModeLengthIsXSecondsClamped) {
    MDelay d;
    d.freeMode = true;
    d.padInput(0.5f, 0.5f);
    EXPECT_EQ(d.delayLength, 22050.0f);
    d.padInput(0.0f, 0.5f);
    EXPECT_EQ(d.delayLength, 1.0f);
    d.padInput(5.0f, 0.5f);
    EXPECT_EQ(d.delayLength, 131072.0f);
}

TEST(MDelay, YRampsTheFeedbackOver256Frames) {
    MDelay d;
    d.padInput(0.5f, 0.25f);
    EXPECT_TRUE(d.feedbackRamp.isOn());
    EXPECT_EQ(d.feedbackRamp.from.load(), 0.75f);
    EXPECT_EQ(d.feedbackRamp.to.load(), 0.25f);
    EXPECT_EQ(d.feedbackRamp.count.load(), 256);
    EXPECT_FLOAT_EQ(d.feedbackRamp.delta.load(), -0.5f / 256.0f);
    EXPECT_EQ(d.feedback, 0.75f); // the render path steps it
    // Ten steps, then a new target: the ramp continues from where it stands.
    float v = 0.0f;
    for (int i = 0; i < 10; ++i) {
        d.feedbackRamp.step(v);
    }
    d.padInput(0.5f, 1.0f);
    EXPECT_FLOAT_EQ(d.feedbackRamp.from.load(), 0.75f - 10 * 0.5f / 256.0f);
    EXPECT_EQ(d.feedbackRamp.count.load(), 256);
    EXPECT_FLOAT_EQ(d.feedbackRamp.delta.load(), (1.0f - v) / 256.0f);
}

// Synced, the length stays the same number of beats, counted in whole frames (the half frame of
// the default 5512.5 is dropped), clamped to the line; free, it stays the same time. A tempo of
// zero is no tempo: the length stays.
TEST(MDelay, TempoChangeKeepsTheBeatsInSyncAndTheTimeInFreeMode) {
    const struct {
        bool freeMode;
        float x, tempo, expected;
    } cases[] = {{false, 0.5f, 60.0f, 11024.0f},
                 {false, 0.5f, 240.0f, 2756.0f},
                 {false, 1.0f, 15.0f, 131072.0f}, // 8 × 22050 would not fit
                 {false, 1.0f, 0.0f, 22050.0f},
                 {true, 0.1f, 60.0f, 4410.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "free " << c.freeMode << " at " << c.tempo);
        MDelay d;
        d.freeMode = c.freeMode;
        d.padInput(c.x, 0.5f);
        d.setTempo(c.tempo);
        EXPECT_FLOAT_EQ(d.delayLength, c.expected);
        EXPECT_EQ(d.tempo, c.tempo > 0.0f ? c.tempo : 120.0f);
    }
}

TEST(MDelay, ResetSilencesBothLines) {
    MDelay d;
    d.lineL[5] = 1.0f;
    d.lineR[131071] = -1.0f;
    d.writeIndex = 777;
    d.reset();
    EXPECT_EQ(d.writeIndex, 0);
    EXPECT_EQ(d.lineL[5], 0.0f);
    EXPECT_EQ(d.lineR[131071], 0.0f);
    EXPECT_EQ(d.lineL.size(), 131072u);
}

// A fractional delay line with feedback computed directly from its definition, in double:
// y(n) = (1 − fr)·line(n − Li) + fr·line(n − Li − 1) for a length Li + fr,
// line(n) = x(n) + feedback·y(n). Returns y (the delayed signal alone).
std::vector<double> referenceEcho(const std::vector<float>& x, double length, double feedback) {
    const auto whole = static_cast<long>(std::floor(length));
    const double fr = length - static_cast<double>(whole);
    std::vector<double> line(x.size()), y(x.size());
    auto at = [&](long k) { return k >= 0 ? line[static_cast<size_t>(k)] : 0.0; };
    for (long n = 0; n < static_cast<long>(x.size()); ++n) {
        const auto i = static_cast<size_t>(n);
        y[i] = (1.0 - fr) * at(n - whole) + fr * at(n - whole - 1);
        line[i] = x[i] + feedback * y[i];
    }
    return y;
}

// Fractions are multiples of 1/4 so that writeIndex − length stays exact in float near 131072.
TEST(MDelay, StereoAndMonoMatchTheDirectComputation) {
    const struct {
        float length, feedback, wet;
        int frames;
    } cases[] = {{100.0f, 0.0f, 0.5f, 3000},
                 {100.25f, 0.0f, 0.5f, 3000},
                 {1.0f, 0.5f, 1.0f, 3000},
                 {333.75f, 0.6f, 0.8f, 140000},
                 {131072.0f, 0.5f, 0.5f, 300000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "length " << c.length << ", feedback " << c.feedback);
        std::vector<float> left(static_cast<size_t>(c.frames)), right(left.size());
        uint32_t state = 77;
        for (size_t i = 0; i < left.size(); ++i) {
            left[i] = test::noiseSample(state);
            right[i] = 0.5f * test::noiseSample(state);
        }
        MDelay stereo, mono;
        for (MDelay* d : {&stereo, &mono}) {
            d->delayLength = c.length;
            d->feedback = c.feedback;
            d->wet = c.wet;
        }
        std::vector<float> io(2 * left.size());
        for (size_t i = 0; i < left.size(); ++i) {
            io[2 * i] = left[i];
            io[2 * i + 1] = right[i];
        }
        for (int start = 0; start < c.frames; start += 1000) {
            stereo.processStereo(io.data() + 2 * start, std::min(1000, c.frames - start));
        }
        const std::vector<double> yL = referenceEcho(left, c.length, c.feedback);
        const std::vector<double> yR = referenceEcho(right, c.length, c.feedback);
        for (size_t i = 0; i < left.size(); ++i) {
            ASSERT_NEAR(io[2 * i], left[i] + c.wet * yL[i], 1e-5) << "frame " << i;
            ASSERT_NEAR(io[2 * i + 1], right[i] + c.wet * yR[i], 1e-5) << "frame " << i;
            ASSERT_NEAR(mono.tick(left[i]), c.wet * yL[i], 1e-5) << "frame " << i; // no dry part
        }
    }
}

TEST(MDelay, ImpulseAtOneBeatGivesASingleEchoOnceTheFeedbackRampedToZero) {
    MDelay d;
    d.padInput(1.0f, 0.0f); // 22050 frames at 120 BPM; feedback 0.75 → 0 over 256 frames
    std::vector<float> io(2 * 50000, 0.0f);
    io[0] = 1.0f;
    io[1] = -1.0f;
    d.processStereo(io.data(), 50000);
    for (size_t k = 1; k < 50000; ++k) {
        const float expected = k == 22050 ? 0.5f : 0.0f;
        ASSERT_EQ(io[2 * k], expected) << k;
        ASSERT_EQ(io[2 * k + 1], -expected) << k;
    }
}

TEST(MDelay, ProcessingStepsTheFeedbackRampOncePerFrame) {
    MDelay d;
    d.padInput(0.5f, 0.25f);
    std::vector<float> io(2 * 257, 0.0f);
    d.processStereo(io.data(), 1);
    EXPECT_FLOAT_EQ(d.feedback, 0.75f - 0.5f / 256.0f);
    d.processStereo(io.data(), 255);
    EXPECT_NEAR(d.feedback, 0.25f, 1e-5);
    EXPECT_TRUE(d.feedbackRamp.isOn());
    d.processStereo(io.data(), 1);
    EXPECT_EQ(d.feedback, 0.25f);
    EXPECT_FALSE(d.feedbackRamp.isOn());
}

} // namespace
} // namespace vx
