#pragma once
// ChorusFlanger: the chorus of effect slot 5 — a short delay (about 25 ms) modulated by a slow
// LFO, with feedback, mixed with half the dry signal.
//
// Two inner MDelay lines in free mode (one per channel) sized at construction; the first LFO
// modulates both lengths; the second is reset and given the sample rate with it, but keeps its
// own rate and is never ticked. The pad's X sets the first LFO's rate (0.01 + 5x Hz) and its Y
// the wet level of both lines.
//
// Threads: the main thread sets the pad and resets under the engine lock; the render thread
// processes inside the same lock. No allocation after construction.

#include "dsp/LFO.h"
#include "dsp/MDelay.h"
#include "dsp/SynthModule.h"

namespace vx {

class ChorusFlanger final : public SynthModule {
public:
    LFO lfo1;                         // modulates the delay length
    LFO lfo2;                         // reset with lfo1, keeps its own rate, never ticked
    MDelay delayL;                    // left channel line (free mode)
    MDelay delayR;                    // right channel line (free mode)
    float dry = 0.5f;                 // dry level in the output
    float depth = 0.05f;              // modulation depth of the length
    float baseDelaySeconds = 0.05f;   // s
    float baseDelaySamples = 2205.0f; // sampleRate × baseDelaySeconds
    float rate = 0.2f;                // last LFO rate set (Hz)

    // Main thread: 44100 Hz, LFO 0.2 Hz, both lines in free mode with feedback 0.5, wet 0.5
    // and length 0.05 s.
    ChorusFlanger();

    // Render thread: no allocation, no locks. One mono sample through the left line.
    float tick(float x) override;
    // Main thread (engine lock): LFO phases to 0, both lines silent.
    void reset() override;
    // Main thread: sample rate in Hz for the module, both LFOs and both lines.
    void setSampleRate(float r) override;

    // Main thread (engine lock): the XY pad (0..1 each): X → LFO rate, Y → wet level.
    void padInput(float x, float y);

    // Render thread: no allocation, no locks. `frames` interleaved stereo frames in place.
    void processStereo(float* io, int frames);

private:
    // Render thread: ticks the LFO and sets both lines' length for this frame.
    void modulateLength();
};

} // namespace vx
