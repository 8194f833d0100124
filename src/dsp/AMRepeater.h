#pragma once
// AMRepeater: the beat-synced slice repeater of effect slot 3.
//
// A cycle captures one slice of the deck's output (1/2 … 1/32 beat, chosen by the pad's X)
// while passing it through, then replays it repeatCount − 1 times (1, 2, 4, 6 or 8 passes,
// chosen by the pad's Y; 1 = bypass), then captures the next. The first cycle after a pad move,
// a tempo change or an engage starts exactly on a beat boundary of the deck: the module counts
// its frames, the deck aligns that count to its beat grid, and the resync flag restarts the
// cycle at the next boundary. The slice buffers hold 29400 frames (half a beat at 45 BPM) and
// are allocated when the module is built; longer slices are limited to the buffer.
//
// Threads: the main thread sets the pad, the tempo and the alignment and resets, under the
// engine lock; the render thread processes inside the same lock. No allocation after
// construction.

#include "dsp/SynthModule.h"

#include <cstdint>
#include <vector>

namespace vx {

class AMRepeater final : public SynthModule {
public:
    static constexpr int kSliceFrames = 29400;
    // Slice lengths in beats, chosen by nearest(4 × repeatX).
    static constexpr float kSliceBeats[5] = {0.5f, 0.25f, 0.125f, 0.0625f, 0.03125f};
    // Passes per cycle, chosen by nearest(4 × repeatY).
    static constexpr int kRepeatCounts[5] = {1, 2, 4, 6, 8};

    uint64_t frameCounter = 0;     // frames processed since reset (aligned to the beat grid)
    int slicePos = 0;              // position within the slice
    int sliceLength = 0;           // frames, 1..kSliceFrames once set
    int repeatIndex = 0;           // 0 = capturing, ≥ 1 = replaying
    int repeatCount = 0;           // passes per cycle (0 or 1 = pass-through)
    float repeatX = 0.0f;          // last pad X
    float repeatY = 0.0f;          // last pad Y
    uint64_t nextBoundary = 22050; // frameCounter value of the next beat boundary
    std::vector<float> sliceL;     // kSliceFrames
    std::vector<float> sliceR;     // kSliceFrames
    bool resync = true;            // restart the cycle at the next beat boundary

    // Main thread: allocates the slice buffers (zeroed).
    AMRepeater();

    // Main thread (engine lock): counter 0, resync off, cycle restarted, buffers silent.
    void reset() override;
    // Main thread (engine lock): tempo in BPM; slice length recomputed, cycle resynced.
    void setTempo(float bpm) override;

    // Main thread (engine lock): the XY pad (0..1 each): X → slice length, Y → repeat count.
    void padInput(float x, float y);
    // Main thread (engine lock): frame counter from the deck's beat position (frames), resync
    // set, next boundary computed.
    void alignToCounter(uint64_t counter);

    // Render thread: no allocation, no locks. `frames` interleaved stereo frames in place.
    void processStereo(float* io, int frames);

private:
    void updateSlice();
};

} // namespace vx
