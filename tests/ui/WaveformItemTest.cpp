// The deck waveforms and overview strips in the running shell: the application's composition on
// a temporary home (offline device paced in real time), its QML as the application loads it.
// Drawing is checked on the grabbed window — whatever scene-graph backend the platform gives
// (software offscreen, OpenGL under an X server) — and touches are sent as the platform would
// send them and checked against the deck record.

#include "ui/WaveformItem.h"
#include "UiShellFixture.h"
#include "analysis/peakFileData.h"
#include "controls/VXAudioStreamNavigator.h"
#include "controls/waveControl.h"
#include "support/TempDir.h"
#include "ui/DeckAdapter.h"
#include "ui/MixerAdapter.h"
#include "ui/OverviewItem.h"
#include "ui/WaveformHub.h"

#include <QSGRendererInterface>

#include <gtest/gtest.h>

namespace vx::ui {
namespace {

using namespace shelltest;

int redPixels(const QImage& image, const QRect& rect) {
    int red = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60) {
                ++red;
            }
        }
    }
    return red;
}

// Lit pixels inside `item` with it shown, against the same rectangle with it hidden.
struct LitCount {
    int shown = 0;
    int hidden = 0;
};

LitCount litAgainstHidden(RunningShell& shell, QQuickItem* item, const QString& name) {
    LitCount count;
    item->setVisible(false);
    QTest::qWait(50);
    const QImage empty = shell.window()->grabWindow();
    count.hidden = litPixels(empty, imageRect(item, empty, shell.window()));
    item->setVisible(true);
    QTest::qWait(100);
    const QImage image = shell.screenshot(name);
    count.shown = litPixels(image, imageRect(item, image, shell.window()));
    return count;
}

bool peaksReady(const audioStream* d) {
    return d && d->peakData() && d->peakData()->count > 0 && d->lengthFrames.load() > 0;
}

// Phone layout, deck 0 playing and deck 1 stopped, zoom on: both waveforms and both overview
// strips light up their rectangles far above what the same rectangles show empty; the overview
// of the playing deck carries its red position line.
TEST(WaveformItemTest, BothDecksDrawTheirWaveformAndOverview) {
    RunningShell shell(false);
    ASSERT_TRUE(shell.ready());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return peaksReady(shell.deck(0)) && peaksReady(shell.deck(1)); }, kLoadWaitMs));
    ASSERT_NE(shell.core().waveforms(), nullptr);

    auto* wave0 = shell.item<WaveformItem>(QStringLiteral("waveform0"));
    auto* wave1 = shell.item<WaveformItem>(QStringLiteral("waveform1"));
    auto* over0 = shell.item<OverviewItem>(QStringLiteral("overview0"));
    auto* over1 = shell.item<OverviewItem>(QStringLiteral("overview1"));
    ASSERT_NE(wave0, nullptr);
    ASSERT_NE(wave1, nullptr);
    ASSERT_NE(over0, nullptr);
    ASSERT_NE(over1, nullptr);
    // The strips show only with zoom on.
    EXPECT_FALSE(over0->isVisible());
    shell.core().mixer().zoom();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return over0->isVisible() && over0->width() > 0; }, kStateWaitMs));

    shell.core().mixer().deck(0)->playStop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.deck(0)->isPlaying.load(); }, kStateWaitMs));
    // Let the deck move a few seconds in, so both halves of its waveform hold the track.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.deck(0)->position.load() > 44100.0 * 3; }, 10000));
    // The frame clock runs at the application's interval and the items repaint from it.
    const quint64 frames = shell.core().waveforms()->frameCount();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shell.core().waveforms()->frameCount() >= frames + 10; }, kStateWaitMs));
    EXPECT_EQ(shell.core().waveforms()->intervalMs(), 20);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return wave0->paints() > 0 && over0->paints() > 0; }, kStateWaitMs));

    const QString platform = QGuiApplication::platformName();
    // Offscreen draws through the software scene graph (rectangles); an X server through OpenGL
    // (line and triangle geometry): both paths are checked by the same counts.
    const auto api = shell.window()->rendererInterface()->graphicsApi();
    if (platform == QStringLiteral("offscreen")) {
        EXPECT_EQ(api, QSGRendererInterface::Software);
    } else if (platform == QStringLiteral("xcb")) {
        EXPECT_EQ(api, QSGRendererInterface::OpenGL);
    }
    const struct {
        QQuickItem* item;
        const char* name;
        int minimum;
    } cases[] = {{wave0, "waveform0", 300},
                 {wave1, "waveform1", 300},
                 {over0, "overview0", 100},
                 {over1, "overview1", 100}};
    for (const auto& c : cases) {
        const LitCount count =
            litAgainstHidden(shell, c.item, QStringLiteral("phone-") + c.name + "-lit");
        EXPECT_GT(count.shown, c.minimum) << c.name << " on " << platform.toStdString();
        EXPECT_GT(count.shown, 4 * count.hidden + 50)
            << c.name << ": " << count.shown << " lit shown, " << count.hidden << " hidden";
    }

    // The red play-position line of the playing deck's strip lies at position / length.
    const QImage image = shell.screenshot(QStringLiteral("phone-waveforms"));
    const QRect strip = imageRect(over0, image, shell.window());
    EXPECT_GT(redPixels(image, strip), int(strip.width()) / 2);
    const double t = shell.deck(0)->position.load() / shell.deck(0)->lengthFrames.load();
    const int lineY = strip.top() + int(t * strip.height());
    EXPECT_GT(redPixels(image, QRect(strip.left(), lineY - 4, strip.width(), 9)), strip.width() / 2)
        << "no red line near y " << lineY;
}

// Tablet layout: a one-finger drag on the stopped deck's waveform moves it by 256 frames per
// row of travel at its base speed; on the playing deck the finger drives the speed.
TEST(WaveformItemTest, TouchesOnTheWaveformScratchTheDeck) {
    RunningShell shell(true);
    ASSERT_TRUE(shell.ready());
    auto* wave0 = shell.item<WaveformItem>(QStringLiteral("waveform0"));
    auto* wave1 = shell.item<WaveformItem>(QStringLiteral("waveform1"));
    ASSERT_NE(wave0, nullptr);
    ASSERT_NE(wave1, nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return wave0->isEnabled() && wave0->paints() > 0; }, kStateWaitMs));
    EXPECT_EQ(shell.core().waveforms()->control(0)->layout(), ScreenLayout::Tablet);

    // Drag deck 0 (stopped) up by 60 pixels in ten steps: the track moves forwards. In pitch
    // mode, so that no stretcher latency is added or taken away around the hold.
    audioStream& d0 = *shell.deck(0);
    ASSERT_FALSE(d0.isPlaying.load());
    d0.pitchMode.store(true);
    const double before = d0.position.load();
    const QPoint start =
        wave0->mapToScene(QPointF(wave0->width() / 2, wave0->height() / 2)).toPoint();
    const QPoint end = start - QPoint(0, 60);
    QTest::touchEvent(shell.window(), touchScreen()).press(0, start, shell.window());
    for (int step = 1; step <= 10; ++step) {
        QTest::qWait(10);
        QTest::touchEvent(shell.window(), touchScreen())
            .move(0, start - QPoint(0, 6 * step), shell.window());
    }
    // A still finger before lifting: no flick, so the deck does not coast afterwards.
    QTest::qWait(120);
    QTest::touchEvent(shell.window(), touchScreen()).move(0, end, shell.window());
    QTest::touchEvent(shell.window(), touchScreen()).release(0, end, shell.window());
    // The base speed (the track's stored pitch, restored after loading) scales the drag.
    const double base = d0.baseSpeed.load();
    const double rows = 60.0 * waveControl::kRows / wave0->height();
    const double expected = before + rows * base * waveControl::kFramesPerRow;
    EXPECT_NEAR(d0.position.load(), expected, 0.02 * rows * waveControl::kFramesPerRow)
        << "from " << before << " by " << rows << " rows";
    EXPECT_FALSE(d0.isPlaying.load());
    EXPECT_DOUBLE_EQ(d0.inertiaSpeed.load(), 0.0);

    // Deck 1 playing: the finger comes down (the deck is held), moves down (backwards): the
    // speed follows the finger below zero while it moves.
    shell.core().mixer().deck(1)->playStop();
    audioStream& d1 = *shell.deck(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d1.isPlaying.load(); }, kStateWaitMs));
    const QPoint at1 =
        wave1->mapToScene(QPointF(wave1->width() / 2, wave1->height() / 2)).toPoint();
    QTest::touchEvent(shell.window(), touchScreen()).press(1, at1, shell.window());
    EXPECT_TRUE(d1.isScratching.load());
    double slowest = d1.speed.load();
    for (int step = 1; step <= 8; ++step) {
        QTest::qWait(15);
        QTest::touchEvent(shell.window(), touchScreen())
            .move(1, at1 + QPoint(0, 8 * step), shell.window());
        slowest = std::min(slowest, d1.speed.load());
    }
    QTest::touchEvent(shell.window(), touchScreen())
        .release(1, at1 + QPoint(0, 64), shell.window());
    EXPECT_LT(slowest, -0.05) << "the backwards scratch never reversed the deck";
    EXPECT_TRUE(d1.isPlaying.load());
    shell.screenshot(QStringLiteral("tablet-waveforms"));
}

// A tap on the stopped deck's overview strip jumps to that point of the track (no cue mark is
// near it); a drag seeks continuously.
TEST(WaveformItemTest, TappingTheOverviewSeeksTheStoppedDeck) {
    RunningShell shell(false);
    ASSERT_TRUE(shell.ready());
    shell.core().mixer().zoom();
    auto* over1 = shell.item<OverviewItem>(QStringLiteral("overview1"));
    ASSERT_NE(over1, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return over1->isVisible() && over1->navigator() != nullptr && shell.screen() &&
                   shell.screen()->view(1).navigatorTouchable;
        },
        kStateWaitMs));
    audioStream& d1 = *shell.deck(1);
    ASSERT_FALSE(d1.isPlaying.load());
    const double length = d1.lengthFrames.load();
    ASSERT_GT(length, 0.0);
    const double h = over1->height();

    // A point of the strip at least 25 points away from every cue mark.
    double t = -1.0;
    for (double candidate : {0.62, 0.37, 0.81, 0.18, 0.5}) {
        bool nearCue = false;
        for (long c : d1.cuePoints) {
            nearCue = nearCue || std::abs(h * c / length - h * candidate) < 25.0;
        }
        if (!nearCue) {
            t = candidate;
            break;
        }
    }
    ASSERT_GE(t, 0.0) << "every candidate lies near a cue mark";
    const QPoint p = over1->mapToScene(QPointF(over1->width() / 2, t * h)).toPoint();
    const double localY = over1->mapFromScene(QPointF(p)).y();
    QTest::touchEvent(shell.window(), touchScreen()).press(0, p, shell.window());
    QTest::touchEvent(shell.window(), touchScreen()).release(0, p, shell.window());
    EXPECT_NEAR(d1.position.load(), localY / h * length, 1.0) << "tap at " << localY << " of " << h;

    // A drag from there a quarter of the strip towards its middle ends at that point of the
    // track.
    const int travel = int(h / 4) * (t > 0.5 ? -1 : 1);
    const QPoint q = p + QPoint(0, travel);
    QTest::touchEvent(shell.window(), touchScreen()).press(0, p, shell.window());
    for (int step = 1; step <= 4; ++step) {
        QTest::touchEvent(shell.window(), touchScreen())
            .move(0, p + QPoint(0, travel * step / 4), shell.window());
    }
    QTest::touchEvent(shell.window(), touchScreen()).release(0, q, shell.window());
    const double dragY = over1->mapFromScene(QPointF(q)).y();
    EXPECT_NEAR(d1.position.load(), dragY / h * length, 1.0);
    EXPECT_FALSE(d1.isScratching.load());

    // The position line follows on the next poll.
    over1->poll();
    EXPECT_NEAR(over1->navigator()->displayMarks().index(), d1.position.load(), 1.0);
}

} // namespace
} // namespace vx::ui
