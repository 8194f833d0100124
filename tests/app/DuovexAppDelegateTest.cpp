// The application delegate on the offline device with a manual clock: each "run" below is
// one process lifetime (its own clock, loop, device and delegate) on a shared temporary home,
// so a second run sees exactly what the first left in the settings file, the database and the
// folders.

#include "app/DuovexAppDelegate.h"

#include "AppFixture.h"

#include "analysis/analyzeTrack.h"
#include "analysis/peakFileData.h"
#include "dsp/SamplePlayerFixed.h"
#include "engine/AudioOut.h"
#include "engine/ConversionState.h"
#include "engine/DeckDecoder.h"
#include "engine/audioStream.h"
#include "engine/sampleLoad.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "library/TrackHash.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vx::test {
namespace {

// ---- first start ------------------------------------------------------------------------

TEST(DuovexAppDelegateTest, FirstLaunchWritesEveryFirstStartValueWithItsType) {
    AppHome home;
    home.addTrack("Mine", false);
    {
        AppRun run(home, "2.3");
        EXPECT_TRUE(run.app().firstStart());
        EXPECT_FLOAT_EQ(run.engine().getGain(), 0.5f);
        EXPECT_FLOAT_EQ(run.engine().getSampleGain(), 0.75f);
    }
    const UserDefaults saved = home.savedDefaults();
    using V = UserDefaults::Value;
    const std::vector<std::pair<std::string, V>> expected = {
        {"kLaunchCount", V(int64_t{1})},
        {"isFirstStart", V(std::string("NO"))},
        {"preVersion", V(std::string("2.3"))},
        {"kLashHash", V(folderSignature(home.paths().documents()))},
        {"kNormalizeVolume", V(true)},
        {"kDipCorrection", V(1.0f)},
        {"kPitchStep", V(0.001)},
        {"kHideBundled", V(false)},
        {"kStopProofLock", V(false)},
        {"kTempoLock", V(true)},
        {"kXFadeTime", V(4.5)},
        {"kSongPartInAutoPlay", V(0.5f)},
        {"kSamplesVolume", V(0.75f)},
        {"kSnapCueToBeat", V(true)},
        {"kDontMarkEvenBeat", V(false)},
        {"kTwitterSave", V(true)},
        {"LastVolume", V(0.5f)},
        {"LastSplit", V(false)},
        {"LastZoomMode", V(true)},
        {"kFFSpeed", V(160.0)},
        {"kFadeCurve", V(int64_t{1})},
        {"kAutoEqEnabled", V(false)},
        {"kRandonSong", V(false)},
        {"FileSeqNo", V(int64_t{0})},
        {"kRecordNo", V(int64_t{0})},
    };
    for (const auto& [key, value] : expected) {
        const auto stored = saved.valueForKey(key);
        ASSERT_TRUE(stored.has_value()) << key;
        EXPECT_EQ(stored->index(), value.index()) << key << ": wrong type";
        EXPECT_EQ(*stored, value) << key;
    }
    EXPECT_NE(saved.unsignedForKey("kLashHash"), 0u);
}

TEST(DuovexAppDelegateTest, FirstLaunchKeepsRecordingNumbersAlreadyInTheStore) {
    AppHome home;
    {
        UserDefaults before(home.paths().settingsFile());
        before.setInteger("FileSeqNo", 7);
        ASSERT_TRUE(before.synchronize());
    }
    { AppRun run(home); }
    EXPECT_EQ(home.savedDefaults().integerForKey("FileSeqNo", -1), 7);
    EXPECT_EQ(home.savedDefaults().integerForKey("kRecordNo", -1), 0);
}

// The built-in folder is reconciled before the documents, and the decks start with the first
// two built-in tracks by name.
TEST(DuovexAppDelegateTest, FirstLaunchReconcilesTheBuiltInFolderFirstAndLoadsItsTracks) {
    AppHome home;
    ASSERT_GE(home.demoTracks().size(), 2u);
    home.addTrack("First", false);
    home.addTrack("Second", false);
    {
        AppRun run(home);
        EXPECT_EQ(run.loadedFile(0), home.demoTracks()[0]);
        EXPECT_EQ(run.loadedFile(1), home.demoTracks()[1]);
        EXPECT_FALSE(run.app().splashShown());
        EXPECT_EQ(run.app().lastTransition(), DuovexAppDelegate::kFadeTransition);
    }
    const auto rows = home.rowsInOrder();
    ASSERT_EQ(rows.size(), home.demoTracks().size() + 2);
    // Row ids grow with each insertion: every built-in row came before any documents row.
    const size_t builtIn = home.demoTracks().size();
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].first, i < builtIn ? 1 : 0) << "row " << i << " " << rows[i].second;
    }
}

// ---- later starts -----------------------------------------------------------------------

TEST(DuovexAppDelegateTest, UnchangedDocumentsAreNotReconciledAndANewTrackOrZeroSignatureForcesIt) {
    AppHome home;
    const fs::path kept = home.addTrack("Kept", false);
    { AppRun run(home); }
    ASSERT_TRUE(home.hasRow(0, kept.filename().string()));
    const uint64_t firstSignature = home.savedDefaults().unsignedForKey("kLashHash");

    // A row that only a reconciliation would bring back.
    home.removeRow(0, kept);
    {
        AppRun run(home);
        EXPECT_FALSE(run.app().firstStart());
    }
    EXPECT_FALSE(home.hasRow(0, kept.filename().string()));
    EXPECT_EQ(home.savedDefaults().integerForKey("kLaunchCount"), 2);

    const fs::path added = home.addTrack("Added", false);
    { AppRun run(home); }
    EXPECT_TRUE(home.hasRow(0, kept.filename().string()));
    EXPECT_TRUE(home.hasRow(0, added.filename().string()));
    const uint64_t newSignature = home.savedDefaults().unsignedForKey("kLashHash");
    EXPECT_NE(newSignature, firstSignature);
    EXPECT_EQ(newSignature, folderSignature(home.paths().documents()));

    // A zero signature forces it too.
    home.removeRow(0, kept);
    {
        UserDefaults store(home.paths().settingsFile());
        store.setUnsigned("kLashHash", 0);
        ASSERT_TRUE(store.synchronize());
    }
    { AppRun run(home); }
    EXPECT_TRUE(home.hasRow(0, kept.filename().string()));
}

TEST(DuovexAppDelegateTest, ANewVersionReconcilesTheBuiltInFolderOnce) {
    AppHome home;
    const fs::path demo = home.demoTracks().back();
    const std::string name = demo.filename().string();
    { AppRun run(home, "1.0"); }
    ASSERT_TRUE(home.hasRow(1, name));

    home.removeRow(1, demo);
    { AppRun run(home, "1.0"); }
    EXPECT_FALSE(home.hasRow(1, name)) << "same version: no reconciliation";

    { AppRun run(home, "1.1"); }
    EXPECT_TRUE(home.hasRow(1, name)) << "new version: reconciled";
    EXPECT_EQ(home.savedDefaults().stringForKey("preVersion"), "1.1");

    home.removeRow(1, demo);
    { AppRun run(home, "1.1"); }
    EXPECT_FALSE(home.hasRow(1, name)) << "only once per version";
}

// ---- saving and restoring ---------------------------------------------------------------

TEST(DuovexAppDelegateTest, TerminationSavesWhatTheNextLaunchRestores) {
    AppHome home;
    const fs::path a = home.addTrack("Alpha");
    const fs::path b = home.addTrack("Beta");
    const fs::path padFile = home.documents("pad.wav");
    ASSERT_TRUE(writeTone(padFile, 0.5));
    {
        AppRun run(home);
        run.loadFromCrate(0, a, 2);
        run.loadFromCrate(1, b, 4);
        ASSERT_TRUE(
            sampleLoad(run.engine().pad(2), padFile, &run.app().defaults(), lastSampleKey(2)));
        run.engine().setGain(0.8f);
        run.engine().setSampleGain(0.3f);
        run.app().setNormalizeVolume(false);
        run.app().setLastSplit(true);
        run.app().setLastZoomMode(false);
        LogCapture log;
        run.app().applicationWillTerminate();
        EXPECT_TRUE(log.contains("will terminate"));
        // Termination waited for both decoders: nothing is left loaded.
        EXPECT_FALSE(run.deck(0).isLoaded.load());
        EXPECT_FALSE(run.deck(1).isLoaded.load());
    }
    const UserDefaults saved = home.savedDefaults();
    EXPECT_EQ(saved.stringForKey("kStreamFile0"), a.string());
    EXPECT_EQ(saved.stringForKey("kStreamFile1"), b.string());
    EXPECT_EQ(saved.integerForKey("kStreamCrate0"), 2);
    EXPECT_EQ(saved.integerForKey("kStreamCrate1"), 4);
    EXPECT_EQ(saved.stringForKey("LastSample3"), padFile.string());
    EXPECT_EQ(saved.stringForKey("LastSample1"), (home.paths().samples() / "fx_1.wav").string());
    EXPECT_TRUE(saved.hasKey("LastSample6Volume"));

    AppRun run(home);
    EXPECT_EQ(run.loadedFile(0), a);
    EXPECT_EQ(run.loadedFile(1), b);
    EXPECT_EQ(run.deck(0).crateIndex.load(), 2);
    EXPECT_EQ(run.deck(1).crateIndex.load(), 4);
    for (int i = 0; i < AudioOut::kPadCount; ++i) {
        const fs::path expected =
            i == 2 ? padFile : home.paths().samples() / ("fx_" + std::to_string(i + 1) + ".wav");
        EXPECT_EQ(run.engine().pad(i).path, expected.string()) << "pad " << i + 1;
        EXPECT_GT(run.engine().pad(i).frameCount(), 0) << "pad " << i + 1;
    }
    EXPECT_NEAR(run.engine().getGain(), 0.8f, 1e-6);
    EXPECT_FLOAT_EQ(run.engine().getSampleGain(), 0.3f) << "the pads' volume";
    EXPECT_FALSE(run.app().normalizeVolume());
    EXPECT_TRUE(run.app().lastSplit());
    EXPECT_FALSE(run.app().lastZoomMode());
    EXPECT_FALSE(run.app().firstStart());
}

// A saved deck file that is gone falls back to the built-in track; a saved pad file that is
// gone keeps the engine's own sound.
TEST(DuovexAppDelegateTest, MissingSavedFilesFallBackToTheBuiltInSounds) {
    AppHome home;
    const fs::path gone = home.addTrack("Gone");
    const fs::path padFile = home.documents("pad.wav");
    ASSERT_TRUE(writeTone(padFile, 0.5));
    {
        AppRun run(home);
        run.loadFromCrate(0, gone, 1);
        ASSERT_TRUE(
            sampleLoad(run.engine().pad(0), padFile, &run.app().defaults(), lastSampleKey(0)));
        run.app().applicationWillTerminate();
    }
    fs::remove(gone);
    fs::remove(padFile);
    AppRun run(home);
    EXPECT_EQ(run.loadedFile(0), home.demoTracks()[0]);
    EXPECT_EQ(run.engine().pad(0).path, (home.paths().samples() / "fx_1.wav").string());
    EXPECT_GT(run.engine().pad(0).frameCount(), 0);
}

TEST(DuovexAppDelegateTest, BackgroundSavesPadVolumeAndCueSnapping) {
    AppHome home;
    {
        AppRun run(home);
        run.engine().setSampleGain(0.3f);
        run.app().setSnapCueToBeat(false);
        run.app().applicationWillResignActive();
        run.app().applicationDidEnterBackground();
    }
    const UserDefaults saved = home.savedDefaults();
    EXPECT_FLOAT_EQ(saved.floatForKey("kSamplesVolume"), 0.3f);
    EXPECT_FALSE(saved.boolForKey("kSnapCueToBeat", true));
    EXPECT_EQ(saved.stringForKey("kStreamFile0"), home.demoTracks()[0].string());

    AppRun run(home);
    EXPECT_FLOAT_EQ(run.engine().getSampleGain(), 0.3f);
    EXPECT_FALSE(run.app().snapCueToBeat());
}

// ---- entering the background ------------------------------------------------------------

TEST(DuovexAppDelegateTest, BackgroundEndsTheProcessOnlyWhenNothingNeedsIt) {
    struct Case {
        const char* what;
        bool playing;
        bool party;
        bool suspended;
        bool exits;
        bool remoteControl;
    };
    const Case cases[] = {
        {"silent", false, false, false, true, false},
        {"a deck playing", true, false, false, false, true},
        {"party mode", false, true, false, false, true},
        {"output suspended", false, false, true, false, false},
    };
    AppHome home;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AppRun run(home);
        if (c.playing) {
            run.app().mixingScreen()->play(0);
            run.runFor(0.1);
            ASSERT_TRUE(run.deck(0).isPlaying.load());
        }
        run.app().setPartyMode(c.party);
        run.app().setOutputSuspended(c.suspended);
        LogCapture log;
        run.app().applicationWillResignActive();
        run.app().applicationDidEnterBackground();
        EXPECT_TRUE(log.contains("resign active"));
        EXPECT_TRUE(log.contains("enter background"));
        EXPECT_EQ(run.app().exitRequested(), c.exits);
        EXPECT_EQ(run.app().receivingRemoteControl(), c.remoteControl);
        EXPECT_TRUE(run.app().inBackground());
        EXPECT_TRUE(run.app().services().inBackground.load());
        if (c.playing) {
            // The music goes on in the background.
            const double before = run.deck(0).position.load();
            run.runFor(0.2);
            EXPECT_GT(run.deck(0).position.load(), before);
        }
    }
}

TEST(DuovexAppDelegateTest, ComingBackRestartsOutputAndStopsRemoteControl) {
    AppHome home;
    AppRun run(home);
    run.app().mixingScreen()->play(0);
    run.runFor(0.1);
    run.app().applicationWillResignActive();
    run.app().applicationDidEnterBackground();
    ASSERT_TRUE(run.app().receivingRemoteControl());
    EXPECT_FALSE(run.app().waveformAnimating());

    run.engine().StopSound();
    run.app().applicationWillEnterForeground();
    EXPECT_TRUE(run.engine().SoundStarted.load());
    EXPECT_FALSE(run.app().receivingRemoteControl());
    LogCapture log;
    run.app().applicationDidBecomeActive();
    EXPECT_TRUE(log.contains("become active"));
    EXPECT_FALSE(run.app().inBackground());
    EXPECT_FALSE(run.app().services().inBackground.load());
    EXPECT_TRUE(run.app().waveformAnimating());
}

TEST(DuovexAppDelegateTest, BecomingActiveReconcilesOnlyWhenTheDocumentsChanged) {
    AppHome home;
    const fs::path track = home.addTrack("Track", false);
    AppRun run(home);

    // Unchanged while inactive: a row removed behind the back stays removed.
    run.app().db()->removeFileFromDB(trackHashForPath(track), 0);
    run.app().applicationWillResignActive();
    run.app().applicationDidBecomeActive();
    EXPECT_FALSE(home.hasRow(0, track.filename().string()));

    // A track arrives while inactive: the folder is reconciled.
    run.app().applicationWillResignActive();
    const fs::path added = home.addTrack("Added", false);
    run.app().applicationDidBecomeActive();
    EXPECT_TRUE(home.hasRow(0, track.filename().string()));
    EXPECT_TRUE(home.hasRow(0, added.filename().string()));
    EXPECT_EQ(run.app().defaults().unsignedForKey("kLashHash"),
              folderSignature(home.paths().documents()));
}

// ---- crate continuation -----------------------------------------------------------------

TEST(DuovexAppDelegateTest, CrateContinuation) {
    struct Case {
        const char* what;
        std::vector<std::string> crate;   // stems, in crate (and title) order
        std::vector<std::string> noPeaks; // stems never analysed
        std::string start;
        std::string next; // "" = the deck stays stopped on the start track
        int from = 3;     // the crate the start track is loaded from (-1: none)
    };
    const Case cases[] = {
        {"one track repeats", {"A"}, {}, "A", "A"},
        {"next track follows", {"A", "B", "C"}, {}, "A", "B"},
        {"last wraps to first", {"A", "B", "C"}, {}, "C", "A"},
        {"next never analysed: stop", {"A", "B"}, {"B"}, "A", ""},
        {"a track from no crate stops", {"A", "B"}, {}, "A", "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AppHome home;
        std::map<std::string, fs::path> files;
        for (const auto& stem : c.crate) {
            const bool peaks =
                std::find(c.noPeaks.begin(), c.noPeaks.end(), stem) == c.noPeaks.end();
            files[stem] = home.addTrack(stem, peaks);
        }
        AppRun run(home);
        for (const auto& stem : c.crate) {
            run.addToCrate(3, files[stem]);
        }
        run.loadFromCrate(0, files[c.start], c.from);
        const int loadsBefore = run.engine().decoder(0)->loads();

        run.app().mixingScreen()->play(0);
        ASSERT_TRUE(run.runUntil([&] { return run.deck(0).isPlaying.load(); }, 0.5));
        ASSERT_TRUE(run.runUntil([&] { return !run.deck(0).isPlaying.load(); }, 5.0));
        const double ended = run.now();

        if (c.next.empty()) {
            run.runFor(1.0);
            EXPECT_FALSE(run.deck(0).isPlaying.load());
            EXPECT_EQ(run.loadedFile(0), files[c.start]);
            EXPECT_EQ(run.engine().decoder(0)->loads(), loadsBefore);
            EXPECT_FALSE(run.app().needAutoPlay());
            continue;
        }
        ASSERT_TRUE(run.runUntil([&] { return run.deck(0).isPlaying.load(); }, 1.0));
        EXPECT_GE(run.now() - ended, DuovexAppDelegate::kNextLoadDelay);
        EXPECT_EQ(run.loadedFile(0), files[c.next]);
        EXPECT_EQ(run.deck(0).crateIndex.load(), 3);
        EXPECT_LT(run.deck(0).position.load(), 0.5 * 44100.0) << "plays from the start";
        EXPECT_FALSE(run.app().needAutoPlay());
        // A repeat plays the same load again; a new track is a new load.
        EXPECT_EQ(run.engine().decoder(0)->loads(), loadsBefore + (c.next == c.start ? 0 : 1));
    }
}

// A load the browser did not ask for (here the other deck's crate continuation) runs while the
// user chooses a track: the continued deck plays, and the browser stays open.
TEST(DuovexAppDelegateTest, AContinuationWhileTheBrowserIsOpenLeavesItOpen) {
    AppHome home;
    const fs::path a = home.addTrack("A");
    const fs::path b = home.addTrack("B");
    AppRun run(home);
    run.addToCrate(3, a);
    run.addToCrate(3, b);
    run.loadFromCrate(0, a, 3);
    run.app().mixingScreen()->play(0);
    ASSERT_TRUE(run.runUntil([&] { return run.deck(0).isPlaying.load(); }, 0.5));
    run.open(1);
    run.app().mixingScreen()->setTouchesEnabled(false); // as the phone's eject leaves them
    ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(0) == b; }, 6.0));
    ASSERT_TRUE(run.runUntil([&] { return run.deck(0).isPlaying.load(); }, 1.0));
    run.runFor(0.5);
    EXPECT_TRUE(run.app().loadFileShown());
    EXPECT_FALSE(run.app().mixingScreen()->touchesEnabled());
    EXPECT_EQ(run.app().sideToLoad(), 1);
}

// ---- screens and small entry points ----------------------------------------------------

TEST(DuovexAppDelegateTest, BrowserHidingReenablesTouchesAndPlaysOnlyWhenAsked) {
    AppHome home;
    AppRun run(home);
    run.runFor(0.5); // the start-up loads' own refreshes are over
    SampleTestController& screen = *run.app().mixingScreen();
    run.app().showLoadFile(1);
    EXPECT_TRUE(run.app().loadFileShown());
    EXPECT_EQ(run.app().sideToLoad(), 1);
    screen.setTouchesEnabled(false);
    run.deck(0).lphpPosition.store(0.25f);
    const int namesBefore = screen.view(0).nameUpdates;
    const float sliderBefore = screen.view(0).lphpSliderValue;
    ASSERT_NE(sliderBefore, 0.25f);

    run.app().loadFileDidHide();
    EXPECT_FALSE(run.app().loadFileShown());
    EXPECT_TRUE(screen.touchesEnabled());
    // Names are refreshed 0.2 s later, sliders 0.25 s later.
    run.loop().runFor(0.195);
    EXPECT_EQ(screen.view(0).nameUpdates, namesBefore);
    run.loop().runFor(0.01);
    EXPECT_EQ(screen.view(0).nameUpdates, namesBefore + 1);
    EXPECT_EQ(screen.view(0).lphpSliderValue, sliderBefore);
    run.loop().runFor(0.05);
    EXPECT_EQ(screen.view(0).lphpSliderValue, 0.25f);
    // Nothing was waiting to be played.
    EXPECT_FALSE(run.deck(0).isPlaying.load());
    EXPECT_FALSE(run.deck(1).isPlaying.load());
}

TEST(DuovexAppDelegateTest, ScreenPlacementFollowsTheDeviceKind) {
    AppHome home;
    {
        AppRun tablet(home, "1.0", true);
        DuovexAppDelegate& app = tablet.app();
        EXPECT_TRUE(app.isTablet());
        app.showLoadFile(0);
        EXPECT_EQ(app.loadFileAnchor(), (ScreenRect{384, 0, 384, 64}));
        app.showLoadFile(1);
        EXPECT_EQ(app.loadFileAnchor(), (ScreenRect{0, 0, 384, 64}));
        app.showSettings();
        EXPECT_TRUE(app.settingsShown());
        EXPECT_EQ(app.settingsAnchor(), (ScreenRect{320, 550, 290, 124}));
        EXPECT_EQ(app.mixingScreenLayout(), "SampleTest-iPad");
        EXPECT_EQ(app.mainMenuLayout(), "MainMenu-iPad");
        EXPECT_EQ(app.splashImage(), "Default-Portrait~ipad.png");
    }
    AppRun phone(home, "1.0", false);
    DuovexAppDelegate& app = phone.app();
    EXPECT_FALSE(app.isTablet());
    app.showLoadFile(0);
    EXPECT_FALSE(app.loadFileAnchor().has_value());
    EXPECT_FALSE(app.settingsAnchor().has_value());
    EXPECT_EQ(app.mixingScreenLayout(), "SampleTest");
    EXPECT_EQ(app.mainMenuLayout(), "MainMenu");
    EXPECT_EQ(app.splashImage(), "Default.png");
}

TEST(DuovexAppDelegateTest, MainMenuSlowsTheWaveformsUntilItHides) {
    AppHome home;
    AppRun run(home);
    SampleTestController& screen = *run.app().mixingScreen();
    screen.setMenuOn(true);
    screen.setTouchesEnabled(false);
    run.app().showMainMenu();
    EXPECT_TRUE(run.app().mainMenuShown());
    EXPECT_DOUBLE_EQ(run.app().waveformRedrawInterval(), 1.0 / 15.0);
    run.app().hideMenu();
    EXPECT_FALSE(run.app().mainMenuShown());
    EXPECT_FALSE(screen.menuOn());
    EXPECT_TRUE(screen.touchesEnabled());
    EXPECT_DOUBLE_EQ(run.app().waveformRedrawInterval(), 0.02);
}

// Alerts carry the application's title and one button; a memory warning is logged.
TEST(DuovexAppDelegateTest, AlertsAndMemoryWarnings) {
    AppHome home;
    AppRun run(home);
    run.app().showAlert("Nothing to paste.");
    ASSERT_EQ(run.alerts().shown.size(), 1u);
    EXPECT_EQ(run.alerts().shown[0].title, "Velvox Nexa");
    EXPECT_EQ(run.alerts().shown[0].message, "Nothing to paste.");
    EXPECT_EQ(run.alerts().shown[0].button, "OK");
    LogCapture log;
    run.app().applicationDidReceiveMemoryWarning();
    EXPECT_TRUE(log.contains("mem warning"));
}

TEST(DuovexAppDelegateTest, ConverterStateIsReadyAndPausedByInterruptions) {
    AppHome home;
    AppRun run(home);
    ConversionState* state = run.app().conversionState();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->value(), ConversionState::Value::Done);
    EXPECT_TRUE(state->isMainThread());
    state->setRunning();
    run.device().interrupt(true);
    EXPECT_EQ(state->value(), ConversionState::Value::Paused);
    EXPECT_TRUE(run.app().outputSuspended());
    EXPECT_TRUE(run.engine().interrupted());
    run.device().interrupt(false);
    EXPECT_EQ(state->value(), ConversionState::Value::Running);
    EXPECT_FALSE(run.app().outputSuspended());
    state->setDone();
}

} // namespace
} // namespace vx::test
