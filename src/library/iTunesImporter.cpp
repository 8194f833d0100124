#include "library/iTunesImporter.h"

#include "library/DBController.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <cstdio>
#include <string_view>

namespace vx {

namespace fs = std::filesystem;

// What the loop thread's posted tasks check before touching the importer: `alive` is read
// and written on the main thread only (tasks run there, and the destructor clears it there).
struct iTunesImporter::Shared {
    bool alive = true;
};

iTunesImporter::iTunesImporter(RunLoop& loop, fs::path documents, UserDefaults* defaults,
                               Alerts* alerts, iTunesImporterDelegate* delegate)
    : loop_(loop), documents_(std::move(documents)), defaults_(defaults), alerts_(alerts),
      delegate(delegate), shared_(std::make_shared<Shared>()) {}

iTunesImporter::~iTunesImporter() {
    shared_->alive = false;
    cancelImport();
    stopRefreshTimer();
    removeViewTimer_.invalidate();
    joinWorker();
}

void iTunesImporter::joinWorker() {
    // The loop thread may be waiting for a task of ours on the main thread: keep running the
    // posted tasks (which do nothing once `alive` is cleared) until it has finished.
    while (!workerDone_.load(std::memory_order_acquire)) {
        if (loop_.isMainThread() && !loop_.isShutDown()) {
            loop_.waitForPost(0.05);
            loop_.runPosted();
        } else {
            std::this_thread::yield();
        }
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool iTunesImporter::onMain(std::function<void()> task, bool wait) {
    auto shared = shared_;
    auto guarded = [shared, task = std::move(task)] {
        if (shared->alive) {
            task();
        }
    };
    return wait ? loop_.invokeAndWait(std::move(guarded)) : loop_.post(std::move(guarded));
}

// --- picker -------------------------------------------------------------------------------

void iTunesImporter::showMediaPicker() {
    removeViewTimer_.invalidate();
    viewShown_ = true;
    pickerShown_ = true;
    activityShown_ = true;
    importingView_ = ImportingController{};
    importingView_.allProgressVisible = true;
    picker_ = std::make_unique<MediaPicker>(loop_, defaults_ ? MusicLibrary::musicFolder(*defaults_)
                                                             : MusicLibrary::defaultMusicFolder());
    picker_->startScan();
}

void iTunesImporter::pickerDone() {
    std::vector<MusicLibraryItem> items =
        picker_ ? picker_->selectedItems() : std::vector<MusicLibraryItem>{};
    if (items.empty()) {
        mediaPickerDidCancel();
    } else {
        mediaPickerDidPickMediaItems(std::move(items));
    }
}

void iTunesImporter::mediaPickerDidCancel() {
    pickerShown_ = false;
    picker_.reset();
    stopRefreshTimer();
    removeViewTimer_.invalidate();
    removeViewTimer_ = loop_.after(kCancelRemoveDelay, [this] {
        if (!importing_) {
            viewShown_ = false;
        }
    });
}

void iTunesImporter::mediaPickerDidPickMediaItems(std::vector<MusicLibraryItem> items) {
    if (importing_) {
        return;
    }
    joinWorker();
    removeViewTimer_.invalidate();
    pickerShown_ = false;
    picker_.reset();
    viewShown_ = true;
    importing_ = true;
    cancelled_.store(false);
    outcomes_.clear();
    pendingOutcomes_.clear();
    // One item: its own progress bar says enough.
    activityShown_ = items.size() != 1;
    allc = item_count = int(items.size());
    importingView_ = ImportingController{};
    importingView_.allProgressVisible = true;
    updateAllProgress();
    workerDone_.store(false, std::memory_order_release);
    worker_ = std::thread([this, items = std::move(items)]() mutable {
        runImport(std::move(items));
        workerDone_.store(true, std::memory_order_release);
        loop_.post([] {}); // wakes a destructor waiting in joinWorker
    });
}

void iTunesImporter::cancelImport() {
    cancelled_.store(true);
    std::lock_guard lock(exportMutex_);
    if (export_) {
        export_->cancelExport();
    }
}

// --- the loop thread ----------------------------------------------------------------------

void iTunesImporter::runImport(std::vector<MusicLibraryItem> items) {
    const int count = int(items.size());
    for (int i = 0; i < count; ++i) {
        ImportParams params = paramsForItem(items[size_t(i)]);
        ImportOutcome outcome;
        if (cancelled_.load()) {
            outcome.params = std::move(params);
            outcome.error = "cancelled";
        } else {
            outcome = exportAssetAtURL(items[size_t(i)], std::move(params), i + 1, count);
        }
        const bool last = i + 1 == count;
        onMain(
            [this, outcome = std::move(outcome), last] {
                pendingOutcomes_.push_back(outcome);
                --item_count;
                if (!last) {
                    updateAllProgress();
                }
            },
            false);
    }
    // Whatever happened to the last item, the import ends here.
    onMain([this] { finishImport(); }, true);
}

fs::path iTunesImporter::chooseDestination(const ImportParams& params, const std::string& extension,
                                           bool* reimport) {
    const std::optional<UserDefaults::Map> known =
        defaults_ ? defaults_->mapForKey(kImportedItemsKey) : std::nullopt;
    for (int n = 1;; ++n) {
        const std::string name = destinationName(params.title, params.pid, extension, n);
        const fs::path path = documents_ / name;
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(path, ec))) {
            *reimport = false;
            return path;
        }
        // An existing file is this song's earlier import unless the settings say it came from
        // another song.
        std::optional<uint64_t> owner;
        if (known) {
            if (const auto found = known->find(name); found != known->end()) {
                owner = UserDefaults::asUnsigned(found->second);
            }
        }
        if (!owner || *owner == params.persistentID) {
            *reimport = true;
            return path;
        }
    }
}

void iTunesImporter::rememberName(const fs::path& file, uint64_t persistentID) {
    if (!defaults_) {
        return;
    }
    UserDefaults::Map known = defaults_->mapForKey(kImportedItemsKey).value_or(UserDefaults::Map{});
    const std::string name = file.filename().string();
    const auto found = known.find(name);
    if (found != known.end() && UserDefaults::asUnsigned(found->second) == persistentID) {
        return;
    }
    known[name] = persistentID;
    defaults_->setMap(kImportedItemsKey, known);
    defaults_->synchronize();
}

ImportOutcome iTunesImporter::exportAssetAtURL(const MusicLibraryItem& item, ImportParams params,
                                               int index, int count) {
    ImportOutcome outcome;
    onMain(
        [this, params, index, count] {
            importingView_.fileProgress = 0;
            importingView_.fileLabel = params.title;
            if (itemStarted_) {
                itemStarted_(index, count, params);
            }
        },
        false);

    if (!TSLibraryImport::validLibraryItem(item)) {
        outcome.error = item.problem.empty() ? "not a track the library takes" : item.problem;
    } else {
        bool reimport = false;
        const fs::path destination =
            chooseDestination(params, TSLibraryImport::extensionForItem(item), &reimport);
        auto exporter = std::make_shared<TSLibraryImport>();
        {
            std::lock_guard lock(exportMutex_);
            export_ = exporter;
            if (cancelled_.load()) {
                exporter->cancelExport();
            }
        }
        onMain(
            [this, exporter] {
                shownExport_ = exporter;
                stopRefreshTimer();
                refreshProgressTimer = loop_.every(kRefreshInterval, [this] { refreshProgress(); });
            },
            false);
        exporter->importAsset(item, destination, reimport, nullptr);
        {
            std::lock_guard lock(exportMutex_);
            export_.reset();
        }
        switch (exporter->status()) {
        case TSLibraryImport::Status::Completed:
            params.File = destination;
            params.reimport = reimport;
            rememberName(destination, params.persistentID);
            onMain(
                [this, params] {
                    loadedFile = params.File;
                    importingView_.fileProgress = 1.0;
                    if (delegate) {
                        delegate->fileImported(params);
                    }
                },
                true);
            break;
        case TSLibraryImport::Status::Cancelled:
            outcome.error = "cancelled";
            break;
        default:
            outcome.error = exporter->error();
            break;
        }
    }
    if (!outcome.error.empty() && outcome.error != "cancelled") {
        logLine("Error importing %s: %s", item.file.c_str(), outcome.error.c_str());
        onMain(
            [this, message = params.title + ": " + outcome.error] {
                loadedFile.reset();
                showAlert("Error importing: " + message);
            },
            false);
    }
    outcome.params = std::move(params);
    return outcome;
}

// --- main thread --------------------------------------------------------------------------

void iTunesImporter::updateAllProgress() {
    const int current = allc + 1 - item_count;
    importingView_.allProgress = allc > 0 ? double(current) / double(allc) : 0.0;
    char label[32];
    std::snprintf(label, sizeof label, "%i of %i", current, allc);
    importingView_.allLabel = label;
}

void iTunesImporter::refreshProgress() {
    if (!shownExport_) {
        stopRefreshTimer();
        return;
    }
    importingView_.fileProgress = shownExport_->progress();
    const auto s = shownExport_->status();
    if (s == TSLibraryImport::Status::Completed || s == TSLibraryImport::Status::Failed ||
        s == TSLibraryImport::Status::Cancelled) {
        stopRefreshTimer();
    }
}

void iTunesImporter::showAlert(const std::string& message) {
    if (alerts_) {
        alerts_->showAlert(kAlertTitle, message, kAlertButton);
    }
}

void iTunesImporter::stopRefreshTimer() {
    refreshProgressTimer.invalidate();
    refreshProgressTimer = TimerHandle{};
}

void iTunesImporter::finishImport() {
    stopRefreshTimer();
    shownExport_.reset();
    outcomes_ = std::move(pendingOutcomes_);
    pendingOutcomes_.clear();
    importing_ = false;
    viewShown_ = false;
    activityShown_ = false;
    if (delegate) {
        delegate->importDone();
    }
}

// --- helpers ------------------------------------------------------------------------------

ImportParams iTunesImporter::paramsForItem(const MusicLibraryItem& item) {
    ImportParams params;
    params.source = item.file;
    params.title = item.title;
    for (char& c : params.title) {
        if (c == '/') {
            c = '|';
        }
    }
    params.artist = item.artist;
    params.album = item.album;
    params.tempo = item.tempo > 0 ? item.tempo : 0;
    params.pid = item.pid();
    params.persistentID = item.persistentID;
    return params;
}

std::string iTunesImporter::fileNameTitle(const std::string& title) {
    static constexpr std::string_view kReplaced = "|;,!@#$()<>/\\\"'`~{}[]=+&^\t";
    std::string name = title;
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (kReplaced.find(c) != std::string_view::npos || byte < 0x20 || byte == 0x7f) {
            c = ' ';
        }
    }
    // No hidden names, no "." or "..".
    const size_t start = name.find_first_not_of(" .");
    name.erase(0, start == std::string::npos ? name.size() : start);
    if (name.size() > kMaxTitleBytes) {
        size_t cut = kMaxTitleBytes;
        // Never cut a UTF-8 sequence: back up to the first byte of a character.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    return name.empty() ? std::string("Track") : name;
}

std::string iTunesImporter::destinationName(const std::string& title, const std::string& pid,
                                            const std::string& extension, int n) {
    std::string name = fileNameTitle(title) + "@n" + pid;
    if (n > 1) {
        name += "-" + std::to_string(n);
    }
    return name + "." + extension;
}

std::shared_ptr<VXAudioFileInfo> iTunesImporter::registerImportedFile(DBController& db,
                                                                      const Paths& paths,
                                                                      const ImportParams& params) {
    std::error_code ec;
    if (params.File.empty() || !fs::is_regular_file(params.File, ec)) {
        return nullptr;
    }
    std::optional<double> dateAdded;
    bool hasRow = false;
    if (params.reimport) {
        // The new file gets analysed again; its tempo must not come back from the old peaks.
        VXAudioFileInfo probe;
        probe.fileName = params.File;
        fs::remove(probe.peakFilePath(), ec);
        const auto old = db.getFullInfoForFile(params.File);
        hasRow = old->playcount >= 0; // -1: read from the file, no row
        dateAdded = old->date_added;
    }
    auto info = VXAudioFileInfo::initWithFile(params.File, paths);
    if (!params.title.empty()) {
        info->updateTitle(params.title);
    }
    if (!params.artist.empty()) {
        info->updateArtist(params.artist);
    }
    if (!params.album.empty()) {
        info->updateAlbum(params.album);
    }
    if (hasRow) {
        info->date_added = dateAdded;
        db.updateInfo(*info);
    } else {
        db.addFileToDB(*info, 0);
    }
    // Only a tempo the library knows replaces the one found in the tags or the name.
    if (params.tempo > 0) {
        info->updateBPM(params.tempo, db);
    }
    return info;
}

} // namespace vx
