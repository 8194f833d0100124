#include "EngineFixture.h"

#include "dsp/MDelay.h"
#include "engine/DeckSpeed.h"
#include "engine/Stretcher.h"
#include "library/VXAudioFileInfo.h"
#include "support/TrackRecord.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using test::Engine;
using test::loadGenerated;

TEST(DeckSpeed, AGlideOf64StepsReachesTheTargetOnThe65thFrameAndCorrectsPitchAtOnce) {
    Engine e(1);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, test::frameCode);
    e.playPlain(0);
    setSpeed(d, 1.04, 64);
    EXPECT_DOUBLE_EQ(d.stretcher->pitch(), 1.0 / 1.04);
    e.render(63);
    EXPECT_LT(d.speed.load(), 1.04);
    EXPECT_NEAR(d.speed.load(), 1.0 + 0.04 * 63 / 64, 1e-12);
    e.render(1);
    EXPECT_NEAR(d.speed.load(), 1.04, 1e-12);
    EXPECT_TRUE(d.speedRamp.isOn());
    e.render(1);
    EXPECT_EQ(d.speed.load(), 1.04); // the 65th step copies the target exactly
    EXPECT_FALSE(d.speedRamp.isOn());
}

// The tempo-synced delay follows the heard tempo; a stopped, scratched or reversed deck hears
// none, and the delay keeps the length of the last tempo that played.
TEST(DeckSpeed, TheDelayFollowsTheHeardTempoAndKeepsItWhenNoneIsHeard) {
    Engine e(256);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, test::frameCode);
    auto info = std::make_shared<VXAudioFileInfo>();
    info->setTempo(120.0);
    test::setInfo(d, info);
    setSpeedNow(d, 1.0);
    const float atOne = d.delay->delayLength;
    setSpeedNow(d, 2.0); // twice the tempo: half the delay
    EXPECT_NEAR(d.delay->delayLength, atOne / 2, 1.0f);
    for (double none : {0.0, -1.0}) {
        setSpeedNow(d, none);
        EXPECT_NEAR(d.delay->delayLength, atOne / 2, 1.0f) << none;
    }
}

TEST(DeckSpeed, SetSpeedRules) {
    struct Case {
        const char* name;
        bool playing, aloneOnAir;
        bool gliding; // a glide towards 1.3 is under way
        double target;
        bool expectRamp;
        double expectSpeedNow, expectPitch;
    };
    const Case cases[] = {
        {"zero ignored while alone on air", true, true, false, 0.0, false, 1.0, 1.0},
        {"zero glides when not alone", true, false, false, 0.0, true, 1.0, 1.0},
        {"slow speeds keep the last pitch", true, false, false, 0.5, true, 1.0, 1.0},
        {"stopped deck takes it at once", false, false, true, 1.1, false, 1.1, 1.0 / 1.1},
        {"same speed ends a ramp", true, false, true, 1.0, false, 1.0, 1.0},
        {"backwards corrects by magnitude", true, false, false, -1.25, true, 1.0, 0.8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine e;
        audioStream& d = e.out.deck(0);
        loadGenerated(d, 100000, test::frameCode);
        d.isPlaying.store(c.playing);
        d.ignoreZeroSpeed.store(c.aloneOnAir);
        if (c.gliding) {
            d.speedRamp.start(1.0, 1.3, 1000);
        }
        setSpeed(d, c.target, 64);
        EXPECT_EQ(d.speedRamp.isOn(), c.expectRamp);
        EXPECT_DOUBLE_EQ(d.speed.load(), c.expectSpeedNow);
        EXPECT_DOUBLE_EQ(d.stretcher->pitch(), c.expectPitch);
        if (c.expectRamp) {
            EXPECT_EQ(d.speedRamp.count.load(), 64);
            EXPECT_DOUBLE_EQ(d.speedRamp.to.load(), c.target);
        }
    }
}

TEST(DeckSpeed, UnderTheFingerAGlideIsTwiceAsLongFromTheStoredStart) {
    Engine e;
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, test::frameCode);
    d.isPlaying.store(true);
    d.isScratching.store(true);
    d.speed.store(2.0);
    d.speedRamp.from.store(0.5);
    setSpeed(d, 0.0, 64);
    EXPECT_EQ(d.speedRamp.count.load(), 128);
    EXPECT_DOUBLE_EQ(d.speedRamp.delta.load(), -0.5 / 128);
}

TEST(DeckSpeed, AScratchedDeckWithoutMovementGlidesToRestAfter8192Frames) {
    Engine e(1);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, test::frameCode);
    e.playPlain(0, 5000.0);
    d.isScratching.store(true);
    d.scratchIdleFrames.store(0);
    e.render(8192);
    EXPECT_FALSE(d.speedRamp.isOn());
    EXPECT_EQ(d.scratchIdleFrames.load(), 8192);
    e.render(1);
    EXPECT_TRUE(d.speedRamp.isOn());
    EXPECT_EQ(d.scratchIdleFrames.load(), 0);
    EXPECT_DOUBLE_EQ(d.speedRamp.to.load(), 0.0);
    EXPECT_EQ(d.speedRamp.count.load(), 127); // 128 frames while scratching, one stepped
}

TEST(DeckSpeed, StopCountdownHaltsTheDeckWhenItRunsOut) {
    Engine e(1);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, test::frameCode);
    e.playPlain(0, 100.0);
    d.stopCountdown.store(10);
    e.render(9);
    EXPECT_EQ(d.speed.load(), 1.0);
    e.render(1);
    EXPECT_EQ(d.speed.load(), 0.0);
    EXPECT_DOUBLE_EQ(d.position.load(), 110.0);
}

TEST(DeckSpeed, PausedDeckCoastsAndDecaysUntilItStops) {
    Engine e(1024);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, test::frameCode);
    e.out.startPlay();
    stopStream(d);
    d.position.store(50000.0);
    d.inertiaSpeed.store(1.0);
    const auto out = e.render(1024);
    EXPECT_DOUBLE_EQ(d.position.load(), 51024.0);
    EXPECT_DOUBLE_EQ(d.inertiaSpeed.load(), 0.97);
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
    // 0.97^n < 0.08 after 83 buffers: then it stops and asks for a re-plan.
    for (int i = 0; i < 100 && d.inertiaSpeed.load() != 0.0; ++i) {
        e.render(1024);
    }
    EXPECT_EQ(d.inertiaSpeed.load(), 0.0);
    EXPECT_TRUE(d.replanNeeded.load());

    // It never runs further than the margin beyond the end.
    d.inertiaDecay.store(false);
    d.inertiaSpeed.store(40.0);
    for (int i = 0; i < 10; ++i) {
        e.render(1024);
    }
    EXPECT_DOUBLE_EQ(d.position.load(), 100000.0 + kOverrunMargin);
    EXPECT_EQ(d.inertiaSpeed.load(), 0.0);
}

} // namespace
} // namespace vx
