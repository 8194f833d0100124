#include "engine/ConversionState.h"

#include "platform/Log.h"

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

namespace vx {

namespace {

const char* valueName(ConversionState::Value value) {
    switch (value) {
    case ConversionState::Value::Running:
        return "running";
    case ConversionState::Value::Paused:
        return "paused";
    case ConversionState::Value::Done:
        return "done";
    }
    return "?";
}

[[noreturn]] void failTransition(const char* operation, ConversionState::Value value) noexcept {
    char why[64];
    std::snprintf(why, sizeof why, "not allowed while the state is %s", valueName(value));
    conversionAssertionFailed(operation, why);
}

} // namespace

void conversionAssertionFailed(const char* operation, const char* why) noexcept {
    // The process ends here: the reason must reach the terminal whatever the log settings.
    setLogToStderr(true);
    logLine("Assertion failed: %s: %s", operation, why);
    std::abort();
}

ConversionState::ConversionState()
    : ConversionState(
          [main = std::this_thread::get_id()] { return std::this_thread::get_id() == main; }) {}

ConversionState::ConversionState(std::function<bool()> isMainThread)
    : isMainThread_(std::move(isMainThread)) {
    initialize();
}

bool ConversionState::isMainThread() const {
    return isMainThread_ && isMainThread_();
}

void ConversionState::initialize() noexcept {
    if (!isMainThread()) {
        conversionAssertionFailed("ThreadStateInitalize", "not on the main thread");
    }
    {
        std::lock_guard lock(mutex_);
        value_ = Value::Done;
    }
    changed_.notify_all();
}

void ConversionState::setRunning() noexcept {
    std::lock_guard lock(mutex_);
    if (value_ != Value::Done) {
        failTransition("ThreadStateSetRunning", value_);
    }
    value_ = Value::Running;
}

bool ConversionState::pausedCheck() noexcept {
    std::unique_lock lock(mutex_);
    if (value_ == Value::Done) {
        failTransition("ThreadStatePausedCheck", value_);
    }
    if (value_ != Value::Paused) {
        return false;
    }
    ++waiting_;
    changed_.wait(lock, [this] { return value_ != Value::Paused; });
    --waiting_;
    return true;
}

void ConversionState::setDone() noexcept {
    {
        std::lock_guard lock(mutex_);
        if (value_ == Value::Done) {
            failTransition("ThreadStateSetDone", value_);
        }
        value_ = Value::Done;
    }
    changed_.notify_all();
}

bool ConversionState::pause() noexcept {
    std::lock_guard lock(mutex_);
    if (value_ != Value::Running) {
        return false;
    }
    value_ = Value::Paused;
    return true;
}

bool ConversionState::resume() noexcept {
    {
        std::lock_guard lock(mutex_);
        if (value_ != Value::Paused) {
            return false;
        }
        value_ = Value::Running;
    }
    changed_.notify_all();
    return true;
}

ConversionState::Value ConversionState::value() const noexcept {
    std::lock_guard lock(mutex_);
    return value_;
}

int ConversionState::waitingThreads() const noexcept {
    std::lock_guard lock(mutex_);
    return waiting_;
}

} // namespace vx
