// The mixing screen's transport and cue handlers, driven like a DJ would on real decks (the
// offline device) with the screen's timers on a manual clock.

#include "engine/EngineFixture.h"
#include "library/LibraryFixture.h"
#include "support/TempDir.h"
#include "support/TrackRecord.h"

#include "analysis/peakFileData.h"
#include "deck/SampleTestController.h"
#include "engine/Transport.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include "FakeHost.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using test::Engine;

// A beat every 10 peak entries (2560 frames) from entry 5.
constexpr double kTempo = 44100.0 * 60 / 2560;
constexpr int32_t kFrames = 400 * 256;

class SampleTestControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.ok);
        db = DBController::init(home.paths());
        ASSERT_TRUE(db);
        info = test::makeInfo(home.paths(), "Deck Track.mp3", "Deck Track", "Somebody", "", kTempo);
        db->addFileToDB(*info, 0);
        audioStream& d = engine.out.deck(0);
        test::loadGenerated(d, kFrames, test::sine(330.0));
        vx::test::setPeaks(d, peakFileData::create(kFrames / 256));
        for (int32_t i = 0; i < kFrames / 256; ++i) {
            d.peakData()->setEntry(i, 10, i % 10 == 5 ? kPeakBeatFlag : 0);
        }
        vx::test::setInfo(d, info);
        d.pitchMode.store(true); // audible position = read position
        controller = std::make_unique<SampleTestController>(engine.out, db.get(), defaults,
                                                            notifications, loop, &host);
    }

    audioStream& deck0() { return engine.out.deck(0); }
    void at(double frame) { deck0().position.store(frame); }
    std::vector<long> storedCues() {
        auto cues = db->getCuePoints(*info).value_or(std::vector<int64_t>{});
        std::sort(cues.begin(), cues.end());
        return {cues.begin(), cues.end()};
    }
    void advance(double seconds) {
        clock.advance(seconds);
        loop.runDue();
    }

    Engine engine{256};
    test::LibraryHome home;
    test::TempDir dir;
    UserDefaults defaults{dir.file("settings.json")};
    ManualClock clock;
    RunLoop loop{clock};
    NotificationCenter notifications{loop};
    test::FakeHost host;
    std::shared_ptr<DBController> db;
    std::shared_ptr<VXAudioFileInfo> info;
    std::unique_ptr<SampleTestController> controller;
};

TEST_F(SampleTestControllerTest, SettingCuesStoresEachSpotOnceAndSnapsToTheBeat) {
    controller->setSnapCueToBeat(false);
    at(5000);
    controller->cueButton(0);
    controller->cueButton(0); // the same spot again
    EXPECT_EQ(storedCues(), (std::vector<long>{5000}));
    at(0);
    controller->cueButton(0); // position 0 on a track that has cues
    EXPECT_EQ(storedCues(), (std::vector<long>{5000}));
    EXPECT_EQ(deck0().cuePoints, (std::vector<long>{5000}));

    // Snapped: the beat nearest the raw position. A beat mark stands for frame 1 of its
    // window: marks at 1 + 256 × (5 + 10k), so 8000 snaps to 8961 (entry 35).
    controller->setSnapCueToBeat(true);
    at(8000);
    controller->cueButton(0);
    EXPECT_EQ(storedCues(), (std::vector<long>{5000, 8961}));
    EXPECT_GE(controller->view(0).navigatorUpdates, 3);
}

// The first press parks the deck on the nearest cue (the later one on a tie), stopped; the second
// deletes it.
TEST_F(SampleTestControllerTest, DeleteFirstParksOnTheNearestCueThenDeletesIt) {
    controller->setSnapCueToBeat(false);
    for (double c : {10000.0, 20000.0}) {
        at(c);
        controller->cueButton(0);
    }
    at(15000); // exactly between: the later one wins
    controller->play(0);
    controller->cueDeleteButton(0);
    EXPECT_FALSE(deck0().isPlaying.load());
    EXPECT_EQ(deck0().position.load(), 20000.0);
    EXPECT_EQ(storedCues(), (std::vector<long>{10000, 20000}));
    controller->cueDeleteButton(0);
    EXPECT_EQ(storedCues(), (std::vector<long>{10000}));
    EXPECT_EQ(deck0().numCuePoints, 1);
}

TEST_F(SampleTestControllerTest, PreviousAndNextStepOverTheCues) {
    controller->setSnapCueToBeat(false);
    for (double c : {10000.0, 20000.0, 30000.0}) {
        at(c);
        controller->cueButton(0);
    }
    at(20000); // on cue 1: previous goes to cue 0
    controller->cuePrevButton(0);
    EXPECT_EQ(deck0().position.load(), 10000.0);
    at(5000); // before the first: the track start
    controller->cuePrevButton(0);
    EXPECT_EQ(deck0().position.load(), 0.0);
    at(20000); // on cue 1: next goes to cue 2
    controller->cueNextButton(0);
    EXPECT_EQ(deck0().position.load(), 30000.0);
    at(35000); // past the last: nothing
    controller->cueNextButton(0);
    EXPECT_EQ(deck0().position.load(), 35000.0);
}

TEST_F(SampleTestControllerTest, HoldCuePlaysFromTheCueAndReleaseParksOnIt) {
    controller->setSnapCueToBeat(false);
    at(10000);
    controller->cueButton(0);
    at(12000);
    controller->play(0);
    controller->cueHoldButton(0);
    EXPECT_EQ(deck0().position.load(), 10000.0);
    EXPECT_TRUE(deck0().isPlaying.load());
    engine.render(2048);
    EXPECT_GT(deck0().position.load(), 10000.0 + 1024);
    controller->cueHoldButtonUp(0);
    EXPECT_FALSE(deck0().isPlaying.load());
    EXPECT_EQ(deck0().position.load(), 10000.0);

    // From a stopped deck the press starts it and the release stops it again on the cue.
    controller->cueHoldButton(0);
    EXPECT_TRUE(deck0().isPlaying.load());
    engine.render(512);
    controller->cueHoldButtonUp(0);
    EXPECT_FALSE(deck0().isPlaying.load());
    EXPECT_EQ(deck0().position.load(), 10000.0);
}

// Play/stop on a playing deck fades over 1024 frames and only then reports it stopped.
TEST_F(SampleTestControllerTest, PlayStopFadesOutOver1024FramesBeforeStopping) {
    controller->playStop(0);
    EXPECT_TRUE(deck0().isPlaying.load());
    EXPECT_TRUE(controller->view(0).play.selected);
    EXPECT_FALSE(controller->view(0).navigatorTouchable);
    engine.render(2048);
    controller->playStop(0);
    EXPECT_FALSE(controller->view(0).play.selected);
    EXPECT_TRUE(controller->view(0).navigatorTouchable);
    EXPECT_TRUE(deck0().isPlaying.load());
    const std::vector<float> fade = engine.render(1024);
    EXPECT_LT(std::fabs(fade[2 * 1023]), 0.01f); // faded to silence at the end
    EXPECT_GT(std::fabs(fade[2 * 100]) + std::fabs(fade[2 * 101]), 0.0f);
    engine.render(256);
    EXPECT_FALSE(deck0().isPlaying.load());
}

TEST_F(SampleTestControllerTest, EjectFlashesAndOpensTheBrowserAfterAMoment) {
    controller->eject(1);
    EXPECT_EQ(controller->view(1).ejectFlashAlpha, 1.0f);
    EXPECT_FALSE(controller->touchesEnabled()); // a phone: the browser covers the screen
    EXPECT_TRUE(host.browserFor.empty());
    advance(0.01);
    EXPECT_EQ(host.browserFor, (std::vector<int>{1}));
    EXPECT_EQ(controller->view(1).ejectFlashAlpha, 0.0f);
}

TEST_F(SampleTestControllerTest, RemotePlayPauseRemembersWhichDecksPlayed) {
    controller->play(0);
    controller->remoteControlReceived(103);
    EXPECT_FALSE(deck0().isPlaying.load());
    controller->remoteControlReceived(103);
    EXPECT_TRUE(deck0().isPlaying.load());
    EXPECT_FALSE(engine.out.deck(1).isPlaying.load()); // never played, not started
    controller->remoteControlReceived(999);            // ignored
    EXPECT_TRUE(deck0().isPlaying.load());
}

TEST_F(SampleTestControllerTest, NamesAndButtonsFollowTheDecks) {
    controller->updateNames();
    EXPECT_EQ(controller->view(0).title.text, "Deck Track");
    EXPECT_EQ(controller->view(0).artist.text, "Somebody");
    EXPECT_EQ(controller->view(1).title.text, "");
    controller->play(0);
    controller->updatePlayButtons();
    EXPECT_TRUE(controller->view(0).play.selected);
    EXPECT_FALSE(controller->view(0).pitchButtons.hidden);
    EXPECT_TRUE(controller->view(1).pitchButtons.hidden);
    controller->setPanelShown(0, &DeckViewState::eqPanel, true);
    EXPECT_TRUE(controller->view(0).play.hidden);
    EXPECT_FALSE(controller->view(1).play.hidden);
}

// Every way the screen starts a freshly loaded deck counts one play of its track, and a second
// start of the same load counts none.
TEST_F(SampleTestControllerTest, EveryStartOfAFreshLoadCountsOnePlay) {
    using C = SampleTestController;
    int expected = db->getFullInfoForFile(info->fileName)->playcount;
    for (auto start : {&C::play, &C::playStop, &C::pause, &C::cueHoldButton}) {
        deckStop(deck0());
        deck0().firstPlayPending.store(true); // as a load leaves it
        for (int twice = 0; twice < 2; ++twice) {
            deckStop(deck0());
            (controller.get()->*start)(0);
            ASSERT_TRUE(deck0().isPlaying.load());
        }
        loop.runDue();
        EXPECT_EQ(db->getFullInfoForFile(info->fileName)->playcount, ++expected);
    }
}

// Deck 1 holds nothing: every transport and cue handler leaves it as it was.
TEST_F(SampleTestControllerTest, EveryTransportHandlerOnAnUnloadedDeckIsHarmless) {
    using C = SampleTestController;
    audioStream& d = engine.out.deck(1);
    int i = 0;
    for (auto handler : {&C::playStop, &C::play, &C::stop, &C::pause, &C::ffButton, &C::rewButton,
                         &C::cueButton, &C::cueDeleteButton, &C::cueHoldButton, &C::cueHoldButtonUp,
                         &C::cuePrevButton, &C::cueNextButton, &C::cueLoopPanelSwitch}) {
        (controller.get()->*handler)(1);
        ++i;
        EXPECT_FALSE(d.isPlaying.load()) << i;
        EXPECT_FALSE(d.isLoaded.load()) << i;
        EXPECT_EQ(d.position.load(), 0.0) << i;
        EXPECT_EQ(d.numCuePoints, 0) << i;
    }
    engine.render(1024); // and the engine renders on

    // A number that is no deck reaches neither deck (it used to be folded onto deck 0).
    for (int none : {2, -1, 3}) {
        controller->play(none);
        controller->cueButton(none);
        EXPECT_FALSE(deck0().isPlaying.load()) << none;
        EXPECT_EQ(deck0().position.load(), 0.0) << none;
        EXPECT_EQ(deck0().numCuePoints, 0) << none;
    }
}

} // namespace
} // namespace vx
