#pragma once
// Phaser: the eight-stage stereo phaser of effect slot 4.
//
// Each channel runs through eight first-order all-pass stages with feedback; one LFO (0.5 Hz
// until the pad moves it) sweeps the shared all-pass coefficient between 440 Hz and 1600 Hz
// (dMin = 2 × 440 / 44100, dMax = 2 × 1600 / 44100), and the pad's Y sets the depth of both
// the sweep and the wet mix. `reset` keeps the LFO phase and the all-pass states.
//
// Threads: the main thread sets the pad under the engine lock; the render thread processes
// inside the same lock. No allocation.

#include "dsp/LFO.h"
#include "dsp/SynthModule.h"

namespace vx {

class Phaser final : public SynthModule {
public:
    static constexpr int kStages = 8;

    LFO lfo; // sweep oscillator, 0.5 Hz at first
    // Coefficient slots per channel and stage. Every stage of both channels shares one
    // coefficient, recomputed each frame, so processing keeps it in a local and leaves these 0.
    float coeff[2][kStages] = {};
    float state[2][kStages] = {}; // all-pass states z1..z8, per channel
    float dMin = 0.019954648f;    // 2 × 440 / 44100
    float dMax = 0.07256236f;     // 2 × 1600 / 44100
    float dRange = 0.052607711f;  // dMax − dMin
    float feedback = 0.7f;
    float depth = 1.0f;     // sweep depth and wet level, 0..1
    float feedbackL = 0.0f; // feedback state, left
    float feedbackR = 0.0f; // feedback state, right

    // Main thread: LFO at 0.5 Hz.
    Phaser();

    // Render thread: no allocation, no locks. One mono sample through the left chain.
    float tick(float x) override;
    // Main thread (engine lock): nothing — the sweep and the all-pass states run on.
    void reset() override;

    // Main thread (engine lock): the XY pad (0..1 each): X = LFO rate in Hz, Y = depth.
    void padInput(float x, float y);

    // Render thread: no allocation, no locks. `frames` interleaved stereo frames in place.
    void processStereo(float* io, int frames);

private:
    // Render thread: ticks the LFO and returns this frame's all-pass coefficient.
    float nextCoefficient();
    // Render thread: one sample through a channel's stages `z` and feedback state `fb`.
    float runChain(float x, float* z, float& fb, float a) const;
};

} // namespace vx
