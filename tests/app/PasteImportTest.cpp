// Open-URL and paste import: another application puts a track on the pasteboard and opens
// "korvane.velvox://pastefile:<name>". Every case runs the launched application on a private
// home with a pasteboard of the test's own.

#include "app/DuovexAppDelegate.h"

#include "AppFixture.h"

#include "analysis/peakFileData.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "platform/FileSizeLimit.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

namespace vx::test {
namespace {

const std::string kPaste = DuovexAppDelegate::kPasteURL;

Pasteboard::Data bytesOf(const fs::path& path) {
    const std::string text = slurpBytes(path);
    return Pasteboard::Data(text.begin(), text.end());
}

// A tone of `seconds` as the bytes of an audio file.
Pasteboard::Data toneBytes(const fs::path& scratch, double seconds) {
    const fs::path file = scratch / ("tone" + std::to_string(seconds) + ".mp3");
    EXPECT_TRUE(writeTone(file, seconds));
    return bytesOf(file);
}

// The bytes of a peak file of `count` computed entries carrying `bpm`.
Pasteboard::Data peakBytes(const fs::path& scratch, int32_t count, double bpm) {
    auto record = peakFileData::create(count);
    for (int32_t i = 0; i < count; ++i) {
        record->setEntry(i, 20, 0);
    }
    record->bpm.store(bpm);
    const fs::path file = scratch / "made.peak";
    EXPECT_TRUE(peakFileWrite(*record, file));
    return bytesOf(file);
}

int32_t entriesFor(double seconds) {
    return peakCountForFrames(int64_t(seconds * 44100));
}

std::vector<std::string> messages(const FakeAlerts& alerts) {
    std::vector<std::string> texts;
    for (const auto& shown : alerts.shown) {
        texts.push_back(shown.message);
    }
    return texts;
}

bool hiddenLeftovers(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(".vxpaste", 0) == 0) {
            return true;
        }
    }
    return false;
}

class PasteImportTest : public ::testing::Test {
protected:
    PasteImportTest() : home_(AppHome::Options{.builtIns = false}) {
        fs::create_directories(scratch());
    }
    fs::path scratch() const { return home_.paths().temporary() / "scratch"; }
    AppRun& launch() {
        run_ = std::make_unique<AppRun>(
            home_, "1.0", false, [this](DuovexAppDelegate& app) { app.setPasteboard(&board_); });
        return *run_;
    }
    // Analyses only record what they were asked for.
    void recordAnalyses() {
        run_->engine().setAnalysisRoutine(
            [this](const fs::path& path, peakFileData&, std::atomic<float>&) {
                std::lock_guard lock(mutex_);
                analysed_.push_back(path);
                return 0;
            });
    }
    std::vector<fs::path> analysed() {
        std::lock_guard lock(mutex_);
        return analysed_;
    }
    std::shared_ptr<VXAudioFileInfo> row(const fs::path& file) {
        return run_->db().getFullInfoForFile(file);
    }

    MemoryPasteboard board_;
    AppHome home_;
    std::unique_ptr<AppRun> run_;
    std::mutex mutex_;
    std::vector<fs::path> analysed_;
};

TEST_F(PasteImportTest, PastesAnEncodedNameWithItsChunksAndRegistersThePastedTempo) {
    AppRun& run = launch();
    const auto audio = toneBytes(scratch(), 2.0);
    const size_t half = audio.size() / 2;
    board_.setItems({{{kPasteboardTypeMP3, {audio.begin(), audio.begin() + long(half)}}},
                     {{kPasteboardTypeMP3, {audio.begin() + long(half), audio.end()}},
                      {kPasteboardTypePeak, peakBytes(scratch(), entriesFor(2.0), 123.5)}}});

    EXPECT_TRUE(run.app().handleOpenURL(kPaste + "My%20Song.mp3"));

    const fs::path pasted = home_.documents("My Song.mp3");
    EXPECT_EQ(bytesOf(pasted), audio);
    EXPECT_EQ(messages(run.alerts()), std::vector<std::string>{"File pasted!\nMy Song.mp3"});
    ASSERT_TRUE(home_.hasFileRow(0, pasted));
    // The peak file was in place when the track was registered: the row has its tempo.
    EXPECT_DOUBLE_EQ(row(pasted)->tempo, 123.5);
    EXPECT_NEAR(row(pasted)->durationSeconds(), 2.0, 0.01);
    auto peaks = peakFileData::create(0);
    EXPECT_TRUE(peakFileLoad(*peaks, peakFilePath(pasted), entriesFor(2.0)));
    EXPECT_TRUE(board_.items().empty());
    EXPECT_FALSE(hiddenLeftovers(home_.paths().documents()));
}

TEST_F(PasteImportTest, AudioWithoutPeakDataLeavesThePasteboardAndIsAnalysed) {
    AppRun& run = launch();
    recordAnalyses();
    board_.setItems({{{kPasteboardTypeMP3, toneBytes(scratch(), 1.0)}}});
    const uint64_t before = board_.changeCount();

    EXPECT_TRUE(run.app().handleOpenURL(kPaste + "Plain.mp3"));

    EXPECT_TRUE(fs::exists(home_.documents("Plain.mp3")));
    EXPECT_EQ(board_.changeCount(), before);
    EXPECT_EQ(board_.items().size(), 1u);
    run.engine().waitForAnalyses();
    EXPECT_EQ(analysed(), std::vector<fs::path>{home_.documents("Plain.mp3")});
}

TEST_F(PasteImportTest, LaunchAndOtherURLsAnswerTrueAndChangeNothing) {
    AppRun& run = launch();
    board_.setItems({{{kPasteboardTypeMP3, toneBytes(scratch(), 0.5)}}});
    const uint64_t before = board_.changeCount();
    const auto listing = [&] {
        std::vector<fs::path> names;
        for (const auto& e : fs::directory_iterator(home_.paths().documents())) {
            names.push_back(e.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto documents = listing();
    LogCapture log;
    for (const std::string url :
         {"korvane.velvoxnexa://launch", "korvane.velvoxnexa://launch?again", "", "https://x/a.mp3",
          "korvane.velvox://other:a.mp3", "korvane.velvox:/pastefile:a.mp3"}) {
        EXPECT_TRUE(run.app().handleOpenURL(url)) << url;
    }
    EXPECT_FALSE(run.app().handleOpenURL(std::nullopt));
    EXPECT_TRUE(log.contains("simple launch"));
    EXPECT_EQ(listing(), documents);
    EXPECT_TRUE(run.alerts().shown.empty());
    EXPECT_EQ(board_.changeCount(), before);
}

TEST_F(PasteImportTest, RefusesNamesThatLeaveTheDocumentsOrAreNoTrack) {
    AppRun& run = launch();
    board_.setItems({{{kPasteboardTypeMP3, toneBytes(scratch(), 0.5)}}});
    const std::string database = slurpBytes(home_.documents(DBController::kDatabaseName));
    for (const std::string name :
         {"..%2Fescape.mp3", "../escape.mp3", "%2E%2E%2Fescape.mp3", "sub%2Fescape.mp3",
          "%2Ftmp%2Fescape.mp3", "velvox.sqlite", "VELVOX.sqlite-wal", "notes.txt", "%FF%FE.mp3",
          "a%00b.mp3", ".."}) {
        run.alerts().shown.clear();
        run.app().doPaste(name);
        EXPECT_EQ(messages(run.alerts()),
                  std::vector<std::string>{"Can't paste: the name is not a plain track file name"})
            << name;
    }
    EXPECT_FALSE(fs::exists(home_.paths().documents().parent_path() / "escape.mp3"));
    EXPECT_FALSE(fs::exists("/tmp/escape.mp3"));
    EXPECT_EQ(slurpBytes(home_.documents(DBController::kDatabaseName)), database);
    EXPECT_EQ(board_.items().size(), 1u);
}

TEST_F(PasteImportTest, PasteOverATrackRefreshesItsRowAndItsPeakFile) {
    const fs::path old = home_.documents("Track.mp3");
    ASSERT_TRUE(writeTone(old, 2.0));
    {
        auto record = peakFileData::create(entriesFor(2.0));
        record->bpm.store(100.0);
        ASSERT_TRUE(peakFileWrite(*record, peakFilePath(old)));
    }
    AppRun& run = launch();
    recordAnalyses();
    ASSERT_DOUBLE_EQ(row(old)->tempo, 100.0);

    // New audio with its own peak data: row and peak file describe the new audio.
    const auto audio = toneBytes(scratch(), 3.0);
    board_.setItems({{{kPasteboardTypeMP3, audio},
                      {kPasteboardTypePeak, peakBytes(scratch(), entriesFor(3.0), 140.0)}}});
    run.app().doPaste("Track.mp3");
    EXPECT_EQ(bytesOf(old), audio);
    EXPECT_DOUBLE_EQ(row(old)->tempo, 140.0);
    EXPECT_NEAR(row(old)->durationSeconds(), 3.0, 0.01);
    EXPECT_EQ(row(old)->fileSize(), audio.size());
    EXPECT_EQ(home_.rowsInOrder().size(), 1u);

    // New audio without peak data: the old peak file and tempo go, the track is analysed.
    board_.setItems({{{kPasteboardTypeMP3, toneBytes(scratch(), 1.0)}}});
    run.app().doPaste("Track.mp3");
    EXPECT_FALSE(fs::exists(peakFilePath(old)));
    EXPECT_LE(row(old)->tempo, 0.0);
    EXPECT_NEAR(row(old)->durationSeconds(), 1.0, 0.01);
    run.engine().waitForAnalyses();
    EXPECT_EQ(analysed(), std::vector<fs::path>{old});
}

TEST_F(PasteImportTest, RefusesToReplaceATrackOnADeck) {
    const fs::path playing = home_.addTrack("Playing", true);
    AppRun& run = launch();
    run.engine().runDecode(0, playing);
    ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(0) == playing; }, 2.0));
    const std::string before = slurpBytes(playing);

    board_.setItems({{{kPasteboardTypeMP3, toneBytes(scratch(), 1.0)}}});
    run.app().doPaste("Playing%20bpm120.mp3");

    EXPECT_EQ(slurpBytes(playing), before);
    EXPECT_EQ(messages(run.alerts()),
              std::vector<std::string>{
                  "Can't paste over a track that is loaded on a deck:\nPlaying bpm120.mp3"});
}

TEST_F(PasteImportTest, AFailedWriteLeavesNoFileAndSaysSo) {
    AppRun& run = launch();
    board_.setItems({{{kPasteboardTypeMP3, toneBytes(scratch(), 2.0)}}});
    {
        // A file size limit makes the write fail part way, as a full disk would.
        const fixture::FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.active());
        run.app().doPaste("Cut.mp3");
    }

    const auto shown = messages(run.alerts());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Can't write file\nCut.mp3", 0), 0u) << shown[0];
    EXPECT_FALSE(fs::exists(home_.documents("Cut.mp3")));
    EXPECT_FALSE(hiddenLeftovers(home_.paths().documents()));
    EXPECT_FALSE(home_.hasRow(0, "Cut.mp3"));
}

TEST_F(PasteImportTest, InvalidPeakDataIsDroppedAndTheTrackAnalysed) {
    AppRun& run = launch();
    recordAnalyses();
    const auto audio = toneBytes(scratch(), 1.0);
    const auto good = peakBytes(scratch(), entriesFor(1.0), 128.0);
    auto badHeader = good;
    badHeader[0] = 24;
    auto badTempo = good;
    const double tempo = 5000;
    std::memcpy(badTempo.data() + 4, &tempo, sizeof tempo);
    const std::vector<std::pair<std::string, Pasteboard::Data>> cases = {
        {"too many entries", peakBytes(scratch(), entriesFor(1.0) + 40, 128.0)},
        {"too few entries", peakBytes(scratch(), entriesFor(1.0) - 1, 128.0)},
        {"header size", badHeader},
        {"tempo", badTempo},
        {"cut header", Pasteboard::Data(good.begin(), good.begin() + 10)}};
    int n = 0;
    for (const auto& [what, peak] : cases) {
        const std::string name = "Bad" + std::to_string(++n) + ".mp3";
        board_.setItems({{{kPasteboardTypeMP3, audio}, {kPasteboardTypePeak, peak}}});
        run.app().doPaste(name);
        EXPECT_TRUE(fs::exists(home_.documents(name))) << what;
        EXPECT_FALSE(fs::exists(peakFilePath(home_.documents(name)))) << what;
        EXPECT_LE(row(home_.documents(name))->tempo, 0.0) << what;
        EXPECT_TRUE(board_.items().empty()) << what;
    }
    run.engine().waitForAnalyses();
    EXPECT_EQ(analysed().size(), cases.size());
}

TEST_F(PasteImportTest, APasteURLBeforeTheLaunchEndsWaitsForIt) {
    board_.setItems({{{kPasteboardTypeMP3, toneBytes(scratch(), 1.0)}}});
    writeBytes(home_.documents(".vxpaste-Ab12Cd"), "a paste cut short by a crash");
    bool answered = false;
    bool pastedEarly = true;
    AppRun run(home_, "1.0", false, [&](DuovexAppDelegate& app) {
        app.setPasteboard(&board_);
        answered = app.handleOpenURL(kPaste + "Early.mp3");
        pastedEarly = fs::exists(home_.documents("Early.mp3"));
    });
    EXPECT_TRUE(answered);
    EXPECT_FALSE(pastedEarly);
    EXPECT_TRUE(fs::exists(home_.documents("Early.mp3")));
    EXPECT_TRUE(home_.hasRow(0, "Early.mp3"));
    EXPECT_EQ(messages(run.alerts()), std::vector<std::string>{"File pasted!\nEarly.mp3"});
    EXPECT_FALSE(hiddenLeftovers(home_.paths().documents()));
}

} // namespace
} // namespace vx::test
