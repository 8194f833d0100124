#include "dsp/ChorusFlanger.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(ChorusFlanger, BuiltWithFreeModeLinesAndASlowLfo) {
    ChorusFlanger c;
    EXPECT_EQ(c.sampleRate, 44100.0f);
    EXPECT_EQ(c.dry, 0.5f);
    EXPECT_EQ(c.depth, 0.05f);
    EXPECT_EQ(c.baseDelaySeconds, 0.05f);
    EXPECT_FLOAT_EQ(c.baseDelaySamples, 2205.0f);
    EXPECT_FLOAT_EQ(c.lfo1.frequency, 0.2f);
    EXPECT_NEAR(c.lfo1.increment, 0.2 * 2048.0 / 44100.0, 1e-8);
    for (const MDelay* d : {&c.delayL, &c.delayR}) {
        EXPECT_TRUE(d->freeMode);
        EXPECT_EQ(d->feedback, 0.5f);
        EXPECT_EQ(d->wet, 0.5f);
        EXPECT_FLOAT_EQ(d->delayLength, 2205.0f);
        EXPECT_EQ(d->lineL.size(), 131072u);
    }
}

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

TEST(ChorusFlanger, ResetRestartsBothLfosAndSilencesBothLines) {
    ChorusFlanger c;
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
    EXPECT_FLOAT_EQ(c.lfo1.frequency, 0.2f);
}

TEST(ChorusFlanger, SampleRateReachesEveryInnerModule) {
    ChorusFlanger c;
    c.setSampleRate(48000.0f);
    EXPECT_EQ(c.sampleRate, 48000.0f);
    EXPECT_FLOAT_EQ(c.baseDelaySamples, 2400.0f);
    EXPECT_DOUBLE_EQ(c.lfo1.tableScale, 2048.0 / 48000.0);
    EXPECT_DOUBLE_EQ(c.lfo2.tableScale, 2048.0 / 48000.0);
    EXPECT_EQ(c.delayL.sampleRate, 48000.0f);
    EXPECT_EQ(c.delayR.sampleRate, 48000.0f);
}

} // namespace
} // namespace vx
