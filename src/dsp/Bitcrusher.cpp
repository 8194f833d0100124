#include "dsp/Bitcrusher.h"

#include "dsp/BeatSync.h"

#include <cmath>
#include <cstddef>

namespace vx {

float Bitcrusher::quantise(float x) const {
    return std::floor(levels * x) / levels;
}

bool Bitcrusher::advanceHold() {
    holdPhase += holdIncrement;
    if (holdPhase >= 1.0f) {
        holdPhase -= 1.0f;
        return true;
    }
    return false;
}

float Bitcrusher::tick(float x) {
    if (advanceHold()) {
        heldL = quantise(x);
    }
    return heldL;
}

void Bitcrusher::processFrame(const float* in, float* out) {
    for (int i = 0; i < 4; ++i) {
        out[i] = advanceHold() ? quantise(in[i]) : in[i];
    }
}

void Bitcrusher::reset() {
    holdPhase = 0.0f;
    heldL = 0.0f;
}

void Bitcrusher::padInput(float x, float y) {
    bits = clampFloat((1.0f - 0.44f * x) * 16.0f, 1.0f, 16.0f);
    levels = std::exp2(bits);
    holdIncrement = 0.01f + 0.99f * (1.0f - y);
}

void Bitcrusher::processStereo(float* io, int frames) {
    for (int n = 0; n < frames; ++n) {
        float* frame = io + 2 * static_cast<std::ptrdiff_t>(n);
        if (advanceHold()) {
            heldL = quantise(frame[0]);
            heldR = quantise(frame[1]);
        }
        frame[0] = heldL;
        frame[1] = heldR;
    }
}

} // namespace vx
