#pragma once
// FXController: the effect panel's XY pad. A finger on the pad moves a puck; its centre's
// position over the pad gives two parameters between 0 and 1 — x from left to right, y from
// bottom to top — which the mixing screen feeds to the deck's chosen effect. The puck's centre
// cannot leave the pad (half a puck from each edge), so the whole range is reachable without
// the finger leaving the control.
//
// Like AMSlider it draws nothing: the shell places the puck image at puckCentre() and
// highlights it while touched(). Events: touch-down when a finger lands, value-changed for
// every parameter that changes (x and y separately), touch-up when it lifts, touch-cancel when
// the system takes it away.
//
// Threads: main thread only; callbacks run synchronously inside the touch calls.

#include "deck/AMSlider.h"

#include <functional>

namespace vx {

class FXController {
public:
    enum class Event { TouchDown, ValueChanged, TouchUp, TouchCancel };
    using EventHandler = std::function<void(FXController& sender, Event event)>;

    // Main thread: parameters 0.5, 0.5, no geometry yet.
    FXController() = default;

    // Main thread: the pad's size and the puck's size, points.
    void setFrame(float width, float height);
    void setPuckSize(float width, float height);
    // Main thread: the owner's number (the mixing screen uses the deck number).
    void setTag(int tag) { tag_ = tag; }
    int tag() const { return tag_; }
    void setEventHandler(EventHandler handler) { handler_ = std::move(handler); }

    // Main thread: parameters 0…1 (x left → right, y bottom → top).
    float xParam() const { return xParam_; }
    float yParam() const { return yParam_; }
    // Main thread: clamps to 0…1; a new value sends value-changed.
    void setXParam(float x);
    void setYParam(float y);

    // Main thread: finger events, points in the pad's coordinates, timestamps in seconds.
    void touchBegan(TouchPoint p, double timestamp);
    void touchMoved(TouchPoint p, double timestamp);
    void touchEnded(TouchPoint p, double timestamp);
    void touchCancelled();

    // Main thread: where the shell draws the puck (its centre, points) and whether it is lit.
    TouchPoint puckCentre() const;
    bool touched() const { return touched_; }
    // Travel of the puck's centre and half the puck's size, points.
    float w() const { return w_; }
    float h() const { return h_; }
    float ox() const { return ox_; }
    float oy() const { return oy_; }

private:
    void updateGeometry();
    void track(TouchPoint p);
    void send(Event event);

    float width_ = 0.0f;
    float height_ = 0.0f;
    float puckWidth_ = 0.0f;
    float puckHeight_ = 0.0f;
    float xParam_ = 0.5f;
    float yParam_ = 0.5f;
    float w_ = 0.0f;
    float h_ = 0.0f;
    float ox_ = 0.0f;
    float oy_ = 0.0f;
    bool touched_ = false;
    int tag_ = 0;
    EventHandler handler_;
};

} // namespace vx
