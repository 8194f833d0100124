// The main menu, its settings, batch and help screens and the sampler pads, driven through the
// shell's items on both layouts: every switch, segment and slider writes its flag and its key,
// each pad is heard in the mix, party mode keeps its five-track rule, the recordings count
// only "VXNexa" files directly in the documents folder, closing the menu gives the waveforms
// their normal rate back, and the pitch step chosen survives a restart. Screenshots of the
// menu, settings and batch screens go to the artifacts.

#include "UiShellFixture.h"

#include "analysis/BeatDetect.h"
#include "app/MainMenu.h"
#include "app/SettingsController.h"
#include "controls/BatchAnalize.h"
#include "platform/UserDefaults.h"
#include "support/ToneTracks.h"
#include "ui/ImportAdapter.h"
#include "ui/MenuAdapter.h"
#include "ui/ShellAdapter.h"

#include <gtest/gtest.h>

#include <atomic>

namespace vx::ui {
namespace {

using namespace shelltest;
namespace fs = std::filesystem;

// The loudest sample of the mix since the last reset, and of the last buffer, written by the
// offline device's render thread.
struct MixMeter {
    std::atomic<float> peak{0};
    std::atomic<float> last{0};
};

// The shell on a home that outlives it, so that a second shell on the same home is a restart,
// with the mix metered.
class MenuShell : public RunningShell {
public:
    MenuShell(bool tablet, const fs::path& home, MixMeter& meter)
        : RunningShell(tablet, {}, false, home,
                       [&meter](const float* p, uint32_t frames, const AudioBufferList&) {
                           float m = 0;
                           for (uint32_t i = 0; i < 2 * frames; ++i) {
                               m = std::max(m, std::fabs(p[i]));
                           }
                           meter.last.store(m);
                           if (m > meter.peak.load()) {
                               meter.peak.store(m);
                           }
                           return true;
                       }) {}
};

// Presses a pad button once the mix is quiet and waits to hear it.
bool heard(MenuShell& shell, MixMeter& meter, const QString& button) {
    if (!QTest::qWaitFor([&] { return meter.last.load() < 1e-4f; }, kStateWaitMs)) {
        return false;
    }
    meter.peak.store(0);
    shell.tapAt(button, 0.5);
    return QTest::qWaitFor([&] { return meter.peak.load() > 0.02f; }, kStateWaitMs);
}

// How a settings control reads in the flags and in the store.
struct SwitchCase {
    const char* control;
    const char* key;
    bool SettingsFlags::*flag;
    bool inverted; // the switch shows on when the key is NO
};

const SwitchCase kSwitches[] = {
    {"VolNormSwitch", "kNormalizeVolume", &SettingsFlags::normalizeVolume, false},
    {"stopProofLockSwitch", "kStopProofLock", &SettingsFlags::stopProofLock, false},
    {"randomTrackSwitch", "kRandonSong", &SettingsFlags::randomSong, false},
    {"hideBundledSwitch", "kHideBundled", &SettingsFlags::hideBundled, false},
    {"snapCueToBeatSwitch", "kSnapCueToBeat", &SettingsFlags::snapCueToBeat, false},
    {"markEvenBeatSwitch", "kDontMarkEvenBeat", &SettingsFlags::dontMarkEvenBeat, true},
    {"transferAccessCodeSwitch", "kTransferAccessCode", &SettingsFlags::transferAccessCode, false},
};

TEST(MenuScreensUi, MenuSettingsPadsAndBatchOnBothLayouts) {
    for (const bool tablet : {false, true}) {
        const QString layout = tablet ? QStringLiteral("tablet") : QStringLiteral("phone");
        SCOPED_TRACE(layout.toStdString());
        vx::test::LibraryTempDir dir;
        const fs::path docs = dir.path() / "Documents";
        fs::create_directories(docs);
        for (const char* name : {"one", "two", "three", "four"}) {
            vx::test::writeToneTrack(docs / (std::string(name) + " bpm120.m4a"), 120, 440, 1);
        }
        // A recording; not one (the name does not begin so); not one (in a subfolder).
        fs::create_directories(docs / "mixes");
        for (const char* name : {"VXNexa_0001.wav", "Take VXNexa.wav", "mixes/VXNexa_0002.wav"}) {
            ASSERT_TRUE(vx::test::writeTone(docs / name, 1.0));
        }
        MixMeter meter;
        {
            MenuShell shell(tablet, dir.path(), meter);
            ASSERT_TRUE(shell.launched());
            DuovexAppDelegate& app = shell.app();

            // MENU opens the menu and slows the waveforms under it.
            shell.tapAt("menuButton");
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return shell.item("mainMenu")->isVisible(); }, kStateWaitMs));
            EXPECT_DOUBLE_EQ(app.waveformRedrawInterval(), DuovexAppDelegate::kMenuRedrawInterval);
            EXPECT_EQ(shell.text("tracksNumLabel"), "4");
            EXPECT_EQ(shell.text("recordsNumLabel"), "1");
            EXPECT_EQ(shell.text("notAnalyzedLabel"), "4");
            shell.screenshot("menu-" + layout);

            // Each pad, labelled with its sound's name, is heard in the mix.
            for (int i = 0; i < MainMenu::kPadCount; ++i) {
                const QString pad = QStringLiteral("menuPad%1").arg(i);
                EXPECT_EQ(shell.text(pad), QStringLiteral("fx_%1").arg(i + 1));
                EXPECT_TRUE(heard(shell, meter, pad)) << pad.toStdString();
            }

            // Sliders: pad volume, the pitch read-out and the four tuning values.
            shell.tapAt("menuSampleVolume", 0.25);
            EXPECT_NEAR(app.engine()->getSampleGain(), 0.25, 0.03);
            shell.tapAt("menuPitch", 0.8); // −12…+12 half tones
            EXPECT_EQ(shell.text("pitchLabel"), "Pitch: +7 HT");
            // Mid-slider: the value, within a pixel's step, and its label's format.
            const struct {
                double mid, range;
                const char* format;
                double scale;
            } tunings[] = {{6.5, 11, "%2.2f", 1},
                           {525, 950, "%2.2f", 1},
                           {0.5, 1, "%2.2f", 1},
                           {0.1, 0.2, "%3.1f %%", 100}};
            for (int i = 0; i < MainMenu::kTuningCount; ++i) {
                shell.tapAt(QStringLiteral("menuTuning%1").arg(i));
                const double v = app.mainMenu()->tuningValue(i);
                EXPECT_NEAR(v, tunings[i].mid, tunings[i].range * 0.015) << i;
                EXPECT_EQ(shell.text(QStringLiteral("menuTuningLabel%1").arg(i)),
                          QString::asprintf(tunings[i].format, v * tunings[i].scale));
            }
            EXPECT_FLOAT_EQ(onsetRatioThreshold(), app.mainMenu()->tuningValue(0));
            EXPECT_FLOAT_EQ(onsetRiseThreshold(), app.mainMenu()->tuningValue(1));
            setOnsetRatioThreshold(5.85f); // process-wide: back for the tests that follow
            setOnsetRiseThreshold(450.0f);

            shell.tapAt("menuAutoEq");
            EXPECT_TRUE(app.defaults().boolForKey("kAutoEqEnabled", false));
            EXPECT_TRUE(shell.item("menuAutoEq")->property("selected").toBool());

            // Import opens the music-library picker over the menu; party mode with four tracks
            // says why not.
            shell.tapAt("menuImport");
            ASSERT_TRUE(QTest::qWaitFor([&] { return shell.core().musicImport().pickerShown(); },
                                        kStateWaitMs));
            shell.tapAt("importCancel");
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return !shell.core().musicImport().shown(); }, kStateWaitMs));
            shell.tapAt("menuParty");
            EXPECT_EQ(shell.core().shell().alertText(), MainMenu::kPartyNeedsTracks);
            shell.tapAt("alertButton");
            EXPECT_FALSE(app.partyMode());

            // Settings: every switch, segment and slider, flag and key.
            shell.tapAt("menuSetup");
            ASSERT_TRUE(QTest::qWaitFor([&] { return shell.item("settingsScreen")->isVisible(); },
                                        kStateWaitMs));
            shell.screenshot("settings-" + layout);
            for (const SwitchCase& c : kSwitches) {
                SCOPED_TRACE(c.control);
                const bool before = app.settingsFlags().*c.flag;
                shell.tapAt(c.control);
                EXPECT_EQ(app.settingsFlags().*c.flag, !before);
                EXPECT_EQ(app.defaults().boolForKey(c.key, before), !before);
                EXPECT_EQ(shell.item(c.control)->property("selected").toBool(),
                          c.inverted ? before : !before);
            }
            shell.tapAt("CurveSegmented_0");
            EXPECT_EQ(app.defaults().integerForKey("kFadeCurve", -1), 0);
            EXPECT_EQ(app.settingsFlags().fadeCurve, 0);
            shell.tapAt("pitchStepSegmented_2");
            EXPECT_DOUBLE_EQ(app.defaults().doubleForKey("kPitchStep", 0), 0.0002);
            EXPECT_DOUBLE_EQ(app.pitchStep(), 0.0002);
            const struct {
                const char* control;
                const char* key;
                double mid, range;
            } sliders[] = {{"dipCorrectionSlider", "kDipCorrection", 1.0, 2.0},
                           {"XFadeTimeSlider", "kXFadeTime", 8.0, 14.0},
                           {"songSongPartInAutoPlaySlider", "kSongPartInAutoPlay", 0.55, 0.9}};
            for (const auto& s : sliders) {
                shell.tapAt(s.control);
                EXPECT_NEAR(app.defaults().doubleForKey(s.key, -1), s.mid, s.range * 0.015)
                    << s.control;
            }
            EXPECT_DOUBLE_EQ(app.settingsFlags().xFadeTime,
                             app.defaults().doubleForKey("kXFadeTime"));
            EXPECT_FLOAT_EQ(app.settingsFlags().dipCorrection,
                            float(app.defaults().doubleForKey("kDipCorrection")));
            // The "Audio output" group, at the end of the list: a smaller buffer is stored and
            // the output runs with it at once, its latency shown.
            QQuickItem* list = shell.item("settingsList");
            ASSERT_NE(list, nullptr);
            list->setProperty("contentY", std::max(0.0, list->property("contentHeight").toDouble() -
                                                            list->height()));
            EXPECT_EQ(shell.text("output_0"), "Offline output");
            shell.tapAt("buffer_256");
            EXPECT_EQ(app.defaults().integerForKey("kBufferFrames"), 256);
            EXPECT_DOUBLE_EQ(shell.core().device().hardwareBufferDuration() * 44100.0, 256.0);
            EXPECT_TRUE(app.engine()->initialized());
            EXPECT_EQ(shell.text("latencyLabel"), "Buffer  5.8 ms");
            shell.tapAt("settingsDone");
            EXPECT_FALSE(app.settingsShown());
            EXPECT_DOUBLE_EQ(UserDefaults(dir.path() / "settings.json").doubleForKey("kPitchStep"),
                             0.0002); // written to disk

            // Help, then the batch screen (the four tracks have no peak file yet), stopped.
            shell.tapAt("menuHelp");
            EXPECT_TRUE(app.helpShown());
            shell.tapAt("helpClose");
            shell.tapAt("menuBatch");
            ASSERT_TRUE(QTest::qWaitFor([&] { return shell.item("batchScreen")->isVisible(); },
                                        kStateWaitMs));
            EXPECT_TRUE(BatchAnalize::batchAnalysisRunning());
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return !shell.text("batchDone").isEmpty(); }, kStateWaitMs));
            shell.screenshot("batch-" + layout);
            if (app.batchShown()) {
                shell.tapAt("batchStop");
            } else { // short tracks: it may have finished already
                EXPECT_EQ(shell.core().shell().alertText(), "Analysis Complete");
                shell.tapAt("alertButton");
            }
            EXPECT_FALSE(app.batchShown());
            EXPECT_FALSE(BatchAnalize::batchAnalysisRunning());
            EXPECT_FALSE(shell.core().shell().alertShown());

            // MENU again closes it (on a phone the menu's own, in the same corner; on a tablet
            // the tap lands outside the popover): the waveforms' normal rate is back.
            shell.tapAt(tablet ? "menuButton" : "menuToggle");
            EXPECT_FALSE(app.mainMenuShown());
            EXPECT_FALSE(app.mixingScreen()->menuOn());
            EXPECT_DOUBLE_EQ(app.waveformRedrawInterval(), DuovexAppDelegate::kRedrawInterval);

            // The pad strip of the mixing screen, one tap away.
            shell.tapAt("padsButton");
            EXPECT_TRUE(shell.item("padStrip")->isVisible());
            EXPECT_EQ(shell.text("stripPad4"), "fx_5");
            EXPECT_TRUE(heard(shell, meter, "stripPad4"));

            // A fifth user track (found when the application comes back): party mode opens.
            app.applicationWillResignActive();
            vx::test::writeToneTrack(docs / "five bpm120.m4a", 120, 550, 1);
            app.applicationDidBecomeActive();
            shell.tapAt("menuButton");
            EXPECT_EQ(shell.text("tracksNumLabel"), "5");
            shell.tapAt("menuParty");
            EXPECT_TRUE(QTest::qWaitFor([&] { return app.partyMode(); }, kStateWaitMs));
            EXPECT_FALSE(app.mainMenuShown());
        }
        // A restart on the same home: the stored 0.0002 step is the selected segment.
        MenuShell again(tablet, dir.path(), meter);
        ASSERT_TRUE(again.launched());
        again.tapAt("menuButton");
        again.tapAt("menuSetup");
        ASSERT_NE(again.app().settings(), nullptr);
        EXPECT_EQ(again.app().settings()->pitchStepSegmented(), 2);
        EXPECT_TRUE(again.item("pitchStepSegmented_2")->property("selected").toBool());
    }
}

// Questions with several buttons and a text field answer with the pressed button, the tag and
// the text typed.
TEST(MenuScreensUi, AQuestionAnswersWithItsButtonTagAndText) {
    RunningShell shell(false);
    ASSERT_TRUE(shell.launched());
    int button = -1, tag = -1;
    std::string text;
    AlertRequest request;
    request.message = "New name for the file";
    request.buttons = {"Cancel", "Rename"};
    request.tag = 7;
    request.textField = true;
    request.text = "old";
    request.answer = [&](int b, int t, const std::string& s) {
        button = b;
        tag = t;
        text = s;
    };
    shell.core().shell().ask(request);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.item("alertButton1") != nullptr; }, kStateWaitMs));
    EXPECT_EQ(shell.text("alertButton1"), "Rename");
    EXPECT_EQ(shell.text("alertField"), "old");
    shell.tapAt("alertField");
    shell.item("alertField")->forceActiveFocus();
    QTest::keyClick(shell.window(), Qt::Key_E);
    QTest::keyClick(shell.window(), Qt::Key_R);
    shell.tapAt("alertButton1");
    EXPECT_EQ(button, 1);
    EXPECT_EQ(tag, 7);
    EXPECT_EQ(text, "older");
    EXPECT_FALSE(shell.core().shell().alertShown());
}

} // namespace
} // namespace vx::ui
