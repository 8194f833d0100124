#include "EngineFixture.h"

#include "analysis/peakFileData.h"
#include "engine/DeckDecoder.h"
#include "engine/analyzeProgress.h"
#include "library/LibraryFixture.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vx {
namespace {

namespace fs = std::filesystem;

class AnalysisQueue : public ::testing::Test {
protected:
    void SetUp() override {
        services_.notifications = &notifications_;
        services_.loop = &loop_;
        // Loads here start no analysis by themselves: each test starts its own.
        services_.startAnalysis = [](const fs::path&) {};
        engine_ = std::make_unique<AudioOut>(device_, &loop_, &services_);
        ASSERT_TRUE(engine_->init());
        notifications_.addObserver(this, "Analyze Complete", [this](const Notification& n) {
            completed_.push_back(std::get<std::string>(n.object));
        });
    }
    // Pumps the main thread until `done` holds (at most 10 s of real time).
    bool pumpUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 10000 && !done(); ++i) {
            loop_.runDue();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        loop_.runDue();
        return done();
    }
    // A routine that counts its runs and works (at progress 0.5) until cancelled (−1).
    AnalysisRoutine untilCancelled(std::atomic<int>& runs) {
        return [&runs](const fs::path&, peakFileData&, std::atomic<float>& progress) {
            float fresh = 0.0f;
            progress.compare_exchange_strong(fresh, 0.5f); // never overwrites a cancel
            runs.fetch_add(1);
            while (progress.load() != -1.0f) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return 0;
        };
    }

    test::LibraryTempDir home_; // removed after everything below
    const fs::path dir_ = home_.path();
    ManualClock clock_;
    RunLoop loop_{clock_};
    NotificationCenter notifications_{loop_};
    EngineServices services_;
    OfflineAudioDevice device_;
    std::vector<std::string> completed_;
    std::unique_ptr<AudioOut> engine_;
};

TEST_F(AnalysisQueue, TheRegistryAnswersBeforeAndAfterItExists) {
    EXPECT_EQ(engine_->getTempoOverrideForAnalyze("/x/a.mp3"), 0.0);
    EXPECT_EQ(engine_->getNumAnalizes(), 0);
    EXPECT_FALSE(engine_->getCurrentAnalizes().has_value());
    std::atomic<float> progress{0.25f};
    auto task = std::make_shared<analyzeProgress>(&progress, "a.mp3");
    EXPECT_TRUE(engine_->registerAnalyze(task));
    EXPECT_FALSE(engine_->registerAnalyze(std::make_shared<analyzeProgress>(&progress, "a.mp3")));
    EXPECT_EQ(engine_->getTempoOverrideForAnalyze("/elsewhere/b.mp3"), -1.0);
    engine_->setTempoOverrideForAnalyze("/x/a.mp3", 128.0);
    EXPECT_EQ(task->tempoOverride(), 128.0);
    // Tasks go by file name: the same name in another folder is the same task.
    EXPECT_EQ(engine_->getTempoOverrideForAnalyze("/other/folder/a.mp3"), 128.0);
    EXPECT_FLOAT_EQ(engine_->getProgressForAnalyze("/x/a.mp3"), 0.25f);
    EXPECT_EQ(engine_->getNumAnalizes(), 1);
    engine_->analyzeNotComplete("/x/a.mp3");
    EXPECT_EQ(engine_->getNumAnalizes(), 0);
}

TEST_F(AnalysisQueue, TheSameFileIsNeverAnalysedTwiceAtOnceAndCancelEndsTheRun) {
    std::atomic<int> runs{0};
    engine_->setAnalysisRoutine(untilCancelled(runs));
    const fs::path track = dir_ / "Twice.mp3";
    engine_->startAnalysis(track);
    ASSERT_TRUE(pumpUntil([&] { return engine_->getNumAnalizes() == 1 && runs.load() == 1; }));
    engine_->startAnalysis(track); // ends at once: already registered
    ASSERT_TRUE(pumpUntil([&] { return engine_->runningAnalysisThreads() == 1; }));
    EXPECT_EQ(runs.load(), 1);
    engine_->startAnalysis(dir_ / "Other.mp3");
    ASSERT_TRUE(pumpUntil([&] { return engine_->getNumAnalizes() == 2 && runs.load() == 2; }));
    EXPECT_FLOAT_EQ(engine_->getProgressForAnalyze(track), 0.5f);

    engine_->setProgressForAnalyze(track, -1.0f);
    ASSERT_TRUE(pumpUntil([&] { return completed_.size() == 1; }));
    EXPECT_EQ(completed_[0], track.string());
    EXPECT_EQ(engine_->getNumAnalizes(), 1);
    EXPECT_EQ(runs.load(), 2);
    engine_->setProgressForAnalyze(dir_ / "Other.mp3", -1.0f);
    ASSERT_TRUE(pumpUntil([&] { return completed_.size() == 2; }));
    engine_->joinAnalyses(true);
}

TEST_F(AnalysisQueue, JoiningAllCancelsARunThatRegistersWhileTheJoinWaits) {
    std::atomic<int> runs{0};
    engine_->setAnalysisRoutine(untilCancelled(runs));
    // Registration needs the main thread, which only the join itself pumps: the run starts
    // after the join's first cancel pass and must still be cancelled.
    engine_->startAnalysis(dir_ / "Late.mp3");
    engine_->joinAnalyses(true);
    EXPECT_EQ(engine_->runningAnalysisThreads(), 0);
    EXPECT_EQ(engine_->getNumAnalizes(), 0);
    EXPECT_LE(runs.load(), 1);
}

// Headless renders wait for the running analyses before each buffer. A timer due meanwhile
// (the start-up's second load, say, whose track is analysed too) must fire only after the
// running analysis has completed: fired in the middle, its own analysis would race the first
// one to completion and the order of their results would depend on the machine's speed.
TEST_F(AnalysisQueue, WaitingForAnalysesFiresDueTimersOnlyAfterTheRunsCompleted) {
    engine_->setAnalysisRoutine(
        [](const fs::path&, peakFileData& peaks, std::atomic<float>& progress) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            peaks.bpm.store(120.0);
            progress.store(1.0f);
            return 1;
        });
    std::vector<size_t> completedWhenFired;
    const TimerHandle timer = loop_.after(0.0, [&] {
        completedWhenFired.push_back(completed_.size());
        engine_->startAnalysis(dir_ / "Second.mp3");
    });
    engine_->startAnalysis(dir_ / "First.mp3");
    engine_->waitForAnalyses();
    ASSERT_EQ(completedWhenFired.size(), 1u);
    EXPECT_EQ(completedWhenFired[0], 1u);
    ASSERT_EQ(completed_.size(), 1u);
    EXPECT_EQ(completed_[0], (dir_ / "First.mp3").string());
    // The run the timer started is waited for by the next call.
    engine_->waitForAnalyses();
    EXPECT_EQ(engine_->runningAnalysisThreads(), 0);
    ASSERT_EQ(completed_.size(), 2u);
    EXPECT_EQ(completed_[1], (dir_ / "Second.mp3").string());
}

TEST_F(AnalysisQueue, ADeckSharesItsPeakDataAndTakesTheClampedGain) {
    const fs::path track = dir_ / "Shared.wav";
    ASSERT_TRUE(test::writeTrack(track, 44100, [](int64_t, int) { return 0.1f; }));
    for (double gain : {3.4, -0.5, 1.25}) {
        SCOPED_TRACE(gain);
        engine_->runDecode1(track);
        ASSERT_TRUE(engine_->settleDecoders(30.0));
        audioStream& deck = engine_->deck(0);
        ASSERT_TRUE(deck.isLoaded.load());
        const peakFileData* seen = nullptr;
        engine_->setAnalysisRoutine(
            [&](const fs::path&, peakFileData& peaks, std::atomic<float>& progress) {
                seen = &peaks;
                peaks.gain.store(gain);
                peaks.bpm.store(126.0);
                progress.store(1.0f);
                return 1;
            });
        const size_t before = completed_.size();
        engine_->startAnalysis(track);
        ASSERT_TRUE(pumpUntil([&] { return completed_.size() == before + 1; }));
        EXPECT_EQ(seen, deck.peakData().get());
        EXPECT_FLOAT_EQ(deck.normalizeGain.load(), static_cast<float>(std::clamp(gain, 0.0, 2.0)));
        EXPECT_FALSE(deck.needsAnalysis.load());
        EXPECT_EQ(engine_->getNumAnalizes(), 0);
        engine_->joinAnalyses(true);
    }
}

} // namespace
} // namespace vx
