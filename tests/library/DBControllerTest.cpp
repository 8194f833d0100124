#include "library/DBController.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "LibraryFixture.h"
#include "library/TrackHash.h"
#include "platform/Log.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::findByHash;
using test::LibraryHome;
using test::makeInfo;
using test::titlesOf;

class DBControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = DBController::init(home.paths());
        ASSERT_TRUE(db);
    }
    // A second connection on the same file, to look at what was stored.
    int64_t count(const std::string& sql) {
        SQLite::Database raw(db->databasePath().string(), SQLite::OPEN_READONLY);
        return raw.execAndGet(sql).getInt64();
    }

    LibraryHome home;
    std::shared_ptr<DBController> db;
};

// ---- the database file ----------------------------------------------------------------------

class DBControllerFileTest : public ::testing::Test {
protected:
    LibraryHome home;
};

TEST_F(DBControllerFileTest, TemplateIsCopiedOnFirstUseAndNeverRecreated) {
    {
        SQLite::Database raw(home.paths().databaseTemplate().string(), SQLite::OPEN_READONLY);
        EXPECT_EQ(raw.execAndGet("PRAGMA user_version").getInt(), DBController::kSchemaVersion);
    }
    const fs::path file = home.documents(DBController::kDatabaseName);
    ASSERT_FALSE(fs::exists(file));
    auto db = DBController::init(home.paths());
    ASSERT_TRUE(db);
    EXPECT_EQ(db->databasePath(), file);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_FALSE(db->getListForGroup(0)); // the template is empty
    {
        SQLite::Database raw(file.string(), SQLite::OPEN_READONLY);
        EXPECT_EQ(raw.execAndGet("PRAGMA journal_mode").getString(), "wal");
    }
    auto info = makeInfo(home.paths(), "Kept.mp3", "Kept");
    db->addFileToDB(*info, 0);
    db.reset();

    // A template that changed (or vanished) after the first copy is not used again.
    test::writeBytes(home.paths().databaseTemplate(), "not a database");
    db = DBController::init(home.paths());
    ASSERT_TRUE(db);
    EXPECT_EQ(titlesOf(db->getListForGroup(0)), std::vector<std::string>{"Kept"});
    db.reset();
    fs::remove(home.paths().databaseTemplate());
    db = DBController::init(home.paths());
    ASSERT_TRUE(db);
    EXPECT_EQ(titlesOf(db->getListForGroup(0)), std::vector<std::string>{"Kept"});
}

TEST_F(DBControllerFileTest, MissingTemplateFailsClearly) {
    fs::remove(home.paths().databaseTemplate());
    LogCapture log;
    std::string error;
    EXPECT_FALSE(DBController::init(home.paths(), &error));
    EXPECT_NE(error.find("template"), std::string::npos) << error;
    EXPECT_TRUE(log.contains("Could not open db."));
    // Nothing half-made is left behind for the next start to trust.
    EXPECT_FALSE(fs::exists(home.documents(DBController::kDatabaseName)));
}

// A library that cannot be used is moved aside, byte for byte, under a dated name; a new one
// is built from the track folders (a user track keeps its tempo through its peak file) and the
// user is told once. The next start finds the new library sound and says nothing.
TEST_F(DBControllerFileTest, ADamagedLibraryIsMovedAsideAndRebuilt) {
    const fs::path file = home.documents(DBController::kDatabaseName);
    ASSERT_TRUE(test::writeTone(home.documents("Mine.mp3"), 0.5));
    ASSERT_TRUE(test::writeTone(home.sound("Builtin.mp3"), 0.5));
    test::writePeakHeader(home.documents("Mine.peak"), 123.0, 1.0);
    // A sound library with enough rows to span several pages, to damage in the middle.
    const auto soundLibrary = [&] {
        fs::remove_all(file);
        auto db = DBController::init(home.paths());
        for (int i = 0; i < 400; ++i) {
            db->addFileToDB(
                *makeInfo(home.paths(), "t" + std::to_string(i) + ".mp3", std::string(200, 'x')),
                0);
        }
        db.reset();
        SQLite::Database raw(file.string(), SQLite::OPEN_READWRITE);
        raw.exec("PRAGMA wal_checkpoint(TRUNCATE)");
        raw.exec("PRAGMA journal_mode=DELETE");
        return test::slurpBytes(file);
    };
    const struct {
        const char* name;
        std::function<void()> damage;
    } cases[] = {
        {"empty", [&] { test::writeBytes(file, ""); }},
        {"random bytes", [&] { test::writeBytes(file, std::string(8192, 'x')); }},
        {"truncated",
         [&] {
             const std::string bytes = soundLibrary();
             test::writeBytes(file, bytes.substr(0, bytes.size() / 3));
         }},
        {"damaged pages",
         [&] {
             std::string bytes = soundLibrary();
             for (size_t i = 4096; i < 4096 * 3; ++i) {
                 bytes[i] = char(i * 7);
             }
             test::writeBytes(file, bytes);
         }},
        {"schema version 99",
         [&] {
             fs::remove(file);
             SQLite::Database raw(file.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
             raw.exec("PRAGMA user_version = 99");
         }},
        {"a folder",
         [&] {
             fs::remove(file);
             fs::create_directory(file);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& e : fs::directory_iterator(home.paths().documents())) {
            if (e.path().filename().string().rfind("velvox.sqlite", 0) == 0) {
                fs::remove_all(e.path());
            }
        }
        c.damage();
        const bool folder = fs::is_directory(file);
        const std::string before = folder ? "" : test::slurpBytes(file);
        LogCapture log;
        auto db = DBController::init(home.paths());
        ASSERT_TRUE(db);
        ASSERT_FALSE(db->rebuiltFrom().empty());
        EXPECT_EQ(db->rebuiltFrom().filename().string().rfind("velvox.sqlite.damaged-2", 0), 0u)
            << db->rebuiltFrom();
        EXPECT_EQ(folder ? "" : test::slurpBytes(db->rebuiltFrom()), before);
        EXPECT_EQ(fs::is_directory(db->rebuiltFrom()), folder);
        EXPECT_TRUE(log.contains("was damaged"));
        const auto mine = findByHash(db->getListForGroup(0), trackHash("Mine.mp3"));
        ASSERT_TRUE(mine);
        EXPECT_DOUBLE_EQ(mine->tempo, 123.0);
        EXPECT_TRUE(findByHash(db->getListForGroup(1), trackHash("Builtin.mp3")));
        db.reset();
        LogCapture again;
        ASSERT_TRUE(DBController::init(home.paths()));
        EXPECT_FALSE(again.contains("damaged"));
    }
}

// While another program holds the library locked a play (or a tempo) is not lost: it is written
// as soon as the lock is gone.
TEST_F(DBControllerFileTest, APlayCountedWhileLockedIsWrittenLater) {
    auto db = DBController::init(home.paths());
    ASSERT_TRUE(db);
    db->setBusyTimeout(100);
    const auto info = makeInfo(home.paths(), "Locked.mp3", "Locked");
    db->addFileToDB(*info, 0);
    {
        SQLite::Database other(db->databasePath().string(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN EXCLUSIVE");
        db->incrementPlayCountForInfo(*info);
        db->updateTempo(128.0f, info->hash, 0);
        EXPECT_EQ(db->flushPendingWrites(), 2u);
        other.exec("COMMIT");
    }
    EXPECT_EQ(db->flushPendingWrites(), 0u);
    EXPECT_EQ(findByHash(db->getListForGroup(0), info->hash)->playcount, 1);
    EXPECT_DOUBLE_EQ(findByHash(db->getListForGroup(0), info->hash)->tempo, 128.0);
    // Still locked when the controller ends: written by its last try once the lock is gone.
    {
        SQLite::Database other(db->databasePath().string(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN EXCLUSIVE");
        db->incrementPlayCountForInfo(*info);
        other.exec("COMMIT");
    }
    db.reset();
    db = DBController::init(home.paths());
    EXPECT_EQ(findByHash(db->getListForGroup(0), info->hash)->playcount, 2);
}

TEST_F(DBControllerFileTest, SharedControllerIsRetriedUntilItOpens) {
    const fs::path templateFile = home.paths().databaseTemplate();
    const fs::path saved = home.root() / "saved.sqlite";
    fs::rename(templateFile, saved);
    DBController::closeMain();
    DBController::setPaths(home.paths());
    EXPECT_FALSE(DBController::getMain());
    fs::rename(saved, templateFile);
    const auto first = DBController::getMain();
    ASSERT_TRUE(first);
    EXPECT_EQ(DBController::getMain(), first);
    EXPECT_EQ(first->databasePath(), home.documents(DBController::kDatabaseName));

    DBController::closeMain();
    const auto second = DBController::getMain();
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    DBController::closeMain();
}

// ---- text survives every statement ----------------------------------------------------------

struct Awkward {
    std::string name, title, artist, album;
};

const std::vector<Awkward>& awkwardTracks() {
    static const std::vector<Awkward> tracks = {
        {"Rock 'n' Roll.mp3", "Don't Stop 'Til", "O'Brien & \"The Quotes\"", "L'\xc3\xa9t\xc3\xa9"},
        {"Robert'); DROP TABLE parameters;--.mp3", "x'); DROP TABLE crates;--", "'", "''"},
        {"\xc3\x9cn\xc3\xaf"
         "c\xc3\xb8"
         "d\xc3\xa9 \"q\" %s %n \xe2\x99\xab.m4a",
         "\xe6\x97\xa5\xe6\x9c\xac %d", "\\'\\\"", "\xf0\x9f\x8e\xa7"},
    };
    return tracks;
}

TEST_F(DBControllerTest, AwkwardTextSurvivesEveryStatement) {
    for (const auto& t : awkwardTracks()) {
        SCOPED_TRACE(t.name);
        auto info = makeInfo(home.paths(), t.name, t.title, t.artist, t.album, 120);
        db->addFileToDB(*info, 0);

        auto stored = findByHash(db->getListForGroup(0), info->hash);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->fileName, home.documents(t.name));
        EXPECT_EQ(stored->title, t.title);
        EXPECT_EQ(stored->artist, t.artist);
        EXPECT_EQ(stored->album, t.album);

        // The file's own info comes from its row.
        auto full = db->getFullInfoForFile(home.documents(t.name));
        EXPECT_EQ(full->playcount, 0);
        EXPECT_EQ(full->title, t.title);

        info->updateTitle(t.title + " (Live 'n' \"loud\")");
        info->updateArtist(t.artist + "'");
        db->updateInfo(*info);
        stored = findByHash(db->getListForGroup(0), info->hash);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->title, t.title + " (Live 'n' \"loud\")");
        EXPECT_EQ(stored->artist, t.artist + "'");

        db->incrementPlayCountForInfo(*info);
        db->updateTempo(125.5f, info->hash, 0);
        db->addToCrate(2, *info);
        db->addCuePoint(*info, 88200);
        db->sortOrderForInfo(*info);
        EXPECT_EQ(info->crateSortOrder[2], 10);
        EXPECT_EQ(db->getGrateForInfo(*info), 2);
        EXPECT_EQ(db->getCuePoints(*info), std::vector<int64_t>{88200});
        stored = findByHash(db->getListForCrate(2), info->hash);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->playcount, 1);
        EXPECT_DOUBLE_EQ(stored->tempo, 125.5);
        db->removeCuePoint(*info, 88200);
        EXPECT_EQ(db->getCuePoints(*info), std::vector<int64_t>{});
        db->removeFromCrate(2, *info);
        EXPECT_EQ(db->getGrateForInfo(*info), -1);

        // The analysis result: new name and title, both with quotes.
        const fs::path renamed = home.documents("It's \"renamed\" " + t.name);
        info->updateTitle("Analysed 'title'");
        info->setTempo(127.25);
        db->updateInfoForNewFileName(*info, renamed);
        stored = findByHash(db->getListForGroup(0), trackHashForPath(renamed));
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->fileName, renamed);
        EXPECT_EQ(stored->title, "Analysed 'title'");
        EXPECT_DOUBLE_EQ(stored->tempo, 127.25);
        EXPECT_FALSE(findByHash(db->getListForGroup(0), info->hash));

        db->removeFileFromDB(trackHashForPath(renamed), 0);
        EXPECT_FALSE(findByHash(db->getListForGroup(0), trackHashForPath(renamed)));
    }
    // Nothing was dropped along the way.
    EXPECT_EQ(count("select count(*) from sqlite_master where type='table' and name in "
                    "('parameters','crates','cue_points')"),
              3);
}

TEST_F(DBControllerTest, AnalysisUpdateKeepsTheTitleWhenTheInfoHasNone) {
    auto info = makeInfo(home.paths(), "Keep.mp3", "Kept title");
    db->addFileToDB(*info, 0);
    info->title.reset();
    info->setTempo(99);
    db->updateInfoForNewFileName(*info, info->fileName);
    const auto stored = findByHash(db->getListForGroup(0), info->hash);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->title, "Kept title");
    EXPECT_DOUBLE_EQ(stored->tempo, 99);
}

// ---- listing orders -------------------------------------------------------------------------

struct OrderCase {
    int order;
    std::string clause;
    std::vector<std::string> crateTitles;
    std::vector<std::string> groupTitles;
};

TEST_F(DBControllerTest, EachListingOrder) {
    struct Track {
        std::string title, artist, album;
        double tempo, added;
        int plays;
    };
    const std::vector<Track> tracks = {
        {"Alpha", "Delta", "Charlie", 128, 400, 1},
        {"Bravo", "Alpha", "Delta", 90, 100, 3},
        {"Charlie", "Charlie", "Alpha", 140, 300, 0},
        {"Delta", "Bravo", "Bravo", 120, 200, 2},
    };
    std::vector<std::shared_ptr<VXAudioFileInfo>> infos;
    for (const auto& t : tracks) {
        auto info = makeInfo(home.paths(), t.title + ".mp3", t.title, t.artist, t.album, t.tempo);
        db->addFileToDB(*info, 0);
        info->updateDate(t.added);
        db->updateInfo(*info);
        for (int i = 0; i < t.plays; ++i) {
            db->incrementPlayCountForInfo(*info);
        }
        infos.push_back(info);
    }
    // Crate play order: Delta, Bravo, Alpha, Charlie.
    for (const size_t i : {3u, 1u, 0u, 2u}) {
        db->addToCrate(0, *infos[i]);
    }

    const std::vector<OrderCase> cases = {
        {0, "parameters.title", {"Alpha", "Bravo", "Charlie", "Delta"}, {}},
        {1, "parameters.artist ", {"Bravo", "Delta", "Charlie", "Alpha"}, {}},
        {2, "parameters.album ", {"Charlie", "Delta", "Alpha", "Bravo"}, {}},
        {3, "parameters.tempo ", {"Bravo", "Delta", "Alpha", "Charlie"}, {}},
        {4,
         "crates.sort_order ",
         {"Delta", "Bravo", "Alpha", "Charlie"},
         {"Alpha", "Bravo", "Charlie", "Delta"}},
        {5, "parameters.date_added DESC", {"Alpha", "Charlie", "Delta", "Bravo"}, {}},
        {6, "parameters.playcount DESC ", {"Bravo", "Delta", "Alpha", "Charlie"}, {}},
    };
    const std::vector<std::string> names = {"Title",    "Artist", "Album",  "Tempo",
                                            "Playlist", "Date",   "Rescent"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        db->setResultSortOrder(c.order);
        EXPECT_EQ(db->getOrderString(), c.clause);
        EXPECT_EQ(DBController::orderNameFor(c.order), names[static_cast<size_t>(c.order)]);
        EXPECT_EQ(titlesOf(db->getListForCrate(0)), c.crateTitles);
        EXPECT_EQ(titlesOf(db->getListForGroup(0)),
                  c.groupTitles.empty() ? c.crateTitles : c.groupTitles);
    }

    // An unknown order has no clause: the tracks are still listed, in no particular order.
    for (const int order : {7, -1}) {
        db->setResultSortOrder(order);
        EXPECT_EQ(db->getOrderString(), "");
        auto titles = titlesOf(db->getListForGroup(0));
        std::sort(titles.begin(), titles.end());
        EXPECT_EQ(titles, (std::vector<std::string>{"Alpha", "Bravo", "Charlie", "Delta"}));
        EXPECT_EQ(titlesOf(db->getListForCrate(0)).size(), 4u);
    }
}

// ---- rows -----------------------------------------------------------------------------------

TEST_F(DBControllerTest, EmptyResultsAreNoList) {
    EXPECT_FALSE(db->getListForGroup(1));
    auto info = makeInfo(home.paths(), "Solo.mp3", "Solo");
    EXPECT_FALSE(db->getCuePoints(*info)); // no row
    db->addFileToDB(*info, 0);
    EXPECT_EQ(db->getCuePoints(*info), std::vector<int64_t>{}); // a row without cue points
    EXPECT_FALSE(db->getListForCrate(0));
}

TEST_F(DBControllerTest, InsertStoresEveryFieldAndTheDateAdded) {
    auto info = makeInfo(home.paths(), "Full.mp3", "Full", "", "", 126);
    info->setDurationSeconds(201.5);
    info->setFileSize(4'500'000'000ull); // beyond 32 bits
    const double before = static_cast<double>(std::time(nullptr)) - 1;
    db->addFileToDB(*info, 0);
    ASSERT_TRUE(info->date_added);
    EXPECT_GE(*info->date_added, before);

    const auto stored = findByHash(db->getListForGroup(0), info->hash);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->artist, ""); // absent tags are stored as empty text
    EXPECT_EQ(stored->album, "");
    EXPECT_DOUBLE_EQ(stored->tempo, 126);
    EXPECT_DOUBLE_EQ(stored->durationSeconds(), 201.5);
    EXPECT_EQ(stored->fileSize(), 4'500'000'000ull);
    EXPECT_EQ(stored->date_added, info->date_added);
    // Stored as NULL, read as 0 (and counted up from there: AwkwardTextSurvivesEveryStatement).
    EXPECT_EQ(count("select count(*) from parameters where playcount is null"), 1);
    EXPECT_EQ(stored->playcount, 0);
}

TEST_F(DBControllerTest, DuplicatesAndRecordedMixesAreRefused) {
    auto info = makeInfo(home.paths(), "Twice.mp3", "Twice");
    db->addFileToDB(*info, 0);
    {
        LogCapture log;
        auto again = makeInfo(home.paths(), "Twice.mp3", "Other title");
        db->addFileToDB(*again, 0);
        EXPECT_TRUE(log.contains("Dub rec detected!"));
    }
    EXPECT_EQ(titlesOf(db->getListForGroup(0)), std::vector<std::string>{"Twice"});
    // The same name in the other location is another track.
    auto builtIn = makeInfo(home.paths(), "Twice.mp3", "Built in", "", "", 0, 1);
    db->addFileToDB(*builtIn, 1);
    EXPECT_EQ(titlesOf(db->getListForGroup(1)), std::vector<std::string>{"Built in"});

    auto mix = makeInfo(home.paths(), "VXNexa_0001.m4a", "My mix");
    db->addFileToDB(*mix, 0);
    EXPECT_FALSE(findByHash(db->getListForGroup(0), mix->hash));
    // Even a row that exists for such a name is not updated.
    {
        SQLite::Database raw(db->databasePath().string(), SQLite::OPEN_READWRITE);
        SQLite::Statement insert(raw, "insert into parameters (hash,location,filename,title) "
                                      "values (?,0,'VXNexa_0001.m4a','Stored')");
        insert.bind(1, static_cast<int64_t>(mix->hash));
        insert.exec();
    }
    db->updateInfo(*mix);
    EXPECT_EQ(findByHash(db->getListForGroup(0), mix->hash)->title, "Stored");
}

TEST_F(DBControllerTest, RemovingARowDropsItsCratesAndNoNewTrackInheritsItsCuePoints) {
    auto gone = makeInfo(home.paths(), "Gone.mp3", "Gone");
    db->addFileToDB(*gone, 0);
    db->addToCrate(1, *gone);
    db->addToCrate(3, *gone);
    db->addCuePoint(*gone, 1000);
    db->addCuePoint(*gone, 2000);
    db->removeFileFromDB(gone->hash, 0);
    EXPECT_FALSE(db->getListForGroup(0));
    EXPECT_FALSE(db->getListForCrate(1));
    EXPECT_FALSE(db->getListForCrate(3));
    EXPECT_EQ(count("select count(*) from crates"), 0);
    EXPECT_EQ(count("select count(*) from cue_points"), 2); // left under the old id

    auto next = makeInfo(home.paths(), "Next.mp3", "Next");
    db->addFileToDB(*next, 0);
    EXPECT_EQ(db->getCuePoints(*next), std::vector<int64_t>{});
}

// ---- crates ---------------------------------------------------------------------------------

TEST_F(DBControllerTest, CrateMembershipAndOrder) {
    auto a = makeInfo(home.paths(), "A.mp3", "A");
    auto b = makeInfo(home.paths(), "B.mp3", "B");
    auto c = makeInfo(home.paths(), "C.mp3", "C");
    auto stranger = makeInfo(home.paths(), "Stranger.mp3", "Stranger");
    for (const auto& info : {a, b, c}) {
        db->addFileToDB(*info, 0);
    }
    db->addToCrate(4, *stranger); // no row: nothing
    EXPECT_FALSE(db->getListForCrate(4));

    db->addToCrate(4, *a);
    db->sortOrderForInfo(*a);
    EXPECT_EQ(a->crateSortOrder, (std::array<int32_t, 5>{-1, -1, -1, -1, 10}));
    db->addToCrate(4, *b);
    db->addToCrate(4, *c);
    db->addToCrate(4, *a); // already a member: stays first
    db->addToCrate(0, *c);
    db->sortOrderForInfo(*c);
    EXPECT_EQ(c->crateSortOrder, (std::array<int32_t, 5>{10, -1, -1, -1, 30}));

    db->setResultSortOrder(4);
    EXPECT_EQ(titlesOf(db->getListForCrate(4)), (std::vector<std::string>{"A", "B", "C"}));

    // Drag A below B: the new place is B's plus 5, then the crate is renumbered.
    db->changeOrder(10, 25, 4);
    EXPECT_EQ(titlesOf(db->getListForCrate(4)), (std::vector<std::string>{"B", "A", "C"}));
    std::vector<int> orders;
    const auto renumbered = db->getListForCrate(4);
    ASSERT_TRUE(renumbered);
    for (const auto& info : *renumbered) {
        orders.push_back(info->sortOrder);
    }
    EXPECT_EQ(orders, (std::vector<int>{10, 20, 30}));
    // Drag C above B: B's place minus 5.
    db->changeOrder(30, 5, 4);
    EXPECT_EQ(titlesOf(db->getListForCrate(4)), (std::vector<std::string>{"C", "B", "A"}));
    // New members still go to the end, ten apart.
    auto d = makeInfo(home.paths(), "D.mp3", "D");
    db->addFileToDB(*d, 0);
    db->addToCrate(4, *d);
    db->sortOrderForInfo(*d);
    EXPECT_EQ(d->crateSortOrder[4], 40);

    db->removeFromCrate(4, *b);
    EXPECT_EQ(titlesOf(db->getListForCrate(4)), (std::vector<std::string>{"C", "A", "D"}));
    EXPECT_EQ(db->getGrateForInfo(*b), -1);
    EXPECT_EQ(db->getGrateForInfo(*c), 0); // the lowest of its crates
    EXPECT_EQ(titlesOf(db->getListForCrate(0)), std::vector<std::string>{"C"});
}

TEST_F(DBControllerTest, CuePointsPerTrack) {
    auto a = makeInfo(home.paths(), "A.mp3", "A");
    auto b = makeInfo(home.paths(), "B.mp3", "B", "", "", 0, 1);
    db->addFileToDB(*a, 0);
    db->addFileToDB(*b, 1);
    db->addCuePoint(*a, 5000000000); // beyond 32 bits
    db->addCuePoint(*a, 44100);
    db->addCuePoint(*b, 7);
    auto cues = db->getCuePoints(*a);
    ASSERT_TRUE(cues);
    std::sort(cues->begin(), cues->end());
    EXPECT_EQ(*cues, (std::vector<int64_t>{44100, 5000000000}));
    EXPECT_EQ(db->getCuePoints(*b), std::vector<int64_t>{7});
    db->removeCuePoint(*a, 5000000000);
    EXPECT_EQ(db->getCuePoints(*a), std::vector<int64_t>{44100});
    EXPECT_EQ(db->getCuePoints(*b), std::vector<int64_t>{7});
}

// ---- files and folders ----------------------------------------------------------------------

TEST_F(DBControllerTest, FullInfoComesFromTheRowElseFromTheFile) {
    const fs::path file = home.documents("Stored bpm120.wav");
    ASSERT_TRUE(test::writeTone(file, 0.5));
    auto fromFile = db->getFullInfoForFile(file);
    EXPECT_EQ(fromFile->playcount, -1); // read from the file
    EXPECT_DOUBLE_EQ(fromFile->tempo, 120);
    EXPECT_EQ(fromFile->title, "Stored");

    db->addFileToDB(*fromFile, 0);
    fromFile->updateTitle("Edited");
    db->updateInfo(*fromFile);
    auto fromRow = db->getFullInfoForFile(file);
    EXPECT_EQ(fromRow->playcount, 0);
    EXPECT_EQ(fromRow->title, "Edited");
    EXPECT_DOUBLE_EQ(fromRow->durationSeconds(), 0.5);
    EXPECT_EQ(fromRow->fileSize(), fs::file_size(file));

    // A folder that only starts like the documents folder is not the documents folder.
    const fs::path lookalike = home.root() / "Documents2" / "Stored bpm120.wav";
    fs::create_directories(lookalike.parent_path());
    ASSERT_TRUE(test::writeTone(lookalike, 0.5));
    EXPECT_EQ(db->getFullInfoForFile(lookalike)->playcount, -1);

    // A missing file without a row still gives an info, an empty one.
    const auto missing = db->getFullInfoForFile(home.documents("missing.mp3"));
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->fileName.empty());
}

TEST_F(DBControllerTest, ReconcilingTheDocumentsFolder) {
    int refreshes = 0;
    db->setUpdateLastHash([&] { ++refreshes; });
    for (const char* name : {"One.mp3", "Two.mp3", "Three.m4a"}) {
        ASSERT_TRUE(test::writeTone(home.documents(name), 0.2));
    }
    fs::create_directories(home.documents("sub"));
    ASSERT_TRUE(test::writeTone(home.documents("sub/Nested.mp3"), 0.2));
    ASSERT_TRUE(test::writeTone(home.documents("Sample.wav"), 0.2));
    test::writeBytes(home.documents("notes.txt"), "x");

    EXPECT_TRUE(db->updateDirectory(home.paths().documents(), 0));
    auto titles = titlesOf(db->getListForGroup(0));
    EXPECT_EQ(titles, (std::vector<std::string>{"One", "Three", "Two"}));
    EXPECT_EQ(refreshes, 1); // once for the whole reconciliation

    // Unchanged folder: no row changes, no refresh.
    EXPECT_TRUE(db->updateDirectory(home.paths().documents(), 0));
    EXPECT_EQ(refreshes, 1);

    // A removed file loses its row and crate place; a new one is added; others keep theirs.
    auto two = db->getFullInfoForFile(home.documents("Two.mp3"));
    db->addToCrate(0, *two);
    db->incrementPlayCountForInfo(*db->getFullInfoForFile(home.documents("One.mp3")));
    fs::remove(home.documents("Two.mp3"));
    ASSERT_TRUE(test::writeTone(home.documents("Four.mp3"), 0.2));
    EXPECT_TRUE(db->updateDirectory(home.paths().documents(), 0));
    EXPECT_EQ(titlesOf(db->getListForGroup(0)), (std::vector<std::string>{"Four", "One", "Three"}));
    EXPECT_FALSE(db->getListForCrate(0));
    EXPECT_EQ(db->getFullInfoForFile(home.documents("One.mp3"))->playcount, 1);
    EXPECT_EQ(refreshes, 2);

    // Single operations refresh after each change.
    db->removeFileFromDB(trackHash("Four.mp3"), 0);
    EXPECT_EQ(refreshes, 3);
}

TEST_F(DBControllerTest, ReconcilingTheBuiltInFolderNeverRemovesRows) {
    for (const char* name : {"Demo A.mp3", "Demo B.mp3"}) {
        ASSERT_TRUE(test::writeTone(home.sound(name), 0.2));
    }
    EXPECT_TRUE(db->updateDirectory(home.paths().sound(), 1));
    EXPECT_EQ(titlesOf(db->getListForGroup(1)), (std::vector<std::string>{"Demo A", "Demo B"}));
    EXPECT_FALSE(db->getListForGroup(0));
    fs::remove(home.sound("Demo B.mp3"));
    EXPECT_TRUE(db->updateDirectory(home.paths().sound(), 1));
    EXPECT_EQ(titlesOf(db->getListForGroup(1)), (std::vector<std::string>{"Demo A", "Demo B"}));
    const auto demo = findByHash(db->getListForGroup(1), trackHash("Demo A.mp3"));
    EXPECT_EQ(demo->fileName, home.sound("Demo A.mp3"));
}

TEST(DBControllerFolderTest, UserFolderWhosePathMentionsSoundStillLosesStaleRows) {
    test::LibraryTempDir dir;
    const fs::path root = dir.path() / "sound" / "home";
    const Paths paths(root / "Documents", root / "resources", root / "tmp", root / "s.json");
    fs::create_directories(paths.documents());
    fs::create_directories(paths.resources());
    fs::copy_file(fs::path(VX_RESOURCES_DIR) / "velvox.sqlite", paths.databaseTemplate());
    auto db = DBController::init(paths);
    ASSERT_TRUE(db);
    ASSERT_TRUE(test::writeTone(paths.documents() / "Stale.mp3", 0.2));
    db->updateDirectory(paths.documents(), 0);
    EXPECT_EQ(titlesOf(db->getListForGroup(0)), std::vector<std::string>{"Stale"});
    fs::remove(paths.documents() / "Stale.mp3");
    db->updateDirectory(paths.documents(), 0);
    EXPECT_FALSE(db->getListForGroup(0));
}

TEST(DBControllerFolderTest, FreshInstallFillsTheBuiltInTracks) {
    test::LibraryTempDir dir;
    // The build's own resource folder: its template and its generated demo tracks.
    const Paths paths(dir.path() / "Documents", VX_RESOURCES_DIR, dir.path() / "tmp",
                      dir.path() / "settings.json");
    fs::create_directories(paths.documents());
    auto db = DBController::init(paths);
    ASSERT_TRUE(db);
    EXPECT_FALSE(db->getListForGroup(1));
    db->updateDirectory(paths.sound(), 1);
    size_t expected = 0;
    for (const auto& entry : fs::directory_iterator(paths.sound())) {
        expected += isTrackExtension(entry.path()) ? 1 : 0;
    }
    ASSERT_GT(expected, 0u);
    const auto list = db->getListForGroup(1);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), expected);
    for (const auto& info : *list) {
        EXPECT_EQ(info->fileGroup, 1);
        EXPECT_TRUE(fs::exists(info->fileName)) << info->fileName;
        EXPECT_GT(info->durationSeconds(), 10.0);
        EXPECT_TRUE(info->title && !info->title->empty());
    }
}

// ---- several threads ------------------------------------------------------------------------

TEST_F(DBControllerTest, SeveralThreadsShareTheConnection) {
    constexpr int kThreads = 4;
    constexpr int kTracks = 30;
    auto shared = makeInfo(home.paths(), "Shared.mp3", "Shared");
    db->addFileToDB(*shared, 0);
    db->setResultSortOrder(4);

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTracks; ++i) {
                const std::string name =
                    "T" + std::to_string(t) + "'s track " + std::to_string(i) + ".mp3";
                auto info = makeInfo(home.paths(), name, name);
                db->addFileToDB(*info, 0);
                db->addToCrate(0, *info);
                db->addCuePoint(*info, t * 1000 + i);
                db->incrementPlayCountForInfo(*shared);
                (void)db->getListForCrate(0);
                (void)db->getFullInfoForFile(info->fileName);
                (void)db->isDBBusy();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(db->isDBBusy());
    const auto all = db->getListForGroup(0);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), size_t{kThreads * kTracks + 1});
    // Reading the crate's maximum and inserting after it is one step: no two members share a
    // place, and the places are exactly 10, 20, ...
    const auto crate = db->getListForCrate(0);
    ASSERT_TRUE(crate);
    ASSERT_EQ(crate->size(), size_t{kThreads * kTracks});
    for (size_t i = 0; i < crate->size(); ++i) {
        EXPECT_EQ((*crate)[i]->sortOrder, static_cast<int>(10 * (i + 1)));
    }
    // No count was lost between reading and writing it.
    EXPECT_EQ(findByHash(all, shared->hash)->playcount, kThreads * kTracks);
    EXPECT_EQ(count("select count(*) from cue_points"), kThreads * kTracks);
}

} // namespace
} // namespace vx
