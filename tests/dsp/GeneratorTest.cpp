#include "dsp/Generator.h"

#include "dsp/LFO.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx {
namespace {

TEST(Generator, SetFrequencyAppliesScaleAndOffsetAndClearsTheTableOffset) {
    Generator g;
    g.frequencyScale = 2.0f;
    g.frequencyOffset = 10.0f;
    g.tableOffset = 5;
    g.setFrequency(100.0f);
    EXPECT_EQ(g.frequency, 100.0f);
    EXPECT_DOUBLE_EQ(g.increment, 210.0 * 2048.0 / 44100.0);
    EXPECT_EQ(g.tableOffset, 0);
}

TEST(Generator, SetSampleRateRescalesTheTableButKeepsTheIncrement) {
    Generator g;
    const double before = g.increment;
    g.setSampleRate(22050.0f);
    EXPECT_DOUBLE_EQ(g.tableScale, 2048.0 / 22050.0);
    EXPECT_EQ(g.increment, before);
    g.setFrequency(440.0f);
    EXPECT_DOUBLE_EQ(g.increment, 440.0 * 2048.0 / 22050.0);
}

TEST(Generator, UpdateIndexWrapsAndSplitsThePhase) {
    Generator g;
    g.phase = 2047.25;
    g.updateIndex();
    EXPECT_EQ(g.index, 2047);
    EXPECT_EQ(g.nextIndex, 0);
    EXPECT_FLOAT_EQ(g.frac, 0.25f);
    EXPECT_FLOAT_EQ(g.oneMinusFrac, 0.75f);
    g.phase = 2048.5;
    g.updateIndex();
    EXPECT_DOUBLE_EQ(g.phase, 0.5);
    EXPECT_EQ(g.index, 0);
    EXPECT_EQ(g.nextIndex, 1);
}

TEST(Generator, RestartAndResetReturnToPhaseZeroAtTheStoredFrequency) {
    Generator g;
    g.phase = 700.3;
    g.updateIndex();
    g.frequency = 50.0f;
    g.reset();
    EXPECT_EQ(g.phase, 0.0);
    EXPECT_EQ(g.index, 0);
    EXPECT_DOUBLE_EQ(g.increment, 50.0 * 2048.0 / 44100.0);
}

TEST(Generator, TickReturnsTheValueAtThePreviousPhaseAndModulatesTheRate) {
    Generator g;
    const float* t = LFO::sineTable();
    g.table = t;
    g.increment = 10.5;
    g.phase = 100.25;
    g.updateIndex();
    // Value from the weights of phase 100.25; the phase then moves by 10.5 × (1 + 0.99 × 0.5).
    const float y = g.tick(0.5f);
    EXPECT_FLOAT_EQ(y, 0.25f * t[101] + 0.75f * t[100]);
    EXPECT_NEAR(g.phase, 100.25 + 10.5 * 1.495, 1e-9);
    EXPECT_EQ(g.index, 115);
    const float y2 = g.tick(0.0f);
    const double p = 100.25 + 10.5 * 1.495;
    const float f = static_cast<float>(p - 115);
    EXPECT_FLOAT_EQ(y2, f * t[116] + (1.0f - f) * t[115]);
}

TEST(Generator, ProcessAddAddsTheTableAndAdvances) {
    Generator g;
    const float* t = LFO::sineTable();
    g.table = t;
    g.increment = 512.0; // a quarter of the table per sample
    float out[5] = {1, 1, 1, 1, 1};
    g.processAdd(nullptr, out, 5);
    EXPECT_FLOAT_EQ(out[0], 1.0f + t[0]);
    EXPECT_FLOAT_EQ(out[1], 1.0f + t[512]);
    EXPECT_FLOAT_EQ(out[2], 1.0f + t[1024]);
    EXPECT_FLOAT_EQ(out[4], 1.0f + t[0]);
    EXPECT_EQ(g.phase, 512.0 * 5 - 2048.0);
}

TEST(Generator, WithoutATableItIsSilent) {
    Generator g;
    EXPECT_EQ(g.tick(0.0f), 0.0f);
    float out[3] = {0.5f, 0.5f, 0.5f};
    g.processAdd(nullptr, out, 3);
    EXPECT_EQ(out[2], 0.5f);
}

TEST(Generator, PhaseStaysInTheTableForAnyRate) {
    Generator g;
    g.table = LFO::sineTable();
    for (const double inc : {-3.7, 5000.0, -1e7, 2048.0}) {
        g.increment = inc;
        for (int i = 0; i < 1000; ++i) {
            g.tick(-1.0f);
            g.tick(1.0f);
            ASSERT_GE(g.phase, 0.0);
            ASSERT_LT(g.phase, 2048.0);
            ASSERT_GE(g.index, 0);
            ASSERT_LT(g.index, 2048);
        }
    }
}

} // namespace
} // namespace vx
