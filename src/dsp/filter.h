#pragma once
// filter: the biquad-and-up family of single-channel IIR filters (the XY pad's resonant
// low-pass and the two fixed analysis filters).
//
// The record holds up to six feed-forward and five feedback coefficients, a workspace of the
// intermediate values the coefficient formulas share (gain, frequency, quality, normalisation,
// w/Q, w²), the knob values and five samples of input and output history. Subclasses supply
// `computeCoefficients` and `tick`; the setters here store a knob value and recompute.
//
// Threads: setters on the main thread (under the engine lock for the XY pad filter, before the
// run for the analysis filters); `tick` on the render or analysis thread. No allocation.

#include "dsp/SynthModule.h"

namespace vx {

class filter : public SynthModule {
public:
    // Coefficients: feed-forward b0..b5, feedback a1..a5 (y = Σ b·x − Σ a·y).
    float b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0;
    float a1 = 0, a2 = 0, a3 = 0, a4 = 0, a5 = 0;
    // Coefficient workspace.
    float g = 0;    // gain
    float w = 0;    // frequency
    float Q = 0;    // quality
    float norm = 0; // normalisation 1 / a0
    float wq = 0;   // w / Q
    float w2 = 0;   // w²
    float cutoff = 0;
    float resonance = 0;
    float aux = 0; // stored by setAux; no formula reads it
    // History: x1 is the previous input, y1 the previous output.
    float x1 = 0, x2 = 0, x3 = 0, x4 = 0, x5 = 0;
    float y1 = 0, y2 = 0, y3 = 0, y4 = 0, y5 = 0;

    // Main thread: clears the history (restart from silence).
    void reset() override;
    // Main thread: stores the rate (Hz) and clears.
    void setSampleRate(float rate) override;

    // Main thread: derives the coefficients from cutoff and resonance. Base: nothing.
    virtual void computeCoefficients();
    // Main thread: zeroes the workspace and all history, then computeCoefficients.
    virtual void clear();
    // Main thread: cutoff, nominally 0..1; recomputes.
    virtual void setCutoff(float c);
    // Main thread: resonance, nominally 0..1; recomputes.
    virtual void setResonance(float r);
    // Main thread: auxiliary parameter; recomputes.
    virtual void setAux(float a);
};

} // namespace vx
