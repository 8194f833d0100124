#include "engine/DeckCues.h"
#include "support/TrackRecord.h"

#include "analysis/peakFileData.h"
#include "engine/audioStream.h"
#include "library/LibraryFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace vx {
namespace {

using test::LibraryHome;
using test::makeInfo;

constexpr int32_t kEntries = 40;
// A beat every 10 entries (2560 frames) from entry 5.
constexpr double kTempo = 44100.0 * 60 / 2560;

class DeckCues : public ::testing::Test {
protected:
    void SetUp() override {
        db = DBController::init(home.paths());
        ASSERT_TRUE(db);
        info = makeInfo(home.paths(), "Cue Track.mp3", "Cue Track", "", "", kTempo);
        db->addFileToDB(*info, 0);
        vx::test::setPeaks(deck, peakFileData::create(kEntries));
        for (int32_t i = 0; i < kEntries; ++i) {
            deck.peakData()->setEntry(i, 10, i % 10 == 5 ? kPeakBeatFlag : 0);
        }
        vx::test::setInfo(deck, info);
        deck.lengthFrames.store(kEntries * 256);
        deck.pitchMode.store(true);
        deck.isLoaded.store(true);
    }

    std::vector<long> stored() {
        auto cues = db->getCuePoints(*info).value_or(std::vector<int64_t>{});
        std::sort(cues.begin(), cues.end());
        return {cues.begin(), cues.end()};
    }
    std::vector<int> evenBeats() const {
        std::vector<int> out;
        for (int32_t i = 0; i < kEntries; ++i) {
            if (deck.peakData()->isBeatEntry(i) &&
                (deck.peakData()->flags(i) & kPeakEvenBeatFlag)) {
                out.push_back(i);
            }
        }
        return out;
    }
    void expectCues(const std::vector<long>& cues) {
        EXPECT_EQ(deck.cuePoints, cues);
        EXPECT_EQ(deck.numCuePoints, static_cast<int32_t>(cues.size()));
        EXPECT_EQ(stored(), cues);
    }

    LibraryHome home;
    std::shared_ptr<DBController> db;
    std::shared_ptr<VXAudioFileInfo> info;
    audioStream deck;
};

TEST_F(DeckCues, ReloadSortsTheDatabasesCuesAndRecountsTheEvenBeats) {
    for (long cue : {90000L, 256L * 15 + 10, 50000L}) {
        db->addCuePoint(*info, cue);
    }
    reloadCuePoints(deck, db.get());
    EXPECT_EQ(deck.cuePoints, (std::vector<long>{256 * 15 + 10, 50000, 90000}));
    EXPECT_EQ(deck.numCuePoints, 3);
    // Counted from the cue at entry 15, not from the first beat (which gives 5, 25).
    EXPECT_EQ(evenBeats(), (std::vector<int>{5, 15, 35}));

    for (long cue : {256L * 15 + 10, 50000L, 90000L}) {
        db->removeCuePoint(*info, cue);
    }
    reloadCuePoints(deck, db.get());
    EXPECT_TRUE(deck.cuePoints.empty());
    EXPECT_EQ(deck.numCuePoints, 0);
    EXPECT_EQ(evenBeats(), (std::vector<int>{5, 25}));
}

TEST_F(DeckCues, AddCueStoresTheAudiblePositionTruncatedToAFrame) {
    struct Case {
        const char* what;
        bool keyLock;
        double position;
        long cue;
    } cases[] = {
        {"pitch mode: the read position", false, 1000.9, 1000},
        {"key lock: the read position plus the latency", true, 10000.7, 4880},
    };
    for (const Case& c : cases) {
        deck.pitchMode.store(!c.keyLock);
        deck.stretchLatency.store(-5120.0);
        deck.position.store(c.position);
        addCueAtAudiblePosition(deck, db.get());
        EXPECT_NE(std::count(deck.cuePoints.begin(), deck.cuePoints.end(), c.cue), 0) << c.what;
    }
    expectCues({1000, 4880});
    // Again at the same spot: stored once.
    addCueAtAudiblePosition(deck, db.get());
    expectCues({1000, 4880});
}

TEST_F(DeckCues, ACueAtTheTrackStartIsStoredOnlyWhileThereIsNoOtherCue) {
    deck.position.store(0.4); // truncates to frame 0
    addCueAtAudiblePosition(deck, db.get());
    expectCues({0});
    addCueAtAudiblePosition(deck, db.get()); // a second 0: refused
    expectCues({0});

    db->removeCuePoint(*info, 0);
    addCueAtFrame(deck, db.get(), 3000);
    expectCues({3000});
    deck.position.store(0);
    addCueAtAudiblePosition(deck, db.get());
    addCueAtFrame(deck, db.get(), -0.7); // truncated towards 0
    expectCues({3000});
}

TEST_F(DeckCues, AddCueAtFrameKeepsTheListSortedAndDeleteCueRemovesOnlyAValidIndex) {
    for (double f : {7000.0, 300.0, 5000.5, 1e12, -1e12}) {
        addCueAtFrame(deck, db.get(), f);
    }
    expectCues({300, 5000, 7000}); // impossible frames ignored, 5000.5 truncated
    for (int bad : {-1, 3, 100}) {
        deleteCue(deck, db.get(), bad);
        expectCues({300, 5000, 7000});
    }
    deleteCue(deck, db.get(), 1);
    expectCues({300, 7000});
    deleteCue(deck, db.get(), 1);
    expectCues({300});
    deleteCue(deck, db.get(), 0);
    expectCues({});
}

TEST_F(DeckCues, FileOpenedReplacesThePreviousTracksCues) {
    deck.cuePoints = {11, 12};
    deck.numCuePoints = 2;
    db->addCuePoint(*info, 256 * 15 + 10);
    db->addCuePoint(*info, 200);
    deckFileOpened(deck, db.get());
    EXPECT_EQ(deck.cuePoints, (std::vector<long>{200, 256 * 15 + 10}));
    EXPECT_EQ(deck.numCuePoints, 2);
    EXPECT_EQ(evenBeats(), (std::vector<int>{5, 15, 35})); // the later cue restarts the count

    // A track the database does not know, or no database: no cue points.
    struct Case {
        const char* what;
        bool known;
        bool withDb;
    } cases[] = {{"unknown track", false, true}, {"no database", true, false}};
    for (const Case& c : cases) {
        deck.cuePoints = {11, 12};
        deck.numCuePoints = 2;
        vx::test::setInfo(deck, c.known ? info : makeInfo(home.paths(), "Other.mp3", "Other"));
        deckFileOpened(deck, c.withDb ? db.get() : nullptr);
        EXPECT_TRUE(deck.cuePoints.empty()) << c.what;
        EXPECT_EQ(deck.numCuePoints, 0) << c.what;
    }
}

TEST_F(DeckCues, WithoutADatabaseOrATrackNothingChanges) {
    addCueAtFrame(deck, db.get(), 256 * 15 + 10);
    addCueAtFrame(deck, nullptr, 9000);
    deleteCue(deck, nullptr, 0);
    expectCues({256 * 15 + 10});
    // A reload without the database keeps the deck's copy and still recounts.
    deck.peakData()->setFlagBits(25, kPeakEvenBeatFlag);
    reloadCuePoints(deck, nullptr);
    EXPECT_EQ(deck.cuePoints, (std::vector<long>{256 * 15 + 10}));
    EXPECT_EQ(evenBeats(), (std::vector<int>{5, 15, 35}));

    // Unloaded: neither the database nor the deck's copy changes (the copy differs from the
    // database here, so that a reload would show).
    deck.isLoaded.store(false);
    deck.cuePoints = {11, 12};
    addCueAtFrame(deck, db.get(), 9000);
    deleteCue(deck, db.get(), 0);
    deckFileOpened(deck, db.get());
    reloadCuePoints(deck, db.get());
    EXPECT_EQ(deck.cuePoints, (std::vector<long>{11, 12}));
    EXPECT_EQ(stored(), (std::vector<long>{256 * 15 + 10}));
}

} // namespace
} // namespace vx
