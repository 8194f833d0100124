#pragma once
// iTunesImporter: brings songs of the user's music library into the documents folder.
//
// The user picks songs in the picker (the music folder's items, MusicLibrary); each one is
// exported into the documents folder under a name made from its title and persistent id
// ("<title>@n<pid>.<ext>"), one after the other, while the progress screen shows the overall
// and the per-file progress. After each file the starting screen (the delegate) registers it
// in the track database (fileImported); after the last, whatever happened to it, the delegate
// hears importDone. A song imported again replaces its file (only once the new copy is
// complete), keeps its database row and loses its peak file, so it is analysed again.
//
// Names: the title loses the characters a file name should not carry, and never ends up
// empty, hidden (a leading "."), or too long for one file name. A name is kept unique: the
// settings remember which song (by its full 64-bit id, kImportedItemsKey) each imported file
// came from, so two songs whose ids share their low 32 bits and whose titles agree get
// "<title>@n<pid>-2.<ext>" instead of overwriting each other.
//
// Threads: every public operation belongs to the main thread. The export loop runs on a
// thread of its own, started by mediaPickerDidPickMediaItems and joined by the next import or
// the destructor; it hands every change of the plain state below and every delegate call to
// the main thread (RunLoop::post / invokeAndWait), so the shell and the delegate only ever run
// on the main thread. The file progress is read from the export by a 1/30 s timer.

#include "library/MediaPicker.h"
#include "library/TSLibraryImport.h"
#include "platform/MusicLibrary.h"
#include "platform/Paths.h"
#include "platform/RunLoop.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vx {

class Alerts;
class DBController;
class UserDefaults;
class VXAudioFileInfo;

// What the import hands from one picked item to the delegate.
struct ImportParams {
    std::filesystem::path source; // the item's audio file
    std::string title;            // the song's title with every "/" replaced by "|"
    std::string artist;
    std::string album;
    double tempo = 0;           // beats per minute from the library; 0 when it has none
    std::string pid;            // the low 32 bits of the persistent id, "%lu"
    uint64_t persistentID = 0;  // the full id
    std::filesystem::path File; // the written file; empty until written
    bool reimport = false;      // File existed and was replaced
};

// The starting screens (browser, main menu, crate manager) implement this.
class iTunesImporterDelegate {
public:
    virtual ~iTunesImporterDelegate() = default;
    // Main thread: one item was written to params.File.
    virtual void fileImported(const ImportParams& params) = 0;
    // Main thread: the import ended (all items tried, or cancelled).
    virtual void importDone() = 0;
};

// The progress screen's plain state, as the shell draws it.
struct ImportingController {
    double allProgress = 0;  // 0..1
    double fileProgress = 0; // 0..1, bytes of the current file
    std::string allLabel;    // "%i of %i"
    std::string fileLabel;   // the current item's title
    bool allProgressVisible = false;
};

// How one picked item ended.
struct ImportOutcome {
    ImportParams params;
    std::string error; // "" when the file was written and registered
};

class iTunesImporter {
public:
    static constexpr const char* kPrompt = "Import from music library";
    static constexpr const char* kAlertTitle = "Velvox Nexa";
    static constexpr const char* kAlertButton = "OK";
    // The settings key of the map "file name" -> full persistent id of the song it came from.
    static constexpr const char* kImportedItemsKey = "kImportedItems";
    static constexpr double kRefreshInterval = 1.0 / 30.0; // seconds
    static constexpr double kCancelRemoveDelay = 1.0;      // seconds
    // Longest title part of a file name, bytes; leaves room for "@n", the pid, a counter and
    // the extension within 255.
    static constexpr size_t kMaxTitleBytes = 200;

    // Main thread. `loop` runs the main thread; `documents` is where files go; `defaults`
    // (may be null: names are then not remembered) and `alerts` (may be null) must outlive
    // the importer, as must `delegate`.
    iTunesImporter(RunLoop& loop, std::filesystem::path documents, UserDefaults* defaults,
                   Alerts* alerts, iTunesImporterDelegate* delegate);
    // Main thread: cancels a running import and waits for its thread (the delegate hears
    // nothing more).
    ~iTunesImporter();
    iTunesImporter(const iTunesImporter&) = delete;
    iTunesImporter& operator=(const iTunesImporter&) = delete;

    // --- the picker and the import (main thread) ---------------------------------------
    // Main thread: shows the import view and the picker (prompt kPrompt), which starts
    // scanning the music folder (MusicLibrary::musicFolder of the settings).
    void showMediaPicker();
    // Main thread: the picker while it is shown, else null.
    MediaPicker* picker() const { return picker_.get(); }
    // Main thread: the picker's done button: imports its selected items (none: as a cancel).
    void pickerDone();
    // Main thread: closes the picker and exports `items` one after the other off the main
    // thread. Ignored while an import runs.
    void mediaPickerDidPickMediaItems(std::vector<MusicLibraryItem> items);
    // Main thread: closes the picker; the view goes kCancelRemoveDelay seconds later. Nothing
    // is written.
    void mediaPickerDidCancel();
    // Main thread: the progress screen's cancel: the file being copied is dropped (nothing of
    // it is left), no further item starts, and the delegate hears importDone.
    void cancelImport();

    // --- plain state (main thread) -------------------------------------------------------
    bool viewShown() const { return viewShown_; }
    bool pickerShown() const { return pickerShown_; }
    bool activityShown() const { return activityShown_; } // the activity indicator ("pv")
    bool importing() const { return importing_; }
    const ImportingController& progressView() const { return importingView_; }
    int itemCount() const { return item_count; } // items still to import
    int pickedCount() const { return allc; }
    const std::optional<std::filesystem::path>& lastLoadedFile() const { return loadedFile; }
    // Every item of the last import, in order, once it ended.
    const std::vector<ImportOutcome>& outcomes() const { return outcomes_; }
    // Main thread: called as each item starts: (1-based index, count, the item's parameters).
    void setItemStarted(std::function<void(int, int, const ImportParams&)> observer) {
        itemStarted_ = std::move(observer);
    }

    // --- helpers shared with the delegates (any thread) -------------------------------------
    // The parameters of an item: its tags, "/" in the title replaced by "|", its pid.
    static ImportParams paramsForItem(const MusicLibraryItem& item);
    // The title part of a file name: the characters | ; , ! @ # $ ( ) < > / \ " ' ` ~ { } [ ]
    // = + & ^ and tab (and control characters) become blanks; leading blanks and dots go;
    // at most kMaxTitleBytes bytes, cut between characters; "Track" when nothing is left.
    static std::string fileNameTitle(const std::string& title);
    // "<fileNameTitle>@n<pid>[-<n> for n > 1].<extension>".
    static std::string destinationName(const std::string& title, const std::string& pid,
                                       const std::string& extension, int n = 1);
    // Main thread: what a delegate does with an imported file: nothing when params.File does
    // not exist; else reads it afresh (length, size, tags), applies the parameters' title,
    // artist and album when not empty, and adds a row for a new file, or for a re-import drops
    // the peak file and refreshes the existing row (keeping its date added and play count);
    // then applies the library's tempo when above 0. Returns the track's info, or null.
    static std::shared_ptr<VXAudioFileInfo>
    registerImportedFile(DBController& db, const Paths& paths, const ImportParams& params);

private:
    struct Shared;

    void runImport(std::vector<MusicLibraryItem> items);
    // Loop thread: exports one item; returns its outcome.
    ImportOutcome exportAssetAtURL(const MusicLibraryItem& item, ImportParams params, int index,
                                   int count);
    // Loop thread: the destination of an item and whether it replaces an earlier import of it.
    std::filesystem::path chooseDestination(const ImportParams& params,
                                            const std::string& extension, bool* reimport);
    void rememberName(const std::filesystem::path& file, uint64_t persistentID);
    // Loop thread: runs `task` on the main thread (unless the importer is being destroyed);
    // with `wait`, returns once it ran. False when it will not run.
    bool onMain(std::function<void()> task, bool wait);
    // Main thread.
    void updateAllProgress();
    void refreshProgress();
    void showAlert(const std::string& message);
    void finishImport();
    void stopRefreshTimer();
    void joinWorker();

    RunLoop& loop_;
    const std::filesystem::path documents_;
    UserDefaults* defaults_;
    Alerts* alerts_;
    iTunesImporterDelegate* delegate;
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
    std::atomic<bool> workerDone_{true};
    std::atomic<bool> cancelled_{false};
    std::mutex exportMutex_;
    std::shared_ptr<TSLibraryImport> export_; // the export under way; guarded by exportMutex_
    std::function<void(int, int, const ImportParams&)> itemStarted_;

    // Main thread only.
    std::optional<std::filesystem::path> loadedFile;
    int item_count = 0;
    int allc = 0;
    ImportingController importingView_;
    std::unique_ptr<MediaPicker> picker_;
    std::shared_ptr<TSLibraryImport> shownExport_; // the export the progress timer reads
    TimerHandle refreshProgressTimer;
    TimerHandle removeViewTimer_;
    bool viewShown_ = false;
    bool pickerShown_ = false;
    bool activityShown_ = false;
    bool importing_ = false;
    std::vector<ImportOutcome> outcomes_;
    std::vector<ImportOutcome> pendingOutcomes_; // filled on the main thread as items end
};

} // namespace vx
