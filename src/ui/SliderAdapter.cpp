#include "ui/SliderAdapter.h"

#include "deck/AMSlider.h"

namespace vx::ui {

SliderAdapter::SliderAdapter(Source source, std::function<void()> touched, QObject* parent)
    : QObject(parent), source_(std::move(source)), touched_(std::move(touched)) {}

void SliderAdapter::applyGeometry(AMSlider& s) {
    s.setHorizontal(geometry_.horizontal);
    s.setFrame(float(geometry_.width), float(geometry_.height));
    s.setPointerSize(float(geometry_.pointerWidth), float(geometry_.pointerHeight));
}

void SliderAdapter::refresh() {
    State next;
    AMSlider* s = source_();
    // A control made after QML sized its view (the party screen's volume appears with its
    // controller) gets the view's geometry here, or it would have no pointer and no travel.
    if (!s) {
        sized_ = nullptr; // a later control may take the same address
    } else if (s != sized_ && geometry_.known) {
        applyGeometry(*s);
        sized_ = s;
    }
    if (s) {
        const TouchRect r = s->pointerRect();
        next.value = s->value();
        next.pointerX = r.x;
        next.pointerY = r.y;
        next.pointerWidth = r.width;
        next.pointerHeight = r.height;
        next.selected = s->selected();
        next.overShown = s->pointerOverShown();
    }
    if (!(next == state_)) {
        state_ = next;
        emit changed();
    }
}

void SliderAdapter::setGeometry(double width, double height, double pointerWidth,
                                double pointerHeight, bool horizontal) {
    geometry_ = {width, height, pointerWidth, pointerHeight, horizontal, true};
    if (AMSlider* s = source_()) {
        applyGeometry(*s);
        sized_ = s;
    }
    refresh();
}

void SliderAdapter::touchBegan(double x, double y, double timestamp) {
    if (AMSlider* s = source_()) {
        s->touchBegan({float(x), float(y)}, timestamp);
    }
    afterTouch();
}

void SliderAdapter::touchMoved(double x, double y, double timestamp) {
    if (AMSlider* s = source_()) {
        s->touchMoved({float(x), float(y)}, timestamp);
    }
    afterTouch();
}

void SliderAdapter::touchEnded(double x, double y, double timestamp) {
    if (AMSlider* s = source_()) {
        if (tapsOffPointerIgnored_ && !s->captured()) {
            s->touchCancelled(); // ends the touch without its touch-up event
        } else {
            s->touchEnded({float(x), float(y)}, timestamp);
        }
    }
    afterTouch();
}

void SliderAdapter::touchCancelled() {
    if (AMSlider* s = source_()) {
        s->touchCancelled();
    }
    afterTouch();
}

void SliderAdapter::afterTouch() {
    refresh();
    if (touched_) {
        touched_();
    }
}

} // namespace vx::ui
