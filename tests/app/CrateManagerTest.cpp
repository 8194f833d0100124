// The crate manager inside the application: crate buttons and the picker, the sort cycle and
// the shared order it hands back, the two-step tag edit, previews, emptying and deleting (never
// a file still in use), swipe deletion, and the import and Wi-Fi buttons.

#include "app/CrateManager.h"
#include "app/AppFixture.h"
#include "app/WiFiTransfer.h"
#include "support/FakePreviewPlayer.h"

namespace vx::test {
namespace {

class CrateManagerTest : public ::testing::Test {
protected:
    CrateManagerTest() {
        alerts_.keepQuestions = true;
        tracks_ = {home_.addTrack("Charlie", true), home_.addTrack("Alpha", false),
                   home_.addTrack("Bravo", false)};
        run_ = std::make_unique<AppRun>(home_);
        CrateScreenHooks hooks;
        hooks.startImport = [this](iTunesImporterDelegate& d) { run_->app().startImport(d); };
        hooks.startServer = [this](ServerCaller* c) { run_->app().startServerAction(c); };
        hooks.fileInUse = [this](const std::string& n) { return run_->app().fileInUse(n); };
        hooks.didHide = [this] { ++hidden_; };
        hooks.tablet = true;
        screen_ = std::make_unique<CrateManager>(run_->db(), run_->app().defaults(),
                                                 run_->app().notifications(), run_->loop(),
                                                 &preview_, &alerts_, hooks);
        run_->app().notifications().addObserver(this, "importDone",
                                                [this](const Notification&) { ++importDone_; });
    }
    ~CrateManagerTest() override { run_->app().notifications().removeObserver(this); }

    int rowOf(const fs::path& file) const {
        const auto& list = screen_->fileList();
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i]->fileName == file) {
                return int(i);
            }
        }
        return -1;
    }
    int userRows() const {
        int n = 0;
        for (const auto& row : screen_->rows()) {
            n += row.builtIn ? 0 : 1;
        }
        return n;
    }
    void pick(const fs::path& file, int tag) {
        screen_->showOverlayView(rowOf(file));
        screen_->crateSet(tag);
    }

    AppHome home_;
    std::vector<fs::path> tracks_; // Charlie (with a peak file), Alpha, Bravo
    std::unique_ptr<AppRun> run_;
    FakePreviewPlayer preview_;
    FakeAlerts alerts_; // keeps every question until the test presses one of its buttons
    std::unique_ptr<CrateManager> screen_;
    int hidden_ = 0;
    int importDone_ = 0;
};

TEST(CrateManagerTexts, RowTexts) {
    struct Case {
        double bpm;
        const char* tempo;
    };
    for (const Case& c : std::vector<Case>{
             {0, "???"}, {-3, "???"}, {NAN, "???"}, {128.4, "128 BPM"}, {99.6, "100 BPM"}}) {
        EXPECT_EQ(CrateManager::tempoText(c.bpm), c.tempo) << c.bpm;
    }
    EXPECT_EQ(CrateManager::durationText(125.9), " 2:05");
    EXPECT_EQ(CrateManager::durationText(3599), "59:59");
    EXPECT_EQ(CrateManager::durationText(-1), " 0:00");
    EXPECT_EQ(CrateManager::crateLetter(-1), "X");
    EXPECT_EQ(CrateManager::crateLetter(0), "A");
    EXPECT_EQ(CrateManager::crateLetter(4), "E");
    EXPECT_EQ(CrateManager::crateLetter(5), "X");
}

TEST_F(CrateManagerTest, ThePickerKeepsATrackInOneCrateAndCratesNumberTheirMembers) {
    screen_->viewWillAppear();
    EXPECT_EQ(screen_->currentCrate(), -1);
    EXPECT_TRUE(screen_->crateButtonSelected(0)); // tag 29
    // All tracks: the user's three first, then the built-in ones.
    ASSERT_EQ(userRows(), 3);
    ASSERT_GT(screen_->rows().size(), 3u);
    EXPECT_FALSE(screen_->rows()[2].builtIn);
    EXPECT_TRUE(screen_->rows()[3].builtIn);
    EXPECT_EQ(screen_->rows()[0].assigned, "X");
    EXPECT_EQ(screen_->rows()[0].tempo, "120 BPM");

    pick(tracks_[0], 20); // A
    pick(tracks_[1], 20);
    EXPECT_EQ(screen_->lastEditedIndex(), -1);
    screen_->setCurrentCrate(30);
    ASSERT_EQ(screen_->fileList().size(), 2u);
    EXPECT_TRUE(screen_->crateButtonSelected(1));
    auto first = run_->db().getFullInfoForFile(tracks_[0]);
    auto second = run_->db().getFullInfoForFile(tracks_[1]);
    run_->db().sortOrderForInfo(*first);
    run_->db().sortOrderForInfo(*second);
    EXPECT_EQ(first->crateSortOrder[0], 10);
    EXPECT_EQ(second->crateSortOrder[0], 20);

    // Into B: out of A.
    screen_->setCrate(-1);
    pick(tracks_[0], 21);
    EXPECT_EQ(screen_->rows()[size_t(rowOf(tracks_[0]))].assigned, "B");
    run_->db().sortOrderForInfo(*first);
    EXPECT_EQ(first->crateSortOrder[0], -1);
    EXPECT_EQ(first->crateSortOrder[1], 10);
    // No crate: out of every crate, and the row shows "X".
    pick(tracks_[0], CrateManager::kNoCrateTag);
    EXPECT_EQ(screen_->rows()[size_t(rowOf(tracks_[0]))].assigned, "X");
    EXPECT_EQ(run_->db().getGrateForInfo(*first), -1);
    // A picker whose row went away does nothing.
    screen_->showOverlayView(99);
    screen_->crateSet(22);
    EXPECT_FALSE(run_->db().getListForCrate(2));
}

TEST_F(CrateManagerTest, TheSortCycleLabelsItsOrdersAndTheSharedOrderComesBack) {
    run_->db().setResultSortOrder(3); // the browser lists by tempo
    screen_->viewWillAppear();
    EXPECT_EQ(run_->db().resultSortOrder(), 0);
    EXPECT_EQ(screen_->sortOrderLabel(), "Title");
    EXPECT_EQ(screen_->rows()[0].title.rfind("Alpha", 0), 0u) << screen_->rows()[0].title;
    const std::vector<std::string> labels = {"Artist", "Album",   "Tempo", "Playlist",
                                             "Date",   "Rescent", "Title"};
    for (size_t i = 0; i < labels.size(); ++i) {
        screen_->sortBy();
        EXPECT_EQ(screen_->sortOrderLabel(), labels[i]);
        EXPECT_EQ(run_->db().resultSortOrder(), int((i + 1) % 7));
    }
    screen_->setSortKind(7); // no such order
    EXPECT_EQ(screen_->sortKind(), 0);
    screen_->sortBy();
    screen_->back();
    EXPECT_EQ(run_->db().resultSortOrder(), 3);
    EXPECT_EQ(hidden_, 1);
    run_->loop().runPosted();
    EXPECT_EQ(importDone_, 1); // tablet: the menu recounts
    // Shown again, it lists in its own order (Artist) and hands the browser's back again.
    screen_->viewWillAppear();
    EXPECT_EQ(run_->db().resultSortOrder(), 1);
    screen_->back();
    EXPECT_EQ(run_->db().resultSortOrder(), 3);
}

TEST_F(CrateManagerTest, SelectingTheSameUserRowTwiceEditsATagInTwoQuestions) {
    screen_->viewWillAppear();
    int writes = 0;
    run_->db().setUpdateLastHash([&] { ++writes; });
    const int alpha = rowOf(tracks_[1]);
    screen_->selectRow(alpha);
    EXPECT_TRUE(alerts_.waiting.empty());
    EXPECT_TRUE(screen_->rows()[size_t(alpha)].selected);
    screen_->selectRow(alpha);
    ASSERT_EQ(alerts_.waiting.size(), 1u);
    EXPECT_EQ(alerts_.waiting[0].message, CrateManager::kEditQuestion);
    EXPECT_EQ(alerts_.waiting[0].tag, 50);
    EXPECT_EQ(alerts_.waiting[0].buttons,
              (std::vector<std::string>{"Cancel", "Title", "Artist", "Album"}));
    alerts_.press(2); // Artist
    ASSERT_EQ(alerts_.waiting.size(), 1u);
    EXPECT_EQ(alerts_.waiting[0].title, "New Artist for the song");
    EXPECT_EQ(alerts_.waiting[0].tag, 300);
    EXPECT_TRUE(alerts_.waiting[0].textField);
    EXPECT_EQ(screen_->editDataField(), 1);
    const std::string before = alerts_.waiting[0].text;
    EXPECT_EQ(before, screen_->fieldValue());
    alerts_.press(1); // Rename with the unchanged text
    EXPECT_EQ(writes, 0);

    screen_->selectRow(alpha); // still the selected row: asks again
    alerts_.press(1);          // Title
    alerts_.press(1, "Ωmega Ünïcode 'quoted'");
    EXPECT_EQ(writes, 1);
    const auto stored = run_->db().getFullInfoForFile(tracks_[1]);
    EXPECT_EQ(stored->title.value_or(""), "Ωmega Ünïcode 'quoted'");
    EXPECT_EQ(screen_->rows()[size_t(rowOf(tracks_[1]))].title, "Ωmega Ünïcode 'quoted'");

    // Built-in tracks are not offered for editing.
    const int builtIn = int(screen_->rows().size()) - 1;
    screen_->selectRow(builtIn);
    screen_->selectRow(builtIn);
    EXPECT_TRUE(alerts_.waiting.empty());
}

TEST_F(CrateManagerTest, OnlyOneRowPreviewsAndLeavingStopsIt) {
    int started = 0;
    run_->app().notifications().addObserver(&started, "startPlaying",
                                            [&](const Notification&) { ++started; });
    screen_->viewWillAppear();
    screen_->playRow(0);
    EXPECT_EQ(screen_->playingRow(), 0);
    screen_->playRow(1);
    EXPECT_EQ(screen_->playingRow(), 1);
    EXPECT_FALSE(screen_->rows()[0].playing);
    EXPECT_TRUE(screen_->rows()[1].playing);
    EXPECT_EQ(started, 2);
    screen_->playRow(1); // pressed while it plays: stops
    EXPECT_EQ(screen_->playingRow(), -1);
    EXPECT_FALSE(preview_.playing());
    screen_->playRow(2);
    preview_.advance(2.0); // to its end: the button clears
    EXPECT_EQ(screen_->playingRow(), -1);
    screen_->playRow(0);
    screen_->back();
    EXPECT_FALSE(preview_.playing());
    EXPECT_EQ(preview_.played.size(), 4u);
    run_->app().notifications().removeObserver(&started);
}

TEST_F(CrateManagerTest, EmptyingKeepsFilesAndDeletingACrateRemovesItsUserFiles) {
    screen_->viewWillAppear();
    pick(tracks_[0], 22);
    pick(tracks_[1], 22);
    screen_->setCrate(2);
    screen_->emptyCrate();
    EXPECT_EQ(screen_->currentCrate(), -1);
    EXPECT_FALSE(run_->db().getListForCrate(2));
    EXPECT_TRUE(fs::exists(tracks_[0]) && fs::exists(tracks_[1]));

    pick(tracks_[0], 22);
    pick(tracks_[1], 22);
    screen_->setCrate(2);
    screen_->deleteCrate();
    ASSERT_EQ(alerts_.waiting.size(), 1u);
    EXPECT_EQ(alerts_.waiting[0].message, CrateManager::kDeleteCrateQuestion);
    EXPECT_EQ(alerts_.waiting[0].tag, 100);
    alerts_.press(0); // Cancel
    EXPECT_TRUE(fs::exists(tracks_[0]));
    screen_->deleteCrate();
    alerts_.press(1); // Delete
    EXPECT_FALSE(fs::exists(tracks_[0]));
    EXPECT_FALSE(fs::exists(peakFilePath(tracks_[0])));
    EXPECT_FALSE(fs::exists(tracks_[1]));
    EXPECT_TRUE(fs::exists(tracks_[2]));
    EXPECT_FALSE(home_.hasFileRow(0, tracks_[0]));
    EXPECT_TRUE(home_.hasFileRow(0, tracks_[2]));
    EXPECT_EQ(screen_->currentCrate(), -1);
    EXPECT_EQ(userRows(), 1);
}

TEST_F(CrateManagerTest, DeletingAllTracksKeepsTheTrackOnADeckAndTheBuiltInOnes) {
    run_->loadFromCrate(0, tracks_[1], -1);
    screen_->viewWillAppear();
    screen_->playRow(rowOf(tracks_[2])); // previewed: stopped, then deleted
    const size_t builtIns = screen_->rows().size() - 3;
    screen_->deleteCrate();
    ASSERT_EQ(alerts_.waiting.size(), 1u);
    EXPECT_EQ(alerts_.waiting[0].message, CrateManager::kDeleteAllQuestion);
    alerts_.press(1);
    EXPECT_FALSE(fs::exists(tracks_[0]));
    EXPECT_FALSE(fs::exists(tracks_[2]));
    EXPECT_FALSE(preview_.playing());
    // The deck's track stays with its row; the user hears why.
    EXPECT_TRUE(fs::exists(tracks_[1]));
    EXPECT_TRUE(home_.hasFileRow(0, tracks_[1]));
    EXPECT_EQ(run_->loadedFile(0), tracks_[1]);
    ASSERT_EQ(alerts_.shown.size(), 2u); // the question, then the alert
    EXPECT_NE(alerts_.shown[1].message.find("1 track is in use"), std::string::npos);
    EXPECT_EQ(screen_->rows().size(), builtIns + 1);
    for (const auto& demo : home_.demoTracks()) {
        EXPECT_TRUE(fs::exists(demo));
    }
}

TEST_F(CrateManagerTest, SwipeDeletionRemovesAUserTrackUnlessItIsInUse) {
    run_->loadFromCrate(0, tracks_[1], -1);
    screen_->viewWillAppear();
    EXPECT_FALSE(screen_->deleteRow(int(screen_->rows().size()) - 1)); // built-in
    EXPECT_FALSE(screen_->deleteRow(rowOf(tracks_[1])));               // on deck 0
    EXPECT_TRUE(fs::exists(tracks_[1]));
    ASSERT_EQ(alerts_.shown.size(), 1u);
    EXPECT_NE(alerts_.shown[0].message.find("loaded on a deck"), std::string::npos);

    ASSERT_TRUE(screen_->deleteRow(rowOf(tracks_[0])));
    EXPECT_FALSE(fs::exists(tracks_[0]));
    EXPECT_FALSE(fs::exists(peakFilePath(tracks_[0])));
    EXPECT_FALSE(home_.hasFileRow(0, tracks_[0]));
    EXPECT_EQ(rowOf(tracks_[0]), -1);
    run_->loop().runPosted();
    EXPECT_EQ(importDone_, 1);
}

TEST_F(CrateManagerTest, ImportAndTransferReloadTheListAndTellTheMenu) {
    screen_->viewWillAppear();
    screen_->importFromiTunes();
    ASSERT_NE(run_->app().importer(), nullptr);
    EXPECT_TRUE(run_->app().importer()->pickerShown());
    // What the import hands over for one written file.
    ImportParams params;
    params.File = home_.documents("Delta@n42.mp3");
    ASSERT_TRUE(writeTone(params.File, 1.0));
    params.title = "Delta";
    params.artist = "Someone";
    params.tempo = 97;
    screen_->fileImported(params);
    ASSERT_GE(rowOf(params.File), 0);
    EXPECT_EQ(screen_->rows()[size_t(rowOf(params.File))].artist, "Someone");
    EXPECT_EQ(screen_->rows()[size_t(rowOf(params.File))].tempo, " 97 BPM");
    screen_->importDone();
    run_->loop().runPosted();
    EXPECT_EQ(importDone_, 1);
    run_->app().importer()->mediaPickerDidCancel();

    // The Wi-Fi button starts the transfer with this screen as its caller; the settings' access
    // code is carried by the address; the alert's Stop reloads the list.
    run_->app().defaults().setBool(WiFiTransfer::kAccessCodeKey, true);
    WiFiTransferOptions options;
    options.port = 0;
    options.bindAddress = "127.0.0.1";
    run_->app().wifiTransfer().setOptions(options);
    screen_->server();
    ASSERT_TRUE(run_->app().wifiTransfer().isListening());
    EXPECT_NE(run_->app().wifiTransfer().urlString().find("/?code="), std::string::npos);
    fs::remove(params.File); // gone behind the screen's back (a browser deleted it)
    run_->db().removeFileFromDB(trackHashForPath(params.File), 0);
    run_->alerts().press(0);
    EXPECT_FALSE(run_->app().wifiTransfer().isListening());
    EXPECT_EQ(rowOf(params.File), -1);
    run_->loop().runPosted();
    EXPECT_EQ(importDone_, 2);
}

} // namespace
} // namespace vx::test
