#include "dsp/Bitcrusher.h"

#include "dsp/BeatSync.h"

#include <cmath>

namespace vx {

float Bitcrusher::tick(float x) {
    return x; // sound algorithm lands with the effects work
}

void Bitcrusher::processFrame(const float* in, float* out) {
    // sound algorithm lands with the effects work
    for (int i = 0; i < 4; ++i) {
        out[i] = in[i];
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

void Bitcrusher::processStereo(float*, int) {
    // sound algorithm lands with the effects work
}

} // namespace vx
