#include "ui/OverviewItem.h"

#include "controls/VXAudioStreamNavigator.h"
#include "app/DuovexAppDelegate.h"
#include "deck/SampleTestController.h"
#include "engine/audioStream.h"
#include "ui/OverviewNode.h"
#include "ui/WaveformHub.h"

#include <QColor>
#include <QQuickWindow>
#include <QSGRendererInterface>

namespace vx::ui {

namespace {

// The mixing screen's periodic navigator update, milliseconds.
constexpr int kPollMs = 100;

} // namespace

OverviewItem::OverviewItem(QQuickItem* parent) : QQuickItem(parent) {
    setFlag(ItemHasContents, true);
    setAcceptTouchEvents(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    connect(&timer_, &QTimer::timeout, this, &OverviewItem::poll);
    timer_.start(kPollMs);
}

OverviewItem::~OverviewItem() = default;

void OverviewItem::setDeck(int deck) {
    deck &= 1;
    if (deck == deck_) {
        return;
    }
    cancel();
    deck_ = deck;
    navigator_.reset();
    seenNavigatorUpdates_ = -1;
    seenNameUpdates_ = -1;
    emit deckChanged();
    poll();
}

QColor OverviewItem::textColor() const {
    if (!navigator_) {
        return QColor(Qt::white);
    }
    const RgbaF c = navigator_->displayWave().textColor();
    return QColor::fromRgbF(c.r, c.g, c.b, c.a);
}

bool OverviewItem::ensureNavigator() {
    if (navigator_) {
        return true;
    }
    WaveformHub* hub = WaveformHub::instance();
    audioStream* stream = hub ? hub->deck(deck_) : nullptr;
    if (!stream || width() <= 0 || height() <= 0) {
        return false;
    }
    const ScreenLayout layout = hub->tablet() ? ScreenLayout::Tablet : ScreenLayout::Phone;
    navigator_ =
        std::make_unique<VXAudioStreamNavigator>(*stream, float(width()), float(height()), layout);
    navigator_->setSideIndent(layout == ScreenLayout::Phone);
    labelPixelSize_ = layout == ScreenLayout::Tablet ? VXAudioStreamDisplay::kMinuteFontTablet
                                                     : VXAudioStreamDisplay::kMinuteFontPhone;
    return true;
}

void OverviewItem::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() == oldGeometry.size()) {
        return;
    }
    if (navigator_ && !newGeometry.isEmpty()) {
        navigator_->setSize(float(newGeometry.width()), float(newGeometry.height()));
        rebuild();
    } else {
        poll();
    }
}

void OverviewItem::rebuild() {
    navigator_->updateDisplay();
    refreshLabels();
    repaintIfRedrawn();
}

void OverviewItem::poll() {
    const bool fresh = !navigator_;
    if (!ensureNavigator()) {
        return;
    }
    WaveformHub* hub = WaveformHub::instance();
    const SampleTestController* screen = hub ? hub->app().mixingScreen() : nullptr;
    int navigatorUpdates = 0;
    int nameUpdates = 0;
    if (screen) {
        navigatorUpdates = screen->view(deck_).navigatorUpdates;
        nameUpdates = screen->view(deck_).nameUpdates;
    }
    if (fresh || navigatorUpdates != seenNavigatorUpdates_ || nameUpdates != seenNameUpdates_) {
        seenNavigatorUpdates_ = navigatorUpdates;
        seenNameUpdates_ = nameUpdates;
        rebuild();
        return;
    }
    navigator_->displayMarks().tryDisplay();
    repaintIfRedrawn();
}

void OverviewItem::refreshLabels() {
    QVariantList labels;
    for (const auto& mark : navigator_->displayWave().minuteMarks()) {
        labels.push_back(QVariantMap{{QStringLiteral("text"), QString::number(mark.minute)},
                                     {QStringLiteral("x"), mark.labelRect.x},
                                     {QStringLiteral("y"), mark.labelRect.y},
                                     {QStringLiteral("width"), mark.labelRect.width},
                                     {QStringLiteral("height"), mark.labelRect.height}});
    }
    if (labels != minuteLabels_) {
        minuteLabels_ = labels;
        emit labelsChanged();
    }
}

void OverviewItem::repaintIfRedrawn() {
    const uint64_t wave = navigator_->displayWave().redrawCount();
    const uint64_t marks = navigator_->displayMarks().redrawCount();
    if (wave != drawnWave_ || marks != drawnMarks_) {
        drawnWave_ = wave;
        drawnMarks_ = marks;
        update();
    }
}

QSGNode* OverviewItem::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
    if (!navigator_ || !window()) {
        delete old;
        return nullptr;
    }
    auto* node = nodeForBackend<OverviewNode>(old, window());
    node->sync(*navigator_);
    paints_.fetch_add(1, std::memory_order_relaxed);
    return node;
}

bool OverviewItem::touchable() const {
    WaveformHub* hub = WaveformHub::instance();
    const SampleTestController* screen = hub ? hub->app().mixingScreen() : nullptr;
    return navigator_ && screen && screen->view(deck_).navigatorTouchable;
}

void OverviewItem::pressAt(float y) {
    held_ = true;
    navigator_->touchBegan(y);
}

void OverviewItem::moveTo(float y) {
    if (held_ && navigator_) {
        navigator_->touchMoved(y);
        navigator_->displayMarks().tryDisplay();
        repaintIfRedrawn();
    }
}

void OverviewItem::releaseAt(float y) {
    if (held_ && navigator_) {
        held_ = false;
        navigator_->touchEnded(y);
        navigator_->displayMarks().tryDisplay();
        repaintIfRedrawn();
    }
}

void OverviewItem::cancel() {
    if (held_ && navigator_) {
        navigator_->touchCancelled();
    }
    held_ = false;
    finger_ = -1;
}

void OverviewItem::touchEvent(QTouchEvent* event) {
    if (event->type() == QEvent::TouchCancel) {
        cancel();
        event->accept();
        return;
    }
    for (const QEventPoint& p : event->points()) {
        const float y = float(p.position().y());
        if (p.state() == QEventPoint::Pressed && finger_ < 0) {
            if (!touchable()) {
                continue;
            }
            finger_ = p.id();
            pressAt(y);
        } else if (p.id() == finger_ && p.state() == QEventPoint::Updated) {
            moveTo(y);
        } else if (p.id() == finger_ && p.state() == QEventPoint::Released) {
            finger_ = -1;
            releaseAt(y);
        }
    }
    // Only a finger the strip took is kept; others pass to what lies below.
    event->setAccepted(finger_ >= 0 || event->type() != QEvent::TouchBegin);
}

void OverviewItem::touchUngrabEvent() {
    cancel();
}

void OverviewItem::mousePressEvent(QMouseEvent* event) {
    if (held_ || !touchable()) {
        event->ignore();
        return;
    }
    pressAt(float(event->position().y()));
    event->accept();
}

void OverviewItem::mouseMoveEvent(QMouseEvent* event) {
    moveTo(float(event->position().y()));
}

void OverviewItem::mouseReleaseEvent(QMouseEvent* event) {
    releaseAt(float(event->position().y()));
}

void OverviewItem::mouseUngrabEvent() {
    cancel();
}

} // namespace vx::ui
