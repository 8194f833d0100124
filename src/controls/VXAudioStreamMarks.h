#pragma once
// VXAudioStreamMarks: the play-position line over a deck's overview strip.
//
// The strip shows the whole track from top to bottom, so the play position is a horizontal
// line across the full width at y = position / length × height. The mixing screen polls this
// layer every tenth of a second; the line is redrawn only when the deck's position differs from
// the one last drawn, so a stopped deck costs nothing.
//
// Threads: main thread only; it reads the deck's position, an atomic the render thread writes.
// What it owns: nothing but the last drawn position; the deck belongs to the engine. The shell
// strokes `line()` in opaque red, width 2, while `visible()` says a track is loaded.

#include "analysis/DrawingTypes.h"

#include <cstdint>

namespace vx {

struct audioStream;

class VXAudioStreamMarks {
public:
    // Width of the play-position line (points).
    static constexpr float kLineWidth = 2.0f;

    // Main thread: the layer over a strip of `width` × `height` points for `deck`, which must
    // outlive it.
    VXAudioStreamMarks(const audioStream& deck, float width, float height);

    // Main thread: a new view size (points); requests a redraw.
    void setSize(float width, float height);

    // Main thread: if the deck's position (frames) differs from the one last drawn, takes it,
    // requests a redraw and answers true; otherwise false.
    bool tryDisplay();

    // Main thread: whether the line is drawn at all (the deck has a track loaded).
    bool visible() const;
    // Main thread: the position last taken (frames) and the line's y for it (points; 0 while
    // the deck has no length).
    double index() const { return index_; }
    float lineY() const;
    // Main thread: the line across the full width at lineY().
    SegmentF line() const;

    void requestRedraw() { ++redrawCount_; }
    uint64_t redrawCount() const { return redrawCount_; }

private:
    const audioStream& deck_;
    float width_;
    float height_;
    double index_ = -1.0;
    uint64_t redrawCount_ = 0;
};

} // namespace vx
