#include "ui/LineLayerNode.h"

#include <QQuickWindow>
#include <QSGGeometry>
#include <QSGGeometryNode>
#include <QSGRectangleNode>
#include <QSGVertexColorMaterial>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vx::ui {

namespace {

uint8_t average(uint8_t a, uint8_t b) {
    return static_cast<uint8_t>((int(a) + int(b) + 1) / 2);
}

} // namespace

LineLayerNode::LineLayerNode(Backend backend, Kind kind, QQuickWindow* window, int capacity)
    : backend_(backend), kind_(kind), window_(window) {
    if (backend_ == Backend::Hardware) {
        geometryNode_ = new QSGGeometryNode;
        auto* geometry = new QSGGeometry(QSGGeometry::defaultAttributes_ColoredPoint2D(), 0);
        geometry->setDrawingMode(kind_ == Kind::Hairlines ? QSGGeometry::DrawLines
                                                          : QSGGeometry::DrawTriangles);
        geometry->setLineWidth(1.0f);
        // Uploaded when end() finds a change, not on every frame the window draws.
        geometry->setVertexDataPattern(QSGGeometry::DynamicPattern);
        geometryNode_->setGeometry(geometry);
        geometryNode_->setMaterial(new QSGVertexColorMaterial);
        geometryNode_->setFlags(QSGNode::OwnsGeometry | QSGNode::OwnsMaterial);
        appendChildNode(geometryNode_);
    }
    grow(std::max(capacity, 1));
}

void LineLayerNode::grow(int capacity) {
    if (capacity <= capacity_) {
        return;
    }
    capacity_ = capacity;
    if (backend_ == Backend::Hardware) {
        // allocate() drops the vertex data: the lines already added in this frame are kept
        // over it, or they would draw from the origin (or not at all) until the next frame.
        QSGGeometry* geometry = geometryNode_->geometry();
        const QSGGeometry::ColoredPoint2D* old = geometry->vertexDataAsColoredPoint2D();
        const std::vector<QSGGeometry::ColoredPoint2D> kept(
            old, old + std::min(geometry->vertexCount(), count_ * verticesPerLine()));
        geometry->allocate(capacity_ * verticesPerLine());
        QSGGeometry::ColoredPoint2D* v = geometry->vertexDataAsColoredPoint2D();
        std::copy(kept.begin(), kept.end(), v);
        std::fill(v + kept.size(), v + geometry->vertexCount(), QSGGeometry::ColoredPoint2D{});
        changed_ = true;
        geometryNode_->markDirty(QSGNode::DirtyGeometry);
        return;
    }
    while (int(rectangles_.size()) < capacity_) {
        QSGRectangleNode* rect = window_->createRectangleNode();
        rect->setRect(QRectF());
        rect->setColor(Qt::transparent);
        appendChildNode(rect); // owned by this node from here on
        rectangles_.push_back(rect);
    }
}

void LineLayerNode::begin() {
    previousCount_ = count_;
    count_ = 0;
}

QColor LineLayerNode::straightColor(Rgba8 c) {
    const int light = std::max({int(c.a), int(c.r), int(c.g), int(c.b)});
    if (light == 0) {
        return QColor(0, 0, 0, 0);
    }
    const auto channel = [light](uint8_t v) { return std::min(255, int(v) * 255 / light); };
    return QColor(channel(c.r), channel(c.g), channel(c.b), light);
}

void LineLayerNode::add(QPointF a, QPointF b, Rgba8 colorA, Rgba8 colorB, float width) {
    if (count_ >= capacity_) {
        grow(std::max(2 * capacity_, count_ + 1));
    }
    const int line = count_++;
    if (backend_ == Backend::Software) {
        const double w = kind_ == Kind::Hairlines ? 1.0 : std::max(1.0f, width);
        const double dx = std::abs(b.x() - a.x());
        const double dy = std::abs(b.y() - a.y());
        QRectF rect;
        if (dx >= dy) {
            rect =
                QRectF(std::min(a.x(), b.x()), (a.y() + b.y()) / 2 - w / 2, std::max(dx, 1.0), w);
        } else {
            rect =
                QRectF((a.x() + b.x()) / 2 - w / 2, std::min(a.y(), b.y()), w, std::max(dy, 1.0));
        }
        QSGRectangleNode* node = rectangles_[size_t(line)];
        node->setRect(rect);
        node->setColor(
            straightColor(Rgba8{average(colorA.r, colorB.r), average(colorA.g, colorB.g),
                                average(colorA.b, colorB.b), average(colorA.a, colorB.a)}));
        return;
    }
    QSGGeometry::ColoredPoint2D* v =
        geometryNode_->geometry()->vertexDataAsColoredPoint2D() + line * verticesPerLine();
    // The vertices are written only where they differ from the last frame's: a layer whose
    // lines stand still is not uploaded again.
    QSGGeometry::ColoredPoint2D next[6];
    const auto at = [](QSGGeometry::ColoredPoint2D& p, QPointF q, Rgba8 c) {
        p.set(float(q.x()), float(q.y()), c.r, c.g, c.b, c.a);
    };
    if (kind_ == Kind::Hairlines) {
        at(next[0], a, colorA);
        at(next[1], b, colorB);
    } else {
        // A quad around the line: half the width to either side of it.
        const QPointF d = b - a;
        const double length = std::hypot(d.x(), d.y());
        const QPointF n =
            length > 0 ? QPointF(-d.y(), d.x()) * (width / 2 / length) : QPointF(0, width / 2);
        at(next[0], a + n, colorA);
        at(next[1], a - n, colorA);
        at(next[2], b + n, colorB);
        at(next[3], b + n, colorB);
        at(next[4], a - n, colorA);
        at(next[5], b - n, colorB);
    }
    const size_t bytes = sizeof(QSGGeometry::ColoredPoint2D) * size_t(verticesPerLine());
    if (std::memcmp(v, next, bytes) != 0) {
        std::memcpy(v, next, bytes);
        changed_ = true;
    }
}

void LineLayerNode::end() {
    if (backend_ == Backend::Software) {
        for (size_t i = size_t(count_); i < rectangles_.size(); ++i) {
            if (!rectangles_[i]->rect().isEmpty()) {
                rectangles_[i]->setRect(QRectF());
            }
        }
        return;
    }
    QSGGeometry* geometry = geometryNode_->geometry();
    QSGGeometry::ColoredPoint2D* v = geometry->vertexDataAsColoredPoint2D();
    // The lines the last frame had beyond this one's draw nothing now (the rest already do).
    const int from = count_ * verticesPerLine();
    const int to = std::min(geometry->vertexCount(), previousCount_ * verticesPerLine());
    if (from < to) {
        std::fill(v + from, v + to, QSGGeometry::ColoredPoint2D{});
        changed_ = true;
    }
    if (changed_) {
        geometry->markVertexDataDirty();
        geometryNode_->markDirty(QSGNode::DirtyGeometry);
        changed_ = false;
    }
}

} // namespace vx::ui
