// Auto-mix and party mode driven as a DJ (or nobody) would: the auto-mix button on decks in
// given positions, party mode switched on over generated tracks, and a whole transition
// rendered through the offline engine from real files on disk, with the run loop following
// the audio clock. Positions, speeds, countdowns and times are compared as numbers.

#include "BeatTrack.h"
#include "ScreenDesk.h"
#include "support/TrackRecord.h"

#include "engine/DeckBeats.h"
#include "engine/DeckDecoder.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace vx {
namespace {

constexpr int kBeatEntries = 86;                        // a beat mark every 86 peak entries
constexpr double kBeatFrames = kBeatEntries * 256.0;    // 22016 frames
constexpr double kTempo = 60.0 * 44100.0 / kBeatFrames; // 120.19 BPM: exactly that grid

// The frame of beat mark j of the generated grid.
double beatMark(int64_t j) {
    return 1.0 + kBeatFrames * double(j);
}

// The first beat mark strictly after the peak entry holding `frame`.
double firstMarkAfter(double frame) {
    const auto entry = int64_t(std::floor(frame / 256.0));
    return beatMark(entry / kBeatEntries + 1);
}

std::filesystem::path fileOf(audioStream& s) {
    std::lock_guard lock(*s.decodeLock);
    return s.info() ? s.info()->fileName : std::filesystem::path();
}

bool onBeatMark(const audioStream& s, double position) {
    const double e = (position - 1.0) / 256.0;
    return e == std::floor(e) && s.peakData() && s.peakData()->isBeatEntry(int32_t(e));
}

// Generated decks on the offline engine (rings filled by hand), a manual clock.
struct PartyScreen : test::ScreenDesk {
    PartyScreen() {
        defaults.setBool("kTempoLock", false);
        engine.out.startPlay(); // lets the decks render once they are loaded
        makeScreen();
        host.screen = screen.get();
        screen->setRandomStart(7);
    }

    // A track of `frames` frames with a beat mark every kBeatEntries entries; every
    // `evenEvery`-th mark from mark `evenFirst` is an even beat. Stopped at `position`.
    void load(int d, double tempo, int32_t frames = 441000, double position = 0.0,
              int evenEvery = 0, int evenFirst = 0) {
        test::loadBeatTrack(deck(d), tempo, frames, kBeatEntries, d == 0 ? 440.0 : 330.0, evenEvery,
                            evenFirst)
            .title = d == 0 ? "Zero" : "One";
        deck(d).position.store(position);
    }

    // Distance from the deck's audible position to its next beat mark, frames.
    double toNextBeat(int d) {
        const double at = deck(d).position.load();
        return nextBeatFromFrame(deck(d), at, kBeatAny) - at;
    }
};

// --- auto-mix ---------------------------------------------------------------------------

struct CatchUpCase {
    const char* name;
    double toMasterBeat;   // frames from deck 0's position to its next beat mark
    double toFollowerBeat; // frames from deck 1's position to its next beat mark
    bool dontMarkEven;
    bool masterBeatEven; // deck 0's next beat is an even one, deck 1's is not
    double followerTempo;
    double expectedSpeed;
    int32_t expectedCountdown;
    double expectedBaseSpeed;
};

TEST(SampleTestControllerParty, AutoMixStartsTheStoppedDeckAtACatchUpSpeedForCountedFrames) {
    const CatchUpCase cases[] = {
        // Follower's beat first: it slows to 0.66 for round(6000 / 0.34) frames.
        {"follower first", 10000, 4000, false, false, kTempo, 0.66, 17647, 1.0},
        // Master's beat first: the follower hurries at 1.25 for round(6000 / 0.25) frames.
        {"master first", 4000, 10000, false, false, kTempo, 1.25, 24000, 1.0},
        // An even master beat asks for an even follower beat; the follower's next one is not,
        // so its distance counts as 0.
        {"parity differs", 10000, 4000, false, true, kTempo, 0.66, 29412, 1.0},
        {"parity ignored", 10000, 4000, true, true, kTempo, 0.66, 17647, 1.0},
        // The follower's default speed takes the master's tempo.
        {"tempo ratio", 10000, 4000, false, false, 110.0, 0.66, 17647, kTempo / 110.0},
    };
    for (const CatchUpCase& c : cases) {
        SCOPED_TRACE(c.name);
        PartyScreen t;
        t.defaults.setBool("kDontMarkEvenBeat", c.dontMarkEven);
        // Beat mark 1 (frame 22017) is the next one of both decks.
        t.load(0, kTempo, 441000, beatMark(1) - c.toMasterBeat, c.masterBeatEven ? 2 : 0, 1);
        t.load(1, c.followerTempo, 441000, beatMark(1) - c.toFollowerBeat, c.masterBeatEven ? 2 : 0,
               0);
        t.deck(0).isPlaying.store(true);
        t.screen->autoMixDown();
        t.screen->autoMixAction(true);

        EXPECT_FALSE(t.screen->automixTaped());
        EXPECT_TRUE(t.deck(1).isPlaying.load()) << "the stopped deck joins";
        EXPECT_EQ(t.screen->currentPartyStream(), 0);
        EXPECT_DOUBLE_EQ(t.deck(1).speed.load(), c.expectedSpeed);
        EXPECT_EQ(t.deck(1).triggerCountdown.load(), c.expectedCountdown);
        EXPECT_EQ(t.deck(1).triggerTarget.load(), t.screen.get());
        EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), c.expectedBaseSpeed);
        EXPECT_DOUBLE_EQ(t.deck(0).speed.load(), 1.0) << "the master is left alone";
        const auto& flash = t.screen->autosyncFlash();
        EXPECT_EQ(flash.starts, 1);
        EXPECT_EQ(flash.from, 1.0f);
        EXPECT_EQ(flash.to, 0.0f);
        EXPECT_NEAR(flash.seconds, std::clamp(c.expectedCountdown / 44100.0, 0.3, 1.0), 1e-9);
    }
}

TEST(SampleTestControllerParty, AutoMixWithAnUnknownTempoOnlyStartsTheSecondDeck) {
    PartyScreen t;
    t.load(0, kTempo, 441000, 12017);
    t.load(1, 0.0, 441000, 18017);
    t.deck(0).isPlaying.store(true);
    t.screen->autoMixAction(true);
    EXPECT_TRUE(t.deck(1).isPlaying.load());
    EXPECT_DOUBLE_EQ(t.deck(1).speed.load(), 1.0);
    EXPECT_EQ(t.deck(1).triggerCountdown.load(), 0);
    EXPECT_EQ(t.screen->autosyncFlash().starts, 0);
}

// Renders `buffers` buffers of 1024 frames, running the main loop's due work after each.
void renderAndRun(PartyScreen& t, int buffers) {
    for (int i = 0; i < buffers; ++i) {
        t.engine.render(1024);
        t.clock.advance(1024 / 44100.0);
        t.loop.runDue();
    }
}

TEST(SampleTestControllerParty, RepeatedAutoMixBringsTheNextBeatsWithin128Frames) {
    struct Case {
        const char* name;
        double masterPosition;
        double followerPosition;
        double masterSpeed;
    };
    const Case cases[] = {{"follower's beat first", 1000.0, 15000.0, 1.0},
                          {"master's beat first", 20000.0, 5000.0, 1.0},
                          {"master pitched up", 1000.0, 3000.0, 1.05},
                          {"almost together", 1000.0, 1500.0, 1.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartyScreen t;
        t.load(0, kTempo, 441000, c.masterPosition);
        t.load(1, kTempo, 441000, c.followerPosition);
        t.deck(0).baseSpeed.store(c.masterSpeed);
        t.deck(0).speed.store(c.masterSpeed);
        t.deck(0).isPlaying.store(true);
        t.screen->autoMixAction(true);
        ASSERT_TRUE(t.deck(1).isPlaying.load());
        ASSERT_GT(t.deck(1).triggerCountdown.load(), 0);

        // The countdown ends within 60000 frames (the largest gap at 1.25).
        renderAndRun(t, 70);
        EXPECT_EQ(t.deck(1).triggerCountdown.load(), 0);
        EXPECT_DOUBLE_EQ(t.deck(1).speed.load(), c.masterSpeed) << "back at the default speed";
        EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), c.masterSpeed);
        EXPECT_LE(std::fabs(t.toNextBeat(0) - t.toNextBeat(1)), 128.0);

        // Matched: measuring again starts nothing.
        t.screen->testDiff();
        EXPECT_EQ(t.deck(1).triggerCountdown.load(), 0);

        // Knocked 3000 frames out of phase, the next measurement catches up again.
        t.deck(1).position.store(t.deck(1).position.load() + 3000.0);
        t.screen->testDiff();
        EXPECT_GT(t.deck(1).triggerCountdown.load(), 0);
        EXPECT_NE(t.deck(1).speed.load(), c.masterSpeed);
        EXPECT_EQ(t.screen->autosyncFlash().starts, 1) << "a retry shows no flash";
        renderAndRun(t, 70);
        EXPECT_EQ(t.deck(1).triggerCountdown.load(), 0);
        EXPECT_LE(std::fabs(t.toNextBeat(0) - t.toNextBeat(1)), 128.0);
        EXPECT_GT(t.deck(0).position.load(), c.masterPosition + 100000.0) << "it was rendered";
    }
}

TEST(SampleTestControllerParty, AutoMixWithBothStoppedPutsBothOnBeatsAndStartsThemTogether) {
    struct Case {
        const char* name;
        bool dontMarkEven;
        double expected1; // deck 1's position after the auto-mix
    };
    // Deck 0 (at 5000) steps to mark 1, an even beat. Deck 1 (at 30000, marks 1, 3, 5... even)
    // steps to its next even beat, mark 3, unless even beats are ignored (mark 2).
    const Case cases[] = {{"even to even", false, beatMark(3)}, {"any beat", true, beatMark(2)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartyScreen t;
        t.defaults.setBool("kDontMarkEvenBeat", c.dontMarkEven);
        t.load(0, kTempo, 441000, 5000.0, 2, 1);
        t.load(1, kTempo, 441000, 30000.0, 2, 1);
        t.screen->autoMixAction(true);
        EXPECT_DOUBLE_EQ(t.deck(0).position.load(), beatMark(1));
        EXPECT_DOUBLE_EQ(t.deck(1).position.load(), c.expected1);
        EXPECT_TRUE(t.deck(0).isPlaying.load());
        EXPECT_TRUE(t.deck(1).isPlaying.load());
        EXPECT_EQ(t.screen->autosyncFlash().starts, 0) << "no catch-up, no flash";
        t.engine.render(4096);
        EXPECT_DOUBLE_EQ(t.deck(0).position.load() - beatMark(1),
                         t.deck(1).position.load() - c.expected1)
            << "both started in the same buffer";
        EXPECT_GT(t.deck(0).position.load(), beatMark(1));
    }
}

TEST(SampleTestControllerParty, LongPressBrakesBothDecksAndTheReleaseDoesNothing) {
    PartyScreen t;
    t.load(0, kTempo, 441000, 12017);
    t.load(1, kTempo, 441000, 18017);
    t.deck(0).isPlaying.store(true);

    t.screen->longAutomixTap(); // no touch-down before: not a long press
    EXPECT_FALSE(t.screen->longAutoMix());
    EXPECT_FALSE(t.deck(0).speedRamp.isOn());

    t.screen->autoMixDown();
    t.screen->longAutomixTap();
    EXPECT_TRUE(t.screen->longAutoMix());
    EXPECT_TRUE(t.deck(0).speedRamp.isOn());
    EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), 0.0);
    EXPECT_EQ(t.deck(0).speedRamp.count.load(), 44100);
    EXPECT_FALSE(t.deck(1).speedRamp.isOn()) << "a stopped deck is not braked";

    t.screen->autoMixAction(true);
    EXPECT_FALSE(t.deck(1).isPlaying.load());
    EXPECT_TRUE(t.screen->automixTaped()) << "the release after a long press is ignored";
    t.screen->autoMixDown();
    EXPECT_FALSE(t.screen->longAutoMix());
}

// --- party mode ---------------------------------------------------------------------------

constexpr int32_t kLongTrack = 1323000; // 30 s; only the ring's part is rendered

TEST(SampleTestControllerParty, PartyModeFadesToTheCurrentDeckOnlyWhenTheOtherIsOnAir) {
    struct Case {
        const char* name;
        float crossfader;
        bool fades;
    };
    const Case cases[] = {{"deck 1 silent", 1.0f, false}, {"both on air", 0.5f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartyScreen t;
        t.load(0, kTempo, kLongTrack);
        t.load(1, kTempo, kLongTrack);
        t.deck(0).loopActive.store(true);
        t.screen->mainBalance().setValue(c.crossfader);
        t.screen->setCrossfade(c.crossfader); // at once: the decks are stopped
        t.deck(1).isPlaying.store(true);
        ButtonState button;
        t.screen->togglePartyMode(&button);

        EXPECT_TRUE(t.screen->partyModeOn());
        EXPECT_TRUE(button.selected);
        EXPECT_EQ(t.screen->currentPartyStream(), 0);
        EXPECT_TRUE(t.deck(0).isPlaying.load());
        EXPECT_FALSE(t.deck(1).isPlaying.load()) << "the next deck waits";
        EXPECT_FALSE(t.deck(0).loopActive.load());
        EXPECT_EQ(t.screen->xFadeRunning(), c.fades);
        if (c.fades) {
            // One beat (0.4992 s) in steps of 1/15 s.
            EXPECT_NEAR(t.screen->stepXFade(), 0.5 / (60.0 / kTempo * 15.0), 1e-6);
            for (int tick = 0; tick < 9; ++tick) {
                t.advance(1.0 / 15.0);
            }
            EXPECT_EQ(t.screen->mainBalance().value(), 1.0f);
            EXPECT_FALSE(t.screen->xFadeRunning());
        } else {
            t.advance(1.0);
            EXPECT_EQ(t.screen->mainBalance().value(), 1.0f) << "the crossfader stays";
        }

        t.screen->togglePartyMode(&button);
        EXPECT_FALSE(t.screen->partyModeOn());
        EXPECT_FALSE(button.selected);
        EXPECT_TRUE(t.deck(0).isPlaying.load()) << "switching off leaves the decks playing";
    }
}

TEST(SampleTestControllerParty, TheNextTrackIsParkedSomeBeatsBeforeItsPlayPoint) {
    struct Case {
        const char* name;
        bool pitchMode;
        float songPart; // 0 = unset
        double expectedPart;
    };
    const Case cases[] = {{"pitch mode, default play point", true, 0.0f, 0.5},
                          {"time mode", false, 0.0f, 0.5},
                          {"play point at 60 %", true, 0.6f, 0.6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartyScreen t;
        if (c.songPart > 0.0f) {
            t.defaults.setFloat("kSongPartInAutoPlay", c.songPart);
        }
        t.load(0, kTempo, kLongTrack);
        t.load(1, kTempo, kLongTrack);
        t.deck(1).pitchMode.store(c.pitchMode);
        t.screen->togglePartyMode();
        EXPECT_FLOAT_EQ(t.defaults.floatForKey("kSongPartInAutoPlay"), float(c.expectedPart))
            << "an unset part is stored as 0.5";

        std::set<int> offsets;
        for (int i = 0; i < 40; ++i) {
            if (i > 0) {
                t.screen->offsetNextTrack();
            }
            const int offset = t.screen->partyModeNextTrackOffset();
            offsets.insert(offset);
            const double parked =
                double(float(kLongTrack) * float(c.expectedPart)) - (offset + 8) * kBeatFrames;
            // offset + 1 beat marks after the parked frame.
            const double beat = firstMarkAfter(parked) + offset * kBeatFrames;
            const double latency = c.pitchMode ? 0.0 : -t.deck(1).stretchLatency.load();
            ASSERT_DOUBLE_EQ(t.deck(1).position.load(), beat + latency) << "offset " << offset;
        }
        EXPECT_EQ(offsets, (std::set<int>{4, 6, 8}));
    }
}

// A finished analysis parks and cues again only the next deck that waits, stopped, with that
// file: an analysis of another file, or one that ends while the next deck already plays in
// (the crossfade), leaves the audible deck where it is and arms no second trigger.
TEST(SampleTestControllerParty, AnAnalysisReparksOnlyTheWaitingNextTrack) {
    struct Case {
        const char* name;
        const char* analysed;
        bool nextPlays;
        bool reparks;
    };
    const Case cases[] = {{"the waiting next track", "/music/one.wav", false, true},
                          {"another track", "/music/other.wav", false, false},
                          {"during the crossfade", "/music/one.wav", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartyScreen t;
        t.load(0, kTempo, kLongTrack);
        test::loadBeatTrack(t.deck(1), kTempo, kLongTrack, kBeatEntries, 330.0).fileName =
            "/music/one.wav";
        t.screen->togglePartyMode();
        ASSERT_EQ(t.screen->currentPartyStream(), 0);
        constexpr double kHeard = 123456.0;
        t.deck(1).position.store(kHeard);
        t.deck(1).isPlaying.store(c.nextPlays);
        t.deck(0).triggerArmed.store(false);
        t.notifications.post("Analyze Complete", std::string(c.analysed));
        t.loop.runDue();
        EXPECT_EQ(t.deck(1).position.load() != kHeard, c.reparks) << t.deck(1).position.load();
        EXPECT_EQ(t.deck(0).triggerArmed.load(), c.reparks);
    }
}

TEST(SampleTestControllerParty, TheSameRandomStartGivesTheSameOffsets) {
    std::vector<int> runs[2];
    for (auto& run : runs) {
        PartyScreen t;
        t.load(0, kTempo, kLongTrack);
        t.load(1, kTempo, kLongTrack);
        t.screen->setRandomStart(1234);
        t.screen->togglePartyMode();
        for (int i = 0; i < 20; ++i) {
            t.screen->offsetNextTrack();
            run.push_back(t.screen->partyModeNextTrackOffset());
        }
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST(SampleTestControllerParty, TheAutocuePointIsTheBeatAfter80PercentOrNineBeatsAhead) {
    struct Case {
        const char* name;
        double position; // deck 0's position when the point is set
        bool pitchMode;
        bool nextOnEvenBeat; // deck 1 waits on an even beat
        int evenEvery;       // deck 0: every n-th mark is even (0: none)
        double tempo;
        double expected; // the heard frame the trigger waits for
    };
    const double at80 = std::trunc(0.8 * kLongTrack); // 1058400, in entry 4134; next mark 49
    const double nineAhead = std::trunc(0.82 * kLongTrack + 9 * kBeatFrames);
    const Case cases[] = {
        {"at 80 %", 0.0, true, false, 0, kTempo, firstMarkAfter(at80)},
        // Under key lock the trigger compares the heard frame, so the beat itself is armed.
        {"time mode", 0.0, false, false, 0, kTempo, firstMarkAfter(at80)},
        {"past 80 %: nine beats ahead", 0.82 * kLongTrack, true, false, 0, kTempo,
         firstMarkAfter(nineAhead)},
        // Mark 49 is odd, mark 50 even: the transition waits one more beat rather than
        // starting off the beat.
        {"wrong parity first: the next even beat", 0.0, true, true, 2, kTempo,
         firstMarkAfter(at80) + kBeatFrames},
        {"no beat of that parity: the frame itself", 0.0, true, true, 0, kTempo, at80},
        {"unknown tempo", 0.0, true, false, 0, 0.0, at80 + 22050.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartyScreen t;
        t.load(0, c.tempo, kLongTrack, 0.0, c.evenEvery);
        t.load(1, kTempo, kLongTrack, 0.0, c.nextOnEvenBeat ? 1 : 0);
        t.deck(0).pitchMode.store(c.pitchMode);
        t.screen->togglePartyMode();
        t.screen->stop(0);
        t.deck(0).position.store(c.position);
        t.screen->setupAutocuePoint();
        EXPECT_TRUE(t.deck(0).triggerArmed.load());
        EXPECT_TRUE(t.deck(0).triggerAudible.load());
        EXPECT_EQ(t.deck(0).triggerTarget.load(), t.screen.get());
        EXPECT_EQ(t.deck(0).triggerFrame.load(), int32_t(c.expected));
    }
}

TEST(SampleTestControllerParty, SkipArmsTheTransitionAtTheNextBeat) {
    for (const bool pitchMode : {true, false}) {
        SCOPED_TRACE(pitchMode ? "pitch mode" : "time mode");
        PartyScreen t;
        t.load(0, kTempo, kLongTrack);
        t.load(1, kTempo, kLongTrack);
        t.deck(0).pitchMode.store(pitchMode);
        t.screen->skipToNextTrack();
        EXPECT_FALSE(t.deck(0).triggerArmed.load()) << "only in party mode";
        t.screen->togglePartyMode();
        t.deck(0).position.store(100000.0);
        t.screen->skipToNextTrack();
        EXPECT_TRUE(t.deck(0).triggerAudible.load());
        EXPECT_EQ(t.deck(0).triggerFrame.load(), int32_t(firstMarkAfter(100000.0)));
    }
}

TEST(SampleTestControllerParty, TheAutocueTriggerStartsTheNextDeckAndCrossfadesOverEightBeats) {
    PartyScreen t;
    t.load(0, kTempo, kLongTrack);
    t.load(1, kTempo, kLongTrack);
    t.screen->mainBalance().setValue(1.0f);
    t.screen->setCrossfade(1.0f);
    t.screen->doAutocueTrigger();
    EXPECT_FALSE(t.deck(1).isPlaying.load()) << "only in party mode";
    EXPECT_EQ(t.screen->tracksPlayed(), 0);

    t.screen->togglePartyMode();
    t.deck(0).baseSpeed.store(1.1);
    t.screen->doAutocueTrigger();
    EXPECT_EQ(t.screen->tracksPlayed(), 1);
    EXPECT_TRUE(t.deck(1).isPlaying.load());
    EXPECT_FALSE(t.screen->xFadeRunning()) << "the fade starts on the main thread";
    t.loop.runDue();
    ASSERT_TRUE(t.screen->xFadeRunning()) << "at the main loop's next pass";
    EXPECT_EQ(t.screen->targetXFade(), 0.0f);
    // Eight heard beats, 60 / tempo / baseSpeed seconds each, 15 steps a second.
    const double fadeSeconds = 8.0 * 60.0 / kTempo / 1.1;
    EXPECT_NEAR(t.screen->stepXFade(), -1.0 / (fadeSeconds * 15.0), 1e-6);
    EXPECT_TRUE(t.screen->transitionPending());
    t.advance(fadeSeconds + 0.69);
    EXPECT_EQ(t.screen->currentPartyStream(), 0) << "roles swap 0.7 s after the fade";
    t.advance(0.02);
    EXPECT_EQ(t.screen->currentPartyStream(), 1);
    EXPECT_FALSE(t.deck(0).isPlaying.load());
}

TEST(SampleTestControllerParty, TheNextPlaylistItemWrapsAfterTheLastEntry) {
    PartyScreen t;
    t.load(0, kTempo, kLongTrack);
    t.load(1, kTempo, kLongTrack);
    t.screen->togglePartyMode();
    std::vector<std::shared_ptr<VXAudioFileInfo>> list;
    for (int i = 0; i < 3; ++i) {
        list.push_back(std::make_shared<VXAudioFileInfo>()); // no file: nothing is loaded
    }
    t.screen->setPlayList(list);
    t.screen->setNextPlayListItem(1);
    const int expected[] = {2, 0, 1, 2, 0};
    for (int next : expected) {
        t.screen->selectNextTrack2AutoPlay();
        EXPECT_EQ(t.screen->nextPlayListItem(), next);
    }
    EXPECT_EQ(t.screen->currentPartyStream(), 1) << "five swaps";
}

// --- playlists from the database --------------------------------------------------------

struct LibraryScreen : PartyScreen {
    test::LibraryHome home;
    std::shared_ptr<DBController> db = DBController::init(home.paths());
    std::vector<std::shared_ptr<VXAudioFileInfo>> mine;
    std::vector<std::shared_ptr<VXAudioFileInfo>> builtIn;

    LibraryScreen(int userTracks, int builtInTracks) {
        for (int i = 0; i < userTracks; ++i) {
            auto info = test::makeInfo(home.paths(), "user" + std::to_string(i) + ".mp3",
                                       "User " + std::to_string(i));
            db->addFileToDB(*info, 0);
            mine.push_back(info);
        }
        for (int i = 0; i < builtInTracks; ++i) {
            auto info = test::makeInfo(home.paths(), "demo" + std::to_string(i) + ".mp3",
                                       "Demo " + std::to_string(i), "", "", 0, 1);
            db->addFileToDB(*info, 1);
            builtIn.push_back(info);
        }
        screen = std::make_unique<SampleTestController>(engine.out, db.get(), defaults,
                                                        notifications, loop, &host);
        host.screen = screen.get();
        screen->setRandomStart(99);
    }
};

std::multiset<std::string> namesOf(const std::vector<std::shared_ptr<VXAudioFileInfo>>& list) {
    std::multiset<std::string> names;
    for (const auto& info : list) {
        names.insert(info ? info->fileName.filename().string() : std::string("(null)"));
    }
    return names;
}

TEST(SampleTestControllerParty, TheRandomPlaylistHoldsEveryTrackOnce) {
    struct Case {
        const char* name;
        int user;
        int builtIn;
        bool hideBundled;
        size_t expected;
    };
    const Case cases[] = {{"user and built-in", 4, 2, false, 6},
                          {"built-in hidden", 4, 2, true, 4},
                          {"no user tracks", 0, 3, true, 3},
                          {"one track", 1, 0, false, 1},
                          {"nothing", 0, 0, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryScreen t(c.user, c.builtIn);
        ASSERT_TRUE(t.db);
        t.defaults.setBool("kHideBundled", c.hideBundled);
        t.screen->makeRandomPlaylist();
        const auto& list = t.screen->playList();
        ASSERT_EQ(list.size(), c.expected);
        std::vector<std::shared_ptr<VXAudioFileInfo>> all = t.mine;
        if (!c.hideBundled || c.user == 0) {
            all.insert(all.end(), t.builtIn.begin(), t.builtIn.end());
        }
        EXPECT_EQ(namesOf(list), namesOf(all));
    }
}

TEST(SampleTestControllerParty, TheRandomOrderChangesWithTheRandomStart) {
    std::set<std::vector<std::string>> orders;
    for (uint32_t start = 1; start <= 6; ++start) {
        LibraryScreen t(6, 0);
        t.screen->setRandomStart(start);
        t.screen->makeRandomPlaylist();
        std::vector<std::string> order;
        for (const auto& info : t.screen->playList()) {
            order.push_back(info->fileName.filename().string());
        }
        orders.insert(order);
    }
    EXPECT_GT(orders.size(), 1u);
}

TEST(SampleTestControllerParty, PartyModeOpensItsPlaylistWithTheTwoDeckTracks) {
    LibraryScreen t(5, 0);
    for (int i = 0; i < 4; ++i) {
        t.db->addToCrate(2, *t.mine[size_t(i)]);
    }
    t.load(0, kTempo, kLongTrack);
    t.load(1, kTempo, kLongTrack);
    vx::test::setInfo(t.deck(0), t.mine[1]); // in the crate
    vx::test::setInfo(t.deck(1), t.mine[4]); // not in the crate
    t.mine[1]->setTempo(kTempo);
    t.mine[4]->setTempo(kTempo);
    t.deck(1).crateIndex.store(2);
    t.screen->togglePartyMode();

    const auto& list = t.screen->playList();
    ASSERT_EQ(list.size(), 5u) << "crate 2's four tracks, the one on deck 0 only once";
    EXPECT_EQ(list[0]->fileName, t.mine[1]->fileName);
    EXPECT_EQ(list[1]->fileName, t.mine[4]->fileName);
    EXPECT_EQ(namesOf({list.begin() + 2, list.end()}), namesOf({t.mine[0], t.mine[2], t.mine[3]}));
    EXPECT_EQ(t.screen->nextPlayListItem(), 2);
    EXPECT_EQ(t.screen->tracksPlayed(), 0);
}

// --- a whole transition, rendered ---------------------------------------------------------

constexpr int32_t kFileFrames = 20 * 44100;

// A WAV track with its peak file: a beat mark every 86 entries and the tempo that grid has.
void writeTrack(const std::filesystem::path& path, double hz) {
    ASSERT_TRUE(test::writeTrack(path, kFileFrames, test::sine(hz, 0.3f)));
    auto peaks = peakFileData::create(peakCountForFrames(kFileFrames));
    for (int32_t e = 0; e < peaks->count; ++e) {
        peaks->setEntry(e, 10, e % kBeatEntries == 0 ? kPeakBeatFlag : 0);
    }
    peaks->bpm.store(kTempo);
    ASSERT_TRUE(peakFileWrite(*peaks, peakFilePath(path)));
}

TEST(SampleTestControllerParty, AWholeTransitionRenderedFromFiles) {
    test::LibraryHome home;
    const auto db = DBController::init(home.paths());
    ASSERT_TRUE(db);
    const std::filesystem::path files[3] = {
        home.documents("Alpha.wav"), home.documents("Bravo.wav"), home.documents("Charlie.wav")};
    const double tones[3] = {330.0, 440.0, 550.0};
    for (int i = 0; i < 3; ++i) {
        writeTrack(files[i], tones[i]);
        auto info = db->getFullInfoForFile(files[i]);
        ASSERT_NEAR(info->tempo, kTempo, 1e-6) << "the tempo comes from the peak file";
        db->addFileToDB(*info, 0);
    }

    ManualClock clock{50.0};
    RunLoop loop{clock};
    NotificationCenter notifications{loop};
    UserDefaults defaults{home.root() / "defaults.json"};
    defaults.setBool("kTempoLock", false);
    EngineServices services;
    services.db = db;
    services.defaults = &defaults;
    services.notifications = &notifications;
    services.loop = &loop;
    OfflineAudioDevice device;
    device.attachRunLoop(&loop, &clock);
    AudioOut engine(device, &loop, &services);
    ASSERT_TRUE(engine.init());
    ASSERT_TRUE(engine.StartSound());
    device.setSettleHook([&] { engine.settleDecoders(); });
    test::FakeHost host;
    SampleTestController screen(engine, db.get(), defaults, notifications, loop, &host);
    host.screen = &screen;
    screen.setRandomStart(5);

    audioStream& deck0 = engine.deck(0);
    audioStream& deck1 = engine.deck(1);
    deck0.pitchMode.store(true);
    deck1.pitchMode.store(true);
    engine.runDecode(0, files[0]);
    engine.runDecode(1, files[1]);
    ASSERT_TRUE(engine.settleDecoders(30.0));
    ASSERT_TRUE(deck0.isLoaded.load() && deck1.isLoaded.load());
    loop.runDue(); // "fileOpened"

    // Deck 0 starts two seconds before its autocue point.
    const double autocue = firstMarkAfter(std::trunc(0.8 * kFileFrames));
    deck0.position.store(autocue - 2.0 * 44100.0);
    deck0.replanNeeded.store(true);
    ASSERT_TRUE(engine.settleDecoders(30.0));
    screen.togglePartyMode();
    ASSERT_EQ(screen.currentPartyStream(), 0);
    ASSERT_EQ(screen.playList().size(), 3u);
    EXPECT_EQ(screen.playList()[2]->fileName, files[2]);
    EXPECT_EQ(screen.nextPlayListItem(), 2);
    EXPECT_EQ(deck0.triggerFrame.load(), int32_t(autocue));
    const double parked = deck1.position.load();
    EXPECT_TRUE(onBeatMark(deck1, parked)) << parked;

    // Until the trigger: deck 1 starts in the buffer in which deck 0 passes its autocue beat.
    double triggeredAt = 0.0;
    for (int buffer = 0; buffer < 200 && !deck1.isPlaying.load(); ++buffer) {
        const double before = deck0.position.load();
        device.renderToMemory(1024);
        if (deck1.isPlaying.load()) {
            triggeredAt = clock.now();
            EXPECT_LE(before, autocue);
            EXPECT_GE(deck0.position.load(), autocue);
        }
    }
    ASSERT_TRUE(deck1.isPlaying.load());
    EXPECT_EQ(screen.tracksPlayed(), 1);
    EXPECT_GE(deck1.position.load(), parked);
    EXPECT_LE(deck1.position.load(), parked + 1024.0) << "deck 1 started from its beat";
    EXPECT_TRUE(screen.xFadeRunning()) << "continued on the main thread after the buffer";
    EXPECT_EQ(screen.targetXFade(), 0.0f);

    // The crossfade to deck 1 takes eight beats.
    double fadedAt = 0.0;
    for (int buffer = 0; buffer < 400 && fadedAt == 0.0; ++buffer) {
        device.renderToMemory(1024);
        if (screen.mainBalance().value() == 0.0f) {
            fadedAt = clock.now();
        }
    }
    ASSERT_GT(fadedAt, 0.0);
    EXPECT_NEAR(fadedAt - triggeredAt, 8.0 * 60.0 / kTempo, 2.0 / 15.0);
    EXPECT_EQ(screen.currentPartyStream(), 0);
    EXPECT_EQ(deck0.faderGain.load(), 0.0f);

    // The roles swap and deck 0 loads the third track, parked on one of its beats; deck 1
    // gets its autocue point.
    bool reloaded = false;
    for (int buffer = 0; buffer < 400 && !reloaded; ++buffer) {
        device.renderToMemory(1024);
        reloaded = screen.currentPartyStream() == 1 && deck0.isLoaded.load() &&
                   !engine.deckOpening(0) && fileOf(deck0) == files[2] &&
                   deck0.position.load() > 0.0;
    }
    ASSERT_TRUE(reloaded);
    EXPECT_GE(clock.now() - fadedAt, 0.7 - 1024 / 44100.0);
    EXPECT_FALSE(deck0.isPlaying.load());
    EXPECT_TRUE(deck1.isPlaying.load());
    EXPECT_TRUE(onBeatMark(deck0, deck0.position.load())) << deck0.position.load();
    EXPECT_EQ(screen.nextPlayListItem(), 0) << "wrapped after the last entry";
    EXPECT_TRUE(deck1.triggerArmed.load());
    EXPECT_EQ(deck1.triggerFrame.load(), int32_t(autocue));
    EXPECT_EQ(screen.view(0).title.text, "Charlie");
    EXPECT_EQ(screen.tracksPlayed(), 1);
    EXPECT_EQ(db->getFullInfoForFile(files[1])->playcount, 1) << "the started track counted";
    engine.closeDecoders();
}

} // namespace
} // namespace vx
