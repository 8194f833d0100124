#include "dsp/AMRepeater.h"

#include "dsp/BeatSync.h"

#include <algorithm>
#include <cstddef>

namespace vx {

AMRepeater::AMRepeater() : sliceL(kSliceFrames, 0.0f), sliceR(kSliceFrames, 0.0f) {}

void AMRepeater::reset() {
    frameCounter = 0;
    resync = false;
    slicePos = 0;
    repeatIndex = 0;
    std::fill(sliceL.begin(), sliceL.end(), 0.0f);
    std::fill(sliceR.begin(), sliceR.end(), 0.0f);
}

void AMRepeater::setTempo(float bpm) {
    tempo = bpm;
    updateSlice();
}

void AMRepeater::padInput(float x, float y) {
    repeatX = x;
    updateSlice();
    repeatY = y;
    repeatCount = kRepeatCounts[padIndex(4.0f * y, 5)];
    if (repeatIndex >= repeatCount) {
        repeatIndex = 0;
    }
}

void AMRepeater::alignToCounter(uint64_t counter) {
    frameCounter = counter;
    resync = true;
    nextBoundary = nextBeatBoundary(frameCounter, tempo, sampleRate);
}

// Slice length from repeatX and the tempo (single precision, limited to the buffer); a slice
// position beyond the new end restarts the slice as if it had ended; the cycle resyncs at the
// next beat boundary.
void AMRepeater::updateSlice() {
    const float beats = kSliceBeats[padIndex(4.0f * repeatX, 5)];
    sliceLength = truncClamp(beats * 60.0f / tempo * sampleRate, 1, kSliceFrames);
    if (slicePos >= sliceLength) {
        slicePos = 0;
        ++repeatIndex;
        if (repeatIndex >= repeatCount) {
            repeatIndex = 0;
        }
    }
    resync = true;
    nextBoundary = nextBeatBoundary(frameCounter, tempo, sampleRate);
}

void AMRepeater::processStereo(float* io, int frames) {
    if (repeatCount == 1) {
        // Bypass leaves the audio alone but keeps counting, so that a later pad move still
        // finds its beat boundary on the deck's grid.
        frameCounter += static_cast<uint64_t>(frames > 0 ? frames : 0);
        return;
    }
    float* left = sliceL.data();
    float* right = sliceR.data();
    for (int n = 0; n < frames; ++n) {
        float* frame = io + 2 * static_cast<std::ptrdiff_t>(n);
        if (repeatIndex != 0) {
            frame[0] = left[slicePos];
            frame[1] = right[slicePos];
        } else {
            left[slicePos] = frame[0];
            right[slicePos] = frame[1];
        }
        if (++slicePos >= sliceLength) {
            slicePos = 0;
            // ≥ rather than ==: a count of 0 (pad never touched) keeps capturing, i.e. passes
            // the audio through.
            if (++repeatIndex >= repeatCount) {
                repeatIndex = 0;
            }
        }
        if (resync && frameCounter >= nextBoundary) {
            slicePos = 0;
            repeatIndex = 0;
            nextBoundary = nextBeatBoundary(frameCounter, tempo, sampleRate);
            resync = false;
        }
        ++frameCounter;
    }
}

} // namespace vx
