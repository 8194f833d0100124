// The HOLD cue as a finger meets it: a press previews from the cue, a lift on the button stops
// the deck, a lift after sliding off the button changes nothing and the deck plays on.

#include "UiShellFixture.h"

#include <gtest/gtest.h>

namespace vx::ui {
namespace {

using namespace shelltest;

TEST(CueHoldTest, ALiftOutsideTheHoldButtonLeavesTheDeckPlaying) {
    RunningShell shell(false);
    ASSERT_TRUE(shell.ready());
    shell.screen()->cueLoopPanelSwitch(0);
    QQuickItem* hold = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto found = visibleItems(shell.item("deckPanel0"), [](QQuickItem* i) {
                return i->property("text").toString() == QStringLiteral("HOLD");
            });
            hold = found.empty() ? nullptr : found[0];
            return hold != nullptr;
        },
        kStateWaitMs));
    // The opening panel takes its room from the waveform with an animation: wait until the
    // button stands still.
    QRectF last;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QRectF now = sceneRect(hold);
            const bool still = now == last;
            last = now;
            QTest::qWait(50);
            return still;
        },
        kStateWaitMs));
    QQuickWindow* w = shell.window();
    const QPoint on = sceneCentre(hold);
    const QPoint off = on - QPoint(0, int(hold->height() * 2));

    QTest::touchEvent(w, touchScreen()).press(0, on, w);
    ASSERT_TRUE(shell.deck(0)->isPlaying.load()) << "the press previews";
    QTest::touchEvent(w, touchScreen()).move(0, off, w);
    QTest::touchEvent(w, touchScreen()).release(0, off, w);
    QTest::qWait(100);
    EXPECT_TRUE(shell.deck(0)->isPlaying.load()) << "a lift outside changes nothing";

    QTest::touchEvent(w, touchScreen()).press(0, on, w);
    QTest::touchEvent(w, touchScreen()).release(0, on, w);
    EXPECT_FALSE(shell.deck(0)->isPlaying.load()) << "a lift on the button stops the preview";
}

} // namespace
} // namespace vx::ui
