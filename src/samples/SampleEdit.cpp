#include "samples/SampleEdit.h"

#include "dsp/SamplePlayerFixed.h"
#include "engine/AudioOut.h"
#include "engine/PreviewPlayer.h"
#include "engine/sampleLoad.h"
#include "platform/Alerts.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SafeFiles.h"
#include "platform/UserDefaults.h"
#include "samples/MicRecorder.h"

#include <algorithm>
#include <chrono>

namespace fs = std::filesystem;

namespace vx {

namespace {

constexpr const char* kRecordNoKey = "kRecordNo";

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

std::string rowInfo(const fs::path& file) {
    std::error_code ec;
    const double bytes = double(fs::file_size(file, ec));
    const bool mega = !ec && bytes >= 1048576.0;
    const double seconds = audioFileSeconds(file);
    std::string date;
    const auto written = fs::last_write_time(file, ec);
    if (!ec) {
        const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
            written - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
        const std::time_t t = std::chrono::system_clock::to_time_t(system);
        std::tm local{};
        localtime_r(&t, &local);
        char text[32];
        std::strftime(text, sizeof text, "%x", &local);
        date = text;
    }
    char text[128];
    std::snprintf(text, sizeof text, "%s, %3.1f %s, %s", minutesSeconds(seconds).c_str(),
                  ec ? 0.0 : bytes / (mega ? 1048576.0 : 1024.0), mega ? "Mb" : "kb", date.c_str());
    return text;
}

} // namespace

SampleEdit::SampleEdit(AudioOut& engine, UserDefaults& defaults, NotificationCenter& notifications,
                       Pasteboard& pasteboard, PreviewPlayer& preview, Alerts& alerts,
                       fs::path documents)
    : engine_(engine), defaults_(defaults), notifications_(notifications), pasteboard_(pasteboard),
      preview_(preview), alerts_(alerts), documents_(std::move(documents)),
      now_([] { return std::time(nullptr); }) {}

SampleEdit::~SampleEdit() {
    preview_.setEndHandler({});
}

void SampleEdit::viewWillAppear() {
    overlayRow_ = -1;
    loadFileList();
}

std::string SampleEdit::padFile(int pad) const {
    return engine_.pad(pad).path;
}

void SampleEdit::loadFileList() {
    rows_.clear();
    fileToLoad_.clear();
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(documents_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file(ec) || lowerAscii(it->path().extension().string()) != ".wav" ||
            name.rfind("VXNexa", 0) == 0 || name.empty() || name[0] == '.') {
            continue;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        SampleRow row;
        row.fileName = name;
        row.info = rowInfo(documents_ / name);
        for (int pad = 0; pad < AudioOut::kPadCount; ++pad) {
            const std::string saved = defaults_.stringForKey(lastSampleKey(pad));
            if (!saved.empty() && fs::path(saved).filename().string() == name) {
                row.assigned = pad;
                break;
            }
        }
        row.padLabel = row.assigned >= 0 ? std::to_string(row.assigned + 1) : "X";
        rows_.push_back(std::move(row));
    }
}

int SampleEdit::rowOf(const std::string& fileName) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].fileName == fileName) {
            return int(i);
        }
    }
    return -1;
}

void SampleEdit::selectRow(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) {
        return;
    }
    fileToLoad_ = rows_[size_t(row)].fileName;
    if (row != overlayRow_) {
        overlayRow_ = -1;
    }
}

void SampleEdit::showOverlay(int row) {
    overlayRow_ = row >= 0 && size_t(row) < rows_.size() ? row : -1;
}

void SampleEdit::assignPad(int pad, const fs::path& path) {
    sampleLoad(engine_.pad(pad), path, &defaults_, lastSampleKey(pad));
}

void SampleEdit::setSample2Button(int tag) {
    if (overlayRow_ < 0 || size_t(overlayRow_) >= rows_.size()) {
        return;
    }
    const fs::path file = documents_ / rows_[size_t(overlayRow_)].fileName;
    const int chosen = tag - kFirstPadTag;
    const bool assign = chosen >= 0 && chosen < AudioOut::kPadCount;
    if (assign) {
        assignPad(chosen, file);
    }
    for (int pad = 0; pad < AudioOut::kPadCount; ++pad) {
        if (pad != chosen || !assign) {
            if (fs::path(padFile(pad)) == file ||
                fs::path(defaults_.stringForKey(lastSampleKey(pad))) == file) {
                assignPad(pad, fs::path());
            }
        }
    }
    finishPadChange();
}

void SampleEdit::finishPadChange() {
    defaults_.synchronize();
    loadFileList();
    overlayRow_ = -1;
    notifications_.post("sampleChanged");
}

void SampleEdit::playRow(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) {
        return;
    }
    const std::string name = rows_[size_t(row)].fileName;
    const bool again = preview_.playing() && previewing_ == name;
    preview_.stop();
    previewing_.clear();
    if (again) {
        return;
    }
    if (preview_.playFile(documents_ / name)) {
        previewing_ = name;
        preview_.setEndHandler([this] { previewing_.clear(); });
    }
}

int SampleEdit::playingRow() const {
    return preview_.playing() && !previewing_.empty() ? rowOf(previewing_) : -1;
}

void SampleEdit::setVolume(float volume) {
    if (preview_.playing()) {
        preview_.setVolume(volume);
    }
}

bool SampleEdit::deleteRow(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) {
        return false;
    }
    const SampleRow target = rows_[size_t(row)];
    if (previewing_ == target.fileName) {
        preview_.stop();
        previewing_.clear();
    }
    std::error_code ec;
    if (!fs::remove(documents_ / target.fileName, ec)) {
        loadFileList();
        return false;
    }
    if (target.assigned >= 0) {
        assignPad(target.assigned, fs::path());
        finishPadChange();
    } else {
        loadFileList();
    }
    return true;
}

void SampleEdit::renameAction() {
    if (fileToLoad_.empty()) {
        return;
    }
    alerts_.ask(
        renameQuestion(fileToLoad_, kRenameTag,
                       [this, old = fileToLoad_](const std::string& stem) { rename(old, stem); }));
}

RenameResult SampleEdit::rename(const std::string& oldName, const std::string& newStem) {
    std::string newName;
    const RenameResult result = renameInFolder(documents_, oldName, newStem, &newName);
    switch (result) {
    case RenameResult::Renamed:
        break;
    case RenameResult::Exists:
        alert("File:" + newName + " exists!");
        return result;
    case RenameResult::BadName:
        alert("Can't use this name");
        return result;
    default:
        loadFileList();
        return result;
    }
    if (previewing_ == oldName) {
        preview_.stop();
        previewing_.clear();
    }
    // The pad that played the file plays it under its new name.
    bool moved = false;
    const fs::path oldPath = documents_ / oldName;
    for (int pad = 0; pad < AudioOut::kPadCount && newName != oldName; ++pad) {
        if (fs::path(defaults_.stringForKey(lastSampleKey(pad))) == oldPath ||
            fs::path(padFile(pad)) == oldPath) {
            assignPad(pad, documents_ / newName);
            moved = true;
        }
    }
    if (moved) {
        finishPadChange();
    } else {
        loadFileList();
    }
    return result;
}

bool SampleEdit::copySelected() {
    if (fileToLoad_.empty()) {
        return false;
    }
    if (!copyFileToPasteboard(pasteboard_, documents_ / fileToLoad_)) {
        return false;
    }
    alert("File copied to pasteboard");
    return true;
}

bool SampleEdit::pasteAction() {
    const PasteOutcome outcome = pasteFileFromPasteboard(pasteboard_, documents_, now_());
    if (outcome.result != PasteOutcome::Result::Pasted) {
        alert(outcome.message());
        return false;
    }
    loadFileList();
    notifications_.post("playBackFileChanged");
    return true;
}

bool SampleEdit::record(MicRecorder& recorder) {
    preview_.stop();
    previewing_.clear();
    engine_.stopPlay();
    engine_.setupRecordSession();
    std::string error;
    if (!recorder.start(&error)) {
        logLine("Error: %s (%s)", error.c_str(), "record");
        engine_.restorePlaySession();
        alerts_.showAlert("Record", "Record is not possible", "OK");
        return false;
    }
    return true;
}

std::string SampleEdit::recDone(MicRecorder& recorder) {
    recorder.stop();
    std::string made;
    std::error_code ec;
    if (recorder.recorded() && fs::is_regular_file(recorder.file(), ec)) {
        // The counter names the take; a number already in use (a file copied in under that
        // name) is skipped instead of replacing that file.
        int64_t n = std::max<int64_t>(0, defaults_.integerForKey(kRecordNoKey, 0));
        std::string name;
        for (;; ++n) {
            name = "mic_" + std::to_string(n) + ".wav";
            if (!fs::exists(documents_ / name, ec)) {
                break;
            }
        }
        defaults_.setInteger(kRecordNoKey, n + 1);
        defaults_.synchronize();
        const fs::path part = documents_ / ("." + name + ".part");
        if (fs::copy_file(recorder.file(), part, fs::copy_options::overwrite_existing, ec) &&
            safeMoveIntoFolder(part, documents_, name, false) == SafeMoveResult::Moved) {
            made = name;
        } else {
            fs::remove(part, ec);
            logLine("Microphone: could not keep the recording as %s", name.c_str());
        }
        loadFileList();
    }
    engine_.restorePlaySession();
    return made;
}

void SampleEdit::done() {
    preview_.stop();
    previewing_.clear();
    overlayRow_ = -1;
    if (didHide_) {
        didHide_();
    }
}

void SampleEdit::alert(const std::string& message) {
    alerts_.showAlert("Velvox Nexa", message, "OK");
}

} // namespace vx
