#include "dsp/ChorusFlanger.h"

#include <cstddef>

namespace vx {

ChorusFlanger::ChorusFlanger() {
    setSampleRate(44100.0f);
    rate = 0.2f;
    lfo1.setFrequency(rate);
    for (MDelay* d : {&delayL, &delayR}) {
        d->feedback = 0.5f;
        d->freeMode = true;
        d->setDelayLength(sampleRate * 0.05f);
        d->wet = 0.5f;
    }
    dry = 0.5f;
    depth = 0.05f;
    baseDelaySeconds = 0.05f;
}

// Ticks the LFO and moves both lines to this frame's length: baseDelaySamples / 2 swept by
// ±depth (about 1047 to 1158 samples at 44100 Hz).
void ChorusFlanger::modulateLength() {
    const float sweep = lfo1.tick(0.0f);
    const float length = baseDelaySamples * 0.5f * (1.0f + depth * sweep);
    delayL.setDelayLength(length);
    delayR.setDelayLength(length);
}

float ChorusFlanger::tick(float x) {
    modulateLength();
    return delayL.tick(x) + x * dry;
}

void ChorusFlanger::reset() {
    lfo1.reset();
    lfo2.reset();
    delayL.reset();
    delayR.reset();
}

void ChorusFlanger::setSampleRate(float r) {
    sampleRate = r;
    baseDelaySamples = r * baseDelaySeconds;
    lfo1.setSampleRate(r);
    lfo2.setSampleRate(r);
    delayL.setSampleRate(r);
    delayR.setSampleRate(r);
}

void ChorusFlanger::padInput(float x, float y) {
    rate = 0.01f + 5.0f * x;
    lfo1.setFrequency(rate);
    delayL.wet = y;
    delayR.wet = y;
}

void ChorusFlanger::processStereo(float* io, int frames) {
    for (int n = 0; n < frames; ++n) {
        float* frame = io + 2 * static_cast<std::ptrdiff_t>(n);
        modulateLength();
        const float inL = frame[0];
        const float inR = frame[1];
        frame[0] = delayL.tick(inL) + inL * dry;
        frame[1] = delayR.tick(inR) + inR * dry;
    }
}

} // namespace vx
