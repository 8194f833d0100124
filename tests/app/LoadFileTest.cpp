// The track browser as the application shows it: each test launches the delegate on a private
// home with the offline device and a manual clock, opens the browser through showLoadFile and
// drives it the way the shell forwards presses.

#include "app/LoadFile.h"

#include "AppFixture.h"
#include "engine/analyzeProgress.h"

#include "analysis/analyzeTrack.h"
#include "analysis/peakFileData.h"
#include "app/DuovexAppDelegate.h"
#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "library/TrackHash.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Clock.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace vx::test {
namespace {

// The built-in tracks come with their peak files (analysed), or not at all.
AppHome browserHome(bool builtIns = true) {
    return AppHome(AppHome::Options{.builtIns = builtIns, .builtInPeakFiles = builtIns});
}

std::vector<fs::path> listedFiles(const LoadFile& browser) {
    std::vector<fs::path> files;
    for (const auto& info : browser.infoList()) {
        files.push_back(info->fileName);
    }
    return files;
}

// The row of `file` in the browser's list.
size_t rowOf(const LoadFile& browser, const fs::path& file) {
    const auto files = listedFiles(browser);
    const auto it = std::find(files.begin(), files.end(), file);
    EXPECT_NE(it, files.end()) << file;
    return size_t(it - files.begin());
}

std::vector<int> selectedFilterButtons(const LoadFile& browser) {
    std::vector<int> tags;
    for (int i = 0; i < LoadFile::kFilterButtonCount; ++i) {
        if (browser.filterButtonSelected(i)) {
            tags.push_back(LoadFile::kFirstFilterTag + i);
        }
    }
    return tags;
}

// ---- opening --------------------------------------------------------------------------------

TEST(LoadFileTest, OpeningShowsTheCrateTheDecksTrackCameFrom) {
    struct Case {
        const char* what;
        int deck;
        int crate; // the deck's track came from this crate (-1: all tracks)
        int tag;   // the filter button shown selected
    };
    const Case cases[] = {
        {"deck 0 from crate 2", 0, 2, 22},
        {"deck 1 from crate 2", 1, 2, 22},
        {"deck 1 from crate 0", 1, 0, 20},
        {"deck 0 from all tracks", 0, -1, 19},
    };
    AppHome home = browserHome();
    const fs::path a = home.addTrack("A");
    const fs::path b = home.addTrack("B");
    const fs::path c = home.addTrack("C");
    AppRun run(home);
    run.addToCrate(2, c);
    run.addToCrate(2, a);
    run.addToCrate(0, b);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        run.loadFromCrate(k.deck, k.crate == 0 ? b : c, k.crate);
        LoadFile& browser = run.open(k.deck);
        EXPECT_TRUE(run.app().loadFileShown());
        EXPECT_EQ(browser.sideToLoad(), k.deck);
        EXPECT_EQ(browser.filterKind(), k.crate);
        EXPECT_EQ(selectedFilterButtons(browser), std::vector<int>{k.tag});
        // The header shows the target deck: the other deck's header is the one enabled.
        EXPECT_EQ(browser.headerLEnabled(), k.deck == 1);
        EXPECT_EQ(browser.headerREnabled(), k.deck == 0);
        EXPECT_FALSE(browser.loadButtonEnabled());
        EXPECT_EQ(browser.lastFileItem(), nullptr);
        if (k.crate == 2) {
            // Title order (the shared listing order) until the playlist order is chosen, which
            // follows the crate: C was added first.
            EXPECT_EQ(listedFiles(browser), (std::vector<fs::path>{a, c}));
            browser.setSortKind(LoadFile::kSortPlaylist);
            EXPECT_EQ(listedFiles(browser), (std::vector<fs::path>{c, a}));
            browser.setSortKind(LoadFile::kSortTitle);
        } else if (k.crate == 0) {
            EXPECT_EQ(listedFiles(browser), std::vector<fs::path>{b});
        } else {
            EXPECT_EQ(browser.infoList().size(), 3 + home.demoTracks().size());
        }
        browser.selectRow(0);
        EXPECT_TRUE(browser.loadButtonEnabled());
        browser.cancel();
        EXPECT_FALSE(run.app().loadFileShown());
        EXPECT_TRUE(run.app().mixingScreen()->touchesEnabled());
    }
    // One browser, made on first use.
    LoadFile* first = run.app().loadFile();
    run.open(0);
    EXPECT_EQ(run.app().loadFile(), first);
}

TEST(LoadFileTest, FilterButtonsListAllTracksOrOneCrate) {
    AppHome home = browserHome();
    const fs::path a = home.addTrack("A");
    const fs::path b = home.addTrack("B");
    AppRun run(home);
    run.addToCrate(4, b);
    LoadFile& browser = run.open(0);
    std::vector<fs::path> all{a, b};
    all.insert(all.end(), home.demoTracks().begin(), home.demoTracks().end());

    struct Case {
        int tag;
        int kind;
        std::vector<fs::path> listed;
    };
    const Case cases[] = {
        {24, 4, {b}}, {21, 1, {}}, {19, -1, all},
        {20, 0, {}},  {18, 0, {}}, // outside the buttons: nothing changes
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.tag);
        browser.setFilter(k.tag);
        EXPECT_EQ(browser.filterKind(), k.kind);
        EXPECT_EQ(listedFiles(browser), k.listed);
        EXPECT_EQ(selectedFilterButtons(browser), std::vector<int>{k.kind + 20});
    }
}

TEST(LoadFileTest, HiddenBuiltInTracksAreListedWhenThereAreNoUserTracks) {
    struct Case {
        const char* what;
        bool hide;
        bool userTrack;
        bool builtInsListed;
    };
    const Case cases[] = {
        {"hidden, no user tracks", true, false, true},
        {"hidden, a user track", true, true, false},
        {"shown, a user track", false, true, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        AppHome home = browserHome();
        fs::path mine;
        if (k.userTrack) {
            mine = home.addTrack("Mine");
        }
        AppRun run(home);
        run.app().defaults().setBool("kHideBundled", k.hide);
        LoadFile& browser = run.open(0);
        EXPECT_EQ(browser.hideBundled(), k.hide);
        std::vector<fs::path> expected;
        if (k.userTrack) {
            expected.push_back(mine);
        }
        if (k.builtInsListed) {
            // The built-in tracks are titled by their file names, so title order is name order.
            expected.insert(expected.end(), home.demoTracks().begin(), home.demoTracks().end());
        }
        EXPECT_EQ(listedFiles(browser), expected);
    }
}

// ---- the table ------------------------------------------------------------------------------

TEST(LoadFileTest, TheLastRowAlwaysStartsTheImport) {
    AppHome home = browserHome();
    const fs::path a = home.addTrack("A");
    AppRun run(home);
    run.addToCrate(1, a);
    LoadFile& browser = run.open(0);
    int requests = 0;
    browser.setImportHandler([&] { ++requests; });
    for (int tag = 19; tag <= 24; ++tag) {
        SCOPED_TRACE(tag);
        browser.setFilter(tag);
        const size_t last = browser.rowCount() - 1;
        EXPECT_EQ(last, browser.infoList().size());
        const LoadFileRow row = browser.row(last);
        EXPECT_TRUE(row.isImport);
        EXPECT_FALSE(row.deletable);
        EXPECT_EQ(row.title, "Import from music library");
        EXPECT_EQ(row.height, 36);
        EXPECT_EQ(row.reuseIdentifier, "addCell1");
        if (last > 0) {
            const LoadFileRow track = browser.row(last - 1);
            EXPECT_FALSE(track.isImport);
            EXPECT_EQ(track.height, 58);
            EXPECT_EQ(track.reuseIdentifier, "fileInd1");
        }
        const int before = requests;
        browser.selectRow(last);
        EXPECT_EQ(requests, before + 1);
        EXPECT_EQ(browser.importRequests(), requests);
        EXPECT_EQ(browser.lastFileItem(), nullptr) << "the import row is no track";
        EXPECT_FALSE(browser.deleteRow(last));
        EXPECT_TRUE(fs::exists(a));
    }
}

// The labels of each cell; the play-count order then lists the most played first.
TEST(LoadFileTest, CellLabelsShowTagsTempoPlayCountAndDate) {
    struct Case {
        const char* stem;
        double tempo;
        int plays;
        const char* expectedTempo;
    };
    const Case cases[] = {
        {"A", 128.4, 3, "128 / 3"},
        {"B", 95.6, 12, " 96 / 12"},
        {"C", 0.0, 0, "??? / 0"},
        {"D", -1.0, 1, "??? / 1"},
    };
    AppHome home(AppHome::Options{.builtIns = false});
    for (const Case& k : cases) {
        home.addTrack(k.stem);
    }
    AppRun run(home);
    // 2021-03-04 12:00 UTC: the same calendar day in every time zone from UTC-11 to UTC+11.
    const double added = 1614859200.0;
    for (const Case& k : cases) {
        auto info = run.db().getFullInfoForFile(home.paths().documents() /
                                                (std::string(k.stem) + " bpm120.mp3"));
        info->updateTitle(std::string("Title ") + k.stem);
        info->updateArtist(std::string("Artist ") + k.stem);
        info->updateAlbum(std::string("Album ") + k.stem);
        info->setTempo(k.tempo);
        info->updateDate(added);
        run.db().updateInfo(*info);
        for (int i = 0; i < k.plays; ++i) {
            run.db().incrementPlayCountForInfo(*info);
        }
    }
    LoadFile& browser = run.open(0);
    ASSERT_EQ(browser.rowCount(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& k = cases[i];
        SCOPED_TRACE(k.stem);
        const LoadFileRow row = browser.row(i);
        EXPECT_EQ(row.title, std::string("Title ") + k.stem);
        EXPECT_EQ(row.artist, std::string("Artist ") + k.stem);
        EXPECT_EQ(row.album, std::string("Album ") + k.stem);
        EXPECT_EQ(row.tempo, k.expectedTempo);
        EXPECT_EQ(row.plays, "");
        EXPECT_EQ(row.date, "03/04/21");
        EXPECT_TRUE(row.deletable);
        EXPECT_TRUE(row.hasPeakFile);
    }
    browser.setSort3();
    const auto file = [&](const char* stem) {
        return home.paths().documents() / (std::string(stem) + " bpm120.mp3");
    };
    EXPECT_EQ(listedFiles(browser),
              (std::vector<fs::path>{file("B"), file("A"), file("D"), file("C")}));
}

TEST(LoadFileTest, SelectedCellOverviewAveragesThePeakHeightsOfEachStretch) {
    AppHome home(AppHome::Options{.builtIns = false});
    const fs::path track = home.addTrack("A");
    AppRun run(home);
    LoadFile& browser = run.open(0);
    ASSERT_EQ(browser.infoList().size(), 1u);
    // 2 s at 44100 Hz = 88200 frames: ceil(88200 / 256) = 345 entries, 69 per stretch at
    // a width of 5.
    ASSERT_EQ(browser.infoList()[0]->durationInSamples(), 88200u);

    struct Case {
        const char* what;
        int storedEntries;            // entries written to the peak file
        std::vector<int> uncomputed;  // entries left at 0xFF
        std::vector<double> expected; // points above / below the middle, cell 58 high
    };
    // Stretch x holds heights 10 (x+1) and 10 (x+1) + 2 alternately (entry 0 of each stretch
    // low); its average is 10 (x+1) + 68 / 69 (34 of the 69 are high).
    auto line = [](double average) { return average / 50.0 * 29.0; };
    const double extra = 68.0 / 69.0;
    const Case cases[] = {
        {"full file",
         345,
         {},
         {line(10 + extra), line(20 + extra), line(30 + extra), line(40 + extra),
          line(50 + extra)}},
        {"file shorter than the track", 138, {}, {line(10 + extra), line(20 + extra), 0, 0, 0}},
        // Every high entry of stretch 1 left uncomputed: its average is the low value.
        {"uncomputed entries add nothing",
         345,
         [] {
             std::vector<int> v;
             for (int i = 69 + 1; i < 138; i += 2) {
                 v.push_back(i);
             }
             return v;
         }(),
         {line(10 + extra), line(20), line(30 + extra), line(40 + extra), line(50 + extra)}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        auto peaks = peakFileData::create(k.storedEntries);
        for (int i = 0; i < k.storedEntries; ++i) {
            const int stretch = i / 69;
            const bool high = (i % 69) % 2 == 1;
            peaks->setEntry(i, uint8_t(10 * (stretch + 1) + (high ? 2 : 0)), 0);
        }
        for (int i : k.uncomputed) {
            peaks->setEntry(i, kPeakNotComputed, kPeakNotComputed);
        }
        ASSERT_TRUE(peakFileWrite(*peaks, peakFilePath(track)));
        const std::vector<double> lines = browser.overview(0, 5, 58.0);
        ASSERT_EQ(lines.size(), k.expected.size());
        for (size_t x = 0; x < lines.size(); ++x) {
            EXPECT_NEAR(lines[x], k.expected[x], 1e-9) << "x " << x;
        }
    }
    EXPECT_TRUE(browser.overview(1, 5, 58.0).empty()) << "the import row has no overview";
    fs::remove(peakFilePath(track));
    EXPECT_TRUE(browser.overview(0, 5, 58.0).empty()) << "no peak file, no overview";
}

TEST(LoadFileTest, FirstSortButtonStepsThroughFiveOrders) {
    AppHome home = browserHome();
    AppRun run(home);
    LoadFile& browser = run.open(0);
    struct Step {
        void (LoadFile::*press)();
        int kind;
        const char* label;
        std::vector<bool> buttons;
    };
    const Step steps[] = {
        {&LoadFile::setSort1, 1, "Artist", {false, false, false}},
        {&LoadFile::setSort1, 2, "Album", {false, false, false}},
        {&LoadFile::setSort1, 3, "Tempo", {false, false, false}},
        {&LoadFile::setSort1, 4, "Playlist", {false, false, false}},
        {&LoadFile::setSort1, 0, "Title", {false, false, false}},
        {&LoadFile::setSort2, 5, "Title", {false, true, false}},
        {&LoadFile::setSort3, 6, "Title", {false, false, true}},
        {&LoadFile::setSort1, 0, "Title", {false, false, false}},
    };
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(i++);
        (browser.*s.press)();
        EXPECT_EQ(browser.sortKind(), s.kind);
        EXPECT_EQ(run.db().resultSortOrder(), s.kind) << "the shared listing order follows";
        EXPECT_EQ(browser.sortOrderLabel(), s.label);
        EXPECT_EQ((std::vector<bool>{browser.sortButtonSelected(0), browser.sortButtonSelected(1),
                                     browser.sortButtonSelected(2)}),
                  s.buttons);
    }
}

// ---- deleting -------------------------------------------------------------------------------

// A user track a deck holds, or one under analysis, is kept with its peak file and row, and the
// user is told why; once neither holds it, it can go.
TEST(LoadFileTest, DeletingATrackInUseIsRefusedWithAReason) {
    AppHome home = browserHome();
    const fs::path onDeck = home.addTrack("On Deck");
    const fs::path analysed = home.addTrack("Analysed");
    AppRun run(home);
    run.loadFromCrate(1, onDeck, -1);
    std::atomic<float> progress{0.3f};
    ASSERT_TRUE(run.engine().registerAnalyze(
        std::make_shared<analyzeProgress>(&progress, analysed.filename().string())));
    LoadFile& browser = run.open(0);
    const struct {
        fs::path file;
        const char* why;
    } cases[] = {{onDeck, LoadFile::kDeleteLoadedMessage},
                 {analysed, LoadFile::kDeleteAnalysedMessage}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        const size_t alerts = run.alerts().shown.size();
        EXPECT_FALSE(browser.deleteRow(rowOf(browser, c.file)));
        EXPECT_TRUE(fs::exists(c.file));
        EXPECT_TRUE(fs::exists(peakFilePath(c.file)));
        EXPECT_TRUE(home.hasFileRow(0, c.file));
        ASSERT_EQ(run.alerts().shown.size(), alerts + 1);
        EXPECT_EQ(run.alerts().shown.back().message, c.why);
    }
    run.engine().analyzeNotComplete(analysed); // the analysis ended
    EXPECT_TRUE(browser.deleteRow(rowOf(browser, analysed)));
    EXPECT_FALSE(fs::exists(analysed));
}

TEST(LoadFileTest, DeletingRemovesUserTracksOnly) {
    struct Case {
        const char* what;
        bool builtIn;
        bool fileMissing; // the audio file is already gone
        bool deleted;
    };
    const Case cases[] = {
        {"user track", false, false, true},
        {"user track whose file is gone", false, true, true},
        {"built-in track", true, false, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        AppHome home = browserHome();
        const fs::path mine = home.addTrack("Mine");
        AppRun run(home);
        const fs::path target = k.builtIn ? home.demoTracks().front() : mine;
        const int location = k.builtIn ? 1 : 0;
        if (!fs::exists(peakFilePath(target))) {
            // Built-in tracks get their peak files when first played; only existence counts.
            ASSERT_TRUE(peakFileWrite(*peakFileData::create(1), peakFilePath(target)));
        }
        LoadFile& browser = run.open(0);
        const size_t before = browser.infoList().size();
        const size_t index = rowOf(browser, target);
        EXPECT_EQ(browser.row(index).deletable, !k.builtIn);
        browser.selectRow(index);
        if (k.fileMissing) {
            fs::remove(target);
        }
        const int reloads = browser.reloadCount();

        EXPECT_EQ(browser.deleteRow(index), k.deleted);
        EXPECT_EQ(browser.reloadCount(), reloads + 1);
        EXPECT_EQ(fs::exists(target), !k.deleted && !k.fileMissing);
        EXPECT_EQ(fs::exists(peakFilePath(target)), !k.deleted);
        EXPECT_EQ(home.hasFileRow(location, target), !k.deleted);
        EXPECT_EQ(browser.infoList().size(), before - (k.deleted ? 1 : 0));
        const auto listed = listedFiles(browser);
        EXPECT_EQ(std::find(listed.begin(), listed.end(), target) != listed.end(), !k.deleted);
        // A deleted selection cannot be loaded any more.
        EXPECT_EQ(browser.loadButtonEnabled(), !k.deleted);
        EXPECT_EQ(browser.lastFileItem() != nullptr, !k.deleted);
    }
}

// ---- loading --------------------------------------------------------------------------------

TEST(LoadFileTest, LoadingRemembersTheCrateAndLoadsTheDeck) {
    struct Case {
        const char* what;
        int deck;
        int tag; // filter button pressed before choosing
    };
    const Case cases[] = {
        {"deck 0 from crate 2", 0, 22},
        {"deck 1 from crate 2", 1, 22},
        {"deck 1 from all tracks", 1, 19},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        AppHome home = browserHome();
        const fs::path chosen = home.addTrack("Chosen");
        AppRun run(home);
        run.addToCrate(2, chosen);
        // The deck plays something else from crate 4.
        run.loadFromCrate(k.deck, home.demoTracks()[2], 4);
        ASSERT_EQ(deckPlay(run.deck(k.deck)), 1);
        const int loadsBefore = run.engine().decoder(k.deck)->loads();

        LoadFile& browser = run.open(k.deck);
        EXPECT_EQ(browser.filterKind(), 4);
        browser.setFilter(k.tag);
        browser.selectRow(rowOf(browser, chosen));
        browser.load();

        const int crate = k.tag - 20;
        EXPECT_FALSE(run.app().loadFileShown()) << "an analysed track closes at once";
        EXPECT_FALSE(run.deck(k.deck).isPlaying.load()) << "the deck was stopped";
        EXPECT_EQ(run.deck(k.deck).crateIndex.load(), crate);
        EXPECT_EQ(run.engine().decoder(k.deck)->loads(), loadsBefore + 1);
        const std::string key = "kStreamCrate" + std::to_string(k.deck);
        EXPECT_EQ(home.savedDefaults().integerForKey(key, 99), crate) << "written to disk";
        ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(k.deck) == chosen; }, 1.0));
        EXPECT_EQ(run.deck(k.deck).crateIndex.load(), crate);
        EXPECT_EQ(home.savedDefaults().integerForKey(key, 99), crate);
        EXPECT_NE(run.loadedFile(1 - k.deck), chosen) << "the other deck is untouched";
    }
}

// Load with nothing selected only closes; an unanalysed track closes the browser only after a
// delay, and loads then.
TEST(LoadFileTest, AnUnanalysedTrackClosesTheBrowserOnlyAfterADelay) {
    AppHome home = browserHome();
    const fs::path fresh = home.addTrack("Fresh", false);
    AppRun run(home);
    ASSERT_FALSE(fs::exists(peakFilePath(fresh)));
    const fs::path before = run.loadedFile(0);
    const int loadsBefore = run.engine().decoder(0)->loads();
    run.open(0).load();
    EXPECT_FALSE(run.app().loadFileShown());
    EXPECT_EQ(run.engine().decoder(0)->loads(), loadsBefore);
    EXPECT_EQ(run.loadedFile(0), before);

    LoadFile& browser = run.open(0);
    browser.selectRow(rowOf(browser, fresh));
    browser.load();

    EXPECT_TRUE(run.app().loadFileShown());
    EXPECT_FALSE(browser.touchesEnabled());
    EXPECT_EQ(run.engine().decoder(0)->loads(), loadsBefore) << "nothing loads before the delay";
    run.loop().runFor(0.099);
    EXPECT_TRUE(run.app().loadFileShown());
    EXPECT_FALSE(browser.touchesEnabled());
    EXPECT_EQ(run.engine().decoder(0)->loads(), loadsBefore);
    run.loop().runFor(0.002);
    EXPECT_FALSE(run.app().loadFileShown());
    EXPECT_TRUE(browser.touchesEnabled());
    EXPECT_EQ(run.engine().decoder(0)->loads(), loadsBefore + 1);
    EXPECT_EQ(run.deck(0).crateIndex.load(), -1);
    ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(0) == fresh; }, 1.0));
}

// ---- random pick ----------------------------------------------------------------------------

// The draw r that picks index i of n: trunc((r - 0.01) n) = i, with r just above the point
// where index i + 1 would start without the 0.01 offset.
double drawFor(size_t i, size_t n) {
    return double(i + 1) / double(n) + 0.005;
}

TEST(LoadFileTest, RandomPickFromACrateOfOneUsesAllTracksAndSkipsTheDecksTrack) {
    struct Case {
        const char* what;
        // Draws as row indices of the all-tracks list; -1 stands for r = 0.
        std::vector<int> draws;
        size_t expected; // row index of the pick in the all-tracks list
    };
    // All tracks: A (the deck's, row 0), then B to E (rows 1 to 4), every one analysed.
    const Case cases[] = {
        {"first draw is the deck's track", {0, 1}, 1},
        {"a draw below 0.01 is row 0, the deck's: drawn again", {-1, 3}, 3},
        {"first draw is another track", {2}, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        AppHome home(AppHome::Options{.builtIns = false});
        const fs::path a = home.addTrack("A");
        std::vector<fs::path> all{a};
        for (const char* stem : {"B", "C", "D", "E"}) {
            all.push_back(home.addTrack(stem));
        }
        AppRun run(home);
        run.app().defaults().setBool("kRandonSong", true);
        run.addToCrate(1, a);
        run.loadFromCrate(0, a, 1);
        LoadFile& browser = run.open(0);
        ASSERT_TRUE(browser.randomSongEnabled());
        ASSERT_EQ(listedFiles(browser), std::vector<fs::path>{a});

        std::deque<int> draws(k.draws.begin(), k.draws.end());
        int drawn = 0;
        browser.setRandomSource([&] {
            ++drawn;
            const size_t n = browser.infoList().size();
            const int i = draws.empty() ? 1 : draws.front();
            if (!draws.empty()) {
                draws.pop_front();
            }
            return i < 0 ? 0.0 : drawFor(size_t(i), n);
        });
        ASSERT_TRUE(browser.loadAnyTrack());
        EXPECT_EQ(drawn, int(k.draws.size()));
        ASSERT_EQ(listedFiles(browser), all) << "the list stays widened";
        const fs::path expected = all[k.expected];
        EXPECT_EQ(browser.filterKind(), 1) << "the filter is switched back";
        EXPECT_FALSE(run.app().loadFileShown());
        EXPECT_EQ(run.deck(0).crateIndex.load(), 1);
        ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(0) == expected; }, 1.0));
    }
}

TEST(LoadFileTest, RandomPickWithNothingToPickLeavesTheBrowserOpen) {
    struct Case {
        const char* what;
        bool randomOn;
        bool twins; // a user and a built-in track of the same name, the deck holding one
    };
    const Case cases[] = {
        {"random pick off", false, true},
        {"no tracks at all", true, false},
        {"every track is the deck's", true, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        AppHome home(AppHome::Options{.builtIns = false});
        fs::path mine;
        if (k.twins) {
            mine = home.addTrack("Twin");
            fs::copy_file(mine, home.paths().sound() / mine.filename());
            fs::copy_file(peakFilePath(mine), peakFilePath(home.paths().sound() / mine.filename()));
        }
        AppRun run(home);
        run.app().defaults().setBool("kRandonSong", k.randomOn);
        if (k.twins) {
            run.loadFromCrate(0, mine, -1);
        }
        LoadFile& browser = run.open(0);
        ASSERT_EQ(browser.infoList().size(), k.twins ? 2u : 0u);
        const int loadsBefore = run.engine().decoder(0)->loads();
        int drawn = 0;
        browser.setRandomSource([&] {
            ++drawn;
            return 0.5;
        });
        EXPECT_FALSE(browser.loadAnyTrack());
        EXPECT_EQ(drawn, 0) << "no draw can succeed, so none is made";
        EXPECT_EQ(browser.failedRandomPicks(), k.randomOn ? 1 : 0);
        EXPECT_TRUE(run.app().loadFileShown());
        EXPECT_EQ(run.engine().decoder(0)->loads(), loadsBefore);
    }
}

} // namespace
} // namespace vx::test
