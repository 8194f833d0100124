#include "dsp/coloringBP.h"

namespace vx {

coloringBP::coloringBP() {
    b0 = 0.034048203f;
    b2 = -0.034048203f;
    a1 = -1.9076415f;
    a2 = 0.9319036f;
}

float coloringBP::tick(float x) {
    const float y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
}

void coloringBP::computeCoefficients() {}

} // namespace vx
