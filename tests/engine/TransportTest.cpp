#include "EngineFixture.h"

#include "engine/Transport.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using test::Engine;
using test::kCodeStep;
using test::loadGenerated;

audioStream& loadedDeck(Engine& e, std::vector<long> cues = {}, bool keyLock = false) {
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 400000, test::frameCode);
    d.pitchMode.store(!keyLock);
    d.stretchLatency.store(-3000.0);
    d.cuePoints = std::move(cues);
    d.numCuePoints = static_cast<int32_t>(d.cuePoints.size());
    return d;
}

TEST(Transport, PlayStartsFromTheLoopStartOrZeroWhenPastTheEndAndSnapsWholeSpeeds) {
    struct Case {
        const char* name;
        double position, baseSpeed;
        bool loop;
        double expected;
    };
    const Case cases[] = {
        {"past the end, no loop", 400000.0, 1.0, false, 0.0},
        {"past the end, loop", 400500.0, 1.0, true, 1000.0},
        {"whole speed snaps", 1234.6, 1.0, false, 1235.0},
        {"fractional speed keeps the fraction", 1234.6, 1.02, false, 1234.6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine e;
        audioStream& d = loadedDeck(e);
        d.loopStart.store(1000);
        d.loopEnd.store(2000);
        d.loopActive.store(c.loop);
        d.position.store(c.position);
        d.baseSpeed.store(c.baseSpeed);
        d.inertiaSpeed.store(3.0);
        EXPECT_EQ(deckPlay(d), 1);
        EXPECT_DOUBLE_EQ(d.position.load(), c.expected);
        EXPECT_TRUE(d.isPlaying.load());
        EXPECT_EQ(d.speed.load(), c.baseSpeed);
        EXPECT_EQ(d.inertiaSpeed.load(), 0.0);
        EXPECT_EQ(d.outputRamp.count.load(), 256); // the fade-in's shape: AudioOutRender
    }
    Engine e;
    audioStream& unloaded = e.out.deck(1);
    EXPECT_EQ(deckPlay(unloaded), 0);
    EXPECT_EQ(deckStop(unloaded), 0);
}

TEST(Transport, FastForwardAndRewindStepThroughTheLoop) {
    struct Case {
        const char* name;
        bool forward;
        double from;
        double expected;
        bool stillPlaying;
    };
    const Case cases[] = {
        {"ff before the loop goes to its start", true, 500.0, 10000.0, true},
        {"ff inside the loop goes past its end", true, 15000.0, 20001.0, true},
        {"ff beyond the loop goes to the last frame and stops", true, 30000.0, 399999.0, false},
        {"rew inside the loop goes to its start", false, 15000.0, 10000.0, true},
        {"rew at the loop start goes to 0", false, 10000.0, 0.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine e;
        audioStream& d = loadedDeck(e);
        d.loopStart.store(10000);
        d.loopEnd.store(20000);
        d.position.store(c.from);
        d.isPlaying.store(true);
        d.replanNeeded.store(true); // left to the decoder, the flag would stay up
        c.forward ? deckFastForward(d) : deckRewind(d);
        EXPECT_DOUBLE_EQ(d.position.load(), c.expected);
        EXPECT_EQ(d.isPlaying.load(), c.stillPlaying);
        EXPECT_FALSE(d.replanNeeded.load()); // re-planned at once
    }
}

TEST(Transport, NearestCueFollowsItsDistanceRules) {
    Engine e;
    audioStream& d = loadedDeck(e, {1000, 5000, 9000});
    struct Case {
        double frame;
        int expected;
    };
    const Case cases[] = {
        {0.0, 0},                   // the track start
        {900.0, 0},                 // 100 from cue 0
        {3000.0, 1},                // 2000 from cue 0 and from cue 1: the later one
        {5100.0, 1}, {100000.0, 2}, // far beyond: the last cue is nearest
        {400.0, -1},                // every cue is farther than the frame is from 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(nearestCueToFrame(d, c.frame), c.expected);
    }
    d.cuePoints.clear();
    EXPECT_EQ(nearestCue(d), -1);
    EXPECT_EQ(nearestCueToFrame(d, 777.0), 0);
}

TEST(Transport, PreviousAndNextCueMoveByAudiblePosition) {
    struct Case {
        const char* name;
        bool next;
        double audible;
        double expectedAudible;
    };
    const Case cases[] = {
        {"next from between cues", true, 3000.0, 5000.0},
        {"next exactly on the last cue stays", true, 9000.0, 9000.0},
        {"next before every cue goes to the first", true, 10.0, 1000.0},
        {"previous exactly on the first cue goes to the start", false, 1000.0, 0.0},
        {"previous from between cues", false, 6000.0, 5000.0},
        {"previous beyond every cue goes to the last", false, 20000.0, 9000.0},
    };
    for (bool keyLock : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (keyLock ? " (key lock)" : ""));
            Engine e;
            audioStream& d = loadedDeck(e, {1000, 5000, 9000}, keyLock);
            setAudiblePosition(d, c.audible);
            c.next ? nextCue(d) : previousCue(d);
            EXPECT_DOUBLE_EQ(audiblePosition(d), c.expectedAudible);
            // Under key lock the read position runs ahead of the audible one by the latency.
            EXPECT_DOUBLE_EQ(d.position.load(), c.expectedAudible + (keyLock ? 3000.0 : 0.0));
        }
    }
}

TEST(Transport, AJumpToACueIsHeardAtOnce) {
    Engine e(512);
    audioStream& d = loadedDeck(e, {300000});
    // The generated track is all in the ring (no file to decode from): the jump re-plans at
    // once around the cue and the very next buffer plays from it.
    jumpToCue(d, 0);
    EXPECT_DOUBLE_EQ(d.position.load(), 300000.0);
    EXPECT_FALSE(d.replanNeeded.load());
    ASSERT_EQ(d.blockWanted.size(), 13u);
    EXPECT_EQ(d.blockWanted[300000 / kBlockFrames], 3);
    e.playPlain(0, 300000.0);
    const auto out = e.render(512);
    EXPECT_EQ(out[0], 300000 * kCodeStep);
    jumpToCue(d, 5); // no such cue: nothing moves
    EXPECT_GT(d.position.load(), 300000.0);
}

TEST(Transport, HeadphoneFadeRampsFromItsValueOrRetargets) {
    Engine e;
    audioStream& d = loadedDeck(e);
    d.hpFade.store(0.25f);
    setHeadphoneFade(d, 1.0f, 10);
    EXPECT_FLOAT_EQ(d.hpFadeRamp.from.load(), 0.25f);
    EXPECT_FLOAT_EQ(d.hpFadeRamp.delta.load(), 0.075f);
    d.hpFadeRamp.from.store(0.5f); // the ramp has moved on
    setHeadphoneFade(d, 0.0f, 5);
    EXPECT_FLOAT_EQ(d.hpFadeRamp.from.load(), 0.5f);
    EXPECT_FLOAT_EQ(d.hpFadeRamp.delta.load(), -0.1f);
    EXPECT_EQ(d.hpFadeRamp.count.load(), 5);
}

} // namespace
} // namespace vx
