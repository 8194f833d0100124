// The mixing screen going away with work of each of its parts in flight: the auto-mix countdown
// and the party trigger aimed at it are disarmed, every observer its parts added goes with it,
// and the timers they started never fire into it. Under ASan a callback left behind shows up as
// a use after free; in any build as a deck that still changes afterwards.

#include "BeatTrack.h"
#include "ScreenDesk.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

TEST(SampleTestControllerTeardown, NothingAimedAtTheScreenOutlivesIt) {
    test::ScreenDesk t;
    t.defaults.setBool("kTempoLock", false);
    t.engine.out.startPlay();
    const size_t othersObserving = t.notifications.observerCount();
    t.makeScreen();
    test::loadBeatTrack(t.deck(0), 120.0, 441000);
    test::loadBeatTrack(t.deck(1), 120.0, 441000);
    t.deck(1).position.store(5000.0);
    t.deck(0).isPlaying.store(true);
    SampleTestController* const gone = t.screen.get();

    // Auto-mix: a countdown on deck 1; party mode: its observers and deck 0's trigger.
    t.screen->autoMixAction(true);
    ASSERT_GT(t.deck(1).triggerCountdown.load(), 0);
    t.screen->togglePartyMode();
    ASSERT_TRUE(t.deck(0).triggerArmed.load());
    ASSERT_EQ(t.deck(0).triggerTarget.load(), gone);
    // Timers of the other parts: the read-outs' refresh, an automatic crossfade, a held pitch
    // button's repeat and the pitch panel's long press.
    t.screen->startIndicators();
    t.screen->beginFadeTo(1, 2.0);
    t.screen->plusButton(0);
    t.screen->pitchPanelDown(0);
    const float fader0 = t.deck(0).faderGain.load();
    const double base0 = t.deck(0).baseSpeed.load();
    ASSERT_NE(base0, 1.0);

    t.screen.reset();

    EXPECT_EQ(t.notifications.observerCount(), othersObserving);
    for (int d = 0; d < 2; ++d) {
        SCOPED_TRACE(d);
        EXPECT_FALSE(t.deck(d).triggerArmed.load());
        EXPECT_EQ(t.deck(d).triggerCountdown.load(), 0);
        EXPECT_EQ(t.deck(d).triggerTarget.load(), nullptr);
    }
    t.notifications.post("fileOpened", 0);
    t.notifications.post("Analyze Complete", std::string("/nowhere.wav"));
    t.notifications.post("settingChanged");
    t.notifications.post("DefaultSpeedChanged", 0);
    for (int i = 0; i < 200; ++i) { // 4.6 s: past every timer above
        t.engine.render(1024);
        t.clock.advance(1024 / 44100.0);
        t.loop.runDue();
    }
    EXPECT_EQ(t.deck(0).faderGain.load(), fader0) << "no crossfade tick";
    EXPECT_EQ(t.deck(0).baseSpeed.load(), base0) << "no pitch repeat, no long press";
}

} // namespace
} // namespace vx
