#include "controls/VXAudioStreamNavigator.h"

#include "analysis/peakFileData.h"
#include "engine/BlockCache.h"
#include "engine/Stretcher.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace vx {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

} // namespace

VXAudioStreamNavigator::VXAudioStreamNavigator(audioStream& deck, float width, float height,
                                               ScreenLayout layout)
    : stream_(deck), layout_(layout), height_(height), displayWave_(width, height, layout),
      displayMarks_(deck, width, height) {}

void VXAudioStreamNavigator::setSize(float width, float height) {
    height_ = height;
    displayWave_.setSize(width, height);
    displayMarks_.setSize(width, height);
}

bool VXAudioStreamNavigator::loaded() const {
    return stream_.isLoaded.load(std::memory_order_acquire);
}

int VXAudioStreamNavigator::side() const {
    if (!sideIndent_ || layout_ == ScreenLayout::Tablet) {
        return 0;
    }
    return stream_.deckIndex == 0 ? -1 : 1;
}

void VXAudioStreamNavigator::updateDisplay() {
    if (!loaded()) {
        displayWave_.requestRedraw();
        displayMarks_.requestRedraw();
        return;
    }
    if (const peakFileData* peaks = stream_.peakData().get()) {
        displayWave_.generateLineDataFromPeakData(*peaks, peaks->count, side());
    }
    displayWave_.updateCueMarksForStream(stream_);
    displayMarks_.tryDisplay();
}

double VXAudioStreamNavigator::frameAt(float y) const {
    if (!(height_ > 0.0f)) {
        return 0.0;
    }
    const double t = std::clamp(static_cast<double>(y) / height_, 0.0, 1.0);
    return t * stream_.lengthFrames.load(relaxed);
}

// A finger on the strip takes the deck out of any scratch: no hold, no coasting.
void VXAudioStreamNavigator::clearScratchState() {
    stream_.isScratching.store(false, relaxed);
    stream_.scratchIdleFrames.store(0, relaxed);
    stream_.scratchFrames.store(0, relaxed);
    stream_.stopCountdown.store(0, relaxed);
    stream_.inertiaSpeed.store(0.0, relaxed);
}

// Moves the read position to `frame` and re-plans the ring around it at once, as the engine's
// jumps do; the stretcher's buffered audio belongs to the old position.
void VXAudioStreamNavigator::seekTo(double frame) {
    {
        std::unique_lock<EngineLock> engine;
        if (stream_.engineLock) {
            engine = std::unique_lock(*stream_.engineLock);
        }
        stream_.position.store(frame, relaxed);
        stream_.replanNeeded.store(true, relaxed);
    }
    // Planned after the engine lock is released (the decoder may be reading from the disk).
    if (stream_.decodeLock) {
        std::lock_guard decode(*stream_.decodeLock);
        replan(stream_);
    } else {
        replan(stream_);
    }
}

void VXAudioStreamNavigator::touchBegan(float) {
    moved_ = false;
}

void VXAudioStreamNavigator::touchMoved(float y) {
    if (!loaded()) {
        return;
    }
    stream_.position.store(frameAt(y), relaxed);
    clearScratchState();
    // The decode thread re-plans around the new position on its next pass.
    stream_.replanNeeded.store(true, relaxed);
    moved_ = true;
    displayMarks_.tryDisplay();
}

void VXAudioStreamNavigator::touchEnded(float y) {
    const bool wasMoved = moved_;
    moved_ = false;
    if (!loaded() || wasMoved) {
        return;
    }
    const int32_t length = stream_.lengthFrames.load(relaxed);
    int cue = -1;
    if (length > 0) {
        for (size_t k = 0; k < stream_.cuePoints.size(); ++k) {
            const double markY =
                static_cast<double>(height_) * static_cast<double>(stream_.cuePoints[k]) / length;
            if (std::abs(markY - static_cast<double>(y)) <= kCueSnapPoints) {
                cue = static_cast<int>(k);
                break;
            }
        }
    }
    // The stretcher's buffered audio belongs to the old position: emptied first, it is refilled
    // at once from the new one, so the jump lands on the cue without a latency offset.
    if (stream_.stretcher) {
        stream_.stretcher->requestClear();
    }
    if (cue >= 0) {
        jumpToCue(stream_, cue);
    } else {
        seekTo(frameAt(y));
    }
    clearScratchState();
    displayMarks_.tryDisplay();
}

void VXAudioStreamNavigator::touchCancelled() {
    moved_ = false;
}

} // namespace vx
