#include "engine/DeckBeats.h"
#include "support/TrackRecord.h"

#include "analysis/peakFileData.h"
#include "engine/audioStream.h"
#include "library/LibraryFixture.h"
#include "library/VXAudioFileInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>

namespace vx {
namespace {

constexpr uint8_t kBeat = kPeakBeatFlag;                     // a grid beat
constexpr uint8_t kEven = kPeakBeatFlag | kPeakEvenBeatFlag; // a grid beat that is even
constexpr int32_t kEntries = 40;
constexpr int32_t kLength = kEntries * 256;

// Frame of a beat in entry e.
double at(int e) {
    return 1.0 + 256.0 * e;
}

// A loaded deck whose peaks have `entries` entries of height 10 and flags 0 (the last
// `uncomputed` left 0xFF), with `flags` set on the listed entries, and a track of `tempo` BPM.
struct Deck {
    audioStream d;

    explicit Deck(double tempo = 120.0, std::vector<std::pair<int, uint8_t>> flags = {},
                  int32_t length = kLength, int32_t entries = kEntries) {
        vx::test::setPeaks(d, peakFileData::create(entries));
        for (int32_t i = 0; i < entries; ++i) {
            d.peakData()->setEntry(i, 10, 0);
        }
        for (auto [e, f] : flags) {
            d.peakData()->setEntry(e, 10, f);
        }
        auto info = std::make_shared<VXAudioFileInfo>();
        info->setTempo(tempo);
        vx::test::setInfo(d, info);
        d.lengthFrames.store(length);
        d.pitchMode.store(true); // no key lock unless a test turns it on
        d.isLoaded.store(true);
    }
    VXAudioFileInfo& info() { return *d.info(); }
    // The beat entries that also carry `flags`.
    std::vector<int> beats(uint8_t flags = 0) const {
        std::vector<int> out;
        for (int32_t i = 0; i < d.peakData()->count; ++i) {
            if (d.peakData()->isBeatEntry(i) && (d.peakData()->flags(i) & flags) == flags) {
                out.push_back(i);
            }
        }
        return out;
    }
    std::vector<int> evenBeats() const { return beats(kPeakEvenBeatFlag); }
};

TEST(DeckBeats, ParityReadsTheEntryTheBeatFrameRoundsTo) {
    Deck deck(120, {{10, kBeat}, {11, kEven}, {12, kPeakLowFrequencyFlag}});
    deck.d.peakData()->setEntry(13, 0xFF, 0xFF); // not computed yet
    struct Case {
        double position;
        int parity;
    } cases[] = {
        {at(10), kBeatOther},         {at(11), kBeatEven},        {at(12), kBeatAny},
        {at(13), kBeatAny},           {at(10) + 127, kBeatOther}, // rounds down to 10
        {at(10) + 128, kBeatEven}, // (position − 1) / 256 = 10.5 rounds up to 11
        {at(11) - 129, kBeatOther},   {at(9), kBeatAny},          {-3000.0, kBeatAny},
        {at(kEntries + 5), kBeatAny}, {1e300, kBeatAny},          {NAN, kBeatAny},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(beatParityAt(deck.d, c.position), c.parity) << c.position;
        deck.d.position.store(c.position);
        EXPECT_EQ(beatParity(deck.d), c.parity) << c.position;
    }
    // An unloaded deck has no beat anywhere (0 would claim an even beat).
    deck.d.isLoaded.store(false);
    EXPECT_EQ(beatParityAt(deck.d, at(11)), kBeatAny);
}

TEST(DeckBeats, NextBeatFromFrameLooksOnlyAtTheFirstBeatAfterTheFramesEntry) {
    Deck deck(120, {{4, kBeat}, {8, kEven}, {39, kBeat}});
    struct Case {
        double frame;
        int mode;
        double expected;
    } cases[] = {
        {0, kBeatAny, at(4)},
        {1023, kBeatAny, at(4)},    // entry 3
        {1024, kBeatAny, at(8)},    // entry 4 itself is not "after"
        {at(4), kBeatAny, at(8)},   // on the beat: the next one
        {100, kBeatOther, at(4)},   // entry 4 is not even
        {100, kBeatEven, 100},      // the first beat is not even: no search further
        {1100, kBeatEven, at(8)},   // entry 8 is even
        {1100, kBeatOther, 1100},   // ... so not wanted
        {1100, 7, 1100},            // an unknown mode
        {-300, kBeatAny, at(4)},    // before the track
        {at(8), kBeatAny, at(39)},  // the last entry of the track
        {at(39), kBeatAny, at(39)}, // nothing after: the frame itself
        {kLength - 1, kBeatAny, kLength - 1},
        {kLength, kBeatAny, 0},       // at the end
        {kLength + 500, kBeatAny, 0}, // past it
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nextBeatFromFrame(deck.d, c.frame, c.mode), c.expected)
            << c.frame << " mode " << c.mode;
    }

    deck.info().setTempo(0);
    EXPECT_EQ(nextBeatFromFrame(deck.d, 100, kBeatAny), 100 + 22050);
    EXPECT_EQ(nextBeatFromFrame(deck.d, kLength, kBeatAny), 0);
    deck.info().setTempo(120);
    deck.d.isLoaded.store(false);
    EXPECT_EQ(nextBeatFromFrame(deck.d, 100, kBeatAny), 0);
}

TEST(DeckBeats, BeatSearchesStopAtTheTrackEndEvenWhenThePeaksRunLonger) {
    // Peaks for 50 entries, a track of 30: the beat in entry 45 lies beyond the track.
    Deck deck(120, {{45, kBeat}}, 30 * 256, 50);
    EXPECT_EQ(nextBeatFromFrame(deck.d, 100, kBeatAny), 100);
    deck.d.position.store(100);
    EXPECT_EQ(stepToNextBeat(deck.d, kBeatAny), 100);
    EXPECT_EQ(deck.d.position.load(), 100);
    EXPECT_EQ(nearestBeatToFrame(deck.d, 7000), 30 * 256); // the track end
}

TEST(DeckBeats, StepToNextBeatSearchesOnForTheWantedParityAndMovesThePosition) {
    struct Case {
        double position;
        int mode;
        double expected;
    } cases[] = {
        {0, kBeatAny, at(4)},        {0, kBeatOther, at(4)},   {0, kBeatEven, at(8)},
        {at(4), kBeatOther, at(12)}, {at(4), kBeatAny, at(8)}, {1100, kBeatEven, at(8)},
        {at(12), kBeatEven, at(12)}, // no even beat left: stays
        {at(12), 5, at(12)},         // unknown mode: stays
        {-2000, kBeatAny, at(4)},
    };
    for (const Case& c : cases) {
        Deck deck(120, {{4, kBeat}, {8, kEven}, {12, kBeat}});
        deck.d.position.store(c.position);
        deck.d.replanNeeded.store(false);
        EXPECT_EQ(stepToNextBeat(deck.d, c.mode), c.expected) << c.position << " " << c.mode;
        EXPECT_EQ(deck.d.position.load(), c.expected) << c.position << " " << c.mode;
        // A move asks the decoder for the block of the new position.
        EXPECT_EQ(deck.d.replanNeeded.load(), c.expected != c.position);
    }
}

TEST(DeckBeats, StepToNextBeatResetsTheEqAndHasSentinels) {
    Deck deck(120, {{4, kBeat}});
    deck.d.eq[0].bands[0].x1 = 0.5f;
    deck.d.eq[1].bands[2].y2 = -0.25f;
    deck.d.position.store(0);
    stepToNextBeat(deck.d, kBeatAny);
    EXPECT_EQ(deck.d.eq[0].bands[0].x1, 0.0f);
    EXPECT_EQ(deck.d.eq[1].bands[2].y2, 0.0f);

    deck.d.position.store(kLength + 10);
    EXPECT_EQ(stepToNextBeat(deck.d, kBeatAny), kLength + 10);

    deck.info().setTempo(0);
    deck.d.position.store(300);
    EXPECT_EQ(stepToNextBeat(deck.d, kBeatAny), 300 + 22050);
    EXPECT_EQ(deck.d.position.load(), 300); // not moved

    deck.d.isLoaded.store(false);
    EXPECT_EQ(stepToNextBeat(deck.d, kBeatAny), 0);
    EXPECT_EQ(deck.d.position.load(), 300);
}

TEST(DeckBeats, NearestBeatSkipsTheFramesOwnEntryAndPrefersTheLaterOneOnATie) {
    Deck deck(120, {{10, kBeat}, {20, kEven}});
    const double mid = (at(10) + at(20)) / 2; // 3841: 1280 frames from both
    struct Case {
        double frame;
        double expected;
    } cases[] = {
        {at(10), at(20)}, // exactly on the beat of entry 10: that entry is skipped
        {at(10) + 200, at(20)},
        {at(20), at(10)}, // on the last beat: back to entry 10 (the end is farther)
        {mid, at(20)},    // equal distance: the later beat
        {mid - 1, at(10)},
        {mid + 1, at(20)},
        {100, 0},             // no beat before: the track start is nearer
        {1500, at(10)},       // the first beat is nearer than the start
        {at(10) / 2, at(10)}, // exactly halfway to the start: the beat
        {at(10) / 2 - 1, 0},
        {9000, kLength}, // past the last beat: the track end is nearer
        {6000, at(20)},  // in entry 23: the beat of entry 20 wins over the end
        {-100, 0},
        {kLength, 0},
        {kLength + 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nearestBeatToFrame(deck.d, c.frame), c.expected) << c.frame;
    }
    deck.info().setTempo(0);
    EXPECT_EQ(nearestBeatToFrame(deck.d, 3000), -1);
    deck.d.isLoaded.store(false);
    EXPECT_EQ(nearestBeatToFrame(deck.d, 3000), 0);
}

TEST(DeckBeats, SkipBeatsStepsCountPlusOneBeatsAndCompensatesKeyLockLatency) {
    struct Case {
        int count;
        bool keyLock;
        double expected;
    } cases[] = {
        {0, false, at(2)},         {2, false, at(10)},
        {2, true, at(10) + 5120}, // the read position leads what is heard by the latency
        {-1, false, 300},          {-1, true, 300}, // a negative count does nothing at all
        {50, false, at(38)},                        // runs out of beats: stays on the last
        {50, true, at(38) + 5120},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<int, uint8_t>> flags;
        for (int e = 2; e < kEntries; e += 4) {
            flags.emplace_back(e, kBeat);
        }
        Deck deck(120, flags);
        deck.d.pitchMode.store(!c.keyLock);
        deck.d.stretchLatency.store(-5120.0);
        deck.d.position.store(300);
        skipBeatsForNextTrack(deck.d, c.count);
        EXPECT_EQ(deck.d.position.load(), c.expected) << c.count << " " << c.keyLock;
    }
}

// Entries round(x) for x = start ± k × period inside [0, count).
std::set<int> gridEntries(double start, double period, int32_t count) {
    std::set<int> out;
    for (int k = -100000; k <= 100000; ++k) {
        const double x = start + k * period;
        if (x >= 0 && x < count) {
            out.insert(static_cast<int>(std::round(x)));
        }
    }
    return out;
}

TEST(DeckBeats,
     GridRewriteAtTempo120MarksAnEntryEvery86Point13EntriesBothWaysAndWritesThePeakFile) {
    test::LibraryTempDir dir;
    const int32_t length = 441000; // ten seconds: 1723 entries
    const int32_t count = peakCountForFrames(length);
    Deck deck(120, {{3, kPeakBeatFlag | 0x20 | kPeakLowFrequencyFlag}, {900, 0x80}}, length, count);
    vx::test::setPath(deck.d, dir.path() / "Track.mp3");

    const double anchor = 256.0 * 500 + 64; // entry 500.25
    EXPECT_EQ(rewriteBeatGrid(deck.d, anchor), 86.1328125);

    std::vector<int> expected;
    for (int e : gridEntries(500.25, 86.1328125, count)) {
        expected.push_back(e);
    }
    EXPECT_EQ(deck.beats(), expected);
    // The first marks below and above the anchor, worked out by hand.
    for (int e : {500, 414, 328, 242, 156, 70, 586, 673, 759, 845, 931}) {
        EXPECT_TRUE(deck.d.peakData()->isBeatEntry(e)) << e;
    }
    // Old beat bits are gone; the colour flag and heights stay.
    EXPECT_EQ(deck.d.peakData()->flags(3), kPeakLowFrequencyFlag);
    EXPECT_EQ(deck.d.peakData()->flags(900), 0);
    EXPECT_EQ(deck.d.peakData()->height(3), 10);
    // Even beats follow from the first beat (entry 70): every other beat.
    const std::vector<int> beats = deck.beats();
    const std::vector<int> even = deck.evenBeats();
    ASSERT_FALSE(even.empty());
    EXPECT_EQ(even.front(), 70);
    for (size_t i = 0; i < beats.size(); ++i) {
        const bool isEven = std::count(even.begin(), even.end(), beats[i]) > 0;
        EXPECT_EQ(isEven, i % 2 == 0) << beats[i];
    }

    // The file beside the track holds exactly the new entries.
    auto read = peakFileData::create(1);
    ASSERT_TRUE(peakFileLoad(*read, dir.path() / "Track.peak"));
    ASSERT_EQ(read->count, count);
    for (int32_t i = 0; i < count; ++i) {
        ASSERT_EQ(read->flags(i), deck.d.peakData()->flags(i)) << i;
        ASSERT_EQ(read->height(i), deck.d.peakData()->height(i)) << i;
    }
}

TEST(DeckBeats, GridRewriteFromFrameZeroAndAtTheEndUsesTheInfosFileWithoutATrackPath) {
    test::LibraryTempDir dir;
    const int32_t count = 1723;
    Deck deck(120, {}, 441000, count);
    deck.info().fileName = dir.path() / "Named.wav";
    EXPECT_EQ(rewriteBeatGrid(deck.d, 0), 86.1328125);
    EXPECT_EQ(deck.beats(),
              (std::vector<int>{0,   86,  172,  258,  345,  431,  517,  603,  689,  775,
                                861, 947, 1034, 1120, 1206, 1292, 1378, 1464, 1550, 1637}));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Named.peak"));
    // The anchor may be the very end of the track.
    EXPECT_EQ(rewriteBeatGrid(deck.d, 441000), 86.1328125);
    // 1722.66 rounds outside the record; the marks go on below it.
    EXPECT_FALSE(deck.d.peakData()->isBeatEntry(1722));
    EXPECT_TRUE(deck.d.peakData()->isBeatEntry(1637));
    EXPECT_TRUE(deck.d.peakData()->isBeatEntry(1550));
    EXPECT_TRUE(deck.d.peakData()->isBeatEntry(0)); // the track is exactly 20 beats long
}

TEST(DeckBeats, GridRewriteIsRefusedOutsideTheTrackWithoutTempoAndForBuiltInTracks) {
    struct Case {
        const char* what;
        double anchor;
        double tempo;
        int group;
        bool loaded;
    } cases[] = {
        {"negative anchor", -1, 120, 0, true},  {"anchor past the end", kLength + 1, 120, 0, true},
        {"not a number", NAN, 120, 0, true},    {"no tempo", 1000, 0, 0, true},
        {"built-in track", 1000, 120, 1, true}, {"unloaded", 1000, 120, 0, false},
    };
    for (const Case& c : cases) {
        test::LibraryTempDir dir;
        Deck deck(c.tempo, {{7, kBeat}});
        deck.info().fileGroup = c.group;
        vx::test::setPath(deck.d, dir.path() / "t.mp3");
        deck.d.isLoaded.store(c.loaded);
        EXPECT_EQ(rewriteBeatGrid(deck.d, c.anchor), 0.0) << c.what;
        EXPECT_EQ(deck.beats(), std::vector<int>{7}) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "t.peak")) << c.what;
    }
}

// A deck whose beat is 10 entries (2560 frames) long, with beats in the listed entries.
Deck tenEntryBeats(const std::vector<int>& beats) {
    std::vector<std::pair<int, uint8_t>> flags;
    for (int e : beats) {
        flags.emplace_back(e, kEven); // stale even flags on every beat
    }
    return Deck(44100.0 * 60 / 2560, flags);
}

TEST(DeckBeats, EvenBeatsAreCountedFromTheNearestCueBeforeThem) {
    const std::vector<int> regular{5, 15, 25, 35};
    struct Case {
        const char* what;
        std::vector<int> beats;
        std::vector<long> cues;
        std::vector<int> even;
    } cases[] = {
        {"no cues: from the first beat", regular, {}, {5, 25}},
        {"a cue on the second beat shifts the count", regular, {256 * 15 + 10}, {5, 15, 35}},
        {"two cues", regular, {256 * 15 + 10, 256 * 25}, {5, 15, 25}},
        {"a cue at the track start", {4, 14, 24, 34}, {0}, {4, 24}},
        // Entry 14 closes the span before the cue, yet its beat counts from the cue (0 beats
        // away) rather than from the first beat (1 beat away).
        {"a beat in the entry before the cue", {5, 14, 24, 34}, {256 * 15 + 200}, {5, 14, 34}},
        {"cues outside the track", regular, {-5000, 256 * 90}, {5, 25}},
    };
    for (const Case& c : cases) {
        Deck deck = tenEntryBeats(c.beats);
        ASSERT_DOUBLE_EQ(deck.info().cycleLen, 2560.0);
        deck.d.cuePoints = c.cues;
        deck.d.numCuePoints = static_cast<int32_t>(c.cues.size());
        recomputeEvenBeats(deck.d);
        EXPECT_EQ(deck.evenBeats(), c.even) << c.what;
        EXPECT_EQ(deck.beats(), c.beats) << c.what; // beats stay beats
    }
}

TEST(DeckBeats, EvenBeatsWithoutTempoAreClearedAndAMissingBeatLengthFollowsTheTempo) {
    Deck deck = tenEntryBeats({5, 15, 25, 35});
    deck.info().cycleLen = 0; // tempo known, beat length never set
    recomputeEvenBeats(deck.d);
    EXPECT_EQ(deck.evenBeats(), (std::vector<int>{5, 25}));

    deck.info().setTempo(0);
    recomputeEvenBeats(deck.d);
    EXPECT_EQ(deck.evenBeats(), std::vector<int>{});
    EXPECT_EQ(deck.beats(), (std::vector<int>{5, 15, 25, 35}));
}

} // namespace
} // namespace vx
