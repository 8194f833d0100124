#include "dsp/BeatSync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vx {
namespace {

TEST(BeatSync, PadIndexRoundsHalvesAwayFromZeroAndClampsToTheTable) {
    const struct {
        float v;
        int count;
        int expected;
    } cases[] = {{0.0f, 5, 0},  {0.49999997f, 5, 0},
                 {0.5f, 5, 1},                // round-half-even would give 0
                 {1.5f, 5, 2},  {2.5f, 5, 3}, // round-half-even would give 2
                 {3.5f, 5, 4},  {4.0f, 5, 4},
                 {4.6f, 5, 4},  {9.0f, 5, 4},
                 {-0.4f, 5, 0}, {-0.5f, 5, 0},
                 {-3.0f, 3, 0}, {0.5f, 3, 1},
                 {2.0f, 3, 2},  {std::numeric_limits<float>::quiet_NaN(), 5, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(padIndex(c.v, c.count), c.expected) << c.v << " of " << c.count;
    }
}

TEST(BeatSync, AlignmentBeatSamplesDividesInSinglePrecision) {
    EXPECT_EQ(alignmentBeatSamples(120.0f), 22050);
    EXPECT_EQ(alignmentBeatSamples(128.0f), 20671); // 20671.875 truncated
    // At this tempo 60 / t rounded to float and then times 44100.0 gives 43296.99…, while a
    // double division would give 43297.
    const float t = 0x1.e8e6f8p+5f; // 61.1127777…
    EXPECT_EQ(alignmentBeatSamples(t), 43296);
    EXPECT_EQ(static_cast<int64_t>(60.0 / static_cast<double>(t) * 44100.0), 43297);
}

TEST(BeatSync, AlignmentBeatSamplesIsAtLeastOne) {
    EXPECT_EQ(alignmentBeatSamples(1e9f), 1);
    EXPECT_EQ(alignmentBeatSamples(-120.0f), 1);
}

// Truncates, then takes the remainder with the sign of the dividend.
TEST(BeatSync, AlignedCounterTruncatesThenTakesTheSignedRemainder) {
    const struct {
        double position, offset, rate;
        float tempo;
        int64_t expected;
    } cases[] = {
        {0.0, 0.0, 1.0, 120.0f, 0},          {22049.0, 0.0, 1.0, 120.0f, 22049},
        {22050.0, 0.0, 1.0, 120.0f, 0},      {30000.0, 100.0, 1.0, 120.0f, 8050},
        {1000.7, 0.5, 1.0, 120.0f, 1001},   // trunc(1001.2)
        {10000.0, 0.0, 2.0, 120.0f, 20000}, // times the rate factor
        {12000.0, 0.0, 2.0, 120.0f, 1950},   {-100.0, 0.0, 1.0, 120.0f, -100}, // lead-in: negative
        {-22150.0, 0.0, 1.0, 120.0f, -100},  {-0.9, 0.0, 1.0, 120.0f, 0},      // trunc, not floor
        {-5000.0, 5100.0, 1.0, 120.0f, 100}, {50000.0, 0.0, 1.0, 128.0f, 50000 - 2 * 20671}};
    for (const auto& c : cases) {
        EXPECT_EQ(alignedBeatCounter(c.position, c.offset, c.rate, c.tempo), c.expected)
            << c.position << " + " << c.offset << " × " << c.rate << " at " << c.tempo;
    }
}

// The next multiple of the (double, truncated) beat length at or after the counter.
TEST(BeatSync, NextBoundaryIsTheNextMultipleOfTheBeatLengthTruncated) {
    const struct {
        uint64_t counter;
        float tempo;
        uint64_t expected;
    } cases[] = {{0, 120.0f, 22050},
                 {22049, 120.0f, 22050},
                 {22050, 120.0f, 44100},
                 {30000, 120.0f, 44100},
                 {0, 128.0f, 20671},
                 {20671, 128.0f, 20671},
                 {20672, 128.0f, 41343},
                 // trunc(2 × 20671.875) = 41343 equals the counter: due at once
                 {41343, 128.0f, 41343},
                 {41344, 128.0f, 62015},
                 // A double beat length: 6 × 43924.332… = 263545.99… (a float one gives 263546)
                 {219622, 0x1.e1eb7p+5f, 263545}};
    for (const auto& c : cases) {
        EXPECT_EQ(nextBeatBoundary(c.counter, c.tempo, 44100.0f), c.expected)
            << c.counter << " at " << c.tempo;
    }
    EXPECT_EQ(nextBeatBoundary(0, 120.0f, 48000.0f), 24000u); // the sample rate counts
    EXPECT_EQ(nextBeatBoundary(24000, 60.0f, 48000.0f), 48000u);
}

TEST(BeatSync, LeadInCounterWrapsAndTheBoundarySaturates) {
    // A negative counter stored in the unsigned frame count is just below 2^64; its boundary
    // lies beyond the type and saturates instead of being undefined.
    const auto counter = static_cast<uint64_t>(int64_t{-100});
    EXPECT_EQ(nextBeatBoundary(counter, 120.0f, 44100.0f), std::numeric_limits<uint64_t>::max());
}

TEST(BeatSync, DegenerateTemposGiveDefinedBoundaries) {
    EXPECT_EQ(nextBeatBoundary(1000, 0.0f, 44100.0f), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(nextBeatBoundary(1000, -120.0f, 44100.0f), 0u);
    EXPECT_EQ(nextBeatBoundary(1000, std::nanf(""), 44100.0f), 0u);
}

TEST(BeatSync, SaturatingConversions) {
    EXPECT_EQ(saturateToI64(-1.9), -1);
    EXPECT_EQ(saturateToI64(1e300), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(saturateToI64(-1e300), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(saturateToI64(std::nan("")), 0);
    EXPECT_EQ(saturateToU64(-5.0), 0u);
    EXPECT_EQ(saturateToU64(3.99), 3u);
    EXPECT_EQ(saturateToU64(INFINITY), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(truncClamp(29400.9f, 1, 29400), 29400);
    EXPECT_EQ(truncClamp(33075.0f, 1, 29400), 29400);
    EXPECT_EQ(truncClamp(689.0625f, 1, 29400), 689);
    EXPECT_EQ(truncClamp(-5.0f, 1, 29400), 1);
    EXPECT_EQ(truncClamp(INFINITY, 1, 29400), 29400);
    EXPECT_EQ(clampFloat(std::nanf(""), 1.0f, 16.0f), 1.0f);
    EXPECT_EQ(clampFloat(17.0f, 1.0f, 16.0f), 16.0f);
}

} // namespace
} // namespace vx
