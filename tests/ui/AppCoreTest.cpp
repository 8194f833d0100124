// The shell end to end: the application's composition (AppCore) on a temporary home with the
// offline device paced in real time, its QML loaded as the application loads it, driven through
// the items with touch and mouse events, and checked against the core's state.

#include "ui/AppCore.h"
#include "UiShellFixture.h"
#include "platform/Log.h"
#include "support/TempDir.h"
#include "ui/ShellAdapter.h"
#include "ui/WaveformHub.h"

#include <QFont>
#include <QFontInfo>

#include <gtest/gtest.h>

#include <string>

namespace vx::ui {
namespace {

using namespace shelltest;

// Phone layout: both decks load on their own; play through a touch on deck 0's play button,
// then drag the crossfader to deck 0's end with the mouse.
TEST(AppCoreTest, PhoneLayoutPlaysDeckZeroAndMovesTheCrossfader) {
    RunningShell shell(false);
    ASSERT_TRUE(shell.ready()) << "the built-in tracks never finished loading";
    EXPECT_TRUE(shell.core().offlineFallback());
    // The shipped fonts: the design's face names resolve to them, the regular one is the default.
    EXPECT_EQ(shell.core().fontsInstalled(), 2);
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Olney-Medium"))).family(),
              QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(QGuiApplication::font().family(), QStringLiteral("DejaVu Sans"));

    // The phone layout stacks the decks: deck 1 above deck 0.
    QQuickItem* panel0 = shell.item("deckPanel0");
    QQuickItem* panel1 = shell.item("deckPanel1");
    ASSERT_NE(panel0, nullptr);
    ASSERT_NE(panel1, nullptr);
    EXPECT_LT(panel1->mapToScene({0, 0}).y(), panel0->mapToScene({0, 0}).y());

    QQuickItem* play0 = shell.item("play0");
    ASSERT_NE(play0, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return play0->isEnabled(); }, kStateWaitMs));
    tap(shell.window(), play0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.deck(0)->isPlaying.load(); }, kStateWaitMs));
    EXPECT_FALSE(shell.deck(1)->isPlaying.load());
    // The button shows what the core says once the adapter refreshed.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return play0->property("selected").toBool(); }, kStateWaitMs));

    // With no panel open the phone's LP/HP control is a strip across the deck, and a finger
    // moving right along it moves the filter towards high-pass.
    QQuickItem* lphp = shell.item("lphp0");
    QQuickItem* wave0 = shell.item("waveArea0");
    ASSERT_TRUE(lphp && wave0);
    EXPECT_GT(lphp->width(), 4 * lphp->height());
    const double waveHeight = wave0->height();
    const float filterBefore = shell.deck(0)->lphpPosition.load();
    drag(shell.window(), sceneCentre(lphp), sceneCentre(lphp) + QPoint(int(lphp->width()) / 4, 0));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return shell.deck(0)->lphpPosition.load() > filterBefore + 0.1f; }, kStateWaitMs))
        << filterBefore << " -> " << shell.deck(0)->lphpPosition.load();
    // An open panel takes its room back from the waveform, and the knob stands upright.
    tap(shell.window(), shell.item("volumePanel0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return wave0->height() < waveHeight - 20; }, kStateWaitMs))
        << wave0->height() << " vs " << waveHeight;
    EXPECT_GT(lphp->height(), lphp->width());
    tap(shell.window(), shell.item("volumePanel0"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return wave0->height() == waveHeight; }, kStateWaitMs));

    // Drag the crossfader's pointer from the middle past the right end.
    QQuickItem* fader = shell.item("crossfader");
    ASSERT_NE(fader, nullptr);
    SampleTestController* screen = shell.core().delegate().mixingScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_FLOAT_EQ(screen->mainBalance().value(), 0.5f);
    // From the centre, half the fader's width reaches its right end, inside the window.
    const QPoint start = sceneCentre(fader);
    const int travel = int(fader->width() / 2) + 4;
    QTest::mousePress(shell.window(), Qt::LeftButton, {}, start);
    for (int step = 1; step <= 10; ++step) {
        QTest::mouseMove(shell.window(), start + QPoint(travel * step / 10, 0));
    }
    QTest::mouseRelease(shell.window(), Qt::LeftButton, {}, start + QPoint(travel, 0));
    EXPECT_FLOAT_EQ(screen->mainBalance().value(), 1.0f);
    // Deck 0 alone on air: its fader gain reaches 1, deck 1's 0 (linear curve, no boost at
    // the end).
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return shell.deck(0)->faderGain.load() == 1.0f &&
                   shell.deck(1)->faderGain.load() == 0.0f;
        },
        kStateWaitMs))
        << "fader gains " << shell.deck(0)->faderGain.load() << " / "
        << shell.deck(1)->faderGain.load();
    EXPECT_TRUE(shell.deck(0)->isPlaying.load());

    shell.screenshot(QStringLiteral("phone"));
}

// Tablet layout: decks side by side (deck 1 left); deck 1 plays from a mouse click; eject asks
// the application for the browser of that deck.
TEST(AppCoreTest, TabletLayoutPlaysDeckOneAndEjectOpensTheBrowser) {
    RunningShell shell(true);
    ASSERT_TRUE(shell.ready());

    QQuickItem* panel0 = shell.item("deckPanel0");
    QQuickItem* panel1 = shell.item("deckPanel1");
    ASSERT_NE(panel0, nullptr);
    ASSERT_NE(panel1, nullptr);
    EXPECT_LT(panel1->mapToScene({0, 0}).x(), panel0->mapToScene({0, 0}).x());
    EXPECT_DOUBLE_EQ(panel1->mapToScene({0, 0}).y(), panel0->mapToScene({0, 0}).y());

    QQuickItem* play1 = shell.item("play1");
    ASSERT_NE(play1, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return play1->isEnabled(); }, kStateWaitMs));
    QTest::mouseClick(shell.window(), Qt::LeftButton, {}, sceneCentre(play1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.deck(1)->isPlaying.load(); }, kStateWaitMs));
    EXPECT_FALSE(shell.deck(0)->isPlaying.load());

    shell.screenshot(QStringLiteral("tablet"));

    QQuickItem* eject1 = shell.item("eject1");
    ASSERT_NE(eject1, nullptr);
    tap(shell.window(), eject1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.core().delegate().loadFileShown(); }, kStateWaitMs));
    EXPECT_EQ(shell.core().delegate().sideToLoad(), 1);
}

// The interface never holds up the render thread: with both decks playing, the waveforms
// redrawing every 20 ms and the crossfader dragged back and forth for five seconds, the paced
// output never has to skip a buffer.
TEST(AppCoreTest, DrawingAndTouchesNeverMakeTheOutputSkip) {
    RunningShell shell(true);
    ASSERT_TRUE(shell.ready());
    WaveformHub* waves = shell.core().waveforms();
    ASSERT_NE(waves, nullptr);
    EXPECT_EQ(waves->intervalMs(), 20);

    LogCapture log;
    for (const char* name : {"play0", "play1"}) {
        QQuickItem* play = shell.item(name);
        ASSERT_NE(play, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return play->isEnabled(); }, kStateWaitMs));
        tap(shell.window(), play);
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shell.deck(0)->isPlaying.load() && shell.deck(1)->isPlaying.load(); },
        kStateWaitMs));
    const double start0 = shell.deck(0)->position.load();
    const quint64 framesBefore = waves->frameCount();

    QQuickItem* fader = shell.item("crossfader");
    ASSERT_NE(fader, nullptr);
    const QPoint centre = sceneCentre(fader);
    const int reach = int(fader->width() / 3);
    QTest::mousePress(shell.window(), Qt::LeftButton, {}, centre);
    for (int step = 0; step < 250; ++step) { // 250 × 20 ms
        const int x = int(reach * std::sin(step * 0.1));
        QTest::mouseMove(shell.window(), centre + QPoint(x, 0));
        QTest::qWait(20);
    }
    QTest::mouseRelease(shell.window(), Qt::LeftButton, {}, centre);
    QTest::qWait(200); // the render thread's log lines reach the main thread

    EXPECT_FALSE(log.contains("skip buffer"));
    // The waveforms were drawn and the decks ran all along (five seconds of audio at least,
    // less what the start of the paced device may have taken).
    EXPECT_GT(waves->frameCount(), framesBefore + 100);
    EXPECT_GT(shell.deck(0)->position.load() - start0, 4.0 * 44100.0);
    EXPECT_TRUE(shell.deck(0)->isPlaying.load());
    EXPECT_TRUE(shell.deck(1)->isPlaying.load());
}

// Qt's application states drive the application's lifecycle, and closing ends it through the
// termination path, which saves the session.
TEST(AppCoreTest, ApplicationStatesMapOntoTheLifecycleAndTerminationSavesTheSession) {
    RunningShell shell(false);
    ASSERT_TRUE(shell.ready());
    DuovexAppDelegate& app = shell.core().delegate();
    // The window system may have reported a state already (an X server without a window
    // manager leaves the window unfocused): start from active.
    shell.core().onApplicationStateChanged(Qt::ApplicationActive);
    ASSERT_TRUE(app.waveformAnimating());

    // Losing the focus to another window is no resign: the waveforms keep running.
    LogCapture log;
    shell.core().onApplicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(app.inBackground());
    EXPECT_TRUE(app.waveformAnimating());
    EXPECT_FALSE(log.contains("resign"));

    // Hidden while a deck plays: the session is saved and the application keeps running.
    QQuickItem* play0 = shell.item("play0");
    ASSERT_NE(play0, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return play0->isEnabled(); }, kStateWaitMs));
    tap(shell.window(), play0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.deck(0)->isPlaying.load(); }, kStateWaitMs));
    const std::filesystem::path settings = app.paths().settingsFile();
    std::filesystem::remove(settings);
    shell.core().onApplicationStateChanged(Qt::ApplicationActive);
    shell.core().onApplicationStateChanged(Qt::ApplicationHidden);
    EXPECT_TRUE(std::filesystem::exists(settings)) << "entering the background saves";
    EXPECT_TRUE(app.inBackground());
    EXPECT_FALSE(app.exitRequested());
    shell.core().onApplicationStateChanged(Qt::ApplicationActive);
    EXPECT_FALSE(app.inBackground());
    EXPECT_TRUE(shell.deck(0)->isPlaying.load());

    // Closing the window: the termination path writes the decks' tracks into the store.
    std::filesystem::remove(settings);
    shell.core().terminate();
    ASSERT_TRUE(std::filesystem::exists(settings));
    const std::string text = vx::test::slurpBytes(settings);
    EXPECT_NE(text.find("kStreamFile0"), std::string::npos);
    EXPECT_NE(text.find("kStreamFile1"), std::string::npos);
}

// The core's alerts appear titled as the core asks, and the button dismisses them in order.
TEST(AppCoreTest, AlertsShowInTurnAndTheButtonDismissesThem) {
    RunningShell shell(false);
    ASSERT_NE(shell.window(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shell.window()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.core().delegate().launched(); }, kStateWaitMs));
    shell.core().delegate().showAlert("first");
    shell.core().delegate().showAlert("second");
    QQuickItem* title = shell.item("alertTitle");
    QQuickItem* button = shell.item("alertButton");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return title->isVisible(); }, kStateWaitMs));
    EXPECT_EQ(title->property("text").toString(), QStringLiteral("Velvox Nexa"));
    EXPECT_EQ(shell.core().shell().alertText(), QStringLiteral("first"));
    EXPECT_EQ(shell.core().shell().alertButton(), QStringLiteral("OK"));
    tap(shell.window(), button);
    EXPECT_EQ(shell.core().shell().alertText(), QStringLiteral("second"));
    EXPECT_TRUE(title->isVisible());
    tap(shell.window(), button);
    EXPECT_FALSE(shell.core().shell().alertShown());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !title->isVisible(); }, kStateWaitMs));
}

} // namespace
} // namespace vx::ui
