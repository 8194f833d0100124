#include "samples/RecordEdit.h"

#include "engine/AudioOut.h"
#include "engine/ConversionState.h"
#include "engine/PreviewPlayer.h"
#include "engine/convertFile.h"
#include "platform/Alerts.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace fs = std::filesystem;

namespace vx {

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

std::string sizeText(uint64_t bytes) {
    char text[64];
    const bool mega = bytes >= 1048576;
    std::snprintf(text, sizeof text, "%3.0f %s", double(bytes) / (mega ? 1048576.0 : 1024.0),
                  mega ? "Mb" : "kb");
    return text;
}

} // namespace

RecordEdit::RecordEdit(AudioOut& engine, NotificationCenter& notifications, Pasteboard& pasteboard,
                       PreviewPlayer& preview, Alerts& alerts, RunLoop& loop,
                       ConversionState& conversion, fs::path documents)
    : engine_(engine), notifications_(notifications), pasteboard_(pasteboard), preview_(preview),
      alerts_(alerts), loop_(loop), conversion_(conversion), documents_(std::move(documents)),
      now_([] { return std::time(nullptr); }) {}

RecordEdit::~RecordEdit() {
    sliderTimer_.invalidate();
    preview_.setEndHandler({});
    if (worker_.joinable()) {
        worker_.join();
    }
    // A report still queued on the loop finds the flag cleared and does nothing.
    *alive_ = false;
}

void RecordEdit::viewWillAppear() {
    slider_ = 0;
    loadFileList();
}

void RecordEdit::loadFileList() {
    rows_.clear();
    fileToLoad_.clear();
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(documents_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(ec) && name.rfind("VXNexa", 0) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        RecordRow row;
        row.fileName = name;
        const std::string extension = fs::path(name).extension().string();
        row.extension = extension.empty() ? std::string() : extension.substr(1);
        const auto bytes = fs::file_size(documents_ / name, ec);
        row.sizeText = sizeText(ec ? 0 : bytes);
        row.duration = audioFileSeconds(documents_ / name);
        row.durationText = minutesSeconds(row.duration);
        rows_.push_back(std::move(row));
    }
}

int RecordEdit::rowOf(const std::string& fileName) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].fileName == fileName) {
            return int(i);
        }
    }
    return -1;
}

void RecordEdit::selectRow(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) {
        return;
    }
    const RecordRow& selected = rows_[size_t(row)];
    fileToLoad_ = selected.fileName;
    recordName_ = fs::path(selected.fileName).stem().string();
    positionBefore_ = "00:00";
    positionAfter_ = selected.durationText;
    slider_ = 0;
}

bool RecordEdit::isBeingRecorded(const std::string& name) const {
    if (!engine_.isRecording() && !engine_.recordFileOpen()) {
        return false;
    }
    const fs::path recording = engine_.recordFile();
    std::error_code ec;
    return recording.filename() == name && fs::equivalent(recording.parent_path(), documents_, ec);
}

void RecordEdit::stopPlayback() {
    sliderTimer_.invalidate();
    preview_.stop();
    playing_.clear();
}

void RecordEdit::playRow(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) {
        return;
    }
    const std::string name = rows_[size_t(row)].fileName;
    const bool again = !playing_.empty() && playing_ == name;
    stopPlayback();
    if (again || isBeingRecorded(name)) {
        return;
    }
    if (!preview_.playFile(documents_ / name)) {
        return;
    }
    playing_ = name;
    preview_.setEndHandler([this] {
        refreshSlider();
        sliderTimer_.invalidate();
        playing_.clear();
    });
    refreshSlider();
    sliderTimer_ = loop_.every(kSliderInterval, [this] { refreshSlider(); });
}

int RecordEdit::playingRow() const {
    return playing_.empty() ? -1 : rowOf(playing_);
}

void RecordEdit::updateLabels(double time, double duration) {
    // An empty or broken file has no length: the slider stays at its start instead of NaN.
    slider_ = duration > 0 && std::isfinite(duration) ? std::clamp(time / duration, 0.0, 1.0) : 0.0;
    positionBefore_ = minutesSeconds(time);
    positionAfter_ = minutesSeconds(duration - time);
}

void RecordEdit::refreshSlider() {
    if (playing_.empty()) {
        sliderTimer_.invalidate();
        return;
    }
    updateLabels(preview_.currentTime(), preview_.duration());
}

void RecordEdit::sliderTouch() {
    dragging_ = true;
    wasPlaying_ = preview_.playing();
    if (wasPlaying_) {
        preview_.pause();
    }
}

void RecordEdit::sliderPosition(double value) {
    if (playing_.empty()) {
        return;
    }
    const double duration = preview_.duration();
    const double clamped = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    preview_.seek(clamped * duration);
    updateLabels(preview_.currentTime(), duration);
}

void RecordEdit::sliderUp() {
    if (dragging_ && wasPlaying_ && !playing_.empty()) {
        preview_.play();
    }
    dragging_ = false;
    wasPlaying_ = false;
}

bool RecordEdit::convertFile() {
    if (fileToLoad_.empty() || converting_ ||
        lowerAscii(fs::path(fileToLoad_).extension().string()) != ".wav") {
        return false;
    }
    if (engine_.isRecording() || engine_.recordFileOpen()) {
        // The conversion stops the output, which would end the mix being recorded.
        alert("Can't convert while recording");
        return false;
    }
    stopPlayback();
    converting_ = true;
    engine_.StopSound();
    const fs::path source = documents_ / fileToLoad_;
    if (worker_.joinable()) {
        worker_.join();
    }
    // The hold tells a test's manual clock that a report is coming (the real clock ignores it).
    worker_ = std::thread([this, source, alive = alive_, hold = loop_.holdClock()]() mutable {
        const bool ok = convertRecording(source, conversion_) == ConvertStatus::Ok;
        loop_.post([this, ok, alive] {
            if (*alive) {
                whenConverted(ok);
            }
        });
        hold.release();
    });
    return true;
}

void RecordEdit::whenConverted(bool ok) {
    if (worker_.joinable()) {
        worker_.join();
    }
    engine_.StartSound();
    converting_ = false;
    loadFileList();
    if (converted_) {
        converted_(ok);
    }
}

bool RecordEdit::share() {
    if (fileToLoad_.empty() || lowerAscii(fs::path(fileToLoad_).extension().string()) != ".m4a" ||
        isBeingRecorded(fileToLoad_)) {
        return false;
    }
    if (!copyFileToPasteboard(pasteboard_, documents_ / fileToLoad_)) {
        return false;
    }
    alert("File copied to pasteboard");
    return true;
}

bool RecordEdit::pasteAction() {
    const PasteOutcome outcome = pasteFileFromPasteboard(pasteboard_, documents_, now_());
    if (outcome.result != PasteOutcome::Result::Pasted) {
        alert(outcome.message());
        return false;
    }
    loadFileList();
    notifications_.post("playBackFileChanged");
    return true;
}

bool RecordEdit::deleteRow(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) {
        return false;
    }
    const std::string name = rows_[size_t(row)].fileName;
    if (isBeingRecorded(name)) {
        alert("The mix is still being recorded");
        return false;
    }
    if (playing_ == name) {
        stopPlayback();
    }
    std::error_code ec;
    if (!fs::remove(documents_ / name, ec)) {
        return false;
    }
    loadFileList();
    notifications_.post("playBackFileChanged");
    return true;
}

void RecordEdit::renameAction() {
    if (fileToLoad_.empty()) {
        return;
    }
    alerts_.ask(
        renameQuestion(fileToLoad_, 300,
                       [this, old = fileToLoad_](const std::string& stem) { rename(old, stem); }));
}

RenameResult RecordEdit::rename(const std::string& oldName, const std::string& newStem) {
    if (isBeingRecorded(oldName)) {
        alert("The mix is still being recorded");
        return RenameResult::Failed;
    }
    if (playing_ == oldName) {
        stopPlayback();
    }
    std::string newName;
    const RenameResult result = renameInFolder(documents_, oldName, newStem, &newName);
    if (result == RenameResult::Exists) {
        alert("File:" + newName + " exists!");
    } else if (result == RenameResult::BadName) {
        alert("Can't use this name");
    }
    loadFileList();
    return result;
}

void RecordEdit::done() {
    stopPlayback();
}

void RecordEdit::alert(const std::string& message) {
    alerts_.showAlert("Velvox Nexa", message, "OK");
}

} // namespace vx
