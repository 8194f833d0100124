#include "library/DBController.h"
#include "platform/EngineLock.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <map>
#include <set>
#include <system_error>
#include <unistd.h>

#include "library/TrackHash.h"
#include "library/TrackLocation.h"
#include "platform/Log.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

// The shared controller and the folders it is made for.
std::mutex mainMutex;
std::shared_ptr<DBController> mainController; // guarded by mainMutex
std::optional<Paths> mainPaths;               // guarded by mainMutex

// Names of recorded mixes start with this; they are never stored as tracks.
bool isRecordedMix(const fs::path& fileName) {
    return fileName.filename().string().rfind("VXNexa", 0) == 0;
}

double secondsSince1970() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

void bindText(SQLite::Statement& statement, int index, const std::optional<std::string>& text) {
    if (text) {
        statement.bind(index, *text);
    } else {
        statement.bind(index); // NULL
    }
}

// The current row of a statement as the track info reads it: columns found by name (looked up
// once per statement), NULL columns absent.
class StatementSource : public VXAudioFileInfo::RowSource {
public:
    explicit StatementSource(SQLite::Statement& statement) : statement_(statement) {
        const int columns = statement.getColumnCount();
        for (int i = 0; i < columns; ++i) {
            names_.emplace_back(statement.getColumnName(i));
        }
    }

    std::optional<double> number(std::string_view column) const override {
        const auto value = find(column);
        if (!value) {
            return std::nullopt;
        }
        return value->getDouble();
    }
    std::optional<int64_t> integer(std::string_view column) const override {
        const auto value = find(column);
        if (!value) {
            return std::nullopt;
        }
        if (value->getType() == SQLITE_FLOAT) {
            return static_cast<int64_t>(value->getDouble());
        }
        return value->getInt64();
    }
    std::optional<std::string> text(std::string_view column) const override {
        const auto value = find(column);
        if (!value) {
            return std::nullopt;
        }
        return value->getString();
    }

private:
    std::optional<SQLite::Column> find(std::string_view column) const {
        for (size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == column) {
                SQLite::Column value = statement_.getColumn(static_cast<int>(i));
                if (value.isNull()) {
                    return std::nullopt;
                }
                return value;
            }
        }
        return std::nullopt;
    }

    SQLite::Statement& statement_;
    std::vector<std::string> names_;
};

// Copies `from` to `to` through a temporary name in the same folder, so that an interrupted
// copy never leaves a half database behind under the real name.
bool copyTemplate(const fs::path& from, const fs::path& to, std::string* error) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    const fs::path partial = to.string() + ".partial-" + std::to_string(::getpid());
    fs::copy_file(from, partial, fs::copy_options::overwrite_existing, ec);
    if (!ec) {
        fs::permissions(partial, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, ec);
    }
    if (!ec) {
        fs::rename(partial, to, ec);
    }
    if (ec) {
        fs::remove(partial);
        *error = "cannot copy the database template " + from.string() + " to " + to.string() +
                 ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace

// Holds the connection for one operation and shows it in isDBBusy.
class DBController::Guard {
public:
    explicit Guard(const DBController& owner)
        : lock_((engineLockTripwire("a database statement"), owner.mutex_)), busy_(owner.busy_) {
        busy_.fetch_add(1, std::memory_order_relaxed);
    }
    ~Guard() { busy_.fetch_sub(1, std::memory_order_relaxed); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    std::unique_lock<std::mutex> lock_;
    std::atomic<int>& busy_;
};

// ---- creation -------------------------------------------------------------------------------

void DBController::setPaths(const Paths& paths) {
    std::lock_guard lock(mainMutex);
    mainPaths = paths;
}

std::shared_ptr<DBController> DBController::getMain() {
    std::lock_guard lock(mainMutex);
    if (!mainController) {
        if (!mainPaths) {
            mainPaths = Paths::resolve(std::nullopt);
        }
        mainController = init(*mainPaths);
    }
    return mainController;
}

void DBController::closeMain() {
    std::lock_guard lock(mainMutex);
    mainController.reset();
}

namespace {

bool isLockError(const std::exception& e) {
    const auto* sqlite = dynamic_cast<const SQLite::Exception*>(&e);
    return sqlite &&
           (sqlite->getErrorCode() == SQLITE_BUSY || sqlite->getErrorCode() == SQLITE_LOCKED);
}

// Opens the database file and checks that it is one this program can use: SQLite's own quick
// integrity check, the schema version, the three tables. Returns the connection, or null with
// *damage saying what is wrong with the file (*why instead for a failure that is not the file's
// fault, such as a folder that cannot be read).
std::unique_ptr<SQLite::Database> openChecked(const fs::path& file, int schemaVersion,
                                              std::string* damage, std::string* why) {
    std::error_code ec;
    const auto status = fs::status(file, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        *damage = "it is not a file";
        return nullptr;
    }
    std::unique_ptr<SQLite::Database> db;
    try {
        // Read-write without create: a missing file is an error, never a new empty one.
        db = std::make_unique<SQLite::Database>(file.string(), SQLite::OPEN_READWRITE);
        db->setBusyTimeout(DBController::kBusyTimeoutMs);
    } catch (const std::exception& e) {
        *why = file.string() + ": " + e.what();
        return nullptr;
    }
    try {
        const std::string check = db->execAndGet("PRAGMA quick_check").getString();
        if (check != "ok") {
            *damage = "its integrity check failed (" + check + ")";
            return nullptr;
        }
        const int version = db->execAndGet("PRAGMA user_version").getInt();
        if (version != schemaVersion) {
            *damage = "it has schema version " + std::to_string(version) +
                      ", this program reads version " + std::to_string(schemaVersion);
            return nullptr;
        }
        const int tables = db->execAndGet("select count(*) from sqlite_master where type='table' "
                                          "and name in ('parameters','crates','cue_points')")
                               .getInt();
        if (tables != 3) {
            *damage = "its tables are missing";
            return nullptr;
        }
    } catch (const std::exception& e) {
        if (isLockError(e)) {
            // Another program holds it locked: not damage. It is used as it is.
            logLine("Database: %s is locked by another program; not checked at open",
                    file.string().c_str());
            return db;
        }
        *damage = e.what();
        return nullptr;
    }
    return db;
}

// Moves the database file (and its journal files) aside under a dated name; the moved file's
// path, or empty with *why on failure.
fs::path moveAside(const fs::path& file, std::string* why) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::error_code ec;
    for (int n = 0; n < 1000; ++n) {
        fs::path aside = file;
        aside += std::string(".damaged-") + stamp + (n ? "-" + std::to_string(n) : "");
        if (fs::exists(fs::symlink_status(aside, ec))) {
            continue;
        }
        fs::rename(file, aside, ec);
        if (ec) {
            *why = "cannot move " + file.string() + " aside: " + ec.message();
            return {};
        }
        for (const char* suffix : {"-wal", "-shm", "-journal"}) {
            fs::path from = file;
            from += suffix;
            fs::path to = aside;
            to += suffix;
            if (fs::exists(fs::symlink_status(from, ec))) {
                fs::rename(from, to, ec);
            }
        }
        return aside;
    }
    *why = "cannot find a free name to move " + file.string() + " aside";
    return {};
}

} // namespace

std::shared_ptr<DBController> DBController::init(const Paths& paths, std::string* error) {
    std::string why;
    const fs::path file = paths.documents() / kDatabaseName;
    fs::path movedTo;
    std::string damage;
    std::unique_ptr<SQLite::Database> db;
    for (int attempt = 0; attempt < 2 && why.empty() && !db; ++attempt) {
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(file, ec))) {
            const fs::path source = paths.databaseTemplate();
            if (!fs::is_regular_file(source, ec)) {
                why = "the database template " + source.string() + " is missing";
                break;
            }
            if (!copyTemplate(source, file, &why)) {
                break;
            }
        }
        damage.clear();
        db = openChecked(file, kSchemaVersion, &damage, &why);
        if (!db && !damage.empty()) {
            if (attempt > 0) {
                why = file.string() + ": a new library is damaged too (" + damage + ")";
                break;
            }
            // A damaged library is kept for a person to look at, and a new one is built
            // from the track folders.
            movedTo = moveAside(file, &why);
            if (movedTo.empty()) {
                why += " (" + damage + ")";
                break;
            }
            noticeLine("The track library %s was damaged (%s). It was moved to %s and a new "
                       "one is built from the tracks in %s.",
                       file.string().c_str(), damage.c_str(), movedTo.string().c_str(),
                       paths.documents().string().c_str());
            damage.clear();
        }
    }
    if (db) {
        try {
            db->execAndGet("PRAGMA journal_mode=WAL");
            db->exec("PRAGMA synchronous=NORMAL");
        } catch (const std::exception& e) {
            logLine("Database: %s: %s", file.string().c_str(), e.what());
        }
        const bool readOnly = sqlite3_db_readonly(db->getHandle(), "main") == 1;
        std::shared_ptr<DBController> controller(new DBController(paths, file, std::move(db)));
        if (readOnly) {
            noticeLine("The track library %s is read-only: play counts, tempos and crates will "
                       "not be saved.",
                       file.string().c_str());
        }
        if (!movedTo.empty()) {
            controller->updateDirectory(paths.sound(), kBuiltInLocation);
            controller->updateDirectory(paths.documents(), kUserLocation);
            controller->rebuiltFrom_ = movedTo;
        }
        return controller;
    }
    noticeLine("Could not open db.");
    noticeLine("Database: %s", why.c_str());
    if (error) {
        *error = why;
    }
    return nullptr;
}

DBController::DBController(const Paths& paths, fs::path databasePath,
                           std::unique_ptr<SQLite::Database> db)
    : paths_(paths), databasePath_(std::move(databasePath)), db_(std::move(db)) {}

DBController::~DBController() {
    // Writes a lock held back get a last chance (with the usual busy wait) before closing.
    if (db_) {
        retryPendingWrites();
        if (!pendingWrites_.empty()) {
            noticeLine("The track library %s stayed locked by another program: %zu changes "
                       "(play counts) could not be saved.",
                       databasePath_.c_str(), pendingWrites_.size());
        }
    }
}

// ---- state ----------------------------------------------------------------------------------

bool DBController::isDBBusy() const {
    return busy_.load(std::memory_order_relaxed) > 0;
}

int DBController::resultSortOrder() const {
    return resultSortOrder_.load(std::memory_order_relaxed);
}

void DBController::setResultSortOrder(int order) {
    resultSortOrder_.store(order, std::memory_order_relaxed);
}

std::string DBController::getOrderString() const {
    return orderStringFor(resultSortOrder());
}

std::string DBController::orderStringFor(int order) {
    switch (order) {
    case 0:
        return "parameters.title";
    case 1:
        return "parameters.artist ";
    case 2:
        return "parameters.album ";
    case 3:
        return "parameters.tempo ";
    case 4:
        return "crates.sort_order ";
    case 5:
        return "parameters.date_added DESC";
    case 6:
        return "parameters.playcount DESC ";
    default:
        return "";
    }
}

std::string DBController::orderNameFor(int order) {
    static const char* const names[] = {"Title",    "Artist", "Album",  "Tempo",
                                        "Playlist", "Date",   "Rescent"};
    return (order >= 0 && order < 7) ? names[order] : "";
}

void DBController::setUpdateLastHash(std::function<void()> updateLastHash) {
    Guard guard(*this);
    updateLastHash_ = std::move(updateLastHash);
}

void DBController::refreshFolderSignature() {
    if (signatureDeferred_.load() > 0) {
        signatureDirty_.store(true);
        return;
    }
    std::function<void()> update;
    {
        Guard guard(*this);
        update = updateLastHash_;
    }
    if (update) {
        update();
    }
}

// ---- helpers (connection held) --------------------------------------------------------------

std::optional<int64_t> DBController::lookUpRow(uint32_t hash, int location) {
    SQLite::Statement query(*db_, "select id from parameters where hash=? and location=?");
    query.bind(1, static_cast<int64_t>(hash));
    query.bind(2, location);
    if (query.executeStep()) {
        return query.getColumn(0).getInt64();
    }
    return std::nullopt;
}

std::optional<DBController::TrackList> DBController::listTracks(const std::string& sql,
                                                                int boundValue) {
    TrackList list;
    {
        Guard guard(*this);
        try {
            SQLite::Statement query(*db_, sql);
            query.bind(1, boundValue);
            const StatementSource row(query);
            while (query.executeStep()) {
                list.push_back(VXAudioFileInfo::initWithDictionary(row, paths_));
            }
        } catch (const std::exception& e) {
            logLine("Database: listing failed: %s", e.what());
            return std::nullopt;
        }
    }
    if (list.empty()) {
        return std::nullopt;
    }
    return list;
}

// ---- listings -------------------------------------------------------------------------------

std::optional<DBController::TrackList> DBController::getListForGroup(int location) {
    const int order = resultSortOrder();
    // A whole location has no crate to order by: playlist order lists by title.
    const std::string orderBy = orderStringFor(order == 4 ? 0 : order);
    std::string sql = "select * from parameters where parameters.location=?";
    if (!orderBy.empty()) {
        sql += " order by " + orderBy;
    }
    return listTracks(sql, location);
}

std::optional<DBController::TrackList> DBController::getListForCrate(int crate) {
    const std::string orderBy = getOrderString();
    std::string sql =
        "select parameters.id, parameters.hash, parameters.location, parameters.filename, "
        "parameters.artist, parameters.title, parameters.playcount, parameters.lastplayed, "
        "parameters.tempo, parameters.album, parameters.date_added, parameters.lenght, "
        "parameters.size, crates.sort_order from parameters, crates "
        "where parameters.id=crates.file_id and crates.no=?";
    if (!orderBy.empty()) {
        sql += " order by " + orderBy;
    }
    return listTracks(sql, crate);
}

std::shared_ptr<VXAudioFileInfo> DBController::getFullInfoForFile(const fs::path& path) {
    const uint32_t hash = trackHashForPath(path);
    const int location = isInsideFolder(path, paths_.documents()) ? 0 : 1;
    {
        Guard guard(*this);
        try {
            if (const auto id = lookUpRow(hash, location)) {
                SQLite::Statement query(*db_, "select * from parameters where id=?");
                query.bind(1, *id);
                if (query.executeStep()) {
                    return VXAudioFileInfo::initWithDictionary(StatementSource(query), paths_);
                }
            }
        } catch (const std::exception& e) {
            logLine("Database: reading the row of %s failed: %s", path.c_str(), e.what());
        }
    }
    // No row: read the file itself, without holding the connection.
    return VXAudioFileInfo::initWithFile(path, paths_);
}

// ---- track rows -----------------------------------------------------------------------------

void DBController::addFileToDB(VXAudioFileInfo& info, int location) {
    if (isRecordedMix(info.fileName)) {
        return;
    }
    // These may read the file; do it before taking the connection.
    const double seconds = info.durationSeconds();
    const uint64_t size = info.fileSize();
    const double now = secondsSince1970();
    {
        Guard guard(*this);
        try {
            if (lookUpRow(info.hash, location)) {
                logLine("Dub rec detected!");
                return;
            }
            SQLite::Statement insert(
                *db_, "insert into parameters (hash,location,filename,artist,title,tempo,album,"
                      "date_added,lenght,size) values (?,?,?,?,?,?,?,?,?,?)");
            insert.bind(1, static_cast<int64_t>(info.hash));
            insert.bind(2, location);
            insert.bind(3, info.fileName.filename().string());
            insert.bind(4, info.artist.value_or(""));
            bindText(insert, 5, info.title);
            insert.bind(6, info.tempo);
            insert.bind(7, info.album.value_or(""));
            insert.bind(8, now);
            insert.bind(9, seconds);
            insert.bind(10, static_cast<int64_t>(size));
            insert.exec();
        } catch (const std::exception& e) {
            logLine("Database: adding %s failed: %s", info.fileName.c_str(), e.what());
            return;
        }
    }
    info.updateDate(now);
    refreshFolderSignature();
}

void DBController::updateInfo(const VXAudioFileInfo& info) {
    if (isRecordedMix(info.fileName)) {
        return;
    }
    const double seconds = info.durationSeconds();
    const uint64_t size = info.fileSize();
    {
        Guard guard(*this);
        try {
            const auto id = lookUpRow(info.hash, info.fileGroup);
            if (!id) {
                return;
            }
            SQLite::Statement update(*db_, "update parameters set artist=?,title=?,tempo=?,"
                                           "album=?,date_added=?,lenght=?,size=? where id=?");
            update.bind(1, info.artist.value_or(""));
            bindText(update, 2, info.title);
            update.bind(3, info.tempo);
            update.bind(4, info.album.value_or(""));
            if (info.date_added) {
                update.bind(5, *info.date_added);
            } else {
                update.bind(5);
            }
            update.bind(6, seconds);
            update.bind(7, static_cast<int64_t>(size));
            update.bind(8, *id);
            update.exec();
        } catch (const std::exception& e) {
            logLine("Database: updating %s failed: %s", info.fileName.c_str(), e.what());
            return;
        }
    }
    refreshFolderSignature();
}

void DBController::removeFileFromDB(uint32_t hash, int location) {
    {
        Guard guard(*this);
        try {
            const auto id = lookUpRow(hash, location);
            if (!id) {
                return;
            }
            SQLite::Statement deleteRow(*db_, "delete from parameters where id=?");
            deleteRow.bind(1, *id);
            deleteRow.exec();
            SQLite::Statement deleteMemberships(*db_, "delete from crates where file_id=?");
            deleteMemberships.bind(1, *id);
            deleteMemberships.exec();
        } catch (const std::exception& e) {
            logLine("Database: removing track %u failed: %s", hash, e.what());
            return;
        }
    }
    refreshFolderSignature();
}

bool DBController::updateDirectory(const fs::path& folder, int location) {
    // The folder signature is refreshed once at the end, not after every row: the sum it
    // stores is the same, and the documents folder is walked once instead of once per file.
    signatureDeferred_.fetch_add(1);

    std::map<uint32_t, int64_t> stored; // hash -> row id
    {
        Guard guard(*this);
        try {
            SQLite::Statement query(*db_, "select hash,id from parameters where location=?");
            query.bind(1, location);
            while (query.executeStep()) {
                stored.emplace(static_cast<uint32_t>(query.getColumn(0).getInt64()),
                               query.getColumn(1).getInt64());
            }
        } catch (const std::exception& e) {
            logLine("Database: reading location %d failed: %s", location, e.what());
        }
    }

    // Only files directly inside the folder count, and only track files.
    std::vector<std::shared_ptr<VXAudioFileInfo>> found;
    std::set<uint32_t> foundHashes;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || !isTrackExtension(it->path())) {
            continue;
        }
        auto info = getFullInfoForFile(it->path());
        foundHashes.insert(info->hash);
        found.push_back(std::move(info));
    }

    // Built-in rows are never removed, even when their file has gone; user rows without a
    // file are.
    std::set<uint32_t> present;
    for (const auto& [hash, id] : stored) {
        if (foundHashes.count(hash)) {
            present.insert(hash);
        } else if (location != 1) {
            removeFileFromDB(hash, location);
        }
    }
    for (const auto& info : found) {
        if (!present.count(info->hash)) {
            addFileToDB(*info, location);
        }
    }

    if (signatureDeferred_.fetch_sub(1) == 1 && signatureDirty_.exchange(false)) {
        refreshFolderSignature();
    }
    return true;
}

namespace {

// Adds one to the play count of the track (hash, location); false when it has no row.
bool addPlay(SQLite::Database& db, uint32_t hash, int location) {
    SQLite::Statement query(db, "select id, playcount from parameters where hash=? and location=?");
    query.bind(1, static_cast<int64_t>(hash));
    query.bind(2, location);
    if (!query.executeStep()) {
        return false;
    }
    const int64_t id = query.getColumn(0).getInt64();
    const int64_t count = query.getColumn(1).isNull() ? 0 : query.getColumn(1).getInt64();
    query.reset();
    SQLite::Statement update(db, "update parameters set playcount=? where id=?");
    update.bind(1, count + 1);
    update.bind(2, id);
    update.exec();
    return true;
}

} // namespace

void DBController::incrementPlayCountForInfo(const VXAudioFileInfo& info) {
    Guard guard(*this);
    const uint32_t hash = info.hash;
    const int location = info.fileGroup;
    writeOrDefer("the play of " + info.fileName.string(),
                 [hash, location](SQLite::Database& db) { addPlay(db, hash, location); });
}

void DBController::retryPendingWrites() {
    while (!pendingWrites_.empty()) {
        try {
            pendingWrites_.front()(*db_);
        } catch (const std::exception& e) {
            if (isLockError(e)) {
                return; // still locked: next time
            }
            logLine("Database: a delayed write failed: %s", e.what());
        }
        pendingWrites_.erase(pendingWrites_.begin());
    }
}

void DBController::setBusyTimeout(int milliseconds) {
    Guard guard(*this);
    db_->setBusyTimeout(milliseconds);
}

size_t DBController::flushPendingWrites() {
    Guard guard(*this);
    retryPendingWrites();
    return pendingWrites_.size();
}

void DBController::writeOrDefer(const std::string& what,
                                std::function<void(SQLite::Database&)> write) {
    retryPendingWrites();
    try {
        write(*db_);
    } catch (const std::exception& e) {
        if (isLockError(e)) {
            logLine("Database: %s is locked; %s will be written later", databasePath_.c_str(),
                    what.c_str());
            pendingWrites_.push_back(std::move(write));
            return;
        }
        logLine("Database: %s failed: %s", what.c_str(), e.what());
    }
}

void DBController::updateTempo(float tempo, uint32_t hash, int location) {
    Guard guard(*this);
    writeOrDefer("storing the tempo of track " + std::to_string(hash), [tempo, hash, location](
                                                                           SQLite::Database& db) {
        SQLite::Statement update(db, "update parameters set tempo=? where hash=? and location=?");
        update.bind(1, static_cast<double>(tempo));
        update.bind(2, static_cast<int64_t>(hash));
        update.bind(3, location);
        update.exec();
    });
}

void DBController::updateInfoForNewFileName(const VXAudioFileInfo& info, const fs::path& path) {
    Guard guard(*this);
    const int64_t newHash = trackHashForPath(path);
    const std::string name = path.filename().string();
    const double tempo = info.tempo;
    const std::optional<std::string> title = info.title;
    const int64_t hash = info.hash;
    const int location = info.fileGroup;
    writeOrDefer("storing the analysis of " + path.string(), [=](SQLite::Database& db) {
        SQLite::Statement update(db, "update parameters set hash=?, fileName=?, tempo=?, "
                                     "title=coalesce(?, title) where hash=? and location=?");
        update.bind(1, newHash);
        update.bind(2, name);
        update.bind(3, tempo);
        bindText(update, 4, title);
        update.bind(5, hash);
        update.bind(6, location);
        update.exec();
    });
}

// ---- crates ---------------------------------------------------------------------------------

void DBController::sortOrderForInfo(VXAudioFileInfo& info) {
    info.crateSortOrder.fill(-1);
    Guard guard(*this);
    try {
        const auto id = lookUpRow(info.hash, info.fileGroup);
        if (!id) {
            return;
        }
        SQLite::Statement query(*db_, "select parameters.id, crates.sort_order, crates.no from "
                                      "parameters,crates where parameters.id=? and "
                                      "parameters.id=crates.file_id");
        query.bind(1, *id);
        while (query.executeStep()) {
            const int64_t crate = query.getColumn(2).getInt64();
            if (crate >= 0 && crate < kCrateCount) {
                info.crateSortOrder[static_cast<size_t>(crate)] = query.getColumn(1).getInt();
            }
        }
    } catch (const std::exception& e) {
        logLine("Database: reading crates of %s failed: %s", info.fileName.c_str(), e.what());
    }
}

int DBController::getGrateForInfo(const VXAudioFileInfo& info) {
    Guard guard(*this);
    try {
        const auto id = lookUpRow(info.hash, info.fileGroup);
        if (!id) {
            return -1;
        }
        SQLite::Statement query(*db_, "select distinct no from crates where file_id=? order by no");
        query.bind(1, *id);
        if (query.executeStep()) {
            return query.getColumn(0).getInt();
        }
    } catch (const std::exception& e) {
        logLine("Database: reading the crate of %s failed: %s", info.fileName.c_str(), e.what());
    }
    return -1;
}

void DBController::addToCrate(int crate, const VXAudioFileInfo& info) {
    Guard guard(*this);
    try {
        SQLite::Statement member(*db_, "select parameters.id from parameters,crates where "
                                       "parameters.id=crates.file_id and crates.no=? and "
                                       "parameters.hash=? and parameters.location=?");
        member.bind(1, crate);
        member.bind(2, static_cast<int64_t>(info.hash));
        member.bind(3, info.fileGroup);
        if (member.executeStep()) {
            return; // already in that crate: its place stays
        }
        const auto id = lookUpRow(info.hash, info.fileGroup);
        if (!id) {
            return;
        }
        SQLite::Statement maximum(*db_, "select max(sort_order) from crates where no=?");
        maximum.bind(1, crate);
        int64_t last = 0;
        if (maximum.executeStep() && !maximum.getColumn(0).isNull()) {
            last = maximum.getColumn(0).getInt64();
        }
        SQLite::Statement insert(*db_, "insert into crates (no,file_id,sort_order) values (?,?,?)");
        insert.bind(1, crate);
        insert.bind(2, *id);
        insert.bind(3, last + 10);
        insert.exec();
    } catch (const std::exception& e) {
        logLine("Database: adding %s to crate %d failed: %s", info.fileName.c_str(), crate,
                e.what());
    }
}

void DBController::removeFromCrate(int crate, const VXAudioFileInfo& info) {
    Guard guard(*this);
    try {
        const auto id = lookUpRow(info.hash, info.fileGroup);
        if (!id) {
            return;
        }
        SQLite::Statement remove(*db_, "delete from crates where file_id=? and no=?");
        remove.bind(1, *id);
        remove.bind(2, crate);
        remove.exec();
    } catch (const std::exception& e) {
        logLine("Database: removing %s from crate %d failed: %s", info.fileName.c_str(), crate,
                e.what());
    }
}

void DBController::changeOrder(int oldSortOrder, int newSortOrder, int crate) {
    {
        Guard guard(*this);
        try {
            SQLite::Statement update(*db_,
                                     "update crates set sort_order=? where no=? and sort_order=?");
            update.bind(1, newSortOrder);
            update.bind(2, crate);
            update.bind(3, oldSortOrder);
            update.exec();
        } catch (const std::exception& e) {
            logLine("Database: moving in crate %d failed: %s", crate, e.what());
            return;
        }
    }
    reorderCrate(crate);
}

void DBController::reorderCrate(int crate) {
    Guard guard(*this);
    try {
        std::vector<int64_t> ids;
        {
            SQLite::Statement query(*db_, "select id, sort_order from crates where no=? "
                                          "order by sort_order, id");
            query.bind(1, crate);
            while (query.executeStep()) {
                ids.push_back(query.getColumn(0).getInt64());
            }
        }
        // One transaction: a crate is never left half renumbered.
        SQLite::Transaction transaction(*db_);
        SQLite::Statement update(*db_, "update crates set sort_order=? where id=?");
        int64_t sortOrder = 0;
        for (const int64_t id : ids) {
            sortOrder += 10;
            update.bind(1, sortOrder);
            update.bind(2, id);
            update.exec();
            update.reset();
        }
        transaction.commit();
    } catch (const std::exception& e) {
        logLine("Database: renumbering crate %d failed: %s", crate, e.what());
    }
}

// ---- cue points -----------------------------------------------------------------------------

void DBController::addCuePoint(const VXAudioFileInfo& info, int64_t position) {
    Guard guard(*this);
    try {
        const auto id = lookUpRow(info.hash, info.fileGroup);
        if (!id) {
            return;
        }
        SQLite::Statement insert(
            *db_, "insert into cue_points (track_id,position,enabled) values (?,?,?)");
        insert.bind(1, *id);
        insert.bind(2, position);
        insert.bind(3, 1);
        insert.exec();
    } catch (const std::exception& e) {
        logLine("Database: adding a cue point to %s failed: %s", info.fileName.c_str(), e.what());
    }
}

void DBController::removeCuePoint(const VXAudioFileInfo& info, int64_t position) {
    Guard guard(*this);
    try {
        const auto id = lookUpRow(info.hash, info.fileGroup);
        if (!id) {
            return;
        }
        SQLite::Statement remove(*db_, "delete from cue_points where track_id=? and position=?");
        remove.bind(1, *id);
        remove.bind(2, position);
        remove.exec();
    } catch (const std::exception& e) {
        logLine("Database: removing a cue point of %s failed: %s", info.fileName.c_str(), e.what());
    }
}

std::optional<std::vector<int64_t>> DBController::getCuePoints(const VXAudioFileInfo& info) {
    Guard guard(*this);
    try {
        const auto id = lookUpRow(info.hash, info.fileGroup);
        if (!id) {
            return std::nullopt;
        }
        SQLite::Statement query(*db_, "select position from cue_points where track_id=?");
        query.bind(1, *id);
        std::vector<int64_t> positions;
        while (query.executeStep()) {
            positions.push_back(query.getColumn(0).getInt64());
        }
        return positions;
    } catch (const std::exception& e) {
        logLine("Database: reading cue points of %s failed: %s", info.fileName.c_str(), e.what());
        return std::nullopt;
    }
}

} // namespace vx
