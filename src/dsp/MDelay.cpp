#include "dsp/MDelay.h"

#include "dsp/BeatSync.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace vx {

MDelay::MDelay() : lineL(kLineFrames, 0.0f), lineR(kLineFrames, 0.0f) {
    feedbackRamp.clear(25.0f);
}

// Linear interpolation between the two stored frames around writeIndex − delayLength. The
// indices are masked into the line: when the read point sits a hair below the write position,
// d + 131072 rounds up to 131072 itself, which is frame 0 of the circle.
float MDelay::readLine(const float* line) const {
    float d = static_cast<float>(writeIndex) - delayLength;
    if (d < 0.0f) {
        d += static_cast<float>(kLineFrames);
    }
    const int i = static_cast<int>(d);
    const float f = d - static_cast<float>(i);
    return f * line[(i + 1) & kLineMask] + (1.0f - f) * line[i & kLineMask];
}

float MDelay::tick(float x) {
    float* line = lineL.data();
    const float y = readLine(line);
    line[writeIndex] = x + y * feedback;
    writeIndex = (writeIndex + 1) & kLineMask;
    return wet * y;
}

void MDelay::reset() {
    writeIndex = 0;
    std::fill(lineL.begin(), lineL.end(), 0.0f);
    std::fill(lineR.begin(), lineR.end(), 0.0f);
}

void MDelay::setTempo(float bpm) {
    if (!(bpm > 0.0f) || !std::isfinite(bpm)) {
        return; // no beat to follow: the delay keeps the length it has
    }
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

void MDelay::processStereo(float* io, int frames) {
    float* left = lineL.data();
    float* right = lineR.data();
    for (int n = 0; n < frames; ++n) {
        float* frame = io + 2 * static_cast<std::ptrdiff_t>(n);
        const float inL = frame[0];
        const float inR = frame[1];
        const float yL = readLine(left);
        const float yR = readLine(right);
        left[writeIndex] = inL + yL * feedback;
        right[writeIndex] = inR + yR * feedback;
        writeIndex = (writeIndex + 1) & kLineMask;
        frame[0] = inL + wet * yL;
        frame[1] = inR + wet * yR;
        feedbackRamp.step(feedback);
    }
}

} // namespace vx
