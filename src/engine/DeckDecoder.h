#pragma once
// DeckDecoder: one deck's decode thread and the track open and close operations.
//
// Loading a track starts a new decode thread for the deck. The new thread first ends the one
// before it (clears its `decoderRunning`, joins it: the old thread closes its file and saves
// the track's speed and volume), then opens the file, restores the per-track memory, and
// serves the deck's ring until it is replaced: re-plan when the render thread asks, one block
// per pass in the foreground (up to four in the background), a short sleep when idle.
//
// Threads: `load`, `settle` and `shutdown` on the main thread; the rest on the decode thread,
// which changes the ring, the plan and the file only under the deck's `decodeLock`. Exactly one
// decode thread serves a deck at a time, and every thread is joined — by its successor or by
// `shutdown` — never detached. Headless rendering calls `settle` before every buffer: it wakes
// the decoder and waits until it has nothing left to do, so the ring holds the same blocks at
// every buffer whatever the thread timing, and two renders of a file are bit-identical.

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vx {

struct audioStream;
class DBController;
class NotificationCenter;
class RunLoop;
class UserDefaults;

// What the engine's decode threads need from the rest of the application. Any member may be
// null or empty: the engine then skips that step (tests load tracks without a database).
struct EngineServices {
    std::shared_ptr<DBController> db;
    UserDefaults* defaults = nullptr;
    NotificationCenter* notifications = nullptr;
    RunLoop* loop = nullptr;
    // Decode thread: start the analysis of a track that has no tempo or incomplete peaks.
    std::function<void(const std::filesystem::path& path)> startAnalysis;
    // Decode thread: whether the analysis queue already holds this file name.
    std::function<bool(const std::string& fileName)> analysisQueued;
    // Main thread: after the first decode pass in the foreground (starts a deck loaded by the
    // automatic next-track load).
    std::function<void()> loadFileDidHide;
    // Main thread: the deck's track is open ("fileOpened"), after the cue points are loaded.
    std::function<void(int deck)> fileOpened;
    // Any thread: the application is in the background (the decoder then fills faster).
    std::atomic<bool> inBackground{false};
};

// Decode thread: the open operation. Opens `path` on `deck` under its decode lock; 1 on
// success, 0 when the file cannot be opened (the deck stays unloaded, with a log line).
int openTrack(audioStream& deck, const std::filesystem::path& path, EngineServices& services);
// Decode thread: the close operation. Saves the per-track memory, closes the file, unloads.
void closeTrack(audioStream& deck, EngineServices& services);
// Any thread: the per-track memory key of a track: "<parent folder name>_<file name>".
std::string trackMemoryKey(const std::filesystem::path& path);

class DeckDecoder {
public:
    DeckDecoder(audioStream& deck, EngineServices& services);
    ~DeckDecoder();
    DeckDecoder(const DeckDecoder&) = delete;
    DeckDecoder& operator=(const DeckDecoder&) = delete;

    // Main thread: loads `path` on a new decode thread, which ends the current one first.
    void load(const std::filesystem::path& path);
    // Main thread: wakes the decoder and waits, at most `timeoutSeconds`, until it is idle
    // (nothing to re-plan, no wanted block missing). True when it settled.
    bool settle(double timeoutSeconds = 5.0);
    // Main thread: ends the decode thread (it closes the file and saves the track memory).
    void shutdown();
    // Any thread: the number of decode threads started so far.
    int loads() const { return loads_.load(std::memory_order_relaxed); }
    // Any thread: true from load() until that load's open has succeeded or failed.
    bool opening() const {
        return opened_.load(std::memory_order_acquire) < loads_.load(std::memory_order_relaxed);
    }
    // Main thread: the display name of the last track opened (artist, else title).
    std::string displayName() const;

private:
    void threadMain(std::filesystem::path path, std::thread previous, uint64_t generation);
    void wait(double seconds);
    void markIdle(bool idle, uint64_t generation);
    void threadEnded();

    audioStream& deck_;
    EngineServices& services_;
    std::mutex threadMutex_; // guards thread_ and displayName_
    std::thread thread_;     // the deck's current decode thread
    std::mutex stateMutex_;
    std::condition_variable wake_;
    std::condition_variable idleChanged_;
    bool wakeRequested_ = false;
    bool idle_ = true;
    int alive_ = 0; // decode threads started and not yet ended
    std::atomic<int> loads_{0};
    std::atomic<int> opened_{0}; // loads whose open has ended (either way)
    // Each load starts a new generation; a decode thread serves the deck while its own
    // generation is current, so a replaced thread stops even if it is still opening its file.
    std::atomic<uint64_t> generation_{0};
    std::string displayName_;
};

} // namespace vx
