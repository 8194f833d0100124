#pragma once
// VXAudioStreamDisplay: the lines of a deck's whole-track overview strip.
//
// The strip shows the track from top (frame 0) to bottom (its end), one row per point of the
// view's height. Each row is a horizontal segment whose length is the average height of the
// peak entries that fall into it; on top of that come a mark per minute of the track and a
// short mark per cue point. Before the first peak data arrives every row is a 2-point line at
// the centre, so the strip shows a thin vertical line.
//
// Threads: main thread only. The peak entries may still be written by the analysis or decode
// thread, so they are read one byte at a time through the record's atomic accessors; entries
// not computed yet count as height 0 here (a half-analysed track shows short rows rather than
// full-width bars) and the next rebuild picks them up.
//
// What it owns: its arrays, sized by the view (two points per row); they are reallocated only
// when the view's size changes. It draws nothing itself: the shell strokes the segments
// (rows in `lineColor`, width 1; minute marks white at alpha 0.33, width 2, with the minute
// number in `labelRect`; cue marks green at alpha 0.75, width 6 phone / 12 tablet) whenever
// `redrawCount` has moved.

#include "analysis/DrawingTypes.h"

#include <cstdint>
#include <vector>

namespace vx {

struct audioStream;
struct peakFileData;

class VXAudioStreamDisplay {
public:
    // A minute mark: its line, the minute it marks (1, 2 …), and where its number goes.
    struct MinuteMark {
        SegmentF line;
        int minute = 0;
        RectF labelRect;
    };

    // Width of a cue mark line and font size of the minute numbers, per layout (points).
    static constexpr float kCueLineWidthPhone = 6.0f;
    static constexpr float kCueLineWidthTablet = 12.0f;
    static constexpr float kMinuteFontPhone = 12.0f;
    static constexpr float kMinuteFontTablet = 24.0f;

    // Main thread: a strip of `width` × `height` points (rows = height, truncated) for the
    // given layout, every row a 2-point centre line.
    VXAudioStreamDisplay(float width, float height, ScreenLayout layout);

    // Main thread: a new view size (points); the rows become centre lines again.
    void setSize(float width, float height);

    // Main thread: rebuilds the rows and minute marks from the first `count` entries of
    // `peaks` (clamped to its entries). `side` < 0 anchors the rows to the left edge, > 0 to
    // the right edge, 0 centres them. Requests a redraw. Nothing but the redraw with no entries.
    void generateLineDataFromPeakData(const peakFileData& peaks, int32_t count, int side);

    // Main thread: one short horizontal mark per cue point of `deck` at y = H × cue / length,
    // centred at W × 0.25 (deck 0) or W × 0.75 (deck 1) on the phone, W × 0.5 on the tablet;
    // half-length 3 points (phone) or 6 (tablet). No cue points (or no length): none.
    void updateCueMarksForStream(const audioStream& deck);

    // Main thread: the colour of the rows.
    void setLineColor(RgbaF color);
    RgbaF lineColor() const { return lineColor_; }
    void setTextColor(RgbaF color) { textColor_ = color; }
    RgbaF textColor() const { return textColor_; }

    // Main thread: asks the shell to draw the strip again.
    void requestRedraw() { ++redrawCount_; }
    // Main thread: grows by one with every redraw request.
    uint64_t redrawCount() const { return redrawCount_; }

    // Main thread: the rows (one segment per row; lineData holds their points, two per row),
    // the minute marks and the cue marks, as last built.
    const std::vector<SegmentF>& rows() const { return rows_; }
    int32_t dataSize() const { return static_cast<int32_t>(2 * rows_.size()); }
    const std::vector<MinuteMark>& minuteMarks() const { return minuteMarks_; }
    const std::vector<SegmentF>& cueMarks() const { return cueMarks_; }
    int side() const { return side_; }
    float width() const { return width_; }
    float height() const { return height_; }
    ScreenLayout layout() const { return layout_; }

private:
    void resetRows();

    float width_;
    float height_;
    ScreenLayout layout_;
    std::vector<SegmentF> rows_;
    std::vector<MinuteMark> minuteMarks_;
    std::vector<SegmentF> cueMarks_;
    RgbaF lineColor_{1.0f, 0.0f, 0.5f, 1.0f};
    RgbaF textColor_{1.0f, 1.0f, 1.0f, 1.0f};
    int side_ = 0;
    uint64_t redrawCount_ = 0;
};

} // namespace vx
