#include "controls/VXAudioStreamDisplay.h"

#include "analysis/peakFileData.h"
#include "engine/audioStream.h"

#include <gtest/gtest.h>

#include <memory>

namespace vx {
namespace {

// A record of `count` entries, entry i of height `height(i)`.
template <class Height> std::shared_ptr<peakFileData> peaksOf(int32_t count, Height height) {
    auto peaks = peakFileData::create(count);
    for (int32_t i = 0; i < count; ++i) {
        peaks->setEntry(i, static_cast<uint8_t>(height(i)), 0);
    }
    return peaks;
}

SegmentF seg(float x0, float y0, float x1, float y1) {
    return SegmentF{{x0, y0}, {x1, y1}};
}

TEST(VXAudioStreamDisplay, BeforeTheFirstDataEveryRowIsATwoPointLineAtTheCentre) {
    VXAudioStreamDisplay display(100.0f, 10.5f, ScreenLayout::Phone);
    ASSERT_EQ(display.rows().size(), 10u);
    EXPECT_EQ(display.dataSize(), 20);
    for (int r = 0; r < 10; ++r) {
        EXPECT_EQ(display.rows()[size_t(r)], seg(49.0f, float(r), 51.0f, float(r))) << r;
    }
    EXPECT_EQ(display.lineColor(), (RgbaF{1.0f, 0.0f, 0.5f, 1.0f}));
}

TEST(VXAudioStreamDisplay, EachRowAveragesItsEntriesOnTheChosenSide) {
    // 40 entries on 10 rows: 4 per row; every entry of row r has height r + 1, so the row's
    // length is (r + 1) × width × 0.75 × 0.02 = 1.5 (r + 1).
    const auto peaks = peaksOf(40, [](int32_t i) { return i / 4 + 1; });
    struct Case {
        int side;
        int expectSide;
    };
    for (const Case c : {Case{0, 0}, Case{-1, -1}, Case{1, 1}, Case{-7, -1}}) {
        SCOPED_TRACE(c.side);
        VXAudioStreamDisplay display(100.0f, 10.0f, ScreenLayout::Phone);
        const uint64_t before = display.redrawCount();
        display.generateLineDataFromPeakData(*peaks, 40, c.side);
        EXPECT_GT(display.redrawCount(), before);
        EXPECT_EQ(display.side(), c.expectSide);
        for (int r = 0; r < 10; ++r) {
            const float a = 1.5f * float(r + 1);
            const float y = float(r);
            const SegmentF expect = c.expectSide == 0  ? seg(50.0f - a, y, 50.0f + a, y)
                                    : c.expectSide < 0 ? seg(0.0f, y, a, y)
                                                       : seg(100.0f - a, y, 100.0f, y);
            const SegmentF got = display.rows()[size_t(r)];
            EXPECT_FLOAT_EQ(got.a.x, expect.a.x) << r;
            EXPECT_FLOAT_EQ(got.b.x, expect.b.x) << r;
            EXPECT_FLOAT_EQ(got.a.y, y);
            EXPECT_FLOAT_EQ(got.b.y, y);
        }
    }
}

TEST(VXAudioStreamDisplay, AFractionalStepCarriesItsRemainderIntoTheNextRow) {
    // 25 entries on 10 rows: 2.5 per row. Rows take 3, 2, 3, 2 … entries; each sum is divided
    // by 2.5, so with every height 10 the rows are 30 / 2.5 × 1.5 = 18 and 20 / 2.5 × 1.5 = 12.
    const auto peaks = peaksOf(25, [](int32_t) { return 10; });
    VXAudioStreamDisplay display(100.0f, 10.0f, ScreenLayout::Phone);
    display.generateLineDataFromPeakData(*peaks, 25, -1);
    for (int r = 0; r < 10; ++r) {
        EXPECT_FLOAT_EQ(display.rows()[size_t(r)].b.x, r % 2 == 0 ? 18.0f : 12.0f) << r;
    }
}

TEST(VXAudioStreamDisplay, EntriesNotComputedYetCountAsZeroAndACountBeyondTheRecordIsClamped) {
    auto peaks = peaksOf(40, [](int32_t) { return 10; });
    for (int32_t i = 4; i < 8; ++i) {
        peaks->setEntry(i, kPeakNotComputed, kPeakNotComputed);
    }
    peaks->setEntry(9, kPeakNotComputed, kPeakNotComputed);
    VXAudioStreamDisplay display(100.0f, 10.0f, ScreenLayout::Phone);
    display.generateLineDataFromPeakData(*peaks, 4000, 1);
    EXPECT_FLOAT_EQ(display.rows()[0].a.x, 100.0f - 15.0f);
    EXPECT_FLOAT_EQ(display.rows()[1].a.x, 100.0f);          // all four pending
    EXPECT_FLOAT_EQ(display.rows()[2].a.x, 100.0f - 11.25f); // one of four pending
}

TEST(VXAudioStreamDisplay, FewerEntriesThanRowsLeaveTheLaterRowsAtTheCentre) {
    const auto peaks = peaksOf(4, [](int32_t) { return 20; });
    VXAudioStreamDisplay display(100.0f, 10.0f, ScreenLayout::Phone);
    display.generateLineDataFromPeakData(*peaks, 4, 0);
    EXPECT_FLOAT_EQ(display.rows()[0].b.x, 50.0f + 20.0f / 0.4f * 1.5f);
    EXPECT_EQ(display.rows()[9], seg(49.0f, 9.0f, 51.0f, 9.0f));
}

TEST(VXAudioStreamDisplay, AOneMinuteTrackHasItsOnlyMinuteMarkAtItsEnd) {
    const int32_t count = peakCountForFrames(60 * 44100); // 10336 entries, 60.0007 s
    const auto peaks = peaksOf(count, [](int32_t) { return 5; });
    VXAudioStreamDisplay display(100.0f, 480.0f, ScreenLayout::Phone);
    display.generateLineDataFromPeakData(*peaks, count, 0);
    ASSERT_EQ(display.minuteMarks().size(), 1u);
    const auto& mark = display.minuteMarks()[0];
    EXPECT_EQ(mark.minute, 1);
    EXPECT_NEAR(mark.line.a.y, 480.0f, 0.01f);
    EXPECT_LT(mark.line.a.y, 480.0f);
    EXPECT_FLOAT_EQ(mark.line.a.x, 0.0f);
    EXPECT_FLOAT_EQ(mark.line.b.x, 100.0f);
}

TEST(VXAudioStreamDisplay, MinuteMarksFallAtEveryMinuteOnTheSideOfTheLines) {
    const int32_t count = peakCountForFrames(150 * 44100); // 2.5 minutes
    const auto peaks = peaksOf(count, [](int32_t) { return 5; });
    struct Case {
        int side;
        ScreenLayout layout;
        float left, right, labelRise;
    };
    const Case cases[] = {{0, ScreenLayout::Phone, 0.0f, 100.0f, 16.0f},
                          {-1, ScreenLayout::Phone, 0.0f, 50.0f, 16.0f},
                          {1, ScreenLayout::Phone, 50.0f, 100.0f, 16.0f},
                          {0, ScreenLayout::Tablet, 0.0f, 100.0f, 32.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.side);
        VXAudioStreamDisplay display(100.0f, 480.0f, c.layout);
        display.generateLineDataFromPeakData(*peaks, count, c.side);
        ASSERT_EQ(display.minuteMarks().size(), 2u);
        for (int m = 1; m <= 2; ++m) {
            const auto& mark = display.minuteMarks()[size_t(m - 1)];
            const float y = float(m) * 480.0f / 2.5f; // 192, 384 (to a few thousandths)
            EXPECT_EQ(mark.minute, m);
            EXPECT_NEAR(mark.line.a.y, y, 0.01f);
            EXPECT_FLOAT_EQ(mark.line.a.x, c.left);
            EXPECT_FLOAT_EQ(mark.line.b.x, c.right);
            EXPECT_NEAR(mark.labelRect.y + mark.labelRect.height, y - c.labelRise, 0.01f);
            EXPECT_FLOAT_EQ(mark.labelRect.height, 18.0f);
            EXPECT_FLOAT_EQ(mark.labelRect.x, c.left);
            EXPECT_FLOAT_EQ(mark.labelRect.width, c.right - c.left);
        }
    }
}

TEST(VXAudioStreamDisplay, CueMarksSitOnTheDecksSideOnThePhoneAndCentredOnTheTablet) {
    audioStream deck0;
    deck0.deckIndex = 0;
    deck0.lengthFrames.store(480000);
    deck0.cuePoints = {0L, 240000L, 479000L};
    audioStream deck1;
    deck1.deckIndex = 1;
    deck1.lengthFrames.store(480000);
    deck1.cuePoints = {120000L};
    struct Case {
        const audioStream* deck;
        ScreenLayout layout;
        float centre, half;
    };
    const Case cases[] = {{&deck0, ScreenLayout::Phone, 25.0f, 3.0f},
                          {&deck1, ScreenLayout::Phone, 75.0f, 3.0f},
                          {&deck0, ScreenLayout::Tablet, 50.0f, 6.0f},
                          {&deck1, ScreenLayout::Tablet, 50.0f, 6.0f}};
    for (const Case& c : cases) {
        VXAudioStreamDisplay display(100.0f, 480.0f, c.layout);
        display.updateCueMarksForStream(*c.deck);
        ASSERT_EQ(display.cueMarks().size(), c.deck->cuePoints.size());
        for (size_t k = 0; k < c.deck->cuePoints.size(); ++k) {
            const float y = float(c.deck->cuePoints[k]) / 1000.0f;
            EXPECT_EQ(display.cueMarks()[k], seg(c.centre - c.half, y, c.centre + c.half, y));
        }
    }
    // Without cue points the marks go.
    VXAudioStreamDisplay display(100.0f, 480.0f, ScreenLayout::Phone);
    display.updateCueMarksForStream(deck0);
    ASSERT_EQ(display.cueMarks().size(), 3u);
    deck0.cuePoints.clear();
    display.updateCueMarksForStream(deck0);
    EXPECT_TRUE(display.cueMarks().empty());
}

} // namespace
} // namespace vx
