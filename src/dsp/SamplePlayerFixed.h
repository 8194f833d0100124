#pragma once
// SamplePlayerFixed: one sampler pad — a short sound fully decoded in memory, played once from
// the start each time the pad is pressed (a second press restarts it; there is never a second
// voice on one pad).
//
// The player owns its interleaved stereo float frames. `playPos` is the next frame to play;
// any value at or beyond `frameCount` means stopped, and "past the end" is 0x7FFFFFFF. `level`
// is the pad gain (1.5 until the engine's shared pad volume overwrites it each render cycle).
//
// Threads: the main thread presses and stops pads while the render thread mixes them, so
// `finished` and `playPos` are atomics (relaxed: each is a self-contained value, and a press
// racing the end of a sound only decides which of the two wins). `samples` and `frameCount`
// are replaced only while the pad is finished.

#include "dsp/SynthModule.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace vx {

class SamplePlayerFixed final : public SynthModule {
public:
    static constexpr uint32_t kPastEnd = 0x7FFFFFFF;

    std::atomic<bool> finished{true};        // not playing
    std::string path;                        // file the pad plays (main thread)
    std::atomic<uint32_t> playPos{kPastEnd}; // next frame to play
    std::unique_ptr<float[]> samples;        // interleaved stereo frames
    int32_t frameCount = 0;                  // playable frames (file frames − 1)

    // Main thread: an empty, stopped pad with gain 1.5.
    SamplePlayerFixed();

    // Main thread: stopped (position past the end).
    void reset() override;
    // Main thread: restarts from frame 0 (stays finished when there is nothing to play).
    void noteOn() override;
    // Main thread: stopped.
    void noteOff() override;

    // Render thread: no allocation, no locks. The next float of the interleaved buffer × level.
    virtual float tickMono();
    // Render thread: no allocation, no locks. Adds up to n frames × level into the interleaved
    // stereo `output`.
    virtual void mixInto(float* output, int n);
    // Main thread: restarts from frame 0 and marks playing; returns 1.
    virtual int rewind();
    // Main thread: stopped (position past the end).
    virtual void stop();
    // Any thread: true while the pad plays.
    virtual bool isPlaying();
};

} // namespace vx
