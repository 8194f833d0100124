#include "controls/BatchAnalize.h"

#include "engine/AudioOut.h"
#include "library/DBController.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/Log.h"

#include <algorithm>
#include <cstdio>

namespace vx {

namespace {

template <typename... Args> std::string format(const char* pattern, Args... args) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

std::string fileNameOf(const std::filesystem::path& path) {
    return path.filename().string();
}

} // namespace

std::atomic<bool> BatchAnalize::batchFlag_{false};

BatchAnalize::BatchAnalize(AudioOut& engine, DBController& db, NotificationCenter& notifications,
                           RunLoop& loop, BatchAnalysisHost& host, Alerts* alerts)
    : engine_(engine), db_(db), notifications_(notifications), loop_(loop), host_(host),
      alerts_(alerts) {}

BatchAnalize::~BatchAnalize() {
    // The host may be going away too: only undo what this object holds.
    refreshProgressTimer_.invalidate();
    notifications_.removeObserver(this);
    if (flagSet_) {
        batchFlag_.store(false, std::memory_order_relaxed);
    }
}

bool BatchAnalize::needsAnalysis(const VXAudioFileInfo& info) {
    return info.tempo <= 0 || !info.peakFileExists();
}

std::vector<std::shared_ptr<VXAudioFileInfo>> BatchAnalize::userTracksToAnalyze() {
    std::vector<std::shared_ptr<VXAudioFileInfo>> tracks;
    if (const auto list = db_.getListForGroup(kUserLocation)) {
        for (const auto& info : *list) {
            if (info && needsAnalysis(*info)) {
                tracks.push_back(info);
            }
        }
    }
    return tracks;
}

int BatchAnalize::calcPresentJobs() {
    return static_cast<int>(userTracksToAnalyze().size());
}

void BatchAnalize::fillTasks() {
    trackList_ = userTracksToAnalyze();
}

void BatchAnalize::viewWillAppear() {
    shown_ = true;
    fillTasks();
    toAnalyze_ = static_cast<int>(trackList_.size());
    noAnalyzing_ = 0;
    batchAnalyzesInGame_ = false;
    started_.clear();
    overall_ = 0.0;
    titleLabel_.clear();
    albumLabel_.clear();
    artistLabel_.clear();

    refreshProgressTimer_.invalidate();
    refreshProgressTimer_ = loop_.every(kRefreshInterval, [this] { updateProgress(); });
    if (!observing_) {
        notifications_.addObserver(this, "Analyze Complete", [this](const Notification& n) {
            if (const auto* path = std::get_if<std::string>(&n.object)) {
                analyzeComplete(*path);
            }
        });
        observing_ = true;
    }
    if (engine_.getNumAnalizes() == 0 && toAnalyze_ >= 1) {
        addAnotherTask();
    }
    if (toAnalyze_ >= 1) {
        flagSet_ = true;
        batchFlag_.store(true, std::memory_order_relaxed);
        host_.stopWaveformRedraw();
        if (engine_.getNumAnalizes() > 0) {
            fillLabelsByTopmostTask();
        }
    }
    updateProgress();
}

bool BatchAnalize::addAnotherTask() {
    if (trackList_.empty()) {
        return false;
    }
    const auto& info = trackList_.front();
    started_.insert(fileNameOf(info->fileName));
    engine_.startAnalysis(info->fileName);
    batchAnalyzesInGame_ = true;
    fillLabels(info.get(), fileNameOf(info->fileName));
    return true;
}

void BatchAnalize::analyzeComplete(const std::filesystem::path& path) {
    const std::string name = fileNameOf(path);
    started_.erase(name);
    // Only the completion of a track of this batch counts; an analysis someone else started
    // (a deck's load, a built-in track) moves the queue on but is not one of ours.
    const auto it = std::find_if(trackList_.begin(), trackList_.end(), [&](const auto& info) {
        return fileNameOf(info->fileName) == name;
    });
    const bool ours = it != trackList_.end();
    if (ours) {
        trackList_.erase(it);
    }
    if (engine_.getNumAnalizes() > 0) {
        fillLabelsByTopmostTask();
        noAnalyzing_ += ours ? 1 : 0;
    } else if (addAnotherTask()) {
        noAnalyzing_ += ours ? 1 : 0;
    } else {
        noAnalyzing_ += ours ? 1 : 0;
        if (toAnalyze_ >= 1) {
            allDone();
        }
    }
}

void BatchAnalize::allDone() {
    if (!host_.applicationActive()) {
        host_.showLocalNotification(kCompleteMessage, kDoneSound);
    } else {
        if (alerts_) {
            alerts_->showAlert(kAlertTitle, kCompleteMessage, "OK");
        }
        host_.playSound(kDoneSound);
    }
    notifications_.post("Analyzes Complete");
    updateProgress();
    close();
}

void BatchAnalize::updateProgress() {
    doneLabel_ = format("Done:%3i of %3i", noAnalyzing_, toAnalyze_);
    const auto running = engine_.getCurrentAnalizes();
    const float p =
        running && !running->empty() ? engine_.getProgressForAnalyze(running->front()) : 0.0f;
    setProgress(p);
}

void BatchAnalize::setProgress(float p) {
    // A cancelled run reads −1 until its task is gone.
    const double current = std::clamp(static_cast<double>(p), 0.0, 1.0);
    overall_ = toAnalyze_ < 1 ? current : (noAnalyzing_ + current) / toAnalyze_;
    overall_ = std::clamp(overall_, 0.0, 1.0);
    percentLabel_ = format("%3.0f%%", current * 100.0);
}

void BatchAnalize::fillLabels(const VXAudioFileInfo* info, const std::string& fileName) {
    currentFileName_ = fileName;
    titleLabel_ = info && info->title ? *info->title : fileName;
    albumLabel_ = info && info->album ? *info->album : std::string();
    artistLabel_ = info && info->artist ? *info->artist : std::string();
}

void BatchAnalize::fillLabelsByTopmostTask() {
    const auto running = engine_.getCurrentAnalizes();
    if (!running || running->empty()) {
        return;
    }
    const std::string& name = running->front();
    const auto it = std::find_if(trackList_.begin(), trackList_.end(), [&](const auto& info) {
        return fileNameOf(info->fileName) == name;
    });
    fillLabels(it != trackList_.end() ? it->get() : nullptr, name);
}

void BatchAnalize::stop() {
    notifications_.removeObserver(this);
    observing_ = false;
    // Cancel only the runs this screen started: an analysis a deck's load started goes on.
    if (engine_.getNumAnalizes() > 0 && batchAnalyzesInGame_) {
        for (const std::string& name : started_) {
            engine_.setProgressForAnalyze(name, -1.0f);
        }
    }
    close();
}

void BatchAnalize::close() {
    viewDidDisappear();
    host_.batchAnalizeDidHide();
}

void BatchAnalize::viewDidDisappear() {
    if (!shown_) {
        return;
    }
    shown_ = false;
    refreshProgressTimer_.invalidate();
    if (flagSet_) {
        flagSet_ = false;
        batchFlag_.store(false, std::memory_order_relaxed);
    }
    notifications_.removeObserver(this);
    observing_ = false;
    host_.restartWaveformRedraw();
}

} // namespace vx
