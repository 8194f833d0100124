#pragma once
// LineLayerNode: a batch of straight, coloured lines in one scene-graph subtree, drawn the same
// way on either scene-graph backend.
//
// The waveform arrays of the core are line lists with a colour per vertex, and the colours are
// premultiplied in the sense the core's blend expects (source × 1 + destination × (1 − source
// alpha)): a colour with alpha 0 and non-zero components adds light. The Qt Quick scene graph
// blends exactly that way, so on a hardware backend (OpenGL, Vulkan… through the RHI) the bytes
// go into a QSGGeometryNode unchanged: hairlines as a line list, lines with a width as two
// triangles each (wide GL lines are not portable), with a vertex-colour material.
//
// The software backend (what an offscreen platform gets) silently draws nothing for custom
// geometry, so there each line becomes a rectangle node (from the window) in the average of its
// two colours, turned back into a straight-alpha colour of the same light. The rectangle nodes
// are kept and reused from frame to frame; unused ones get an empty rectangle.
//
// A layer has a capacity (lines); begin() … add() … end() describes one frame. Capacity grows
// on demand (with an allocation); at a steady capacity a frame allocates nothing: the unused
// tail of the geometry is filled with zero-size primitives. A frame whose vertices equal the
// last one's leaves the geometry clean, so the renderer neither rebuilds nor uploads it.
//
// Threads: the scene graph's render thread during the sync of its item (the GUI thread is
// blocked then), or any single thread when used without a window (benchmarks).

#include "analysis/DrawingTypes.h"

#include <QColor>
#include <QPointF>
#include <QQuickWindow>
#include <QSGNode>
#include <QSGRendererInterface>

#include <vector>

class QQuickWindow;
class QSGGeometryNode;
class QSGRectangleNode;

namespace vx::ui {

class LineLayerNode : public QSGNode {
public:
    enum class Backend { Hardware, Software };
    enum class Kind {
        Hairlines, // one-pixel lines (line list)
        Wide       // lines with a width (triangles)
    };

    // Render thread: a layer of `kind` for `backend`. The software backend needs `window` to
    // make its rectangle nodes; the hardware one may be given null.
    LineLayerNode(Backend backend, Kind kind, QQuickWindow* window, int capacity);

    // Render thread: starts a frame (no lines yet).
    void begin();
    // Render thread: one line from `a` to `b` (item pixels) with the colours of its two ends
    // (premultiplied bytes) and its width (pixels; ignored for hairlines).
    void add(QPointF a, QPointF b, Rgba8 colorA, Rgba8 colorB, float width = 1.0f);
    // Render thread: ends the frame: the rest of the capacity draws nothing.
    void end();

    // Render thread: lines of the last frame, and the current capacity.
    int count() const { return count_; }
    int capacity() const { return capacity_; }
    Backend backend() const { return backend_; }

    // Any thread: the straight-alpha colour that gives the same light over black as the
    // premultiplied `c` does.
    static QColor straightColor(Rgba8 c);

private:
    void grow(int capacity);
    int verticesPerLine() const { return kind_ == Kind::Hairlines ? 2 : 6; }

    Backend backend_;
    Kind kind_;
    QQuickWindow* window_;
    int capacity_ = 0;
    int count_ = 0;
    int previousCount_ = 0;                     // lines of the frame before
    bool changed_ = false;                      // the vertices differ from those last uploaded
    QSGGeometryNode* geometryNode_ = nullptr;   // hardware
    std::vector<QSGRectangleNode*> rectangles_; // software, children of this node
};

// Scene-graph thread: the backend `window` draws with.
inline LineLayerNode::Backend backendOf(QQuickWindow* window) {
    return window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software
               ? LineLayerNode::Backend::Software
               : LineLayerNode::Backend::Hardware;
}

// Scene-graph thread: `old` when it draws for `window`'s backend, else a new NodeT for it (the
// old one deleted). NodeT is built from (backend, window) and reports backend().
template <typename NodeT> NodeT* nodeForBackend(QSGNode* old, QQuickWindow* window) {
    const LineLayerNode::Backend backend = backendOf(window);
    auto* node = static_cast<NodeT*>(old);
    if (node && node->backend() != backend) {
        delete node;
        node = nullptr;
    }
    return node ? node : new NodeT(backend, window);
}

} // namespace vx::ui
