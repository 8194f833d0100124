#pragma once
// PlaylistManager: the playlist editor, where the order of the tracks inside a crate is changed
// by dragging. That order is what crate continuation and party mode play in "Playlist" order.
//
// It shows either all tracks (user tracks, then built-in ones unless "kHideBundled" is set;
// user tracks can be deleted there) or one crate in "Playlist" order, in which the table is in
// reorder mode: a row dragged onto another takes a sort order 5 past it (below when moving
// down, above when moving up), and the database renumbers the crate 10, 20, 30...
//
// The shared listing order is switched to "Playlist" while a crate is shown; the order found on
// entry is put back when the editor goes, so the other screens list as their labels say.
//
// Threads: main thread only. Borrows the database and the store, which must outlive it.

#include "app/CrateManager.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {

class DBController;
class UserDefaults;
class VXAudioFileInfo;

// One row of the editor (PlaylistCell).
struct PlaylistRow {
    std::string title;
    std::string artist; // empty for an artist text that begins with "(null)"
    int sortOrder = -1; // the track's place in the shown crate, -1 in all-tracks mode
    bool deletable = false;
};

class PlaylistManager {
public:
    // Filter buttons: tag 30 all tracks, 20…24 crates 0…4.
    static constexpr int kAllTracksTag = 30;
    static constexpr int kFirstCrateTag = 20;
    static constexpr int kPlaylistOrder = 4;
    static constexpr const char* kRowImage = "icon_aac.png";

    // Main thread. `hooks` gives fileInUse (deletion) and didHide.
    PlaylistManager(DBController& db, UserDefaults& defaults, CrateScreenHooks hooks);

    // Main thread: remembers the shared order, selects the filter shown last and lists it.
    void viewWillAppear();
    // Main thread: puts the shared order found on entry back.
    void viewDidDisappear();
    // Main thread: the back button: viewDidDisappear, then the hooks' didHide.
    void back();
    bool shown() const { return shown_; }

    // Main thread: a filter button (tags 30 and 20…24); others are ignored.
    void setFilter(int tag);
    // Main thread: lists the shown crate in "Playlist" order, or all tracks.
    void updateLists();
    // Main thread: crate mode: the track of row `from` dropped onto row `to`. Nothing for a row
    // outside the list, the same row, or all-tracks mode.
    void moveRow(int from, int to);
    // Main thread: all-tracks mode, user tracks not in use: file, peak file and row go.
    bool deleteRow(int row);

    // --- state the shell draws (main thread) --------------------------------------------------
    const std::vector<PlaylistRow>& rows() const { return rows_; }
    const std::vector<std::shared_ptr<VXAudioFileInfo>>& localList() const { return localList_; }
    bool useCrates() const { return useCrates_; }
    int crateNo() const { return crateNo_; }
    // The table is in reorder mode exactly while a crate is shown.
    bool editing() const { return useCrates_; }
    // Crate button i (tag 20 + i) / the all-tracks button selected.
    bool crateButtonSelected(int i) const { return crateButtons_.at(size_t(i)); }
    bool filterAllSelected() const { return filterAll_; }
    std::optional<int> oldSortOrder() const { return oldSortOrder_; }
    const std::string& titleLabel() const { return titleLabel_; }

private:
    void selectButtons();
    void buildRows();

    DBController& db_;
    UserDefaults& defaults_;
    CrateScreenHooks hooks_;
    std::vector<std::shared_ptr<VXAudioFileInfo>> localList_;
    std::vector<PlaylistRow> rows_;
    bool useCrates_ = false;
    int crateNo_ = 0;
    std::array<bool, 5> crateButtons_{};
    bool filterAll_ = true;
    std::optional<int> oldSortOrder_;
    std::string titleLabel_;
    bool shown_ = false;
};

} // namespace vx
