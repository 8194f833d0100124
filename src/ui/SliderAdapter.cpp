#include "ui/SliderAdapter.h"

#include "deck/AMSlider.h"

namespace vx::ui {

SliderAdapter::SliderAdapter(Source source, std::function<void()> touched, QObject* parent)
    : QObject(parent), source_(std::move(source)), touched_(std::move(touched)) {}

void SliderAdapter::refresh() {
    State next;
    if (AMSlider* s = source_()) {
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
    if (AMSlider* s = source_()) {
        s->setHorizontal(horizontal);
        s->setFrame(float(width), float(height));
        s->setPointerSize(float(pointerWidth), float(pointerHeight));
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
        s->touchEnded({float(x), float(y)}, timestamp);
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
