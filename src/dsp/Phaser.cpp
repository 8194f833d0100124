#include "dsp/Phaser.h"

#include <cstddef>

namespace vx {

Phaser::Phaser() {
    lfo.setFrequency(0.5f);
}

// One division per frame: the sweep position d (a normalised frequency) becomes the first-order
// all-pass coefficient shared by every stage of both channels.
float Phaser::nextCoefficient() {
    const float sweep = lfo.tick(0.0f);
    const float d = dMin + dRange * (1.0f + sweep * depth) * 0.5f;
    return (1.0f - d) / (1.0f + d);
}

// Eight all-pass stages with the last stage's output fed back into the first; the wet part is
// added to the dry signal scaled by depth.
float Phaser::runChain(float x, float* z, float& fb, float a) const {
    float u = x + fb * feedback;
    for (int k = 0; k < kStages; ++k) {
        const float v = z[k] - u * a;
        z[k] = u + v * a;
        u = v;
    }
    fb = u;
    return x + u * depth;
}

float Phaser::tick(float x) {
    const float a = nextCoefficient();
    return runChain(x, state[0], feedbackL, a);
}

void Phaser::reset() {}

void Phaser::padInput(float x, float y) {
    lfo.setFrequency(x);
    depth = y;
}

void Phaser::processStereo(float* io, int frames) {
    for (int n = 0; n < frames; ++n) {
        float* frame = io + 2 * static_cast<std::ptrdiff_t>(n);
        const float a = nextCoefficient();
        frame[0] = runChain(frame[0], state[0], feedbackL, a);
        frame[1] = runChain(frame[1], state[1], feedbackR, a);
    }
}

} // namespace vx
