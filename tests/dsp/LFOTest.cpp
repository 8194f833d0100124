#include "dsp/LFO.h"

#include "dsp/LFOGate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx {
namespace {

TEST(LFO, SineTableHoldsOneCycle) {
    const float* t = LFO::sineTable();
    for (int k = 0; k < 2048; k += 7) {
        ASSERT_NEAR(t[k], std::sin(2.0 * 3.14159265358979323846 * k / 2048.0), 2e-7) << k;
    }
    EXPECT_EQ(t[0], 0.0f);
    EXPECT_FLOAT_EQ(t[512], 1.0f);
    EXPECT_FLOAT_EQ(t[1536], -1.0f);
}

TEST(LFO, OneHertzCompletesOneCycleIn44100Samples) {
    LFO lfo;
    int wraps = 0;
    double last = lfo.phase;
    for (int i = 0; i < 44100; ++i) {
        lfo.tick(0.0f);
        if (lfo.phase < last) {
            ++wraps;
        }
        last = lfo.phase;
    }
    EXPECT_EQ(wraps, 1);
    EXPECT_TRUE(lfo.phase < 1e-6 || lfo.phase > 2048.0 - 1e-6) << lfo.phase;
}

TEST(LFO, TickIsTheUninterpolatedTableTimesLevel) {
    LFO lfo;
    lfo.level = 0.5f;
    lfo.increment = 3.5; // entries per sample
    const float* t = LFO::sineTable();
    EXPECT_EQ(lfo.tick(0.0f), 0.5f * t[0]);
    EXPECT_EQ(lfo.tick(0.0f), 0.5f * t[3]);
    EXPECT_EQ(lfo.tick(0.0f), 0.5f * t[7]);
}

TEST(LFO, TickInterpolatedIgnoresLevelAndWrapsTheNeighbour) {
    LFO lfo;
    lfo.level = 0.1f;
    const float* t = LFO::sineTable();
    lfo.phase = 10.25;
    EXPECT_FLOAT_EQ(lfo.tickInterpolated(0.0f), 0.25f * t[11] + 0.75f * t[10]);
    lfo.phase = 2047.98; // the neighbour of the last entry is entry 0
    EXPECT_NEAR(lfo.tickInterpolated(0.0f), 0.98f * t[0] + 0.02f * t[2047], 1e-6);
    EXPECT_NEAR(lfo.phase, 2047.98 + 2048.0 / 44100.0 - 2048.0, 1e-9); // wrapped
}

TEST(LFO, Tick4FillsFourSuccessiveTicks) {
    LFO a, b;
    a.setFrequency(300.0f);
    b.setFrequency(300.0f);
    a.tick4();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.out4[i], b.tick(0.0f)) << i;
    }
    EXPECT_EQ(a.phase, b.phase);
}

TEST(LFO, SetFrequencyIgnoresScaleAndOffset) {
    LFO lfo;
    lfo.frequencyScale = 3.0f;
    lfo.frequencyOffset = 7.0f;
    lfo.setFrequency(2.0f);
    EXPECT_DOUBLE_EQ(lfo.increment, 2.0 * 2048.0 / 44100.0);
}

TEST(LFO, NegativeOrHugeRatesKeepThePhaseInTheTable) {
    LFO lfo;
    for (const float f : {-8.0f, 1e6f, -1e6f}) {
        lfo.setFrequency(f);
        for (int i = 0; i < 2000; ++i) {
            lfo.tick(0.0f);
            lfo.tickInterpolated(0.0f);
            ASSERT_GE(lfo.phase, 0.0);
            ASSERT_LT(lfo.phase, 2048.0);
        }
    }
}

} // namespace
} // namespace vx
