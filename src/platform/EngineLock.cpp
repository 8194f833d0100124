#include "platform/EngineLock.h"

#include "platform/Log.h"

namespace vx {

namespace {
thread_local int engineLockDepth = 0;
std::atomic<uint64_t> violations{0};
std::mutex lastMutex;
std::string last;
} // namespace

void EngineLock::lock() {
    mutex_.lock();
    ++engineLockDepth;
}

void EngineLock::unlock() {
    --engineLockDepth;
    mutex_.unlock();
}

bool EngineLock::try_lock() {
    if (!mutex_.try_lock()) {
        return false;
    }
    ++engineLockDepth;
    return true;
}

bool holdingEngineLock() {
    return engineLockDepth > 0;
}

void engineLockTripwire(const char* what) {
    if (engineLockDepth == 0) {
        return;
    }
    violations.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard lock(lastMutex);
        last = what;
    }
    logLine("engine lock held during %s", what);
}

uint64_t takeEngineLockViolations() {
    return violations.exchange(0, std::memory_order_relaxed);
}

std::string lastEngineLockViolation() {
    std::lock_guard lock(lastMutex);
    return last;
}

} // namespace vx
