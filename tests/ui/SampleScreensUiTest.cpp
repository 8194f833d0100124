// The sample library and the recordings list, driven through the shell's items on both
// layouts: the library opens from the mixing screen's SAMPLES button, a pad chosen in a row's
// overlay relabels the row and the menu's pads, a rename carries the pad along, copy, delete
// and paste go round through the pasteboard, the microphone (the offline input) stops the decks
// and ends in a mic_N.wav row, a missing microphone says so and gives the output back, and the
// Wi-Fi button's transfer reloads the list when it stops. The recordings list opens from the
// menu, plays a mix with the slider and both time labels moving, seeks by dragging, converts
// behind a spinner that holds touches off, shares, renames and deletes. Screenshots of both
// screens go to the artifacts.

#include "UiShellFixture.h"

#include "dsp/SamplePlayerFixed.h"
#include "engine/PreviewPlayer.h"
#include "platform/AudioInput.h"
#include "samples/RecordEdit.h"
#include "samples/SampleEdit.h"
#include "ui/MenuAdapter.h"
#include "ui/RecordEditAdapter.h"
#include "ui/SampleEditAdapter.h"
#include "ui/ShellAdapter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vx::ui {
namespace {

using namespace shelltest;
namespace fs = std::filesystem;

class Screens {
public:
    explicit Screens(bool tablet, const RunningShell::Prepare& prepare)
        : shell_(tablet, prepare), tablet_(tablet) {}

    bool ready() { return shell_.launched(); }
    DuovexAppDelegate& app() { return shell_.app(); }
    RunningShell& shell() { return shell_; }
    ShellAdapter& alerts() { return shell_.core().shell(); }
    QQuickItem* item(const QString& name) { return shell_.item(name); }
    QString layout() const { return tablet_ ? "tablet" : "phone"; }
    // The window turned a quarter: the phone sideways, the tablet upright.
    bool turn() {
        return resizeWindow(shell_.window(), tablet_ ? QSize(800, 1280) : QSize(760, 400));
    }

    void tap(const QString& name) { shell_.tapAt(name); }
    QString text(const QString& name) { return shell_.text(name); }
    bool waitText(const QString& name, const QString& expected) {
        return QTest::qWaitFor([&] { return text(name) == expected; }, kStateWaitMs);
    }
    // The alert on screen has `text`; its button `index` answers it (with `field` typed).
    void answer(const QString& expected, int index = 0, const QString& field = {}) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return alerts().alertShown(); }, kStateWaitMs))
            << expected.toStdString();
        EXPECT_EQ(alerts().alertText(), expected);
        if (!field.isNull()) {
            item("alertField")->setProperty("text", field);
        }
        tap(index == 0 ? QStringLiteral("alertButton")
                       : QStringLiteral("alertButton%1").arg(index));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts().alertShown(); }, kStateWaitMs));
    }
    // The row of the list whose file name label reads `name`, or −1.
    int row(const QString& prefix, const QString& name) {
        for (int r = 0; r < 20; ++r) {
            if (QQuickItem* it = item(prefix + QString::number(r));
                it && it->isVisible() && it->property("text") == name) {
                return r;
            }
        }
        return -1;
    }
    // The screen under `root` fits (file names may elide).
    void checkGeometry(const QString& where, QQuickItem* root) {
        expectFits(shell_.window(), root, where.toStdString(), 8, [](const QString& name) {
            return name.startsWith(QLatin1String("fileName")) ||
                   name == QLatin1String("recordName");
        });
    }

private:
    RunningShell shell_;
    bool tablet_;
};

TEST(SampleScreensUi, SampleLibraryOnBothLayouts) {
    for (const bool tablet : {false, true}) {
        SCOPED_TRACE(tablet ? "tablet" : "phone");
        // 1.5 s of a known 16-bit signal for the microphone; and no microphone.
        std::vector<int16_t> signal(33075);
        for (size_t i = 0; i < signal.size(); ++i) {
            signal[i] = int16_t(12000 * std::sin(2 * M_PI * 500.0 * double(i) / 22050.0));
        }
        OfflineAudioInput mic(22050, 1, signal);
        OfflineAudioInput noMic(22050, 1, {}, false);
        fs::path docs;
        Screens s(tablet, [&](const fs::path& documents) {
            docs = documents;
            ASSERT_TRUE(test::writeTone(documents / "kick.wav", 0.5));
            ASSERT_TRUE(
                test::writeTone(documents / "Snare.WAV", 4)); // still playing when the volume moves
            ASSERT_TRUE(
                test::writeTone(documents / "VXNexa_0000.wav", 0.5)); // a recorded mix: not listed
        });
        ASSERT_TRUE(s.ready());
        DuovexAppDelegate& app = s.app();
        const QString layout = s.layout();

        s.tap("samplesButton");
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return s.item("sampleEdit")->isVisible(); }, kStateWaitMs));
        EXPECT_EQ(s.text("fileName0"), "Snare.WAV");
        EXPECT_EQ(s.text("fileName1"), "kick.wav");
        EXPECT_EQ(s.row("fileName", "VXNexa_0000.wav"), -1);
        EXPECT_TRUE(s.text("fileInfo1").startsWith("00:00, ")) << s.text("fileInfo1").toStdString();
        EXPECT_EQ(s.text("samplePad1"), "X");
        s.checkGeometry("library " + layout, s.item("sampleEdit"));
        s.shell().screenshot("samples-" + layout);

        // Pad 3 from kick's overlay: the row and the menu's pad show it, the pad plays it.
        s.tap("samplePad1");
        ASSERT_TRUE(s.item("padOverlay1")->isVisible());
        s.checkGeometry("overlay " + layout, s.item("sampleEdit"));
        s.shell().screenshot("samples-overlay-" + layout);
        s.tap("overlay1Pad2");
        EXPECT_TRUE(s.waitText("samplePad1", "3"));
        EXPECT_FALSE(s.item("padOverlay1")->isVisible());
        EXPECT_EQ(app.engine()->pad(2).path, (docs / "kick.wav").string());
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return s.shell().core().menu().padLabels().value(2) == "kick"; }, kStateWaitMs));

        // Preview of a row; the volume slider reaches the playing preview.
        s.tap("samplePlay0");
        EXPECT_TRUE(s.waitText("samplePlay0", "■"));
        EXPECT_TRUE(s.shell().core().preview().playing());
        const QRectF vol = sceneRect(s.item("sampleVolume"));
        QTest::touchEvent(s.shell().window(), touchScreen())
            .press(0, QPoint(int(vol.left() + vol.width() * 0.25), int(vol.center().y())),
                   s.shell().window());
        QTest::touchEvent(s.shell().window(), touchScreen())
            .release(0, QPoint(int(vol.left() + vol.width() * 0.25), int(vol.center().y())),
                     s.shell().window());
        EXPECT_NEAR(s.shell().core().preview().volume(), 0.25, 0.05);

        // Rename kick (selected by a tap on its row): the pad follows the file.
        s.tap("fileName1");
        s.tap("sampleRename");
        s.answer("\n", 1, "Kick 2");
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return s.row("fileName", "Kick 2.wav") >= 0; }, kStateWaitMs));
        EXPECT_EQ(app.engine()->pad(2).path, (docs / "Kick 2.wav").string());
        const int kick = s.row("fileName", "Kick 2.wav");
        EXPECT_EQ(s.text(QStringLiteral("samplePad%1").arg(kick)), "3");
        const std::string kickBytes = test::slurpBytes(docs / "Kick 2.wav");

        // Copy, a paste onto the same name refused, delete (the pad empties), paste it back.
        s.tap(QStringLiteral("fileName%1").arg(kick));
        s.tap("sampleCopy");
        s.answer("File copied to pasteboard");
        s.tap("samplePaste");
        s.answer("File:Kick 2.wav exists!");
        s.tap(QStringLiteral("fileName%1").arg(kick));
        s.tap("sampleDelete");
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return s.row("fileName", "Kick 2.wav") < 0; }, kStateWaitMs));
        EXPECT_EQ(app.engine()->pad(2).path, "");
        s.tap("samplePaste");
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return s.row("fileName", "Kick 2.wav") >= 0; }, kStateWaitMs));
        EXPECT_EQ(test::slurpBytes(docs / "Kick 2.wav"), kickBytes);

        // The microphone: the decks and the preview stop, the overlay counts, STOP keeps
        // mic_0.wav.
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.shell().bothLoaded(); }, kLoadWaitMs));
        app.mixingScreen()->play(0);
        app.mixingScreen()->play(1);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return s.shell().deck(0)->isPlaying.load() && s.shell().deck(1)->isPlaying.load();
            },
            kStateWaitMs));
        if (!s.shell().core().preview().playing()) {
            s.tap(QStringLiteral("samplePlay%1").arg(s.row("fileName", "Snare.WAV")));
        }
        ASSERT_TRUE(s.shell().core().preview().playing());
        app.setAudioInput(&mic);
        s.tap("sampleRecord");
        ASSERT_TRUE(s.item("recorderOverlay")->isVisible());
        EXPECT_FALSE(app.engine()->initialized()); // the microphone has the session
        EXPECT_FALSE(app.engine()->deck(0).isPlaying.load());
        EXPECT_FALSE(app.engine()->deck(1).isPlaying.load());
        EXPECT_FALSE(s.shell().core().preview().playing());
        mic.waitUntilDelivered();
        EXPECT_TRUE(s.waitText("recordTime", "00:01"));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return s.item("recordLevel")->width() > 0; }, kStateWaitMs));
        s.shell().screenshot("samples-recorder-" + layout);
        s.tap("recordStop");
        EXPECT_FALSE(s.item("recorderOverlay")->isVisible());
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return s.row("fileName", "mic_0.wav") >= 0; }, kStateWaitMs));
        // The take holds the input's samples exactly, after its 44-byte header.
        const std::string take = test::slurpBytes(docs / "mic_0.wav");
        ASSERT_EQ(take.size(), 44 + signal.size() * 2);
        EXPECT_EQ(std::memcmp(take.data() + 44, signal.data(), signal.size() * 2), 0);
        EXPECT_TRUE(app.engine()->initialized());

        // No microphone: the alert, and the output back.
        app.setAudioInput(&noMic);
        s.tap("sampleRecord");
        EXPECT_EQ(s.alerts().alertTitle(), "Record");
        s.answer("Record is not possible");
        EXPECT_FALSE(s.item("recorderOverlay")->isVisible());
        EXPECT_TRUE(app.engine()->initialized());

        // The Wi-Fi transfer (on loopback here): a file arriving meanwhile is listed once the
        // server is stopped.
        app.wifiTransfer().setOptions({.port = 0, .bindAddress = "127.0.0.1"});
        s.tap("sampleWifi");
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.alerts().alertShown(); }, kStateWaitMs));
        EXPECT_EQ(s.alerts().alertTitle(), "Server started");
        ASSERT_TRUE(test::writeTone(docs / "uploaded.wav", 0.2));
        s.tap("alertButton");
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return s.row("fileName", "uploaded.wav") >= 0; }, kStateWaitMs));

        // Turned sideways the screen still fits.
        ASSERT_TRUE(s.turn());
        s.checkGeometry("library turned " + layout, s.item("sampleEdit"));
        s.tap("sampleClose");
        EXPECT_FALSE(s.item("sampleEdit")->isVisible());
        EXPECT_EQ(app.sampleEdit(), nullptr);
        // The interface's own sounds, on the same output, are back at full level.
        EXPECT_FLOAT_EQ(s.shell().core().preview().volume(), 1.0f);
    }
}

TEST(SampleScreensUi, RecordingsListOnBothLayouts) {
    for (const bool tablet : {false, true}) {
        SCOPED_TRACE(tablet ? "tablet" : "phone");
        fs::path docs;
        Screens s(tablet, [&](const fs::path& documents) {
            docs = documents;
            ASSERT_TRUE(test::writeTone(documents / "VXNexa_0003.wav", 20));
            ASSERT_TRUE(test::writeTone(documents / "mix.wav", 1)); // not a recording
        });
        ASSERT_TRUE(s.ready());
        DuovexAppDelegate& app = s.app();
        PreviewPlayer& preview = s.shell().core().preview();
        const QString layout = s.layout();

        s.tap("menuButton");
        s.tap("menuRecordings");
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return s.item("recordEdit")->isVisible(); }, kStateWaitMs));
        EXPECT_EQ(s.text("fileName0"), "VXNexa_0003.wav");
        EXPECT_EQ(s.row("fileName", "mix.wav"), -1);
        EXPECT_EQ(s.text("recordExtension0"), "wav");
        EXPECT_EQ(s.text("recordSize0"), "  3 Mb");
        EXPECT_EQ(s.text("recordDuration0"), "00:20");

        // Selected and played: the slider and both times move.
        s.tap("fileName0");
        EXPECT_EQ(s.text("recordName"), "VXNexa_0003");
        EXPECT_EQ(s.text("positionAfter"), "00:20");
        s.checkGeometry("recordings " + layout, s.item("recordEdit"));
        QQuickItem* pointer = findItem(s.item("recordSlider"), "pointer");
        ASSERT_NE(pointer, nullptr);
        const double startX = pointer->x();
        s.tap("recordPlay0");
        EXPECT_TRUE(s.waitText("positionBefore", "00:01"));
        EXPECT_TRUE(s.waitText("positionAfter", "00:18"));
        EXPECT_GT(pointer->x(), startX);
        s.shell().screenshot("recordings-playing-" + layout);

        // A drag of the pointer pauses, seeks to where it is let go, then plays on.
        const QPoint from = sceneCentre(pointer);
        const QRectF track = sceneRect(s.item("recordSlider"));
        const QPoint to(int(track.left() + track.width() * 0.8), from.y());
        QTest::touchEvent(s.shell().window(), touchScreen()).press(0, from, s.shell().window());
        EXPECT_FALSE(preview.playing());
        for (int step = 1; step <= 6; ++step) {
            QTest::touchEvent(s.shell().window(), touchScreen())
                .move(0, from + (to - from) * step / 6, s.shell().window());
        }
        EXPECT_GT(preview.currentTime(), 8.0);
        QTest::touchEvent(s.shell().window(), touchScreen()).release(0, to, s.shell().window());
        EXPECT_TRUE(preview.playing());
        EXPECT_GT(s.text("positionBefore"), "00:08");
        // Let go, the pointer follows the playback again.
        const double letGo = pointer->x();
        EXPECT_TRUE(QTest::qWaitFor([&] { return pointer->x() > letGo + 1; }, kStateWaitMs));

        // Conversion: the spinner holds every touch off until the M4A is listed.
        s.tap("recordConvert");
        ASSERT_TRUE(s.item("convertSpinner")->isVisible());
        s.shell().screenshot("recordings-converting-" + layout);
        s.tap("recordsClose"); // under the spinner: nothing happens
        EXPECT_TRUE(app.recordingsShown());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !s.item("convertSpinner")->isVisible(); }, kLoadWaitMs));
        const int m4a = s.row("fileName", "VXNexa_0003.m4a");
        ASSERT_GE(m4a, 0);
        EXPECT_EQ(s.text(QStringLiteral("recordExtension%1").arg(m4a)), "m4a");

        // Share the M4A, then rename it out of the list and delete the WAV.
        s.tap(QStringLiteral("fileName%1").arg(m4a));
        s.tap("recordShare");
        s.answer("File copied to pasteboard");
        s.tap("recordRename");
        s.answer("\n", 1, "party");
        EXPECT_TRUE(QTest::qWaitFor([&] { return s.row("fileName", "VXNexa_0003.m4a") < 0; },
                                    kStateWaitMs));
        EXPECT_TRUE(fs::exists(docs / "party.m4a"));
        s.tap("fileName0");
        s.tap("recordDelete");
        EXPECT_TRUE(QTest::qWaitFor([&] { return s.row("fileName", "VXNexa_0003.wav") < 0; },
                                    kStateWaitMs));
        EXPECT_FALSE(fs::exists(docs / "VXNexa_0003.wav"));
        // The shared copy pastes back under its name.
        s.tap("recordsPaste");
        EXPECT_TRUE(QTest::qWaitFor([&] { return s.row("fileName", "VXNexa_0003.m4a") >= 0; },
                                    kStateWaitMs));
        EXPECT_EQ(test::slurpBytes(docs / "VXNexa_0003.m4a"), test::slurpBytes(docs / "party.m4a"));

        // The Wi-Fi button's transfer: the list is rebuilt when the server stops.
        app.wifiTransfer().setOptions({.port = 0, .bindAddress = "127.0.0.1"});
        s.tap("recordsWifi");
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.alerts().alertShown(); }, kStateWaitMs));
        ASSERT_TRUE(test::writeTone(docs / "VXNexa_0009.wav", 0.2));
        s.tap("alertButton");
        EXPECT_TRUE(QTest::qWaitFor([&] { return s.row("fileName", "VXNexa_0009.wav") >= 0; },
                                    kStateWaitMs));
        s.shell().screenshot("recordings-" + layout);
        ASSERT_TRUE(s.turn());
        s.checkGeometry("recordings turned " + layout, s.item("recordEdit"));
        s.shell().screenshot("recordings-turned-" + layout);

        s.tap("recordsClose");
        EXPECT_FALSE(s.item("recordEdit")->isVisible());
        EXPECT_FALSE(app.recordingsShown());

        // The menu's record button: a recording it ends opens the list with it.
        s.tap("menuRecord");
        ASSERT_TRUE(QTest::qWaitFor([&] { return app.engine()->isRecording(); }, kStateWaitMs));
        QTest::qWait(300);
        if (!s.item("mainMenu")->isVisible()) {
            s.tap("menuButton");
        }
        s.tap("menuRecord");
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return s.item("recordEdit")->isVisible(); }, kStateWaitMs));
        EXPECT_GE(s.row("fileName", "VXNexa_0000.wav"), 0);
    }
}

} // namespace
} // namespace vx::ui
