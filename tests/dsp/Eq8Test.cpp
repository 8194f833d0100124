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

RefBand referenceBand(double hz, double db, double rate = 44100.0) {
    const double w = 2.0 * test::kPi * hz / rate;
    const double a = std::pow(10.0, db / 40.0);
    const double alpha = std::sin(w) * std::sinh(std::log(2.0) / 2.0 * 1.0 * w / std::sin(w));
    const double a0 = 1.0 + alpha / a;
    return {2.0 * std::cos(w) / a0, -(1.0 - alpha / a) / a0, (1.0 + alpha * a) / a0,
            -2.0 * std::cos(w) / a0, (1.0 - alpha * a) / a0};
}

void expectBand(const Eq8Band& b, double hz, double db, double rate = 44100.0) {
    const RefBand ref = referenceBand(hz, db, rate);
    EXPECT_NEAR(b.c0, ref.c0, 2e-6);
    EXPECT_NEAR(b.c1, ref.c1, 2e-6);
    EXPECT_NEAR(b.b0, ref.b0, 2e-6);
    EXPECT_NEAR(b.b1, ref.b1, 2e-6);
    EXPECT_NEAR(b.b2, ref.b2, 2e-6);
}

// A fresh equaliser is flat at 44100 Hz with silent history: the reference computations below
// assume all three.
TEST(Eq8, CoefficientsMatchThePeakingFormula) {
    const struct {
        int band;
        double hz;
        float db;
    } cases[] = {{0, 100.0, 6.0f},    {0, 100.0, -50.0f}, {1, 2000.0, 20.0f},
                 {1, 2000.0, -12.5f}, {2, 6000.0, 3.0f},  {2, 6000.0, -50.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "band " << c.band << " at " << c.db << " dB");
        Eq8 eq;
        eq.eqSetBandGain(c.band, c.db);
        expectBand(eq.bands[c.band], c.hz, c.db);
    }
}

TEST(Eq8, AllGainsZeroReturnsTheInputUnchanged) {
    Eq8 eq;
    eq.eqSetBandGain(1, 7.0f);
    eq.eqSetBandGain(1, 0.0f); // back to flat: every band is skipped again
    const auto in = test::sine(997.0, 4000, 0.9f);
    for (const float x : in) {
        ASSERT_EQ(eq.eqProcess(x), x);
    }
}

// The shared factor leans against the overall gain: 1.5 − mean of (t + 1) / 2 over the bands,
// t = G / 20 for a boost and G / 50 for a cut.
TEST(Eq8, SharedMakeupLeansAgainstTheOverallGain) {
    const struct {
        float low, mid, high;
        double expected;
    } cases[] = {{0, 0, 0, 1.0},
                 {20, 20, 20, 0.5},
                 {-50, -50, -50, 1.5},
                 {-50, 0, 0, 1.5 - (0 + 0.5 + 0.5) / 3},
                 {0, -50, 0, 1.5 - 1.0 / 3},
                 {10, -25, 0, 1.0},
                 {20, 0, -50, 1.0},
                 {6, 0, 0, 1.5 - 1.65 / 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.low << " " << c.mid << " " << c.high);
        Eq8 eq;
        eq.eqSetBandGain(0, c.low);
        eq.eqSetBandGain(1, c.mid);
        eq.eqSetBandGain(2, c.high);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(eq.bands[k].makeup, c.expected, 1e-6) << "band " << k;
        }
        EXPECT_NEAR(Eq8::makeupFor(c.low, c.mid, c.high), c.expected, 1e-6);
    }
}

// At each band's centre +6 dB gains 10^(6/20) × the make-up 0.95; the kill (−50 dB) cuts to
// 10^(−50/20) × 1.1667 (to 2 %), about −48.7 dB.
TEST(Eq8, BoostAndKillAtTheBandCentreGainTheirDecibelsTimesTheMakeup) {
    const double hz[3] = {100.0, 2000.0, 6000.0};
    for (int band = 0; band < 3; ++band) {
        Eq8 boost;
        boost.eqSetBandGain(band, 6.0f);
        const double boosted = gainAt(hz[band], [&](float x) { return boost.eqProcess(x); });
        EXPECT_NEAR(boosted, std::pow(10.0, 6.0 / 20.0) * (1.5 - (1.3 / 2 + 0.5 + 0.5) / 3), 0.005)
            << "band " << band;
        Eq8 kill;
        kill.eqSetBandGain(band, -50.0f);
        const double killed = gainAt(hz[band], [&](float x) { return kill.eqProcess(x); });
        const double expected = std::pow(10.0, -50.0 / 20.0) * (1.5 - 1.0 / 3);
        EXPECT_NEAR(killed, expected, expected * 0.02) << "band " << band;
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
    EXPECT_EQ(eq.bands[1].makeup, makeup);
    EXPECT_EQ(eq.eqProcess(0.3f), 0.3f);
    // Boosted again, the band starts from silence as a fresh one does.
    Eq8 fresh;
    for (Eq8* e : {&eq, &fresh}) {
        e->eqSetBandGain(1, 20.0f);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(eq.eqProcess(0.5f), fresh.eqProcess(0.5f)) << i;
    }
}

TEST(Eq8, SampleRateChangeRecomputesBandsFromTheStoredGains) {
    Eq8 eq;
    eq.eqSetBandGain(1, 9.0f);
    eq.eqProcess(0.5f);
    eq.eqSetSampleRate(48000.0f);
    EXPECT_EQ(eq.bands[1].x1, 0.0f);
    expectBand(eq.bands[1], 2000.0, 9.0, 48000.0);
}

} // namespace
} // namespace vx
