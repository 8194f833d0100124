#pragma once
// LFOGate: the gate effect's oscillator — an LFO with identical behaviour that reads a second
// sine table of the same contents, shared by all gates.
//
// Threads: as LFO.

#include "dsp/LFO.h"

namespace vx {

class LFOGate final : public LFO {
public:
    // Main thread: 1 Hz at 44100 Hz on the gate's sine table.
    LFOGate();

    // Any thread: the gates' sine table (2048 entries, equal to LFO::sineTable()).
    static const float* gateTable();
};

} // namespace vx
