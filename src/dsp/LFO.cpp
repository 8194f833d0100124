#include "dsp/LFO.h"

#include <array>
#include <cmath>

namespace vx {

void LFO::fillSineTable(float* table) {
    const double step = 2.0 * 3.14159265358979323846 / kTableSize;
    double angle = 0.0;
    for (int k = 0; k < kTableSize; ++k) {
        table[k] = static_cast<float>(std::sin(angle));
        angle += step;
    }
}

const float* LFO::sineTable() {
    static const std::array<float, kTableSize> table = [] {
        std::array<float, kTableSize> t{};
        fillSineTable(t.data());
        return t;
    }();
    return table.data();
}

LFO::LFO() {
    lfoTable = sineTable();
    frequency = 1.0f;
    increment = tableScale;
    level = 1.0f;
    updateIndex();
}

float LFO::tick(float) {
    const float y = lfoTable[static_cast<int>(phase)] * level;
    phase += increment;
    wrapPhase();
    return y;
}

void LFO::setFrequency(float f) {
    frequency = f;
    increment = static_cast<double>(f) * tableScale;
}

float LFO::tickInterpolated(float) {
    const int i = static_cast<int>(phase);
    const float f = static_cast<float>(phase - i);
    const float y = f * lfoTable[(i + 1) & (kTableSize - 1)] + (1.0f - f) * lfoTable[i];
    phase += increment;
    wrapPhase();
    return y;
}

void LFO::tick4() {
    for (float& v : out4) {
        v = tick(0.0f);
    }
    wrapPhase();
}

} // namespace vx
