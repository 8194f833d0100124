#include "dsp/filter.h"

namespace vx {

void filter::reset() {
    clear();
}

void filter::setSampleRate(float rate) {
    sampleRate = rate;
    clear();
}

void filter::computeCoefficients() {}

void filter::clear() {
    g = w = Q = norm = wq = w2 = 0.0f;
    x1 = x2 = x3 = x4 = x5 = 0.0f;
    y1 = y2 = y3 = y4 = y5 = 0.0f;
    computeCoefficients();
}

void filter::setCutoff(float c) {
    cutoff = c;
    computeCoefficients();
}

void filter::setResonance(float r) {
    resonance = r;
    computeCoefficients();
}

void filter::setAux(float a) {
    aux = a;
    computeCoefficients();
}

} // namespace vx
