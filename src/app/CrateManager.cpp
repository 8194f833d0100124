#include "app/CrateManager.h"

#include "app/MainMenu.h"
#include "engine/PreviewPlayer.h"
#include "library/DBController.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace vx {

namespace {

constexpr std::array<const char*, 3> kFieldNames{"Title", "Artist", "Album"};

void append(std::vector<std::shared_ptr<VXAudioFileInfo>>& to,
            const std::optional<DBController::TrackList>& list) {
    if (list) {
        for (const auto& info : *list) {
            if (info) {
                to.push_back(info);
            }
        }
    }
}

uint64_t sizeOf(const VXAudioFileInfo& info) {
    if (info.fileSize() > 0) {
        return info.fileSize();
    }
    std::error_code ec;
    const auto bytes = fs::file_size(info.fileName, ec);
    return ec ? 0 : uint64_t(bytes);
}

} // namespace

CrateManager::CrateManager(DBController& db, UserDefaults& defaults,
                           NotificationCenter& notifications, RunLoop& loop, PreviewPlayer* preview,
                           Alerts* alerts, CrateScreenHooks hooks)
    : db_(db), defaults_(defaults), notifications_(notifications), loop_(loop), preview_(preview),
      alerts_(alerts), hooks_(std::move(hooks)) {
    sortOrderLabel_ = DBController::orderNameFor(sortKind_);
    // Another screen's preview took the player: this screen's row no longer plays.
    notifications_.addObserver(this, "startPlaying", [this](const Notification&) {
        if (previewing_ && !startingPreview_) {
            previewing_.reset();
            buildRows();
        }
    });
}

CrateManager::~CrateManager() {
    notifications_.removeObserver(this);
    *alive_ = false;
    removeTimer_.invalidate();
    if (previewing_ && preview_) {
        preview_->setEndHandler({});
        preview_->stop();
    }
}

std::string CrateManager::tempoText(double bpm) {
    if (!(bpm > 0) || !std::isfinite(bpm)) {
        return "???";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%3.0f BPM", bpm);
    return text;
}

std::string CrateManager::durationText(double seconds) {
    const long total = seconds > 0 && std::isfinite(seconds) ? long(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%2i:%02i", int(total / 60), int(total % 60));
    return text;
}

std::string CrateManager::crateLetter(int crate) {
    return crate >= 0 && crate < DBController::kCrateCount ? std::string(1, char('A' + crate))
                                                           : std::string("X");
}

// ---- showing --------------------------------------------------------------------------------

void CrateManager::viewWillAppear() {
    removeTimer_.invalidate();
    if (!shown_) {
        oldSortOrder_ = db_.resultSortOrder();
    }
    shown_ = true;
    // The list follows this screen's own order while it is shown, so its label tells the truth.
    db_.setResultSortOrder(sortKind_);
    sortOrderLabel_ = DBController::orderNameFor(sortKind_);
    setCrate(current_crate);
    last_edited_index = -1;
}

void CrateManager::restoreSharedOrder() {
    if (oldSortOrder_) {
        db_.setResultSortOrder(*oldSortOrder_);
        oldSortOrder_.reset();
    }
}

void CrateManager::back() {
    if (!shown_) {
        return;
    }
    stopPreview();
    restoreSharedOrder();
    last_edited_index = -1;
    shown_ = false;
    if (hooks_.tablet) {
        notifications_.post("importDone");
        if (hooks_.didHide) {
            hooks_.didHide();
        }
        return;
    }
    removeTimer_ = loop_.after(kPhoneRemoveDelay, [this] {
        if (hooks_.didHide) {
            hooks_.didHide();
        }
    });
}

// ---- crates and sorting ---------------------------------------------------------------------

void CrateManager::setCurrentCrate(int tag) {
    if (tag < kFirstCrateButtonTag || tag >= kFirstCrateButtonTag + kCrateButtonCount) {
        return;
    }
    setCrate(tag - kCrateButtonTagOffset);
}

void CrateManager::setCrate(int crate) {
    current_crate = crate >= 0 && crate < DBController::kCrateCount ? crate : kAllTracks;
    crateButtons_.fill(false);
    crateButtons_[size_t(current_crate + kCrateButtonTagOffset - kFirstCrateButtonTag)] = true;
    updateLists();
}

void CrateManager::sortBy() {
    setSortKind((sortKind_ + 1) % kSortKindCount);
}

void CrateManager::setSortKind(int kind) {
    if (kind < 0 || kind >= kSortKindCount) {
        return;
    }
    sortKind_ = kind;
    db_.setResultSortOrder(kind);
    sortOrderLabel_ = DBController::orderNameFor(kind);
    updateLists();
}

void CrateManager::updateLists() {
    fileList_.clear();
    if (current_crate >= 0) {
        append(fileList_, db_.getListForCrate(current_crate));
    } else {
        append(fileList_, db_.getListForGroup(kUserLocation));
        if (!defaults_.boolForKey(kHideBundled, false)) {
            append(fileList_, db_.getListForGroup(kBuiltInLocation));
        }
    }
    lastRowSelected_ = -1;
    buildRows();
}

void CrateManager::buildRows() {
    rows_.clear();
    rows_.reserve(fileList_.size());
    for (const auto& info : fileList_) {
        CrateRow row;
        row.title = info->title.value_or("");
        row.artist = info->artist.value_or("");
        row.album = info->album.value_or("");
        row.tempo = tempoText(info->tempo);
        row.duration = durationText(info->durationSeconds());
        row.size = MainMenu::sizeText(sizeOf(*info));
        row.assigned = crateLetter(db_.getGrateForInfo(*info));
        row.builtIn = info->fileGroup != kUserLocation;
        row.playing = isPreviewing(*info);
        rows_.push_back(std::move(row));
    }
    if (lastRowSelected_ >= 0 && size_t(lastRowSelected_) < rows_.size()) {
        rows_[size_t(lastRowSelected_)].selected = true;
    }
}

// ---- rows -----------------------------------------------------------------------------------

void CrateManager::selectRow(int row) {
    if (row < 0 || size_t(row) >= fileList_.size()) {
        return;
    }
    if (row != lastRowSelected_) {
        lastRowSelected_ = row;
        buildRows();
        return;
    }
    const auto info = fileList_[size_t(row)];
    if (info->fileGroup != kUserLocation || !alerts_) {
        return;
    }
    AlertRequest question;
    question.message = kEditQuestion;
    question.buttons = {"Cancel", "Title", "Artist", "Album"};
    question.cancelButton = 0;
    question.tag = kEditQuestionTag;
    question.answer = [this, info, alive = alive_](int button, int, const std::string&) {
        if (*alive && button >= 1 && button <= 3) {
            askNewValue(info, button - 1);
        }
    };
    alerts_->ask(std::move(question));
}

void CrateManager::askNewValue(const std::shared_ptr<VXAudioFileInfo>& info, int field) {
    editDataField_ = field;
    const auto& value = field == 0 ? info->title : field == 1 ? info->artist : info->album;
    fieldValue_ = value.value_or("");
    AlertRequest prompt;
    prompt.title = std::string("New ") + kFieldNames[size_t(field)] + " for the song";
    prompt.message = "\n";
    prompt.buttons = {"Cancel", "Rename"};
    prompt.cancelButton = 0;
    prompt.tag = kRenameQuestionTag;
    prompt.textField = true;
    prompt.text = fieldValue_;
    prompt.answer = [this, info, field, alive = alive_](int button, int, const std::string& text) {
        if (*alive && button == 1) {
            rename(info, field, text);
        }
    };
    alerts_->ask(std::move(prompt));
}

void CrateManager::rename(const std::shared_ptr<VXAudioFileInfo>& info, int field,
                          const std::string& text) {
    if (text == fieldValue_) {
        return;
    }
    if (field == 0) {
        info->updateTitle(text);
    } else if (field == 1) {
        info->updateArtist(text);
    } else {
        info->updateAlbum(text);
    }
    db_.updateInfo(*info);
    updateLists();
}

void CrateManager::showOverlayView(int row) {
    if (row < 0 || size_t(row) >= fileList_.size()) {
        return;
    }
    last_edited_index = row;
}

void CrateManager::hideOverlayView() {
    last_edited_index = -1;
}

void CrateManager::crateSet(int tag) {
    if (last_edited_index < 0 || size_t(last_edited_index) >= fileList_.size()) {
        last_edited_index = -1;
        return;
    }
    const VXAudioFileInfo& info = *fileList_[size_t(last_edited_index)];
    const int target = tag - kPickerTagOffset;
    for (int crate = 0; crate < DBController::kCrateCount; ++crate) {
        if (crate == target) {
            db_.addToCrate(crate, info);
        } else {
            db_.removeFromCrate(crate, info);
        }
    }
    updateLists();
    last_edited_index = -1;
}

bool CrateManager::isPreviewing(const VXAudioFileInfo& info) const {
    return previewing_ && previewing_->first == info.hash && previewing_->second == info.fileGroup;
}

int CrateManager::playingRow() const {
    for (size_t i = 0; i < fileList_.size(); ++i) {
        if (isPreviewing(*fileList_[i])) {
            return int(i);
        }
    }
    return -1;
}

void CrateManager::stopPreview() {
    if (!previewing_) {
        return;
    }
    previewing_.reset();
    if (preview_) {
        preview_->setEndHandler({});
        preview_->stop();
    }
    buildRows();
}

void CrateManager::playRow(int row) {
    if (row < 0 || size_t(row) >= fileList_.size() || !preview_) {
        return;
    }
    const VXAudioFileInfo& info = *fileList_[size_t(row)];
    const bool again = isPreviewing(info);
    stopPreview();
    if (again) {
        return;
    }
    // Any other player of previews (another screen's row) stops when this one starts.
    startingPreview_ = true;
    notifications_.postNow("startPlaying");
    startingPreview_ = false;
    preview_->stop();
    if (!preview_->playFile(info.fileName)) {
        logLine("preview not played: %s", info.fileName.string().c_str());
        return;
    }
    previewing_ = std::make_pair(info.hash, int(info.fileGroup));
    preview_->setEndHandler([this] {
        previewing_.reset();
        buildRows();
    });
    buildRows();
}

// ---- deleting -------------------------------------------------------------------------------

std::optional<std::string> CrateManager::inUse(const VXAudioFileInfo& info) const {
    if (!hooks_.fileInUse) {
        return std::nullopt;
    }
    return hooks_.fileInUse(info.fileName.filename().string());
}

bool CrateManager::deleteTrack(const VXAudioFileInfo& info) {
    if (isPreviewing(info)) {
        stopPreview();
    }
    std::error_code ec;
    fs::remove(info.fileName, ec);
    if (ec || fs::exists(info.fileName, ec)) {
        logLine("could not delete %s", info.fileName.string().c_str());
        return false;
    }
    db_.removeFileFromDB(info.hash, kUserLocation);
    fs::remove(info.peakFilePath(), ec);
    return true;
}

bool CrateManager::deleteRow(int row) {
    if (row < 0 || size_t(row) >= fileList_.size()) {
        return false;
    }
    const auto info = fileList_[size_t(row)];
    if (info->fileGroup != kUserLocation) {
        return false;
    }
    if (const auto why = inUse(*info)) {
        alert("The track can't be deleted now:" + *why + ".");
        return false;
    }
    if (!deleteTrack(*info)) {
        alert("The track could not be deleted.");
        updateLists();
        return false;
    }
    updateLists();
    notifications_.post("importDone");
    return true;
}

void CrateManager::emptyCrate() {
    if (current_crate < 0 || fileList_.empty()) {
        return;
    }
    for (const auto& info : fileList_) {
        db_.removeFromCrate(current_crate, *info);
    }
    setCrate(kAllTracks);
}

void CrateManager::deleteCrate() {
    if (fileList_.empty()) {
        return;
    }
    if (!alerts_) {
        return; // nothing is deleted unasked
    }
    AlertRequest question;
    question.message = current_crate >= 0 ? kDeleteCrateQuestion : kDeleteAllQuestion;
    question.buttons = {"Cancel", "Delete"};
    question.cancelButton = 0;
    question.tag = kDeleteQuestionTag;
    question.answer = [this, alive = alive_](int button, int, const std::string&) {
        if (*alive && button == 1) {
            deleteListedTracks();
        }
    };
    alerts_->ask(std::move(question));
}

void CrateManager::deleteListedTracks() {
    // The list is the one the user confirmed; it is taken whole before rows start to go.
    const auto listed = fileList_;
    int kept = 0;
    for (const auto& info : listed) {
        if (info->fileGroup != kUserLocation) {
            continue;
        }
        if (inUse(*info)) {
            ++kept;
            continue;
        }
        deleteTrack(*info);
    }
    setCrate(kAllTracks);
    notifications_.post("importDone");
    if (kept > 0) {
        alert(std::to_string(kept) + (kept == 1 ? " track is" : " tracks are") +
              " in use (on a deck or being analysed) and stayed.");
    }
}

// ---- import and transfer --------------------------------------------------------------------

void CrateManager::importFromiTunes() {
    stopPreview();
    if (hooks_.startImport) {
        hooks_.startImport(*this);
    }
}

void CrateManager::fileImported(const ImportParams& params) {
    iTunesImporter::registerImportedFile(db_, db_.paths(), params);
    updateLists();
}

void CrateManager::importDone() {
    updateLists();
    notifications_.post("importDone");
}

void CrateManager::server() {
    stopPreview();
    if (hooks_.startServer) {
        hooks_.startServer(this);
    }
}

void CrateManager::serverStoped() {
    updateLists();
    notifications_.post("importDone");
}

void CrateManager::alert(const std::string& message) {
    if (alerts_) {
        alerts_->showAlert("Velvox Nexa", message, "OK");
    } else {
        logLine("%s", message.c_str());
    }
}

} // namespace vx
