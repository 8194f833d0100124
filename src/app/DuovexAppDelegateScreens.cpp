// The screens the main menu opens, as the delegate hosts them: the batch analysis, party mode,
// the record button, the pads, and the sounds and notifications those screens ask for.

#include "app/DuovexAppDelegate.h"

#include "engine/AudioOut.h"
#include "engine/PreviewPlayer.h"
#include "platform/DesktopNotifier.h"
#include "platform/Log.h"

namespace vx {

namespace {
constexpr const char* kNotificationTitle = "Velvox Nexa";
} // namespace

void DuovexAppDelegate::showBatchAnalysis() {
    if (!engine_ || !db_) {
        return;
    }
    // A controller whose screen closed itself is dropped here, outside its own call chain.
    batch_ = std::make_unique<BatchAnalize>(*engine_, *db_, notifications_, loop_, *this, alerts_);
    batchShown_ = true;
    batch_->viewWillAppear();
    if (batch_->toAnalyze() < 1) {
        batch_->viewDidDisappear();
        batchShown_ = false;
    }
}

void DuovexAppDelegate::batchAnalizeDidHide() {
    batchShown_ = false;
}

void DuovexAppDelegate::stopWaveformRedraw() {
    waveformAnimating_ = false;
}

void DuovexAppDelegate::restartWaveformRedraw() {
    // Not while the application is in the background: entering the foreground restarts it.
    if (!inBackground_ && launched_) {
        waveformAnimating_ = true;
    }
}

void DuovexAppDelegate::showLocalNotification(const std::string& body, const std::string& sound) {
    const std::filesystem::path soundFile =
        sound.empty() ? std::filesystem::path() : paths_.resources() / sound;
    if (!notifier_ || !notifier_->notify(kNotificationTitle, body, soundFile.string())) {
        logLine("notification not shown: %s", body.c_str());
    }
}

void DuovexAppDelegate::playSound(const std::string& name) {
    if (!preview_) {
        logLine("sound not played (no preview output): %s", name.c_str());
        return;
    }
    preview_->stop();
    if (!preview_->playFile(paths_.resources() / name)) {
        logLine("sound not played: %s", name.c_str());
    }
}

void DuovexAppDelegate::showPartyMode() {
    partyModeRequested_ = true;
}

bool DuovexAppDelegate::takePartyModeRequest() {
    const bool requested = partyModeRequested_;
    partyModeRequested_ = false;
    return requested;
}

void DuovexAppDelegate::recordsAction() {
    if (!testCnt_ || !engine_) {
        return;
    }
    testCnt_->recordAction();
    playSound("rec.wav");
    if (engine_->isRecording()) {
        if (mainMenu_) {
            mainMenu_->close();
        } else {
            mainMenuDidHide();
        }
    } else {
        recordingsShown_ = true;
        if (mainMenu_) {
            mainMenu_->updateLables(); // the recording just closed is counted
        }
    }
}

void DuovexAppDelegate::padPressed(int index) {
    if (engine_ && engine_->initialized()) {
        engine_->padPress(index);
    }
}

} // namespace vx
