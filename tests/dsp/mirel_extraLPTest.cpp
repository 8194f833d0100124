#include "dsp/mirel_extraLP.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace vx {
namespace {

using test::gainAt;

struct RefCoefficients {
    double b0, b1, b2, a1, a2;
};

RefCoefficients reference(double c, double r) {
    const double w = 0.005 + c * c * std::sin(c * test::kPi / 6.0);
    const double g = std::sin(c * 2.4881413) + 0.001;
    const double q = 0.951 + 1.9 * r;
    const double n = 1.0 / (1.0 + w / q + w * w);
    return {w * w * n * g * 1.5, 2 * w * w * n, w * w * n, 2 * (w * w - 1) * n,
            (1 - w / q + w * w) * n};
}

void expectCoefficients(const mirel_extraLP& f, double c, double r) {
    const RefCoefficients ref = reference(c, r);
    EXPECT_NEAR(f.b0, ref.b0, 1e-6);
    EXPECT_NEAR(f.b1, ref.b1, 1e-6);
    EXPECT_NEAR(f.b2, ref.b2, 1e-6);
    EXPECT_NEAR(f.a1, ref.a1, 1e-6);
    EXPECT_NEAR(f.a2, ref.a2, 1e-6);
}

// Either knob may move first: the resonance recomputes from the cutoff's stored workspace.
TEST(mirel_extraLP, CoefficientsMatchTheFormulaInEitherKnobOrder) {
    const std::pair<float, float> knobs[] = {{0.0f, 0.0f}, {0.0f, 1.0f},  {0.25f, 0.5f},
                                             {0.5f, 0.3f}, {0.75f, 1.0f}, {1.0f, 0.0f}};
    for (const auto& [c, r] : knobs) {
        SCOPED_TRACE(testing::Message() << "cutoff " << c << ", resonance " << r);
        mirel_extraLP f, g;
        f.setCutoff(c);
        f.setResonance(r);
        g.setResonance(r);
        g.setCutoff(c);
        expectCoefficients(f, c, r);
        EXPECT_EQ(g.b0, f.b0);
        EXPECT_EQ(g.b1, f.b1);
        EXPECT_EQ(g.a1, f.a1);
        EXPECT_EQ(g.a2, f.a2);
    }
}

TEST(mirel_extraLP, MeasuredResponseMatchesTheBiquadMagnitude) {
    for (const float c : {0.2f, 0.5f, 1.0f}) {
        for (const double hz : {100.0, 1000.0, 8000.0}) {
            mirel_extraLP f;
            f.setCutoff(c);
            f.setResonance(0.7f);
            const RefCoefficients r = reference(c, 0.7);
            const double expected = test::biquadMagnitude(r.b0, r.b1, r.b2, r.a1, r.a2, hz);
            EXPECT_NEAR(gainAt(hz, [&](float x) { return f.tick(x); }), expected,
                        0.01 * expected + 1e-4)
                << "cutoff " << c << " at " << hz << " Hz";
        }
    }
}

TEST(mirel_extraLP, PadLeftIsOpenAndPadRightClosesTheTreble) {
    mirel_extraLP open; // pad x = 0 → cutoff 1
    EXPECT_NEAR(gainAt(100.0, [&](float x) { return open.tick(x); }), 1.0, 0.05);
    EXPECT_GT(gainAt(5000.0, [&](float x) { return open.tick(x); }), 0.7);
    mirel_extraLP closed;
    closed.setCutoff(0.1f);
    EXPECT_GT(gainAt(100.0, [&](float x) { return closed.tick(x); }), 0.9);
    EXPECT_LT(gainAt(10000.0, [&](float x) { return closed.tick(x); }), 0.001);
}

TEST(mirel_extraLP, ClosedFilterPassesThreeQuartersAtDc) {
    // At cutoff 0 the numerator gain g is 0.001, so b0 nearly vanishes: DC gain → 3/4.
    mirel_extraLP f;
    f.setCutoff(0.0f);
    float y = 0.0f;
    for (int i = 0; i < 200000; ++i) {
        y = f.tick(1.0f);
    }
    EXPECT_NEAR(y, 0.75, 0.002);
}

// In place or out of place, only every second float is filtered and written.
TEST(mirel_extraLP, ProcessChannelFiltersEverySecondSampleOnly) {
    mirel_extraLP inPlaceFilter, outOfPlaceFilter, ref;
    for (mirel_extraLP* f : {&inPlaceFilter, &outOfPlaceFilter, &ref}) {
        f->setCutoff(0.3f);
    }
    std::vector<float> block = test::stereoSine(440.0, 5000.0, 1000);
    const std::vector<float> in = block;
    std::vector<float> out(in.size(), 0.0f);
    inPlaceFilter.processChannel(block.data(), block.data(), 1000);
    outOfPlaceFilter.processChannel(in.data(), out.data(), 1000);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(block[2 * i], ref.tick(in[2 * i])) << i;
        ASSERT_EQ(block[2 * i + 1], in[2 * i + 1]) << i;
        ASSERT_EQ(out[2 * i], block[2 * i]) << i;
        ASSERT_EQ(out[2 * i + 1], 0.0f) << i; // the other channel's places are not written
    }
}

TEST(mirel_extraLP, ResetRestartsFromSilenceKeepingTheKnobs) {
    mirel_extraLP f;
    f.setCutoff(0.5f);
    f.setResonance(0.2f);
    for (int i = 0; i < 100; ++i) {
        f.tick(1.0f);
    }
    f.reset();
    mirel_extraLP fresh;
    fresh.setCutoff(0.5f);
    fresh.setResonance(0.2f);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(f.tick(0.3f), fresh.tick(0.3f));
    }
}

} // namespace
} // namespace vx
