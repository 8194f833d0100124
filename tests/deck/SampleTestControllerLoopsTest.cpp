// The loop panel driven as a DJ would: a playing deck on the offline engine, a track with a
// beat mark every 86 peak entries (22016 frames, 120 BPM), presses of in/out, halve, double,
// stop and the panel button, then the loop points and the label compared as numbers.

#include "BeatTrack.h"
#include "ScreenDesk.h"

#include "controls/waveControl.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vx {
namespace {

constexpr int32_t kTrackFrames = 441000; // 10 s
constexpr int kBeatEntries = 86;         // 22016 frames between beat marks
constexpr double kBeatFrames = kBeatEntries * 256.0;

// Frame of the beat mark in peak entry e.
double beatAt(int e) {
    return 1.0 + 256.0 * e;
}

struct LoopScreen : test::ScreenDesk {
    LoopScreen() {
        engine.out.startPlay(); // nothing loaded yet: only lets the decks render
        makeScreen();
    }

    // A generated track with, if `tempo` > 0, a beat mark every kBeatEntries entries; plays it
    // in pitch mode (no stretcher latency) from `position` when `play` is set.
    void load(int d, double tempo, double position, bool play = true) {
        test::loadBeatTrack(deck(d), tempo, kTrackFrames, tempo > 0.0 ? kBeatEntries : 0);
        deck(d).position.store(position);
        deck(d).isPlaying.store(play);
    }

    // In/out pressed with the read position at `in`, then at `out`.
    void setLoop(int d, double in, double out) {
        deck(d).position.store(in);
        screen->loopInOut(d);
        deck(d).position.store(out);
        screen->loopInOut(d);
    }

    int32_t loopLength(int d) { return deck(d).loopEnd.load() - deck(d).loopStart.load(); }
};

TEST(SampleTestControllerLoops, InAndOutInOneBeatBlockGiveAnEmptyLoopOnTheNextBeat) {
    LoopScreen t;
    t.load(0, 120.0, 30000.0); // peak entry 117: the next beat mark is in entry 172
    t.screen->loopInOut(0);
    EXPECT_EQ(t.deck(0).loopStart.load(), int32_t(beatAt(172)));
    EXPECT_TRUE(t.deck(0).stopFlag.load());
    EXPECT_FALSE(t.deck(0).loopActive.load());
    EXPECT_TRUE(t.view(0).loopInOut.selected);
    EXPECT_EQ(t.view(0).loopLabel.text, "?");

    t.deck(0).position.store(30100.0); // still entry 117
    t.screen->loopInOut(0);
    EXPECT_EQ(t.deck(0).loopStart.load(), int32_t(beatAt(172)));
    EXPECT_EQ(t.deck(0).loopEnd.load(), int32_t(beatAt(172)));
    EXPECT_TRUE(t.deck(0).loopActive.load());
    EXPECT_FALSE(t.deck(0).stopFlag.load());
    EXPECT_FALSE(t.view(0).loopInOut.selected);
    EXPECT_TRUE(t.view(0).loopMode.selected);
    EXPECT_EQ(t.view(0).loopLabel.text, "0.0");
}

TEST(SampleTestControllerLoops, PointsSnapFromTheAudiblePositionUnderKeyLock) {
    LoopScreen t;
    t.load(0, 120.0, 27000.0);
    t.deck(0).pitchMode.store(false); // key lock: audible = position − 5120
    ASSERT_EQ(t.deck(0).stretchLatency.load(), -5120.0);
    t.setLoop(0, 27000.0, 27000.0 + 44100.0);
    // Audible 21880 (entry 85) snaps to entry 86, audible 65980 (entry 257) to entry 258;
    // from the read position they would have been entries 172 and 344.
    EXPECT_EQ(t.deck(0).loopStart.load(), int32_t(beatAt(86)));
    EXPECT_EQ(t.deck(0).loopEnd.load(), int32_t(beatAt(258)));
    EXPECT_EQ(t.view(0).loopLabel.text, "2.0");
}

TEST(SampleTestControllerLoops, HalvingHalvesUntilTheLoopWouldBeShorterThan32Frames) {
    LoopScreen t;
    t.load(0, 120.0, 0.0);
    t.setLoop(0, 10000.0, 30000.0); // entries 86 to 172: one beat, 22016 frames
    ASSERT_EQ(t.loopLength(0), 22016);
    const int32_t start = t.deck(0).loopStart.load();

    struct Step {
        int32_t length;
        const char* label;
    } steps[] = {
        {11008, "0.5"},
        {5504, "0.2"},
        {2752, "0.1"},
        {1376, "0.1"},
        {688, "0.0"},
        {344, "0.0"},
        {172, "0.0"},
        {86, "0.0"},
        {43, "0.0"},
        {43, "0.0"}, // 21 frames would be below 32:
                     // refused
        {43, "0.0"},
    };
    for (const Step& s : steps) {
        t.screen->loopDivide(0);
        EXPECT_EQ(t.loopLength(0), s.length);
        EXPECT_EQ(t.deck(0).loopStart.load(), start);
        EXPECT_EQ(t.view(0).loopLabel.text, s.label) << s.length;
        EXPECT_TRUE(t.deck(0).loopActive.load());
    }
}

TEST(SampleTestControllerLoops, DoublingReturnsExactlyToTheOutPointAndNeverPassesIt) {
    LoopScreen t;
    t.load(0, 120.0, 0.0);
    t.setLoop(0, 10000.0, 10000.0 + 2 * kBeatFrames); // entries 86 to 258
    const int32_t out = int32_t(beatAt(258));
    ASSERT_EQ(t.deck(0).loopEnd.load(), out);

    // Never halved: doubling leaves the out point where the user set it.
    t.screen->loopExpand(0);
    EXPECT_EQ(t.deck(0).loopEnd.load(), out);

    for (int i = 0; i < 9; ++i) {
        t.screen->loopDivide(0);
    }
    ASSERT_EQ(t.loopLength(0), 86); // 44032 halved nine times
    const int32_t expected[] = {172, 344, 688, 1376, 2752, 5504, 11008, 22016, 44032, 44032};
    for (int32_t length : expected) {
        t.screen->loopExpand(0);
        EXPECT_EQ(t.loopLength(0), length);
    }
    EXPECT_EQ(t.deck(0).loopEnd.load(), out);
    EXPECT_EQ(t.view(0).loopLabel.text, "2.0");
}

TEST(SampleTestControllerLoops, WithoutTempoPointsAreHalfASecondAheadAndDoublingSnapsBack) {
    LoopScreen t;
    t.load(0, 0.0, 0.0);
    t.setLoop(0, 1000.0, 24001.0);
    EXPECT_EQ(t.deck(0).loopStart.load(), 1000 + 22050);
    EXPECT_EQ(t.deck(0).loopEnd.load(), 24001 + 22050);
    EXPECT_EQ(t.view(0).loopLabel.text, "1.0"); // 23001 / 22050

    t.screen->loopDivide(0);
    EXPECT_EQ(t.loopLength(0), 11500); // trunc(23001 / 2)
    EXPECT_EQ(t.view(0).loopLabel.text, "0.5");
    // Doubling gives 23000, one frame short of the out point: within 64 frames it lands on it.
    t.screen->loopExpand(0);
    EXPECT_EQ(t.deck(0).loopEnd.load(), 24001 + 22050);

    // A point that would lie past the track end changes nothing but the button.
    t.screen->loopStop(0);
    t.deck(0).position.store(kTrackFrames - 10000.0);
    t.screen->loopInOut(0);
    EXPECT_TRUE(t.view(0).loopInOut.selected);
    EXPECT_FALSE(t.deck(0).stopFlag.load());
    EXPECT_EQ(t.deck(0).loopStart.load(), 1000 + 22050);
}

TEST(SampleTestControllerLoops, AStoppedDeckIgnoresTheLoopButtons) {
    LoopScreen t;
    t.load(0, 120.0, 30000.0, /*play=*/false);
    t.deck(0).inertiaSpeed.store(5.0); // a wind in progress is not touched either
    using Handler = void (SampleTestController::*)(int);
    const Handler handlers[] = {&SampleTestController::loopInOut, &SampleTestController::loopStop,
                                &SampleTestController::loopDivide,
                                &SampleTestController::loopExpand};
    for (Handler h : handlers) {
        (t.screen.get()->*h)(0);
        EXPECT_FALSE(t.deck(0).stopFlag.load());
        EXPECT_FALSE(t.deck(0).loopActive.load());
        EXPECT_EQ(t.deck(0).loopStart.load(), 0);
        EXPECT_EQ(t.deck(0).inertiaSpeed.load(), 5.0);
        EXPECT_FALSE(t.view(0).loopInOut.selected);
    }

    // A loop set while playing survives stopping, and halving waits for the next play.
    t.deck(0).isPlaying.store(true);
    t.setLoop(0, 10000.0, 30000.0);
    t.deck(0).isPlaying.store(false);
    t.screen->loopDivide(0);
    EXPECT_EQ(t.loopLength(0), 22016);
    EXPECT_TRUE(t.deck(0).loopActive.load());
}

TEST(SampleTestControllerLoops, StopEndsTheLoopAndForgetsAPendingInPoint) {
    LoopScreen t;
    t.load(0, 120.0, 0.0);
    t.setLoop(0, 10000.0, 30000.0);
    t.deck(0).inertiaSpeed.store(3.0);
    t.screen->loopStop(0);
    EXPECT_FALSE(t.deck(0).loopActive.load());
    EXPECT_EQ(t.deck(0).inertiaSpeed.load(), 0.0);
    EXPECT_EQ(t.view(0).loopLabel.text, "?");
    EXPECT_FALSE(t.view(0).loopMode.selected);

    t.deck(0).position.store(10000.0);
    t.screen->loopInOut(0); // in point pending
    ASSERT_TRUE(t.deck(0).stopFlag.load());
    t.screen->loopStop(0);
    EXPECT_FALSE(t.deck(0).stopFlag.load());
    EXPECT_FALSE(t.view(0).loopInOut.selected);
    // The next press is an in press again.
    t.deck(0).position.store(50000.0);
    t.screen->loopInOut(0);
    EXPECT_EQ(t.deck(0).loopStart.load(), int32_t(beatAt(258)));
    EXPECT_FALSE(t.deck(0).loopActive.load());
}

TEST(SampleTestControllerLoops, ClosingThePanelEndsTheLoopOpeningItClosesTheOthers) {
    LoopScreen t;
    t.load(0, 120.0, 0.0);
    t.screen->pitchPanelSwitch(0);
    t.screen->setPanelShown(0, &DeckViewState::cuePanel, true);
    t.screen->bpmEnterOnOff(1); // the pad of the other deck
    ASSERT_TRUE(t.view(0).pitchPanel.selected);
    ASSERT_EQ(t.screen->lastBpmSide(), 1);

    t.screen->loopPanelSwitch(0);
    EXPECT_TRUE(t.view(0).loopPanel.selected);
    EXPECT_FALSE(t.view(0).cuePanel.selected);
    EXPECT_FALSE(t.view(0).pitchPanel.selected);
    EXPECT_EQ(t.screen->lastBpmSide(), -1);
    EXPECT_FALSE(t.view(1).bpmButton.selected);

    // Closing with a running loop ends it.
    t.setLoop(0, 10000.0, 30000.0);
    ASSERT_TRUE(t.deck(0).loopActive.load());
    t.screen->loopPanelSwitch(0);
    EXPECT_FALSE(t.view(0).loopPanel.selected);
    EXPECT_FALSE(t.deck(0).loopActive.load());
    EXPECT_FALSE(t.view(0).loopMode.selected);
    EXPECT_EQ(t.view(0).loopLabel.text, "?");

    // Opening keeps a pending in point; closing forgets it.
    t.screen->loopPanelSwitch(0);
    t.deck(0).position.store(50000.0);
    t.screen->loopInOut(0);
    ASSERT_TRUE(t.deck(0).stopFlag.load());
    t.screen->loopPanelSwitch(0);
    EXPECT_FALSE(t.deck(0).stopFlag.load());
    EXPECT_FALSE(t.view(0).loopInOut.selected);
    EXPECT_FALSE(t.deck(0).loopActive.load());
}

// A scratch back before a stopped loop's end leaves the deck's stop flag set (it stands for
// "at or before the loop end" there); the next in/out press is still an in press, never an out
// point behind the old in point.
TEST(SampleTestControllerLoops, AfterAScratchInOutTakesANewInPoint) {
    LoopScreen t;
    t.load(0, 120.0, 0.0);
    t.setLoop(0, 100000.0, 120000.0);
    t.screen->loopStop(0);
    const int32_t oldStart = t.deck(0).loopStart.load();
    waveControl wave(t.engine.out, 0);
    t.deck(0).position.store(20000.0);
    wave.touchesBegan({{1, 100.0f, 300.0f, 100.0f, 300.0f, 1.0}});
    wave.touchesEnded({{1, 100.0f, 300.0f, 100.0f, 300.0f, 1.1}});
    ASSERT_TRUE(t.deck(0).stopFlag.load()) << "the lift's flag this press must not trust";
    t.deck(0).position.store(20000.0);
    t.screen->loopInOut(0);
    EXPECT_EQ(t.deck(0).loopStart.load(), int32_t(beatAt(86)));
    EXPECT_NE(t.deck(0).loopStart.load(), oldStart);
    EXPECT_FALSE(t.deck(0).loopActive.load());
    EXPECT_TRUE(t.view(0).loopInOut.selected);
    t.deck(0).position.store(50000.0);
    t.screen->loopInOut(0);
    EXPECT_TRUE(t.deck(0).loopActive.load());
    EXPECT_EQ(t.deck(0).loopStart.load(), int32_t(beatAt(86)));
    EXPECT_EQ(t.deck(0).loopEnd.load(), int32_t(beatAt(258)));
}

TEST(SampleTestControllerLoops, EveryLoopHandlerOnAnUnloadedDeckIsHarmless) {
    LoopScreen t;
    t.load(1, 120.0, 0.0); // the other deck plays a loop meanwhile
    t.setLoop(1, 10000.0, 30000.0);
    t.deck(0).isPlaying.store(true); // even a stale flag does not make an empty deck play
    using C = SampleTestController;
    const std::function<void(C&)> presses[] = {
        [](C& c) { c.loopInOut(0); },       [](C& c) { c.loopInOut(0); },
        [](C& c) { c.loopStop(0); },        [](C& c) { c.loopDivide(0); },
        [](C& c) { c.loopExpand(0); },      [](C& c) { c.updateLoopLabels(); },
        [](C& c) { c.loopPanelSwitch(0); }, [](C& c) { c.loopPanelSwitch(0); }};
    for (size_t i = 0; i < std::size(presses); ++i) {
        presses[i](*t.screen);
        EXPECT_FALSE(t.deck(0).isLoaded.load()) << i;
        EXPECT_FALSE(t.deck(0).loopActive.load()) << i;
        EXPECT_FALSE(t.deck(0).stopFlag.load()) << i;
        EXPECT_EQ(t.deck(0).loopEnd.load(), 0) << i;
        EXPECT_EQ(t.view(0).loopLabel.text, "?") << i;
        EXPECT_TRUE(t.deck(1).loopActive.load()) << i;
        EXPECT_EQ(t.loopLength(1), 22016) << i;
        EXPECT_EQ(t.view(1).loopLabel.text, "1.0") << i;
        EXPECT_TRUE(t.view(1).loopMode.selected) << i;
        EXPECT_FALSE(t.view(0).loopMode.selected) << i;
    }
}

} // namespace
} // namespace vx
