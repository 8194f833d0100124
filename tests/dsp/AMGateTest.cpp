#include "dsp/AMGate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vx {
namespace {

// P = {1/4, 1/2, 1} beat, chosen by nearest(2 (1 − x)); at 120 BPM: 8, 4, 2 Hz.
TEST(AMGate, PeriodIsChosenByNearestOfTwiceOneMinusX) {
    const struct {
        float x;
        float tempo;
        double hz;
    } cases[] = {{0.0f, 120.0f, 2.0},
                 {0.24f, 120.0f, 2.0},
                 {0.25f, 120.0f, 2.0}, // 2 × 0.75 = 1.5 rounds up
                 {0.5f, 120.0f, 4.0},
                 {0.75f, 120.0f, 4.0}, // 0.5 rounds up
                 {0.76f, 120.0f, 8.0},
                 {1.0f, 120.0f, 8.0},
                 {1.0f, 90.0f, 6.0},
                 {0.0f, 128.0f, 128.0 / 60.0},
                 // 1 − x rounded to float lands on 0.75 exactly: 2 Hz (double: 4 Hz)
                 {0x1.000002p-2f, 120.0f, 2.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "x=" << c.x << " at " << c.tempo);
        AMGate g;
        g.setTempo(c.tempo);
        g.padInput(c.x);
        EXPECT_NEAR(g.lfo.frequency, c.hz, 1e-4);
    }
}

TEST(AMGate, PadMoveSetsResyncAndRecomputesTheBoundaryFromTheCounter) {
    AMGate g;
    g.frameCounter = 30000;
    g.resync = false;
    g.padInput(0.3f);
    EXPECT_TRUE(g.resync);
    EXPECT_EQ(g.nextBoundary, 44100u);
}

TEST(AMGate, SetTempoRetunesAndResyncs) {
    AMGate g;
    g.padInput(0.0f); // one cycle per beat
    g.frameCounter = 50000;
    g.resync = false;
    g.setTempo(90.0f);
    EXPECT_NEAR(g.lfo.frequency, 1.5, 1e-5);
    EXPECT_TRUE(g.resync);
    EXPECT_EQ(g.nextBoundary, 58800u); // beat = 29400 frames
}

TEST(AMGate, ResetKeepsTheLfoPhase) {
    AMGate g;
    g.lfo.phase = 321.5;
    g.frameCounter = 99;
    g.reset();
    EXPECT_EQ(g.lfo.phase, 321.5);
    EXPECT_EQ(g.frameCounter, 99u);
}

// Aligned at count 1000, the boundaries fall on counts 22050, 44100, 66150: the LFO runs on
// from its phase until the first of them, then restarts from 0 at each.
TEST(AMGate, GainIsTheSineRestartedAfterEveryBeatBoundary) {
    const struct {
        float x;
        double hz; // at 120 BPM
    } cases[] = {{0.0f, 2.0}, {0.5f, 4.0}, {1.0f, 8.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hz);
        AMGate g;
        g.padInput(c.x);
        g.alignToCounter(1000);
        g.lfo.phase = 700.0; // out of step with the grid, so the first restart shows
        const int frames = 70000;
        std::vector<float> io(2 * frames);
        for (int k = 0; k < frames; ++k) {
            io[2 * static_cast<size_t>(k)] = 1.0f;
            io[2 * static_cast<size_t>(k) + 1] = -0.5f;
        }
        for (int start = 0; start < frames; start += 1000) {
            g.processStereo(io.data() + 2 * start, std::min(1000, frames - start));
        }
        for (int k = 0; k < frames; ++k) {
            const int count = 1000 + k;
            const int lastBoundary = (count - 1) / 22050 * 22050;
            const double cycles = lastBoundary == 0 ? 700.0 / 2048.0 + c.hz * k / 44100.0
                                                    : c.hz * (count - lastBoundary - 1) / 44100.0;
            const double gain = std::sin(2.0 * 3.14159265358979323846 * cycles);
            ASSERT_NEAR(io[2 * static_cast<size_t>(k)], gain, 2e-5) << "count " << count;
            ASSERT_NEAR(io[2 * static_cast<size_t>(k) + 1], -0.5 * gain, 1e-5) << "count " << count;
            if (lastBoundary != 0 && count == lastBoundary + 1) {
                ASSERT_EQ(io[2 * static_cast<size_t>(k)], 0.0f) << "count " << count;
            }
        }
        EXPECT_EQ(g.frameCounter, 71000u);
        EXPECT_EQ(g.nextBoundary, 88200u);
    }
}

TEST(AMGate, MonoTickIsTheInputTimesTheInterpolatedSine) {
    AMGate g; // 8 Hz, phase 0
    for (int k = 0; k < 30000; ++k) {
        ASSERT_NEAR(g.tick(0.5f), 0.5 * std::sin(2.0 * 3.14159265358979323846 * 8.0 * k / 44100.0),
                    1e-5)
            << k;
    }
    // A fresh gate (8 Hz at 120 BPM, phase 0) waits for the first beat boundary with resync
    // set, and ticking does not count frames.
    EXPECT_EQ(g.frameCounter, 0u);
    EXPECT_TRUE(g.resync);
    EXPECT_EQ(g.nextBoundary, 22050u);
}

} // namespace
} // namespace vx
