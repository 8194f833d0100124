#pragma once
// OverviewItem (QML `OverviewItem { deck: 0 }`): one deck's whole-track overview strip — the
// track's peak rows from top (start) to bottom (end), minute marks with their numbers, cue
// marks and the red play-position line — and seeking by touching it.
//
// It owns the deck's VXAudioStreamNavigator, sized to the item (one row per pixel). A 0.1 s
// timer does what the mixing screen's periodic navigator update does: the whole strip is
// rebuilt (updateDisplay) when the screen asks for it (a cue change, new peak data) or the
// track names were refreshed (a new track), and otherwise only the play-position layer is
// offered a redraw (tryDisplay, which redraws only when the position moved). The item repaints
// when either layer's redraw count moved.
//
// Touches (one finger, or the mouse) seek through the navigator: a drag seeks continuously, a
// tap jumps to the cue mark near it or to that point of the track. The screen lets the strip
// take touches only while its deck is stopped (navigatorTouchable). On the phone layout the
// rows are anchored to the deck's outer edge (side indent); on the tablet they are centred.
//
// Threads: GUI thread, except updatePaintNode (render thread, GUI thread blocked).

#include <QQuickItem>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace vx {
class VXAudioStreamNavigator;
}

namespace vx::ui {

class WaveformHub;

class OverviewItem : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int deck READ deck WRITE setDeck NOTIFY deckChanged)
    // Minute numbers: a list of {text, x, y, width, height} in item pixels.
    Q_PROPERTY(QVariantList minuteLabels READ minuteLabels NOTIFY labelsChanged)
    Q_PROPERTY(double labelPixelSize READ labelPixelSize NOTIFY labelsChanged)
    Q_PROPERTY(QColor textColor READ textColor NOTIFY labelsChanged)

public:
    // GUI thread.
    explicit OverviewItem(QQuickItem* parent = nullptr);
    ~OverviewItem() override;

    int deck() const { return deck_; }
    // GUI thread: 0 or 1.
    void setDeck(int deck);
    QVariantList minuteLabels() const { return minuteLabels_; }
    double labelPixelSize() const { return labelPixelSize_; }
    QColor textColor() const;

    // GUI thread: the navigator (null until the engine's deck exists and the item has a size).
    VXAudioStreamNavigator* navigator() const { return navigator_.get(); }
    // GUI thread: one pass of the periodic update (the timer calls it).
    void poll();
    // GUI thread: paint-node updates so far.
    int paints() const { return paints_; }

signals:
    void deckChanged();
    void labelsChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void touchEvent(QTouchEvent* event) override;
    void touchUngrabEvent() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseUngrabEvent() override;

private:
    bool ensureNavigator();
    void rebuild();
    void refreshLabels();
    void repaintIfRedrawn();
    bool touchable() const;
    void pressAt(float y);
    void moveTo(float y);
    void releaseAt(float y);
    void cancel();

    int deck_ = 0;
    std::unique_ptr<VXAudioStreamNavigator> navigator_;
    QTimer timer_;
    int seenNavigatorUpdates_ = -1;
    int seenNameUpdates_ = -1;
    uint64_t drawnWave_ = 0;
    uint64_t drawnMarks_ = 0;
    QVariantList minuteLabels_;
    double labelPixelSize_ = 12.0;
    bool held_ = false;
    int finger_ = -1;
    std::atomic<int> paints_{0};
};

} // namespace vx::ui
