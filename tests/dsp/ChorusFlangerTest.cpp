#include "dsp/ChorusFlanger.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace vx {
namespace {

TEST(ChorusFlanger, PadSetsTheRateAndTheWetLevelOfBothLines) {
    ChorusFlanger c;
    const double lfo2Increment = c.lfo2.increment;
    c.padInput(0.4f, 0.3f);
    EXPECT_FLOAT_EQ(c.rate, 2.01f);
    EXPECT_FLOAT_EQ(c.lfo1.frequency, 2.01f);
    EXPECT_NEAR(c.lfo1.increment, 2.01 * 2048.0 / 44100.0, 1e-6);
    EXPECT_EQ(c.lfo2.increment, lfo2Increment);
    EXPECT_EQ(c.delayL.wet, 0.3f);
    EXPECT_EQ(c.delayR.wet, 0.3f);
    c.padInput(0.0f, 0.0f);
    EXPECT_FLOAT_EQ(c.rate, 0.01f);
}

TEST(ChorusFlanger, ResetRestartsBothLfosAndSilencesBothLinesKeepingThePad) {
    ChorusFlanger c;
    c.padInput(0.4f, 0.3f);
    c.lfo1.phase = 99.0;
    c.lfo2.phase = 12.0;
    c.delayL.lineL[10] = 1.0f;
    c.delayR.lineL[20] = 1.0f;
    c.delayR.writeIndex = 50;
    c.reset();
    EXPECT_EQ(c.lfo1.phase, 0.0);
    EXPECT_EQ(c.lfo2.phase, 0.0);
    EXPECT_EQ(c.delayL.lineL[10], 0.0f);
    EXPECT_EQ(c.delayR.lineL[20], 0.0f);
    EXPECT_EQ(c.delayR.writeIndex, 0);
    EXPECT_FLOAT_EQ(c.lfo1.frequency, 2.01f);
    EXPECT_NEAR(c.lfo1.increment, 2.01 * 2048.0 / 44100.0, 1e-6);
    EXPECT_EQ(c.delayL.wet, 0.3f);
}

TEST(ChorusFlanger, SampleRateReachesEveryInnerModule) {
    ChorusFlanger c;
    c.setSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(c.baseDelaySamples, 2400.0f);
    EXPECT_DOUBLE_EQ(c.lfo1.tableScale, 2048.0 / 48000.0);
    EXPECT_DOUBLE_EQ(c.lfo2.tableScale, 2048.0 / 48000.0);
    EXPECT_EQ(c.delayL.sampleRate, 48000.0f);
    EXPECT_EQ(c.delayR.sampleRate, 48000.0f);
}

TEST(ChorusFlanger, WetZeroGivesHalfTheInput) {
    ChorusFlanger stereo, mono;
    stereo.padInput(0.8f, 0.0f);
    mono.padInput(0.8f, 0.0f);
    const std::vector<float> in = test::noise(2 * 20000, 2);
    std::vector<float> io = in;
    stereo.processStereo(io.data(), 20000);
    for (size_t i = 0; i < io.size(); ++i) {
        ASSERT_EQ(io[i], 0.5f * in[i]) << i;
        if (i % 2 == 0) {
            ASSERT_EQ(mono.tick(in[i]), 0.5f * in[i]) << i;
        }
    }
}

// Sum and centre (in frames after `at`) of the wet output in frames [from, to).
std::pair<double, double> echoAt(const std::vector<float>& wet, int at, int from, int to) {
    double sum = 0.0, moment = 0.0;
    for (int k = from; k < to; ++k) {
        sum += wet[static_cast<size_t>(k)];
        moment += wet[static_cast<size_t>(k)] * (k - at);
    }
    return {sum, moment / sum};
}

// A rising ramp read back through a linearly interpolated line gives the ramp at n − length
// exactly, so the wet output measures the line's length at every frame.
TEST(ChorusFlanger, DelaySweepsBetweenAbout1047And1158Frames) {
    ChorusFlanger c;
    c.padInput(1.0f, 1.0f);   // 5.01 Hz, wet 1
    c.delayL.feedback = 0.0f; // the line holds the input alone
    c.delayR.feedback = 0.0f;
    const int frames = 2 * 44100;
    const double slope = 1e-5;
    std::vector<float> io(2 * frames);
    for (int k = 0; k < frames; ++k) {
        io[2 * static_cast<size_t>(k)] = static_cast<float>(slope * k);
        io[2 * static_cast<size_t>(k) + 1] = static_cast<float>(-slope * k);
    }
    const std::vector<float> in = io;
    const double increment = c.lfo1.increment;
    c.processStereo(io.data(), frames);
    double shortest = 1e9, longest = 0.0;
    for (int k = 2000; k < frames; ++k) {
        const size_t i = 2 * static_cast<size_t>(k);
        const double length = k - (io[i] - 0.5 * in[i]) / slope;
        const double lengthR = k + (io[i + 1] - 0.5 * in[i + 1]) / slope;
        // the sweep: the sine at the LFO's whole table index, not interpolated
        const double sweep =
            std::sin(2.0 * test::kPi * std::floor(std::fmod(k * increment, 2048.0)) / 2048.0);
        ASSERT_NEAR(length, 2205.0 / 2.0 * (1.0 + 0.05 * sweep), 0.02) << k;
        ASSERT_NEAR(lengthR, length, 0.02) << k;
        shortest = std::min(shortest, length);
        longest = std::max(longest, length);
    }
    // 2205 / 2 × (1 ± 0.05) = 1047.375 … 1157.625
    EXPECT_NEAR(shortest, 1047.375, 0.02);
    EXPECT_NEAR(longest, 1157.625, 0.02);
}

TEST(ChorusFlanger, ImpulseEchoesAtHalfTheBaseDelayWithHalfFeedback) {
    ChorusFlanger c; // 0.2 Hz, wet 0.5, feedback 0.5
    const int frames = 4000;
    std::vector<float> io(2 * frames, 0.0f);
    io[0] = 1.0f;
    c.processStereo(io.data(), frames);
    std::vector<float> wet(frames);
    for (int k = 1; k < frames; ++k) {
        wet[static_cast<size_t>(k)] = io[2 * static_cast<size_t>(k)];
    }
    EXPECT_EQ(io[0], 0.5f);
    // The LFO (0.2 Hz, from phase 0) moves 0.0093 table entries a frame: at index 10 around
    // frame 1100 and 20 around frame 2200, where the line is read for the echo and its repeat.
    const double near1100 = 1102.5 * (1.0 + 0.05 * std::sin(2.0 * test::kPi * 10.0 / 2048.0));
    const double near2200 = 1102.5 * (1.0 + 0.05 * std::sin(2.0 * test::kPi * 20.0 / 2048.0));
    const auto [first, firstAt] = echoAt(wet, 0, 1000, 1200);
    EXPECT_NEAR(first, 0.5, 0.005);
    EXPECT_NEAR(firstAt, near1100, 0.05);
    const auto [second, secondAt] = echoAt(wet, 0, 2100, 2400);
    EXPECT_NEAR(second, 0.25, 0.005);
    EXPECT_NEAR(secondAt, near1100 + near2200, 0.05);
    EXPECT_NEAR(echoAt(wet, 0, 1, 1000).first, 0.0, 1e-9);
}

} // namespace
} // namespace vx
