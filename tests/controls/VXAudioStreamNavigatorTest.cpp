#include "controls/VXAudioStreamNavigator.h"
#include "support/TrackRecord.h"

#include "analysis/peakFileData.h"
#include "engine/BlockCache.h"
#include "engine/EngineFixture.h"
#include "engine/Transport.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace vx {
namespace {

constexpr int32_t kLength = 480000; // 1000 frames per point on a 480-point strip
constexpr float kWidth = 100.0f;
constexpr float kHeight = 480.0f;

// A stopped deck of the offline engine with a generated track, its peak record (every entry
// height 10) and the strip over it.
struct Strip {
    explicit Strip(int deckIndex = 0, ScreenLayout layout = ScreenLayout::Phone)
        : d(engine.out.deck(deckIndex)), navigator(d, kWidth, kHeight, layout) {
        test::loadGenerated(d, kLength, test::frameCode);
        vx::test::setPeaks(d, peakFileData::create(peakCountForFrames(kLength)));
        for (int32_t i = 0; i < d.peakData()->count; ++i) {
            d.peakData()->setEntry(i, 10, 0);
        }
        d.pitchMode.store(true);
    }

    void scratching() {
        d.isScratching.store(true);
        d.stopCountdown.store(500);
        d.scratchIdleFrames.store(7);
        d.scratchFrames.store(9);
        d.inertiaSpeed.store(0.4);
    }
    void expectScratchCleared() {
        EXPECT_FALSE(d.isScratching.load());
        EXPECT_EQ(d.stopCountdown.load(), 0);
        EXPECT_EQ(d.scratchIdleFrames.load(), 0);
        EXPECT_EQ(d.scratchFrames.load(), 0);
        EXPECT_EQ(d.inertiaSpeed.load(), 0.0);
    }
    void tap(float y) {
        navigator.touchBegan(y);
        navigator.touchEnded(y);
    }

    test::Engine engine;
    audioStream& d;
    VXAudioStreamNavigator navigator;
};

TEST(VXAudioStreamNavigator, ATapWithinTwentyPointsOfACueJumpsExactlyToIt) {
    struct Case {
        const char* name;
        float y;
        double expect;
    };
    // Cue marks at y = 100.123 and 130 (cues 100123 and 130000).
    const Case cases[] = {
        {"on the mark", 100.123f, 100123.0},
        {"19.9 points above", 80.223f, 100123.0},
        {"19.877 below the first, 10 below the second: first in order", 120.0f, 100123.0},
        {"20 points below the second only", 150.0f, 130000.0},
        {"20.5 points below the second: no cue", 150.5f, 150500.0},
        {"far from any cue", 300.0f, 300000.0},
        {"top", 0.0f, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Strip s;
        s.d.cuePoints = {100123L, 130000L};
        s.d.numCuePoints = 2;
        s.d.position.store(400000.0);
        s.scratching();
        s.tap(c.y);
        EXPECT_DOUBLE_EQ(s.d.position.load(), c.expect);
        s.expectScratchCleared();
    }
}

TEST(VXAudioStreamNavigator, UnderKeyLockACueTapLandsWhereTheCueJumpPutsIt) {
    Strip s;
    s.d.pitchMode.store(false);
    s.d.stretchLatency.store(-5120.0);
    s.d.cuePoints = {200000L};
    s.d.numCuePoints = 1;
    s.tap(205.0f);
    // The stretcher is emptied and refilled from the cue at once: the old latency no longer
    // separates read and audible position, and the cue's attack is heard.
    EXPECT_DOUBLE_EQ(s.d.position.load(), 200000.0);
    EXPECT_DOUBLE_EQ(audiblePosition(s.d), 200000.0);
    // A tap away from cues goes to the touched frame itself.
    s.tap(400.0f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), 400000.0);
}

TEST(VXAudioStreamNavigator, ADragStartingOnACueSeeksContinuouslyAndIgnoresTheCue) {
    Strip s;
    s.d.cuePoints = {100000L};
    s.d.numCuePoints = 1;
    s.d.position.store(400000.0);
    s.navigator.touchBegan(100.0f);
    s.scratching();
    s.d.replanNeeded.store(false);
    s.navigator.touchMoved(110.0f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), 110000.0);
    EXPECT_TRUE(s.navigator.moved());
    EXPECT_TRUE(s.d.replanNeeded.load());
    s.expectScratchCleared();
    s.navigator.touchMoved(250.5f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), 250500.0);
    s.navigator.touchMoved(101.0f); // back near the cue: still the touched frame
    EXPECT_DOUBLE_EQ(s.d.position.load(), 101000.0);
    s.navigator.touchEnded(101.0f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), 101000.0);
    EXPECT_FALSE(s.navigator.moved());
    // Beyond the strip the drag stops at the track's ends.
    s.navigator.touchBegan(10.0f);
    s.navigator.touchMoved(-30.0f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), 0.0);
    s.navigator.touchMoved(500.0f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), double(kLength));
    s.navigator.touchEnded(500.0f);
    // The next touch starts unmoved again: a tap jumps.
    s.tap(240.0f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), 240000.0);
}

TEST(VXAudioStreamNavigator, ATapReplansTheRingAroundTheNewPosition) {
    Strip s;
    // 40 blocks: more than the ring holds, so the plan depends on the position.
    test::loadGenerated(s.d, 40 * kBlockFrames, test::frameCode);
    s.d.pitchMode.store(true);
    {
        std::lock_guard lock(*s.d.decodeLock);
        replan(s.d);
    }
    ASSERT_EQ(s.d.blockWanted.size(), 40u);
    EXPECT_EQ(s.d.blockWanted[35], 0);
    s.d.replanNeeded.store(true);
    s.tap(360.0f); // three quarters: frame 983040, block 30
    EXPECT_DOUBLE_EQ(s.d.position.load(), 30.0 * kBlockFrames);
    EXPECT_FALSE(s.d.replanNeeded.load()); // planned at once
    EXPECT_GT(s.d.blockWanted[30], 0);
    EXPECT_GT(s.d.blockWanted[35], 0);
}

TEST(VXAudioStreamNavigator, WithoutATrackTouchesChangeNothing) {
    Strip s;
    s.d.isLoaded.store(false);
    s.d.position.store(1234.0);
    s.scratching();
    s.navigator.touchBegan(100.0f);
    s.navigator.touchMoved(200.0f);
    s.navigator.touchEnded(200.0f);
    s.tap(300.0f);
    EXPECT_DOUBLE_EQ(s.d.position.load(), 1234.0);
    EXPECT_TRUE(s.d.isScratching.load());
}

TEST(VXAudioStreamNavigator, SideIndentGrowsDeck0FromTheLeftAndDeck1FromTheRightOnlyOnThePhone) {
    struct Case {
        int deck;
        ScreenLayout layout;
        bool indent;
        int side;
    };
    const Case cases[] = {
        {0, ScreenLayout::Phone, true, -1}, {1, ScreenLayout::Phone, true, 1},
        {0, ScreenLayout::Phone, false, 0}, {1, ScreenLayout::Phone, false, 0},
        {0, ScreenLayout::Tablet, true, 0}, {1, ScreenLayout::Tablet, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "deck " << c.deck << " indent " << c.indent);
        Strip s(c.deck, c.layout);
        // 1920 entries on 480 rows: 4 entries of height 10 per row, 15 points long.
        vx::test::setPeaks(s.d, peakFileData::create(1920));
        for (int32_t i = 0; i < 1920; ++i) {
            s.d.peakData()->setEntry(i, 10, 0);
        }
        s.navigator.setSideIndent(c.indent);
        s.navigator.updateDisplay();
        EXPECT_EQ(s.navigator.side(), c.side);
        const SegmentF row = s.navigator.displayWave().rows()[100];
        const float left = c.side < 0 ? 0.0f : (c.side > 0 ? kWidth - 15.0f : kWidth / 2 - 15.0f);
        const float right = c.side < 0 ? 15.0f : (c.side > 0 ? kWidth : kWidth / 2 + 15.0f);
        EXPECT_FLOAT_EQ(row.a.x, left);
        EXPECT_FLOAT_EQ(row.b.x, right);
    }
}

TEST(VXAudioStreamNavigator, UpdateDisplayRebuildsCueMarksAndMovesThePositionLine) {
    Strip s(1);
    s.d.cuePoints = {240000L};
    s.d.numCuePoints = 1;
    s.d.position.store(120000.0);
    s.navigator.updateDisplay();
    ASSERT_EQ(s.navigator.displayWave().cueMarks().size(), 1u);
    EXPECT_FLOAT_EQ(s.navigator.displayWave().cueMarks()[0].a.y, 240.0f);
    VXAudioStreamMarks& marks = s.navigator.displayMarks();
    EXPECT_TRUE(marks.visible());
    EXPECT_FLOAT_EQ(marks.lineY(), 120.0f);
    EXPECT_EQ(marks.line(), (SegmentF{{0.0f, 120.0f}, {kWidth, 120.0f}}));

    // The marks layer redraws only when the position moved.
    const uint64_t redraws = marks.redrawCount();
    EXPECT_FALSE(marks.tryDisplay());
    EXPECT_EQ(marks.redrawCount(), redraws);
    s.d.position.store(360000.0);
    EXPECT_TRUE(marks.tryDisplay());
    EXPECT_GT(marks.redrawCount(), redraws);
    EXPECT_FLOAT_EQ(marks.lineY(), 360.0f);

    // Without a track nothing is rebuilt, but both layers are asked to redraw.
    s.d.isLoaded.store(false);
    s.d.cuePoints.clear();
    const uint64_t waveRedraws = s.navigator.displayWave().redrawCount();
    s.navigator.updateDisplay();
    EXPECT_EQ(s.navigator.displayWave().cueMarks().size(), 1u);
    EXPECT_GT(s.navigator.displayWave().redrawCount(), waveRedraws);
    EXPECT_FALSE(marks.visible());
}

} // namespace
} // namespace vx
