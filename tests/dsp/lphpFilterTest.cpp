#include "dsp/lphpFilter.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx {
namespace {

using test::gainAt;

TEST(lphpFilter, InitialRecordIsFullyOpenWithFeedbackFromTheFormula) {
    lphpFilter f;
    EXPECT_EQ(f.fLP, 1.0f);
    EXPECT_EQ(f.fHP, 0.0f);
    EXPECT_EQ(f.qLP, 0.4f);
    EXPECT_EQ(f.qHP, 0.4f);
    EXPECT_NEAR(f.fbLP, 0.4 + 0.4 / (1.005 - 1.0), 1e-3);
    EXPECT_NEAR(f.fbHP, 0.4 + 0.4 / 1.005, 1e-3);
    EXPECT_EQ(f.s1 + f.s2 + f.s3 + f.s4, 0.0f);
}

struct PositionCase {
    float p;
    double fLP;
    double fHP;
};

class lphpCoefficients : public ::testing::TestWithParam<PositionCase> {};

TEST_P(lphpCoefficients, FollowTheKnobFormula) {
    const PositionCase c = GetParam();
    lphpFilter f;
    f.setPosition(c.p);
    EXPECT_NEAR(f.fLP, c.fLP, 1e-6);
    EXPECT_NEAR(f.fHP, c.fHP, 1e-6);
    EXPECT_NEAR(f.fbLP, 0.4 + 0.4 / (1.005 - c.fLP), 2e-5 * f.fbLP);
    EXPECT_NEAR(f.fbHP, 0.4 + 0.4 / (1.005 - c.fHP), 2e-5 * f.fbHP);
}

INSTANTIATE_TEST_SUITE_P(Knob, lphpCoefficients,
                         ::testing::Values(PositionCase{0.0f, 0.05, 0.0},
                                           PositionCase{0.25f, 0.05 + 0.95 * std::sin(0.5), 0.0},
                                           PositionCase{0.5f, 0.05 + 0.95 * std::sin(1.0),
                                                        0.0}, // 0.8494, HP off
                                           PositionCase{0.75f, 0.05 + 0.95 * std::sin(1.0), 0.375},
                                           PositionCase{1.0f, 0.05 + 0.95 * std::sin(1.0), 0.75}));

TEST(lphpFilter, NeutralAndFullHighPassMatchTheDocumentedValues) {
    lphpFilter f;
    f.setPosition(0.5f);
    EXPECT_NEAR(f.fLP, 0.8494, 1e-4);
    EXPECT_EQ(f.fHP, 0.0f);
    f.setPosition(1.0f);
    EXPECT_EQ(f.fHP, 0.75f);
    EXPECT_NEAR(f.fbHP, 1.9686, 1e-4);
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

TEST(lphpFilter, KnobFullyDownPassesBassAndBlocksTreble) {
    lphpFilter f;
    f.setPosition(0.0f);
    EXPECT_NEAR(gainAt(100.0, [&](float x) { return f.process(x); }), 1.0, 0.05);
    f.clear();
    EXPECT_LT(gainAt(10000.0, [&](float x) { return f.process(x); }), 0.01);
}

TEST(lphpFilter, KnobFullyUpBlocksBassAndPassesTreble) {
    lphpFilter f;
    f.setPosition(1.0f);
    EXPECT_LT(gainAt(100.0, [&](float x) { return f.process(x); }), 0.01);
    f.clear();
    EXPECT_GT(gainAt(10000.0, [&](float x) { return f.process(x); }), 0.7);
}

TEST(lphpFilter, NeutralKnobPassesBassAndTrebleAlmostUnchanged) {
    lphpFilter f;
    f.setPosition(0.5f);
    EXPECT_NEAR(gainAt(100.0, [&](float x) { return f.process(x); }), 1.0, 0.01);
    f.clear();
    EXPECT_NEAR(gainAt(10000.0, [&](float x) { return f.process(x); }), 1.0, 0.1);
}

TEST(lphpFilter, OpenInitialRecordIsTransparent) {
    lphpFilter f;
    const auto in = test::sine(3000.0, 500, 0.8f);
    for (const float x : in) {
        ASSERT_NEAR(f.process(x), x, 1e-5);
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
