#pragma once
// mirel_extraLP: the resonant low-pass of effect slot 0 (one per channel, two per deck), swept
// by the XY pad — X sets the cutoff (pad left = open), Y the resonance (pad bottom = strongest).
//
// A biquad whose coefficients come from the knob values directly, tuned for 44100 Hz:
//   w = 0.005 + c²·sin(c·π/6), g = sin(c·2.4881413) + 0.001, Q = 0.951 + 1.9·r,
//   n = 1 / (1 + w/Q + w²), b0 = 1.5·g·w²·n, b1 = 2·w²·n, b2 = w²·n,
//   a1 = 2·(w² − 1)·n, a2 = (1 − w/Q + w²)·n.
// The numerator gain g only scales b0, which gives the sweep its characteristic colour.
//
// Threads: setters on the main thread under the engine lock; processChannel on the render
// thread inside the same lock. Built with cutoff 1.0 and resonance 0.7, as the deck uses it.

#include "dsp/filter.h"

namespace vx {

class mirel_extraLP final : public filter {
public:
    // Main thread: builds the filter at cutoff 1.0, resonance 0.7.
    mirel_extraLP();

    // Render thread: no allocation, no locks. One sample through the biquad.
    float tick(float x) override;
    // Main thread: all coefficients from cutoff and resonance.
    void computeCoefficients() override;
    // Main thread: resonance 0..1; recomputes Q and the coefficients with the stored w and g.
    void setResonance(float r) override;

    // Render thread: no allocation, no locks. Filters one channel of an interleaved stereo
    // block (every second float from `in`, `frames` of them) into the same places of `out`;
    // in place when in == out.
    virtual void processChannel(const float* in, float* out, int frames);

private:
    void computeFromWorkspace();
    float step(float x) {
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

} // namespace vx
