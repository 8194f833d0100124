#include "dsp/coloringBP.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using test::gainAt;

constexpr double kB0 = 0.034048203, kA1 = -1.9076415, kA2 = 0.9319036;

TEST(coloringBP, FixedCoefficientsAndZeroHistory) {
    coloringBP f;
    EXPECT_FLOAT_EQ(f.b0, 0.034048203f);
    EXPECT_FLOAT_EQ(f.b2, -0.034048203f);
    EXPECT_FLOAT_EQ(f.a1, -1.9076415f);
    EXPECT_FLOAT_EQ(f.a2, 0.9319036f);
    EXPECT_EQ(f.b1, 0.0f);
    EXPECT_EQ(f.y1, 0.0f);
    f.setCutoff(0.1f); // fixed: the knobs change nothing
    f.clear();
    EXPECT_FLOAT_EQ(f.b0, 0.034048203f);
    EXPECT_FLOAT_EQ(f.a1, -1.9076415f);
}

TEST(coloringBP, ImpulseResponseFollowsTheRecurrence) {
    coloringBP f;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (int i = 0; i < 400; ++i) {
        const double x = i == 0 ? 1.0 : 0.0;
        const double y = kB0 * x - kB0 * x2 - kA1 * y1 - kA2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        ASSERT_NEAR(f.tick(static_cast<float>(x)), y, 1e-5) << i;
    }
}

TEST(coloringBP, UnityPeakNear1115HzAndStopBandsEitherSide) {
    for (const double hz : {100.0, 1115.0, 10000.0}) {
        coloringBP f;
        const double expected = test::biquadMagnitude(kB0, 0.0, -kB0, kA1, kA2, hz);
        EXPECT_NEAR(gainAt(hz, [&](float x) { return f.tick(x); }), expected, 0.005) << hz;
    }
    coloringBP peak;
    EXPECT_NEAR(gainAt(1115.0, [&](float x) { return peak.tick(x); }), 1.0, 0.01);
    coloringBP low;
    EXPECT_LT(gainAt(100.0, [&](float x) { return low.tick(x); }), 0.05);
    coloringBP high;
    EXPECT_LT(gainAt(10000.0, [&](float x) { return high.tick(x); }), 0.05);
}

} // namespace
} // namespace vx
