#include "ui/XYPadAdapter.h"

#include "deck/FXController.h"

namespace vx::ui {

XYPadAdapter::XYPadAdapter(Source source, std::function<void()> touched, QObject* parent)
    : QObject(parent), source_(std::move(source)), touched_(std::move(touched)) {}

void XYPadAdapter::refresh() {
    State next;
    if (FXController* pad = source_()) {
        const TouchPoint c = pad->puckCentre();
        next.puckX = c.x;
        next.puckY = c.y;
        next.xParam = pad->xParam();
        next.yParam = pad->yParam();
        next.touched = pad->touched();
    }
    if (!(next == state_)) {
        state_ = next;
        emit changed();
    }
}

void XYPadAdapter::setGeometry(double width, double height, double puckWidth, double puckHeight) {
    if (FXController* pad = source_()) {
        pad->setFrame(float(width), float(height));
        pad->setPuckSize(float(puckWidth), float(puckHeight));
    }
    refresh();
}

void XYPadAdapter::touchBegan(double x, double y, double timestamp) {
    if (FXController* pad = source_()) {
        pad->touchBegan({float(x), float(y)}, timestamp);
    }
    afterTouch();
}

void XYPadAdapter::touchMoved(double x, double y, double timestamp) {
    if (FXController* pad = source_()) {
        pad->touchMoved({float(x), float(y)}, timestamp);
    }
    afterTouch();
}

void XYPadAdapter::touchEnded(double x, double y, double timestamp) {
    if (FXController* pad = source_()) {
        pad->touchEnded({float(x), float(y)}, timestamp);
    }
    afterTouch();
}

void XYPadAdapter::touchCancelled() {
    if (FXController* pad = source_()) {
        pad->touchCancelled();
    }
    afterTouch();
}

void XYPadAdapter::afterTouch() {
    refresh();
    if (touched_) {
        touched_();
    }
}

} // namespace vx::ui
