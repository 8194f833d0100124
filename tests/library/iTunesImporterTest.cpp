#include "library/iTunesImporter.h"

#include "LibraryFixture.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/SafeFiles.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::LibraryHome;

class RecordingAlerts final : public Alerts {
public:
    void showAlert(const std::string& title, const std::string& message,
                   const std::string& button) override {
        EXPECT_EQ(title, "Velvox Nexa");
        EXPECT_EQ(button, "OK");
        messages.push_back(message);
    }
    std::vector<std::string> messages;
};

// The delegate a starting screen is: registers each file, and notes what the progress screen
// showed at that moment.
class RecordingDelegate final : public iTunesImporterDelegate {
public:
    RecordingDelegate(DBController& db, const Paths& paths) : db_(db), paths_(paths) {}
    void fileImported(const ImportParams& params) override {
        imported.push_back(params);
        labels.push_back(importer->progressView().allLabel);
        iTunesImporter::registerImportedFile(db_, paths_, params);
        if (onImported) {
            onImported();
        }
    }
    void importDone() override { ++done; }

    iTunesImporter* importer = nullptr;
    std::function<void()> onImported;
    std::vector<ImportParams> imported;
    std::vector<std::string> labels;
    int done = 0;

private:
    DBController& db_;
    const Paths& paths_;
};

class ImporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db_);
        delegate_.importer = &importer_;
        MusicLibrary::setMusicFolder(defaults_, music_);
    }

    // An M4A of `seconds` under the music folder, tagged.
    fs::path song(const std::string& relative, const std::string& title, double seconds = 1,
                  int tempo = 0, const std::string& artist = "", const std::string& album = "") {
        const fs::path path = music_ / relative;
        EXPECT_TRUE(test::writeTaggedTone(path, title, artist, album, seconds, tempo));
        return path;
    }

    // Picks `items` and runs the main loop until the import has ended.
    void importItems(std::vector<MusicLibraryItem> items) {
        const int before = delegate_.done;
        importer_.showMediaPicker();
        importer_.mediaPickerDidPickMediaItems(std::move(items));
        ASSERT_TRUE(loop_.runUntil([&] { return delegate_.done > before; }, 60));
        EXPECT_EQ(delegate_.done, before + 1);
        EXPECT_FALSE(importer_.viewShown());
    }

    // The files of the documents folder other than the database's own.
    std::vector<std::string> documents() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(home_.paths().documents())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("velvox.sqlite", 0) != 0) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    LibraryHome home_;
    fs::path music_ = home_.root() / "Music";
    SystemClock clock_;
    RunLoop loop_{clock_};
    std::shared_ptr<DBController> db_ = DBController::init(home_.paths());
    UserDefaults defaults_{home_.paths().settingsFile()};
    RecordingAlerts alerts_;
    RecordingDelegate delegate_{*db_, home_.paths()};
    iTunesImporter importer_{loop_, home_.paths().documents(), &defaults_, &alerts_, &delegate_};
};

TEST_F(ImporterTest, ThreeSongsInTurnWithLabelsNamesTagsAndRows) {
    song("Rock/A-B.m4a", "A/B", 1, 125, "Band", "Record");
    song("Rock/Deep/Second.m4a", "Second", 1, 0, "Solo");
    song("Third.m4a", "Third");
    const MusicLibrary library(music_);
    const auto items = library.items();
    ASSERT_EQ(items.size(), 3u);
    importItems(items);

    EXPECT_EQ(delegate_.labels, (std::vector<std::string>{"1 of 3", "2 of 3", "3 of 3"}));
    EXPECT_DOUBLE_EQ(importer_.progressView().allProgress, 1.0);
    ASSERT_EQ(delegate_.imported.size(), 3u);
    const ImportParams& ab = delegate_.imported[0];
    EXPECT_EQ(ab.title, "A|B");
    EXPECT_EQ(ab.File.filename().string(), "A B@n" + items[0].pid() + ".m4a");
    EXPECT_FALSE(ab.reimport);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(test::slurpBytes(delegate_.imported[i].File), test::slurpBytes(items[i].file));
    }
    EXPECT_TRUE(alerts_.messages.empty());
    EXPECT_EQ(importer_.lastLoadedFile(), delegate_.imported[2].File);

    const auto list = db_->getListForGroup(0);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3u);
    const auto row = db_->getFullInfoForFile(ab.File);
    EXPECT_GE(row->playcount, 0); // a row, not the file read afresh
    EXPECT_EQ(row->title, "A|B");
    EXPECT_EQ(row->artist, "Band");
    EXPECT_EQ(row->album, "Record");
    EXPECT_DOUBLE_EQ(row->tempo, 125);
}

// The same song again: its file is replaced, its row (date added, play count) stays, its peak
// file goes, the library's tempo applies, and the length, size and tags are those of the new
// file.
TEST_F(ImporterTest, ReimportReplacesTheFileAndRefreshesTheRow) {
    song("Song.m4a", "Song", 1, 0, "Old artist");
    const MusicLibrary library(music_);
    importItems(library.items());
    ASSERT_EQ(delegate_.imported.size(), 1u);
    const fs::path file = delegate_.imported[0].File;
    const auto first = db_->getFullInfoForFile(file);
    db_->incrementPlayCountForInfo(*first);
    test::writeBytes(first->peakFilePath(), "old peaks");

    song("Song.m4a", "Song", 3, 131, "New artist");
    importItems(library.items());
    ASSERT_EQ(delegate_.imported.size(), 2u);
    EXPECT_TRUE(delegate_.imported[1].reimport);
    EXPECT_EQ(delegate_.imported[1].File, file);
    EXPECT_EQ(documents(), std::vector<std::string>{file.filename().string()});
    EXPECT_EQ(test::slurpBytes(file), test::slurpBytes(music_ / "Song.m4a"));
    EXPECT_FALSE(fs::exists(first->peakFilePath()));

    const auto row = db_->getFullInfoForFile(file);
    ASSERT_EQ(db_->getListForGroup(0)->size(), 1u);
    EXPECT_EQ(row->playcount, 1);
    EXPECT_EQ(row->date_added, first->date_added);
    EXPECT_DOUBLE_EQ(row->tempo, 131);
    EXPECT_EQ(row->artist, "New artist");
    EXPECT_NEAR(row->durationSeconds(), 3.0, 0.1);
    EXPECT_EQ(row->fileSize(), fs::file_size(file));
}

// A library without a tempo keeps the one the file's name gives.
TEST_F(ImporterTest, NoLibraryTempoKeepsTheTempoFoundElsewhere) {
    song("Groove.m4a", "Groove bpm 126");
    importItems(MusicLibrary(music_).items());
    ASSERT_EQ(delegate_.imported.size(), 1u);
    EXPECT_DOUBLE_EQ(delegate_.imported[0].tempo, 0);
    EXPECT_DOUBLE_EQ(db_->getFullInfoForFile(delegate_.imported[0].File)->tempo, 126);
}

// A re-import whose copy fails keeps the earlier file and its row; the import still ends
// although its last (and only) item failed.
TEST_F(ImporterTest, FailedReimportKeepsTheOldFileAndTheImportEnds) {
    const fs::path source = song("Keep.m4a", "Keep", 2);
    const MusicLibrary library(music_);
    const auto items = library.items();
    importItems(items);
    const fs::path file = delegate_.imported.at(0).File;
    const std::string before = test::slurpBytes(file);

    fs::remove(source); // gone between the scan and the export
    importItems(items);
    EXPECT_EQ(delegate_.imported.size(), 1u); // nothing more reached the delegate
    ASSERT_EQ(importer_.outcomes().size(), 1u);
    EXPECT_NE(importer_.outcomes()[0].error.find("No such file"), std::string::npos);
    EXPECT_EQ(test::slurpBytes(file), before);
    EXPECT_EQ(documents(), std::vector<std::string>{file.filename().string()});
    EXPECT_GE(db_->getFullInfoForFile(file)->playcount, 0);
    ASSERT_EQ(alerts_.messages.size(), 1u);
    EXPECT_EQ(alerts_.messages[0].rfind("Error importing: Keep: ", 0), 0u);
}

// Items that cannot be imported are reported and the others go on.
TEST_F(ImporterTest, OddFilesFailAloneInAnyScript) {
    song("Кино/Звезда.m4a", "Звезда");
    song("東京/夜.m4a", "夜");
    fs::create_directories(music_);
    test::writeBytes(music_ / "empty.m4a", "");
    test::writeBytes(music_ / "noise.mp3", std::string(3000, 'x'));
    const auto items = MusicLibrary(music_).items();
    ASSERT_EQ(items.size(), 4u);
    importItems(items);
    ASSERT_EQ(importer_.outcomes().size(), 4u);
    int failed = 0;
    for (const ImportOutcome& outcome : importer_.outcomes()) {
        failed += outcome.error.empty() ? 0 : 1;
    }
    EXPECT_EQ(failed, 2);
    EXPECT_EQ(alerts_.messages.size(), 2u);
    EXPECT_EQ(documents(), (std::vector<std::string>{"Звезда@n" + items[2].pid() + ".m4a",
                                                     "夜@n" + items[3].pid() + ".m4a"}));
    EXPECT_EQ(db_->getListForGroup(0)->size(), 2u);
}

TEST(ImporterNamesTest, TitlesBecomeSafeUniqueFileNames) {
    const std::string longTitle(300, 'x');
    std::string accents;
    for (int i = 0; i < 150; ++i) {
        accents += "é";
    }
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"A B", "A B"},
        {"A/B", "A B"},
        {"A|B;C,D!E@F#G$H(I)J<K>L\\M\"N'O`P~Q{R}S[T]U=V+W&X^Y\tZ",
         "A B C D E F G H I J K L M N O P Q R S T U V W X Y Z"},
        {"", "Track"},
        {"..", "Track"},
        {" . ", "Track"},
        {"!!!", "Track"},
        {".hidden", "hidden"},
        {"line\nbreak\x7f", "line break"},
        {"Пульс 夜明け موسيقى", "Пульс 夜明け موسيقى"},
        {longTitle, std::string(200, 'x')},
        {accents, accents.substr(0, 200)}, // 2-byte characters: cut at 200 bytes exactly
        {"x" + accents, "x" + accents.substr(0, 198)}, // never half a character
    };
    for (const auto& [title, expected] : cases) {
        EXPECT_EQ(iTunesImporter::fileNameTitle(title), expected) << title;
        const std::string name = iTunesImporter::destinationName(title, "4294967295", "opus", 99);
        EXPECT_TRUE(isSafeFileName(name)) << name;
        EXPECT_EQ(name, expected + "@n4294967295-99.opus");
    }
    EXPECT_EQ(iTunesImporter::destinationName("Song", "12", "mp3"), "Song@n12.mp3");
}

// Two songs whose ids agree in their low 32 bits and whose titles agree get two files; each
// later import of either replaces its own.
TEST_F(ImporterTest, SongsSharingTheLow32BitsKeepTheirOwnFiles) {
    const MusicLibrary library(music_);
    MusicLibraryItem one = library.itemForFile(song("one/Same.m4a", "Same", 1));
    MusicLibraryItem two = library.itemForFile(song("two/Same.m4a", "Same", 2));
    one.persistentID = 0x100000042ull;
    two.persistentID = 0x200000042ull;
    importItems({one, two});
    EXPECT_EQ(documents(), (std::vector<std::string>{"Same@n66-2.m4a", "Same@n66.m4a"}));
    importItems({two, one});
    ASSERT_EQ(delegate_.imported.size(), 4u);
    EXPECT_EQ(delegate_.imported[2].File.filename(), "Same@n66-2.m4a");
    EXPECT_EQ(delegate_.imported[3].File.filename(), "Same@n66.m4a");
    EXPECT_TRUE(delegate_.imported[2].reimport && delegate_.imported[3].reimport);
    EXPECT_EQ(test::slurpBytes(home_.paths().documents() / "Same@n66-2.m4a"),
              test::slurpBytes(two.file));
    EXPECT_EQ(db_->getListForGroup(0)->size(), 2u);
}

TEST_F(ImporterTest, CancellingLeavesNothingBehind) {
    song("a.m4a", "A");
    song("b.m4a", "B");
    song("c.m4a", "C");
    // Done with nothing ticked cancels the picker: the view goes a second later, nothing is
    // written.
    importer_.showMediaPicker();
    EXPECT_TRUE(importer_.pickerShown());
    ASSERT_NE(importer_.picker(), nullptr);
    EXPECT_EQ(importer_.picker()->folder(), music_);
    importer_.pickerDone();
    EXPECT_FALSE(importer_.pickerShown());
    loop_.runFor(1.1);
    EXPECT_FALSE(importer_.viewShown());
    EXPECT_TRUE(documents().empty());

    // Cancelling the import after the first file: the others are not written, not even in
    // part, and the import ends.
    delegate_.onImported = [&] { importer_.cancelImport(); };
    importItems(MusicLibrary(music_).items());
    EXPECT_EQ(delegate_.imported.size(), 1u);
    EXPECT_EQ(documents(), std::vector<std::string>{delegate_.imported[0].File.filename()});
    ASSERT_EQ(importer_.outcomes().size(), 3u);
    EXPECT_EQ(importer_.outcomes()[2].error, "cancelled");
    EXPECT_TRUE(alerts_.messages.empty());
}

// Destroying the importer in the middle of an import neither hangs nor leaves partial files.
TEST(ImporterLifetimeTest, DestroyedWhileImporting) {
    LibraryHome home;
    const fs::path music = home.root() / "Music";
    fs::create_directories(music);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(test::writeTone(music / ("t" + std::to_string(i) + ".m4a"), 4));
    }
    SystemClock clock;
    RunLoop loop(clock);
    auto db = DBController::init(home.paths());
    RecordingDelegate delegate(*db, home.paths());
    {
        iTunesImporter importer(loop, home.paths().documents(), nullptr, nullptr, &delegate);
        delegate.importer = &importer;
        importer.mediaPickerDidPickMediaItems(MusicLibrary(music).items());
        loop.runFor(0.01);
    }
    EXPECT_EQ(delegate.done, 0);
    for (const auto& entry : fs::directory_iterator(home.paths().documents())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(".part-"), std::string::npos) << name;
        if (name.rfind("velvox.sqlite", 0) != 0) {
            EXPECT_EQ(fs::file_size(entry.path()), fs::file_size(music / "t0.m4a")) << name;
        }
    }
}

} // namespace
} // namespace vx
