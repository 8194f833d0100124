#include "dsp/lphpFilter.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx {
namespace {

using test::gainAt;

TEST(lphpFilter, AFreshFilterIsTransparent) {
    lphpFilter f;
    for (const float x : test::sine(3000.0, 500, 0.8f)) {
        ASSERT_NEAR(f.process(x), x, 1e-5);
    }
}

// fLP = 0.05 + 0.95 sin(min(2p, 1)), fHP = max(0, 1.5 (p − 0.5)); feedback q + q / (1.005 − f).
// Neutral (0.5): fLP 0.8494, HP off; fully up: fHP 0.75, fbHP 1.9686.
TEST(lphpFilter, CoefficientsFollowTheKnobFormula) {
    const struct {
        float p;
        double fLP;
        double fHP;
    } cases[] = {{0.0f, 0.05, 0.0},
                 {0.25f, 0.05 + 0.95 * std::sin(0.5), 0.0},
                 {0.5f, 0.05 + 0.95 * std::sin(1.0), 0.0},
                 {0.75f, 0.05 + 0.95 * std::sin(1.0), 0.375},
                 {1.0f, 0.05 + 0.95 * std::sin(1.0), 0.75}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p);
        lphpFilter f;
        f.setPosition(c.p);
        EXPECT_NEAR(f.fLP, c.fLP, 1e-6);
        EXPECT_EQ(f.fHP, static_cast<float>(c.fHP)); // exact: 0, 0.375, 0.75
        EXPECT_NEAR(f.fbLP, 0.4 + 0.4 / (1.005 - c.fLP), 2e-5 * f.fbLP);
        EXPECT_NEAR(f.fbHP, 0.4 + 0.4 / (1.005 - c.fHP), 2e-5 * f.fbHP);
    }
}

TEST(lphpFilter, FilteringMatchesTheTwoStageRecurrence) {
    lphpFilter f;
    f.setPosition(0.8f);
    double s1 = 0, s2 = 0, s3 = 0, s4 = 0;
    const double fLP = f.fLP, fbLP = f.fbLP, fHP = f.fHP, fbHP = f.fbHP;
    uint32_t state = 99;
    double maxErr = 0.0;
    for (int i = 0; i < 5000; ++i) {
        const float x = 0.7f * test::noiseSample(state);
        s1 += fLP * (x - s1 + fbLP * (s1 - s2));
        s2 += fLP * (s1 - s2);
        s3 += fHP * (s2 - s3 + fbHP * (s3 - s4));
        s4 += fHP * (s3 - s4);
        maxErr = std::max(maxErr, std::fabs(f.process(x) - (s2 - s4)));
    }
    EXPECT_LT(maxErr, 1e-4);
}

// Fully down passes bass and blocks treble, fully up the reverse, neutral passes both.
TEST(lphpFilter, KnobPositionsShapeBassAndTreble) {
    const struct {
        float p;
        double bassLow, bassHigh, trebleLow, trebleHigh; // open gain bounds, 100 Hz and 10 kHz
    } cases[] = {
        {0.0f, 0.95, 1.05, 0.0, 0.01}, {1.0f, 0.0, 0.01, 0.7, 10.0}, {0.5f, 0.99, 1.01, 0.9, 1.1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p);
        lphpFilter f;
        f.setPosition(c.p);
        const double bass = gainAt(100.0, [&](float x) { return f.process(x); });
        EXPECT_GT(bass, c.bassLow);
        EXPECT_LT(bass, c.bassHigh);
        f.clear();
        const double treble = gainAt(10000.0, [&](float x) { return f.process(x); });
        EXPECT_GT(treble, c.trebleLow);
        EXPECT_LT(treble, c.trebleHigh);
    }
}

TEST(lphpFilter, ClearZeroesOnlyTheState) {
    lphpFilter f;
    f.setPosition(0.9f);
    for (int i = 0; i < 50; ++i) {
        f.process(1.0f);
    }
    const float fHP = f.fHP;
    f.clear();
    EXPECT_EQ(f.s1, 0.0f);
    EXPECT_EQ(f.s2, 0.0f);
    EXPECT_EQ(f.s3, 0.0f);
    EXPECT_EQ(f.s4, 0.0f);
    EXPECT_EQ(f.fHP, fHP);
}

} // namespace
} // namespace vx
