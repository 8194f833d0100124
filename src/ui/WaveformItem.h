#pragma once
// WaveformItem (QML `WaveformItem { deck: 0 }`): one deck's scrolling waveform, drawn from the
// deck's waveControl (owned by the WaveformHub) with the Qt Quick scene graph, and the touch
// surface that scratches the deck.
//
// Drawing: on every frame of the hub (the hub has just called fillWaveData) the item schedules
// a repaint; updatePaintNode rebuilds a WaveformNode from the control's arrays, scaled from the
// control's points (its geometry's width × 480 rows) to the item. The backend decides how: a
// hardware scene graph gets line geometry with vertex colours, the software one rectangles.
// The minute label and the analysis indicator are exposed as properties for QML to show.
//
// Touches: every finger (the mouse acts as finger 0) goes to the control in its own points,
// with the event's timestamp in seconds: pressed → touchesBegan, moved → touchesMoved,
// released → touchesEnded, a cancelled sequence or a lost grab → touchesCancelled. The
// control itself ignores them while frozen or while its deck plays under stop-proof.
//
// Threads: GUI thread, except updatePaintNode (render thread, GUI thread blocked).

#include <QPointF>
#include <QQuickItem>
#include <QRectF>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <vector>

#include "controls/waveControl.h"

namespace vx::ui {

class WaveformHub;

class WaveformItem : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int deck READ deck WRITE setDeck NOTIFY deckChanged)
    // At least one analysis runs in the engine.
    Q_PROPERTY(bool analysing READ analysing NOTIFY labelChanged)
    // The minute label of the frame: text, visibility, rectangle and font size in item pixels,
    // alignment. The rectangle moves with the waveform on every frame while the text stays for
    // a minute of track: it has a signal of its own, so moving the label re-lays out nothing.
    Q_PROPERTY(QString minuteText READ minuteText NOTIFY labelChanged)
    Q_PROPERTY(bool minuteVisible READ minuteVisible NOTIFY labelChanged)
    Q_PROPERTY(QRectF minuteRect READ minuteRect NOTIFY minuteRectChanged)
    Q_PROPERTY(double minutePixelSize READ minutePixelSize NOTIFY labelChanged)
    Q_PROPERTY(bool minuteAlignRight READ minuteAlignRight NOTIFY labelChanged)

public:
    // GUI thread.
    explicit WaveformItem(QQuickItem* parent = nullptr);
    ~WaveformItem() override;

    int deck() const { return deck_; }
    // GUI thread: 0 or 1.
    void setDeck(int deck);
    bool analysing() const { return analysing_; }
    QString minuteText() const { return minuteText_; }
    bool minuteVisible() const { return minuteVisible_; }
    QRectF minuteRect() const { return minuteRect_; }
    double minutePixelSize() const { return minutePixelSize_; }
    bool minuteAlignRight() const { return minuteAlignRight_; }

    // GUI thread: the control's point for an item position (pixels), and back.
    QPointF toControl(QPointF itemPos) const;
    QPointF toItem(QPointF controlPos) const;
    // GUI thread: paint-node updates so far (tests wait for drawing to happen).
    int paints() const { return paints_; }

signals:
    void deckChanged();
    void labelChanged();
    void minuteRectChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
    void touchEvent(QTouchEvent* event) override;
    void touchUngrabEvent() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseUngrabEvent() override;
    void componentComplete() override;

private:
    void onFrame();
    void connectHub();
    waveControl* control() const;
    waveControl::Touch touchAt(int id, QPointF pos, QPointF previous, quint64 timestampMs) const;
    void cancelAll();

    int deck_ = 0;
    WaveformHub* hub_ = nullptr;
    bool analysing_ = false;
    QString minuteText_;
    bool minuteVisible_ = false;
    QRectF minuteRect_;
    double minutePixelSize_ = 14.0;
    bool minuteAlignRight_ = false;
    bool mouseDown_ = false;
    QPointF lastMouse_;
    std::vector<int> fingers_; // ids of the touch points down on the item
    std::atomic<int> paints_{0};
};

} // namespace vx::ui
