#pragma once
// ConversionState: the run state of the file conversion (compressing a recorded mix for
// sharing), shared by the converting thread and whoever has to stop it for a while.
//
// There is one per process, made on the main thread at start-up. Its value is running (0),
// paused (1) or done (2). The converting thread marks it running when it starts, calls
// pausedCheck once per buffer and marks it done at the end; an audio interruption (another
// application taking the sound hardware, a phone call) pauses it from any thread and resumes
// it afterwards. While it is paused, pausedCheck blocks the converting thread, so the
// conversion stops between two buffers and goes on where it stopped.
//
// Threads: every member may be called from any thread, except initialize (main thread only).
// It owns one mutex and one condition variable; every read and write of the value happens
// under the mutex, and resume (like setDone and initialize) wakes every waiter.
//
// Misuse is a programming error, not a condition to recover from: a transition from the
// wrong value (or initialise off the main thread) logs "Assertion failed: <operation>: ..."
// and aborts the process. The operation names are the ones the logs have always used
// ("ThreadStateInitalize", "ThreadStateSetRunning", "ThreadStatePausedCheck",
// "ThreadStateSetDone"). The members are noexcept, so a failing mutex or condition call (a
// std::system_error) also ends the process.

#include <condition_variable>
#include <functional>
#include <mutex>

namespace vx {

class ConversionState {
public:
    enum class Value : int { Running = 0, Paused = 1, Done = 2 };

    // Main thread: the constructing thread is the main thread; initialises (state done).
    ConversionState();
    // Main thread: `isMainThread` says whether the calling thread is the main thread (for
    // instance a RunLoop's isMainThread); initialises, so it must be called on that thread.
    explicit ConversionState(std::function<bool()> isMainThread);
    ConversionState(const ConversionState&) = delete;
    ConversionState& operator=(const ConversionState&) = delete;

    // Main thread only ("ThreadStateInitalize" otherwise): state = done, waiters released.
    void initialize() noexcept;
    // Converting thread: done -> running ("ThreadStateSetRunning" from any other value).
    void setRunning() noexcept;
    // Converting thread, once per buffer: blocks while paused; true when it had to wait.
    // Requires running or paused ("ThreadStatePausedCheck" when done).
    bool pausedCheck() noexcept;
    // Converting thread: running or paused -> done, waiters released ("ThreadStateSetDone"
    // when already done).
    void setDone() noexcept;

    // Any thread (the interruption handler): running -> paused; false (no change) otherwise.
    bool pause() noexcept;
    // Any thread: paused -> running and waiters released; false (no change) otherwise.
    bool resume() noexcept;

    // Any thread: the current value.
    Value value() const noexcept;
    // Any thread: how many threads are blocked in pausedCheck right now.
    int waitingThreads() const noexcept;
    // Any thread: whether the calling thread is the main thread.
    bool isMainThread() const;

private:
    std::function<bool()> isMainThread_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Value value_ = Value::Done; // guarded by mutex_
    int waiting_ = 0;           // guarded by mutex_
};

// Any thread: logs "Assertion failed: <operation>: <why>" (on stderr even when the log is
// kept off it) and aborts the process.
[[noreturn]] void conversionAssertionFailed(const char* operation, const char* why) noexcept;

} // namespace vx
