#include "controls/waveControl.h"

#include "engine/EngineFixture.h"

#include "engine/DeckDecoder.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace vx {
namespace {

using Touch = waveControl::Touch;
using test::Engine;
using test::loadGenerated;

constexpr int32_t kLength = 432000; // 14 blocks: the whole track fits in the ring

// One finger on the glass: remembers where it was so every event carries its previous point.
struct Finger {
    int id;
    float x;
    float y;

    Touch down(double t) const { return Touch{id, x, y, x, y, t}; }
    // Moves by (dx, dy) points; up is a negative dy.
    Touch move(float dx, float dy, double t) {
        const Touch touch{id, x + dx, y + dy, x, y, t};
        x += dx;
        y += dy;
        return touch;
    }
    Touch up(double t) const { return Touch{id, x, y, x, y, t}; }
};

// Three fingers side by side, a little lower each to the right.
std::array<Finger, 3> threeFingers() {
    return {Finger{1, 100.0f, 300.0f}, Finger{2, 150.0f, 320.0f}, Finger{3, 200.0f, 340.0f}};
}

// An engine on the offline device with deck `index` holding a generated track and a control
// over that deck.
struct Desk {
    explicit Desk(uint32_t bufferFrames = 1024, int index = 0,
                  NotificationCenter* notifications = nullptr)
        : engine(bufferFrames), d(engine.out.deck(index)),
          control(engine.out, index, notifications) {
        loadGenerated(d, kLength, test::frameCode);
        d.loopEnd.store(kLength);
    }

    // Plays the deck from `position` without key lock (read position = audible position).
    void playing(double position) {
        engine.playPlain(d.deckIndex, position);
        d.speedRamp.On.store(false);
    }
    // Lets the engine render while the deck stands at `position`, without key lock.
    void stopped(double position) {
        d.pitchMode.store(true);
        engine.out.startPlay();
        stopStream(d);
        d.position.store(position);
    }

    Engine engine;
    audioStream& d;
    waveControl control;
};

// --- one finger on a playing deck: scratching ---------------------------------------------------

TEST(waveControl, FirstScratchSpeedIsHalfTheFingerVelocityAndHoldsForTheMovementsDuration) {
    struct Case {
        const char* name;
        float dy; // points, negative = up
        double dt;
        double baseSpeed;
        float visualScale;
        float expectSpeed;
    };
    const Case cases[] = {
        {"128 points up in 0.5 s: v = 1", -128.0f, 0.5, 1.0, 1.0f, 0.5f},
        {"128 points down in 0.5 s: v = -1", 128.0f, 0.5, 1.0, 1.0f, -0.5f},
        {"base speed scales the velocity", -128.0f, 0.5, 1.1, 1.0f, 0.5f * 1.1f},
        {"zoom scales the velocity", -64.0f, 0.5, 1.0, 2.0f, 0.5f},
        {"v = 0.0234 counts as still", -1.5f, 0.25, 1.0, 1.0f, 0.0f},
        {"v = 0.0195 counts as still", -1.0f, 0.2, 1.0, 1.0f, 0.0f},
        {"v = 0.0254 moves", -1.625f, 0.25, 1.0, 1.0f, 0.0126953125f},
        {"v = 100: clamped, then limited to 1.05", -2560.0f, 0.1, 1.0, 1.0f, 1.05f},
        {"v = 2.5: limited to 1.05", -320.0f, 0.5, 1.0, 1.0f, 1.05f},
        {"v = -2.5: limited to -1.05", 320.0f, 0.5, 1.0, 1.0f, -1.05f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        desk.playing(100000.0);
        desk.d.baseSpeed.store(c.baseSpeed);
        desk.control.visualScale = c.visualScale;
        Finger f{1, 100.0f, 300.0f};
        desk.control.touchesBegan({f.down(0.0)});
        desk.control.touchesMoved({f.move(0.0f, c.dy, c.dt)});
        EXPECT_FLOAT_EQ(static_cast<float>(desk.d.speed.load()), c.expectSpeed);
        EXPECT_FLOAT_EQ(desk.control.oldSpeed, c.expectSpeed);
        EXPECT_FALSE(desk.d.speedRamp.isOn());
        EXPECT_EQ(desk.d.stopCountdown.load(), static_cast<int32_t>(c.dt * 44100.0));
        EXPECT_TRUE(desk.d.isScratching.load());
    }
}

TEST(waveControl, AScratchedDeckMovesAtTheScratchSpeedUntilItsHoldRunsOut) {
    Desk desk(256);
    desk.playing(100000.0);
    Finger f{1, 100.0f, 300.0f};
    desk.control.touchesBegan({f.down(2.0)});
    EXPECT_TRUE(desk.d.speedRamp.isOn()); // gliding to a standstill under the finger
    EXPECT_DOUBLE_EQ(desk.d.speedRamp.to.load(), 0.0);
    EXPECT_EQ(desk.d.speedRamp.count.load(), 64);
    desk.control.touchesMoved({f.move(0.0f, -128.0f, 2.5)});
    ASSERT_EQ(desk.d.speed.load(), 0.5);
    ASSERT_EQ(desk.d.stopCountdown.load(), 22050);

    desk.engine.render(4096);
    EXPECT_DOUBLE_EQ(desk.d.position.load(), 100000.0 + 0.5 * 4096);
    EXPECT_EQ(desk.d.stopCountdown.load(), 22050 - 4096);
    EXPECT_EQ(desk.d.scratchFrames.load(), 4096);

    // Backwards: a finger moving down plays the record in reverse.
    desk.control.touchesMoved({f.move(0.0f, 256.0f, 3.0)}); // v = -2 → 0.5 - 1.05
    const double back = desk.d.speed.load();
    EXPECT_FLOAT_EQ(static_cast<float>(back), 0.5f - 1.05f);
    const double before = desk.d.position.load();
    desk.engine.render(2048);
    EXPECT_NEAR(desk.d.position.load(), before + back * 2048, 1e-6);
}

TEST(waveControl, SuccessiveScratchSpeedsNeverDifferByMoreThanTheLimit) {
    Desk desk;
    desk.playing(200000.0);
    Finger f{1, 100.0f, 300.0f};
    double t = 1.0;
    desk.control.touchesBegan({f.down(t)});
    std::mt19937 random(7);
    std::uniform_real_distribution<float> travel(-3000.0f, 3000.0f);
    std::uniform_real_distribution<double> interval(0.004, 0.05);
    double last = 0.0;
    int limited = 0;
    for (int i = 0; i < 400; ++i) {
        // Violent: long strokes, sudden reversals, and now and then a standstill.
        const float dy = i % 17 == 0 ? 0.0f : travel(random);
        t += interval(random);
        desk.control.touchesMoved({f.move(0.0f, dy, t)});
        const double s = desk.d.speed.load();
        // Float rounding of the speed near 40 is below 1e-5.
        ASSERT_LE(std::fabs(s - last), 1.05 + 1e-5) << "move " << i;
        ASSERT_LE(std::fabs(s), 40.0 + 1e-4) << "move " << i;
        limited += std::fabs(s - last) > 1.04 ? 1 : 0;
        last = s;
    }
    EXPECT_GT(limited, 100); // the gestures did push against the limit
}

TEST(waveControl, ASteadyStrokeSettlesAtTheFingerVelocityUpTo40) {
    // With the weights 0.5, 0.35 and 0.15 a constant velocity v settles at v; velocities beyond
    // 40 are taken as 40 (points per 0.01 s: v × 2.56).
    struct Case {
        float dyPerMove;
        double expectSpeed;
    };
    const Case cases[] = {{-25.6f, 10.0},   {-99.84f, 39.0}, {-104.96f, 40.0},
                          {-2560.0f, 40.0}, {99.84f, -39.0}, {2560.0f, -40.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dyPerMove);
        Desk desk;
        desk.playing(100000.0);
        Finger f{1, 100.0f, 300.0f};
        double t = 0.0;
        desk.control.touchesBegan({f.down(t)});
        for (int i = 0; i < 300; ++i) {
            t += 0.01;
            desk.control.touchesMoved({f.move(0.0f, c.dyPerMove, t)});
        }
        EXPECT_NEAR(desk.d.speed.load(), c.expectSpeed, 1e-2);
    }
}

TEST(waveControl, TheEndOfAScratchGlidesBackToBaseSpeedOver64Frames) {
    Desk desk(1);
    desk.playing(100000.0);
    desk.d.baseSpeed.store(1.2);
    desk.d.loopEnd.store(150000);
    Finger f{1, 100.0f, 300.0f};
    desk.control.touchesBegan({f.down(0.0)});
    desk.control.touchesMoved({f.move(0.0f, -128.0f, 0.5)}); // v = 1.2 → 0.6
    ASSERT_FLOAT_EQ(static_cast<float>(desk.d.speed.load()), 0.6f);
    const double scratched = desk.d.speed.load();
    desk.d.scratchIdleFrames.store(500); // as the render thread counts a finger held still
    desk.control.touchesEnded({f.up(0.6)});

    EXPECT_FALSE(desk.d.isScratching.load());
    EXPECT_EQ(desk.d.stopCountdown.load(), 0);
    EXPECT_EQ(desk.d.scratchIdleFrames.load(), 0);
    EXPECT_TRUE(desk.d.stopFlag.load()); // position 100000 ≤ loop end 150000
    EXPECT_EQ(desk.control.noTouches, 0);
    ASSERT_TRUE(desk.d.speedRamp.isOn());
    EXPECT_EQ(desk.d.speedRamp.count.load(), 64); // not doubled: no longer scratching
    EXPECT_DOUBLE_EQ(desk.d.speedRamp.from.load(), scratched);
    EXPECT_DOUBLE_EQ(desk.d.speedRamp.to.load(), 1.2);

    desk.engine.render(63);
    EXPECT_LT(desk.d.speed.load(), 1.2);
    desk.engine.render(1);
    EXPECT_NEAR(desk.d.speed.load(), 1.2, 1e-12);
    desk.engine.render(1);
    EXPECT_EQ(desk.d.speed.load(), 1.2);
    EXPECT_FALSE(desk.d.speedRamp.isOn());
    const double before = desk.d.position.load();
    desk.engine.render(1000);
    EXPECT_NEAR(desk.d.position.load(), before + 1.2 * 1000, 1e-6);
}

// --- one finger on a stopped deck: dragging and coasting ----------------------------------------

TEST(waveControl, DraggingAStoppedDeckMoves256FramesPerRowWithinTheMargin) {
    struct Case {
        const char* name;
        double start;
        float dy;
        double baseSpeed;
        float visualScale;
        double expect;
    };
    const double m = 256.0 * 240.0;
    const Case cases[] = {
        {"10 rows up", 100000.0, -10.0f, 1.0, 1.0f, 102560.0},
        {"10 rows down", 100000.0, 10.0f, 1.0, 1.0f, 97440.0},
        {"half base speed", 100000.0, -10.0f, 0.5, 1.0f, 101280.0},
        {"zoomed in twice", 100000.0, -10.0f, 1.0, 2.0f, 105120.0},
        {"past the start: margin", 1000.0, 1000.0f, 1.0, 1.0f, -m},
        {"past the end: margin", kLength - 1000.0, -1000.0f, 1.0, 1.0f, kLength + m},
        {"zoomed margin", 1000.0, 1000.0f, 1.0, 2.0f, -2.0 * m},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        desk.stopped(c.start);
        desk.d.baseSpeed.store(c.baseSpeed);
        desk.d.speed.store(c.baseSpeed);
        desk.control.visualScale = c.visualScale;
        Finger f{1, 100.0f, 300.0f};
        desk.control.touchesBegan({f.down(1.0)});
        EXPECT_TRUE(desk.d.decoderBusy.load());
        desk.control.touchesMoved({f.move(0.0f, c.dy, 1.1)});
        EXPECT_DOUBLE_EQ(desk.d.position.load(), c.expect);
        EXPECT_FALSE(desk.d.isPlaying.load());
        EXPECT_EQ(desk.d.speed.load(), c.baseSpeed); // a drag does not touch the speed
        const auto out = desk.engine.render(1024);   // and makes no sound
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
        EXPECT_DOUBLE_EQ(desk.d.position.load(), c.expect);
    }
}

TEST(waveControl, LiftingAStoppedDeckAfterAFlickLetsItCoast) {
    struct Case {
        float dy; // points in 1 s: velocity dy / 256
        bool coasts;
    };
    const Case cases[] = {
        {-76.8f, true},  // 0.3
        {76.8f, true},   // -0.3
        {-28.16f, true}, // 0.11
        {-25.6f, false}, // 0.1: the limit itself does not coast
        {-12.8f, false}, // 0.05
        {25.6f, false},  // -0.1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dy);
        Desk desk;
        desk.stopped(200000.0);
        Finger f{1, 100.0f, 0.0f}; // from y = 0 the travel is exactly dy
        desk.control.touchesBegan({f.down(1.0)});
        desk.control.touchesMoved({f.move(0.0f, c.dy, 2.0)});
        EXPECT_NEAR(desk.control.oldSpeed, -c.dy / 256.0, 1e-6);
        desk.d.blockWanted.clear(); // to see whether the lift re-plans
        desk.control.touchesEnded({f.up(2.0)});
        const double dragged = desk.d.position.load();
        if (c.coasts) {
            EXPECT_EQ(desk.d.inertiaSpeed.load(), static_cast<double>(desk.control.oldSpeed));
            EXPECT_TRUE(desk.d.blockWanted.empty());
            desk.engine.render(1024);
            EXPECT_NEAR(desk.d.position.load(), dragged + desk.control.oldSpeed * 1024.0, 1e-6);
            EXPECT_DOUBLE_EQ(desk.d.inertiaSpeed.load(), desk.control.oldSpeed * 0.97);
        } else {
            EXPECT_EQ(desk.d.inertiaSpeed.load(), 0.0);
            EXPECT_EQ(desk.d.blockWanted.size(), size_t(desk.d.numBlocks.load()));
            desk.engine.render(1024);
            EXPECT_EQ(desk.d.position.load(), dragged);
        }
        EXPECT_FALSE(desk.d.isScratching.load());
    }
}

// Lifting from a playing deck never leaves it coasting, and a release past the loop end leaves
// the stop flag clear (before it, see above, the flag is set).
TEST(waveControl, LiftingAPlayingDeckNeverLeavesItCoastingNorStopsItPastTheLoopEnd) {
    Desk desk;
    desk.playing(200000.0);
    desk.d.loopEnd.store(199999);
    desk.d.stopFlag.store(true);
    Finger f{1, 100.0f, 300.0f};
    desk.control.touchesBegan({f.down(1.0)});
    desk.control.touchesMoved({f.move(0.0f, -128.0f, 1.5)});
    desk.d.inertiaSpeed.store(0.7); // as a bend button would leave it
    desk.control.touchesEnded({f.up(1.6)});
    EXPECT_EQ(desk.d.inertiaSpeed.load(), 0.0);
    EXPECT_FALSE(desk.d.stopFlag.load());
}

// --- three fingers: seeking ----------------------------------------------------------------------

TEST(waveControl, ThreeFingersSeekATenthOfTheTrackPer144Points) {
    struct Case {
        const char* name;
        double start;
        float travel; // points, all three fingers (or the one named)
        int steps;
        bool onlySecond;
        bool onlyFirst;
        double expect;
    };
    const double tenth = kLength / 10.0;
    const Case cases[] = {
        {"down 144: a tenth back", 200000.0, 144.0f, 1, false, false, 200000.0 - tenth},
        {"up 144: a tenth on", 200000.0, -144.0f, 1, false, false, 200000.0 + tenth},
        {"in 4 steps of 36", 200000.0, -144.0f, 4, false, false, 200000.0 + tenth},
        {"second finger alone", 200000.0, 144.0f, 1, true, false, 200000.0 - tenth},
        {"first finger alone: no seek", 200000.0, 144.0f, 1, false, true, 200000.0},
        {"not before frame 0", 10000.0, 144.0f, 1, false, false, 0.0},
        {"not past the end", kLength - 10000.0, -144.0f, 1, false, false, double(kLength)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        desk.stopped(c.start);
        auto [a, b, e] = threeFingers();
        desk.control.touchesBegan({a.down(1.0), b.down(1.0), e.down(1.0)});
        ASSERT_EQ(desk.control.noTouches, 3);
        desk.d.decoderBusy.store(false);
        desk.d.blockWanted.clear();
        desk.control.oldSpeed = 0.5f; // as a flick of the first finger would leave it
        const float step = c.travel / static_cast<float>(c.steps);
        for (int i = 0; i < c.steps; ++i) {
            const double t = 1.1 + 0.1 * i;
            if (c.onlySecond) {
                desk.control.touchesMoved({b.move(0.0f, step, t)});
            } else if (c.onlyFirst) {
                desk.control.touchesMoved({a.move(0.0f, step, t)});
            } else {
                desk.control.touchesMoved(
                    {a.move(0.0f, step, t), b.move(0.0f, step, t), e.move(0.0f, step, t)});
            }
        }
        EXPECT_NEAR(desk.d.position.load(), c.expect, 1e-6);
        EXPECT_EQ(desk.control.secondTouch, (waveControl::Point{b.x, b.y}));
        EXPECT_TRUE(desk.d.threeFingerMode.load());
        const bool moved = c.expect != c.start;
        EXPECT_EQ(desk.d.decoderBusy.load(), moved);
        EXPECT_EQ(desk.d.blockWanted.size(), moved ? size_t(desk.d.numBlocks.load()) : 0u);

        // A seek is no flick: the deck does not coast off when the fingers lift.
        desk.control.touchesEnded({a.up(2.0), b.up(2.0), e.up(2.0)});
        EXPECT_EQ(desk.d.inertiaSpeed.load(), 0.0);
        EXPECT_FALSE(desk.control.wasTriple);
        EXPECT_EQ(desk.control.noTouches, 0);
    }
}

TEST(waveControl, TheDisplayFlagsFollowTheFingerCount) {
    Desk desk;
    desk.playing(200000.0);
    auto [a, b, e] = threeFingers();
    const auto flags = [&] {
        return std::make_pair(desk.d.twoFingerMode.load(), desk.d.threeFingerMode.load());
    };
    desk.control.touchesBegan({a.down(1.0)});
    EXPECT_EQ(flags(), std::make_pair(false, false));
    desk.control.touchesBegan({b.down(1.1)});
    EXPECT_EQ(flags(), std::make_pair(false, false));
    EXPECT_EQ(desk.control._secondTouch, (waveControl::Point{150.0f, 320.0f}));

    // Two fingers do not move the deck.
    const double position = desk.d.position.load();
    const double speed = desk.d.speed.load();
    desk.control.touchesMoved({a.move(0.0f, -50.0f, 1.2), b.move(0.0f, -50.0f, 1.2)});
    EXPECT_EQ(desk.d.position.load(), position);
    EXPECT_EQ(desk.d.speed.load(), speed);

    desk.control.touchesBegan({e.down(1.3)});
    EXPECT_EQ(flags(), std::make_pair(false, true));
    EXPECT_TRUE(desk.control.wasTriple);
    desk.control.touchesEnded({e.up(1.4)});
    EXPECT_EQ(flags(), std::make_pair(true, false)); // two remain
    EXPECT_TRUE(desk.d.isScratching.load());
    desk.control.touchesBegan({e.down(1.45)}); // three again
    EXPECT_EQ(flags(), std::make_pair(false, true));
    desk.control.touchesEnded({e.up(1.45)});
    desk.control.touchesEnded({b.up(1.5)});
    EXPECT_EQ(flags(), std::make_pair(false, false));
    EXPECT_TRUE(desk.d.isScratching.load());
    desk.control.touchesEnded({a.up(1.6)});
    EXPECT_EQ(flags(), std::make_pair(false, false));
    EXPECT_FALSE(desk.d.isScratching.load());
    EXPECT_EQ(desk.control.noTouches, 0);

    // An extra lift never counts below zero.
    desk.control.touchesEnded({a.up(1.7)});
    EXPECT_EQ(desk.control.noTouches, 0);
}

TEST(waveControl, ARestartedThreeFingerGestureRestoresTheBaseSpeedWithinRange) {
    struct Case {
        const char* name;
        double baseSpeed;
        bool pitchLock;
        double expectBase;
        bool expectNotice;
    };
    const Case cases[] = {
        {"too fast: 1.15", 1.3, false, 1.15, true},
        {"too slow: 0.85", 0.7, false, 0.85, true},
        {"in range: kept", 1.02, false, 1.02, true},
        {"pitch lock: untouched", 1.3, true, 1.3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        RunLoop loop(clock);
        NotificationCenter center(loop);
        std::vector<int> notices;
        center.addObserver(&notices, "DefaultSpeedChanged", [&](const Notification& n) {
            notices.push_back(std::get<int>(n.object));
        });
        Desk desk(1024, 1, &center);
        desk.stopped(200000.0);
        desk.d.baseSpeed.store(c.baseSpeed);
        desk.d.pitchLock.store(c.pitchLock);
        auto [a, b, e] = threeFingers();
        Finger g{4, 250.0f, 360.0f};
        desk.control.touchesBegan({a.down(1.0), b.down(1.0), e.down(1.0), g.down(1.0)});
        EXPECT_DOUBLE_EQ(desk.control.speedBeforeTripple, c.baseSpeed);
        desk.d.baseSpeed.store(1.0); // moved meanwhile by a pitch fader
        // The system takes the fourth finger away: the gesture starts over with three.
        desk.control.touchesCancelled({g.up(1.1)});
        EXPECT_EQ(desk.control.noTouches, 3);
        EXPECT_FALSE(desk.control.wasTriple);
        desk.control.touchesMoved({b.move(0.0f, 18.0f, 1.2)});
        loop.runDue();
        EXPECT_DOUBLE_EQ(desk.d.baseSpeed.load(), c.pitchLock ? 1.0 : c.expectBase);
        EXPECT_EQ(notices, c.expectNotice ? std::vector<int>{1} : std::vector<int>{});
        EXPECT_TRUE(desk.control.wasTriple);
        EXPECT_NEAR(desk.d.position.load(), 200000.0 - kLength / 80.0, 1e-6);

        // Within the same gesture it happens once.
        desk.control.touchesMoved({b.move(0.0f, 18.0f, 1.3)});
        loop.runDue();
        EXPECT_EQ(notices.size(), c.expectNotice ? 1u : 0u);
    }
}

// --- guards --------------------------------------------------------------------------------------

// What a touch could change on the deck.
struct DeckState {
    double position, speed, inertia;
    bool rampOn, scratching, two, three;
    int32_t countdown;
    bool operator==(const DeckState&) const = default;
};

DeckState stateOf(const audioStream& d) {
    return {d.position.load(),        d.speed.load(),        d.inertiaSpeed.load(),
            d.speedRamp.isOn(),       d.isScratching.load(), d.twoFingerMode.load(),
            d.threeFingerMode.load(), d.stopCountdown.load()};
}

// A full gesture: one finger scratches, three fingers seek, all lift.
void gesture(waveControl& control) {
    auto [a, b, e] = threeFingers();
    control.touchesBegan({a.down(1.0)});
    control.touchesMoved({a.move(0.0f, -200.0f, 1.2)});
    control.touchesBegan({b.down(1.3), e.down(1.3)});
    control.touchesMoved(
        {a.move(0.0f, -144.0f, 1.4), b.move(0.0f, -144.0f, 1.4), e.move(0.0f, -144.0f, 1.4)});
    control.touchesEnded({a.up(1.5), b.up(1.5), e.up(1.5)});
}

TEST(waveControl, WhileFrozenTouchesChangeNothing) {
    Desk desk;
    desk.playing(200000.0);
    desk.d.baseSpeed.store(1.04);
    desk.control.freeze();
    ASSERT_TRUE(desk.control.isFreezed);
    EXPECT_EQ(desk.control.speedFreezed, 1.04);
    EXPECT_EQ(desk.control.indexFreezed, 200000.0);

    const DeckState before = stateOf(desk.d);
    Finger a{1, 100.0f, 300.0f};
    desk.control.touchesBegan({a.down(1.0)});
    desk.control.touchesMoved({a.move(0.0f, -200.0f, 1.2)});
    EXPECT_EQ(stateOf(desk.d), before);
    EXPECT_EQ(desk.control.noTouches, 0);
    gesture(desk.control);
    EXPECT_EQ(stateOf(desk.d), before);

    desk.control.run();
    EXPECT_FALSE(desk.control.isFreezed);
    desk.control.touchesBegan({a.down(2.0)});
    EXPECT_TRUE(desk.d.isScratching.load());
    desk.control.touchesEnded({a.up(2.1)});

    // Freezing a stopped deck unfreezes it.
    desk.stopped(1000.0);
    desk.control.isFreezed = true;
    desk.control.freeze();
    EXPECT_FALSE(desk.control.isFreezed);
}

TEST(waveControl, StopProofIgnoresTouchesOnlyWhileTheDeckPlays) {
    struct Case {
        bool playing;
        bool proof;
        bool handled;
    };
    const Case cases[] = {
        {true, true, false}, {true, false, true}, {false, true, true}, {false, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.playing ? "playing" : "stopped") + (c.proof ? ", proof" : ""));
        Desk desk;
        if (c.playing) {
            desk.playing(200000.0);
        } else {
            desk.stopped(200000.0);
        }
        bool proof = c.proof;
        desk.control.setStopProofQuery([&proof] { return proof; });
        const DeckState before = stateOf(desk.d);
        Finger a{1, 100.0f, 300.0f};
        desk.control.touchesBegan({a.down(1.0)});
        desk.control.touchesMoved({a.move(0.0f, -200.0f, 1.2)});
        EXPECT_EQ(desk.d.isScratching.load(), c.handled);
        EXPECT_EQ(desk.d.position.load() != before.position || desk.d.speed.load() != before.speed,
                  c.handled);
        desk.control.touchesEnded({a.up(1.3)});
        if (!c.handled) {
            EXPECT_EQ(stateOf(desk.d), before);
        }
    }
}

// The deck goes alone on air (stop-proof on) while a finger scratches it: lifting that finger
// still ends the scratch, and the next touch once stop-proof is off scratches afresh.
TEST(waveControl, AFingerDownBeforeStopProofIsStillLifted) {
    Desk desk;
    desk.playing(200000.0);
    bool proof = false;
    desk.control.setStopProofQuery([&proof] { return proof; });
    Finger a{1, 100.0f, 300.0f};
    desk.control.touchesBegan({a.down(1.0)});
    ASSERT_TRUE(desk.d.isScratching.load());
    proof = true;
    desk.control.touchesEnded({a.up(1.2)});
    EXPECT_FALSE(desk.d.isScratching.load());
    EXPECT_EQ(desk.control.noTouches, 0);
    desk.control.touchesBegan({a.down(1.5)}); // still stop-proof: ignored
    EXPECT_EQ(desk.control.noTouches, 0);
    proof = false;
    desk.control.touchesBegan({a.down(2.0)});
    EXPECT_TRUE(desk.d.isScratching.load());
    EXPECT_EQ(desk.control.noTouches, 1);
}

TEST(waveControl, CancelledTouchesAreHandledEvenWhenFrozenAndGlideBack) {
    Desk desk;
    desk.playing(200000.0);
    desk.d.baseSpeed.store(1.1);
    Finger a{1, 100.0f, 300.0f};
    desk.control.touchesBegan({a.down(1.0)});
    desk.control.touchesMoved({a.move(0.0f, -128.0f, 1.5)});
    desk.control.freeze();
    desk.control.touchesEnded({a.up(1.6)}); // ignored: frozen
    EXPECT_TRUE(desk.d.isScratching.load());
    desk.control.touchesCancelled({a.up(1.7)});
    EXPECT_FALSE(desk.d.isScratching.load());
    EXPECT_EQ(desk.control.noTouches, 0);
    EXPECT_EQ(desk.d.stopCountdown.load(), 0);
    ASSERT_TRUE(desk.d.speedRamp.isOn());
    EXPECT_DOUBLE_EQ(desk.d.speedRamp.to.load(), 1.1);
    desk.engine.render(2048);
    EXPECT_EQ(desk.d.speed.load(), 1.1);
}

TEST(waveControl, EveryHandlerOnAnUnloadedDeckIsHarmless) {
    Engine engine;
    audioStream& d = engine.out.deck(0);
    waveControl control(engine.out, 0);
    control.freeze();
    control.run();
    gesture(control);
    Finger a{1, 100.0f, 300.0f};
    control.touchesBegan({a.down(2.0)});
    control.touchesMoved({a.move(0.0f, 300.0f, 2.1)});
    control.touchesCancelled({a.up(2.2)});
    control.stop();
    control.play();
    EXPECT_TRUE(engine.out.engineRunning());
    const auto out = engine.render(4096);
    EXPECT_FALSE(d.isPlaying.load());
    EXPECT_FALSE(d.isScratching.load());
    EXPECT_EQ(control.noTouches, 0);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));

    // An engine that never started has no decks at all.
    OfflineAudioDevice device;
    AudioOut idle(device, nullptr);
    waveControl none(idle, 1);
    EXPECT_EQ(none.stream, nullptr);
    gesture(none);
    none.touchesCancelled({a.up(3.0)});
    none.freeze();
    none.play();
    none.stop();
    EXPECT_EQ(none.noTouches, 0);
}

// --- key lock ------------------------------------------------------------------------------------

TEST(waveControl, UnderKeyLockTheHoldMovesTheReadPositionByTheStretcherLatency) {
    struct Case {
        const char* name;
        bool keyLock;
        bool playing;
    };
    const Case cases[] = {{"key lock, playing", true, true},
                          {"key lock, stopped", true, false},
                          {"pitch mode, playing", false, true},
                          {"pitch mode, stopped", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        if (c.playing) {
            desk.playing(200000.0);
        } else {
            desk.stopped(200000.0);
        }
        desk.d.pitchMode.store(!c.keyLock);
        desk.d.stretchLatency.store(-4000.0);
        const double shift = c.keyLock ? -4000.0 : 0.0;
        Finger a{1, 100.0f, 300.0f};
        Finger b{2, 150.0f, 320.0f};
        desk.control.touchesBegan({a.down(1.0)});
        EXPECT_DOUBLE_EQ(desk.d.position.load(), 200000.0 + shift);
        if (c.playing) {
            EXPECT_DOUBLE_EQ(desk.control.indexBeforeStratch, 200000.0 + shift);
        }
        // A second finger and its lift do not shift again.
        desk.control.touchesBegan({b.down(1.1)});
        desk.control.touchesEnded({b.up(1.2)});
        EXPECT_DOUBLE_EQ(desk.d.position.load(), 200000.0 + shift);
        desk.control.touchesEnded({a.up(1.3)});
        // A playing deck's stretcher is emptied and refilled at once, so it is heard from the
        // read position: the hold's audible position stays. A stopped deck keeps its stretcher
        // (and its latency) for when it plays again.
        EXPECT_DOUBLE_EQ(desk.d.position.load(), c.keyLock && c.playing ? 196000.0 : 200000.0);
    }
}

TEST(waveControl, UnderKeyLockADraggedDeckKeepsTheDraggedAudiblePosition) {
    Desk desk;
    desk.stopped(200000.0);
    desk.d.pitchMode.store(false);
    const double audible = audiblePosition(desk.d);
    Finger a{1, 100.0f, 300.0f};
    desk.control.touchesBegan({a.down(1.0)});
    desk.control.touchesMoved({a.move(0.0f, -10.0f, 5.0)});
    desk.control.touchesEnded({a.up(5.0)});
    EXPECT_DOUBLE_EQ(audiblePosition(desk.d), audible + 2560.0);
}

// --- play and stop -------------------------------------------------------------------------------

TEST(waveControl, PlayStartsTheDeckAndTheEngineAtTheBaseSpeed) {
    Desk desk(256);
    desk.d.pitchMode.store(true);
    desk.d.baseSpeed.store(1.1);
    desk.d.position.store(5000.0);
    desk.d.firstPlayPending.store(true);
    int firstPlays = 0;
    desk.control.setFirstPlayHook([&](audioStream&) { ++firstPlays; });
    ASSERT_FALSE(desk.engine.out.engineRunning());
    desk.control.play();
    EXPECT_TRUE(desk.d.isPlaying.load());
    EXPECT_TRUE(desk.engine.out.engineRunning());
    EXPECT_EQ(desk.d.speed.load(), 1.1);
    EXPECT_FALSE(desk.d.speedRamp.isOn());
    EXPECT_EQ(firstPlays, 1);
    desk.engine.render(1024);
    EXPECT_NEAR(desk.d.position.load(), 5000.0 + 1.1 * 1024, 1e-6);
    desk.control.play();
    EXPECT_EQ(firstPlays, 1);
}

TEST(waveControl, StopClosesTheTrackAndPlayReopensIt) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const auto track = dir.path() / "Music" / "Loop.wav";
    std::filesystem::create_directories(track.parent_path());
    ASSERT_TRUE(test::writeTrack(track, 100000, test::frameCode));
    ManualClock clock;
    RunLoop loop(clock);
    UserDefaults defaults(dir.file("settings.json"));
    EngineServices services;
    services.defaults = &defaults;
    services.loop = &loop;
    services.startAnalysis = [](const std::filesystem::path&) {}; // no analysis thread
    OfflineAudioDevice device(OfflineAudioDevice::Options{.bufferFrames = 1024});
    AudioOut engine(device, &loop, &services);
    ASSERT_TRUE(engine.init());
    ASSERT_TRUE(engine.StartSound());
    engine.runDecode(1, track);
    ASSERT_TRUE(engine.settleDecoders(30.0));
    loop.runDue();
    audioStream& d = engine.deck(1);
    ASSERT_TRUE(d.isLoaded.load());

    waveControl control(engine, 1, nullptr, &services);
    control.play();
    ASSERT_TRUE(d.isPlaying.load());
    device.renderToMemory(4096);
    d.baseSpeed.store(1.05);
    control.stop();
    EXPECT_FALSE(d.isLoaded.load());
    EXPECT_FALSE(d.isPlaying.load());
    EXPECT_EQ(d.position.load(), 0.0);
    EXPECT_EQ(d.nextReadFrame.load(), 0);
    EXPECT_EQ(control.storedTrack(), track);
    const auto memory = defaults.mapForKey(trackMemoryKey(track));
    ASSERT_TRUE(memory.has_value());
    EXPECT_EQ(UserDefaults::asDouble(memory->at("kSpeed")), 1.05);
    control.stop(); // nothing loaded: nothing to do
    EXPECT_EQ(control.storedTrack(), track);

    control.play(); // reopens, does not start
    ASSERT_TRUE(engine.settleDecoders(30.0));
    loop.runDue();
    EXPECT_TRUE(d.isLoaded.load());
    EXPECT_FALSE(d.isPlaying.load());
    EXPECT_EQ(d.lengthFrames.load(), 100000);
    control.play();
    EXPECT_TRUE(d.isPlaying.load());
    engine.closeDecoders();
}

} // namespace
} // namespace vx
