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
    float tick(float x) override;
    // The coefficients are fixed: nothing to compute.
    void computeCoefficients() override;
};

} // namespace vx
