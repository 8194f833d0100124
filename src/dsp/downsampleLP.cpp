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

void downsampleLP::computeCoefficients() {}

} // namespace vx
