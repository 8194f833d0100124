#pragma once
// SamplePlayerFixed: one sampler pad — a short sound fully decoded in memory, played once from
// the start each time the pad is pressed (a second press restarts it; there is never a second
// voice on one pad).
//
// The player owns its interleaved stereo float frames. `playPos` is the next frame to play;
// any value at or beyond `frameCount()` means stopped, and "past the end" is 0x7FFFFFFF. `level`
// is the pad gain (1.5 until the engine's shared pad volume overwrites it each render cycle).
//
// Threads: the main thread presses, stops and reassigns pads while the render thread mixes
// them. `finished` and `playPos` are atomics; the render thread advances the position with a
// compare-and-swap so that a press during a mix is never overwritten. The frames and their
// count are one immutable buffer published through an atomic pointer: a reassignment publishes
// the new buffer, then waits until no mix that may have picked up the old one is still running
// (the render thread counts itself in and out of every mix; a mix takes microseconds) and only
// then frees the old buffer, on the main thread.

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

    // Main thread: an empty, stopped pad with gain 1.5.
    SamplePlayerFixed();
    ~SamplePlayerFixed();
    SamplePlayerFixed(const SamplePlayerFixed&) = delete;
    SamplePlayerFixed& operator=(const SamplePlayerFixed&) = delete;

    // Main thread: stops the pad and replaces its sound by `frames` (interleaved stereo, at
    // least 2 × (frameCount + 1) floats; null with frameCount 0 for none). Safe while the render
    // thread mixes the pad: the old frames are freed only once no mix can still read them.
    void setSamples(std::unique_ptr<float[]> frames, int32_t frameCount);
    // Any thread: the playable frames (file frames − 1), and the frames themselves.
    int32_t frameCount() const;
    const float* samples() const;

    // Main thread: stopped (position past the end).
    void reset() override;
    // Main thread: restarts from frame 0 (stays finished when there is nothing to play).
    void noteOn() override;
    // Main thread: stopped.
    void noteOff() override;

    // Render thread: no allocation, no locks. The next float of the interleaved buffer × level
    // (0 and finished once past the end).
    virtual float tickMono();
    // Render thread: no allocation, no locks. Adds up to n frames × level into the interleaved
    // stereo `output` and advances the position by as many.
    virtual void mixInto(float* output, int n);
    // Main thread: restarts from frame 0 and marks playing; returns 1.
    virtual int rewind();
    // Main thread: stopped (position past the end).
    virtual void stop();
    // Any thread: true while the pad plays.
    virtual bool isPlaying();

private:
    struct Buffer {
        std::unique_ptr<float[]> frames;
        int32_t frameCount = 0;
    };
    // Render thread: brackets every read of the buffer (odd while inside).
    void enterMix() { mixing_.fetch_add(1, std::memory_order_seq_cst); }
    void leaveMix() { mixing_.fetch_add(1, std::memory_order_seq_cst); }
    // Render thread: moves the position from `from` to `to` unless a press moved it meanwhile.
    void advance(uint32_t from, uint32_t to);

    std::atomic<const Buffer*> buffer_;
    std::atomic<uint32_t> mixing_{0};
};

} // namespace vx
