#include "controls/VXAudioStreamMarks.h"

#include "engine/audioStream.h"

namespace vx {

VXAudioStreamMarks::VXAudioStreamMarks(const audioStream& deck, float width, float height)
    : deck_(deck), width_(width), height_(height) {}

void VXAudioStreamMarks::setSize(float width, float height) {
    width_ = width;
    height_ = height;
    requestRedraw();
}

bool VXAudioStreamMarks::tryDisplay() {
    const double position = deck_.position.load(std::memory_order_relaxed);
    if (position == index_) {
        return false;
    }
    index_ = position;
    requestRedraw();
    return true;
}

bool VXAudioStreamMarks::visible() const {
    return deck_.isLoaded.load(std::memory_order_acquire);
}

float VXAudioStreamMarks::lineY() const {
    const int32_t length = deck_.lengthFrames.load(std::memory_order_relaxed);
    if (length <= 0) {
        return 0.0f;
    }
    return static_cast<float>(index_ / static_cast<double>(length) * height_);
}

SegmentF VXAudioStreamMarks::line() const {
    const float y = lineY();
    return SegmentF{{0.0f, y}, {width_, y}};
}

} // namespace vx
