// The XY pad: parameters from finger positions (puck kept inside the pad), events, puck place.

#include "deck/FXController.h"

#include <gtest/gtest.h>

#include <vector>

namespace vx {
namespace {

using Event = FXController::Event;

// A 200 × 100 pad with a 20 × 20 puck: travel 180 × 80, puck half-size 10.
FXController pad() {
    FXController c;
    c.setFrame(200, 100);
    c.setPuckSize(20, 20);
    return c;
}

struct PointCase {
    TouchPoint p;
    float x, y;
};

TEST(FXControllerTest, ParametersComeFromThePointClampedToThePuckTravel) {
    const PointCase cases[] = {
        {{100, 50}, 0.5f, 0.5f},  {{10, 10}, 0.0f, 1.0f},    {{190, 90}, 1.0f, 0.0f},
        {{55, 30}, 0.25f, 0.75f}, {{145, 70}, 0.75f, 0.25f}, {{0, 0}, 0.0f, 1.0f},
        {{-50, 500}, 0.0f, 0.0f}, {{400, -30}, 1.0f, 1.0f},  {{5, 95}, 0.0f, 0.0f},
        {{195, 50}, 1.0f, 0.5f},
    };
    for (const PointCase& c : cases) {
        FXController f = pad();
        f.touchBegan(c.p, 0.0);
        EXPECT_FLOAT_EQ(f.xParam(), c.x) << c.p.x << "," << c.p.y;
        EXPECT_FLOAT_EQ(f.yParam(), c.y) << c.p.x << "," << c.p.y;
        // The puck sits where the parameters say (inside the pad).
        const TouchPoint centre = f.puckCentre();
        EXPECT_FLOAT_EQ(centre.x, 10.0f + 180.0f * c.x);
        EXPECT_FLOAT_EQ(centre.y, 10.0f + 80.0f * (1.0f - c.y));
    }
}

TEST(FXControllerTest, EachChangedParameterSendsValueChanged) {
    FXController f = pad();
    std::vector<Event> events;
    std::vector<std::pair<float, float>> seen;
    f.setEventHandler([&](FXController& c, Event e) {
        events.push_back(e);
        seen.emplace_back(c.xParam(), c.yParam());
    });
    f.touchBegan({100, 50}, 0.0); // same as the start: no change
    EXPECT_EQ(events, (std::vector<Event>{Event::TouchDown}));
    EXPECT_TRUE(f.touched());
    f.touchMoved({55, 50}, 0.1);  // x only
    f.touchMoved({55, 30}, 0.2);  // y only
    f.touchMoved({145, 70}, 0.3); // both: two events, x first
    f.touchEnded({145, 70}, 0.4);
    EXPECT_FALSE(f.touched());
    EXPECT_EQ(events,
              (std::vector<Event>{Event::TouchDown, Event::ValueChanged, Event::ValueChanged,
                                  Event::ValueChanged, Event::ValueChanged, Event::TouchUp}));
    EXPECT_FLOAT_EQ(seen[3].first, 0.75f);
    EXPECT_FLOAT_EQ(seen[3].second, 0.75f); // y not yet updated when x reports
    EXPECT_FLOAT_EQ(seen[4].second, 0.25f);
}

TEST(FXControllerTest, MovesWithoutATouchAndRepeatedEndsAreIgnored) {
    FXController f = pad();
    int ups = 0;
    f.setEventHandler([&](FXController&, Event e) { ups += e == Event::TouchUp; });
    f.touchMoved({10, 10}, 0.0);
    EXPECT_EQ(f.xParam(), 0.5f);
    f.touchBegan({10, 10}, 0.1);
    f.touchEnded({10, 10}, 0.2);
    f.touchEnded({10, 10}, 0.3);
    EXPECT_EQ(ups, 1);
}

TEST(FXControllerTest, CancellingReportsItAndUnlightsThePuck) {
    FXController f = pad();
    std::vector<Event> events;
    f.setEventHandler([&](FXController&, Event e) { events.push_back(e); });
    f.touchBegan({100, 50}, 0.0);
    f.touchCancelled();
    EXPECT_FALSE(f.touched());
    EXPECT_EQ(events, (std::vector<Event>{Event::TouchDown, Event::TouchCancel}));
}

TEST(FXControllerTest, SettersClampAndAPadWithoutTravelPinsAtZero) {
    FXController f = pad();
    f.setXParam(1.7f);
    f.setYParam(-0.2f);
    EXPECT_EQ(f.xParam(), 1.0f);
    EXPECT_EQ(f.yParam(), 0.0f);
    FXController flat;
    flat.setFrame(20, 20);
    flat.setPuckSize(20, 20);
    flat.touchBegan({15, 3}, 0.0);
    EXPECT_EQ(flat.xParam(), 0.0f);
    EXPECT_EQ(flat.yParam(), 0.0f);
}

} // namespace
} // namespace vx
