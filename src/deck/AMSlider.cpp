#include "deck/AMSlider.h"

#include <algorithm>
#include <cmath>

namespace vx {

namespace {

float distance(TouchPoint a, TouchPoint b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace

void AMSlider::setFrame(float width, float height) {
    width_ = width;
    height_ = height;
    updateGeometry();
}

void AMSlider::setPointerSize(float width, float height) {
    pointerWidth_ = width;
    pointerHeight_ = height;
    updateGeometry();
}

void AMSlider::setHorizontal(bool horizontal) {
    horizontal_ = horizontal;
    updateGeometry();
}

void AMSlider::setRange(float min, float max) {
    min_ = min;
    max_ = max;
}

void AMSlider::setValue(float value) {
    value_ = value;
    redraw();
}

void AMSlider::updateGeometry() {
    if (horizontal_) {
        space_ = width_ - pointerWidth_;
        ispace_ = (height_ - pointerHeight_) / 2.0f - 1.0f;
    } else {
        space_ = height_ - pointerHeight_;
        ispace_ = (width_ - pointerWidth_) / 2.0f;
    }
    redraw();
}

TouchRect AMSlider::pointerRectFor(float value) const {
    if (horizontal_) {
        return {value * space_, ispace_, pointerWidth_, pointerHeight_};
    }
    return {ispace_, (1.0f - value) * space_, pointerWidth_, pointerHeight_};
}

TouchRect AMSlider::pointerRect() const {
    return pointerRectFor(value_);
}

bool AMSlider::pointerOverShown() const {
    if (!hasPointerOver_) {
        return false;
    }
    return std::fabs(value_ - 0.5f) <= kOverDistance ||
           (canJump_ && (value_ == 0.0f || value_ == 1.0f));
}

void AMSlider::send(Event event) {
    if (handler_) {
        handler_(*this, event);
    }
}

void AMSlider::capture(TouchPoint p) {
    captured_ = true;
    selected_ = true;
    valueAtBegin_ = value_;
    pointAtBegin_ = p;
}

void AMSlider::touchBegan(TouchPoint p, double timestamp) {
    touchStart_ = p;
    touchIsTap_ = true;
    const bool repeat = lastWasTap_ && timestamp - lastEndTime_ <= kDoubleTapSeconds &&
                        distance(p, lastEndPoint_) <= kDoubleTapDistance;
    if (repeat) {
        // The second tap reports the double tap and does not track; `captured_` still tells
        // whether the first tap had caught the pointer.
        tracking_ = false;
        send(captured_ ? Event::TouchDownRepeat : Event::TouchDragOutside);
        return;
    }
    tracking_ = true;
    captured_ = false;
    if (pointerRect().contains(p)) {
        lastCoord_ = horizontal_ ? p.x : p.y;
        capture(p);
        redraw();
        send(Event::TouchDown);
        return;
    }
    if (!canJump_) {
        return;
    }
    // The zones sit where the pointer would stand at either end and in the middle; the origin
    // end is the left of a horizontal slider (its minimum) and the top of a vertical one (its
    // maximum).
    const float origin = horizontal_ ? min_ : max_;
    const float far = horizontal_ ? max_ : min_;
    const float middle = (min_ + max_) / 2.0f;
    const struct {
        float rectValue;
        float value;
    } zones[] = {
        {horizontal_ ? 0.0f : 1.0f, origin},
        {horizontal_ ? 1.0f : 0.0f, far},
        {0.5f, middle},
    };
    for (const auto& zone : zones) {
        if (pointerRectFor(zone.rectValue).contains(p)) {
            value_ = zone.value;
            capture(p);
            send(Event::ValueChanged);
            redraw();
            return;
        }
    }
}

void AMSlider::touchMoved(TouchPoint p, double) {
    if (distance(p, touchStart_) > kTapTravel) {
        touchIsTap_ = false;
    }
    if (!tracking_ || !captured_ || space_ <= 0.0f) {
        return;
    }
    float v = horizontal_ ? valueAtBegin_ + (p.x - pointAtBegin_.x) / space_
                          : valueAtBegin_ - (p.y - pointAtBegin_.y) / space_;
    v = std::clamp(v, min_, max_);
    if (snap2Center_ && std::fabs(v - 0.5f) <= kSnapDistance) {
        v = 0.5f;
    }
    if (v != value_) {
        value_ = v;
        redraw();
        send(Event::ValueChanged);
    }
}

void AMSlider::touchEnded(TouchPoint p, double timestamp) {
    if (distance(p, touchStart_) > kTapTravel) {
        touchIsTap_ = false;
    }
    lastWasTap_ = touchIsTap_;
    lastEndTime_ = timestamp;
    lastEndPoint_ = p;
    selected_ = false;
    if (tracking_) {
        tracking_ = false;
        if (captured_) {
            send(Event::TouchUpOutside);
        } else {
            lastPoint_ = p;
            send(Event::TouchUpInside);
        }
    }
    redraw();
}

void AMSlider::touchCancelled() {
    tracking_ = false;
    lastWasTap_ = false;
    selected_ = false;
    redraw();
}

} // namespace vx
