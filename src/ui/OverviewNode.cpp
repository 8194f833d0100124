#include "ui/OverviewNode.h"

#include "controls/VXAudioStreamNavigator.h"

#include <algorithm>
#include <cmath>

namespace vx::ui {

namespace {

constexpr float kMinuteMarkWidth = 2.0f;
constexpr float kMinuteMarkAlpha = 0.33f;
constexpr float kCueMarkAlpha = 0.75f;
constexpr Rgba8 kPositionColor{255, 0, 0, 255};

uint8_t byteOf(float v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

// A straight-alpha colour of floats as premultiplied bytes.
Rgba8 premultiplied(float r, float g, float b, float a) {
    return Rgba8{byteOf(r * a), byteOf(g * a), byteOf(b * a), byteOf(a)};
}

QPointF pointOf(PointF p) {
    return QPointF(p.x, p.y);
}

} // namespace

OverviewNode::OverviewNode(LineLayerNode::Backend backend, QQuickWindow* window)
    : rows_(new LineLayerNode(backend, LineLayerNode::Kind::Hairlines, window, 256)),
      marks_(new LineLayerNode(backend, LineLayerNode::Kind::Wide, window, 16)) {
    appendChildNode(rows_);
    appendChildNode(marks_);
}

void OverviewNode::sync(const VXAudioStreamNavigator& navigator) {
    const VXAudioStreamDisplay& display = navigator.displayWave();
    rows_->begin();
    marks_->begin();
    const RgbaF lc = display.lineColor();
    const Rgba8 line = premultiplied(lc.r, lc.g, lc.b, lc.a);
    // Row r's segment lies on y = r; its pixels are the row below that line.
    const QPointF half(0.0, 0.5);
    for (const SegmentF& row : display.rows()) {
        rows_->add(pointOf(row.a) + half, pointOf(row.b) + half, line, line);
    }
    const Rgba8 minute = premultiplied(1.0f, 1.0f, 1.0f, kMinuteMarkAlpha);
    for (const auto& mark : display.minuteMarks()) {
        marks_->add(pointOf(mark.line.a), pointOf(mark.line.b), minute, minute, kMinuteMarkWidth);
    }
    const Rgba8 cue = premultiplied(0.0f, 1.0f, 0.0f, kCueMarkAlpha);
    const float cueWidth = display.layout() == ScreenLayout::Tablet
                               ? VXAudioStreamDisplay::kCueLineWidthTablet
                               : VXAudioStreamDisplay::kCueLineWidthPhone;
    for (const SegmentF& mark : display.cueMarks()) {
        marks_->add(pointOf(mark.a), pointOf(mark.b), cue, cue, cueWidth);
    }
    const VXAudioStreamMarks& marks = navigator.displayMarks();
    if (marks.visible()) {
        const SegmentF position = marks.line();
        marks_->add(pointOf(position.a), pointOf(position.b), kPositionColor, kPositionColor,
                    VXAudioStreamMarks::kLineWidth);
    }
    rows_->end();
    marks_->end();
}

} // namespace vx::ui
