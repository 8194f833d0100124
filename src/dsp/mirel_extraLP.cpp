#include "dsp/mirel_extraLP.h"

#include <cmath>

namespace vx {

mirel_extraLP::mirel_extraLP() {
    cutoff = 1.0f;
    resonance = 0.7f;
    computeCoefficients();
}

float mirel_extraLP::tick(float x) {
    return step(x);
}

void mirel_extraLP::computeCoefficients() {
    const float c = cutoff;
    w = 0.005f + c * c * std::sin(c * 0.5235988f);
    g = std::sin(c * 2.4881413f) + 0.001f;
    Q = 0.951f + 1.9f * resonance;
    computeFromWorkspace();
}

void mirel_extraLP::setResonance(float r) {
    resonance = r;
    Q = 0.951f + 1.9f * resonance;
    computeFromWorkspace();
}

// Normalisation and coefficients from the stored w, g and Q.
void mirel_extraLP::computeFromWorkspace() {
    wq = w / Q;
    w2 = w * w;
    norm = 1.0f / (1.0f + wq + w2);
    b0 = w2 * norm * g * 1.5f;
    b1 = 2.0f * w2 * norm;
    b2 = w2 * norm;
    a1 = 2.0f * (w2 - 1.0f) * norm;
    a2 = (1.0f - wq + w2) * norm;
}

void mirel_extraLP::processChannel(const float* in, float* out, int frames) {
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = step(in[2 * i]);
    }
}

} // namespace vx
