// AudioOut's analysis tasks: one thread per track runs the analysis routine and reports
// through the registry; the completion handlers run on the main thread while the analysing
// thread waits for them.

#include "analysis/peakFileData.h"
#include "engine/AudioOut.h"
#include "engine/DeckBeats.h"
#include "engine/DeckDecoder.h"
#include "engine/DeckSpeed.h"
#include "engine/analyzeProgress.h"
#include "library/DBController.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <algorithm>
#include <chrono>

namespace vx {

namespace {

// Longest real-time wait for an analysis thread's post before the registry is looked at again
// (a run that ends before it registers posts nothing the waiter needs).
constexpr double kAnalysisWaitSlice = 0.05;

std::string taskName(const std::filesystem::path& path) {
    return path.filename().string();
}

// The deck whose track is `path` (deck 0 first), or null.
audioStream* deckHolding(std::array<audioStream*, 2>& decks, const std::filesystem::path& path) {
    for (audioStream* deck : decks) {
        if (!deck) {
            continue;
        }
        const auto track = deck->track();
        if (deck->isLoaded.load() && track && !track->path.empty() && track->path == path) {
            return deck;
        }
    }
    return nullptr;
}

} // namespace

void AudioOut::startAnalysis(const std::filesystem::path& path) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard lock(analysisThreadsMutex_);
    std::weak_ptr<int> alive = lifetime_;
    analysisThreads_.push_back({std::thread([this, path, done, alive] {
                                    runAnalyze(path);
                                    done->store(true, std::memory_order_release);
                                    // Wakes a main thread waiting for the runs, and
                                    // joins this thread there.
                                    if (loop_) {
                                        loop_->post([this, alive] {
                                            if (alive.lock()) {
                                                joinAnalyses(false);
                                            }
                                        });
                                    }
                                }),
                                done});
}

int AudioOut::runningAnalysisThreads() const {
    std::lock_guard lock(analysisThreadsMutex_);
    return static_cast<int>(std::count_if(
        analysisThreads_.begin(), analysisThreads_.end(),
        [](const AnalysisThread& t) { return !t.done->load(std::memory_order_acquire); }));
}

void AudioOut::waitForAnalyses() {
    // Only the posted tasks run meanwhile (the runs' reports and completion handlers): a timer
    // due now fires after every run has completed, never in the middle, so that what it starts
    // (a deck's next load and its analysis, say) cannot race a running analysis to completion.
    const bool onMain = loop_ && loop_->isMainThread();
    while (runningAnalysisThreads() > 0) {
        if (!onMain) {
            joinAllAnalysisThreads(); // nobody to run their reports: they run inline
            break;
        }
        loop_->runPosted();
        if (runningAnalysisThreads() > 0) {
            loop_->waitForPost(kAnalysisWaitSlice); // each run ends with a post
        }
    }
    if (onMain) {
        loop_->runDue(); // the completion handlers the last runs posted
    }
    joinAnalyses(false);
}

void AudioOut::joinAllAnalysisThreads() {
    std::vector<AnalysisThread> all;
    {
        std::lock_guard lock(analysisThreadsMutex_);
        all.swap(analysisThreads_);
    }
    for (AnalysisThread& t : all) {
        if (t.thread.joinable()) {
            t.thread.join();
        }
    }
}

void AudioOut::joinAnalyses(bool all) {
    if (all) {
        // Cancel every run, and keep the main thread's work going while they end: each run
        // finishes with a completion handler on the main thread. A thread that registers
        // only after the first pass is cancelled on the next one.
        while (runningAnalysisThreads() > 0) {
            {
                std::lock_guard lock(analysesMutex_);
                if (analyzesTasks) {
                    for (auto& entry : *analyzesTasks) {
                        entry.second->setProgressValue(-1.0f);
                    }
                }
            }
            if (loop_ && loop_->isMainThread()) {
                loop_->runDue();
                if (runningAnalysisThreads() > 0) {
                    loop_->waitForPost(kAnalysisWaitSlice);
                }
            } else {
                joinAllAnalysisThreads();
            }
        }
    }
    std::vector<AnalysisThread> finished;
    {
        std::lock_guard lock(analysisThreadsMutex_);
        std::vector<AnalysisThread> running;
        for (AnalysisThread& t : analysisThreads_) {
            (t.done->load(std::memory_order_acquire) ? finished : running).push_back(std::move(t));
        }
        analysisThreads_ = std::move(running);
    }
    for (AnalysisThread& t : finished) {
        if (t.thread.joinable()) {
            t.thread.join();
        }
    }
}

void AudioOut::runAnalyze(const std::filesystem::path& path) {
    std::atomic<float> progress{0.0f};
    const std::string name = taskName(path);
    const auto onMain = [this](const std::function<void()>& work) {
        if (loop_ && !loop_->isMainThread()) {
            loop_->invokeAndWait(work);
        } else {
            work();
        }
    };
    auto task = std::make_shared<analyzeProgress>(&progress, name);
    bool registered = false;
    onMain([&] { registered = registerAnalyze(task); });
    if (!registered) {
        return; // the file is already being analysed
    }

    // Share the peak data of a deck that holds the track; otherwise a fresh record.
    std::shared_ptr<peakFileData> peaks;
    if (audioStream* deck = deckHolding(fileStream, path))
        peaks = deck->peakData();
    DBController* db = services_ ? services_->db.get() : nullptr;
    std::shared_ptr<VXAudioFileInfo> info = db ? db->getFullInfoForFile(path) : nullptr;
    if (!peaks) {
        const auto frames = info ? info->durationInSamples() : 0;
        peaks = peakFileData::create(peakCountForFrames(static_cast<int64_t>(frames)));
    }
    task->setTempoOverride(-1.0);
    if (info && info->tempo > 0) {
        task->setTempoOverride(info->tempo);
        peaks->bpm.store(info->tempo);
    }

    const int ok = analysisRoutine_ ? analysisRoutine_(path, *peaks, progress) : 0;
    if (ok) {
        if (db && task->tempoOverride() <= 0) {
            if (auto fresh = db->getFullInfoForFile(path)) {
                fresh->updateBPM(peaks->bpm.load(), *db);
            }
        }
        onMain([&] { analyzeComplete(path); });
    } else {
        onMain([&] { analyzeNotComplete(path); });
    }
}

bool AudioOut::registerAnalyze(std::shared_ptr<analyzeProgress> task) {
    std::lock_guard lock(analysesMutex_);
    if (!analyzesTasks) {
        analyzesTasks.emplace();
    }
    return analyzesTasks->emplace(task->getName(), task).second;
}

int AudioOut::getNumAnalizes() const {
    std::lock_guard lock(analysesMutex_);
    return analyzesTasks ? static_cast<int>(analyzesTasks->size()) : 0;
}

std::optional<std::vector<std::string>> AudioOut::getCurrentAnalizes() const {
    std::lock_guard lock(analysesMutex_);
    if (!analyzesTasks) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const auto& entry : *analyzesTasks) {
        names.push_back(entry.first);
    }
    return names;
}

float AudioOut::getProgressForAnalyze(const std::filesystem::path& path) const {
    std::lock_guard lock(analysesMutex_);
    if (!analyzesTasks) {
        return 0.0f;
    }
    const auto it = analyzesTasks->find(taskName(path));
    return it == analyzesTasks->end() ? 0.0f : it->second->getProgressValue();
}

void AudioOut::setProgressForAnalyze(const std::filesystem::path& path, float value) {
    std::lock_guard lock(analysesMutex_);
    if (analyzesTasks) {
        const auto it = analyzesTasks->find(taskName(path));
        if (it != analyzesTasks->end()) {
            it->second->setProgressValue(value);
        }
    }
}

double AudioOut::getTempoOverrideForAnalyze(const std::filesystem::path& path) const {
    std::lock_guard lock(analysesMutex_);
    if (!analyzesTasks) {
        return 0.0;
    }
    const auto it = analyzesTasks->find(taskName(path));
    return it == analyzesTasks->end() ? -1.0 : it->second->tempoOverride();
}

void AudioOut::setTempoOverrideForAnalyze(const std::filesystem::path& path, double bpm) {
    std::lock_guard lock(analysesMutex_);
    if (analyzesTasks) {
        const auto it = analyzesTasks->find(taskName(path));
        if (it != analyzesTasks->end()) {
            it->second->setTempoOverride(bpm);
        }
    }
}

void AudioOut::analyzeComplete(const std::filesystem::path& path) {
    DBController* db = services_ ? services_->db.get() : nullptr;
    audioStream* deck = deckHolding(fileStream, path);
    std::shared_ptr<VXAudioFileInfo> info;
    if (deck) {
        deck->needsAnalysis.store(false);
        const std::shared_ptr<peakFileData> peaks = deck->peakData();
        if (peaks) {
            deck->normalizeGain.store(static_cast<float>(std::clamp(peaks->gain.load(), 0.0, 2.0)));
            info = db ? db->getFullInfoForFile(path) : nullptr;
            const double bpm = peaks->bpm.load();
            if (info && info->fileGroup != kUserLocation && info->tempo <= 0 && bpm > 0) {
                // A built-in track keeps the tempo it has against edits, but one that was never
                // analysed takes its first analysis: without it sync and party mode could not
                // match it.
                info->setTempo(bpm);
                if (db) {
                    db->updateTempo(static_cast<float>(bpm), info->hash, info->fileGroup);
                }
            } else if (info && db) {
                info->updateBPM(bpm, *db);
            } else if (info) {
                info->updateBPM(bpm);
            }
            if (info) {
                republishInfo(*deck, path, info);
            }
            retuneTempoSyncedEffects(*deck);
            recomputeEvenBeats(*deck);
        }
    }
    if (db) {
        if (!info) {
            info = db->getFullInfoForFile(path);
        }
        if (info) {
            db->updateInfoForNewFileName(*info, path);
        }
        if (deck) {
            republishInfo(*deck, path, db->getFullInfoForFile(path));
        }
    }
    analyzeNotComplete(path); // removes the task and posts "Analyze Complete"
}

void AudioOut::analyzeNotComplete(const std::filesystem::path& path) {
    {
        std::lock_guard lock(analysesMutex_);
        if (analyzesTasks) {
            analyzesTasks->erase(taskName(path));
        }
    }
    if (services_ && services_->notifications) {
        services_->notifications->post("Analyze Complete", path.string());
    }
}

} // namespace vx
