#pragma once
// AMSlider: the touch fader and knob of the mixing screen (crossfader, channel faders, gain and
// master knobs, EQ, LP/HP). It keeps a value between `min` and `max`, a pointer that shows it
// along one axis, and turns touches (points and timestamps) into value changes and control
// events. It draws nothing: the shell asks for the pointer's rectangle and the selected and
// "over" flags and draws its images there.
//
// Touch rules: a touch that lands on the pointer catches it; with jumping on, a touch on one of
// three pointer-sized zones (either end and the middle) sets the value there and catches the
// pointer too. A caught pointer follows the finger relatively (the value moves by the finger's
// travel over the pointer's travel), so grabbing it never makes it leap. The second tap of a
// double tap does not track at all: it only reports the double tap, which the crossfader uses
// to start an automatic fade.
//
// Threads: main thread only. Owns nothing but its own state; the callbacks run synchronously
// inside the touch calls.

#include <functional>

namespace vx {

// A point in the control's own coordinates (points, origin top left).
struct TouchPoint {
    float x = 0.0f;
    float y = 0.0f;
};

// A rectangle in the control's own coordinates (points).
struct TouchRect {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    // Half-open: the left and top edges belong to the rectangle, the right and bottom do not.
    bool contains(TouchPoint p) const {
        return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height;
    }
};

class AMSlider {
public:
    // What the control reports to its owner.
    enum class Event {
        TouchDown,        // the pointer was caught
        ValueChanged,     // the value changed by a touch (never by setValue)
        TouchUpInside,    // a touch that did not catch the pointer ended
        TouchUpOutside,   // a touch that had caught the pointer ended
        TouchDownRepeat,  // second tap of a double tap, the first had caught the pointer
        TouchDragOutside, // second tap of a double tap, the first had not
    };
    using EventHandler = std::function<void(AMSlider& sender, Event event)>;

    // Two taps count as a double tap when the second begins within this many seconds of the
    // first one's end and this many points from it, and the first did not travel further.
    static constexpr double kDoubleTapSeconds = 0.35;
    static constexpr float kDoubleTapDistance = 40.0f;
    static constexpr float kTapTravel = 10.0f;
    // A touch-moved value this close to 0.5 becomes 0.5 when snapping is on.
    static constexpr float kSnapDistance = 0.03f;
    // The "over" image shows when the value is this close to 0.5.
    static constexpr float kOverDistance = 0.05f;

    // Main thread: 0…1 at 0.5, horizontal, no geometry yet (set it with setFrame).
    AMSlider() = default;

    // --- configuration (main thread) ---------------------------------------------------------
    // The control's size and its pointer's size, points; recomputes the pointer's travel.
    void setFrame(float width, float height);
    void setPointerSize(float width, float height);
    void setHorizontal(bool horizontal);
    void setRange(float min, float max);
    void setCanJump(bool on) { canJump_ = on; }
    void setSnapToCenter(bool on) { snap2Center_ = on; }
    // Whether the shell has an "over" image for this control (none by default).
    void setHasPointerOver(bool has) { hasPointerOver_ = has; }
    // The owner's number for this control (the mixing screen uses the deck number).
    void setTag(int tag) { tag_ = tag; }
    void setEventHandler(EventHandler handler) { handler_ = std::move(handler); }

    // --- value (main thread) ------------------------------------------------------------------
    float value() const { return value_; }
    // Sets the value as given (no clamping) and redraws; sends no event.
    void setValue(float value);
    float min() const { return min_; }
    float max() const { return max_; }
    int tag() const { return tag_; }

    // --- touches (main thread; points in the control's coordinates, timestamps in seconds) ----
    void touchBegan(TouchPoint p, double timestamp);
    void touchMoved(TouchPoint p, double timestamp);
    void touchEnded(TouchPoint p, double timestamp);
    void touchCancelled();

    // --- what the shell draws (main thread) ---------------------------------------------------
    // The pointer's rectangle for the current value, points.
    TouchRect pointerRect() const;
    // Selected: the "on" background and pointer images are shown.
    bool selected() const { return selected_; }
    // The "over" image, centred on the pointer, is shown.
    bool pointerOverShown() const;
    // Incremented on every change that needs a redraw.
    int displayVersion() const { return displayVersion_; }

    // --- geometry and touch state (main thread) ---------------------------------------------
    bool horizontal() const { return horizontal_; }
    bool captured() const { return captured_; }
    float space() const { return space_; }
    float ispace() const { return ispace_; }
    float width() const { return width_; }
    float height() const { return height_; }
    // Where the last touch that did not catch the pointer ended, points.
    TouchPoint lastPoint() const { return lastPoint_; }
    float lastCoord() const { return lastCoord_; }
    float valueAtBegin() const { return valueAtBegin_; }
    TouchPoint pointAtBegin() const { return pointAtBegin_; }

private:
    void updateGeometry();
    TouchRect pointerRectFor(float value) const;
    void capture(TouchPoint p);
    void send(Event event);
    void redraw() { ++displayVersion_; }

    float width_ = 0.0f;
    float height_ = 0.0f;
    float pointerWidth_ = 0.0f;
    float pointerHeight_ = 0.0f;
    bool horizontal_ = true;
    bool selected_ = false;
    float value_ = 0.5f;
    float valueAtBegin_ = 0.5f;
    TouchPoint pointAtBegin_;
    float min_ = 0.0f;
    float max_ = 1.0f;
    float lastCoord_ = 0.0f;
    TouchPoint lastPoint_;
    bool captured_ = false;
    float space_ = 0.0f;
    float ispace_ = 0.0f;
    bool canJump_ = false;
    bool snap2Center_ = false;
    bool hasPointerOver_ = false;
    int tag_ = 0;
    int displayVersion_ = 0;
    EventHandler handler_;

    // Double-tap tracking.
    bool tracking_ = false;   // the current touch began normally (not a repeat tap)
    bool touchIsTap_ = false; // the current touch has not travelled beyond kTapTravel
    bool lastWasTap_ = false; // the previous touch ended as a tap
    double lastEndTime_ = -1e9;
    TouchPoint lastEndPoint_;
    TouchPoint touchStart_;
};

} // namespace vx
