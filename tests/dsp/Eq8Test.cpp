#include "dsp/Eq8.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx {
namespace {

using test::gainAt;

// The peaking-band coefficients derived independently in double precision:
// A = 10^(G/40), alpha = sin(w)·sinh(ln2/2 · BW · w / sin(w)), all divided by a0 = 1 + alpha/A.
struct RefBand {
    double c0, c1, b0, b1, b2;
};

RefBand referenceBand(double hz, double db) {
    const double w = 2.0 * test::kPi * hz / 44100.0;
    const double a = std::pow(10.0, db / 40.0);
    const double alpha = std::sin(w) * std::sinh(std::log(2.0) / 2.0 * 1.0 * w / std::sin(w));
    const double a0 = 1.0 + alpha / a;
    return {2.0 * std::cos(w) / a0, -(1.0 - alpha / a) / a0, (1.0 + alpha * a) / a0,
            -2.0 * std::cos(w) / a0, (1.0 - alpha * a) / a0};
}

TEST(Eq8, ConstructionInitialisesAFlatEnabledEqualiserAt44100) {
    Eq8 eq;
    EXPECT_EQ(eq.enabled, 1);
    EXPECT_EQ(eq.sampleRate, 44100.0f);
    for (int k = 0; k < Eq8::kBands; ++k) {
        EXPECT_EQ(eq.gainDb[k], 0.0f);
        EXPECT_EQ(eq.bands[k].x1, 0.0f);
        EXPECT_EQ(eq.bands[k].y2, 0.0f);
    }
}

struct CoefficientCase {
    int band;
    double hz;
    float db;
};

class Eq8Coefficients : public ::testing::TestWithParam<CoefficientCase> {};

TEST_P(Eq8Coefficients, MatchThePeakingFormula) {
    const CoefficientCase c = GetParam();
    Eq8 eq;
    eq.eqSetBandGain(c.band, c.db);
    const RefBand ref = referenceBand(c.hz, c.db);
    const Eq8Band& b = eq.bands[c.band];
    EXPECT_NEAR(b.c0, ref.c0, 2e-6);
    EXPECT_NEAR(b.c1, ref.c1, 2e-6);
    EXPECT_NEAR(b.b0, ref.b0, 2e-6);
    EXPECT_NEAR(b.b1, ref.b1, 2e-6);
    EXPECT_NEAR(b.b2, ref.b2, 2e-6);
    EXPECT_EQ(eq.gainDb[c.band], c.db);
}

INSTANTIATE_TEST_SUITE_P(
    Bands, Eq8Coefficients,
    ::testing::Values(CoefficientCase{0, 100.0, 6.0f}, CoefficientCase{0, 100.0, -50.0f},
                      CoefficientCase{1, 2000.0, 20.0f}, CoefficientCase{1, 2000.0, -12.5f},
                      CoefficientCase{2, 6000.0, 3.0f}, CoefficientCase{2, 6000.0, -50.0f}));

TEST(Eq8, AllGainsZeroReturnsTheInputUnchanged) {
    Eq8 eq;
    eq.eqSetBandGain(1, 7.0f);
    eq.eqSetBandGain(1, 0.0f); // back to flat: every band is skipped again
    const auto in = test::sine(997.0, 4000, 0.9f);
    for (const float x : in) {
        ASSERT_EQ(eq.eqProcess(x), x);
    }
}

struct MakeupCase {
    float low, mid, high;
    double expected;
};

class Eq8Makeup : public ::testing::TestWithParam<MakeupCase> {};

TEST_P(Eq8Makeup, SharedFactorLeansAgainstTheOverallGain) {
    const MakeupCase c = GetParam();
    Eq8 eq;
    eq.eqSetBandGain(0, c.low);
    eq.eqSetBandGain(1, c.mid);
    eq.eqSetBandGain(2, c.high);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(eq.bands[k].makeup, c.expected, 1e-6) << "band " << k;
    }
    EXPECT_NEAR(Eq8::makeupFor(c.low, c.mid, c.high), c.expected, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Gains, Eq8Makeup,
                         ::testing::Values(MakeupCase{0, 0, 0, 1.0}, MakeupCase{20, 20, 20, 0.5},
                                           MakeupCase{-50, -50, -50, 1.5},
                                           MakeupCase{-50, 0, 0, 1.5 - (0 + 0.5 + 0.5) / 3},
                                           MakeupCase{0, -50, 0, 1.5 - 1.0 / 3},
                                           MakeupCase{10, -25, 0, 1.0}, MakeupCase{20, 0, -50, 1.0},
                                           MakeupCase{6, 0, 0, 1.5 - 1.65 / 3}));

TEST(Eq8, PlusSixDecibelsAtTheBandCentreGainsSixDecibelsTimesTheMakeup) {
    const double hz[3] = {100.0, 2000.0, 6000.0};
    for (int band = 0; band < 3; ++band) {
        Eq8 eq;
        eq.eqSetBandGain(band, 6.0f);
        const double makeup = 1.5 - (1.3 / 2 + 0.5 + 0.5) / 3; // 0.95
        const double measured = gainAt(hz[band], [&](float x) { return eq.eqProcess(x); });
        EXPECT_NEAR(measured, std::pow(10.0, 6.0 / 20.0) * makeup, 0.005) << "band " << band;
    }
}

TEST(Eq8, KillSettingCutsTheBandCentreByFiftyDecibels) {
    const double hz[3] = {100.0, 2000.0, 6000.0};
    for (int band = 0; band < 3; ++band) {
        Eq8 eq;
        eq.eqSetBandGain(band, -50.0f);
        const double measured = gainAt(hz[band], [&](float x) { return eq.eqProcess(x); });
        const double expected = std::pow(10.0, -50.0 / 20.0) * (1.5 - 1.0 / 3);
        EXPECT_NEAR(measured, expected, expected * 0.02) << "band " << band;
        EXPECT_LT(20.0 * std::log10(measured), -46.0);
    }
}

TEST(Eq8, ACutBandLeavesDistantFrequenciesAtTheMakeupGain) {
    Eq8 eq;
    eq.eqSetBandGain(0, -50.0f); // low kill: 10 kHz only sees the make-up factor
    const double measured = gainAt(10000.0, [&](float x) { return eq.eqProcess(x); });
    const RefBand r = referenceBand(100.0, -50.0);
    const double ref = test::biquadMagnitude(r.b0, r.b1, r.b2, -r.c0, -r.c1, 10000.0);
    EXPECT_NEAR(measured, ref * (1.5 - 1.0 / 3), 0.002);
    EXPECT_NEAR(measured, 1.1667, 0.01);
}

TEST(Eq8, TwoActiveBandsEachApplyTheMakeupAgain) {
    // Sample by sample against a double-precision chain of the record's own two biquads (their
    // coefficients are checked against the formula above), low band first, the make-up after
    // each active band and the flat mid band skipped.
    Eq8 eq;
    eq.eqSetBandGain(0, 12.0f);
    eq.eqSetBandGain(2, -20.0f);
    const double m = 1.5 - ((0.6 + 1) / 2 + 0.5 + (-0.4 + 1) / 2) / 3;
    EXPECT_NEAR(eq.bands[0].makeup, m, 1e-6);
    const Eq8Band bands[2] = {eq.bands[0], eq.bands[2]};
    double hist[2][4] = {};
    uint32_t state = 7;
    double maxErr = 0.0;
    for (int i = 0; i < 20000; ++i) {
        const float in = 0.5f * test::noiseSample(state);
        double x = in;
        for (int k = 0; k < 2; ++k) {
            const Eq8Band& b = bands[k];
            double* h = hist[k];
            const double y = double{b.b0} * x + double{b.b1} * h[0] + double{b.b2} * h[1] +
                             double{b.c0} * h[2] + double{b.c1} * h[3];
            h[1] = h[0];
            h[0] = x;
            h[3] = h[2];
            h[2] = y;
            x = y * m;
        }
        maxErr = std::max(maxErr, std::fabs(eq.eqProcess(in) - x));
    }
    EXPECT_LT(maxErr, 2e-4); // single-precision rounding of a 100 Hz biquad
}

TEST(Eq8, BandsOutsideLowMidHighAreIgnored) {
    Eq8 eq;
    eq.eqSetBandGain(3, 12.0f);
    eq.eqSetBandGain(-1, 12.0f);
    eq.eqSetBandGain(7, 12.0f);
    for (int k = 0; k < Eq8::kBands; ++k) {
        EXPECT_EQ(eq.gainDb[k], 0.0f);
    }
    EXPECT_EQ(eq.eqProcess(0.25f), 0.25f);
}

TEST(Eq8, InitClearsGainsAndHistoryButKeepsTheMakeup) {
    Eq8 eq;
    eq.eqSetBandGain(1, 20.0f);
    for (int i = 0; i < 100; ++i) {
        eq.eqProcess(0.5f);
    }
    const float makeup = eq.bands[1].makeup;
    eq.eqInit();
    EXPECT_EQ(eq.gainDb[1], 0.0f);
    EXPECT_EQ(eq.bands[1].y1, 0.0f);
    EXPECT_EQ(eq.bands[1].x1, 0.0f);
    EXPECT_EQ(eq.bands[1].makeup, makeup);
    EXPECT_EQ(eq.eqProcess(0.3f), 0.3f);
}

TEST(Eq8, SampleRateChangeRecomputesBandsFromTheStoredGains) {
    Eq8 eq;
    eq.eqSetBandGain(1, 9.0f);
    eq.eqProcess(0.5f);
    eq.eqSetSampleRate(48000.0f);
    EXPECT_EQ(eq.sampleRate, 48000.0f);
    EXPECT_EQ(eq.bands[1].x1, 0.0f);
    const double w = 2.0 * test::kPi * 2000.0 / 48000.0;
    EXPECT_NEAR(eq.bands[1].b1 / eq.bands[1].c0, -1.0, 1e-6);
    const double alpha = std::sin(w) * std::sinh(std::log(2.0) / 2.0 * w / std::sin(w));
    const double a = std::pow(10.0, 9.0 / 40.0);
    EXPECT_NEAR(eq.bands[1].c0, 2.0 * std::cos(w) / (1.0 + alpha / a), 2e-6);
}

} // namespace
} // namespace vx
