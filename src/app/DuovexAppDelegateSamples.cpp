// The delegate's part in the sample library and the recordings list: it makes their
// controllers on first use and tells the other screens when they close.

#include "app/DuovexAppDelegate.h"

#include "engine/AudioOut.h"
#include "platform/AudioInput.h"
#include "platform/Log.h"

namespace vx {

SampleEdit* DuovexAppDelegate::showSampleEdit() {
    if (!engine_ || !preview_ || !alerts_) {
        logLine("sample library not available");
        return nullptr;
    }
    if (!sampleEdit_) {
        sampleEdit_ =
            std::make_unique<SampleEdit>(*engine_, defaults_, notifications_, pasteboard(),
                                         *preview_, *alerts_, paths_.documents());
        sampleEdit_->setDidHideHandler([this] { sampleEditDidHide(); });
    }
    sampleEdit_->viewWillAppear();
    sampleEditShown_ = true;
    return sampleEdit_.get();
}

void DuovexAppDelegate::sampleEditDidHide() {
    sampleEditShown_ = false;
    // The pads may have changed while the library was open.
    if (mainMenu_) {
        mainMenu_->updateLables();
    }
}

RecordEdit* DuovexAppDelegate::showRecordEdit() {
    if (!engine_ || !preview_ || !alerts_ || !conversion_) {
        logLine("recordings list not available");
        return nullptr;
    }
    if (!recordEdit_) {
        recordEdit_ =
            std::make_unique<RecordEdit>(*engine_, notifications_, pasteboard(), *preview_,
                                         *alerts_, loop_, *conversion_, paths_.documents());
    }
    recordEdit_->viewWillAppear();
    recordEditShown_ = true;
    return recordEdit_.get();
}

void DuovexAppDelegate::recordEditDidHide() {
    if (recordEdit_) {
        recordEdit_->done();
    }
    recordEditShown_ = false;
    recordingsShown_ = false;
}

void DuovexAppDelegate::setAudioInput(AudioInput* input) {
    micRecorder_.reset();
    input_ = input;
}

MicRecorder& DuovexAppDelegate::micRecorder() {
    if (!micRecorder_) {
        if (!input_) {
            ownInput_ = makePortAudioInput();
            input_ = ownInput_.get();
        }
        micRecorder_ = std::make_unique<MicRecorder>(*input_, paths_.temporary());
    }
    return *micRecorder_;
}

} // namespace vx
