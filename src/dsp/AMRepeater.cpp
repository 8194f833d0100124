#include "dsp/AMRepeater.h"

#include "dsp/BeatSync.h"

#include <algorithm>

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

void AMRepeater::processStereo(float*, int) {
    // sound algorithm lands with the effects work
}

} // namespace vx
