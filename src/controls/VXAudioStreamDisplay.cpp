#include "controls/VXAudioStreamDisplay.h"

#include "analysis/peakFileData.h"
#include "engine/audioStream.h"

#include <algorithm>
#include <cmath>

namespace vx {

namespace {

// Row length per unit of average entry height, as a fraction of the width: 0.75 × 0.02.
constexpr double kRowScale = 0.75 * 0.02;
// Half-length of a row before any peak data (points).
constexpr float kCentreLineHalf = 1.0f;
// Minutes of audio per peak entry.
constexpr double kMinutesPerEntry = double(kPeakWindowFrames) / double(kSampleRate) / 60.0;
// Minute number label: height, and how far its bottom sits above the mark (phone / tablet).
constexpr float kLabelHeight = 18.0f;
constexpr float kLabelRisePhone = 16.0f;
constexpr float kLabelRiseTablet = 32.0f;
// Cue marks: half-length (phone / tablet).
constexpr float kCueHalfPhone = 3.0f;
constexpr float kCueHalfTablet = 6.0f;

int rowsFor(float height) {
    return height > 0.0f ? static_cast<int>(height) : 0;
}

} // namespace

VXAudioStreamDisplay::VXAudioStreamDisplay(float width, float height, ScreenLayout layout)
    : width_(width), height_(height), layout_(layout) {
    setSize(width, height);
}

void VXAudioStreamDisplay::setSize(float width, float height) {
    width_ = width;
    height_ = height;
    rows_.assign(static_cast<size_t>(rowsFor(height)), SegmentF{});
    resetRows();
    minuteMarks_.clear();
    cueMarks_.clear();
    requestRedraw();
}

void VXAudioStreamDisplay::resetRows() {
    const float centre = width_ * 0.5f;
    for (size_t r = 0; r < rows_.size(); ++r) {
        const float y = static_cast<float>(r);
        rows_[r] = SegmentF{{centre - kCentreLineHalf, y}, {centre + kCentreLineHalf, y}};
    }
}

void VXAudioStreamDisplay::generateLineDataFromPeakData(const peakFileData& peaks, int32_t count,
                                                        int side) {
    count = std::clamp(count, 0, peaks.count);
    const int rows = static_cast<int>(rows_.size());
    if (count <= 0 || rows <= 0) {
        requestRedraw();
        return;
    }
    side_ = side < 0 ? -1 : (side > 0 ? 1 : 0);
    resetRows();

    const double step = static_cast<double>(count) / rows; // entries per row
    const double scale = static_cast<double>(width_) * kRowScale;
    const float centre = width_ * 0.5f;
    double sum = 0.0;
    double inRow = 0.0;
    int r = 0;
    for (int32_t i = 0; i < count && r < rows; ++i) {
        const uint8_t h = peaks.height(i);
        sum += h == kPeakNotComputed ? 0.0 : static_cast<double>(h);
        inRow += 1.0;
        if (inRow >= step) {
            const float a = static_cast<float>(sum / step * scale);
            const float y = static_cast<float>(r);
            if (side_ == 0) {
                rows_[static_cast<size_t>(r)] = SegmentF{{centre - a, y}, {centre + a, y}};
            } else if (side_ < 0) {
                rows_[static_cast<size_t>(r)] = SegmentF{{0.0f, y}, {a, y}};
            } else {
                rows_[static_cast<size_t>(r)] = SegmentF{{width_ - a, y}, {width_, y}};
            }
            ++r;
            inRow -= step;
            sum = 0.0;
        }
    }

    // A mark at the end of every whole minute that lies within the strip.
    minuteMarks_.clear();
    const double trackMinutes = static_cast<double>(count) * kMinutesPerEntry;
    const int minutes = static_cast<int>(std::ceil(trackMinutes));
    const float left = side_ > 0 ? width_ * 0.5f : 0.0f;
    const float right = side_ < 0 ? width_ * 0.5f : width_;
    const float rise = layout_ == ScreenLayout::Tablet ? kLabelRiseTablet : kLabelRisePhone;
    for (int m = 1; m <= minutes; ++m) {
        const float y = static_cast<float>(m * rows / trackMinutes);
        if (y > height_) {
            break;
        }
        MinuteMark mark;
        mark.line = SegmentF{{left, y}, {right, y}};
        mark.minute = m;
        mark.labelRect = RectF{left, y - rise - kLabelHeight, right - left, kLabelHeight};
        minuteMarks_.push_back(mark);
    }
    requestRedraw();
}

void VXAudioStreamDisplay::updateCueMarksForStream(const audioStream& deck) {
    cueMarks_.clear();
    const int32_t length = deck.lengthFrames.load(std::memory_order_relaxed);
    if (deck.cuePoints.empty() || length <= 0) {
        requestRedraw();
        return;
    }
    const bool tablet = layout_ == ScreenLayout::Tablet;
    const float centre =
        tablet ? width_ * 0.5f : (deck.deckIndex == 0 ? width_ * 0.25f : width_ * 0.75f);
    const float half = tablet ? kCueHalfTablet : kCueHalfPhone;
    for (const long cue : deck.cuePoints) {
        const float y =
            static_cast<float>(static_cast<double>(height_) * static_cast<double>(cue) / length);
        cueMarks_.push_back(SegmentF{{centre - half, y}, {centre + half, y}});
    }
    requestRedraw();
}

void VXAudioStreamDisplay::setLineColor(RgbaF color) {
    lineColor_ = color;
    requestRedraw();
}

} // namespace vx
