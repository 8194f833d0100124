#pragma once
// downsampleLP: the fixed fourth-order low-pass (−3 dB near 500 Hz at 44100 Hz) applied before
// the analysis decimates the signal for beat detection and the waveform's low band.
//
// Direct form: y = Σ b_k·x[n−k] (k = 0..4) − Σ a_k·y[n−k] (k = 1..4), coefficients fixed; the
// knob setters change nothing.
//
// Threads: created, run and destroyed by one analysis run on its thread. No allocation.

#include "dsp/filter.h"

namespace vx {

class downsampleLP final : public filter {
public:
    // Analysis thread: fixed coefficients, zero history.
    downsampleLP();
    // Analysis thread: one sample through the low-pass.
    // (Inline: the analysis runs it on every sample of a track.)
    float tick(float x) override {
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
    // The coefficients are fixed: nothing to compute.
    void computeCoefficients() override;
};

} // namespace vx
