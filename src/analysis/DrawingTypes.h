#pragma once
// Plain value types shared by the waveform drawing code: the screen layout, colours, points and
// line segments. The core computes arrays of these; the shell only strokes them.

#include <cstdint>

namespace vx {

// The two screen layouts: the geometry (line widths, offsets, font sizes) differs between them.
enum class ScreenLayout { Phone, Tablet };

// A colour of four bytes, 0…255 per channel.
struct Rgba8 {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 0;
    bool operator==(const Rgba8&) const = default;
};

// A colour of four floats, 0…1 per channel.
struct RgbaF {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
    bool operator==(const RgbaF&) const = default;
};

// A point in a view's own points (y grows downwards).
struct PointF {
    float x = 0.0f;
    float y = 0.0f;
    bool operator==(const PointF&) const = default;
};

// A straight line from `a` to `b`, in a view's own points.
struct SegmentF {
    PointF a;
    PointF b;
    bool operator==(const SegmentF&) const = default;
};

// A rectangle: origin at the top left, in a view's own points.
struct RectF {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    bool operator==(const RectF&) const = default;
};

} // namespace vx
