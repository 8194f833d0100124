// Pitch, tempo, sync and tap tempo driven as a DJ would: presses and releases of the mixing
// screen's buttons, a manual clock moved in steps (the run loop's timers fire as it moves), and
// real decks on the offline engine rendered where a glide has to be heard through. Speeds,
// tempi, ramp targets and labels are compared as numbers.

#include "BeatTrack.h"
#include "ScreenDesk.h"

#include "engine/Stretcher.h"
#include "engine/Transport.h"
#include "engine/analyzeProgress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vx {
namespace {

constexpr int32_t kTrackFrames = 441000; // 10 s
constexpr int kBeatEntries = 86;         // beat marks every 22016 frames
constexpr double kStep = 0.001;          // the default pitch step

struct PitchScreen : test::ScreenDesk {
    // `tempoLock`: the saved tempo lock the screen starts with.
    explicit PitchScreen(bool tempoLock = false, double ffSpeed = 0.0) {
        defaults.setBool("kTempoLock", tempoLock);
        if (ffSpeed != 0.0) {
            defaults.setDouble("kFFSpeed", ffSpeed);
        }
        engine.out.startPlay(); // nothing loaded yet: only lets the decks render
        makeScreen();
    }

    VXAudioFileInfo& info(int d) { return *deck(d).info(); }

    // A generated track of `tempo` BPM with a beat mark every kBeatEntries entries, in pitch
    // mode, stopped at frame 0 unless `play`.
    void load(int d, double tempo, bool play = false) {
        test::loadBeatTrack(deck(d), tempo, kTrackFrames, kBeatEntries);
        deck(d).isPlaying.store(play);
    }

    void tap(int d) {
        screen->downTapBPM(d);
        screen->upTapBPM(d);
    }
};

// --- pitch buttons --------------------------------------------------------------------------

TEST(SampleTestControllerPitch, HeldPlusStepsAtOnceAfterATenthOfTwoAndThenEveryTenth) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.load(1, 125.0); // a tempo it could follow
    t.screen->plusButton(0);
    double expected = 1.0 + kStep;
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), expected);
    EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), expected);
    EXPECT_EQ(t.deck(0).speedRamp.count.load(), 64);
    EXPECT_TRUE(t.deck(0).speedRamp.isOn());
    t.loop.runDue();
    EXPECT_EQ(t.view(0).navigatorUpdates, 1) << "DefaultSpeedChanged redraws the deck";

    t.advance(0.19);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), expected);
    EXPECT_EQ(t.view(0).speedReadout.scale, 1.0f);
    t.advance(0.01); // 0.2 s: the second step, read-out enlarged
    expected += kStep;
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), expected);
    EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), expected);
    EXPECT_EQ(t.view(0).speedReadout.scale, 2.0f);
    for (int i = 0; i < 5; ++i) {
        t.advance(0.05);
        EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), expected) << i;
        t.advance(0.05);
        expected += kStep;
        EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), expected) << i;
    }
    t.loop.runDue();
    EXPECT_EQ(t.view(0).navigatorUpdates, 7);

    t.screen->plusButtonUp(0);
    EXPECT_EQ(t.view(0).speedReadout.scale, 1.0f);
    t.advance(1.0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), expected);
    EXPECT_FALSE(t.loop.nextTimerTime().has_value());
    EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), 1.0) << "tempo lock off: deck 1 stays";
}

TEST(SampleTestControllerPitch, AtTheFaderEndTheRepeatRunsOnWithoutChangingTheSpeed) {
    struct Case {
        double start;
        bool plus;
    } cases[] = {{1.15, true}, {0.85, false}};
    for (const Case& c : cases) {
        PitchScreen t;
        t.load(0, 120.0, /*play=*/true);
        t.screen->setDefaultSpeed(0, c.start);
        ASSERT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), c.start);
        c.plus ? t.screen->plusButton(0) : t.screen->minusButton(0);
        for (int i = 0; i < 10; ++i) {
            t.advance(0.1);
            EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), c.start) << c.start << " " << i;
            EXPECT_TRUE(t.loop.nextTimerTime().has_value()) << c.start << " " << i;
        }
        EXPECT_EQ(t.view(0).speedReadout.scale, 2.0f);
        c.plus ? t.screen->plusButtonUp(0) : t.screen->minusButtonUp(0);
        EXPECT_FALSE(t.loop.nextTimerTime().has_value()) << c.start;
    }
}

TEST(SampleTestControllerPitch, BothButtonsHeldRestoreTheSpeedAndToggleThePitchLock) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.load(1, 125.0);
    t.screen->setDefaultSpeed(0, 1.02);

    t.screen->plusButton(0);
    ASSERT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02 + kStep);
    t.screen->minusButton(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02);
    EXPECT_TRUE(t.deck(0).pitchLock.load());
    EXPECT_TRUE(t.view(0).speedReadout.red);
    EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), 1.02 + kStep) << "speed not driven";
    t.advance(0.5); // the plus repeat saw its step cleared
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02);
    t.screen->minusButtonUp(0);
    t.screen->plusButtonUp(0);

    // Locked: plus, minus, reset and sync leave the default speed where it is; the buttons
    // drive the deck back to it.
    t.screen->plusButton(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02);
    EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), 1.02);
    t.advance(0.5);
    t.screen->plusButtonUp(0);
    t.screen->minusButton(0);
    t.screen->minusButtonUp(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02);
    t.screen->resetButton(0);
    t.advance(1.0);
    t.screen->resetButtonUp(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02);
    t.screen->resetButtonDbl(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02);
    t.screen->syncAction(0);
    ASSERT_TRUE(t.screen->tempoLock());
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02);
    t.screen->syncAction(0);

    // Plus and minus together again: unlocked, and the buttons move it again.
    t.screen->plusButton(0);
    t.screen->minusButton(0);
    t.screen->plusButtonUp(0);
    t.screen->minusButtonUp(0);
    EXPECT_FALSE(t.deck(0).pitchLock.load());
    EXPECT_FALSE(t.view(0).speedReadout.red);
    t.screen->minusButton(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.02 - kStep);
}

TEST(SampleTestControllerPitch, TheSettingsPitchStepIsTheButtonStep) {
    PitchScreen t;
    t.defaults.setDouble("kPitchStep", 0.0005);
    SampleTestController screen(t.engine.out, nullptr, t.defaults, t.notifications, t.loop,
                                &t.host);
    t.load(0, 120.0);
    screen.minusButton(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.0 - 0.0005);
    screen.minusButtonUp(0);
    screen.setPitchStep(0.0002);
    screen.plusButton(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.0 - 0.0005 + 0.0002);
    EXPECT_DOUBLE_EQ(t.deck(0).speed.load(), 1.0 - 0.0005 + 0.0002) << "a stopped deck at once";
    screen.plusButtonUp(0);
}

TEST(SampleTestControllerPitch, WithTheTempoLockTheOtherDeckFollowsAPitchPress) {
    PitchScreen t(/*tempoLock=*/true);
    t.load(0, 120.0, /*play=*/true);
    t.load(1, 125.0);
    t.screen->plusButton(0);
    t.screen->plusButtonUp(0);
    EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), 120.0 * (1.0 + kStep) / 125.0);
    EXPECT_DOUBLE_EQ(t.deck(1).speed.load(), 120.0 * (1.0 + kStep) / 125.0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.0 + kStep);
}

// --- reset and pitch mode ---------------------------------------------------------------

TEST(SampleTestControllerPitch, ResetHeldASecondGlidesToOneOver88200Frames) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.screen->setDefaultSpeed(0, 1.05);
    t.deck(0).speed.store(1.05);
    const bool mode = t.deck(0).pitchMode.load();

    t.screen->resetButton(0);
    t.advance(0.99);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.05);
    t.advance(0.01);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.0);
    const auto& ramp = t.deck(0).speedRamp;
    EXPECT_TRUE(ramp.isOn());
    EXPECT_DOUBLE_EQ(ramp.from.load(), 1.05);
    EXPECT_DOUBLE_EQ(ramp.to.load(), 1.0);
    EXPECT_DOUBLE_EQ(ramp.delta.load(), (1.0 - 1.05) / 88200.0);
    EXPECT_EQ(ramp.count.load(), 88200);
    t.screen->resetButtonUp(0);
    EXPECT_EQ(t.deck(0).pitchMode.load(), mode) << "a held reset is not a tap";

    t.engine.render(44100);
    EXPECT_NEAR(t.deck(0).speed.load(), 1.025, 1e-9);
    t.engine.render(44100);
    EXPECT_NEAR(t.deck(0).speed.load(), 1.0, 1e-9);
    t.engine.render(1024);
    EXPECT_EQ(t.deck(0).speed.load(), 1.0);
    EXPECT_FALSE(ramp.isOn());
}

TEST(SampleTestControllerPitch, ResetHeldDuringABendGlidesOnFromWhereTheBendHasGot) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.screen->bendUp(0);
    t.engine.render(11025); // half of the bend's 22050 frames
    const double reached = t.deck(0).speed.load();
    ASSERT_NEAR(reached, 1.15, 1e-3);
    t.screen->resetButton(0);
    t.advance(1.0);
    const auto& ramp = t.deck(0).speedRamp;
    EXPECT_DOUBLE_EQ(ramp.from.load(), reached);
    EXPECT_DOUBLE_EQ(ramp.delta.load(), (1.0 - reached) / 88200.0);
    EXPECT_EQ(ramp.count.load(), 88200);
    t.screen->resetButtonUp(0);
}

TEST(SampleTestControllerPitch, ResetHeldOnAStoppedDeckOrAtOneOnlyResetsTheDefault) {
    PitchScreen t;
    t.load(0, 120.0);
    t.screen->setDefaultSpeed(0, 1.05);
    t.deck(0).speed.store(1.05);
    t.screen->resetButton(0);
    t.advance(1.0);
    t.screen->resetButtonUp(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.0);
    EXPECT_FALSE(t.deck(0).speedRamp.isOn());

    // At 1.0 already: nothing at all, not even a redraw.
    t.deck(0).speed.store(1.0);
    t.loop.runDue();
    const int redraws = t.view(0).navigatorUpdates;
    t.screen->resetButton(0);
    t.advance(1.0);
    t.screen->resetButtonUp(0);
    t.loop.runDue();
    EXPECT_EQ(t.view(0).navigatorUpdates, redraws);
}

TEST(SampleTestControllerPitch, AShortResetTapTogglesThePitchModeWithoutAnAudibleJump) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.deck(0).pitchMode.store(false);
    t.deck(0).position.store(50000.0);
    t.deck(0).speed.store(1.25);
    const double audible = audiblePosition(t.deck(0));
    ASSERT_EQ(audible, 50000.0 - 5120.0);

    t.screen->resetButton(0);
    t.advance(0.5);
    t.screen->resetButtonUp(0);
    EXPECT_TRUE(t.deck(0).pitchMode.load());
    EXPECT_EQ(t.deck(0).position.load(), 44880.0);
    EXPECT_EQ(audiblePosition(t.deck(0)), audible);
    EXPECT_TRUE(t.view(0).reset.selected);
    EXPECT_DOUBLE_EQ(t.deck(0).stretcher->pitch(), 0.8); // 1 / 1.25
    t.advance(1.0);                                      // the hold timer was cancelled
    EXPECT_TRUE(t.deck(0).pitchMode.load());

    t.screen->resetButton(0);
    t.advance(0.2);
    t.screen->resetButtonUp(0);
    EXPECT_FALSE(t.deck(0).pitchMode.load());
    // Back under key lock the stretcher is emptied and refilled at once: it is heard from the
    // read position, which therefore stays where the heard frame was.
    EXPECT_EQ(t.deck(0).position.load(), 44880.0);
    EXPECT_EQ(audiblePosition(t.deck(0)), audible);
    EXPECT_FALSE(t.view(0).reset.selected);

    // The toggle button does the same and shows the mode images.
    t.deck(0).speed.store(0.5); // too slow to re-tune the stretcher: its pitch stays
    t.screen->togglePitchMode(0);
    EXPECT_TRUE(t.deck(0).pitchMode.load());
    // The stretcher's old latency belongs to audio that is never heard (its clear is pending).
    EXPECT_EQ(t.deck(0).position.load(), 44880.0);
    EXPECT_TRUE(t.view(0).pitchModeImage);
    EXPECT_TRUE(t.view(0).overModeHighlighted);
    EXPECT_FALSE(t.view(1).pitchModeImage);
    EXPECT_DOUBLE_EQ(t.deck(0).stretcher->pitch(), 0.8);
}

TEST(SampleTestControllerPitch, DoubleTapOnResetCancelsAGlideAndReturnsToOne) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.screen->setDefaultSpeed(0, 1.1);
    t.screen->bendDown(0); // towards 0.8 over 22050 frames
    t.engine.render(2205);
    const double reached = t.deck(0).speed.load();
    ASSERT_NEAR(reached, 0.98, 1e-9);
    t.screen->resetButtonDbl(0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.0);
    const auto& ramp = t.deck(0).speedRamp;
    EXPECT_TRUE(ramp.isOn());
    EXPECT_DOUBLE_EQ(ramp.from.load(), reached) << "a fresh ramp from the current speed";
    EXPECT_DOUBLE_EQ(ramp.to.load(), 1.0);
    EXPECT_DOUBLE_EQ(ramp.delta.load(), (1.0 - reached) / 64.0);
    EXPECT_EQ(ramp.count.load(), 64);
}

// --- bend, wind and brake -------------------------------------------------------------------

TEST(SampleTestControllerPitch, BendsRampAPlayingDeckAndWindAStoppedOne) {
    PitchScreen t(false, 80.0);
    t.load(0, 120.0, /*play=*/true);
    t.load(1, 120.0);
    t.screen->setDefaultSpeed(0, 1.05);
    struct Case {
        std::function<void()> press, release;
        double target;
        double wind;
    } cases[] = {
        {[&] { t.screen->bendUp(0); }, [&] { t.screen->bendUpEnd(0); }, 1.35, 0},
        {[&] { t.screen->bendDown(0); }, [&] { t.screen->bendDownEnd(0); }, 0.75, 0},
        {[&] { t.screen->bendUp(1); }, [&] { t.screen->bendUpEnd(1); }, 0, -80.0},
        {[&] { t.screen->bendDown(1); }, [&] { t.screen->bendDownEnd(1); }, 0, 80.0},
    };
    for (const Case& c : cases) {
        c.press();
        if (c.wind == 0.0) {
            EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), c.target);
            EXPECT_EQ(t.deck(0).speedRamp.count.load(), 22050);
            c.release();
            EXPECT_DOUBLE_EQ(t.deck(0).speedRamp.to.load(), 1.05);
            EXPECT_EQ(t.deck(0).speedRamp.count.load(), 64);
            EXPECT_TRUE(t.deck(0).inertiaDecay.load());
        } else {
            EXPECT_EQ(t.deck(1).inertiaSpeed.load(), c.wind);
            EXPECT_FALSE(t.deck(1).inertiaDecay.load());
            t.deck(1).replanNeeded.store(false);
            c.release();
            EXPECT_EQ(t.deck(1).inertiaSpeed.load(), 0.0);
            EXPECT_TRUE(t.deck(1).replanNeeded.load());
            EXPECT_TRUE(t.deck(1).inertiaDecay.load());
            EXPECT_DOUBLE_EQ(t.deck(1).speed.load(), 1.0);
        }
    }
}

// The deck alone on air, which the brake leaves playing, is in the mixer tests.
TEST(SampleTestControllerPitch, BrakeGlidesEveryPlayingDeckToAStop) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.load(1, 120.0, /*play=*/true);
    t.screen->breakActionUp(44100);
    for (int d = 0; d < 2; ++d) {
        EXPECT_TRUE(t.deck(d).speedRamp.isOn()) << d;
        EXPECT_DOUBLE_EQ(t.deck(d).speedRamp.to.load(), 0.0) << d;
        EXPECT_EQ(t.deck(d).speedRamp.count.load(), 44100) << d;
    }
    t.engine.render(22050);
    for (int d = 0; d < 2; ++d) {
        EXPECT_NEAR(t.deck(d).speed.load(), 0.5, 1e-6) << d;
        EXPECT_DOUBLE_EQ(t.deck(d).baseSpeed.load(), 1.0) << "the fader stays";
    }
}

TEST(SampleTestControllerPitch, TheSpeedSliderDrivesTheSpeedButNotTheFader) {
    PitchScreen t;
    t.load(1, 120.0, /*play=*/true);
    t.screen->speed(1, 1.3);
    EXPECT_DOUBLE_EQ(t.deck(1).speedRamp.to.load(), 1.3);
    EXPECT_EQ(t.deck(1).speedRamp.count.load(), 64);
    EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), 1.0);
}

// --- sync -------------------------------------------------------------------------------------

TEST(SampleTestControllerPitch, SyncMatchesTheMastersTempoAndSavesTheLock) {
    struct Case {
        double master, masterSpeed, own, expected;
        int side = 0;         // the deck whose sync button is pressed
        bool playing = false; // a playing deck ramps over 256 frames, a stopped one jumps
    } cases[] = {
        {128.0, 1.02, 125.0, 128.0 * 1.02 / 125.0},
        {120.0, 1.0, 125.0, 0.96},
        {120.0, 1.0, 125.0, 0.96, 1, true},
        {100.0, 1.0, 128.0, 0.85}, // 0.78 clamped to the fader range
        {140.0, 1.1, 120.0, 1.15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.master << " side " << c.side);
        PitchScreen t;
        const int own = c.side;
        const int master = 1 - c.side;
        t.load(own, c.own, c.playing);
        t.load(master, c.master);
        t.screen->setDefaultSpeed(master, c.masterSpeed);
        t.screen->syncAction(own);
        EXPECT_TRUE(t.screen->tempoLock());
        EXPECT_DOUBLE_EQ(t.deck(own).baseSpeed.load(), c.expected);
        EXPECT_DOUBLE_EQ(t.deck(own).speed.load(), c.playing ? 1.0 : c.expected);
        if (c.playing) {
            EXPECT_DOUBLE_EQ(t.deck(own).speedRamp.to.load(), c.expected);
            EXPECT_EQ(t.deck(own).speedRamp.count.load(), 256);
        }
        EXPECT_DOUBLE_EQ(t.deck(master).baseSpeed.load(), c.masterSpeed);
        EXPECT_TRUE(t.view(0).sync.selected);
        EXPECT_TRUE(t.view(1).sync.selected);
        EXPECT_TRUE(UserDefaults(t.defaults.file()).boolForKey("kTempoLock", false));

        t.screen->syncAction(master); // either sync button switches it off
        EXPECT_FALSE(t.screen->tempoLock());
        EXPECT_FALSE(t.view(0).sync.selected);
        EXPECT_FALSE(t.view(1).sync.selected);
        EXPECT_FALSE(UserDefaults(t.defaults.file()).boolForKey("kTempoLock", true));
    }
}

TEST(SampleTestControllerPitch, SyncWithAnUnknownTempoTurnsTheLockOnWithoutChangingSpeeds) {
    PitchScreen t;
    t.load(0, 120.0);
    t.load(1, 0.0);
    t.screen->setDefaultSpeed(0, 1.04);
    t.screen->syncAction(0);
    EXPECT_TRUE(t.screen->tempoLock());
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.04);
    EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), 1.0);
    EXPECT_FALSE(t.view(0).sync.selected);
    EXPECT_FALSE(t.view(1).sync.selected);
    EXPECT_FALSE(t.defaults.boolForKey("kTempoLock", true)) << "saved once the tempo is known";
}

TEST(SampleTestControllerPitch, AutoLockLetsTheQuieterDeckFollow) {
    struct Case {
        float gain0, gain1;
        int follower;
    } cases[] = {{1.0f, 0.5f, 1}, {0.5f, 0.5f, 1}, {0.2f, 0.9f, 0}};
    for (const Case& c : cases) {
        PitchScreen t(/*tempoLock=*/true);
        t.load(0, 120.0);
        t.load(1, 125.0);
        t.deck(0).faderGain.store(c.gain0);
        t.deck(1).faderGain.store(c.gain1);
        t.screen->autoLockTempo();
        const int leader = 1 - c.follower;
        EXPECT_DOUBLE_EQ(t.deck(leader).baseSpeed.load(), 1.0);
        EXPECT_DOUBLE_EQ(t.deck(c.follower).baseSpeed.load(),
                         t.info(leader).tempo / t.info(c.follower).tempo);
    }
}

// --- pitch panel ------------------------------------------------------------------------------

TEST(SampleTestControllerPitch, LongPressOnThePitchPanelButtonResetsAndUnlocks) {
    PitchScreen t(/*tempoLock=*/true);
    t.load(0, 120.0);
    t.load(1, 125.0);
    t.screen->setDefaultSpeed(0, 1.1);
    t.screen->pitchPanelDown(0);
    t.advance(1.49);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.1);
    EXPECT_TRUE(t.screen->tempoLock());
    t.advance(0.01);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.0);
    EXPECT_DOUBLE_EQ(t.deck(0).speed.load(), 1.0);
    EXPECT_FALSE(t.screen->tempoLock());
    EXPECT_FALSE(t.view(0).sync.selected);
    EXPECT_FALSE(t.view(1).sync.selected);
    EXPECT_FALSE(UserDefaults(t.defaults.file()).boolForKey("kTempoLock", true));
    t.screen->pitchPanelSwitch(0); // the release after a long press
    EXPECT_FALSE(t.view(0).pitchPanel.selected);

    // A short press toggles the panel and never fires the long press.
    t.screen->setDefaultSpeed(0, 1.1);
    t.screen->pitchPanelDown(0);
    t.advance(0.3);
    t.screen->pitchPanelSwitch(0);
    EXPECT_TRUE(t.view(0).pitchPanel.selected);
    EXPECT_TRUE(t.view(0).modeImagesHighlighted);
    EXPECT_FALSE(t.view(1).modeImagesHighlighted);
    t.advance(2.0);
    EXPECT_DOUBLE_EQ(t.deck(0).baseSpeed.load(), 1.1);
    t.screen->pitchPanelDown(0);
    t.screen->pitchPanelSwitch(0);
    EXPECT_FALSE(t.view(0).pitchPanel.selected);
}

// --- tap tempo ------------------------------------------------------------------------------

TEST(SampleTestControllerPitch, NineTapsHalfASecondApartStore120Bpm) {
    PitchScreen t(/*tempoLock=*/true);
    t.load(0, 100.0, /*play=*/true);
    t.load(1, 100.0);
    const std::vector<std::string> labels = {
        "",
        "[7] 100.0 bpm",
        "[6] 120.0 bpm",
        "[5] 120.0 bpm",
        "[4] 120.0 bpm",
        "[3] 120.0 bpm",
        "[2] 120.0 bpm",
        "[1] 120.0 bpm",
        "",
    };
    for (size_t i = 0; i < labels.size(); ++i) {
        t.tap(0);
        const bool shown = !labels[i].empty();
        EXPECT_EQ(!t.view(0).tapLabel.hidden, shown) << i;
        if (shown) {
            EXPECT_EQ(t.view(0).tapLabel.text, labels[i]);
            EXPECT_DOUBLE_EQ(t.screen->waveformInterval(), 1.0 / 15.0);
        }
        EXPECT_DOUBLE_EQ(t.info(0).tempo, i + 1 < labels.size() ? 100.0 : 120.0) << i;
        if (i == 2) {
            EXPECT_FALSE(t.screen->tempoLock()) << "a counted tap unlocks the tempo";
        }
        if (i + 1 < labels.size()) {
            t.advance(0.5);
        }
    }
    EXPECT_DOUBLE_EQ(t.screen->waveformInterval(), 0.02);
    t.advance(5.0); // the time-out was cancelled: the new tempo stays
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 120.0);
    EXPECT_DOUBLE_EQ(t.info(1).tempo, 100.0);
}

TEST(SampleTestControllerPitch, TheTapLabelShowsTheTempoAtTheDecksSpeed) {
    PitchScreen t;
    t.load(1, 90.0);
    t.screen->setDefaultSpeed(1, 1.1);
    for (int i = 0; i < 3; ++i) {
        t.tap(1);
        t.advance(0.4); // 150 BPM taps
    }
    EXPECT_EQ(t.view(1).tapLabel.text, "[6] 165.0 bpm");
    EXPECT_TRUE(t.view(0).tapLabel.hidden);
}

TEST(SampleTestControllerPitch, FastTapsClampTo240Bpm) {
    PitchScreen t;
    t.load(0, 128.0);
    for (int i = 0; i < 9; ++i) {
        t.tap(0);
        t.advance(0.1); // 600 BPM
    }
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 240.0);
}

TEST(SampleTestControllerPitch, StoppingAfterFourCountedTapsRestoresTheTempoAfterTwoSeconds) {
    PitchScreen t;
    t.load(0, 100.0, /*play=*/true);
    for (int i = 0; i < 5; ++i) { // the arming tap and four counted ones
        t.tap(0);
        t.advance(0.5);
    }
    ASSERT_EQ(t.view(0).tapLabel.text, "[4] 120.0 bpm");
    t.screen->tempoPlus(0); // the tempo changes meanwhile
    ASSERT_DOUBLE_EQ(t.info(0).tempo, 100.1);
    t.advance(1.49); // 1.99 s after the last tap
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 100.1);
    EXPECT_FALSE(t.view(0).tapLabel.hidden);
    t.advance(0.01);
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 100.0);
    EXPECT_TRUE(t.view(0).tapLabel.hidden);
    EXPECT_DOUBLE_EQ(t.screen->waveformInterval(), 0.02);

    // A new sequence starts from the beginning: an arming tap, then the count restarts at 7.
    t.tap(0);
    EXPECT_TRUE(t.view(0).tapLabel.hidden);
    t.advance(0.5);
    t.tap(0);
    EXPECT_EQ(t.view(0).tapLabel.text, "[7] 100.0 bpm");
}

TEST(SampleTestControllerPitch, ASingleTapPutsABeatWhereTheListenerIs) {
    PitchScreen t;
    t.load(0, 120.0, /*play=*/true);
    t.deck(0).pitchMode.store(false); // key lock: audible = position − 5120
    t.deck(0).position.store(5120.0 + 100.0 * 256.0 + 10.0);
    t.deck(0).inertiaSpeed.store(4.0);
    ASSERT_FALSE(t.deck(0).peakData()->isBeatEntry(100));
    t.tap(0);
    EXPECT_TRUE(t.deck(0).peakData()->isBeatEntry(100));
    EXPECT_FALSE(t.deck(0).peakData()->isBeatEntry(86));
    EXPECT_EQ(t.deck(0).inertiaSpeed.load(), 0.0);
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 120.0);
}

TEST(SampleTestControllerPitch, TempoEditsReachARunningAnalysisOfTheSameFile) {
    std::atomic<float> progress{0.3f}; // outlives the engine's registry entries
    PitchScreen t;
    t.load(0, 100.0);
    t.info(0).fileName = t.dir.file("Track One.mp3");
    ASSERT_TRUE(t.engine.out.registerAnalyze(
        std::make_shared<analyzeProgress>(&progress, "Track One.mp3")));
    ASSERT_TRUE(
        t.engine.out.registerAnalyze(std::make_shared<analyzeProgress>(&progress, "Other.mp3")));
    for (int i = 0; i < 9; ++i) {
        t.tap(0);
        t.advance(0.5);
    }
    EXPECT_DOUBLE_EQ(t.engine.out.getTempoOverrideForAnalyze(t.info(0).fileName), 120.0);
    EXPECT_DOUBLE_EQ(t.engine.out.getTempoOverrideForAnalyze(t.dir.file("Other.mp3")), -1.0);
    t.screen->tempoMinus(0);
    EXPECT_DOUBLE_EQ(t.engine.out.getTempoOverrideForAnalyze(t.info(0).fileName), 119.9);
}

// --- BPM entry pad ------------------------------------------------------------------------

TEST(SampleTestControllerPitch, EnteredBpmIsStoredOnlyFrom60ToBelow220) {
    struct Case {
        std::vector<int> digits;
        int tenths; // + presses (negative: − presses)
        double stored;
    } cases[] = {
        {{0, 5, 9}, 9, 120.0},         // 59.9 dropped
        {{2, 2, 0}, 0, 120.0},         // 220.0 dropped
        {{0, 6, 0}, 0, 60.0},          // the lowest accepted
        {{2, 1, 9}, 9, 219.9},         // the highest accepted
        {{1, 2, 8}, -3, 127.7},        //
        {{1, 2, 0}, 0, 120.0},         // unchanged: nothing to apply
        {{1, 2, 5}, 0, 125.0},         //
        {{9, 9, 9, 1, 2, 6}, 0, 126.0} // the fourth digit starts over
    };
    for (const Case& c : cases) {
        PitchScreen t;
        t.load(0, 120.0);
        t.screen->bpmEnterOnOff(0);
        ASSERT_EQ(t.screen->lastBpmSide(), 0);
        ASSERT_DOUBLE_EQ(t.screen->enteredBpm(), 120.0);
        for (int digit : c.digits) {
            t.screen->bpmDigitPress(digit);
        }
        for (int i = 0; i < std::abs(c.tenths); ++i) {
            c.tenths > 0 ? t.screen->bpmPlusPress() : t.screen->bpmMinusPress();
        }
        t.screen->bpmEnterOnOff(0); // closing applies
        EXPECT_NEAR(t.info(0).tempo, c.stored, 1e-9) << c.stored;
        EXPECT_EQ(t.screen->lastBpmSide(), -1);
        EXPECT_FALSE(t.view(0).bpmButton.selected);
    }
}

TEST(SampleTestControllerPitch, AnAppliedBpmPutsTheGridOnFrameZero) {
    PitchScreen t;
    t.load(0, 120.0);
    for (int32_t e = 0; e < t.deck(0).peakData()->count; ++e) { // a grid that starts at entry 10
        t.deck(0).peakData()->setEntry(e, 10, e % kBeatEntries == 10 ? kPeakBeatFlag : 0);
    }
    t.screen->bpmEnterOnOff(0);
    t.screen->bpmDigitPress(1);
    t.screen->bpmDigitPress(2);
    t.screen->bpmDigitPress(5);
    t.screen->finalizeBpmEnter();
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 125.0);
    EXPECT_TRUE(t.deck(0).peakData()->isBeatEntry(0));
    EXPECT_FALSE(t.deck(0).peakData()->isBeatEntry(10));
    EXPECT_EQ(t.screen->lastBpmSide(), -1);
}

TEST(SampleTestControllerPitch, ThePadOpensBesideItsDeckAndClosesItsPanelsAndLoop) {
    PitchScreen t;
    t.load(0, 126.4);
    t.load(1, 128.0, /*play=*/true);
    struct Case {
        bool tablet;
        int deck;
        float x, y;
    } cases[] = {
        {false, 0, 235, 240}, {false, 1, 85, 240}, {true, 0, 545, 512}, {true, 1, 225, 512}};
    for (const Case& c : cases) {
        t.host.tablet = c.tablet;
        t.screen->bpmEnterOnOff(c.deck);
        EXPECT_EQ(t.screen->lastBpmSide(), c.deck);
        EXPECT_EQ(t.screen->bpmPadX(), c.x);
        EXPECT_EQ(t.screen->bpmPadY(), c.y);
        EXPECT_TRUE(t.view(c.deck).bpmButton.selected);
        EXPECT_FALSE(t.view(1 - c.deck).bpmButton.selected);
        EXPECT_NEAR(t.screen->enteredBpm(), t.info(c.deck).tempo, 1e-9);
    }
    t.screen->bpmEnterOnOff(1); // closes deck 1's pad, tempo unchanged
    EXPECT_EQ(t.screen->lastBpmSide(), -1);
    EXPECT_DOUBLE_EQ(t.info(1).tempo, 128.0);

    // Opening the pad ends the deck's loop and closes its panels.
    t.screen->loopPanelSwitch(1);
    t.deck(1).position.store(10000.0);
    t.screen->loopInOut(1);
    t.deck(1).position.store(30000.0);
    t.screen->loopInOut(1);
    ASSERT_TRUE(t.deck(1).loopActive.load());
    t.screen->setPanelShown(1, &DeckViewState::fxPanel, true);
    t.screen->bpmEnterOnOff(1);
    EXPECT_FALSE(t.deck(1).loopActive.load());
    EXPECT_EQ(t.view(1).loopLabel.text, "?");
    EXPECT_FALSE(t.view(1).loopPanel.selected);
    EXPECT_FALSE(t.view(1).fxPanel.selected);
    EXPECT_FALSE(t.view(1).play.hidden);
}

TEST(SampleTestControllerPitch, Entering000ForgetsTheTempoAndAnalysesTheTrackAgain) {
    PitchScreen t;
    t.load(0, 120.0);
    t.info(0).fileName = t.dir.file("track.wav");
    std::mutex mutex;
    std::vector<std::string> analysed;
    t.engine.out.setAnalysisRoutine(
        [&](const std::filesystem::path& path, peakFileData&, std::atomic<float>&) {
            std::lock_guard lock(mutex);
            analysed.push_back(path.string());
            return 0;
        });
    t.deck(0).peakData()->bpm.store(120.0);
    t.screen->bpmEnterOnOff(0);
    t.screen->bpmDigitPress(0);
    t.screen->bpmDigitPress(0);
    EXPECT_EQ(t.screen->lastBpmSide(), 0);
    t.screen->bpmDigitPress(0);
    EXPECT_EQ(t.screen->lastBpmSide(), -1) << "the pad closes";
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 0.0);
    EXPECT_DOUBLE_EQ(t.deck(0).peakData()->bpm.load(), 0.0);
    EXPECT_TRUE(t.deck(0).needsAnalysis.load());
    t.engine.out.joinAnalyses(true);
    std::lock_guard lock(mutex);
    EXPECT_EQ(analysed, std::vector<std::string>{t.dir.file("track.wav").string()});
}

TEST(SampleTestControllerPitch, BuiltInTracksKeepTheirTempoAndGrid) {
    PitchScreen t;
    t.load(0, 120.0);
    t.info(0).fileGroup = 1;
    t.info(0).fileName = t.dir.file("demo.wav");
    std::atomic<bool> ran{false};
    t.engine.out.setAnalysisRoutine(
        [&](const std::filesystem::path&, peakFileData&, std::atomic<float>&) {
            ran = true;
            return 0;
        });
    const std::vector<std::function<void()>> edits = {
        [&] { t.screen->tempoPlus(0); },
        [&] { t.screen->tempoMinus(0); },
        [&] { t.screen->shiftGridUp(0); },
        [&] { t.screen->shiftGridDown(0); },
        [&] {
            t.screen->bpmEnterOnOff(0);
            for (int i = 0; i < 3; ++i) {
                t.screen->bpmDigitPress(0);
            }
        },
    };
    for (size_t i = 0; i < edits.size(); ++i) {
        edits[i]();
        EXPECT_DOUBLE_EQ(t.info(0).tempo, 120.0) << i;
        EXPECT_TRUE(t.deck(0).peakData()->isBeatEntry(172)) << i;
        EXPECT_FALSE(t.deck(0).peakData()->isBeatEntry(171)) << i;
        // Each refusal tells the user why.
        ASSERT_EQ(t.host.messages.size(), i + 1) << i;
        EXPECT_NE(t.host.messages.back().find("built-in"), std::string::npos) << i;
    }
    // A tap and an entered tempo are refused the same way.
    t.screen->downTapBPM(0);
    t.screen->upTapBPM(0);
    EXPECT_EQ(t.host.messages.size(), edits.size() + 1);
    if (t.screen->lastBpmSide() != 0) {
        t.screen->bpmEnterOnOff(0); // the pad is open after the refused 000
    }
    for (const int digit : {1, 3, 3}) {
        t.screen->bpmDigitPress(digit);
    }
    t.screen->finalizeBpmEnter();
    EXPECT_EQ(t.host.messages.size(), edits.size() + 2);
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 120.0);
    t.engine.out.joinAnalyses(true);
    EXPECT_FALSE(ran.load());
}

// --- tempo nudge and grid shift ----------------------------------------------------------

TEST(SampleTestControllerPitch, NudgesMoveTheTempoByATenthWithin40To240) {
    struct Case {
        double tempo;
        bool plus;
        double expected;
    } cases[] = {
        {120.0, true, 120.1}, {120.0, false, 119.9}, {239.95, true, 240.0}, {240.0, true, 240.0},
        {40.05, false, 40.0}, {40.0, false, 40.0},   {0.0, true, 0.0}, // unknown tempo: nothing
    };
    for (const Case& c : cases) {
        PitchScreen t;
        t.load(0, c.tempo);
        c.plus ? t.screen->tempoPlus(0) : t.screen->tempoMinus(0);
        EXPECT_NEAR(t.info(0).tempo, c.expected, 1e-9) << c.tempo << (c.plus ? " +" : " -");
    }
}

TEST(SampleTestControllerPitch, ANudgeKeepsTheNextBeatWhereItIs) {
    PitchScreen t;
    t.load(0, 120.0);
    t.deck(0).position.store(30000.0); // entry 117: the next beat mark is in entry 172
    t.screen->tempoPlus(0);
    EXPECT_DOUBLE_EQ(t.info(0).tempo, 120.1);
    EXPECT_TRUE(t.deck(0).peakData()->isBeatEntry(172));
    // 120.1 BPM is 86.06 entries per beat: fifteen beats on lies in entry 1463, where the
    // old grid of 86 entries had 1462.
    EXPECT_TRUE(t.deck(0).peakData()->isBeatEntry(1463));
    EXPECT_FALSE(t.deck(0).peakData()->isBeatEntry(1462));
}

TEST(SampleTestControllerPitch, GridShiftsMoveTheSecondBeatBy256Frames) {
    struct Case {
        bool up;
        int beat;
    } cases[] = {{true, 171}, {false, 173}};
    for (const Case& c : cases) {
        PitchScreen t;
        t.load(0, 120.0);
        c.up ? t.screen->shiftGridUp(0) : t.screen->shiftGridDown(0);
        EXPECT_TRUE(t.deck(0).peakData()->isBeatEntry(c.beat)) << c.up;
        EXPECT_FALSE(t.deck(0).peakData()->isBeatEntry(172)) << c.up;
    }
    PitchScreen t;
    t.load(0, 0.0); // unknown tempo: no grid to shift
    t.screen->shiftGridUp(0);
    EXPECT_TRUE(t.deck(0).peakData()->isBeatEntry(172));
}

// --- unloaded deck --------------------------------------------------------------------------

TEST(SampleTestControllerPitch, EveryPitchHandlerOnAnUnloadedDeckIsHarmless) {
    PitchScreen t;
    t.load(1, 120.0, /*play=*/false); // the other deck is loaded and must not be disturbed
    t.screen->setDefaultSpeed(1, 1.03);
    t.deck(1).speed.store(1.03);
    using C = SampleTestController;
    // The handlers taking a deck (or a digit), in an order a DJ might press them, then the rest.
    const struct {
        void (C::*handler)(int);
        int arg;
    } presses[] = {
        {&C::plusButton, 0},       {&C::plusButtonUp, 0},      {&C::minusButton, 0},
        {&C::minusButtonUp, 0},    {&C::plusButton, 0},        {&C::minusButton, 0},
        {&C::resetButton, 0},      {&C::resetButtonDbl, 0},    {&C::resetButtonUp, 0},
        {&C::pitchPanelDown, 0},   {&C::pitchPanelSwitch, 0},  {&C::bendUp, 0},
        {&C::bendUpEnd, 0},        {&C::bendDown, 0},          {&C::bendDownEnd, 0},
        {&C::bendButtonAction, 0}, {&C::breakActionUp, 44100}, {&C::tideTempoForSide, 0},
        {&C::tideTempoForSide, 1}, {&C::downTapBPM, 0},        {&C::upTapBPM, 0},
        {&C::bpmEnterOnOff, 0},    {&C::bpmDigitPress, 0},     {&C::bpmDigitPress, 0},
        {&C::bpmDigitPress, 0},    {&C::tempoPlus, 0},         {&C::tempoMinus, 0},
        {&C::shiftGridUp, 0},      {&C::shiftGridDown, 0},     {&C::syncAction, 0},
        {&C::syncAction, 0},       {&C::syncAction, 1},        {&C::syncAction, 1},
    };
    std::vector<std::function<void(C&)>> all;
    for (const auto& p : presses) {
        all.push_back([p](C& c) { (c.*p.handler)(p.arg); });
    }
    all.insert(all.end(), {[](C& c) { c.updatePitchMode(); }, [](C& c) { c.speed(0, 1.4); },
                           [](C& c) { c.autoLockTempo(); }, [](C& c) { c.bpmPlusPress(); },
                           [](C& c) { c.bpmMinusPress(); }, [](C& c) { c.finalizeBpmEnter(); },
                           [](C& c) { c.checkAndStopAnalize(0, 120.0); }});
    for (size_t i = 0; i < all.size(); ++i) {
        all[i](*t.screen);
        t.advance(0.6); // whatever timers the press started run out
        EXPECT_FALSE(t.deck(0).isLoaded.load()) << i;
        EXPECT_FALSE(t.deck(0).isPlaying.load()) << i;
        EXPECT_EQ(t.deck(0).baseSpeed.load(), 1.0) << i;
        EXPECT_EQ(t.deck(0).speed.load(), 1.0) << i;
        EXPECT_FALSE(t.deck(0).speedRamp.isOn()) << i;
        EXPECT_FALSE(t.deck(0).pitchLock.load()) << i;
        EXPECT_EQ(t.deck(0).inertiaSpeed.load(), 0.0) << i;
        EXPECT_FALSE(t.deck(0).loopActive.load()) << i;
        EXPECT_DOUBLE_EQ(t.deck(1).baseSpeed.load(), 1.03) << i;
        EXPECT_DOUBLE_EQ(t.deck(1).speed.load(), 1.03) << i;
        EXPECT_DOUBLE_EQ(t.info(1).tempo, 120.0) << i;
        EXPECT_TRUE(t.view(0).tapLabel.hidden) << i;
    }
    t.advance(5.0);
    EXPECT_FALSE(t.loop.nextTimerTime().has_value());
}

} // namespace
} // namespace vx
