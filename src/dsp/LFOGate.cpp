#include "dsp/LFOGate.h"

#include <array>

namespace vx {

const float* LFOGate::gateTable() {
    static const std::array<float, kTableSize> table = [] {
        std::array<float, kTableSize> t{};
        fillSineTable(t.data());
        return t;
    }();
    return table.data();
}

LFOGate::LFOGate() {
    lfoTable = gateTable();
}

} // namespace vx
