#pragma once
// Generator: the wavetable oscillator at the root of the LFOs.
//
// The phase runs over a 2048-entry table (0 ≤ phase < 2048) and advances by `increment`
// entries per sample, so frequency f Hz means increment = f × 2048 / sampleRate. `tick(m)`
// reads with linear interpolation and lets its input modulate the rate (increment × (1 +
// 0.99·m)); `processAdd` adds the uninterpolated table value to a buffer. The table pointer is
// supplied by the owner (none by default: a generator without a table is silent).
//
// Threads: the main thread sets the frequency (under the engine lock) and restarts it; the
// render thread ticks it. Table lookup only: no trigonometry or allocation per sample.

#include "dsp/SynthModule.h"

namespace vx {

class Generator : public SynthModule {
public:
    static constexpr int kTableSize = 2048;

    double phase = 0.0;                          // table position, 0 ≤ phase < 2048
    double increment = 440.0 * 2048.0 / 44100.0; // phase advance per sample
    double tableScale = 2048.0 / 44100.0;        // table length / sample rate
    int tableOffset = 0;                         // added to every table index
    int index = 0;                               // trunc(phase)
    int nextIndex = 1;                           // (index + 1) mod 2048
    float frac = 0.0f;                           // phase − floor(phase)
    float oneMinusFrac = 1.0f;
    const float* table = nullptr; // wavetable read by tick and processAdd
    float frequencyScale = 1.0f;  // multiplier in setFrequency
    float frequencyOffset = 0.0f; // added in setFrequency (Hz)
    float frequency = 440.0f;     // Hz

    // Render thread: one interpolated sample; `m` (−1..1) modulates the rate for this step.
    float tick(float m) override;
    // Render thread: out[i] += table value at the phase, advancing per sample (input unused).
    void processAdd(const float* in, float* out, int n) override;
    // Main thread (engine lock): same as restart.
    void reset() override;
    // Main thread: rate in Hz and the table scale; the increment is kept until setFrequency.
    void setSampleRate(float rate) override;

    // Main thread (engine lock): phase 0, frequency re-applied, indices refreshed.
    virtual void restart();
    // Render or main thread: wraps the phase into 0..2048 and refreshes index, nextIndex and the
    // interpolation weights.
    virtual void updateIndex();
    // Main thread (engine lock): frequency in Hz (through frequencyScale/Offset).
    virtual void setFrequency(float f);

protected:
    // Keeps the phase in 0 ≤ phase < 2048 whatever the increment (also negative or huge).
    void wrapPhase() {
        if (phase >= kTableSize) {
            phase -= kTableSize;
        }
        if (!(phase >= 0.0 && phase < kTableSize)) {
            wrapPhaseSlow();
        }
    }

private:
    void wrapPhaseSlow();
};

} // namespace vx
