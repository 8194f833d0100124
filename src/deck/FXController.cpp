#include "deck/FXController.h"

#include <algorithm>

namespace vx {

void FXController::setFrame(float width, float height) {
    width_ = width;
    height_ = height;
    updateGeometry();
}

void FXController::setPuckSize(float width, float height) {
    puckWidth_ = width;
    puckHeight_ = height;
    updateGeometry();
}

void FXController::updateGeometry() {
    w_ = width_ - puckWidth_;
    h_ = height_ - puckHeight_;
    ox_ = puckWidth_ / 2.0f;
    oy_ = puckHeight_ / 2.0f;
}

void FXController::send(Event event) {
    if (handler_) {
        handler_(*this, event);
    }
}

void FXController::setXParam(float x) {
    x = std::clamp(x, 0.0f, 1.0f);
    if (x != xParam_) {
        xParam_ = x;
        send(Event::ValueChanged);
    }
}

void FXController::setYParam(float y) {
    y = std::clamp(y, 0.0f, 1.0f);
    if (y != yParam_) {
        yParam_ = y;
        send(Event::ValueChanged);
    }
}

void FXController::track(TouchPoint p) {
    // A pad without travel on an axis (puck as large as the pad) pins that parameter at 0.
    const float x = w_ > 0.0f ? (std::clamp(p.x, ox_, ox_ + w_) - ox_) / w_ : 0.0f;
    const float y = h_ > 0.0f ? 1.0f - (std::clamp(p.y, oy_, oy_ + h_) - oy_) / h_ : 0.0f;
    setXParam(x);
    setYParam(y);
}

void FXController::touchBegan(TouchPoint p, double) {
    touched_ = true;
    send(Event::TouchDown);
    track(p);
}

void FXController::touchMoved(TouchPoint p, double) {
    if (touched_) {
        track(p);
    }
}

void FXController::touchEnded(TouchPoint, double) {
    if (!touched_) {
        return;
    }
    touched_ = false;
    send(Event::TouchUp);
}

void FXController::touchCancelled() {
    if (!touched_) {
        return;
    }
    touched_ = false;
    send(Event::TouchCancel);
}

TouchPoint FXController::puckCentre() const {
    return {ox_ + w_ * xParam_, oy_ + h_ * (1.0f - yParam_)};
}

} // namespace vx
