#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "library/VXAudioFileInfo.h"
#include "platform/Paths.h"

namespace SQLite {
class Database;
}

namespace vx {

// DBController: the persistent knowledge about the track files the system has seen.
//
// One SQLite file, "velvox.sqlite" in the documents folder, holds three tables: `parameters`
// (one row per track file: tags, tempo, play count, date added, length, size, keyed by the
// pair name hash + location), `crates` (membership and order of tracks in the five crates)
// and `cue_points`. The file is copied on first use from the template the build makes from
// resources/schema.sql; this class never creates tables, and refuses a file whose schema
// version (PRAGMA user_version) it does not know. The connection runs in WAL mode and stays
// open for the life of the controller.
//
// Threads: the main thread (every screen, start-up, file transfer), the decks' decode threads
// (which resolve a file to its info while loading) and the HTTP workers all use the one
// connection. A mutex guards it, so statements of different threads never interleave and a
// multi-statement operation (look up the row, then act on it) is not cut in half; isDBBusy
// reports whether someone holds it. Reading audio files (for a track without a row) and the
// folder-signature refresh happen outside the guard, so a long reconciliation does not hold
// a loading deck for the whole walk.
//
// Every value reaches SQLite as a bound parameter, text included, so names and titles with
// apostrophes, quotes or any UTF-8 are stored as they are. The only text spliced into a
// statement is the order-by clause, which comes from a fixed table.
//
// Results follow the system's conventions: a listing with no rows is no list at all
// (std::nullopt), a crate number of a track in no crate is -1, and an operation on a track
// without a row does nothing. No exception leaves this class: a statement that fails is logged
// and has no further effect.
class DBController {
public:
    using TrackList = std::vector<std::shared_ptr<VXAudioFileInfo>>;

    // The schema version this code reads and writes (PRAGMA user_version of the template).
    static constexpr int kSchemaVersion = 1;
    // How long a statement waits for another program's lock before giving up, ms.
    static constexpr int kBusyTimeoutMs = 5000;
    // The database file's name inside the documents folder.
    static constexpr const char* kDatabaseName = "velvox.sqlite";
    // Number of crates (0 to 4).
    static constexpr int kCrateCount = VXAudioFileInfo::kCrateCount;

    // Main thread, at start-up: the folders the shared controller (getMain) uses. Without
    // this call getMain resolves the default folders (Paths::resolve).
    static void setPaths(const Paths& paths);
    // Any thread: the shared controller, created and opened on first call; null (with the
    // log line "Could not open db.") when the file cannot be opened, retried on the next call.
    static std::shared_ptr<DBController> getMain();
    // Main thread: drops the shared controller; the connection closes when the last holder
    // lets go. The next getMain opens it again.
    static void closeMain();

    // Any thread: opens (copying the template first when the file does not exist) the
    // database of `paths`; null and `*error` (if given) when that fails, saying "Could not
    // open db." and why on stderr. A file that is not a usable library (empty, truncated,
    // random bytes, failing SQLite's quick check, another schema version, missing tables, a
    // folder) is moved aside under a dated name ("velvox.sqlite.damaged-YYYYMMDD-HHMMSS"), a
    // new one is made from the template and filled from the built-in and documents folders
    // (tempos come back from the peak files), and stderr says so once. A library that opens
    // read-only is reported on stderr.
    static std::shared_ptr<DBController> init(const Paths& paths, std::string* error = nullptr);
    ~DBController();
    DBController(const DBController&) = delete;
    DBController& operator=(const DBController&) = delete;

    // Any thread: true while some thread holds the connection (a statement is running).
    bool isDBBusy() const;
    // Any thread: the listing order (0 title, 1 artist, 2 album, 3 tempo, 4 playlist,
    // 5 date added, 6 play count).
    int resultSortOrder() const;
    // Any thread: sets the listing order used by the two listings.
    void setResultSortOrder(int order);
    // Any thread: the order-by text of the current listing order.
    std::string getOrderString() const;
    // Any thread: the order-by text of a listing order ("" for an unknown one).
    static std::string orderStringFor(int order);
    // Any thread: the name shown for a listing order ("Title", ... "Rescent"; "" unknown).
    static std::string orderNameFor(int order);

    // Any thread: every track of a location (0 documents, 1 built-in) in the listing order
    // (playlist order lists by title here); nullopt when there is none.
    std::optional<TrackList> getListForGroup(int location);
    // Any thread: the tracks of crate 0..4 in the listing order, each carrying its sortOrder;
    // nullopt when the crate is empty.
    std::optional<TrackList> getListForCrate(int crate);
    // Any non-render thread: the info of the file at `path` (full path): from its row when it
    // has one, else read from the file. Never null; writes nothing. A decode thread may call it.
    std::shared_ptr<VXAudioFileInfo> getFullInfoForFile(const std::filesystem::path& path);
    // Any non-render thread: inserts a row for the track at `location` (reads the file's length
    // when not known) and gives the info its date added. Recorded mixes ("VXNexa..." names) and
    // tracks that already have a row ("Dub rec detected!") are refused.
    void addFileToDB(VXAudioFileInfo& info, int location);
    // Any thread: stores the info's tags, tempo, date added, length and size in its row.
    void updateInfo(const VXAudioFileInfo& info);
    // Any thread: removes the track's row and its crate memberships (cue points stay under the
    // old row id, which is never given to another track).
    void removeFileFromDB(uint32_t hash, int location);
    // Main thread: reconciles the table with the track files directly inside `folder`:
    // location 0 rows without a file are removed, files without a row are added; built-in rows
    // (location 1) are never removed. Returns true.
    bool updateDirectory(const std::filesystem::path& folder, int location);
    // Main thread: adds one to the track's play count (a NULL count counts as 0). When another
    // program holds the database locked the play is kept and written by a later write, by
    // flushPendingWrites or at the controller's end; it is not lost. (So are tempos and
    // analysis results, below.)
    void incrementPlayCountForInfo(const VXAudioFileInfo& info);
    // Any thread: stores a tempo (BPM, single precision as the callers keep it) for a track.
    void updateTempo(float tempo, uint32_t hash, int location);
    // Any thread: stores an analysis result: the name and hash of `path` (full path), the
    // info's tempo and title (kept when the info has none), in the row of the info's key.
    void updateInfoForNewFileName(const VXAudioFileInfo& info, const std::filesystem::path& path);
    // Any thread: fills the info's crateSortOrder (-1 where the track is not a member).
    void sortOrderForInfo(VXAudioFileInfo& info);
    // Any thread: the (lowest-numbered) crate the track is in, or -1 (no crate, or no row).
    int getGrateForInfo(const VXAudioFileInfo& info);
    // Any thread: appends the track to a crate (sort order = the crate's maximum + 10); no-op
    // when it is already a member or has no row.
    void addToCrate(int crate, const VXAudioFileInfo& info);
    // Any thread: removes the track from a crate.
    void removeFromCrate(int crate, const VXAudioFileInfo& info);
    // Any thread: moves the members of `crate` at `oldSortOrder` to `newSortOrder`, then
    // renumbers the crate.
    void changeOrder(int oldSortOrder, int newSortOrder, int crate);
    // Any thread: renumbers a crate 10, 20, 30... keeping its order.
    void reorderCrate(int crate);
    // Main thread: stores a cue point (frames at 44100 Hz, the deck's audible position).
    void addCuePoint(const VXAudioFileInfo& info, int64_t position);
    // Main thread: removes every cue point of the track at `position` (frames).
    void removeCuePoint(const VXAudioFileInfo& info, int64_t position);
    // Any thread: the track's cue points (frames) in stored order, unsorted; nullopt when the
    // track has no row, an empty list when it has no cue points.
    std::optional<std::vector<int64_t>> getCuePoints(const VXAudioFileInfo& info);

    // Main thread, at start-up: what refreshes the folder signature (the shell's
    // updateLastHash). Called after every insertion, tag update and removal, and once at the
    // end of a reconciliation that changed rows; never while the connection is held.
    void setUpdateLastHash(std::function<void()> updateLastHash);
    // Any thread: how long statements wait for another program's lock (kBusyTimeoutMs unless
    // set), ms.
    void setBusyTimeout(int milliseconds);
    // Any thread: retries the writes a lock held back; returns how many still wait.
    size_t flushPendingWrites();
    // Any thread: where a damaged library was moved when this one was built in its place;
    // empty when it was not.
    const std::filesystem::path& rebuiltFrom() const { return rebuiltFrom_; }
    // Any thread: the folders this controller was opened with.
    const Paths& paths() const { return paths_; }
    // Any thread: the database file.
    const std::filesystem::path& databasePath() const { return databasePath_; }

private:
    class Guard;

    DBController(const Paths& paths, std::filesystem::path databasePath,
                 std::unique_ptr<SQLite::Database> db);

    std::optional<int64_t> lookUpRow(uint32_t hash, int location);
    std::optional<TrackList> listTracks(const std::string& sql, int boundValue);
    void refreshFolderSignature();
    // With the guard held: runs the held-back writes until one is locked out again.
    void retryPendingWrites();
    // With the guard held: runs `write` after the held-back ones; when another program holds
    // the database locked it is held back too (and logged as `what`), otherwise a failure is
    // logged and dropped.
    void writeOrDefer(const std::string& what, std::function<void(SQLite::Database&)> write);

    const Paths paths_;
    const std::filesystem::path databasePath_;
    std::unique_ptr<SQLite::Database> db_; // guarded by mutex_
    mutable std::mutex mutex_;             // the connection's guard
    mutable std::atomic<int> busy_{0};     // holders of mutex_ (0 or 1)
    std::atomic<int> resultSortOrder_{0};
    std::function<void()> updateLastHash_;                              // guarded by mutex_
    std::vector<std::function<void(SQLite::Database&)>> pendingWrites_; // guarded by mutex_
    std::filesystem::path rebuiltFrom_;
    std::atomic<int> signatureDeferred_{0}; // reconciliations under way
    std::atomic<bool> signatureDirty_{false};
};

} // namespace vx
