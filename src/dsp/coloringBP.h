#pragma once
// coloringBP: the fixed band-pass (unity peak near 1115 Hz at 44100 Hz) that splits out the
// mid band for the waveform colouring and the beat analysis.
//
// y = b0·x + b2·x[n−2] − a1·y[n−1] − a2·y[n−2] with b0 = −b2 = 0.034048203, a1 = −1.9076415,
// a2 = 0.9319036; every other coefficient is 0 and the knob setters change nothing.
//
// Threads: created, run and destroyed by one analysis run on its thread. No allocation.

#include "dsp/filter.h"

namespace vx {

class coloringBP final : public filter {
public:
    // Analysis thread: fixed coefficients, zero history.
    coloringBP();
    // Analysis thread: one sample through the band-pass.
    // (Inline: the analysis runs it on every sample of a track.)
    float tick(float x) override {
        const float y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    // The coefficients are fixed: nothing to compute.
    void computeCoefficients() override;
};

} // namespace vx
