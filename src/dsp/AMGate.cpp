#include "dsp/AMGate.h"

#include "dsp/BeatSync.h"

namespace vx {

AMGate::AMGate() {
    tempo = 120.0f;
    gateX = 0.0f;
    retune();
}

float AMGate::tick(float x) {
    return x; // sound algorithm lands with the effects work
}

void AMGate::reset() {}

void AMGate::setTempo(float bpm) {
    tempo = bpm;
    retune();
}

void AMGate::padInput(float x) {
    gateX = 1.0f - x;
    retune();
}

void AMGate::alignToCounter(uint64_t counter) {
    frameCounter = counter;
    resync = true;
    nextBoundary = nextBeatBoundary(frameCounter, tempo, sampleRate);
}

float AMGate::gateFrequency() const {
    const float period = kPeriods[padIndex(2.0f * gateX, 3)];
    return 1.0f / (period * 60.0f / tempo);
}

// New LFO rate, resync set, next boundary from the current count.
void AMGate::retune() {
    lfo.setFrequency(gateFrequency());
    resync = true;
    nextBoundary = nextBeatBoundary(frameCounter, tempo, sampleRate);
}

void AMGate::processStereo(float*, int) {
    // sound algorithm lands with the effects work
}

} // namespace vx
