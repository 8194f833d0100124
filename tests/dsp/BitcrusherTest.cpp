#include "dsp/Bitcrusher.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx {
namespace {

TEST(Bitcrusher, DefaultsAreSixteenBitsEveryFrame) {
    Bitcrusher b;
    EXPECT_EQ(b.bits, 16.0f);
    EXPECT_EQ(b.levels, 65536.0f);
    EXPECT_EQ(b.holdIncrement, 1.0f);
    EXPECT_EQ(b.heldL, 0.0f);
    EXPECT_EQ(b.heldR, 0.0f);
    EXPECT_EQ(b.holdPhase, 0.0f);
}

struct CrushCase {
    float x, y;
    double bits, hold;
};

class BitcrusherPad : public ::testing::TestWithParam<CrushCase> {};

TEST_P(BitcrusherPad, XSetsFractionalBitsAndYTheHoldRate) {
    const CrushCase c = GetParam();
    Bitcrusher b;
    b.padInput(c.x, c.y);
    EXPECT_NEAR(b.bits, c.bits, 1e-5);
    EXPECT_NEAR(b.levels, std::pow(2.0, c.bits), 1e-5 * std::pow(2.0, c.bits));
    EXPECT_NEAR(b.holdIncrement, c.hold, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Pad, BitcrusherPad,
                         ::testing::Values(CrushCase{0.0f, 0.0f, 16.0, 1.0},
                                           CrushCase{1.0f, 1.0f, 8.96, 0.01},
                                           CrushCase{0.5f, 0.5f, 12.48, 0.505},
                                           CrushCase{0.25f, 0.75f, 14.24, 0.2575},
                                           CrushCase{3.0f, 0.0f, 1.0, 1.0},     // clamped low
                                           CrushCase{-1.0f, 0.0f, 16.0, 1.0})); // clamped high

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

} // namespace
} // namespace vx
