#include "platform/RunLoop.h"

#include "platform/Clock.h"
#include "platform/Log.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

namespace vx {

namespace detail {

struct TimerState {
    // Cleared by invalidate() on any thread, read by the loop before each firing.
    std::atomic<bool> valid{true};
    double interval = 0.0; // 0 for one-shot; fixed at creation
    // Main thread only below.
    double anchor = 0.0; // clock time at creation
    uint64_t tick = 0;   // a repeating timer's n-th due time is anchor + tick × interval
    double due = 0.0;
    uint64_t order = 0;
    std::function<void()> fn;
};

// The part of the loop other threads touch. Kept in a shared_ptr so a ClockHold may outlive
// the loop.
struct RunLoopShared {
    mutable std::mutex mutex;
    std::condition_variable wake; // a post, a quit, a shutdown or a released hold
    std::deque<std::function<void()>> tasks;
    bool quitRequested = false;
    size_t holds = 0;
    std::atomic<bool> shutDown{false}; // written under the mutex; read anywhere
};

} // namespace detail

namespace {

using Wall = std::chrono::steady_clock;

// Longest single sleep with a clock that is not a ManualClock: bounds the error if that clock
// does not tick in real time.
constexpr double kLongestRealWait = 0.1;
// How often runUntil re-checks its predicate while it sleeps, in real seconds: the predicate
// may watch something another thread changes without posting.
constexpr double kPredicatePoll = 0.002;

Wall::duration toWall(double seconds) {
    return std::chrono::duration_cast<Wall::duration>(std::chrono::duration<double>(seconds));
}

double secondsSince(Wall::time_point start) {
    return std::chrono::duration<double>(Wall::now() - start).count();
}

// Marks an invokeAndWait call finished when the posted wrapper is destroyed: after it ran, or
// when shutdown drops it unrun.
struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool ran = false;
};

struct CompletionSignal {
    explicit CompletionSignal(std::shared_ptr<Completion> c) : completion(std::move(c)) {}
    CompletionSignal(const CompletionSignal&) = delete;
    CompletionSignal& operator=(const CompletionSignal&) = delete;
    ~CompletionSignal() {
        std::lock_guard lock(completion->mutex);
        completion->finished = true;
        completion->ran = ran;
        completion->done.notify_all();
    }
    std::shared_ptr<Completion> completion;
    bool ran = false; // main thread
};

} // namespace

// Real time a manual-clock run has spent waiting for other threads.
struct RunLoop::WaitBudget {
    double limit = 0.0;       // real seconds of waiting allowed for holds and posts
    double spent = 0.0;       // real seconds waited so far
    double idle = 0.0;        // real seconds runUntil has waited since the last work arrived
    bool ignoreHolds = false; // set once the limit is reached
};

// ---- TimerHandle ----

void TimerHandle::invalidate() {
    if (state_) {
        state_->valid.store(false, std::memory_order_release);
    }
}

bool TimerHandle::isValid() const {
    return state_ && state_->valid.load(std::memory_order_acquire);
}

double TimerHandle::fireTime() const {
    return state_ ? state_->due : 0.0;
}

double TimerHandle::interval() const {
    return state_ ? state_->interval : 0.0;
}

// ---- ClockHold ----

ClockHold& ClockHold::operator=(ClockHold&& other) noexcept {
    if (this != &other) {
        release();
        shared_ = std::move(other.shared_);
    }
    return *this;
}

ClockHold::~ClockHold() {
    release();
}

void ClockHold::release() {
    if (!shared_) {
        return;
    }
    {
        std::lock_guard lock(shared_->mutex);
        --shared_->holds;
        shared_->wake.notify_all();
    }
    shared_.reset();
}

// ---- RunLoop ----

RunLoop::RunLoop(Clock& clock)
    : clock_(clock), manualClock_(dynamic_cast<ManualClock*>(&clock)),
      shared_(std::make_shared<detail::RunLoopShared>()), mainThread_(std::this_thread::get_id()) {}

RunLoop::~RunLoop() {
    // The owner may destroy the loop from another thread once nothing uses it any more.
    bindToCurrentThread();
    shutdown();
}

bool RunLoop::isMainThread() const {
    return mainThread_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void RunLoop::bindToCurrentThread() {
    mainThread_.store(std::this_thread::get_id(), std::memory_order_release);
}

bool RunLoop::post(std::function<void()> task) {
    std::function<void()> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->shutDown.load(std::memory_order_relaxed)) {
            shared_->tasks.push_back(std::move(task));
            shared_->wake.notify_all();
            return true;
        }
        dropped = std::move(task);
    }
    return false; // `dropped` is destroyed here, outside the lock
}

bool RunLoop::invokeAndWait(std::function<void()> task) {
    if (isMainThread()) {
        task();
        return true;
    }
    auto completion = std::make_shared<Completion>();
    auto signal = std::make_shared<CompletionSignal>(completion);
    post([task = std::move(task), signal = std::move(signal)] {
        task();
        signal->ran = true;
    });
    std::unique_lock lock(completion->mutex);
    completion->done.wait(lock, [&] { return completion->finished; });
    return completion->ran;
}

TimerHandle RunLoop::after(double seconds, std::function<void()> fn) {
    return addTimer(seconds > 0.0 ? seconds : 0.0, 0.0, std::move(fn));
}

TimerHandle RunLoop::every(double seconds, std::function<void()> fn) {
    const double interval = seconds > kMinimumInterval ? seconds : kMinimumInterval;
    return addTimer(interval, interval, std::move(fn));
}

TimerHandle RunLoop::addTimer(double delay, double interval, std::function<void()> fn) {
    assert(isMainThread());
    auto timer = std::make_shared<detail::TimerState>();
    timer->interval = interval;
    timer->anchor = clock_.now();
    timer->tick = 1;
    timer->due = timer->anchor + delay;
    timer->order = nextTimerOrder_++;
    if (isShutDown()) {
        timer->valid.store(false, std::memory_order_relaxed);
        return TimerHandle(std::move(timer));
    }
    timer->fn = std::move(fn);
    timers_.emplace(TimerKey{timer->due, timer->order}, timer);
    if (timers_.size() > sweepThreshold_) {
        sweepInvalidTimers();
    }
    return TimerHandle(std::move(timer));
}

void RunLoop::sweepInvalidTimers() {
    // Invalidated timers stay queued until their due time; when many pile up (a timer re-made
    // on every touch), drop them all at once. The threshold doubles so this stays amortised.
    // Queued timers are never running, so their callbacks can go now.
    std::erase_if(timers_, [](const auto& entry) {
        if (entry.second->valid.load(std::memory_order_acquire)) {
            return false;
        }
        entry.second->fn = nullptr;
        return true;
    });
    sweepThreshold_ = std::max<size_t>(64, timers_.size() * 2);
}

std::optional<double> RunLoop::nextTimerTime() {
    assert(isMainThread());
    while (!timers_.empty() && !timers_.begin()->second->valid.load(std::memory_order_acquire)) {
        timers_.begin()->second->fn = nullptr; // a queued timer is never the one running
        timers_.erase(timers_.begin());
    }
    if (timers_.empty()) {
        return std::nullopt;
    }
    return timers_.begin()->first.first;
}

void RunLoop::reschedule(detail::TimerState& timer, double now) const {
    ++timer.tick;
    double due = timer.anchor + static_cast<double>(timer.tick) * timer.interval;
    if (due <= now) {
        // Fell behind by more than an interval: skip to the first tick after now.
        const double behind = std::floor((now - timer.anchor) / timer.interval) + 1.0;
        if (behind > static_cast<double>(timer.tick)) {
            timer.tick = static_cast<uint64_t>(behind);
        }
        due = timer.anchor + static_cast<double>(timer.tick) * timer.interval;
        while (due <= now) {
            ++timer.tick;
            due = timer.anchor + static_cast<double>(timer.tick) * timer.interval;
        }
    }
    timer.due = due;
}

int RunLoop::addSource(std::function<size_t()> drain) {
    assert(isMainThread());
    const int id = nextSourceId_++;
    sources_.emplace(id, std::move(drain));
    return id;
}

void RunLoop::removeSource(int id) {
    sources_.erase(id);
}

void RunLoop::waitForPost(double seconds) {
    auto& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    shared.wake.wait_for(lock, toWall(std::max(seconds, 0.0)), [&] {
        return !shared.tasks.empty() || shared.quitRequested ||
               shared.shutDown.load(std::memory_order_relaxed);
    });
}

size_t RunLoop::runPosted() {
    assert(isMainThread());
    size_t count = 0;
    // By id, so that a drain may add or remove other sources (never itself) meanwhile.
    for (auto it = sources_.begin(); it != sources_.end() && !isShutDown();) {
        const int id = it->first;
        count += it->second();
        it = sources_.upper_bound(id);
    }
    // Only the tasks queued before this pass; later posts wait for the next one.
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(shared_->mutex);
        batch.swap(shared_->tasks);
    }
    while (!batch.empty() && !isShutDown()) {
        std::function<void()> task = std::move(batch.front());
        batch.pop_front();
        task();
        ++count;
        // `task` is destroyed here, which releases an invokeAndWait caller right away.
    }
    batch.clear(); // after a shutdown from inside a task: drop the rest
    return count;
}

size_t RunLoop::runDue() {
    assert(isMainThread());
    size_t count = runPosted();

    // Timers due now, taken out of the queue first so callbacks may add, invalidate or nest
    // runs freely.
    const double now = clock_.now();
    std::vector<std::shared_ptr<detail::TimerState>> due;
    while (!timers_.empty() && timers_.begin()->first.first <= now) {
        due.push_back(std::move(timers_.begin()->second));
        timers_.erase(timers_.begin());
    }
    for (auto& timer : due) {
        if (isShutDown() || !timer->valid.load(std::memory_order_acquire)) {
            timer->fn = nullptr;
            continue;
        }
        if (timer->interval == 0.0) {
            timer->valid.store(false, std::memory_order_release);
            const std::function<void()> fn = std::move(timer->fn);
            timer->fn = nullptr;
            fn();
            ++count;
            continue;
        }
        timer->fn();
        ++count;
        if (timer->valid.load(std::memory_order_acquire) && !isShutDown()) {
            reschedule(*timer, clock_.now());
            timers_.emplace(TimerKey{timer->due, timer->order}, timer);
        } else {
            timer->fn = nullptr;
        }
    }
    return count;
}

void RunLoop::run() {
    drive(std::numeric_limits<double>::infinity(), nullptr);
}

void RunLoop::runFor(double seconds) {
    drive(clock_.now() + std::max(seconds, 0.0), nullptr);
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
    return drive(clock_.now() + std::max(timeoutSeconds, 0.0), &predicate);
}

bool RunLoop::drive(double deadline, const std::function<bool()>* predicate) {
    assert(isMainThread());
    WaitBudget budget;
    budget.limit = stallLimit_;
    for (;;) {
        runDue();
        if (predicate && (*predicate)()) {
            return true;
        }
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->shutDown.load(std::memory_order_relaxed)) {
                return false;
            }
            if (shared_->quitRequested) {
                shared_->quitRequested = false;
                return false;
            }
        }
        const double now = clock_.now();
        if (now >= deadline) {
            return false;
        }
        if (manualClock_) {
            stepManualClock(now, deadline, predicate != nullptr, budget);
        } else {
            waitForSystemClock(now, deadline, predicate != nullptr);
        }
    }
}

void RunLoop::stepManualClock(double now, double deadline, bool graceWhenIdle, WaitBudget& budget) {
    const std::optional<double> next = nextTimerTime();
    auto& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    const auto workArrived = [&] {
        return !shared.tasks.empty() || shared.quitRequested ||
               shared.shutDown.load(std::memory_order_relaxed);
    };
    if (workArrived()) {
        budget.idle = 0.0;
        return; // posted work runs before the clock moves
    }

    // Another thread holds the clock: wait in real time for its posts or its release.
    if (shared.holds > 0 && !budget.ignoreHolds) {
        const double left = budget.limit - budget.spent;
        if (left > 0.0) {
            const double slice = graceWhenIdle ? std::min(left, kPredicatePoll) : left;
            const auto start = Wall::now();
            shared.wake.wait_for(lock, toWall(slice),
                                 [&] { return workArrived() || shared.holds == 0; });
            budget.spent += secondsSince(start);
            return;
        }
        budget.ignoreHolds = true;
        logLine("RunLoop: clock held by another thread for %.1f s; moving it on anyway",
                budget.spent);
    }

    if (next && *next <= deadline) {
        lock.unlock();
        manualClock_->set(std::max(*next, now));
        return;
    }
    if (std::isinf(deadline)) {
        // run() with nothing scheduled: sleep until something is posted.
        shared.wake.wait(lock, workArrived);
        return;
    }
    if (graceWhenIdle && budget.idle < idleGrace_ && budget.spent < budget.limit) {
        // runUntil with nothing due before its timeout: give other threads a moment to post.
        const double slice =
            std::min({kPredicatePoll, idleGrace_ - budget.idle, budget.limit - budget.spent});
        const auto start = Wall::now();
        const bool arrived = shared.wake.wait_for(lock, toWall(slice), workArrived);
        const double waited = secondsSince(start);
        budget.spent += waited;
        budget.idle = arrived ? 0.0 : budget.idle + waited;
        return;
    }
    lock.unlock();
    manualClock_->set(deadline);
}

void RunLoop::waitForSystemClock(double now, double deadline, bool polling) {
    double until = deadline;
    if (const auto next = nextTimerTime()) {
        until = std::min(until, *next);
    }
    auto& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    const auto workArrived = [&] {
        return !shared.tasks.empty() || shared.quitRequested ||
               shared.shutDown.load(std::memory_order_relaxed);
    };
    if (std::isinf(until) && sources_.empty()) {
        shared.wake.wait(lock, workArrived);
        return;
    }
    double wait = std::min(until - now, polling ? kPredicatePoll : kLongestRealWait);
    if (!sources_.empty()) {
        wait = std::min(wait, kSourceInterval); // the sources cannot wake the loop
    }
    if (wait > 0.0) {
        shared.wake.wait_for(lock, toWall(wait), workArrived);
    }
}

void RunLoop::quit() {
    std::lock_guard lock(shared_->mutex);
    shared_->quitRequested = true;
    shared_->wake.notify_all();
}

void RunLoop::shutdown() {
    assert(isMainThread());
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->shutDown.store(true, std::memory_order_release);
        dropped.swap(shared_->tasks);
        shared_->wake.notify_all();
    }
    auto timers = std::move(timers_);
    timers_.clear();
    for (auto& [key, timer] : timers) {
        timer->valid.store(false, std::memory_order_release);
        timer->fn = nullptr;
    }
    // `dropped` goes out of scope here, outside the lock: dropped invokeAndWait wrappers wake
    // their callers, and task destructors may post (which is now a no-op).
}

bool RunLoop::isShutDown() const {
    return shared_->shutDown.load(std::memory_order_acquire);
}

ClockHold RunLoop::holdClock() {
    std::lock_guard lock(shared_->mutex);
    ++shared_->holds;
    return ClockHold(shared_);
}

size_t RunLoop::pendingTasks() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->tasks.size();
}

} // namespace vx
