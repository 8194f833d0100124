#include "app/LoadFile.h"

#include "analysis/peakFileData.h"
#include "engine/AudioOut.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "library/TrackHash.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <system_error>

namespace vx {

namespace {

constexpr const char* kRandonSong = "kRandonSong";

// Labels of the first sort button's orders (0..4).
constexpr std::array<const char*, 5> kSortNames{"Title", "Artist", "Album", "Tempo", "Playlist"};

std::string streamCrateKey(int deck) {
    return "kStreamCrate" + std::to_string(deck);
}

// "<tempo> / <play count>", the tempo as "%3.0f", or "???" when there is none.
std::string tempoText(const VXAudioFileInfo& info) {
    char tempo[64];
    if (info.tempo > 0) {
        std::snprintf(tempo, sizeof tempo, "%3.0f", info.tempo);
    } else {
        std::snprintf(tempo, sizeof tempo, "???");
    }
    char text[96];
    std::snprintf(text, sizeof text, "%s / %i", tempo, static_cast<int>(info.playcount));
    return text;
}

// The date added as a short date in local time without the time of day. The shell runs in the
// C locale, whose short date is month/day/two-digit year ("%x" there); the pattern is spelled
// out so the text does not change with whatever locale the process was given.
std::string dateText(const VXAudioFileInfo& info) {
    if (!info.date_added || !std::isfinite(*info.date_added)) {
        return {};
    }
    const auto seconds = static_cast<std::time_t>(std::floor(*info.date_added));
    std::tm local{};
    if (!localtime_r(&seconds, &local)) {
        return {};
    }
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%m/%d/%y", &local);
    return std::string(text, length);
}

void append(std::vector<std::shared_ptr<VXAudioFileInfo>>& to,
            const std::optional<DBController::TrackList>& list) {
    if (list) {
        to.insert(to.end(), list->begin(), list->end());
    }
}

} // namespace

LoadFile::LoadFile(AudioOut* engine, DBController* db, UserDefaults& defaults, RunLoop& loop,
                   std::function<void()> didHide)
    : engine_(engine), db_(db), defaults_(defaults), loop_(loop), didHide_(std::move(didHide)) {
    readSettings();
}

void LoadFile::readSettings() {
    randomSongEnabled_ = defaults_.boolForKey(kRandonSong, false);
    hideBundled_ = defaults_.boolForKey(kHideBundled, false);
}

LoadFile::~LoadFile() {
    loadTimer_.invalidate();
}

// ---- opening and lists ----------------------------------------------------------------------

void LoadFile::viewWillAppear() {
    readSettings();
    // A new random sequence each time the browser opens, started from the wall clock.
    generator_ = std::mt19937(static_cast<std::mt19937::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));

    filterSelected_.fill(false);
    headerLEnabled_ = sideToLoad_ == 1;
    headerREnabled_ = sideToLoad_ == 0;

    int crate = -1;
    if (engine_ && engine_->initialized()) {
        crate = engine_->deck(sideToLoad_).crateIndex.load();
    }
    filterKind_ = crate >= 0 && crate < DBController::kCrateCount ? crate : -1;
    filterSelected_[size_t(filterKind_ + kFilterTagOffset - kFirstFilterTag)] = true;

    lastFileItem_.reset();
    loadButtonEnabled_ = false;
    updateData();
}

void LoadFile::setFilter(int tag) {
    const int index = tag - kFirstFilterTag;
    if (index < 0 || index >= kFilterButtonCount) {
        return;
    }
    filterSelected_.fill(false);
    setFilterKind(tag - kFilterTagOffset);
    filterSelected_[size_t(index)] = true;
    updateData();
}

void LoadFile::setFilterKind(int kind) {
    filterKind_ = kind >= 0 && kind < DBController::kCrateCount ? kind : -1;
    updateLists();
}

void LoadFile::setSort1() {
    int next = sortKind_ + 1;
    if (next > kSortPlaylist) {
        next = kSortTitle;
    }
    setSortKind(next);
}

void LoadFile::setSort2() {
    setSortKind(kSortDateAdded);
}

void LoadFile::setSort3() {
    setSortKind(kSortPlayCount);
}

void LoadFile::setSortKind(int kind) {
    if (kind < kSortTitle || kind > kSortPlayCount) {
        return;
    }
    sortKind_ = kind;
    if (db_) {
        db_->setResultSortOrder(kind);
    }
    setSortButtons();
    updateData();
}

void LoadFile::setSortButtons() {
    sortSelected_.fill(false);
    if (sortKind_ == kSortDateAdded) {
        sortSelected_[1] = true;
    } else if (sortKind_ == kSortPlayCount) {
        sortSelected_[2] = true;
    } else {
        sortOrderLabel_ = kSortNames[size_t(sortKind_)];
    }
}

void LoadFile::updateLists() {
    infoList_.clear();
    if (!db_) {
        return;
    }
    if (filterKind_ >= 0) {
        append(infoList_, db_->getListForCrate(filterKind_));
        return;
    }
    append(infoList_, db_->getListForGroup(kUserLocation));
    if (!hideBundled_ || infoList_.empty()) {
        append(infoList_, db_->getListForGroup(kBuiltInLocation));
    }
}

void LoadFile::updateData() {
    updateLists();
    ++reloadCount_;
}

// ---- the table ------------------------------------------------------------------------------

std::optional<size_t> LoadFile::selectedRow() const {
    if (!lastFileItem_) {
        return std::nullopt;
    }
    for (size_t i = 0; i < infoList_.size(); ++i) {
        const VXAudioFileInfo& info = *infoList_[i];
        if (info.hash == lastFileItem_->hash && info.fileGroup == lastFileItem_->fileGroup) {
            return i;
        }
    }
    return std::nullopt;
}

LoadFileRow LoadFile::row(size_t index) const {
    LoadFileRow row;
    if (index >= infoList_.size()) {
        row.isImport = true;
        row.height = kImportRowHeight;
        row.reuseIdentifier = kImportRowIdentifier;
        row.title = kImportRowText;
        return row;
    }
    const VXAudioFileInfo& info = *infoList_[index];
    row.deletable = info.fileGroup != kBuiltInLocation;
    row.height = kTrackRowHeight;
    row.reuseIdentifier = kTrackRowIdentifier;
    row.title = info.title.value_or("");
    row.artist = info.artist.value_or("");
    row.album = info.album.value_or("");
    row.tempo = tempoText(info);
    row.plays = "";
    row.date = dateText(info);
    row.selected = selectedRow() == index;
    row.hasPeakFile = info.peakFileExists();
    return row;
}

std::vector<double> LoadFile::overview(size_t index, int width, double height) const {
    if (index >= infoList_.size() || width < 1) {
        return {};
    }
    const VXAudioFileInfo& info = *infoList_[index];
    peakFileData peaks;
    if (!info.peakFileExists() || !peakFileLoad(peaks, info.peakFilePath())) {
        return {};
    }
    // The track's own length decides the entry count; entries the file lacks (or has not
    // computed yet) read as 0xFF and add nothing.
    const int64_t count = peakCountForFrames(static_cast<int64_t>(info.durationInSamples()));
    std::vector<double> lines(size_t(width), 0.0);
    for (int x = 0; x < width; ++x) {
        const int64_t first = count * x / width;
        const int64_t end = std::max(first + 1, count * (x + 1) / width);
        double sum = 0;
        int used = 0;
        for (int64_t i = first; i < end && i < count; ++i) {
            const uint8_t h = peaks.height(static_cast<int32_t>(i));
            if (h != kPeakNotComputed) {
                sum += h;
                ++used;
            }
        }
        if (used > 0) {
            lines[size_t(x)] = sum / used / kOverviewFullHeight * (height / 2);
        }
    }
    return lines;
}

void LoadFile::selectRow(size_t index) {
    if (index >= infoList_.size()) {
        ++importRequests_;
        if (importHandler_) {
            importHandler_();
        }
        return;
    }
    lastFileItem_ = infoList_[index];
    loadButtonEnabled_ = true;
}

void LoadFile::fileImported(const ImportParams& params) {
    if (db_) {
        iTunesImporter::registerImportedFile(*db_, db_->paths(), params);
    }
    updateData();
}

void LoadFile::importDone() {
    updateData();
    if (importDoneHandler_) {
        importDoneHandler_();
    }
}

bool LoadFile::deleteRow(size_t index) {
    if (index >= infoList_.size()) {
        return false; // the import row cannot be edited
    }
    const std::shared_ptr<VXAudioFileInfo> info = infoList_[index];
    bool deleted = false;
    if (info->fileGroup != kBuiltInLocation) {
        if (const auto why = deleteRefusal(info->fileName)) {
            // Deleting under a deck or an analysis would leave the deck without its file and let
            // the analysis write the peak file again beside the deleted track.
            logLine("not deleting %s: %s", info->fileName.string().c_str(), why->c_str());
            if (messageHandler_) {
                messageHandler_(*why);
            }
            updateData();
            return false;
        }
        std::error_code ec;
        std::filesystem::remove(info->fileName, ec);
        if (ec) {
            logLine("could not delete %s: %s", info->fileName.string().c_str(),
                    ec.message().c_str());
        }
        std::filesystem::remove(info->peakFilePath(), ec);
        // The row goes even when the file was already gone.
        if (db_) {
            db_->removeFileFromDB(trackHashForPath(info->fileName), info->fileGroup);
        }
        if (lastFileItem_ && lastFileItem_->hash == info->hash &&
            lastFileItem_->fileGroup == info->fileGroup) {
            lastFileItem_.reset();
            loadButtonEnabled_ = false;
        }
        deleted = true;
    }
    updateData();
    return deleted;
}

std::optional<std::string> LoadFile::deleteRefusal(const std::filesystem::path& file) const {
    if (!engine_ || file.empty()) {
        return std::nullopt;
    }
    if (engine_->initialized()) {
        for (int d = 0; d < 2; ++d) {
            const audioStream& deck = engine_->deck(d);
            const auto track = deck.track();
            if ((deck.isLoaded.load() || deck.isLoading.load()) && track && track->path == file) {
                return std::string(kDeleteLoadedMessage);
            }
        }
    }
    if (const auto analyses = engine_->getCurrentAnalizes()) {
        const std::string name = file.filename().string();
        if (std::find(analyses->begin(), analyses->end(), name) != analyses->end()) {
            return std::string(kDeleteAnalysedMessage);
        }
    }
    return std::nullopt;
}

// ---- loading --------------------------------------------------------------------------------

void LoadFile::load() {
    if (!lastFileItem_) {
        close();
        return;
    }
    const std::shared_ptr<VXAudioFileInfo> info = lastFileItem_;
    if (!info->peakFileExists()) {
        // Never analysed: the deck's load starts the analysis; the browser waits a moment
        // without taking touches, then loads and closes.
        touchesEnabled_ = false;
        loadTimer_.invalidate();
        loadTimer_ = loop_.after(kUnanalysedLoadDelay, [this, info] { loadLast(info, true); });
        return;
    }
    loadLast(info, false);
    close();
}

void LoadFile::loadLast(const std::shared_ptr<VXAudioFileInfo>& info, bool closeAfter) {
    if (engine_ && engine_->initialized()) {
        audioStream& deck = engine_->deck(sideToLoad_);
        deckStop(deck);
        // The crate is set before the decode thread starts: closing the old track there
        // writes the deck's crate to the store, and must write this one.
        deck.crateIndex.store(filterKind_);
        if (sideToLoad_ == 0) {
            engine_->runDecode1(info->fileName);
        } else {
            engine_->runDecode2(info->fileName);
        }
    }
    defaults_.setInteger(streamCrateKey(sideToLoad_), filterKind_);
    defaults_.synchronize();
    if (closeAfter) {
        close();
    }
    touchesEnabled_ = true;
}

bool LoadFile::loadAnyTrack() {
    if (!randomSongEnabled_) {
        return false;
    }
    if (infoList_.size() < 2) {
        // Too few to choose from: pick from all tracks, and keep the crate for the deck.
        const int kept = filterKind_;
        setFilterKind(-1);
        filterKind_ = kept;
    }
    const std::optional<uint32_t> current = deckTrackHash();
    std::shared_ptr<VXAudioFileInfo> pick;
    if (infoList_.size() == 1) {
        pick = infoList_.front();
    } else {
        const bool anyOther = std::any_of(infoList_.begin(), infoList_.end(), [&](const auto& i) {
            return !current || i->hash != *current;
        });
        if (anyOther) {
            const auto count = static_cast<double>(infoList_.size());
            do {
                const double r = nextRandom();
                const auto index =
                    static_cast<size_t>(std::max(0.0, std::trunc((r - 0.01) * count)));
                pick = infoList_[std::min(index, infoList_.size() - 1)];
            } while (current && pick->hash == *current);
        }
    }
    if (!pick) {
        // No tracks at all, or only the deck's own: the browser stays as it is.
        ++failedRandomPicks_;
        logLine("random pick: no track to load");
        return false;
    }
    lastFileItem_ = pick;
    loadButtonEnabled_ = true;
    load();
    return true;
}

void LoadFile::cancel() {
    loadTimer_.invalidate();
    touchesEnabled_ = true;
    close();
}

void LoadFile::close() {
    if (didHide_) {
        didHide_();
    }
}

double LoadFile::nextRandom() {
    if (randomSource_) {
        return randomSource_();
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator_);
}

std::optional<uint32_t> LoadFile::deckTrackHash() const {
    if (!engine_ || !engine_->initialized()) {
        return std::nullopt;
    }
    audioStream& deck = engine_->deck(sideToLoad_);
    const auto info = deck.info();
    if (!info) {
        return std::nullopt;
    }
    return info->hash;
}

bool LoadFile::filterButtonSelected(int i) const {
    return i >= 0 && i < kFilterButtonCount && filterSelected_[size_t(i)];
}

bool LoadFile::sortButtonSelected(int i) const {
    return i >= 0 && i < kSortButtonCount && sortSelected_[size_t(i)];
}

} // namespace vx
