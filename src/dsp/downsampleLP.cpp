#include "dsp/downsampleLP.h"

namespace vx {

downsampleLP::downsampleLP() {
    b0 = 3.0964713e-07f;
    b1 = 1.2385885e-06f;
    b2 = 1.8578829e-06f;
    b3 = 1.2385885e-06f;
    b4 = 3.0964713e-07f;
    a1 = -3.9311388f;
    a2 = 5.8001776f;
    a3 = -3.8067062f;
    a4 = 0.9376729f;
}

float downsampleLP::tick(float x) {
    const float y =
        b0 * x + b1 * x1 + b2 * x2 + b3 * x3 + b4 * x4 - a1 * y1 - a2 * y2 - a3 * y3 - a4 * y4;
    x4 = x3;
    x3 = x2;
    x2 = x1;
    x1 = x;
    y4 = y3;
    y3 = y2;
    y2 = y1;
    y1 = y;
    return y;
}

void downsampleLP::computeCoefficients() {}

} // namespace vx
