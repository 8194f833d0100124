// DeckStatusDisplay: the read-outs and their refresh pass, the overview strips' refresh and the
// top-bar buttons.

#include "deck/DeckStatusDisplay.h"
#include "analysis/peakFileData.h"
#include "deck/SampleTestController.h"
#include "engine/AudioOut.h"
#include "engine/MixRecordWriter.h"
#include "engine/audioStream.h"
#include "library/VXAudioFileInfo.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace vx {

namespace {

constexpr double kRefreshSeconds = 0.1;
constexpr double kInactiveRefreshSeconds = 1.0;
// Delay between the re-analyse press and the analysis start, seconds.
constexpr double kUpdatePeaksDelay = 0.1;

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

} // namespace

DeckStatusDisplay::DeckStatusDisplay(SampleTestController& owner, DeckContext& context)
    : DeckPart(owner, context) {}

DeckStatusDisplay::~DeckStatusDisplay() {
    if (indicatorTimer_) {
        indicatorTimer_->invalidate();
    }
}

void DeckStatusDisplay::analysisEnded() {
    DIndicator_[0][3].oldValue = -1.0;
    DIndicator_[1][3].oldValue = -1.0;
    freezeButton_.selected = false;
}

void DeckStatusDisplay::startIndicators() {
    needIndicators_ = true;
    for (auto& deckIndicators : DIndicator_) {
        for (Indicator& indicator : deckIndicators) {
            indicator.oldValue = -10.0; // everything is redrawn at the first pass
        }
    }
    if (indicatorTimer_) {
        indicatorTimer_->invalidate();
    }
    // Each pass schedules the next, so the interval follows the application's activity.
    indicatorTimer_ = std::make_unique<TimerHandle>(loop_.after(0.0, [this] { doCpu(); }));
}

void DeckStatusDisplay::stopIndicators() {
    needIndicators_ = false;
    if (indicatorTimer_) {
        indicatorTimer_->invalidate();
    }
}

void DeckStatusDisplay::doCpu() {
    if (!needIndicators_) {
        return;
    }
    // A recording whose writes failed (a full disk) has ended there, with a valid file of what
    // was written: it is closed and the record button goes off.
    if (recordButton_.selected && engine_.recordFailed()) {
        engine_.abortRecord();
        recordButton_.selected = false;
        if (host_) {
            host_->showMessage("The recording stopped: the file could not be written (is the disk "
                               "full?). What was recorded until then is kept in " +
                               engine_.recordFile().filename().string() + ".");
        }
    }
    if (!inactive_ && engine_.initialized()) {
        for (int d = 0; d < 2; ++d) {
            printDIndicator(0, d);
            printDIndicator(1, d);
        }
        printDIndicator(3, 0);
        printDIndicator(2, 0);
        printDIndicator(3, 1);
        printDIndicator(2, 1);
        for (int d = 0; d < 2; ++d) {
            audioStream& s = deck(d);
            if (s.isScratching.load()) {
                if (speedHidden_[size_t(d)]) {
                    showSpeed(d);
                }
                if (s.threeFingerMode.load()) {
                    played2Center(d);
                    speed2Home(d);
                    s.twoFingerMode.store(false);
                } else if (s.twoFingerMode.load()) {
                    played2Home(d);
                    speed2Center(d);
                }
            } else {
                if (owner_.tempo().pitchRepeatStep(d) == 0.0) {
                    played2Home(d);
                    speed2Home(d);
                }
                if (s.isPlaying.load() && s.speedRamp.isOn()) {
                    hideSpeed(d);
                } else if (speedHidden_[size_t(d)]) {
                    showSpeed(d);
                }
            }
        }
        owner_.updatePlayButtons();
        updateNavigators();
    }
    indicatorTimer_ = std::make_unique<TimerHandle>(
        loop_.after(inactive_ ? kInactiveRefreshSeconds : kRefreshSeconds, [this] { doCpu(); }));
}

void DeckStatusDisplay::printDIndicator(int index, int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (!engine_.initialized()) {
        return;
    }
    Indicator& indicator = DIndicator_[size_t(d)][size_t(index & 3)];
    const audioStream& s = deck(d);
    const double base = s.baseSpeed.load();
    switch (index) {
    case 0: {
        const double length = s.lengthFrames.load();
        const double position = s.position.load();
        double t = (showLastTime_[size_t(d)] ? length - position : position) / 44100.0;
        t = std::max(t, 0.0);
        if (base > 0.0) {
            t /= base;
        }
        const double rounded = std::round(t);
        if (rounded == indicator.oldValue) {
            return;
        }
        indicator.oldValue = rounded;
        const long whole = long(std::trunc(t));
        char text[32];
        std::snprintf(text, sizeof text, showLastTime_[size_t(d)] ? "-%02ld:%02ld" : "%02ld:%02ld",
                      whole / 60, whole % 60);
        indicator.label.text = text;
        return;
    }
    case 2: {
        const double p = (base - 1.0) * 100.0;
        if (p == indicator.oldValue) {
            return;
        }
        indicator.oldValue = p;
        indicator.label.text = format("%+02.2f%%", p);
        views_[size_t(d)].speedReadout.text = indicator.label.text;
        return;
    }
    case 3: {
        std::shared_ptr<VXAudioFileInfo> info;
        info = s.info();
        if (info && engine_.getNumAnalizes() > 0) {
            const auto names = engine_.getCurrentAnalizes();
            const std::string name = info->fileName.filename().string();
            if (names && std::find(names->begin(), names->end(), name) != names->end()) {
                const float progress = engine_.getProgressForAnalyze(info->fileName);
                indicator.label.text = format("%3.1f%%", double(progress) * 100.0);
                indicator.oldValue = -1.0; // rewritten every pass while it runs
                return;
            }
        }
        double b = (info ? info->tempo : 0.0) * base;
        if (owner_.tempo().lastBpmSide() == d) {
            b = owner_.tempo().enteredBpm();
        }
        if (b == indicator.oldValue) {
            return;
        }
        indicator.oldValue = b;
        indicator.label.text = b > 0.0 ? format("%3.1f", b) : std::string("???");
        return;
    }
    default:
        return; // read-out 1 is never written
    }
}

void DeckStatusDisplay::played2Center(int d) {
    playedOnCenter_[size_t(d & 1)] = true;
    DIndicator_[size_t(d & 1)][3].label.scale = 2.0f;
}

void DeckStatusDisplay::played2Home(int d) {
    playedOnCenter_[size_t(d & 1)] = false;
    DIndicator_[size_t(d & 1)][3].label.scale = 1.0f;
}

void DeckStatusDisplay::speed2Center(int d) {
    enlargeSpeedReadout(d, true);
    DIndicator_[size_t(d & 1)][2].label.scale = 2.0f;
}

void DeckStatusDisplay::speed2Home(int d) {
    enlargeSpeedReadout(d, false);
    DIndicator_[size_t(d & 1)][2].label.scale = 1.0f;
}

void DeckStatusDisplay::enlargeSpeedReadout(int d, bool on) {
    speedOnCenter_[size_t(d & 1)] = on;
    views_[size_t(d & 1)].speedReadout.scale = on ? 2.0f : 1.0f;
}

void DeckStatusDisplay::hideSpeed(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    speedHidden_[size_t(d)] = true;
    if (!(engine_.initialized() && deck(d).pitchLock.load())) {
        DIndicator_[size_t(d)][2].label.hidden = true; // drawn dimmed (grey)
    }
}

void DeckStatusDisplay::showSpeed(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    speedHidden_[size_t(d)] = false;
    if (!(engine_.initialized() && deck(d).pitchLock.load())) {
        DIndicator_[size_t(d)][2].label.hidden = false;
    }
}

void DeckStatusDisplay::updateNavigators() {
    if (!engine_.initialized()) {
        return;
    }
    for (int d = 0; d < 2; ++d) {
        const audioStream& s = deck(d);
        if (!s.isLoaded.load()) {
            continue;
        }
        // The analysis and the decoder count every block of entries they fill: a count (or a
        // record) other than the one last drawn redraws the strip.
        const auto peaks = s.peakData();
        const uint32_t changes = peaks ? peaks->changes.load(std::memory_order_acquire) : 0;
        auto& seen = peaksSeen_[size_t(d)];
        if (peaks && (peaks.get() != seen.record || changes != seen.changes)) {
            seen = {peaks.get(), changes};
            views_[size_t(d)].navigatorUpdates += 1;
        }
    }
    navigatorMarksRedraws_ += 1;
}

void DeckStatusDisplay::toggleAfterBefore(int d) {
    showLastTime_[size_t(d & 1)] = !showLastTime_[size_t(d & 1)];
}

void DeckStatusDisplay::zoomButtonAction() {
    zoomButton_.selected = !zoomButton_.selected;
}

void DeckStatusDisplay::freezeButtomAction() {
    freezeButton_.selected = true;
    loop_.after(kUpdatePeaksDelay, [this] { updatePeaks(); });
}

void DeckStatusDisplay::updatePeaks() {
    if (!engine_.initialized()) {
        return;
    }
    const int d = deck(1).faderGain.load() > deck(0).faderGain.load() ? 1 : 0;
    if (!deck(d).isLoaded.load()) {
        return;
    }
    std::shared_ptr<VXAudioFileInfo> info;
    info = deck(d).info();
    if (info) {
        engine_.startAnalysis(info->fileName);
    }
}

void DeckStatusDisplay::recordAction() {
    if (engine_.isRecording()) {
        engine_.abortRecord();
        recordButton_.selected = false;
        return;
    }
    int64_t number = 0;
    const std::filesystem::path file =
        nextFreeRecordFile(documentsFolder_, defaults_.integerForKey("FileSeqNo", 0), &number);
    // Selected only when recording really started: a failed prepare leaves the button off and
    // the sequence number where it was.
    if (engine_.PrepareRecordFor(file) && engine_.startRecord()) {
        defaults_.setInteger("FileSeqNo", number + 1);
        defaults_.synchronize();
        recordButton_.selected = true;
    } else {
        recordButton_.selected = false;
    }
}

void DeckStatusDisplay::menuAction() {
    context_.menuOn = true;
    if (host_) {
        host_->showMainMenu();
    }
}

} // namespace vx
