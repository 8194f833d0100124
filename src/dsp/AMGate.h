#pragma once
// AMGate: the beat-synced gate of effect slot 2 — the signal multiplied by a sine LFO whose
// period is a quarter, half or whole beat.
//
// The pad's left edge gives one cycle per beat and its right edge four. The module counts the
// frames it has processed; while the resync flag is set it restarts its LFO at every beat
// boundary of that count, so the modulation stays locked to the deck's beat grid. The deck
// aligns the count to its own position when the gate is switched on or the pad engaged.
//
// Threads: the main thread sets the pad, the tempo and the alignment under the engine lock;
// the render thread processes inside the same lock. No allocation.

#include "dsp/LFOGate.h"
#include "dsp/SynthModule.h"

#include <cstdint>

namespace vx {

class AMGate final : public SynthModule {
public:
    // Gate periods in beats, chosen by nearest(2 × gateX).
    static constexpr float kPeriods[3] = {0.25f, 0.5f, 1.0f};

    float gateX = 0.0f;        // 1 − pad X
    uint64_t frameCounter = 0; // frames processed (aligned to the deck's beat grid)
    uint64_t nextBoundary = 0; // frameCounter value of the next beat boundary
    LFOGate lfo;
    bool resync = true; // restart the LFO at beat boundaries

    // Main thread: tempo 120, gateX 0 (an 8 Hz LFO), resync set, first boundary computed.
    AMGate();

    // Render thread: no allocation, no locks. One mono sample.
    float tick(float x) override;
    // Main thread (engine lock): nothing — the LFO keeps its phase across engages.
    void reset() override;
    // Main thread (engine lock): tempo in BPM; new LFO rate, resync set, boundary recomputed.
    void setTempo(float bpm) override;

    // Main thread (engine lock): pad X (0..1): gateX = 1 − x, LFO rate, resync, boundary.
    void padInput(float x);
    // Main thread (engine lock): frame counter from the deck's beat position (frames), resync
    // set, next boundary computed.
    void alignToCounter(uint64_t counter);
    // Any thread: the LFO rate in Hz for the current gateX and tempo.
    float gateFrequency() const;

    // Render thread: no allocation, no locks. `frames` interleaved stereo frames in place.
    void processStereo(float* io, int frames);

private:
    void retune();
};

} // namespace vx
