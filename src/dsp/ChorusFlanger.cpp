#include "dsp/ChorusFlanger.h"

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

float ChorusFlanger::tick(float x) {
    return x; // sound algorithm lands with the effects work
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

void ChorusFlanger::processStereo(float*, int) {
    // sound algorithm lands with the effects work
}

} // namespace vx
