// The party screen over generated decks on the offline engine: its read-outs as strings, the
// refresh timer on a manual clock, the buttons' states, the pitch buttons acting on both decks,
// and the remote control reaching it through the mixing screen.

#include "deck/PartyModeController.h"

#include "BeatTrack.h"
#include "ScreenDesk.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vx {
namespace {

constexpr int32_t kTrackFrames = 1323000; // 30 s
constexpr int kBeatEntries = 86;
constexpr double kTempo = 60.0 * 44100.0 / (kBeatEntries * 256.0);

struct PartyView : test::ScreenDesk {
    std::unique_ptr<PartyModeController> party;

    explicit PartyView(bool tablet = false) {
        defaults.setBool("kTempoLock", false);
        engine.out.startPlay();
        makeScreen();
        host.screen = screen.get();
        screen->setRandomStart(3);
        load(0, kTempo, "Zero", "Artist Zero", "Album Zero");
        load(1, kTempo, "One", "Artist One", "Album One");
        party =
            std::make_unique<PartyModeController>(*screen, engine.out, notifications, loop, tablet);
        party->viewDidLoad();
    }

    void load(int d, double tempo, const char* title, const char* artist, const char* album) {
        VXAudioFileInfo& info = test::loadBeatTrack(deck(d), tempo, kTrackFrames, kBeatEntries);
        info.title = title;
        info.artist = artist;
        info.album = album;
    }
};

TEST(PartyModeController, ReadOutsUseTheirFormats) {
    struct Case {
        const char* name;
        uint64_t samplesPlayed;
        double position;
        int32_t triggerFrame;
        double baseSpeed;
        int crate; // of the next deck
        const char* total;
        const char* tillNext;
        const char* bpm;
        const char* fromCrate;
    };
    const Case cases[] = {
        {"start", 0, 0.0, 44100 * 61 + 100, 1.0, 0, "00:00", "01:01", "120.2", "A"},
        {"two minutes", uint64_t(44100 * 125.9), 1000.0, 1000 + 44100 * 30, 1.1, 4, "02:05",
         "00:33", "132.2", "E"},
        {"slow deck", 44100 * 3600, 0.0, 44100 * 60, 0.9, 2, "60:00", "00:54", "108.2", "C"},
        {"trigger passed", 44100, 500000.0, 400000, 1.0, -1, "00:01", "Now", "120.2", "--"},
        {"trigger here", 44100, 400000.0, 400000, 1.0, 5, "00:01", "Now", "120.2", "--"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartyView t;
        t.screen->togglePartyMode();
        t.engine.out.samplesPlayed.store(c.samplesPlayed);
        t.deck(0).position.store(c.position);
        t.deck(0).triggerFrame.store(c.triggerFrame);
        t.deck(0).baseSpeed.store(c.baseSpeed);
        t.deck(1).crateIndex.store(c.crate);
        t.party->refreshInterface();
        EXPECT_EQ(t.party->totalTimeLabel().text, c.total);
        EXPECT_EQ(t.party->tillNextTrackLabel().text, c.tillNext);
        EXPECT_EQ(t.party->BPMLabel().text, c.bpm);
        EXPECT_EQ(t.party->fromCrate().text, c.fromCrate);
        EXPECT_EQ(t.party->tracksPlayed().text, " 0");
        EXPECT_EQ(t.party->trackLabel().text, "Zero");
        EXPECT_EQ(t.party->artistLabel().text, "Artist Zero");
        EXPECT_EQ(t.party->albumLabel().text, "Album Zero");
    }
}

TEST(PartyModeController, TheLabelsFollowTheCurrentDeckAndTheTransitions) {
    PartyView t;
    t.screen->mainBalance().setValue(0.0f);
    t.screen->setCrossfade(0.0f); // deck 1 alone on air: it becomes the current deck
    t.screen->togglePartyMode();
    t.party->refreshInterface();
    EXPECT_EQ(t.party->trackLabel().text, "One");
    EXPECT_EQ(t.party->albumLabel().text, "Album One");
    for (int i = 1; i <= 12; ++i) {
        t.screen->doAutocueTrigger();
    }
    t.party->refreshInterface();
    EXPECT_EQ(t.party->tracksPlayed().text, "12");
    t.deck(1).info()->title.reset();
    t.deck(1).info()->fileName = "/music/No Title.mp3";
    t.party->refreshInterface();
    EXPECT_EQ(t.party->trackLabel().text, "No Title") << "the file name stands in";
}

TEST(PartyModeController, AppearingStartsTheRefreshAndDisappearingStopsIt) {
    for (const bool tablet : {false, true}) {
        SCOPED_TRACE(tablet ? "tablet" : "phone");
        PartyView t(tablet);
        t.engine.out.setGain(0.4f);
        t.screen->togglePartyMode();
        t.party->viewWillAppear();
        EXPECT_NEAR(t.party->volumeSlider().value(), 0.4f, 1e-6);
        EXPECT_TRUE(t.party->playPauseButton().selected);
        EXPECT_EQ(t.screen->pmcontroller(), t.party.get());
        EXPECT_EQ(t.party->mainViewScale(), tablet ? 1.0666667f : 1.0f);
        EXPECT_EQ(t.party->mainViewCentred(), tablet);
        EXPECT_TRUE(t.party->totalTimeLabel().text.empty());

        t.engine.out.samplesPlayed.store(44100 * 7);
        t.advance(1.0 / 15.0 - 0.001);
        EXPECT_TRUE(t.party->totalTimeLabel().text.empty());
        t.advance(0.001);
        EXPECT_EQ(t.party->totalTimeLabel().text, "00:07") << "refreshed after 1/15 s";
        t.engine.out.samplesPlayed.store(44100 * 8);
        t.advance(1.0 / 15.0);
        EXPECT_EQ(t.party->totalTimeLabel().text, "00:08");

        t.party->viewWillDisappear();
        EXPECT_FALSE(t.party->refreshing());
        EXPECT_EQ(t.screen->pmcontroller(), nullptr);
        t.engine.out.samplesPlayed.store(44100 * 9);
        t.advance(1.0);
        EXPECT_EQ(t.party->totalTimeLabel().text, "00:08");
    }
}

TEST(PartyModeController, PlayPauseStartsPartyModeThenPausesAndResumesTheDecks) {
    PartyView t;
    t.engine.out.samplesPlayed.store(123456);
    t.party->viewWillAppear();
    EXPECT_FALSE(t.party->playPauseButton().selected);

    t.party->playPauseAction(); // on
    EXPECT_TRUE(t.screen->partyModeOn());
    EXPECT_TRUE(t.party->playPauseButton().selected);
    EXPECT_EQ(t.engine.out.samplesPlayedCount(), 0u);
    EXPECT_EQ(t.party->prevState(), (std::array<bool, 2>{true, false}));

    t.deck(1).isPlaying.store(true); // mid-transition: both play
    t.party->playPauseAction();      // pause
    EXPECT_FALSE(t.deck(0).isPlaying.load());
    EXPECT_FALSE(t.deck(1).isPlaying.load());
    EXPECT_FALSE(t.party->playPauseButton().selected);
    EXPECT_EQ(t.party->prevState(), (std::array<bool, 2>{true, true}));
    EXPECT_TRUE(t.screen->partyModeOn()) << "a pause keeps party mode on";

    t.party->playPauseAction(); // resume
    EXPECT_TRUE(t.deck(0).isPlaying.load());
    EXPECT_TRUE(t.deck(1).isPlaying.load());
    EXPECT_TRUE(t.party->playPauseButton().selected);
}

TEST(PartyModeController, SkipBlocksTheButtonsUntilTheCrossfadeEnds) {
    PartyView t;
    t.party->viewWillAppear();
    t.party->skipAction();
    EXPECT_FALSE(t.party->nextButton().selected) << "party mode off: nothing";
    EXPECT_TRUE(t.party->nextButton().enabled);

    t.screen->togglePartyMode(nullptr);
    t.deck(0).position.store(100000.0);
    t.party->skipAction();
    EXPECT_TRUE(t.party->nextButton().selected);
    EXPECT_FALSE(t.party->nextButton().enabled);
    EXPECT_FALSE(t.party->playPauseButton().enabled);
    EXPECT_TRUE(t.deck(0).triggerArmed.load());
    EXPECT_EQ(t.deck(0).triggerFrame.load(), 1 + 5 * kBeatEntries * 256) << "the next beat";

    t.notifications.post("autoXFadeStop");
    t.loop.runDue();
    EXPECT_FALSE(t.party->nextButton().selected);
    EXPECT_TRUE(t.party->nextButton().enabled);
    EXPECT_TRUE(t.party->playPauseButton().enabled);
    EXPECT_TRUE(t.party->viewEnabled());
}

TEST(PartyModeController, CloseSwitchesPartyModeOffAndRemovesTheView) {
    PartyView t;
    t.party->viewWillAppear();
    t.party->playPauseAction();
    t.screen->togglePartyMode(nullptr); // off behind the screen's back, then on again
    t.screen->togglePartyMode(nullptr);
    t.party->skipAction();
    t.party->closeAction();
    EXPECT_FALSE(t.screen->partyModeOn());
    EXPECT_FALSE(t.party->playPauseButton().selected);
    EXPECT_TRUE(t.party->playPauseButton().enabled);
    EXPECT_TRUE(t.party->nextButton().enabled);
    EXPECT_FALSE(t.party->viewShown());
    EXPECT_FALSE(t.party->refreshing());
    EXPECT_TRUE(t.deck(0).isPlaying.load()) << "the music goes on";
    t.party->closeAction(); // already off: stays off
    EXPECT_FALSE(t.screen->partyModeOn());
}

TEST(PartyModeController, TheVolumeSliderSetsTheMasterGainAndBothMasterSliders) {
    PartyView t;
    EXPECT_FALSE(t.party->volumeSlider().horizontal());
    t.party->volumeSlider().setValue(0.3f);
    t.party->volumeAction();
    EXPECT_NEAR(t.engine.out.getGain(), 0.3f, 1e-6);
    EXPECT_EQ(t.screen->volGlobalSlider(0).value(), 0.3f);
    EXPECT_EQ(t.screen->volGlobalSlider(1).value(), 0.3f);
}

TEST(PartyModeController, PitchButtonsStepBothDecksAndTheQuieterOneFollows) {
    PartyView t;
    const double step = t.screen->pitchStep();
    t.load(1, 115.0, "One", "", "");
    t.screen->mainBalance().setValue(1.0f);
    t.screen->setCrossfade(1.0f); // deck 0 louder: deck 1 follows it
    t.deck(0).isPlaying.store(true);
    t.deck(1).isPlaying.store(true);

    t.party->plusButton();
    double base0 = 1.0 + step;
    EXPECT_DOUBLE_EQ(t.party->incrementValue(), step);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), base0);
    EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), base0);
    EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), kTempo * base0 / 115.0);

    t.advance(0.49);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), base0) << "no repeat before 0.5 s";
    t.advance(0.01);
    base0 += step;
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), base0);
    for (int i = 0; i < 3; ++i) {
        t.advance(0.1);
        base0 += step;
        EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), base0) << i;
    }
    EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), kTempo * base0 / 115.0);

    t.party->plusButtonUp();
    EXPECT_EQ(t.party->incrementValue(), 0.0);
    t.advance(1.0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), base0) << "released: no more steps";
    EXPECT_FALSE(t.loop.nextTimerTime().has_value()) << "the repeat timer is gone";

    // Deck 1 louder: deck 0 follows it.
    t.screen->mainBalance().setValue(0.0f);
    t.deck(0).isPlaying.store(false);
    t.deck(1).isPlaying.store(false);
    t.screen->setCrossfade(0.0f);
    t.party->minusButton();
    t.party->minusButtonUp();
    const double base1 = kTempo * base0 / 115.0 - step;
    EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), base1);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 115.0 * base1 / kTempo);
}

TEST(PartyModeController, TheRemoteControlReachesThePartyScreen) {
    PartyView t;
    t.party->viewWillAppear();
    t.party->playPauseAction();
    t.deck(0).position.store(100000.0);
    t.screen->remoteControlReceived(104); // next
    EXPECT_TRUE(t.party->nextButton().selected);
    EXPECT_EQ(t.deck(0).triggerFrame.load(), 1 + 5 * kBeatEntries * 256);

    ASSERT_TRUE(t.engine.out.SoundStarted.load());
    t.screen->remoteControlReceived(103); // play/pause: a pause, and the output stops
    EXPECT_FALSE(t.deck(0).isPlaying.load());
    EXPECT_FALSE(t.party->playPauseButton().selected);
    EXPECT_FALSE(t.engine.out.SoundStarted.load());
    t.screen->remoteControlReceived(103);
    EXPECT_TRUE(t.deck(0).isPlaying.load());
    EXPECT_TRUE(t.engine.out.SoundStarted.load());

    t.party->nextTrackStop();
    t.party->viewWillDisappear(); // no party screen: "next" does nothing
    t.deck(0).position.store(200000.0);
    t.screen->remoteControlReceived(104);
    EXPECT_FALSE(t.party->nextButton().selected);
    EXPECT_EQ(t.deck(0).triggerFrame.load(), 1 + 5 * kBeatEntries * 256);
}

} // namespace
} // namespace vx
