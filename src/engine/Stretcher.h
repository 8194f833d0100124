#pragma once
// Stretcher: the key-lock pitch corrector of one deck, a small adapter that owns a SoundTouch
// processor.
//
// The deck reads its track at `speed`, which shifts tempo and pitch together; the stretcher
// then shifts the pitch back by 1/speed while tempo and rate stay 1.0, so the key stays put.
// SoundTouch is configured once at construction (44100 Hz, stereo, anti-alias filter on, quick
// seek on, automatic sequence and seek window, 8 ms overlap) and warmed up so that its FIFOs
// have grown before the render thread first uses it.
//
// Who calls what: changing the pitch recomputes SoundTouch's anti-alias filter, which
// allocates, so it never happens on the render thread. The main thread sets the pitch while
// holding the engine lock (the guard given at construction), which the render thread holds
// while it feeds the processor, so the two never call in at the same time. When the render
// thread itself needs a new pitch (recovering from a decoder underrun) or a clear, it leaves a
// request in atomics: a clear is applied by the render thread before its next feed (clearing
// does not allocate), a pitch by the main thread's next service pass.
//
// One owner of the pitch: every request and every direct set takes a ticket from one counter.
// A pending request is applied only while no later set or request has been made, so a request
// left by a load or an underrun can never overwrite a pitch that key lock set after it.
//
// The render thread also counts frames in and out since the last clear; their difference is
// the stretcher's depth, from which the engine derives the audible position.

#include "platform/EngineLock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace soundtouch {
class SoundTouch;
}

namespace vx {

class Stretcher {
public:
    // `guard`: the engine lock, taken around pitch changes; null for a stand-alone stretcher.
    explicit Stretcher(EngineLock* guard = nullptr);
    ~Stretcher();
    Stretcher(const Stretcher&) = delete;
    Stretcher& operator=(const Stretcher&) = delete;

    // Main thread: sets the pitch ratio (1.0 = unchanged) under the guard and withdraws any
    // request made before. May allocate.
    void setPitch(double pitch);
    // Render or decode thread: asks the main thread to set this pitch ratio (see
    // applyPendingPitch). No allocation, no locks.
    void requestPitch(double pitch);
    // Main thread: applies the pending request unless a later set or request replaced it;
    // true when it applied one.
    bool applyPendingPitch();
    // Any thread: asks for the processor to be emptied before its next feed.
    void requestClear();
    // Any thread: a clear was asked for and the render thread has not applied it yet. Until it
    // does, what the stretcher holds will never be heard: its next output starts at the read
    // position.
    bool clearPending() const { return clearPending_.load(std::memory_order_acquire); }
    // Any thread: the pitch ratio last set or requested.
    double pitch() const { return pitch_.load(std::memory_order_relaxed); }

    // Render thread: applies a pending clear; true when there was one. No allocation, no locks.
    bool applyPendingClear();
    // Render thread (or a thread that owns the stretcher): empties the processor at once.
    void clearNow();
    // Render thread: feeds `frames` stereo interleaved frames.
    void put(const float* interleaved, uint32_t frames);
    // Render thread: takes up to `maxFrames` frames; returns how many were written.
    uint32_t receive(float* interleaved, uint32_t maxFrames);
    // Render thread: frames ready to be received.
    uint32_t available() const;
    // Render thread (or any thread for display): frames put minus frames received since the
    // last clear — how far the output lags the input, in the frames that were fed.
    int64_t depth() const {
        return framesIn_.load(std::memory_order_relaxed) -
               framesOut_.load(std::memory_order_relaxed);
    }
    // Render thread: the processor's nominal initial latency in frames.
    int initialLatency() const;

private:
    std::unique_ptr<soundtouch::SoundTouch> processor_;
    EngineLock* guard_;
    std::atomic<double> pitch_{1.0};
    void applyPitch(double pitch);
    // Tickets: the newest one taken, and the pending request as one word (its ticket in the
    // high 32 bits, the pitch as float bits in the low ones; 0 when none), so a request is
    // always read whole and an older one never replaces a newer one.
    std::atomic<uint32_t> lastTicket_{0};
    std::atomic<uint64_t> pending_{0};
    std::atomic<bool> clearPending_{false};
    std::atomic<int64_t> framesIn_{0};
    std::atomic<int64_t> framesOut_{0};
};

} // namespace vx
