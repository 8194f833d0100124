#include "dsp/AMGate.h"

#include "dsp/BeatSync.h"

#include <cstddef>

namespace vx {

AMGate::AMGate() {
    tempo = 120.0f;
    gateX = 0.0f;
    retune();
}

float AMGate::tick(float x) {
    return x * lfo.tickInterpolated(0.0f);
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

void AMGate::processStereo(float* io, int frames) {
    for (int n = 0; n < frames; ++n) {
        float* frame = io + 2 * static_cast<std::ptrdiff_t>(n);
        const float g = lfo.tickInterpolated(0.0f);
        frame[0] *= g;
        frame[1] *= g;
        // At each beat boundary the sine starts again from 0, so the gate stays on the grid
        // however the LFO rate rounds; the flag stays set.
        if (resync && frameCounter >= nextBoundary) {
            if (lfo.phase != 0.0) {
                lfo.restart();
            }
            nextBoundary = nextBeatBoundary(frameCounter, tempo, sampleRate);
        }
        ++frameCounter;
    }
}

} // namespace vx
