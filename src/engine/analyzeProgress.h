#pragma once
// analyzeProgress: one running analysis as the engine's registry sees it — the file it works
// on (the registry key: the file's last path component), its progress and the tempo the user
// fixed for it.
//
// Threads: the analysing thread writes the progress (0…1) and reads it back to notice a cancel
// (−1.0); the screens read it and write −1.0 on the main thread. The tempo override is set on
// the main thread and read by the analysing thread. Both are atomics. The object lives in the
// registry from registration until the run's completion handler removes it on the main thread,
// while the analysing thread waits for that handler, so the progress it points at stays valid.

#include <atomic>
#include <string>

namespace vx {

class analyzeProgress {
public:
    // Any thread: a task for `fileName` whose progress lives at `progress`; no tempo override.
    analyzeProgress(std::atomic<float>* progress, std::string fileName)
        : progressPtr_(progress), fileName_(std::move(fileName)) {}

    // Any thread: 0…1 while running, −1.0 once a cancel was asked for.
    float getProgressValue() const { return progressPtr_->load(std::memory_order_relaxed); }
    void setProgressValue(float value) { progressPtr_->store(value, std::memory_order_relaxed); }
    void setProgressPtr(std::atomic<float>* progress) { progressPtr_ = progress; }
    // Any thread: the registry key.
    const std::string& getName() const { return fileName_; }
    // Any thread: a tempo in BPM fixed by the user or already known; ≤ 0 = none.
    double tempoOverride() const { return tempoOverride_.load(std::memory_order_relaxed); }
    void setTempoOverride(double bpm) { tempoOverride_.store(bpm, std::memory_order_relaxed); }

private:
    std::atomic<float>* progressPtr_;
    std::string fileName_;
    std::atomic<double> tempoOverride_{-1.0};
};

} // namespace vx
