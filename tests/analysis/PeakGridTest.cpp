#include "analysis/PeakGrid.h"

#include "PeakTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace vx {
namespace {

using test::beatEntries;
using test::snapshot;

// A computed record: heights i % 50, low flag on odd entries, no beats.
std::shared_ptr<peakFileData> computedRecord(int32_t count) {
    auto r = peakFileData::create(count);
    for (int32_t i = 0; i < count; ++i) {
        r->setEntry(i, static_cast<uint8_t>(i % 50), static_cast<uint8_t>(i & 1));
    }
    return r;
}

// Everything but the beat bits is untouched.
void expectOnlyBeatBitsDiffer(const peakFileData& r, const test::Snapshot& before) {
    const auto after = snapshot(r);
    for (size_t b = 0; b < after.bytes.size(); ++b) {
        const uint8_t mask = b % 2 == 0 ? 0xFF : static_cast<uint8_t>(~kPeakBeatBits);
        ASSERT_EQ(after.bytes[b] & mask, before.bytes[b] & mask) << "byte " << b;
    }
}

TEST(PeakGrid, BeatPeriodIsOneBeatInEntries) {
    const struct {
        double bpm;
        double period;
    } cases[] = {{120.0, 86.1328125}, {128.0, 80.74951171875}, {60.0, 172.265625}, {0.0, 1.0},
                 {-5.0, 1.0},         {std::nan(""), 1.0}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(beatPeriodWindows(c.bpm), c.period) << c.bpm;
    }
    EXPECT_DOUBLE_EQ(beatPeriodWindows(std::numeric_limits<double>::infinity()), 1.0);
}

// Marks at rounded steps to the record's end (forwards) or down to 0 (backwards), touching only
// the beat bits. Positions that round outside the record are skipped, never written: a last
// step just below the count, a start before 0 (forwards) or beyond the end (backwards).
TEST(PeakGrid, MarksRoundedStepsInsideTheRecord) {
    const struct {
        const char* name;
        bool forward;
        int32_t count;
        double period;
        double start;
        std::vector<int32_t> beats;
    } cases[] = {
        // 0, 86.13, 172.27, 258.40, 344.53, 430.66, 516.80, 602.93, 689.06, 775.20, 861.33, 947.46
        {"forward at 120 BPM",
         true,
         1000,
         86.1328125,
         0.0,
         {0, 86, 172, 258, 345, 431, 517, 603, 689, 775, 861, 947}},
        // 500, 413.87, 327.73, 241.60, 155.47, 69.34; the next step is below 0
        {"backward at 120 BPM", false, 1000, 86.1328125, 500.0, {69, 155, 242, 328, 414, 500}},
        {"forward, last step rounds to count", true, 100, 30.0, 9.6, {10, 40, 70}},
        {"forward, last step 99.6 skipped", true, 100, 45.0, 9.6, {10, 55}},
        {"forward from before 0", true, 100, 30.0, -10.0, {20, 50, 80}},
        {"forward from -0.4 rounds to 0", true, 100, 50.0, -0.4, {0, 50}},
        {"forward from far before 0", true, 100, 30.0, -1e6 - 10.0, {10, 40, 70}},
        {"forward from the end", true, 100, 30.0, 100.0, {}},
        {"backward from the end", false, 100, 30.0, 150.0, {0, 30, 60, 90}},
        {"backward from 99.6 skipped", false, 100, 30.0, 99.6, {10, 40, 70}},
        {"backward from far beyond", false, 100, 30.0, 1e6 + 0.25, {10, 40, 70}},
        {"backward from before 0", false, 100, 30.0, -1.0, {}},
        {"backward stops above 0", false, 100, 30.0, 70.7, {11, 41, 71}},
        {"backward reaches 0.3", false, 100, 30.0, 60.3, {0, 30, 60}},
        {"empty record", true, 0, 30.0, 0.0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = computedRecord(c.count);
        const auto before = snapshot(*r);
        if (c.forward) {
            markBeatsForward(*r, c.period, c.start);
        } else {
            markBeatsBackward(*r, c.period, c.start);
        }
        EXPECT_EQ(beatEntries(*r), c.beats);
        expectOnlyBeatBitsDiffer(*r, before);
        for (int32_t b : c.beats) {
            EXPECT_EQ(r->flags(b), 0x40 | (b & 1)) << "the low flag of entry " << b << " stays";
        }
    }
}

// A period that cannot step marks nothing and returns; one below an entry marks every entry.
TEST(PeakGrid, DegeneratePeriodsTerminate) {
    for (double period : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(period);
        const auto r = computedRecord(50);
        markBeatsForward(*r, period, 3.0);
        markBeatsBackward(*r, period, 3.0);
        EXPECT_TRUE(beatEntries(*r).empty());
    }
    const auto r = computedRecord(20);
    markBeatsForward(*r, 1e-300, 15.0);
    EXPECT_EQ(beatEntries(*r), (std::vector<int32_t>{15, 16, 17, 18, 19}));
    markBeatsBackward(*r, 0.25, 2.0);
    EXPECT_EQ(beatEntries(*r), (std::vector<int32_t>{0, 1, 2, 15, 16, 17, 18, 19}));
    const auto s = computedRecord(20);
    markBeatsForward(*s, 5.0, std::nan(""));
    markBeatsBackward(*s, 5.0, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(beatEntries(*s).empty());
}

// Re-gridding clears every beat bit (grid and even beats), then places the grid both ways
// from the anchor's entry at the tempo's period; heights and the low flag stay.
TEST(PeakGrid, RegridMovesTheGridToTheAnchor) {
    const auto r = computedRecord(700);
    markBeatsForward(*r, 50.0, 7.0); // an old grid
    r->setFlagBits(123, kPeakEvenBeatFlag);
    r->setFlagBits(124, 0x80);
    const auto before = snapshot(*r);
    // Anchor frame 256 · 300 + 17: entry 300.0664; period 86.1328125 at 120 BPM.
    ASSERT_TRUE(regridPeaks(*r, 256.0 * 300 + 17, 120.0));
    // Forward 300.07, 386.20, 472.33, 558.46, 644.60; backward 213.93, 127.80, 41.67.
    EXPECT_EQ(beatEntries(*r), (std::vector<int32_t>{42, 128, 214, 300, 386, 472, 558, 645}));
    for (int32_t i = 0; i < r->count; ++i) {
        ASSERT_EQ(r->flags(i) & (kPeakBeatBits & ~kPeakBeatFlag), 0) << i;
    }
    expectOnlyBeatBitsDiffer(*r, before);

    // At frame 0 (128 BPM): 0, 80.75, 161.50. From the end (200, outside): 119.25, 38.50 →
    // 119, 39 (38.5 rounds up).
    const auto s = computedRecord(200);
    ASSERT_TRUE(regridPeaks(*s, 0.0, 128.0));
    EXPECT_EQ(beatEntries(*s), (std::vector<int32_t>{0, 81, 161}));
    ASSERT_TRUE(regridPeaks(*s, 256.0 * 200, 128.0));
    EXPECT_EQ(beatEntries(*s), (std::vector<int32_t>{39, 119}));
}

// Entries not computed yet lose their beat bits like the others and take the new marks; their
// height stays "not computed".
TEST(PeakGrid, RegridOverEntriesNotComputedYet) {
    const auto r = peakFileData::create(100);
    ASSERT_TRUE(regridPeaks(*r, 256.0 * 10, 60.0));
    EXPECT_EQ(beatEntries(*r), (std::vector<int32_t>{10}));
    EXPECT_EQ(r->flags(10), 0x4F);
    EXPECT_EQ(r->flags(11), 0x0F);
    EXPECT_FALSE(r->isComputed(10));
    EXPECT_TRUE(r->isBeatEntry(10));
    EXPECT_FALSE(r->isBeatEntry(11));
}

TEST(PeakGrid, RegridRefusesWithoutTempoOrWithABadAnchor) {
    const struct {
        double anchor;
        double tempo;
    } cases[] = {
        {1000.0, 0.0}, {1000.0, -120.0},      {1000.0, std::nan("")},
        {-1.0, 120.0}, {std::nan(""), 120.0}, {std::numeric_limits<double>::infinity(), 120.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.anchor);
        SCOPED_TRACE(c.tempo);
        const auto r = computedRecord(100);
        markBeatsForward(*r, 25.0, 3.0);
        const auto before = snapshot(*r);
        EXPECT_FALSE(regridPeaks(*r, c.anchor, c.tempo));
        EXPECT_EQ(snapshot(*r), before);
    }
}

// The main thread re-grids while the decode thread fills blocks of entries: neither loses the
// other's work (each byte-1 change is an atomic read-modify-write), and the accesses are
// race-free under ThreadSanitizer.
TEST(PeakGrid, MarkingWhileAnotherThreadFillsKeepsBothWrites) {
    constexpr int32_t kCount = 50000;
    const auto r = peakFileData::create(kCount);
    // The grid is placed first on the uncomputed record, as when a deck re-grids a track whose
    // blocks are still being decoded.
    ASSERT_TRUE(regridPeaks(*r, 0.0, 120.0));
    const auto expectedBeats = beatEntries(*r);
    std::atomic<bool> go{false};
    std::thread filler([&] {
        while (!go.load()) {
        }
        for (int32_t i = 0; i < kCount; ++i) {
            r->fillEntry(i, static_cast<uint8_t>(i % 40), static_cast<uint8_t>(i % 5 == 0));
        }
    });
    go = true;
    // Meanwhile, mark the grid again and read the entries.
    int beatsSeen = 0;
    for (int pass = 0; pass < 3; ++pass) {
        markBeatsForward(*r, beatPeriodWindows(120.0), 0.0);
        for (int32_t i = 0; i < kCount; ++i) {
            beatsSeen += r->isBeatEntry(i);
        }
    }
    filler.join();
    EXPECT_GT(beatsSeen, 0);
    EXPECT_EQ(beatEntries(*r), expectedBeats);
    for (int32_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(r->height(i), i % 40) << i;
        ASSERT_EQ(r->flags(i) & kPeakLowFrequencyFlag, i % 5 == 0 ? 1 : 0) << i;
    }
}

} // namespace
} // namespace vx
