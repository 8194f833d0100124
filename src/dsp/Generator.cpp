#include "dsp/Generator.h"

#include <cmath>

namespace vx {

float Generator::tick(float m) {
    phase += increment * (1.0 + static_cast<double>(m) * 0.99);
    wrapPhase();
    float y = 0.0f;
    if (table != nullptr) {
        y = frac * table[nextIndex + tableOffset] + oneMinusFrac * table[index + tableOffset];
    }
    updateIndex();
    return y;
}

void Generator::processAdd(const float*, float* out, int n) {
    for (int i = 0; i < n; ++i) {
        if (table != nullptr) {
            out[i] += table[static_cast<int>(phase) + tableOffset];
        }
        phase += increment;
        wrapPhase();
    }
}

void Generator::reset() {
    restart();
}

void Generator::setSampleRate(float rate) {
    sampleRate = rate;
    tableScale = static_cast<double>(kTableSize) / static_cast<double>(rate);
}

void Generator::restart() {
    phase = 0.0;
    setFrequency(frequency);
    updateIndex();
}

void Generator::updateIndex() {
    wrapPhase();
    index = static_cast<int>(phase);
    nextIndex = (index + 1) & (kTableSize - 1);
    frac = static_cast<float>(phase - std::floor(phase));
    oneMinusFrac = 1.0f - frac;
}

void Generator::setFrequency(float f) {
    frequency = f;
    increment = static_cast<double>(frequencyOffset + f * frequencyScale) * tableScale;
    tableOffset = 0;
}

void Generator::wrapPhaseSlow() {
    phase = std::fmod(phase, static_cast<double>(kTableSize)); // NaN and ±inf stay NaN
    if (phase < 0.0) {
        phase += kTableSize;
    }
    if (!(phase >= 0.0 && phase < kTableSize)) {
        phase = 0.0;
    }
}

} // namespace vx
