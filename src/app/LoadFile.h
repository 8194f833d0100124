#pragma once
// LoadFile: the track browser, from which the user picks the track for one deck.
//
// It lists either all tracks (the user's tracks followed by the built-in ones) or the tracks
// of one crate, in one of the database's listing orders, describes each row as plain text for
// the shell to draw (title, artist, album, tempo and play count, date added; a small waveform
// overview for the selected row), deletes user tracks, picks a random track, and hands the
// chosen file to the engine's loader for its deck. The last row of the table always starts
// the music-library import. Nothing here draws: the shell reads the plain state (which filter
// and sort buttons are selected, the sort label, whether the load button and the deck headers
// are enabled, whether touches reach the browser) and forwards presses.
//
// The browser remembers on the deck which crate its track came from ("kStreamCrate<deck>" in
// the store as well), so that the application continues with the next track of that crate
// when the track ends; a track loaded from all tracks (-1) is not continued.
//
// Threads: main thread only. It borrows the engine, the database, the store and the run loop
// (all must outlive it) and owns only its timer for the delayed load, which it cancels when
// destroyed. Closing is reported through the `didHide` callback given at construction (the
// application's loadFileDidHide).
//
// Why the random source is a function: the pick must be reproducible in tests, while the
// application draws from a generator started from the wall clock each time the browser opens.

#include "platform/RunLoop.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vx {

class AudioOut;
class DBController;
class UserDefaults;
class VXAudioFileInfo;

// One row of the browser's table, as the shell draws it.
struct LoadFileRow {
    bool isImport = false;  // the last row, which starts the music-library import
    bool deletable = false; // a user track (swipe to delete); never the import row
    double height = 0;      // points
    std::string reuseIdentifier;
    // Track rows: the cell's labels. The import row: `title` holds its centred text.
    std::string title;
    std::string artist;
    std::string album;
    std::string tempo; // "<tempo %3.0f or ???> / <play count>"
    std::string plays; // always empty
    std::string date;  // date added, short date without time ("" when unknown)
    bool selected = false;
    bool hasPeakFile = false; // the selected cell then shows its overview
};

class LoadFile {
public:
    // Number of filter buttons (tags 19..24) and sort buttons.
    static constexpr int kFilterButtonCount = 6;
    static constexpr int kFirstFilterTag = 19;
    static constexpr int kFilterTagOffset = 20; // filterKind = tag - 20
    static constexpr int kSortButtonCount = 3;
    // Listing orders (the database's resultSortOrder values) set by the sort buttons.
    static constexpr int kSortTitle = 0;
    static constexpr int kSortPlaylist = 4;
    static constexpr int kSortDateAdded = 5;
    static constexpr int kSortPlayCount = 6;
    // Delay before an unanalysed track is loaded, in seconds.
    static constexpr double kUnanalysedLoadDelay = 0.1;
    // Row heights in points, and the rows' reuse identifiers.
    static constexpr double kTrackRowHeight = 58;
    static constexpr double kImportRowHeight = 36;
    static constexpr const char* kTrackRowIdentifier = "fileInd1";
    static constexpr const char* kImportRowIdentifier = "addCell1";
    // The import row: its text, font (points), and background images.
    static constexpr const char* kImportRowText = "Import from music library";
    static constexpr const char* kImportRowFont = "Olney-Medium";
    static constexpr double kImportRowFontSize = 18;
    static constexpr const char* kImportRowImage = "loadtrack_cell.png";
    static constexpr const char* kImportRowSelectedImage = "loadtrack_cell!.png";
    // The overview's line colour (red, green, blue in 0..1) and width in points.
    static constexpr std::array<double, 3> kOverviewColour{45.0 / 255.0, 35.0 / 255.0,
                                                           68.0 / 255.0};
    static constexpr double kOverviewLineWidth = 1;
    // The peak height drawn as half the cell's height.
    static constexpr double kOverviewFullHeight = 50;

    // Main thread: a uniform random number in [0, 1).
    using RandomSource = std::function<double()>;

    // Main thread: `filterKind` -1, `sortKind` 0, deck 0; reads "kRandonSong" and
    // "kHideBundled" from `defaults`. `engine` and `db` may be null (nothing is then listed /
    // loaded). `didHide` is called whenever the browser closes.
    LoadFile(AudioOut* engine, DBController* db, UserDefaults& defaults, RunLoop& loop,
             std::function<void()> didHide);
    ~LoadFile();
    LoadFile(const LoadFile&) = delete;
    LoadFile& operator=(const LoadFile&) = delete;

    // --- opening and lists (main thread) --------------------------------------------------
    // Main thread: the deck (0 or 1) the next load goes to.
    void setSideToLoad(int deck) { sideToLoad_ = deck & 1; }
    int sideToLoad() const { return sideToLoad_; }
    // Main thread: the browser is about to show: restarts the random generator from the clock,
    // shows the target deck in the header, selects the crate the deck's track came from (all
    // tracks when none), clears the selection and reloads.
    void viewWillAppear();
    // Main thread: reads "kRandonSong" and "kHideBundled" again (on show, and when the
    // settings screen changes one).
    void readSettings();
    // Main thread: a filter button (tag 19 all tracks, 20..24 crates 0..4) was pressed. Other
    // tags are ignored.
    void setFilter(int tag);
    // Main thread: lists all tracks (-1) or crate 0..4 and rebuilds the list.
    void setFilterKind(int kind);
    // Main thread: the first sort button: the next of Title, Artist, Album, Tempo, Playlist
    // (after Playlist, or from date / play count order, Title).
    void setSort1();
    // Main thread: the second sort button: date added, newest first.
    void setSort2();
    // Main thread: the third sort button: play count, highest first.
    void setSort3();
    // Main thread: lists in order `kind` (0..6): stores it here and in the database's shared
    // listing order, updates the sort buttons and label, and rebuilds the list.
    void setSortKind(int kind);
    // Main thread: rebuilds the list from the database (crate, or user then built-in tracks).
    void updateLists();
    // Main thread: updateLists and ask the shell to redraw (reloadCount grows).
    void updateData();

    // --- the table (main thread) -----------------------------------------------------------
    // Main thread: the number of rows: one per listed track and the import row.
    size_t rowCount() const { return infoList_.size() + 1; }
    // Main thread: row `index` as the shell draws it; the import row for any index past the
    // tracks.
    LoadFileRow row(size_t index) const;
    // Main thread: the overview of row `index` for a cell `width` points wide and `height`
    // high: for each x, how far (points) its line reaches above and below the cell's middle.
    // Empty for the import row, a track without a peak file, or a width below 1.
    std::vector<double> overview(size_t index, int width, double height) const;
    // Main thread: a row was tapped: the import row asks for the import; a track row becomes
    // the selection and enables the load button.
    void selectRow(size_t index);
    // Main thread: swipe to delete on row `index`: a user track loses its audio file, its peak
    // file and its database row; a built-in track is kept. The list is reloaded either way.
    // True when a user track was deleted.
    bool deleteRow(size_t index);

    // --- loading (main thread) -------------------------------------------------------------
    // Main thread: the load button: nothing selected closes the browser; an analysed track is
    // loaded and the browser closes; an unanalysed track disables touches and is loaded
    // (closing the browser) kUnanalysedLoadDelay seconds later.
    void load();
    // Main thread: the random-pick button (only with "kRandonSong" set): picks a track
    // different from the deck's current one and loads it as load() does. A list of fewer than
    // two tracks is widened to all tracks for the pick. False, with nothing loaded, when
    // random pick is off or no track can be picked (no tracks, or every one is the deck's).
    bool loadAnyTrack();
    // Main thread: closes the browser without loading (a delayed load still pending is
    // dropped and touches come back).
    void cancel();

    // --- plain state for the shell (main thread) -----------------------------------------
    int sortKind() const { return sortKind_; }
    int filterKind() const { return filterKind_; }
    // The listed tracks.
    const std::vector<std::shared_ptr<VXAudioFileInfo>>& infoList() const { return infoList_; }
    // The selected track, or null.
    const std::shared_ptr<VXAudioFileInfo>& lastFileItem() const { return lastFileItem_; }
    // The row of the selected track in the current list, if it is listed.
    std::optional<size_t> selectedRow() const;
    // The extensions the browser accepts ("mp3", "m4a").
    const std::vector<std::string>& legalExt() const { return legalExt_; }
    // Filter button with tag 19 + i selected.
    bool filterButtonSelected(int i) const;
    // Sort button 1..3 (index 0..2) selected.
    bool sortButtonSelected(int i) const;
    const std::string& sortOrderLabel() const { return sortOrderLabel_; }
    bool loadButtonEnabled() const { return loadButtonEnabled_; }
    bool headerLEnabled() const { return headerLEnabled_; }
    bool headerREnabled() const { return headerREnabled_; }
    bool touchesEnabled() const { return touchesEnabled_; }
    bool randomSongEnabled() const { return randomSongEnabled_; }
    bool hideBundled() const { return hideBundled_; }
    // Times the table was reloaded (the shell redraws when it changes).
    int reloadCount() const { return reloadCount_; }
    // Times the import row was chosen; the import itself is not built yet.
    int importRequests() const { return importRequests_; }
    // Times a random pick found no track to load.
    int failedRandomPicks() const { return failedRandomPicks_; }

    // --- hooks (main thread) ---------------------------------------------------------------
    // Main thread: called when the import row is chosen.
    void setImportHandler(std::function<void()> handler) { importHandler_ = std::move(handler); }
    // Main thread: every later draw comes from `source` instead of the clock-started generator.
    void setRandomSource(RandomSource source) { randomSource_ = std::move(source); }

private:
    void loadLast(const std::shared_ptr<VXAudioFileInfo>& info, bool closeAfter);
    void close();
    double nextRandom();
    void setSortButtons();
    std::optional<uint32_t> deckTrackHash() const;

    AudioOut* engine_;
    DBController* db_;
    UserDefaults& defaults_;
    RunLoop& loop_;
    std::function<void()> didHide_;
    std::function<void()> importHandler_;
    RandomSource randomSource_;
    std::mt19937 generator_;
    TimerHandle loadTimer_;

    int sideToLoad_ = 0;
    int sortKind_ = kSortTitle;
    int filterKind_ = -1;
    std::vector<std::shared_ptr<VXAudioFileInfo>> infoList_;
    std::shared_ptr<VXAudioFileInfo> lastFileItem_;
    const std::vector<std::string> legalExt_{"mp3", "m4a"};

    std::array<bool, kFilterButtonCount> filterSelected_{};
    std::array<bool, kSortButtonCount> sortSelected_{};
    std::string sortOrderLabel_ = "Title";
    bool loadButtonEnabled_ = false;
    bool headerLEnabled_ = false;
    bool headerREnabled_ = true;
    bool touchesEnabled_ = true;
    bool randomSongEnabled_ = false;
    bool hideBundled_ = false;
    int reloadCount_ = 0;
    int importRequests_ = 0;
    int failedRandomPicks_ = 0;
};

} // namespace vx
