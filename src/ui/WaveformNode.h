#pragma once
// WaveformNode: the scene-graph subtree of one deck's scrolling waveform.
//
// It strokes what the deck's waveControl filled for the frame, scaled from the control's own
// points (its width × 480 rows) to the item's pixels, in the control's drawing order:
//   1. the 480 rows, one line each with its per-vertex colours (hairlines);
//   2. the beat marks twice, with end 0 at alpha 255 and width 2, then at alpha 128 and width 4,
//      fading to end 1's alpha along the mark (blended by source alpha: premultiplied here);
//   3. the small position indicator (tick and line) when the control shows it;
//   4. the three EQ ticks in opaque white;
//   5. the even-beat marks in white at the layout's alpha;
//   6. the lit level-meter segments while the deck plays.
// Nothing is drawn while the deck has no track. The minute label is text and is left to the
// item (a Text in QML).
//
// Threads: the render thread during its item's sync (the GUI thread is blocked, so the
// control's arrays are stable), or one thread without a window (benchmarks).

#include "ui/LineLayerNode.h"

#include <QSGNode>
#include <QSizeF>

namespace vx {
class waveControl;
}

namespace vx::ui {

class WaveformNode : public QSGNode {
public:
    // Render thread: the two layers for `backend` (`window` makes the software backend's
    // rectangles; may be null for the hardware one).
    WaveformNode(LineLayerNode::Backend backend, QQuickWindow* window);

    // Render thread: rebuilds both layers from `control`'s arrays for an item of `size`
    // pixels. `loaded`: the deck has a track; `playing`: it plays (the level meter).
    void sync(const waveControl& control, QSizeF size, bool loaded, bool playing);

    LineLayerNode::Backend backend() const { return rows_->backend(); }
    // Render thread: lines drawn in the last sync (rows; marks, indicator, EQ and meter).
    int rowLines() const { return rows_->count(); }
    int markLines() const { return marks_->count(); }

private:
    LineLayerNode* rows_;
    LineLayerNode* marks_;
};

} // namespace vx::ui
