#include "dsp/MDelay.h"

#include "dsp/BeatSync.h"

#include <algorithm>
#include <cmath>

namespace vx {

MDelay::MDelay() : lineL(kLineFrames, 0.0f), lineR(kLineFrames, 0.0f) {
    feedbackRamp.clear(25.0f);
}

float MDelay::tick(float x) {
    return x; // sound algorithm lands with the effects work
}

void MDelay::reset() {
    writeIndex = 0;
    std::fill(lineL.begin(), lineL.end(), 0.0f);
    std::fill(lineR.begin(), lineR.end(), 0.0f);
}

void MDelay::setTempo(float bpm) {
    if (!freeMode) {
        const float beats = tempo * std::trunc(delayLength) / (sampleRate * 60.0f);
        delayLength = sampleRate * beats * 60.0f / bpm;
    }
    tempo = bpm;
    setDelayLength(delayLength);
}

void MDelay::padInput(float x, float y) {
    delayX = x;
    if (freeMode) {
        setDelayLength(sampleRate * x);
    } else {
        const float beats = kBeatFractions[padIndex(4.0f * x, 5)];
        setDelayLength(sampleRate * beats * 60.0f / tempo);
    }
    feedbackRamp.start(feedback, y, kFeedbackRampFrames);
}

void MDelay::setDelayLength(float frames) {
    delayLength = clampFloat(frames, 1.0f, static_cast<float>(kLineFrames));
}

void MDelay::processStereo(float*, int) {
    // sound algorithm lands with the effects work
}

} // namespace vx
