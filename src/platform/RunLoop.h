#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace vx {

class Clock;
class ManualClock;

namespace detail {
struct TimerState;
struct RunLoopShared;
} // namespace detail

// A timer created by RunLoop::after or RunLoop::every. Copies share the timer: invalidating
// one copy stops it for all. A default-constructed handle refers to no timer and is invalid.
class TimerHandle {
public:
    TimerHandle() = default;
    // Any thread: stops the timer for good; safe from inside its own callback. The callback
    // itself is released later by the loop, on the main thread.
    void invalidate();
    // Any thread: true while the timer may still fire. A one-shot timer turns invalid as its
    // callback starts; a repeating one stays valid until invalidated or the loop shuts down.
    bool isValid() const;
    // Main thread: clock time in seconds of the next (or, once fired, the last) due time.
    double fireTime() const;
    // Any thread: repeat interval in seconds; 0 for a one-shot timer.
    double interval() const;

private:
    friend class RunLoop;
    explicit TimerHandle(std::shared_ptr<detail::TimerState> state) : state_(std::move(state)) {}
    std::shared_ptr<detail::TimerState> state_;
};

// Keeps a manual clock from moving while another thread works on something the main thread
// will hear about (a decoder filling a deck, an analysis that reports with invokeAndWait).
// Move-only; releases itself when destroyed. May outlive the loop.
class ClockHold {
public:
    // Any thread: an empty hold (holds nothing).
    ClockHold() = default;
    // Any thread: takes over `other`'s hold.
    ClockHold(ClockHold&& other) noexcept = default;
    // Any thread: releases this hold, then takes over `other`'s.
    ClockHold& operator=(ClockHold&& other) noexcept;
    ClockHold(const ClockHold&) = delete;
    ClockHold& operator=(const ClockHold&) = delete;
    ~ClockHold();
    // Any thread: lets the clock move again (idempotent).
    void release();
    // Any thread: true until released.
    bool isHeld() const { return shared_ != nullptr; }

private:
    friend class RunLoop;
    explicit ClockHold(std::shared_ptr<detail::RunLoopShared> shared)
        : shared_(std::move(shared)) {}
    std::shared_ptr<detail::RunLoopShared> shared_;
};

// RunLoop: the main thread's queue of tasks and its timers.
//
// Every controller runs on the main thread; other threads (decoders, analysis, HTTP workers)
// reach it by posting tasks here. Timers read the loop's Clock: the system clock in the app, a
// ManualClock in tests and headless runs, where the offline audio device (or runFor/runUntil)
// moves time forward and calls runDue, so the same inputs always give the same sequence.
//
// Threads: post, invokeAndWait, quit, holdClock and isMainThread may be called from any
// thread; everything else belongs to the main thread, which is the thread that constructed
// the loop until bindToCurrentThread moves it.
//
// Ordering rules:
// - Posted tasks run in the order they were posted (FIFO across all threads). A task posted
//   while runDue is running (by a task or a timer) runs in the next pass, so a task that
//   re-posts itself cannot starve the timers or keep runDue from returning.
// - In one pass, posted tasks run first, then every timer due at the clock's time at the start
//   of the timer phase, in due-time order (ties in creation order). A timer created or
//   rescheduled during a pass fires in a later pass at the earliest.
// - A repeating timer stays on its grid: its n-th due time is creation time + n × interval, so
//   it never drifts however late runDue is called. When it has fallen behind by more than one
//   interval it fires once and then continues at the first grid tick after the current time;
//   the missed ticks are skipped, never replayed in a burst.
//
// Waiting: with a system clock, run/runFor/runUntil sleep on a condition variable until the
// next due timer or a post. With a ManualClock they do not sleep: they run everything that is
// due, then set the clock to the next due timer, and so on up to the end time. Posted tasks
// always run before the clock moves, and while any ClockHold is alive the clock does not move
// at all: the loop waits in real time for the holder's posts (for at most stallLimit seconds
// of waiting per call, then it logs and goes on). runUntil with nothing left to do before its
// timeout also waits up to idleGrace seconds of real time for posts from other threads before
// it jumps to the timeout; runFor does not.
//
// Shutting down: shutdown() (also run by the destructor) drops queued tasks and timers and
// makes later posts no-ops. invokeAndWait returns once its task has run or has been dropped
// that way; quit() only ends the current run() and does not release it, since the loop may run
// again. So at termination: quit, then shutdown, then join the worker threads.
class RunLoop {
public:
    // The constructing thread becomes the main thread. The clock must outlive the loop.
    explicit RunLoop(Clock& clock);
    // Main thread (or the owner after the loop's last use): shuts the loop down.
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Any thread: the clock timers read.
    Clock& clock() const { return clock_; }
    // Any thread: true on the loop's main thread.
    bool isMainThread() const;
    // Any thread: the calling thread becomes the main thread.
    void bindToCurrentThread();

    // Any thread: queues `task` to run on the main thread (FIFO). Returns false, dropping the
    // task, when the loop has been shut down.
    bool post(std::function<void()> task);
    // Any thread: on the main thread calls `task` directly; elsewhere posts it and blocks until
    // it has run. Returns false without running it when the loop shuts down first.
    bool invokeAndWait(std::function<void()> task);

    // Main thread: calls `fn` once, `seconds` (clock seconds, negative = 0) from now.
    TimerHandle after(double seconds, std::function<void()> fn);
    // Main thread: calls `fn` every `seconds` (clock seconds, at least kMinimumInterval) until
    // the handle is invalidated; `fn` may invalidate its own handle.
    TimerHandle every(double seconds, std::function<void()> fn);

    // Main thread: runs every queued task and every timer due now; never blocks. Returns how
    // many tasks and timer callbacks ran.
    size_t runDue();
    // Main thread: adds a source of work that is not posted as tasks (a lock-free mailbox
    // from the render thread): `drain` runs at the start of every pass, before the posted tasks,
    // and returns how many things it handled; it must not remove its own source. While a source exists, a loop on the system
    // clock waits at most kSourceInterval between passes. Returns the source's id.
    int addSource(std::function<size_t()> drain);
    // Main thread: removes a source.
    void removeSource(int id);
    // Main thread: blocks in real time until a task is posted (or the loop quits or shuts
    // down), at most `seconds`; runs nothing.
    void waitForPost(double seconds);
    // Main thread: runs the queued tasks only, leaving every timer for a later runDue; never
    // blocks. For waiting on another thread's reports without letting time-driven work start
    // in the middle. Returns how many tasks ran.
    size_t runPosted();
    // Main thread: runs tasks and timers until quit() or shutdown().
    void run();
    // Main thread: runs tasks and timers for `seconds` of clock time, ending with the clock at
    // (at least) start + seconds and everything due then run.
    void runFor(double seconds);
    // Main thread: runs tasks and timers until `predicate` (checked after each step) is true,
    // or `timeoutSeconds` of clock time have passed, or quit(). Returns the predicate's result.
    bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds);
    // Any thread: makes the current (or, if none is running, the next) run/runFor/runUntil
    // return after the task in progress. Innermost call first when runs are nested.
    void quit();
    // Main thread: drops every queued task and timer; from now on posts are dropped and the
    // run calls return at once. Releases all invokeAndWait callers.
    void shutdown();
    // Any thread: true after shutdown().
    bool isShutDown() const;

    // Any thread: while the returned hold lives, a manual clock is not moved by runFor, runUntil
    // or run (see the class comment).
    ClockHold holdClock();
    // Main thread: clock time in seconds of the earliest valid timer, if any.
    std::optional<double> nextTimerTime();
    // Any thread: number of queued tasks.
    size_t pendingTasks() const;

    // Main thread: real seconds a manual-clock run waits for clock holds and posts in total
    // before it gives up waiting (default 10).
    void setStallLimit(double seconds) { stallLimit_ = seconds; }
    // Main thread: real seconds runUntil on a manual clock waits for posts once nothing else is
    // due before its timeout (default 0.05).
    void setIdleGrace(double seconds) { idleGrace_ = seconds; }

    // Longest real-time wait of a system-clock loop between two drains of its sources.
    static constexpr double kSourceInterval = 0.005;
    // Shortest repeat interval of every(), in seconds.
    static constexpr double kMinimumInterval = 0.001;

private:
    struct WaitBudget;
    using TimerKey = std::pair<double, uint64_t>; // due time, creation order

    TimerHandle addTimer(double delay, double interval, std::function<void()> fn);
    void reschedule(detail::TimerState& timer, double now) const;
    void sweepInvalidTimers();
    bool drive(double deadline, const std::function<bool()>* predicate);
    void stepManualClock(double now, double deadline, bool graceWhenIdle, WaitBudget& budget);
    void waitForSystemClock(double now, double deadline, bool polling);

    Clock& clock_;
    ManualClock* manualClock_;
    std::shared_ptr<detail::RunLoopShared> shared_;
    std::atomic<std::thread::id> mainThread_;
    std::map<TimerKey, std::shared_ptr<detail::TimerState>> timers_;
    std::map<int, std::function<size_t()>> sources_;
    int nextSourceId_ = 1;
    uint64_t nextTimerOrder_ = 0;
    size_t sweepThreshold_ = 64;
    double stallLimit_ = 10.0;
    double idleGrace_ = 0.05;
};

} // namespace vx
