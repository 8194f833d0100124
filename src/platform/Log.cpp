#include "platform/Log.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace vx {

namespace detail {

// Where finished lines go: stderr and the live captures.
struct LogSink {
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<LogCapture*>& captures() {
        static std::vector<LogCapture*> list;
        return list;
    }
    static std::atomic<bool>& toStderr() {
        static std::atomic<bool> on{true};
        return on;
    }
    static void write(std::string text, bool always = false) {
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        std::lock_guard lock(mutex());
        if (always || toStderr().load(std::memory_order_relaxed)) {
            // One fwrite per line keeps lines from different threads whole.
            text.push_back('\n');
            std::fwrite(text.data(), 1, text.size(), stderr);
            text.pop_back();
        }
        for (LogCapture* capture : captures()) {
            capture->lines_.push_back(text);
        }
    }
};

} // namespace detail

void setLogToStderr(bool on) {
    detail::LogSink::toStderr().store(on, std::memory_order_relaxed);
}

namespace {

// The realtime ring: a bounded multi-producer queue in the manner of Dmitry Vyukov's. Each slot
// carries a sequence number that says whose turn it is: for position p (slot p % N) the slot is
// free for a producer when its sequence is p, holds a finished line for the consumer when it is
// p + 1, and becomes free for the next lap (p + N) once the consumer has copied the text out.
//
// The slots store sequence − index, so that the all-zero state is the initial one and the
// ring can be a constant-initialised global: the render thread's first call never runs a
// constructor or takes a static-initialisation guard.
struct RealtimeSlot {
    std::atomic<uint64_t> base{0};
    char text[kRealtimeLogLineBytes] = {};
};

struct RealtimeRing {
    RealtimeSlot slots[kRealtimeLogSlots];
    alignas(64) std::atomic<uint64_t> enqueuePosition{0}; // claimed by producers with a CAS
    alignas(64) std::atomic<uint64_t> dequeuePosition{0}; // consumer only (under drainMutex)
    std::atomic<uint64_t> dropped{0};
};

constinit RealtimeRing gRing;
static_assert(std::atomic<uint64_t>::is_always_lock_free);

uint64_t slotSequence(const RealtimeSlot& slot, uint64_t index) {
    // Acquire: a producer that sees "free" must see the consumer's reads done (they happen
    // before its release below); the consumer that sees "filled" must see the whole text.
    return slot.base.load(std::memory_order_acquire) + index;
}

void setSlotSequence(RealtimeSlot& slot, uint64_t index, uint64_t sequence) {
    // Release: publishes the text (producer) or hands the slot back empty (consumer).
    slot.base.store(sequence - index, std::memory_order_release);
}

std::mutex gDrainMutex;
uint64_t gDropsReported = 0; // under gDrainMutex

} // namespace

namespace {

std::string formatLine(const char* format, va_list args) {
    char stackText[512];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(stackText, sizeof stackText, format, args);
    std::string text;
    if (length < 0) {
        text = format; // a broken format: show it rather than nothing
    } else if (static_cast<size_t>(length) < sizeof stackText) {
        text.assign(stackText, static_cast<size_t>(length));
    } else {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

} // namespace

void logLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatLine(format, args);
    va_end(args);
    detail::LogSink::write(std::move(text));
}

void noticeLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatLine(format, args);
    va_end(args);
    detail::LogSink::write(std::move(text), true);
}

void logRealtime(const char* format, ...) {
    RealtimeRing& ring = gRing;
    uint64_t position = ring.enqueuePosition.load(std::memory_order_relaxed);
    RealtimeSlot* slot = nullptr;
    for (;;) {
        const uint64_t index = position % kRealtimeLogSlots;
        slot = &ring.slots[index];
        const auto lag = static_cast<int64_t>(slotSequence(*slot, index) - position);
        if (lag == 0) {
            // Free for this position: claim it. Relaxed is enough for the position itself; the
            // slot's sequence carries the ordering.
            if (ring.enqueuePosition.compare_exchange_weak(position, position + 1,
                                                           std::memory_order_relaxed)) {
                break;
            }
        } else if (lag < 0) {
            // Still holds a line from the previous lap: the ring is full.
            ring.dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        } else {
            position = ring.enqueuePosition.load(std::memory_order_relaxed);
        }
    }
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(slot->text, kRealtimeLogLineBytes, format, args);
    va_end(args);
    if (length < 0) {
        slot->text[0] = '\0';
    }
    setSlotSequence(*slot, position % kRealtimeLogSlots, position + 1);
}

size_t drainRealtimeLog() {
    std::lock_guard lock(gDrainMutex);
    RealtimeRing& ring = gRing;
    size_t count = 0;
    char text[kRealtimeLogLineBytes];
    for (;;) {
        const uint64_t position = ring.dequeuePosition.load(std::memory_order_relaxed);
        const uint64_t index = position % kRealtimeLogSlots;
        RealtimeSlot& slot = ring.slots[index];
        if (slotSequence(slot, index) != position + 1) {
            break; // empty, or the producer of this position has not finished yet
        }
        std::memcpy(text, slot.text, sizeof text);
        text[sizeof text - 1] = '\0';
        setSlotSequence(slot, index, position + kRealtimeLogSlots);
        ring.dequeuePosition.store(position + 1, std::memory_order_relaxed);
        logLine("%s", text);
        ++count;
    }
    const uint64_t dropped = ring.dropped.load(std::memory_order_relaxed);
    if (dropped != gDropsReported) {
        logLine("log: %" PRIu64 " realtime log lines dropped (queue full)",
                dropped - gDropsReported);
        gDropsReported = dropped;
    }
    return count;
}

uint64_t droppedRealtimeLogLines() {
    return gRing.dropped.load(std::memory_order_relaxed);
}

LogCapture::LogCapture() {
    std::lock_guard lock(detail::LogSink::mutex());
    detail::LogSink::captures().push_back(this);
}

LogCapture::~LogCapture() {
    std::lock_guard lock(detail::LogSink::mutex());
    auto& list = detail::LogSink::captures();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(detail::LogSink::mutex());
    return lines_;
}

bool LogCapture::contains(const std::string& needle) const {
    std::lock_guard lock(detail::LogSink::mutex());
    return std::any_of(lines_.begin(), lines_.end(), [&](const std::string& line) {
        return line.find(needle) != std::string::npos;
    });
}

} // namespace vx
