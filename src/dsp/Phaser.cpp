#include "dsp/Phaser.h"

namespace vx {

Phaser::Phaser() {
    lfo.setFrequency(0.5f);
}

float Phaser::tick(float x) {
    return x; // sound algorithm lands with the effects work
}

void Phaser::reset() {}

void Phaser::padInput(float x, float y) {
    lfo.setFrequency(x);
    depth = y;
}

void Phaser::processStereo(float*, int) {
    // sound algorithm lands with the effects work
}

} // namespace vx
