// The main menu's statistics and its guarded actions, on a private library and documents folder.

#include "app/MainMenu.h"
#include "dsp/SamplePlayerFixed.h"
#include "engine/EngineFixture.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vx {
namespace {

namespace fs = std::filesystem;

struct RecordingHost : MainMenuHost {
    void mainMenuDidHide() override { calls.push_back("hide"); }
    void showSettings() override { calls.push_back("settings"); }
    void showBatchAnalysis() override { calls.push_back("batch"); }
    void showPartyMode() override { calls.push_back("party"); }
    void showMenuAlert(const std::string& message) override { calls.push_back(message); }
    void importDidEnd() override { calls.push_back("importDone"); }
    std::vector<std::string> calls;
};

struct Menu : ::testing::Test {
    void SetUp() override {
        db = DBController::init(home.paths());
        ASSERT_TRUE(db);
    }
    // A user track of `bytes` bytes; analysed (a tempo and a peak file) or not.
    void addTrack(const std::string& name, size_t bytes, bool analysed) {
        test::writeBytes(home.documents(name), std::string(bytes, 'x'));
        auto info = test::makeInfo(home.paths(), name, name, "", "", analysed ? 120.0 : 0.0);
        if (analysed) {
            test::writeBytes(home.documents(fs::path(name).replace_extension("peak").string()),
                             "p");
        }
        db->addFileToDB(*info, 0);
    }
    MainMenu& menu() {
        if (!screen) {
            screen = std::make_unique<MainMenu>(engine.out, db.get(), defaults, notifications, loop,
                                                home.paths().documents(), host);
        }
        return *screen;
    }

    test::LibraryHome home;
    std::shared_ptr<DBController> db;
    ManualClock clock;
    RunLoop loop{clock};
    NotificationCenter notifications{loop};
    UserDefaults defaults{home.root() / "settings.json"};
    test::Engine engine;
    RecordingHost host;
    std::unique_ptr<MainMenu> screen;
};

TEST_F(Menu, CountsTracksAndRecordingsAsTheLabelsShowThem) {
    addTrack("a.mp3", 600 * 1024, true);
    addTrack("b.mp3", 700 * 1024, false);
    const fs::path docs = home.paths().documents();
    for (const char* name : {"VXNexa_0001.wav", "VXNexa_0002.M4A"}) {
        test::writeBytes(docs / name, std::string(1024 * 1024, 'r'));
    }
    // Not recordings: another prefix, another type, a subfolder.
    test::writeBytes(docs / "mix.wav", "x");
    test::writeBytes(docs / "VXNexa_0003.txt", "x");
    fs::create_directories(docs / "old");
    test::writeBytes(docs / "old" / "VXNexa_0004.wav", "x");

    MainMenu& m = menu();
    EXPECT_EQ(m.tracksNumLabel(), "2");
    EXPECT_EQ(m.tracksSizeLabel(), "  1\nMb"); // 1300 kB
    EXPECT_EQ(m.notAnalyzedLabel(), "1");
    EXPECT_EQ(m.recordsNumLabel(), "2");
    EXPECT_EQ(m.recordsSizeLabel(), "  2\nMb");
    EXPECT_EQ(MainMenu::sizeText(1048575), "1024\nkb");
    EXPECT_EQ(MainMenu::sizeText(1048576), "  1\nMb");

    m.pitchChanged(2.7f);
    EXPECT_EQ(m.pitchLabel(), "Pitch: +2 HT");
    m.pitchChanged(-1.5f);
    EXPECT_EQ(m.pitchLabel(), "Pitch: -1 HT");

    // Pad names follow "sampleChanged".
    EXPECT_EQ(m.sampleLabel(0), "no sample");
    engine.out.pad(0).path = (docs / "kick.wav").string();
    notifications.postNow("sampleChanged");
    EXPECT_EQ(m.sampleLabel(0), "kick");
    EXPECT_EQ(m.sampleLabel(5), "no sample");

    // The load label: a load figure the engine has measured, in percent.
    engine.render(1024);
    m.viewWillAppear();
    EXPECT_FALSE(m.cpuLabel().empty());
}

// Batch analysis opens only with something to analyse; party mode only with five user tracks.
TEST_F(Menu, BatchAndPartyOpenOnlyWhenThereIsEnoughToDo) {
    for (int i = 0; i < 4; ++i) {
        addTrack("t" + std::to_string(i) + ".mp3", 100, true);
    }
    menu().batchRun();
    menu().partyModeAction();
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0], MainMenu::kNothingToAnalyze);
    EXPECT_EQ(host.calls[1], MainMenu::kPartyNeedsTracks);

    addTrack("t4.mp3", 100, false);
    host.calls.clear();
    menu().batchRun();
    menu().partyModeAction();
    menu().autoEqAction();
    menu().close();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"batch", "party", "hide"}));
    EXPECT_TRUE(menu().autoEqSelected());
    EXPECT_TRUE(defaults.boolForKey("kAutoEqEnabled"));
}

} // namespace
} // namespace vx
