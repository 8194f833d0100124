#include "dsp/Phaser.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vx {
namespace {

TEST(Phaser, ResetKeepsTheSweepRunning) {
    Phaser p;
    p.lfo.phase = 1000.0;
    p.state[1][3] = 0.25f;
    p.reset();
    EXPECT_EQ(p.lfo.phase, 1000.0);
    EXPECT_EQ(p.state[1][3], 0.25f);
}

// The phaser computed from its definition in double: the sweep is the sine at the LFO's whole
// table index, d runs over 2·440/44100 … 2·1600/44100, a = (1 − d) / (1 + d), eight all-pass
// stages (z⁻¹ − a) / (1 − a z⁻¹) each keeping one state s = u + a·out (which form holds the
// state matters while a moves), the last output fed back × 0.7 one frame later, output
// x + depth · wet.
struct ReferencePhaser {
    double phase, increment, depth;
    double s[2][8] = {}, fb[2] = {};

    double coefficient() {
        const double sweep = std::sin(2.0 * test::kPi * std::floor(phase) / 2048.0);
        phase = std::fmod(phase + increment, 2048.0);
        const double dMin = 2.0 * 440.0 / 44100.0, dMax = 2.0 * 1600.0 / 44100.0;
        const double d = dMin + (dMax - dMin) * (1.0 + sweep * depth) / 2.0;
        return (1.0 - d) / (1.0 + d);
    }
    double channel(int ch, double x, double a) {
        double u = x + 0.7 * fb[ch];
        for (int k = 0; k < 8; ++k) {
            const double out = s[ch][k] - a * u;
            s[ch][k] = u + a * out;
            u = out;
        }
        fb[ch] = u;
        return x + depth * u;
    }
};

TEST(Phaser, StereoAndMonoFollowTheAllPassChain) {
    const struct {
        float rateHz, depth;
        double startPhase;
        bool noise; // else a 440 Hz / 3 kHz sine pair
    } cases[] = {{1.0f, 1.0f, 300.3, true},
                 {0.5f, 0.6f, 0.0, false},
                 {1.0f, 0.3f, 1500.0, false},
                 {0.9f, 0.8f, 2047.9, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rateHz << " Hz, depth " << c.depth);
        const int frames = 3000;
        const std::vector<float> in =
            c.noise ? test::noise(2 * frames, 5) : test::stereoSine(440.0, 3000.0, frames, 0.7f);
        Phaser stereo, mono;
        for (Phaser* p : {&stereo, &mono}) {
            p->padInput(c.rateHz, c.depth);
            p->lfo.phase = c.startPhase;
        }
        ReferencePhaser ref{c.startPhase, c.rateHz * 2048.0 / 44100.0, c.depth};
        ReferencePhaser monoRef = ref;
        std::vector<float> io = in;
        stereo.processStereo(io.data(), frames);
        for (size_t i = 0; i < static_cast<size_t>(frames); ++i) {
            const double a = ref.coefficient();
            ASSERT_NEAR(io[2 * i], ref.channel(0, in[2 * i], a), 1e-4) << i;
            ASSERT_NEAR(io[2 * i + 1], ref.channel(1, in[2 * i + 1], a), 1e-4) << i;
            const double monoA = monoRef.coefficient();
            ASSERT_NEAR(mono.tick(in[2 * i]), monoRef.channel(0, in[2 * i], monoA), 1e-4) << i;
        }
    }
}

TEST(Phaser, DepthZeroLeavesTheSignalUnchanged) {
    Phaser p;
    p.padInput(0.7f, 0.0f);
    const std::vector<float> in = test::noise(2 * 10000, 8);
    std::vector<float> io = in;
    p.processStereo(io.data(), 10000);
    EXPECT_EQ(io, in);
}

} // namespace
} // namespace vx
