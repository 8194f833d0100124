#include "controls/BatchAnalize.h"

#include "analysis/peakFileData.h"
#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

namespace vx {
namespace {

namespace fs = std::filesystem;

class RecordingHost : public BatchAnalysisHost {
public:
    void stopWaveformRedraw() override { redrawStopped = true; }
    void restartWaveformRedraw() override { redrawStopped = false; }
    bool applicationActive() const override { return active; }
    void showLocalNotification(const std::string& body, const std::string& sound) override {
        localNotifications.push_back(body + "|" + sound);
    }
    void playSound(const std::string& name) override { sounds.push_back(name); }
    void batchAnalizeDidHide() override { ++hidden; }

    bool active = true;
    bool redrawStopped = false;
    std::vector<std::string> localNotifications, sounds;
    int hidden = 0;
};

class RecordingAlerts : public Alerts {
public:
    void showAlert(const std::string& title, const std::string& message,
                   const std::string& button) override {
        shown.push_back(title + "|" + message + "|" + button);
    }
    std::vector<std::string> shown;
};

// A library of short tone tracks, an engine whose analysis routine the test releases track by
// track, and the batch screen on a manual clock.
class BatchAnalizeTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = DBController::init(home_.paths());
        ASSERT_TRUE(db_);
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
            ASSERT_TRUE(test::writeTone(home_.documents(name), 0.2));
        }
        // Analysed already: a tempo in its name and a peak file.
        ASSERT_TRUE(test::writeTone(home_.documents("done bpm120.mp3"), 0.2));
        std::ofstream(peakFilePath(home_.documents("done bpm120.mp3"))) << "peaks";
        // A built-in track without analysis: not the batch's business.
        ASSERT_TRUE(test::writeTone(home_.sound("demo.mp3"), 0.2));
        db_->updateDirectory(home_.paths().documents(), 0);
        db_->updateDirectory(home_.paths().sound(), 1);

        services_.db = db_;
        services_.notifications = &notifications_;
        services_.loop = &loop_;
        services_.startAnalysis = [](const fs::path&) {};
        engine_ = std::make_unique<AudioOut>(device_, &loop_, &services_);
        ASSERT_TRUE(engine_->init());
        engine_->setAnalysisRoutine(
            [this](const fs::path& path, peakFileData& peaks, std::atomic<float>& progress) {
                // As the real analysis does: a cancel written before the run starts stays.
                float fresh = 0.0f;
                progress.compare_exchange_strong(fresh, 0.5f);
                for (;;) {
                    if (progress.load() == -1.0f) {
                        return 0;
                    }
                    {
                        std::lock_guard lock(mutex_);
                        if (released_.count(path.filename().string())) {
                            break;
                        }
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                peaks.bpm.store(124.0);
                std::ofstream(peakFilePath(path)) << "peaks";
                return 1;
            });
        notifications_.addObserver(this, "Analyzes Complete",
                                   [this](const Notification&) { ++allCompleteNotes_; });
        screen_ =
            std::make_unique<BatchAnalize>(*engine_, *db_, notifications_, loop_, host_, &alerts_);
    }
    void TearDown() override {
        screen_.reset();
        engine_->joinAnalyses(true);
        notifications_.removeObserver(this);
    }

    void release(const std::string& name) {
        std::lock_guard lock(mutex_);
        released_.insert(name);
    }
    // Runs the main thread (manual clock, real-time waits for the analysis threads) until
    // `done` holds, at most 10 s.
    bool pumpUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 10000 && !done(); ++i) {
            loop_.runDue();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        loop_.runDue();
        return done();
    }
    // The track's run alone is registered and has reported its half-way progress.
    bool halfWay(const std::string& name) const {
        return running() == std::vector<std::string>{name} &&
               engine_->getProgressForAnalyze(home_.documents(name)) == 0.5f;
    }
    std::vector<std::string> running() const {
        return engine_->getCurrentAnalizes().value_or(std::vector<std::string>{});
    }
    void advance(double seconds) {
        clock_.advance(seconds);
        loop_.runDue();
    }

    test::LibraryHome home_;
    std::shared_ptr<DBController> db_;
    ManualClock clock_;
    RunLoop loop_{clock_};
    NotificationCenter notifications_{loop_};
    EngineServices services_;
    OfflineAudioDevice device_;
    std::unique_ptr<AudioOut> engine_;
    RecordingHost host_;
    RecordingAlerts alerts_;
    std::unique_ptr<BatchAnalize> screen_;
    std::mutex mutex_;
    std::set<std::string> released_;
    int allCompleteNotes_ = 0;
};

TEST_F(BatchAnalizeTest, AnalysesEveryUserTrackInTurnThenSaysSoOnce) {
    screen_->viewWillAppear();
    EXPECT_EQ(screen_->toAnalyze(), 3);
    EXPECT_TRUE(BatchAnalize::batchAnalysisRunning());
    EXPECT_TRUE(host_.redrawStopped);
    EXPECT_EQ(screen_->doneLabel(), "Done:  0 of   3");
    EXPECT_EQ(screen_->titleLabel(), "a");
    ASSERT_TRUE(pumpUntil([&] { return halfWay("a.mp3"); }));

    advance(BatchAnalize::kRefreshInterval);
    EXPECT_EQ(screen_->percentLabel(), " 50%");
    EXPECT_NEAR(screen_->overallProgress(), 0.5 / 3, 1e-6);

    release("a.mp3");
    ASSERT_TRUE(pumpUntil([&] { return halfWay("b.mp3"); }));
    advance(BatchAnalize::kRefreshInterval);
    EXPECT_EQ(screen_->doneLabel(), "Done:  1 of   3");
    EXPECT_EQ(screen_->titleLabel(), "b");
    EXPECT_NEAR(screen_->overallProgress(), 1.5 / 3, 1e-6);
    EXPECT_TRUE(alerts_.shown.empty());

    release("b.mp3");
    release("c.mp3");
    ASSERT_TRUE(pumpUntil([&] { return host_.hidden == 1; }));
    loop_.runDue();
    EXPECT_EQ(screen_->noAnalyzing(), 3);
    EXPECT_EQ(alerts_.shown, std::vector<std::string>{"Velvox Nexa|Analysis Complete|OK"});
    EXPECT_EQ(host_.sounds, std::vector<std::string>{"done.wav"});
    EXPECT_TRUE(host_.localNotifications.empty());
    EXPECT_EQ(allCompleteNotes_, 1);
    EXPECT_FALSE(BatchAnalize::batchAnalysisRunning());
    EXPECT_FALSE(host_.redrawStopped);
    // The results are in the library: nothing is left for a next batch.
    EXPECT_EQ(screen_->calcPresentJobs(), 0);
    EXPECT_DOUBLE_EQ(db_->getFullInfoForFile(home_.documents("b.mp3"))->tempo, 124.0);
}

TEST_F(BatchAnalizeTest, InTheBackgroundTheEndIsADesktopNotification) {
    host_.active = false;
    release("a.mp3");
    release("b.mp3");
    release("c.mp3");
    screen_->viewWillAppear();
    ASSERT_TRUE(pumpUntil([&] { return host_.hidden == 1; }));
    EXPECT_EQ(host_.localNotifications, std::vector<std::string>{"Analysis Complete|done.wav"});
    EXPECT_TRUE(alerts_.shown.empty());
    EXPECT_TRUE(host_.sounds.empty());
}

TEST_F(BatchAnalizeTest, StopCancelsTheRunAndTheTrackKeepsNoResult) {
    screen_->viewWillAppear();
    ASSERT_TRUE(pumpUntil([&] { return running() == std::vector<std::string>{"a.mp3"}; }));
    screen_->stop();
    EXPECT_EQ(host_.hidden, 1);
    EXPECT_FALSE(BatchAnalize::batchAnalysisRunning());
    ASSERT_TRUE(pumpUntil([&] { return running().empty(); }));
    loop_.runDue();
    EXPECT_FALSE(fs::exists(peakFilePath(home_.documents("a.mp3"))));
    EXPECT_LE(db_->getFullInfoForFile(home_.documents("a.mp3"))->tempo, 0.0);
    EXPECT_EQ(allCompleteNotes_, 0);
    EXPECT_TRUE(alerts_.shown.empty());
    EXPECT_EQ(screen_->noAnalyzing(), 0);

    // The next batch has the same work.
    screen_->viewWillAppear();
    EXPECT_EQ(screen_->toAnalyze(), 3);
    screen_->stop();
}

TEST_F(BatchAnalizeTest, WithNothingToDoNothingStarts) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
        fs::remove(home_.documents(name));
    }
    db_->updateDirectory(home_.paths().documents(), 0);
    screen_->viewWillAppear();
    EXPECT_EQ(screen_->toAnalyze(), 0);
    EXPECT_EQ(screen_->doneLabel(), "Done:  0 of   0");
    EXPECT_FALSE(BatchAnalize::batchAnalysisRunning());
    EXPECT_FALSE(host_.redrawStopped);
    EXPECT_EQ(engine_->runningAnalysisThreads(), 0);
    screen_->viewDidDisappear();
}

TEST_F(BatchAnalizeTest, ARunningAnalysisIsShownAndCountedAndOthersAreNot) {
    // A deck's load started the second track's analysis, and a built-in track's.
    engine_->startAnalysis(home_.documents("b.mp3"));
    engine_->startAnalysis(home_.sound("demo.mp3"));
    ASSERT_TRUE(pumpUntil([&] { return running().size() == 2; }));
    screen_->viewWillAppear();
    EXPECT_EQ(screen_->toAnalyze(), 3);
    EXPECT_EQ(screen_->titleLabel(), "b");
    EXPECT_FALSE(screen_->batchAnalyzesInGame()) << "it waits for the running analysis";

    // The built-in track ends first: no count, and the queue is still busy.
    release("demo.mp3");
    ASSERT_TRUE(pumpUntil([&] { return running() == std::vector<std::string>{"b.mp3"}; }));
    EXPECT_EQ(screen_->noAnalyzing(), 0);
    // The user track ends: counted, and the screen starts its first track.
    release("b.mp3");
    ASSERT_TRUE(pumpUntil([&] { return running() == std::vector<std::string>{"a.mp3"}; }));
    EXPECT_EQ(screen_->noAnalyzing(), 1);
    EXPECT_TRUE(screen_->batchAnalyzesInGame());

    // The rest run to the end: every user track counted, one alert.
    release("a.mp3");
    release("c.mp3");
    ASSERT_TRUE(pumpUntil([&] { return host_.hidden == 1; }));
    EXPECT_EQ(screen_->noAnalyzing(), 3);
    EXPECT_EQ(alerts_.shown.size(), 1u);
}

} // namespace
} // namespace vx
