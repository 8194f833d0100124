#include "dsp/Phaser.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(Phaser, DefaultsSweep440To1600HzAtHalfAHertz) {
    Phaser p;
    EXPECT_FLOAT_EQ(p.dMin, 2.0f * 440.0f / 44100.0f);
    EXPECT_FLOAT_EQ(p.dMax, 2.0f * 1600.0f / 44100.0f);
    EXPECT_FLOAT_EQ(p.dRange, p.dMax - p.dMin);
    EXPECT_EQ(p.feedback, 0.7f);
    EXPECT_EQ(p.depth, 1.0f);
    EXPECT_EQ(p.feedbackL, 0.0f);
    EXPECT_EQ(p.feedbackR, 0.0f);
    EXPECT_EQ(p.lfo.frequency, 0.5f);
    EXPECT_NEAR(p.lfo.increment, 0.5 * 2048.0 / 44100.0, 1e-12);
    EXPECT_EQ(sizeof(p.coeff) + sizeof(p.state), 32 * sizeof(float));
}

TEST(Phaser, PadXIsTheRateInHertzAndYTheDepth) {
    Phaser p;
    p.padInput(0.3f, 0.6f);
    EXPECT_EQ(p.lfo.frequency, 0.3f);
    EXPECT_NEAR(p.lfo.increment, 0.3 * 2048.0 / 44100.0, 1e-7);
    EXPECT_EQ(p.depth, 0.6f);
}

TEST(Phaser, ResetKeepsTheSweepRunning) {
    Phaser p;
    p.lfo.phase = 1000.0;
    p.state[1][3] = 0.25f;
    p.reset();
    EXPECT_EQ(p.lfo.phase, 1000.0);
    EXPECT_EQ(p.state[1][3], 0.25f);
}

} // namespace
} // namespace vx
