#include "dsp/lphpFilter.h"

#include <cmath>

namespace vx {

void lphpFilter::setPosition(float p) {
    float a;
    if (p > 0.5f) {
        a = 1.0f;
        fHP = (2.0f * p - 1.0f) * 0.75f;
    } else {
        a = 2.0f * p;
        fHP = 0.0f;
    }
    // Single-precision sine; the scale and offset are applied in double and stored as float.
    fLP = static_cast<float>(0.05 + 0.95 * static_cast<double>(std::sin(a)));
    fbLP = qLP + qLP / (1.005f - fLP);
    fbHP = qHP + qHP / (1.005f - fHP);
}

} // namespace vx
