#include "dsp/SynthModule.h"

namespace vx {

float SynthModule::tick(float) {
    return 0.0f;
}

void SynthModule::processFrame(const float* in, float* out) {
    out[0] = in[0];
}

void SynthModule::process(const float* in, float* out, int n) {
    for (int i = 0; i < n; ++i) {
        out[i] = tick(in[i]);
    }
}

void SynthModule::processAdd(const float* in, float* out, int n) {
    for (int i = 0; i < n; ++i) {
        out[i] += tick(in[i]);
    }
}

void SynthModule::reset() {}

void SynthModule::noteOn() {}

void SynthModule::noteOff() {}

int SynthModule::getStatus() {
    return 0;
}

void SynthModule::setSampleRate(float rate) {
    sampleRate = rate;
}

void SynthModule::setTempo(float bpm) {
    tempo = bpm;
}

} // namespace vx
