#include "dsp/coloringBP.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using test::gainAt;

constexpr double kB0 = 0.034048203, kA1 = -1.9076415, kA2 = 0.9319036;

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
    const struct {
        double hz, low, high; // open bounds on the measured gain
    } cases[] = {{100.0, 0.0, 0.05}, {1115.0, 0.99, 1.01}, {10000.0, 0.0, 0.05}};
    for (const auto& c : cases) {
        coloringBP f;
        const double gain = gainAt(c.hz, [&](float x) { return f.tick(x); });
        EXPECT_NEAR(gain, test::biquadMagnitude(kB0, 0.0, -kB0, kA1, kA2, c.hz), 0.005) << c.hz;
        EXPECT_GT(gain, c.low) << c.hz;
        EXPECT_LT(gain, c.high) << c.hz;
    }
}

} // namespace
} // namespace vx
