#pragma once
// CrateManager: the screen where the user sorts tracks into the five crates (A to E), edits
// their tags, previews, deletes and imports them, and opens the Wi-Fi transfer.
//
// It lists all tracks (the user's, then the built-in ones unless "kHideBundled" is set) or the
// members of one crate, in the database's shared listing order, and describes each row as
// plain text (CrateRow). The user picks a row's crate in a picker over the row, renames a
// track's title, artist or album by selecting the same row twice (two questions), empties a
// crate (memberships only) or deletes the listed tracks' files after a confirmation, previews
// one row at a time on the preview player, and starts the music-library import or the Wi-Fi
// transfer with this screen as the one told when they end.
//
// The shared listing order belongs to the browser as much as to this screen: the order found
// when the screen appears is put back when it goes, so the browser's sort label keeps
// matching its list. Files still in use (on a deck, under analysis, being recorded) are never
// deleted from here: the hooks' fileInUse says which, and such rows are kept.
//
// Threads: main thread only. Borrows the database, the store, the notification centre, the
// run loop, the preview player and the alert presenter (the last two may be null), which must
// outlive it.

#include "app/WiFiTransfer.h"
#include "library/iTunesImporter.h"
#include "platform/RunLoop.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {

class Alerts;
class DBController;
class NotificationCenter;
class PreviewPlayer;
class UserDefaults;
class VXAudioFileInfo;

// One row of the crate manager's table (CrateCell), as the shell draws it.
struct CrateRow {
    std::string title, artist, album;
    std::string tempo;    // "%3.0f BPM", or "???" without a tempo
    std::string duration; // "%2i:%02i"
    std::string size;     // "%3.0f\nkb" / "%3.0f\nMb"
    std::string assigned; // crate letter "A"…"E", "X" for none
    bool builtIn = false; // built-in tracks cannot be renamed or deleted
    bool playing = false; // the row's preview plays
    bool selected = false;
};

// What the crate manager and the playlist editor ask of the application (each may be empty).
struct CrateScreenHooks {
    // Starts the music-library import with the screen as its delegate.
    std::function<void(iTunesImporterDelegate&)> startImport;
    // Starts the Wi-Fi transfer with the screen as its caller.
    std::function<void(ServerCaller*)> startServer;
    // Why the documents folder's file `name` may not be deleted now, or nothing.
    std::function<std::optional<std::string>(const std::string& name)> fileInUse;
    // The screen went away.
    std::function<void()> didHide;
    bool tablet = false;
};

class CrateManager final : public iTunesImporterDelegate, public ServerCaller {
public:
    static constexpr int kAllTracks = -1;
    // Crate buttons: tag 29 all tracks, 30…34 crates 0…4.
    static constexpr int kFirstCrateButtonTag = 29;
    static constexpr int kCrateButtonTagOffset = 30;
    static constexpr int kCrateButtonCount = 6;
    // Crate picker: tags 20…24 crates 0…4; kNoCrateTag takes the track out of every crate.
    static constexpr int kPickerTagOffset = 20;
    static constexpr int kNoCrateTag = 19;
    static constexpr int kSortKindCount = 7;
    static constexpr int kEditQuestionTag = 50;
    static constexpr int kRenameQuestionTag = 300;
    static constexpr int kDeleteQuestionTag = 100;
    static constexpr double kPhoneRemoveDelay = 0.1; // seconds
    static constexpr const char* kEditQuestion = "Edit song.\nWhat you need to change?";
    static constexpr const char* kDeleteCrateQuestion =
        "All tracks in current crate will be deleted!\n Are you sure?";
    static constexpr const char* kDeleteAllQuestion = "All tracks will be deleted!\n Are you sure?";

    // Main thread. `preview` and `alerts` may be null (no previews / no questions asked).
    CrateManager(DBController& db, UserDefaults& defaults, NotificationCenter& notifications,
                 RunLoop& loop, PreviewPlayer* preview, Alerts* alerts, CrateScreenHooks hooks);
    ~CrateManager() override;
    CrateManager(const CrateManager&) = delete;
    CrateManager& operator=(const CrateManager&) = delete;

    // --- showing (main thread) ---------------------------------------------------------------
    // Remembers the shared listing order, lists in this screen's own order, shows the current
    // crate; no row is being assigned.
    void viewWillAppear();
    // The back button: previews stop, the shared listing order found on entry comes back;
    // tablet: "importDone" is posted; the hooks' didHide runs (on a phone 0.1 s later).
    void back();
    bool shown() const { return shown_; }

    // --- crates and sorting (main thread) -----------------------------------------------------
    // A crate button (tags 29…34); other tags are ignored.
    void setCurrentCrate(int tag);
    // -1 all tracks, 0…4 a crate: selects its button and lists it.
    void setCrate(int crate);
    // The sort button: the next of the seven orders (after "Rescent", "Title").
    void sortBy();
    // Lists in order `kind` (0…6) and makes it the shared order; others are ignored.
    void setSortKind(int kind);
    // Lists the current crate, or all tracks; no row stays selected.
    void updateLists();

    // --- rows (main thread) -------------------------------------------------------------------
    // Selecting a row; selecting the same user track again asks which tag to edit.
    void selectRow(int row);
    // The row's assign button: the crate picker shows over it.
    void showOverlayView(int row);
    // A picker button: tags 20…24 put the track into that crate only; any other tag takes it
    // out of every crate. The picker closes.
    void crateSet(int tag);
    // The picker closed without a choice.
    void hideOverlayView();
    // The row's play button: previews it, or stops it when it plays.
    void playRow(int row);
    // Swipe delete of a user track: its file, peak file and row go. False when refused.
    bool deleteRow(int row);

    // --- crate-wide actions and services (main thread) -------------------------------------
    void emptyCrate();
    // Asks, then deletes the listed user tracks' files (tracks in use are kept).
    void deleteCrate();
    void importFromiTunes();
    void server();

    // iTunesImporterDelegate / ServerCaller (main thread).
    void fileImported(const ImportParams& params) override;
    void importDone() override;
    void serverStoped() override;

    // --- state the shell draws (main thread) --------------------------------------------------
    const std::vector<CrateRow>& rows() const { return rows_; }
    const std::vector<std::shared_ptr<VXAudioFileInfo>>& fileList() const { return fileList_; }
    int currentCrate() const { return current_crate; }
    int sortKind() const { return sortKind_; }
    const std::string& sortOrderLabel() const { return sortOrderLabel_; }
    // Button of tag 29 + i selected.
    bool crateButtonSelected(int i) const { return crateButtons_.at(size_t(i)); }
    int lastRowSelected() const { return lastRowSelected_; }
    // The row whose crate is being chosen (the picker shows over it), -1 none.
    int lastEditedIndex() const { return last_edited_index; }
    int editDataField() const { return editDataField_; }
    const std::string& fieldValue() const { return fieldValue_; }
    int playingRow() const;

    // Any thread: the row texts.
    static std::string tempoText(double bpm);
    static std::string durationText(double seconds);
    static std::string crateLetter(int crate);

private:
    void buildRows();
    void stopPreview();
    bool isPreviewing(const VXAudioFileInfo& info) const;
    void askNewValue(const std::shared_ptr<VXAudioFileInfo>& info, int field);
    void rename(const std::shared_ptr<VXAudioFileInfo>& info, int field, const std::string& text);
    void deleteListedTracks();
    // Deletes a user track's file, then its row and peak file; false when the file stays.
    bool deleteTrack(const VXAudioFileInfo& info);
    std::optional<std::string> inUse(const VXAudioFileInfo& info) const;
    void alert(const std::string& message);
    void restoreSharedOrder();

    DBController& db_;
    UserDefaults& defaults_;
    NotificationCenter& notifications_;
    RunLoop& loop_;
    PreviewPlayer* preview_;
    Alerts* alerts_;
    CrateScreenHooks hooks_;

    std::vector<std::shared_ptr<VXAudioFileInfo>> fileList_;
    std::vector<CrateRow> rows_;
    int current_crate = kAllTracks;
    int sortKind_ = 0;
    std::string sortOrderLabel_;
    std::array<bool, kCrateButtonCount> crateButtons_{};
    int lastRowSelected_ = -1;
    int last_edited_index = -1;
    int editDataField_ = 0;
    std::string fieldValue_;
    std::optional<int> oldSortOrder_;                    // the shared order found on entry
    std::optional<std::pair<uint32_t, int>> previewing_; // (hash, location) of the preview
    bool shown_ = false;
    bool startingPreview_ = false; // while this screen posts "startPlaying"
    TimerHandle removeTimer_;
    // Cleared by the destructor: answers of questions still open do nothing afterwards.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vx
