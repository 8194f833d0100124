#pragma once
// OverviewNode: the scene-graph subtree of one deck's whole-track overview strip.
//
// It strokes what the deck's VXAudioStreamNavigator built, in the strip's own points (which
// are the item's pixels): every row in the display's line colour (hairlines), the minute marks
// in white at alpha 0.33 (width 2), the cue marks in green at alpha 0.75 (width 6 phone / 12
// tablet) and, while the deck has a track, the play position across the full width in opaque
// red (width 2). The minute numbers are text and are left to the item.
//
// Threads: the render thread during its item's sync (GUI thread blocked), or one thread
// without a window.

#include "ui/LineLayerNode.h"

#include <QSGNode>

namespace vx {
class VXAudioStreamNavigator;
}

namespace vx::ui {

class OverviewNode : public QSGNode {
public:
    // Render thread: the layers for `backend` (`window` makes the software rectangles).
    OverviewNode(LineLayerNode::Backend backend, QQuickWindow* window);

    // Render thread: rebuilds the layers from `navigator`.
    void sync(const VXAudioStreamNavigator& navigator);

    LineLayerNode::Backend backend() const { return rows_->backend(); }
    int rowLines() const { return rows_->count(); }
    int markLines() const { return marks_->count(); }

private:
    LineLayerNode* rows_;
    LineLayerNode* marks_;
};

} // namespace vx::ui
