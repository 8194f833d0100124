#include "ui/WaveformNode.h"

#include "controls/waveControl.h"
#include "ui/WaveformHub.h"

#include <algorithm>
#include <cmath>

namespace vx::ui {

namespace {

constexpr Rgba8 kIndicatorColor{255, 195, 0, 255};
constexpr Rgba8 kOpaqueWhite{255, 255, 255, 255};
// Beat marks are drawn twice: a sharp line, then a wider, half-transparent glow.
constexpr float kBeatMarkSharpWidth = 2.0f;
constexpr uint8_t kBeatMarkSharpAlpha = 255;
constexpr float kBeatMarkGlowWidth = 4.0f;
constexpr uint8_t kBeatMarkGlowAlpha = 128;
// Lines the marks layer may need in one frame: beat marks twice, indicator, EQ, even marks,
// meter.
constexpr int kMarkCapacity = 2 * waveControl::kBeatMarkSlots + 2 + 3 + waveControl::kMaxEvenMarks +
                              waveControl::kMeterSegments;

Rgba8 colorAt(const uint8_t* bytes) {
    return Rgba8{bytes[0], bytes[1], bytes[2], bytes[3]};
}

// A straight-alpha colour as the premultiplied one the source-alpha blend would give.
Rgba8 premultiplied(Rgba8 c) {
    const auto scale = [&](uint8_t v) { return static_cast<uint8_t>((int(v) * c.a + 127) / 255); };
    return Rgba8{scale(c.r), scale(c.g), scale(c.b), c.a};
}

Rgba8 opaque(Rgba8 c) {
    return Rgba8{c.r, c.g, c.b, 255};
}

} // namespace

WaveformNode::WaveformNode(LineLayerNode::Backend backend, QQuickWindow* window)
    : rows_(new LineLayerNode(backend, LineLayerNode::Kind::Wide, window, waveControl::kRows)),
      marks_(new LineLayerNode(backend, LineLayerNode::Kind::Wide, window, kMarkCapacity)) {
    appendChildNode(rows_);
    appendChildNode(marks_);
}

void WaveformNode::sync(const waveControl& c, QSizeF size, bool loaded, bool playing) {
    rows_->begin();
    marks_->begin();
    const float controlWidth = WaveformHub::controlWidth(c);
    if (!loaded || controlWidth <= 0.0f || size.isEmpty()) {
        rows_->end();
        marks_->end();
        return;
    }
    const double sx = size.width() / controlWidth;
    const double sy = size.height() / waveControl::kRows;
    // Row y is the row's top; its line goes through the middle of the row's pixels.
    const auto point = [&](float x, float y) { return QPointF(x * sx, (y + 0.5) * sy); };
    // A line's width in points becomes pixels across the line's direction.
    const auto across = [&](QPointF a, QPointF b, float width) {
        const bool horizontal = std::abs(b.x() - a.x()) >= std::abs(b.y() - a.y());
        return static_cast<float>(std::max(1.0, width * (horizontal ? sy : sx)));
    };
    const auto stroke = [&](const float* xy, Rgba8 ca, Rgba8 cb, float width) {
        const QPointF a = point(xy[0], xy[1]);
        const QPointF b = point(xy[2], xy[3]);
        marks_->add(a, b, ca, cb, across(a, b, width));
    };

    // Each row is as thick as its share of the height, so that a view taller than the rows
    // shows a closed waveform and no dark lines between them.
    const float rowWidth = static_cast<float>(std::max(1.0, sy));
    for (int r = 0; r < waveControl::kRows; ++r) {
        const float* xy = c.waveData.data() + 4 * r;
        const uint8_t* rgba = c.colors.data() + 8 * r;
        rows_->add(point(xy[0], xy[1]), point(xy[2], xy[3]), colorAt(rgba), colorAt(rgba + 4),
                   rowWidth);
    }

    const int beats = std::clamp(c.numBeatMarks, 0, waveControl::kBeatMarkSlots);
    for (const auto& [width, alpha] : {std::pair{kBeatMarkSharpWidth, kBeatMarkSharpAlpha},
                                       std::pair{kBeatMarkGlowWidth, kBeatMarkGlowAlpha}}) {
        for (int m = 0; m < beats; ++m) {
            const uint8_t* rgba = c.beatMarkColors.data() + 8 * m;
            Rgba8 end0 = colorAt(rgba);
            end0.a = alpha;
            stroke(c.beatMarkCoord.data() + 4 * m, premultiplied(end0),
                   premultiplied(colorAt(rgba + 4)), width);
        }
    }

    if (c.showSmallNavigator) {
        const float width = c.geometry().indicatorLineWidth;
        stroke(c.posIndicator.data(), kIndicatorColor, kIndicatorColor, width);
        stroke(c.posIndicator.data() + 4, kIndicatorColor, kIndicatorColor, width);
    }

    for (int k = 0; k < 3; ++k) {
        stroke(c.eqDisplayCoord.data() + 4 * k, kOpaqueWhite, kOpaqueWhite,
               c.geometry().eqTickLineWidth);
    }

    const int evens = std::clamp(c.evenMarkNum, 0, waveControl::kMaxEvenMarks);
    const Rgba8 even = premultiplied(Rgba8{255, 255, 255, c.geometry().evenMarkAlpha});
    for (int m = 0; m < evens; ++m) {
        stroke(c.evenMarkCoords.data() + 4 * m, even, even, c.geometry().evenMarkLineWidth);
    }

    if (playing) {
        const int lit = std::clamp(c.ampValue, 0, waveControl::kMeterSegments);
        for (int k = 0; k < lit; ++k) {
            const uint8_t* rgba = c.ampIndicatorColors.data() + 8 * k;
            stroke(c.ampIndicator.data() + 4 * k, opaque(colorAt(rgba)), opaque(colorAt(rgba + 4)),
                   c.geometry().meterLineWidth);
        }
    }
    rows_->end();
    marks_->end();
}

} // namespace vx::ui
