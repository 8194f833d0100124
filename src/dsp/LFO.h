#pragma once
// LFO: the low-frequency sine oscillator that drives the phaser, the chorus and (as LFOGate) the
// gate.
//
// All LFOs read one shared 2048-entry sine table, entry k = sin(2πk / 2048), built from a
// running double-precision sum of 2π/2048 and stored as float. The table is filled once, the
// first time an LFO is built (a later fill would write the same values, so it is skipped and no
// thread ever sees it change). Frequency f Hz gives increment = f × 2048 / sampleRate;
// `tick` is the plain table value times `level`, `tickInterpolated` the linearly
// interpolated value without `level`.
//
// Threads: the main thread sets the frequency under the engine lock; the render thread ticks.

#include "dsp/Generator.h"

namespace vx {

class LFO : public Generator {
public:
    const float* lfoTable = nullptr; // the shared sine table
    float out4[4] = {};              // the last four values of tick4

    // Main thread: 1 Hz at 44100 Hz, phase 0, level 1.
    LFO();

    // Render thread: no allocation, no locks. table[trunc(phase)] × level, then advances (the
    // input is ignored).
    float tick(float x) override;
    // Main thread (engine lock): frequency in Hz; increment = f × tableScale.
    void setFrequency(float f) override;

    // Render thread: no allocation, no locks. Linearly interpolated table value (no level),
    // then advances.
    virtual float tickInterpolated(float x);
    // Render thread: no allocation, no locks. Four successive tick values into out4.
    virtual void tick4();

    // Any thread: the shared LFO sine table (2048 entries).
    static const float* sineTable();
    // Any thread: writes sin(2πk / 2048) for k < 2048 (angle summed in double, stored float).
    static void fillSineTable(float* table);
};

} // namespace vx
