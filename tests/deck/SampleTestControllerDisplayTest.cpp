// The mixing screen's read-outs, their refresh pass and the top-bar buttons, on real decks with
// the screen's timers on a manual clock.

#include "ScreenDesk.h"
#include "platform/FileSizeLimit.h"
#include "support/TrackRecord.h"

#include "analysis/peakFileData.h"
#include "engine/analyzeProgress.h"
#include "library/VXAudioFileInfo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace vx {
namespace {

namespace fs = std::filesystem;

struct DisplayScreen : test::ScreenDesk {
    DisplayScreen() {
        makeScreen();
        screen->setDocumentsFolder(dir.path());
    }
    // A 60-second track of `tempo` BPM (0 = unknown) on deck d, named `name`.
    void load(int d, double tempo, const std::string& name = "Track.mp3") {
        test::loadGenerated(deck(d), 60 * 44100, test::sine(220.0));
        vx::test::setPeaks(deck(d), peakFileData::create(peakCountForFrames(60 * 44100)));
        auto info = std::make_shared<VXAudioFileInfo>();
        info->fileName = dir.path() / name;
        info->setTempo(tempo);
        vx::test::setInfo(deck(d), info);
    }
    std::string text(int d, int i) const { return screen->indicator(d, i).text; }
};

// The overview strip redraws when the deck's peak record is new or its entries changed (the
// analysis and the decoder count the blocks they fill), and not otherwise.
TEST(SampleTestControllerDisplay, TheOverviewRedrawsWhenPeaksAreFilled) {
    DisplayScreen t;
    t.load(0, 120.0);
    const auto redraws = [&] {
        const int before = t.screen->view(0).navigatorUpdates;
        t.screen->updateNavigators();
        return t.screen->view(0).navigatorUpdates - before;
    };
    EXPECT_EQ(redraws(), 1); // a new record
    EXPECT_EQ(redraws(), 0);
    t.deck(0).peakData()->changes.fetch_add(1);
    EXPECT_EQ(redraws(), 1);
    EXPECT_EQ(redraws(), 0);
}

// The read-out formats: pitch in percent with its sign, tempo × speed with one decimal or
// "???", elapsed and remaining time (never below zero).
TEST(SampleTestControllerDisplay, ReadOutsShowTheFormatsOfTheScreen) {
    DisplayScreen t;
    t.load(0, 120.0);
    t.load(1, 0.0);
    struct Row {
        double baseSpeed;
        const char* pitch;
        const char* bpm;
    };
    for (const Row& row : {Row{0.97, "-3.00%", "116.4"}, Row{1.0, "+0.00%", "120.0"},
                           Row{1.125, "+12.50%", "135.0"}}) {
        t.deck(0).baseSpeed.store(row.baseSpeed);
        t.screen->printDIndicator(2, 0);
        t.screen->printDIndicator(3, 0);
        EXPECT_EQ(t.text(0, 2), row.pitch) << row.baseSpeed;
        EXPECT_EQ(t.text(0, 3), row.bpm) << row.baseSpeed;
    }
    t.screen->printDIndicator(3, 1);
    EXPECT_EQ(t.text(1, 3), "???");

    t.deck(0).baseSpeed.store(1.0);
    t.deck(0).position.store(65.4 * 44100);
    t.screen->printDIndicator(0, 0);
    EXPECT_EQ(t.text(0, 0), "01:05");
    t.screen->toggleAfterBefore(0);
    t.deck(0).position.store(30 * 44100 + 100);
    t.screen->printDIndicator(0, 0);
    EXPECT_EQ(t.text(0, 0), "-00:29");    // 29.99… s left
    t.deck(0).position.store(61 * 44100); // past the end
    t.screen->printDIndicator(0, 0);
    EXPECT_EQ(t.text(0, 0), "-00:00");
    t.screen->printDIndicator(1, 0); // never written
    EXPECT_EQ(t.text(0, 1), "");
}

TEST(SampleTestControllerDisplay, AnAnalysisShowsItsProgressInsteadOfTheTempo) {
    DisplayScreen t;
    t.load(0, 0.0, "Being Analysed.mp3");
    std::atomic<float> progress{0.42f};
    ASSERT_TRUE(t.engine.out.registerAnalyze(
        std::make_shared<analyzeProgress>(&progress, "Being Analysed.mp3")));
    t.screen->printDIndicator(3, 0);
    EXPECT_EQ(t.text(0, 3), "42.0%");
    progress.store(0.5f);
    t.screen->printDIndicator(3, 0);
    EXPECT_EQ(t.text(0, 3), "50.0%");
    t.engine.out.analyzeNotComplete(t.dir.path() / "Being Analysed.mp3");
    t.screen->printDIndicator(3, 0);
    EXPECT_EQ(t.text(0, 3), "???");
}

// The refresh pass runs every 0.1 s while the screen is shown (1.0 s while inactive) and
// rewrites a label only when its value changed.
TEST(SampleTestControllerDisplay, TheRefreshPassFollowsTheDecksAndItsInterval) {
    DisplayScreen t;
    t.load(0, 128.0);
    t.screen->startIndicators();
    t.advance(0.0);
    EXPECT_EQ(t.text(0, 3), "128.0");
    EXPECT_EQ(t.text(0, 0), "00:00");
    const int redraws = t.screen->navigatorMarksRedraws();
    t.deck(0).baseSpeed.store(1.03);
    t.advance(0.05);
    EXPECT_EQ(t.text(0, 2), "+0.00%"); // the next pass is not due yet
    t.advance(0.05);
    EXPECT_EQ(t.text(0, 2), "+3.00%");
    EXPECT_EQ(t.screen->navigatorMarksRedraws(), redraws + 1);

    t.screen->setApplicationInactive(true);
    t.advance(0.1); // the pass due now schedules the next one a second later
    const int inactive = t.screen->navigatorMarksRedraws();
    t.deck(0).baseSpeed.store(0.95);
    t.advance(0.5);
    EXPECT_EQ(t.text(0, 2), "+3.00%");
    EXPECT_EQ(t.screen->navigatorMarksRedraws(), inactive);
    t.screen->setApplicationInactive(false);
    t.advance(0.6);
    EXPECT_EQ(t.text(0, 2), "-5.00%");

    t.screen->stopIndicators();
    t.deck(0).baseSpeed.store(1.0);
    t.advance(1.0);
    EXPECT_EQ(t.text(0, 2), "-5.00%");
}

// While a finger holds the deck, three fingers enlarge the BPM read-out and two the pitch; a
// speed glide on a playing deck dims the pitch read-out.
TEST(SampleTestControllerDisplay, GesturesEnlargeAndGlidesDimTheReadOuts) {
    DisplayScreen t;
    t.load(0, 120.0);
    t.screen->startIndicators();
    t.deck(0).isScratching.store(true);
    t.deck(0).threeFingerMode.store(true);
    t.deck(0).twoFingerMode.store(true);
    t.advance(0.0);
    EXPECT_EQ(t.screen->indicator(0, 3).scale, 2.0f);
    EXPECT_EQ(t.screen->indicator(0, 2).scale, 1.0f);
    EXPECT_FALSE(t.deck(0).twoFingerMode.load());
    t.deck(0).threeFingerMode.store(false);
    t.deck(0).twoFingerMode.store(true);
    t.advance(0.1);
    EXPECT_EQ(t.screen->indicator(0, 3).scale, 1.0f);
    EXPECT_EQ(t.screen->indicator(0, 2).scale, 2.0f);

    t.deck(0).isScratching.store(false);
    t.deck(0).isPlaying.store(true);
    t.deck(0).speedRamp.start(1.0, 0.9, 44100);
    t.advance(0.1);
    EXPECT_EQ(t.screen->indicator(0, 2).scale, 1.0f);
    EXPECT_TRUE(t.screen->speedHidden(0));
    t.deck(0).speedRamp.On.store(false);
    t.advance(0.1);
    EXPECT_FALSE(t.screen->speedHidden(0));
    t.deck(0).isPlaying.store(false);
}

// A recording that cannot be written on (here a file size limit; a full disk is the same) ends:
// the record button goes off and the file keeps a valid header for what reached it.
TEST(SampleTestControllerDisplay, AFailedRecordingTurnsTheRecordButtonOff) {
    DisplayScreen t;
    t.screen->startIndicators();
    t.screen->recordAction();
    ASSERT_TRUE(t.screen->recordButton().selected);
    const fs::path file = t.engine.out.recordFile();
    {
        fixture::FileSizeLimit limit(100000);
        ASSERT_TRUE(limit.active());
        for (int i = 0; i < 40 && !t.engine.out.recordFailed(); ++i) {
            t.engine.render(8192);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        t.advance(0.2);
    }
    EXPECT_FALSE(t.screen->recordButton().selected);
    ASSERT_EQ(t.host.messages.size(), 1u); // said once, naming the file that was kept
    EXPECT_NE(t.host.messages[0].find(file.filename().string()), std::string::npos);
    EXPECT_FALSE(t.engine.out.isRecording());
    EXPECT_FALSE(t.engine.out.recordFileOpen());
    const uintmax_t size = fs::file_size(file);
    EXPECT_LE(size, 100000u);
    std::ifstream in(file, std::ios::binary);
    std::string header(58, '\0');
    in.read(header.data(), 58);
    const size_t chunk = header.find("data");
    ASSERT_NE(chunk, std::string::npos);
    uint32_t data = 0;
    std::memcpy(&data, header.data() + chunk + 4, 4);
    EXPECT_GT(data, 0u);
    EXPECT_EQ(data + chunk + 8, size);
}

TEST(SampleTestControllerDisplay, TopBarButtons) {
    DisplayScreen t;
    // Record: the next numbered file; a second press ends it.
    t.defaults.setInteger("FileSeqNo", 7);
    t.screen->recordAction();
    EXPECT_TRUE(t.screen->recordButton().selected);
    EXPECT_TRUE(t.engine.out.isRecording());
    EXPECT_EQ(t.engine.out.recordFile(), t.dir.path() / "VXNexa_0007.wav");
    EXPECT_EQ(t.defaults.integerForKey("FileSeqNo"), 8);
    t.engine.render(1024);
    t.screen->recordAction();
    EXPECT_FALSE(t.screen->recordButton().selected);
    EXPECT_FALSE(t.engine.out.isRecording());
    EXPECT_TRUE(fs::exists(t.dir.path() / "VXNexa_0007.wav"));
    // A file that cannot be created: the button stays off and the number stays.
    t.screen->setDocumentsFolder(t.dir.path() / "missing");
    t.screen->recordAction();
    EXPECT_FALSE(t.screen->recordButton().selected);
    EXPECT_EQ(t.defaults.integerForKey("FileSeqNo"), 8);

    t.screen->zoomButtonAction();
    EXPECT_TRUE(t.screen->navigatorsShown());
    t.screen->zoomButtonAction();
    EXPECT_FALSE(t.screen->navigatorsShown());

    t.screen->menuAction();
    EXPECT_TRUE(t.screen->menuOn());
    EXPECT_EQ(t.host.menus, 1);

    t.defaults.setBool("kAutoEqEnabled", true);
    t.notifications.postNow("settingChanged", std::string("kAutoEqEnabled"));
    EXPECT_TRUE(t.screen->autoEqMarksShown());
}

// Re-analyse: the button lights, and 0.1 s later the analysis of the louder deck's track starts;
// its completion turns the button off.
TEST(SampleTestControllerDisplay, ReanalyseStartsTheLouderDecksAnalysis) {
    DisplayScreen t;
    t.load(0, 120.0, "Quiet.mp3");
    t.load(1, 120.0, "Loud.mp3");
    t.deck(0).faderGain.store(0.3f);
    t.deck(1).faderGain.store(0.9f);
    std::vector<fs::path> started;
    t.engine.out.setAnalysisRoutine(
        [&](const fs::path& path, peakFileData&, std::atomic<float>& progress) {
            progress.store(-1.0f);
            started.push_back(path);
            return 0;
        });
    t.screen->freezeButtomAction();
    EXPECT_TRUE(t.screen->freezeButton().selected);
    t.advance(0.05);
    t.engine.out.joinAnalyses(true);
    EXPECT_TRUE(started.empty());
    t.advance(0.05);
    t.engine.out.joinAnalyses(true);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].filename(), "Loud.mp3");
    t.notifications.post("Analyze Complete", (t.dir.path() / "Loud.mp3").string());
    t.loop.runDue();
    EXPECT_FALSE(t.screen->freezeButton().selected);
}

} // namespace
} // namespace vx
