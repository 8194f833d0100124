#include "dsp/coloringBP.h"

namespace vx {

coloringBP::coloringBP() {
    b0 = 0.034048203f;
    b2 = -0.034048203f;
    a1 = -1.9076415f;
    a2 = 0.9319036f;
}

void coloringBP::computeCoefficients() {}

} // namespace vx
