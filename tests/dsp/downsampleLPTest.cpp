#include "dsp/downsampleLP.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using test::gainAt;

TEST(downsampleLP, ImpulseResponseFollowsTheFourthOrderRecurrence) {
    // The reference runs the same recurrence on the float-rounded coefficients in double; the
    // poles sit close to z = 1, so single-precision rounding drifts by up to about 1e-3 of the
    // peak; a wrong sign or history shift is off by far more. The coefficients are the
    // filter's own: a wrong one shows only in the response test below.
    downsampleLP f;
    const double b[5] = {f.b0, f.b1, f.b2, f.b3, f.b4};
    const double a[5] = {1.0, f.a1, f.a2, f.a3, f.a4};
    double x[5] = {}, y[5] = {};
    double peak = 0.0;
    for (int i = 0; i < 3000; ++i) {
        for (int k = 4; k > 0; --k) {
            x[k] = x[k - 1];
            y[k] = y[k - 1];
        }
        x[0] = i == 0 ? 1.0 : 0.0;
        y[0] = 0.0;
        for (int k = 0; k < 5; ++k) {
            y[0] += b[k] * x[k];
        }
        for (int k = 1; k < 5; ++k) {
            y[0] -= a[k] * y[k];
        }
        peak = std::max(peak, std::fabs(y[0]));
        ASSERT_NEAR(f.tick(static_cast<float>(x[0])), y[0], 1e-2 * peak) << i;
    }
}

TEST(downsampleLP, PassesBassBlocksTrebleWithMinusThreeDecibelsNear500Hz) {
    downsampleLP bass;
    EXPECT_NEAR(gainAt(100.0, [&](float x) { return bass.tick(x); }), 1.0, 0.1);
    downsampleLP corner;
    EXPECT_NEAR(gainAt(500.0, [&](float x) { return corner.tick(x); }), 0.707, 0.05);
    downsampleLP treble;
    EXPECT_LT(gainAt(2000.0, [&](float x) { return treble.tick(x); }), 0.01);
}

} // namespace
} // namespace vx
