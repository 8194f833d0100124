#include "ui/WaveformItem.h"

#include "engine/audioStream.h"
#include "ui/WaveformHub.h"
#include "ui/WaveformNode.h"

#include <QQuickWindow>
#include <QSGRendererInterface>

#include <algorithm>

namespace vx::ui {

WaveformItem::WaveformItem(QQuickItem* parent) : QQuickItem(parent) {
    setFlag(ItemHasContents, true);
    setAcceptTouchEvents(true);
    setAcceptedMouseButtons(Qt::LeftButton);
}

WaveformItem::~WaveformItem() = default;

void WaveformItem::setDeck(int deck) {
    deck &= 1;
    if (deck == deck_) {
        return;
    }
    cancelAll();
    deck_ = deck;
    emit deckChanged();
    update();
}

void WaveformItem::componentComplete() {
    QQuickItem::componentComplete();
    connectHub();
}

void WaveformItem::connectHub() {
    if (hub_ || !WaveformHub::instance()) {
        return;
    }
    hub_ = WaveformHub::instance();
    connect(hub_, &WaveformHub::frame, this, &WaveformItem::onFrame);
    connect(hub_, &QObject::destroyed, this, [this] { hub_ = nullptr; });
}

waveControl* WaveformItem::control() const {
    return hub_ ? hub_->control(deck_) : nullptr;
}

void WaveformItem::onFrame() {
    const waveControl* c = control();
    if (!c) {
        return;
    }
    // The label's text and place change at most once a minute of track or when it scrolls;
    // the change signal fires only when something differs.
    bool changed = false;
    const auto set = [&changed](auto& field, const auto& value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    set(analysing_, hub_->analysing());
    set(minuteVisible_, c->isMinuteLabelVisible);
    if (c->isMinuteLabelVisible) {
        set(minuteText_, QString::fromStdString(c->minuteLabel));
        const QPointF topLeft = toItem(QPointF(c->minuteLabelPoint.x, c->minuteLabelPoint.y));
        const QPointF bottomRight =
            toItem(QPointF(c->minuteLabelPoint.x + c->geometry().labelWidth,
                           c->minuteLabelPoint.y + c->geometry().labelHeight));
        const QRectF rect(topLeft, bottomRight);
        if (rect != minuteRect_) {
            minuteRect_ = rect;
            emit minuteRectChanged();
        }
        set(minutePixelSize_,
            std::max(6.0, c->geometry().labelFontSize * height() / waveControl::kRows));
        set(minuteAlignRight_, c->minuteLabelAlignRight);
    }
    if (changed) {
        emit labelChanged();
    }
    update();
}

QPointF WaveformItem::toControl(QPointF p) const {
    const waveControl* c = control();
    const double w = c ? WaveformHub::controlWidth(*c) : 1.0;
    if (width() <= 0 || height() <= 0) {
        return {};
    }
    return QPointF(p.x() * w / width(), p.y() * waveControl::kRows / height());
}

QPointF WaveformItem::toItem(QPointF p) const {
    const waveControl* c = control();
    const double w = c ? WaveformHub::controlWidth(*c) : 1.0;
    return QPointF(p.x() * width() / w, p.y() * height() / waveControl::kRows);
}

QSGNode* WaveformItem::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
    const waveControl* c = control();
    if (!c || !c->stream || !window()) {
        delete old;
        return nullptr;
    }
    auto* node = nodeForBackend<WaveformNode>(old, window());
    node->sync(*c, size(), c->stream->isLoaded.load(std::memory_order_relaxed),
               c->stream->isPlaying.load(std::memory_order_relaxed));
    paints_.fetch_add(1, std::memory_order_relaxed);
    return node;
}

waveControl::Touch WaveformItem::touchAt(int id, QPointF pos, QPointF previous,
                                         quint64 timestampMs) const {
    const QPointF now = toControl(pos);
    const QPointF before = toControl(previous);
    return waveControl::Touch{.id = id,
                              .x = float(now.x()),
                              .y = float(now.y()),
                              .previousX = float(before.x()),
                              .previousY = float(before.y()),
                              .timestamp = double(timestampMs) / 1000.0};
}

void WaveformItem::touchEvent(QTouchEvent* event) {
    waveControl* c = control();
    if (!c) {
        event->ignore();
        return;
    }
    if (event->type() == QEvent::TouchCancel) {
        cancelAll();
        event->accept();
        return;
    }
    std::vector<waveControl::Touch> began;
    std::vector<waveControl::Touch> moved;
    std::vector<waveControl::Touch> ended;
    for (const QEventPoint& p : event->points()) {
        const waveControl::Touch t =
            touchAt(p.id(), p.position(), p.lastPosition(), event->timestamp());
        switch (p.state()) {
        case QEventPoint::Pressed:
            began.push_back(t);
            fingers_.push_back(p.id());
            break;
        case QEventPoint::Updated:
            moved.push_back(t);
            break;
        case QEventPoint::Released:
            ended.push_back(t);
            std::erase(fingers_, p.id());
            break;
        default:
            break;
        }
    }
    if (!began.empty()) {
        c->touchesBegan(began);
    }
    if (!moved.empty()) {
        c->touchesMoved(moved);
    }
    if (!ended.empty()) {
        c->touchesEnded(ended);
    }
    event->accept();
}

void WaveformItem::cancelAll() {
    waveControl* c = control();
    std::vector<waveControl::Touch> held;
    for (int id : fingers_) {
        held.push_back(waveControl::Touch{.id = id});
    }
    if (mouseDown_) {
        const QPointF at = toControl(lastMouse_);
        held.push_back(waveControl::Touch{.id = 0,
                                          .x = float(at.x()),
                                          .y = float(at.y()),
                                          .previousX = float(at.x()),
                                          .previousY = float(at.y())});
    }
    fingers_.clear();
    mouseDown_ = false;
    if (c && !held.empty()) {
        c->touchesCancelled(held);
    }
}

void WaveformItem::touchUngrabEvent() {
    cancelAll();
}

void WaveformItem::mousePressEvent(QMouseEvent* event) {
    waveControl* c = control();
    if (!c || mouseDown_) {
        event->ignore();
        return;
    }
    mouseDown_ = true;
    lastMouse_ = event->position();
    c->touchesBegan({touchAt(0, lastMouse_, lastMouse_, event->timestamp())});
    event->accept();
}

void WaveformItem::mouseMoveEvent(QMouseEvent* event) {
    waveControl* c = control();
    if (!c || !mouseDown_) {
        return;
    }
    const QPointF previous = lastMouse_;
    lastMouse_ = event->position();
    c->touchesMoved({touchAt(0, lastMouse_, previous, event->timestamp())});
}

void WaveformItem::mouseReleaseEvent(QMouseEvent* event) {
    waveControl* c = control();
    if (!c || !mouseDown_) {
        return;
    }
    mouseDown_ = false;
    const QPointF previous = lastMouse_;
    lastMouse_ = event->position();
    c->touchesEnded({touchAt(0, lastMouse_, previous, event->timestamp())});
}

void WaveformItem::mouseUngrabEvent() {
    if (mouseDown_) {
        cancelAll();
    }
}

} // namespace vx::ui
