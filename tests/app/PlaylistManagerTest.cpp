// The playlist editor inside the application: filters, reorder mode, moves by dragging (the
// Part's 10/20/30 example and a move up), the shared order it hands back, and deletion.

#include "app/PlaylistManager.h"
#include "app/AppFixture.h"

namespace vx::test {
namespace {

class PlaylistManagerTest : public ::testing::Test {
protected:
    PlaylistManagerTest() {
        // Added to the crate in this order, so playlist order differs from title order.
        tracks_ = {home_.addTrack("Charlie", false), home_.addTrack("Alpha", false),
                   home_.addTrack("Bravo", false)};
        run_ = std::make_unique<AppRun>(home_);
        for (const auto& track : tracks_) {
            run_->addToCrate(1, track);
        }
        CrateScreenHooks hooks;
        hooks.fileInUse = [this](const std::string& n) { return run_->app().fileInUse(n); };
        screen_ = std::make_unique<PlaylistManager>(run_->db(), run_->app().defaults(), hooks);
    }

    // The shown crate's file stems in shown order, with their sort orders.
    std::vector<std::pair<std::string, int>> shown() const {
        std::vector<std::pair<std::string, int>> out;
        for (size_t i = 0; i < screen_->localList().size(); ++i) {
            const std::string stem = screen_->localList()[i]->fileName.stem().string();
            out.emplace_back(stem.substr(0, stem.find(' ')), screen_->rows()[i].sortOrder);
        }
        return out;
    }

    AppHome home_;
    std::vector<fs::path> tracks_;
    std::unique_ptr<AppRun> run_;
    std::unique_ptr<PlaylistManager> screen_;
};

using Shown = std::vector<std::pair<std::string, int>>;

TEST_F(PlaylistManagerTest, DraggingInsideACrateReordersIt) {
    run_->db().setResultSortOrder(0); // title order elsewhere
    screen_->viewWillAppear();
    EXPECT_TRUE(screen_->filterAllSelected());
    EXPECT_FALSE(screen_->editing());
    screen_->setFilter(21);
    EXPECT_TRUE(screen_->editing());
    EXPECT_TRUE(screen_->crateButtonSelected(1));
    // Listed in playlist order from the first switch on, whatever the order was before.
    EXPECT_EQ(shown(), (Shown{{"Charlie", 10}, {"Alpha", 20}, {"Bravo", 30}}));

    screen_->moveRow(0, 1); // the first below the second: 25, then renumbered
    EXPECT_EQ(shown(), (Shown{{"Alpha", 10}, {"Charlie", 20}, {"Bravo", 30}}));
    screen_->moveRow(2, 0); // the last above the first: 5
    EXPECT_EQ(shown(), (Shown{{"Bravo", 10}, {"Alpha", 20}, {"Charlie", 30}}));
    for (const auto& [from, to] : std::vector<std::pair<int, int>>{{1, 1}, {-1, 0}, {0, 3}}) {
        screen_->moveRow(from, to);
    }
    EXPECT_EQ(shown(), (Shown{{"Bravo", 10}, {"Alpha", 20}, {"Charlie", 30}}));
    // Rows cannot be moved in all tracks.
    screen_->setFilter(30);
    EXPECT_FALSE(screen_->editing());
    const auto before = screen_->localList()[0]->fileName;
    screen_->moveRow(0, 1);
    EXPECT_EQ(screen_->localList()[0]->fileName, before);
}

TEST_F(PlaylistManagerTest, LeavingPutsTheSharedOrderBack) {
    for (const int entry : {0, 2, 4}) {
        SCOPED_TRACE(entry);
        run_->db().setResultSortOrder(entry);
        screen_->viewWillAppear();
        screen_->setFilter(22);
        EXPECT_EQ(run_->db().resultSortOrder(), 4);
        screen_->back();
        EXPECT_EQ(run_->db().resultSortOrder(), entry);
        EXPECT_FALSE(screen_->shown());
        // Shown again, it comes back on the crate it showed.
        screen_->viewWillAppear();
        EXPECT_TRUE(screen_->crateButtonSelected(2));
        EXPECT_EQ(run_->db().resultSortOrder(), 4);
        screen_->setFilter(30);
        screen_->back();
        EXPECT_EQ(run_->db().resultSortOrder(), entry);
    }
}

TEST_F(PlaylistManagerTest, AllTracksDeletesUserTracksThatAreNotInUse) {
    run_->loadFromCrate(0, tracks_[0], 1);
    screen_->viewWillAppear();
    ASSERT_GT(screen_->rows().size(), 3u);
    EXPECT_TRUE(screen_->rows()[0].deletable);
    EXPECT_FALSE(screen_->rows().back().deletable);
    EXPECT_FALSE(screen_->deleteRow(int(screen_->rows().size()) - 1)); // built-in
    const auto rowOf = [&](const fs::path& file) {
        for (size_t i = 0; i < screen_->localList().size(); ++i) {
            if (screen_->localList()[i]->fileName == file) {
                return int(i);
            }
        }
        return -1;
    };
    EXPECT_FALSE(screen_->deleteRow(rowOf(tracks_[0]))); // on a deck
    EXPECT_TRUE(fs::exists(tracks_[0]));
    ASSERT_TRUE(screen_->deleteRow(rowOf(tracks_[1])));
    EXPECT_FALSE(fs::exists(tracks_[1]));
    EXPECT_FALSE(home_.hasFileRow(0, tracks_[1]));
    EXPECT_EQ(rowOf(tracks_[1]), -1);
    // Nothing is deleted from a crate's list.
    screen_->setFilter(21);
    EXPECT_FALSE(screen_->rows()[0].deletable);
    EXPECT_FALSE(screen_->deleteRow(0));
}

TEST_F(PlaylistManagerTest, AnArtistBeginningWithNullShowsEmpty) {
    auto info = run_->db().getFullInfoForFile(tracks_[2]);
    info->updateArtist("(null) artist");
    run_->db().updateInfo(*info);
    screen_->viewWillAppear();
    screen_->setFilter(21);
    EXPECT_EQ(screen_->rows()[2].artist, "");
    EXPECT_EQ(screen_->titleLabel(), "Crate B");
}

} // namespace
} // namespace vx::test
