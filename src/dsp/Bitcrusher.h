#pragma once
// Bitcrusher: the bit-depth and sample-rate reducer of effect slot 6.
//
// The pad's X lowers the resolution from 16 bits towards 8.96 (fractional depths included:
// levels = 2^bits, samples quantised by floor(levels × x) / levels); its Y lowers the hold
// rate, so a new sample is taken every frame at Y = 0 and every 100 frames at Y = 1.
//
// Threads: the main thread sets the pad and resets under the engine lock; the render thread
// processes inside the same lock. No allocation.

#include "dsp/SynthModule.h"

namespace vx {

class Bitcrusher final : public SynthModule {
public:
    float bits = 16.0f;         // bit depth, 1..16, fractional
    float levels = 65536.0f;    // 2^bits
    float holdIncrement = 1.0f; // hold phase advance per frame, 0.01..1
    float heldL = 0.0f;         // held sample, left (and mono)
    float heldR = 0.0f;         // held sample, right
    float holdPhase = 0.0f;     // a new sample is taken when it reaches 1

    // Render thread: no allocation, no locks. One mono sample (held on the left channel).
    float tick(float x) override;
    // Render thread: no allocation, no locks. Four samples from `in` to `out` (may be equal).
    void processFrame(const float* in, float* out) override;
    // Main thread (engine lock): hold phase and the left held value to 0.
    void reset() override;

    // Main thread (engine lock): the XY pad (0..1 each): X → bit depth, Y → hold rate.
    void padInput(float x, float y);

    // Render thread: no allocation, no locks. `frames` interleaved stereo frames in place.
    void processStereo(float* io, int frames);

private:
    // Render thread: floor(levels × x) / levels.
    float quantise(float x) const;
    // Render thread: one step of the hold phase; true when it wraps (take a new sample).
    bool advanceHold();
};

} // namespace vx
