// The touch fader: pointer geometry, catching the pointer, relative drags, jump zones, snapping,
// double taps and what the shell is told to draw.

#include "deck/AMSlider.h"

#include <gtest/gtest.h>

#include <vector>

namespace vx {
namespace {

using Event = AMSlider::Event;

// A 200 × 40 horizontal slider with a 20 × 30 pointer: travel 180, cross offset 4.
struct Recorder {
    explicit Recorder(AMSlider& s) {
        s.setEventHandler([this](AMSlider& sender, Event e) {
            events.push_back(e);
            values.push_back(sender.value());
        });
    }
    std::vector<Event> events;
    std::vector<float> values;
};

AMSlider horizontalSlider() {
    AMSlider s;
    s.setFrame(200, 40);
    s.setPointerSize(20, 30);
    return s;
}

AMSlider verticalSlider() {
    AMSlider s;
    s.setHorizontal(false);
    s.setFrame(40, 200);
    s.setPointerSize(30, 20);
    return s;
}

struct GeometryCase {
    bool horizontal;
    float value;
    float space, ispace;
    TouchRect pointer;
};

TEST(AMSliderTest, PointerGeometryFollowsTheValueAlongTheAxis) {
    const GeometryCase cases[] = {
        {true, 0.0f, 180, 4, {0, 4, 20, 30}},
        {true, 0.5f, 180, 4, {90, 4, 20, 30}},
        {true, 1.0f, 180, 4, {180, 4, 20, 30}},
        // Vertical: the maximum is at the top.
        {false, 1.0f, 180, 5, {5, 0, 30, 20}},
        {false, 0.25f, 180, 5, {5, 135, 30, 20}},
        {false, 0.0f, 180, 5, {5, 180, 30, 20}},
    };
    for (const GeometryCase& c : cases) {
        AMSlider s = c.horizontal ? horizontalSlider() : verticalSlider();
        s.setValue(c.value);
        SCOPED_TRACE(testing::Message() << "horizontal " << c.horizontal << " value " << c.value);
        EXPECT_EQ(s.space(), c.space);
        EXPECT_EQ(s.ispace(), c.ispace);
        const TouchRect r = s.pointerRect();
        EXPECT_EQ(r.x, c.pointer.x);
        EXPECT_EQ(r.y, c.pointer.y);
        EXPECT_EQ(r.width, c.pointer.width);
        EXPECT_EQ(r.height, c.pointer.height);
    }
}

// Catching the pointer off-centre and dragging moves the value by the finger's travel, not to
// the finger's position.
TEST(AMSliderTest, ACaughtPointerFollowsTheFingerRelatively) {
    AMSlider s = horizontalSlider();
    Recorder r(s);
    s.touchBegan({95, 20}, 0.0); // pointer spans 90…110
    EXPECT_TRUE(s.selected());
    EXPECT_TRUE(s.captured());
    EXPECT_EQ(s.lastCoord(), 95.0f);
    EXPECT_EQ(r.events, (std::vector<Event>{Event::TouchDown}));
    s.touchMoved({140, 25}, 0.1); // +45 points = +0.25
    EXPECT_FLOAT_EQ(s.value(), 0.75f);
    s.touchMoved({140, 35}, 0.2); // cross-axis travel changes nothing, sends nothing
    EXPECT_EQ(r.events.size(), 2u);
    s.touchMoved({500, 20}, 0.3); // clamped to the maximum
    EXPECT_EQ(s.value(), 1.0f);
    s.touchMoved({-500, 20}, 0.4);
    EXPECT_EQ(s.value(), 0.0f);
    s.touchEnded({-500, 20}, 0.5);
    EXPECT_FALSE(s.selected());
    EXPECT_EQ(r.events,
              (std::vector<Event>{Event::TouchDown, Event::ValueChanged, Event::ValueChanged,
                                  Event::ValueChanged, Event::TouchUpOutside}));
}

TEST(AMSliderTest, VerticalDragUpRaisesTheValueWithinItsRange) {
    AMSlider s = verticalSlider();
    s.setRange(0.2f, 0.9f);
    s.setValue(0.5f); // pointer spans y 90…110
    s.touchBegan({20, 100}, 0.0);
    ASSERT_TRUE(s.captured());
    s.touchMoved({20, 64}, 0.1); // 36 points up = +0.2
    EXPECT_FLOAT_EQ(s.value(), 0.7f);
    s.touchMoved({20, 0}, 0.2);
    EXPECT_FLOAT_EQ(s.value(), 0.9f);
    s.touchMoved({20, 300}, 0.3);
    EXPECT_FLOAT_EQ(s.value(), 0.2f);
}

TEST(AMSliderTest, AMissedTouchIsNotTrackedAndReportsWhereItEnded) {
    AMSlider s = horizontalSlider();
    Recorder r(s);
    s.touchBegan({20, 20}, 0.0);
    EXPECT_FALSE(s.captured());
    EXPECT_FALSE(s.selected());
    s.touchMoved({60, 20}, 0.1);
    EXPECT_EQ(s.value(), 0.5f);
    s.touchEnded({61, 22}, 0.2);
    EXPECT_EQ(r.events, (std::vector<Event>{Event::TouchUpInside}));
    EXPECT_EQ(s.lastPoint().x, 61.0f);
    EXPECT_EQ(s.lastPoint().y, 22.0f);
}

struct JumpCase {
    bool horizontal;
    bool canJump;
    float start;
    TouchPoint touch;
    bool caught;
    float value;
};

// The three jump zones: the origin end, the far end and the middle, each pointer-sized.
TEST(AMSliderTest, JumpZonesSetTheEndsAndTheMiddle) {
    const JumpCase cases[] = {
        {true, true, 0.8f, {5, 20}, true, -1.0f},    // left end: minimum
        {true, true, 0.2f, {195, 20}, true, 1.0f},   // right end: maximum
        {true, true, 0.1f, {100, 20}, true, 0.0f},   // middle of −1…1
        {true, true, 0.8f, {50, 20}, false, 0.8f},   // between the zones
        {true, true, 0.8f, {5, 2}, false, 0.8f},     // above the pointer's band
        {false, true, 0.5f, {20, 5}, true, 1.0f},    // vertical top: maximum
        {false, true, 0.5f, {20, 195}, true, -1.0f}, // vertical bottom: minimum
        {true, false, 0.8f, {5, 20}, false, 0.8f},   // jumping off: the zone is ignored
    };
    for (const JumpCase& c : cases) {
        AMSlider s = c.horizontal ? horizontalSlider() : verticalSlider();
        s.setRange(-1.0f, 1.0f);
        s.setCanJump(c.canJump);
        s.setValue(c.start);
        Recorder r(s);
        SCOPED_TRACE(testing::Message() << "touch " << c.touch.x << "," << c.touch.y);
        s.touchBegan(c.touch, 0.0);
        EXPECT_EQ(s.captured(), c.caught);
        EXPECT_EQ(s.selected(), c.caught);
        EXPECT_EQ(s.value(), c.value);
        EXPECT_EQ(r.events,
                  c.caught ? std::vector<Event>{Event::ValueChanged} : std::vector<Event>{});
    }
}

// After a jump the drag continues from the jumped value.
TEST(AMSliderTest, ADragAfterAJumpStartsFromTheJumpedValue) {
    AMSlider s = horizontalSlider();
    s.setCanJump(true);
    s.setValue(0.8f);
    s.touchBegan({5, 20}, 0.0);
    ASSERT_EQ(s.value(), 0.0f);
    s.touchMoved({23, 20}, 0.1); // +18 points = +0.1
    EXPECT_FLOAT_EQ(s.value(), 0.1f);
}

TEST(AMSliderTest, SnappingPullsValuesNearTheCentreToIt) {
    for (bool snap : {false, true}) {
        AMSlider s = horizontalSlider();
        s.setSnapToCenter(snap);
        s.setValue(0.25f); // pointer spans 45…65
        s.touchBegan({50, 20}, 0.0);
        s.touchMoved({50 + 0.27f * 180, 20}, 0.1); // 0.52
        EXPECT_NEAR(s.value(), snap ? 0.5f : 0.52f, 1e-5f);
        s.touchMoved({50 + 0.29f * 180, 20}, 0.2); // 0.54: outside the snap distance
        EXPECT_NEAR(s.value(), 0.54f, 1e-5f);
        s.touchMoved({50 + 0.23f * 180, 20}, 0.3); // 0.48
        EXPECT_NEAR(s.value(), snap ? 0.5f : 0.48f, 1e-5f);
    }
}

TEST(AMSliderTest, ASecondQuickTapReportsADoubleTapWithoutTracking) {
    AMSlider s = horizontalSlider();
    Recorder r(s);
    s.touchBegan({100, 20}, 10.0);
    s.touchEnded({100, 20}, 10.05);
    s.touchBegan({102, 21}, 10.3);
    EXPECT_EQ(r.events.back(), Event::TouchDownRepeat);
    s.touchMoved({160, 21}, 10.31); // not tracked
    EXPECT_EQ(s.value(), 0.5f);
    const size_t before = r.events.size();
    s.touchEnded({160, 21}, 10.35);
    EXPECT_EQ(r.events.size(), before); // the repeat's release reports nothing
    EXPECT_FALSE(s.selected());
    EXPECT_EQ(r.events, (std::vector<Event>{Event::TouchDown, Event::TouchUpOutside,
                                            Event::TouchDownRepeat}));
}

TEST(AMSliderTest, ADoubleTapBesideThePointerIsADragOutside) {
    AMSlider s = horizontalSlider();
    Recorder r(s);
    s.touchBegan({20, 20}, 0.0);
    s.touchEnded({20, 20}, 0.1);
    s.touchBegan({20, 20}, 0.2);
    s.touchEnded({20, 20}, 0.25);
    EXPECT_EQ(r.events, (std::vector<Event>{Event::TouchUpInside, Event::TouchDragOutside}));
}

struct TapPairCase {
    const char* what;
    TouchPoint firstEnd;
    double gap;
    TouchPoint second;
    bool repeat;
};

TEST(AMSliderTest, OnlyCloseQuickTapsMakeADoubleTap) {
    const TapPairCase cases[] = {
        {"quick", {100, 20}, 0.30, {100, 20}, true},
        {"too slow", {100, 20}, 0.40, {100, 20}, false},
        {"too far", {100, 20}, 0.10, {150, 20}, false},
        {"first was a drag", {130, 20}, 0.10, {130, 20}, false},
    };
    for (const TapPairCase& c : cases) {
        AMSlider s = horizontalSlider();
        Recorder r(s);
        SCOPED_TRACE(c.what);
        s.touchBegan({100, 20}, 1.0);
        s.touchEnded(c.firstEnd, 1.0);
        s.setValue(0.5f); // the first touch may have dragged it
        r.events.clear();
        s.touchBegan(c.second, 1.0 + c.gap);
        const bool repeat = !r.events.empty() && (r.events.front() == Event::TouchDownRepeat ||
                                                  r.events.front() == Event::TouchDragOutside);
        EXPECT_EQ(repeat, c.repeat);
    }
}

TEST(AMSliderTest, CancellingDeselectsAndForgetsTheTap) {
    AMSlider s = horizontalSlider();
    Recorder r(s);
    s.touchBegan({100, 20}, 0.0);
    ASSERT_TRUE(s.selected());
    s.touchCancelled();
    EXPECT_FALSE(s.selected());
    s.touchBegan({100, 20}, 0.1);
    EXPECT_EQ(r.events.back(), Event::TouchDown); // not a double tap
}

struct OverCase {
    float value;
    bool canJump;
    bool shown;
};

TEST(AMSliderTest, TheOverImageMarksTheCentreAndJumpEnds) {
    const OverCase cases[] = {
        {0.5f, false, true},  {0.54f, false, true}, {0.46f, false, true}, {0.56f, false, false},
        {0.0f, false, false}, {0.0f, true, true},   {1.0f, true, true},   {0.99f, true, false},
    };
    EXPECT_FALSE(horizontalSlider().pointerOverShown()) << "no over image unless asked for";
    for (const OverCase& c : cases) {
        AMSlider s = horizontalSlider();
        s.setHasPointerOver(true);
        s.setCanJump(c.canJump);
        s.setValue(c.value);
        EXPECT_EQ(s.pointerOverShown(), c.shown) << c.value << " jump " << c.canJump;
    }
}

TEST(AMSliderTest, VisibleChangesAskForARedraw) {
    AMSlider s = horizontalSlider();
    int v = s.displayVersion();
    s.setValue(0.3f);
    EXPECT_GT(s.displayVersion(), v);
    v = s.displayVersion();
    s.touchBegan({60, 20}, 0.0); // pointer spans 54…74
    EXPECT_GT(s.displayVersion(), v);
    v = s.displayVersion();
    s.touchMoved({60, 30}, 0.1); // same value: no redraw
    EXPECT_EQ(s.displayVersion(), v);
}

} // namespace
} // namespace vx
