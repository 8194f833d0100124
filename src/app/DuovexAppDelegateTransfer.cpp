// The application delegate's part in the Wi-Fi transfer: it owns the transfer service, gives it
// the settings' choices and tells it which files are in use.

#include "app/DuovexAppDelegate.h"
#include "app/WiFiTransfer.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "library/VXAudioFileInfo.h"

#include <algorithm>

namespace vx {

WiFiTransfer& DuovexAppDelegate::wifiTransfer() {
    if (!wifiTransfer_) {
        wifiTransfer_ = std::make_unique<WiFiTransfer>(paths_, loop_, notifications_, db_, alerts_);
        wifiTransfer_->setBusyCheck([this](const std::string& name) { return fileInUse(name); });
    }
    return *wifiTransfer_;
}

void DuovexAppDelegate::startServerAction(ServerCaller* caller) {
    WiFiTransfer& transfer = wifiTransfer();
    WiFiTransferOptions options = transfer.options();
    options.accessCode = defaults_.boolForKey(WiFiTransfer::kAccessCodeKey, false);
    transfer.setOptions(options);
    transfer.startServerAction(caller);
}

std::optional<std::string> DuovexAppDelegate::fileInUse(const std::string& name) const {
    if (!engine_) {
        return std::nullopt;
    }
    const auto path = paths_.documents() / name;
    if ((engine_->isRecording() || engine_->recordFileOpen()) &&
        engine_->recordFile().filename() == name) {
        return std::string(" the mix is being recorded into it");
    }
    for (int deck = 0; deck < 2; ++deck) {
        const auto info = engine_->deck(deck).info();
        if (info && info->fileName == path) {
            return std::string(" it is loaded on a deck");
        }
    }
    if (const auto analyses = engine_->getCurrentAnalizes()) {
        if (std::find(analyses->begin(), analyses->end(), name) != analyses->end()) {
            return std::string(" it is being analysed");
        }
    }
    return std::nullopt;
}

} // namespace vx
