#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Log: one line per message, to stderr, from any thread.
//
// Ordinary threads call logLine, which formats and writes the line at once. The render thread
// may not allocate, lock or wait, so it calls logRealtime instead: the line is formatted into a
// fixed slot of a lock-free ring (multi-producer, so several devices' render threads may share
// it) and the main thread writes the queued lines later with drainRealtimeLog. When the ring is
// full the line is dropped and counted, never waited for.
//
// Tests watch the log with a LogCapture: while one is alive it records every line written
// (ordinary and drained realtime lines), from any thread.

namespace vx {

namespace detail {
struct LogSink;
} // namespace detail

// Number of realtime lines the ring holds before it drops.
constexpr size_t kRealtimeLogSlots = 256;
// Longest realtime line in bytes, including the terminating zero; longer lines are cut.
constexpr size_t kRealtimeLogLineBytes = 200;

// Any thread except render: formats a printf-style line and writes it to stderr (adding the
// '\n' if missing) and to every live LogCapture.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Any thread except render: as logLine, but the line reaches stderr even while setLogToStderr
// is off. For what the person running the program must learn (their settings or library were
// damaged and set aside, a recording failed), not for diagnostics.
void noticeLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Render thread: no allocation, no locks, no waiting. Queues a printf-style line for the main
// thread; drops it (and counts the drop) when the ring is full. Keep the format to numbers and
// short strings: the slot is kRealtimeLogLineBytes long.
void logRealtime(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Main thread: writes the queued realtime lines, oldest first, through logLine and returns how
// many. Also logs one line saying how many were dropped since the last drain, if any.
size_t drainRealtimeLog();
// Any thread: whether lines are also written to stderr (on by default; captures always get
// them). Command-line tools turn it off to keep their own output to one clear line per error.
void setLogToStderr(bool on);

// Any thread: realtime lines dropped because the ring was full, since the process started.
uint64_t droppedRealtimeLogLines();

// Records every log line (without its '\n') while it lives. Captures may nest and overlap;
// each records every line written during its own lifetime.
class LogCapture {
public:
    // Any thread: starts recording.
    LogCapture();
    // Any thread: stops recording.
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Any thread: the lines recorded so far, in the order they were written.
    std::vector<std::string> lines() const;
    // Any thread: true if some recorded line contains `needle`.
    bool contains(const std::string& needle) const;

private:
    friend struct detail::LogSink;
    std::vector<std::string> lines_; // guarded by the sink's mutex
};

} // namespace vx
