#pragma once
// EngineLock: the engine's lock, and the tripwire that keeps slow work out from under it.
//
// The render thread holds the engine lock while it renders the decks, so whatever another
// thread does while holding it, the audio waits for. The rule: under the engine lock only
// atomics and ring state — no file, no database, no allocation, no other lock that a thread
// doing I/O may hold (a deck's decode lock). To keep the rule true by test rather than by
// care, the lock counts, per thread, how deep the calling thread holds it, and every file
// reader and writer, the database guard, the settings store and the decode locks call
// `engineLockTripwire(what)`: while the calling thread holds the engine lock that is a
// violation, counted (and logged) so that the test in which it happened fails.
//
// The lock is recursive: position triggers fired inside deck rendering may start a deck,
// whose play operation takes the same lock. `std::recursive_mutex::try_lock` by its owner is
// well-defined, so the play path may try it.
//
// Threads: any. Counting costs one thread-local increment per lock and unlock.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace vx {

class EngineLock {
public:
    // Any thread. BasicLockable and Lockable, for std::lock_guard / std::unique_lock.
    void lock();
    void unlock();
    bool try_lock();

private:
    std::recursive_mutex mutex_;
};

// Any thread: true while the calling thread holds an engine lock.
bool holdingEngineLock();
// Any thread: `what` (a file read, a database statement…) is about to happen; a violation
// when the calling thread holds an engine lock.
void engineLockTripwire(const char* what);
// Any thread: the violations counted since the last call (the count starts again at 0), and
// what the last one was.
uint64_t takeEngineLockViolations();
std::string lastEngineLockViolation();

// A plain mutex for work that may touch the disk (a deck's decode lock): taking it while
// holding the engine lock trips the wire, since its holder may be waiting for the disk.
class IoMutex {
public:
    void lock() {
        engineLockTripwire("an I/O lock");
        mutex_.lock();
    }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

private:
    std::mutex mutex_;
};

} // namespace vx
