#include "platform/Clock.h"

#include <chrono>

namespace vx {

double SystemClock::now() const {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

double ManualClock::now() const {
    return seconds_.load(std::memory_order_relaxed);
}

void ManualClock::advance(double seconds) {
    seconds_.fetch_add(seconds, std::memory_order_relaxed);
}

void ManualClock::set(double seconds) {
    seconds_.store(seconds, std::memory_order_relaxed);
}

} // namespace vx
