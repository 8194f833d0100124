#pragma once
// ParamFilter / tParamFilter: the engine's only way to change an audible parameter without a
// click — a linear ramp stepped once per output frame (or once per buffer where a caller says
// so).
//
// Threads: the main thread starts ramps (the ramped setters) while the render thread steps
// them, without a lock. Every field is an atomic: the setter writes `from`, `to`, `delta` and
// `count` first (relaxed) and `On` last with release; the render thread reads `On` with
// acquire before it reads the rest, so a ramp it sees running has complete targets. A setter
// that retargets a running ramp can interleave with one step; the next step then continues
// from the value just reached, which is what the stepping rule would do anyway.

#include <atomic>
#include <cstdint>

namespace vx {

template <typename T> struct BasicParamFilter {
    std::atomic<T> TimeFilter{T(25)}; // ramp length as last started (informational)
    std::atomic<T> from{T(0)};        // current value, advanced by delta each step
    std::atomic<T> to{T(0)};          // target value
    std::atomic<T> delta{T(0)};       // increment per step
    std::atomic<int32_t> count{0};    // steps still to take
    std::atomic<int32_t> param_tag{0};
    std::atomic<bool> On{false}; // the ramp is running; publishes the fields above
    std::atomic<int32_t> _kind{0};

    // Any thread: clears the ramp (not running, all values zero) with the given length.
    void clear(T timeFilter) {
        On.store(false, std::memory_order_release);
        TimeFilter.store(timeFilter, std::memory_order_relaxed);
        from.store(T(0), std::memory_order_relaxed);
        to.store(T(0), std::memory_order_relaxed);
        delta.store(T(0), std::memory_order_relaxed);
        count.store(0, std::memory_order_relaxed);
    }

    bool isOn() const { return On.load(std::memory_order_acquire); }

    // Render thread: one step of the stepping rule. When the ramp runs, writes the value to use
    // into `value` and returns true; when it is not running, leaves `value` alone and returns
    // false. With count > 0: count − 1, from + delta, value = from; with count = 0: On cleared,
    // value = to. So a ramp of N steps reaches its target on step N + 1.
    bool step(T& value) {
        if (!On.load(std::memory_order_acquire)) {
            return false;
        }
        const int32_t left = count.load(std::memory_order_relaxed);
        if (left > 0) {
            count.store(left - 1, std::memory_order_relaxed);
            const T next =
                from.load(std::memory_order_relaxed) + delta.load(std::memory_order_relaxed);
            from.store(next, std::memory_order_relaxed);
            value = next;
        } else {
            On.store(false, std::memory_order_relaxed);
            value = to.load(std::memory_order_relaxed);
        }
        return true;
    }

    // Steps the ramp into an atomic plain field (the field the signal path reads).
    void stepInto(std::atomic<T>& field) {
        T value;
        if (step(value)) {
            field.store(value, std::memory_order_relaxed);
        }
    }

    // Main thread: starts or retargets the ramp towards `target` over `steps` steps. A running
    // ramp keeps its current `from`; a stopped one starts from `current`.
    void start(T current, T target, int32_t steps) {
        const T n = static_cast<T>(steps > 0 ? steps : 1);
        if (On.load(std::memory_order_acquire)) {
            const T now = from.load(std::memory_order_relaxed);
            to.store(target, std::memory_order_relaxed);
            delta.store((target - now) / n, std::memory_order_relaxed);
            count.store(steps, std::memory_order_relaxed);
        } else {
            from.store(current, std::memory_order_relaxed);
            to.store(target, std::memory_order_relaxed);
            delta.store((target - current) / n, std::memory_order_relaxed);
            count.store(steps, std::memory_order_relaxed);
        }
        TimeFilter.store(static_cast<T>(steps), std::memory_order_relaxed);
        On.store(true, std::memory_order_release);
    }

    // Main thread: the ramped-setter rule. A stopped deck takes the value at once (no ramp);
    // a playing deck ramps from the field's value over `steps` frames.
    void rampedSet(std::atomic<T>& field, T value, int32_t steps, bool deckPlaying) {
        if (!deckPlaying) {
            field.store(value, std::memory_order_relaxed);
            On.store(false, std::memory_order_release);
            return;
        }
        start(field.load(std::memory_order_relaxed), value, steps);
    }
};

// Single-precision ramp: gains, EQ, filter sweep, output fade, sampler gain.
using ParamFilter = BasicParamFilter<float>;
// Double-precision ramp: the deck speed.
using tParamFilter = BasicParamFilter<double>;

} // namespace vx
