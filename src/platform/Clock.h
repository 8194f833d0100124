#pragma once

#include <atomic>

namespace vx {

// Clock: where the main run loop and the controllers read the time, in seconds.
//
// The application reads the system's monotonic clock. Tests and headless runs read a
// ManualClock that only moves when told to: a test advances it, the offline audio device
// advances it by each rendered buffer's duration, and RunLoop::runFor/runUntil move it from
// one due timer to the next. Because every timer and controller reads time through this
// interface, a headless run gives the same result however fast the machine is.
class Clock {
public:
    virtual ~Clock() = default;
    // Any thread: the current time in seconds; monotonic, arbitrary origin.
    virtual double now() const = 0;
};

// The system's monotonic clock (std::chrono::steady_clock).
class SystemClock final : public Clock {
public:
    // Any thread: seconds since the steady clock's origin (usually the machine's boot).
    double now() const override;
};

// A clock that moves only when told to. Reads and writes are atomic, so a render thread or a
// test thread may advance it while the main thread reads it.
class ManualClock final : public Clock {
public:
    // Any thread: starts at `startSeconds`.
    explicit ManualClock(double startSeconds = 0.0) : seconds_(startSeconds) {}
    // Any thread: the current time in seconds.
    double now() const override;
    // Any thread: moves the clock forward (or back, for a negative amount) by `seconds`.
    void advance(double seconds);
    // Any thread: sets the time to `seconds`.
    void set(double seconds);

private:
    // Relaxed is enough: the value is the whole message, nothing else is published with it.
    std::atomic<double> seconds_;
};

} // namespace vx
