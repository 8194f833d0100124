#include "app/PlaylistManager.h"

#include "library/DBController.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace vx {

namespace {

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

} // namespace

PlaylistManager::PlaylistManager(DBController& db, UserDefaults& defaults, CrateScreenHooks hooks)
    : db_(db), defaults_(defaults), hooks_(std::move(hooks)) {}

void PlaylistManager::viewWillAppear() {
    if (!shown_) {
        oldSortOrder_ = db_.resultSortOrder();
    }
    shown_ = true;
    selectButtons();
    updateLists();
}

void PlaylistManager::viewDidDisappear() {
    if (oldSortOrder_) {
        db_.setResultSortOrder(*oldSortOrder_);
        oldSortOrder_.reset();
    }
    shown_ = false;
}

void PlaylistManager::back() {
    if (!shown_) {
        return;
    }
    viewDidDisappear();
    if (hooks_.didHide) {
        hooks_.didHide();
    }
}

void PlaylistManager::selectButtons() {
    crateButtons_.fill(false);
    filterAll_ = !useCrates_;
    if (useCrates_) {
        crateButtons_[size_t(crateNo_)] = true;
    }
    titleLabel_ = useCrates_ ? std::string("Crate ") + char('A' + crateNo_) : "All tracks";
}

void PlaylistManager::setFilter(int tag) {
    if (tag == kAllTracksTag) {
        useCrates_ = false;
        crateNo_ = 0;
    } else if (tag >= kFirstCrateTag && tag < kFirstCrateTag + DBController::kCrateCount) {
        useCrates_ = true;
        crateNo_ = tag - kFirstCrateTag;
    } else {
        return;
    }
    selectButtons();
    updateLists();
}

void PlaylistManager::updateLists() {
    localList_.clear();
    if (useCrates_) {
        // The order is switched before the crate is read: rows dragged in another order would
        // take the wrong neighbours' places.
        db_.setResultSortOrder(kPlaylistOrder);
        append(localList_, db_.getListForCrate(crateNo_));
    } else {
        append(localList_, db_.getListForGroup(kUserLocation));
        if (!defaults_.boolForKey(kHideBundled, false)) {
            append(localList_, db_.getListForGroup(kBuiltInLocation));
        }
    }
    buildRows();
}

void PlaylistManager::buildRows() {
    rows_.clear();
    rows_.reserve(localList_.size());
    for (const auto& info : localList_) {
        db_.sortOrderForInfo(*info);
        PlaylistRow row;
        row.title = info->title.value_or("");
        const std::string artist = info->artist.value_or("");
        row.artist = artist.rfind("(null)", 0) == 0 ? std::string() : artist;
        row.sortOrder = useCrates_ ? info->crateSortOrder[size_t(crateNo_)] : -1;
        row.deletable = !useCrates_ && info->fileGroup == kUserLocation;
        rows_.push_back(std::move(row));
    }
}

void PlaylistManager::moveRow(int from, int to) {
    if (!useCrates_ || from == to || from < 0 || to < 0 || size_t(from) >= localList_.size() ||
        size_t(to) >= localList_.size()) {
        return;
    }
    const int s = localList_[size_t(from)]->crateSortOrder[size_t(crateNo_)];
    const int t = localList_[size_t(to)]->crateSortOrder[size_t(crateNo_)];
    if (s < 0 || t < 0) {
        return;
    }
    const int n = t > s ? t + 5 : t - 5;
    db_.changeOrder(s, n, crateNo_);
    updateLists();
}

bool PlaylistManager::deleteRow(int row) {
    if (useCrates_ || row < 0 || size_t(row) >= localList_.size()) {
        return false;
    }
    const auto info = localList_[size_t(row)];
    if (info->fileGroup != kUserLocation) {
        return false;
    }
    if (hooks_.fileInUse) {
        if (const auto why = hooks_.fileInUse(info->fileName.filename().string())) {
            logLine("not deleted, %s:%s", info->fileName.filename().string().c_str(), why->c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::remove(info->fileName, ec);
    if (ec || fs::exists(info->fileName, ec)) {
        logLine("could not delete %s", info->fileName.string().c_str());
        return false;
    }
    db_.removeFileFromDB(info->hash, kUserLocation);
    fs::remove(info->peakFilePath(), ec);
    updateLists();
    return true;
}

} // namespace vx
