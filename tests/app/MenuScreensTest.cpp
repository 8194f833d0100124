// The screens the main menu opens, as the application hosts them: the record button's sound
// plays on the preview output and never reaches the recorded mix; a pad pressed on the menu is
// heard in the mix; the batch analysis ends with its alert and sound in the foreground and a
// desktop notification in the background, and the waveforms redraw again.

#include "AppFixture.h"

#include "engine/PreviewPlayer.h"
#include "platform/AudioFileReader.h"
#include "platform/DesktopNotifier.h"
#include "support/FakePreviewPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vx {
namespace {

float peakOf(const std::vector<float>& samples) {
    float peak = 0;
    for (float s : samples) {
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
}

// The loudest sample of the mix over the next `seconds` of audio.
float mixPeak(test::AppRun& run, double seconds) {
    float peak = 0;
    const double end = run.now() + seconds;
    while (run.now() < end) {
        run.device().pull(test::kBufferFrames, [&](const float* p, uint32_t frames, const auto&) {
            peak = std::max(peak, peakOf(std::vector<float>(p, p + 2 * frames)));
            return true;
        });
    }
    return peak;
}

// A home whose resources also hold the interface sounds.
struct SoundsHome : test::AppHome {
    SoundsHome() {
        for (const char* sound : {"rec.wav", "done.wav"}) {
            std::filesystem::copy_file(std::filesystem::path(VX_RESOURCES_DIR) / sound,
                                       paths().resources() / sound);
        }
    }
};

TEST(MenuScreens, TheRecordSoundPlaysOutsideTheRecordedMix) {
    SoundsHome home;
    test::AppRun run(home);
    OfflineAudioDevice previewDevice(OfflineAudioDevice::Options{.bufferFrames = 1024});
    DevicePreviewPlayer preview(previewDevice, run.loop());
    run.app().setPreviewPlayer(&preview);
    DuovexAppDelegate& app = run.app();
    ASSERT_FALSE(run.deck(0).isPlaying.load());

    app.showMainMenu();
    app.recordsAction();
    ASSERT_TRUE(run.engine().isRecording());
    EXPECT_FALSE(app.mainMenuShown()); // a running recording closes the menu
    const std::filesystem::path recording = run.engine().recordFile();
    // The cue is heard on the preview output while the mix, with both decks stopped, is silent.
    EXPECT_GT(peakOf(previewDevice.renderToMemory(8192)), 0.05f);
    EXPECT_EQ(mixPeak(run, 0.5), 0.0f);

    app.showMainMenu();
    app.recordsAction();
    EXPECT_FALSE(run.engine().isRecording());
    EXPECT_TRUE(app.recordingsShown()); // the recordings list is asked for
    EXPECT_EQ(app.mainMenu()->recordsNumLabel(), "1");
    auto reader = AudioFileReader::open(recording, AudioFileReader::Client::Stereo44100, nullptr);
    ASSERT_TRUE(reader);
    std::vector<float> recorded(size_t(reader->lengthFrames()) * 2);
    ASSERT_GT(reader->read(recorded.data(), reader->lengthFrames()), 0);
    EXPECT_EQ(peakOf(recorded), 0.0f) << "the rec cue reached the recording";

    // A pad pressed on the menu is in the mix.
    app.padPressed(2);
    EXPECT_GT(mixPeak(run, 0.3), 0.05f);
    app.padPressed(-1); // no pad: nothing happens
    app.padPressed(6);
    run.app().setPreviewPlayer(nullptr);
}

struct RecordingNotifier : DesktopNotifier {
    bool notify(const std::string& summary, const std::string& body,
                const std::string& sound) override {
        shown.push_back(summary + "|" + body + "|" +
                        std::filesystem::path(sound).filename().string());
        return true;
    }
    std::vector<std::string> shown;
};

TEST(MenuScreens, TheBatchEndsWithAlertAndSoundOrANotification) {
    for (const bool background : {false, true}) {
        SCOPED_TRACE(background ? "background" : "foreground");
        SoundsHome home;
        home.addTrack("first", false);
        home.addTrack("second", false);
        test::AppRun run(home);
        test::FakePreviewPlayer preview;
        RecordingNotifier notifier;
        DuovexAppDelegate& app = run.app();
        app.setPreviewPlayer(&preview);
        app.setDesktopNotifier(&notifier);

        app.showMainMenu();
        EXPECT_EQ(app.mainMenu()->notAnalyzedLabel(), "2");
        app.mainMenu()->batchRun();
        ASSERT_TRUE(app.batchShown());
        EXPECT_FALSE(app.waveformAnimating());
        EXPECT_TRUE(BatchAnalize::batchAnalysisRunning());
        if (background) {
            app.applicationWillResignActive();
        }
        // Each analysis runs to its end, then the loop hands its completion to the screen,
        // which starts the next one.
        for (int i = 0; i < 10 && app.batchShown(); ++i) {
            run.engine().waitForAnalyses();
            run.runFor(0.1);
        }
        ASSERT_FALSE(app.batchShown());
        EXPECT_FALSE(BatchAnalize::batchAnalysisRunning());
        EXPECT_EQ(app.batchAnalize()->noAnalyzing(), 2);
        app.mainMenu()->updateLables();
        EXPECT_EQ(app.mainMenu()->notAnalyzedLabel(), "0");
        if (background) {
            EXPECT_EQ(notifier.shown,
                      std::vector<std::string>{"Velvox Nexa|Analysis Complete|done.wav"});
            EXPECT_TRUE(preview.played.empty());
            EXPECT_FALSE(app.waveformAnimating()); // back when the application is active
        } else {
            EXPECT_TRUE(notifier.shown.empty());
            EXPECT_EQ(preview.played, std::vector<std::string>{"done.wav"});
            ASSERT_FALSE(run.alerts().shown.empty());
            EXPECT_EQ(run.alerts().shown.back().message, "Analysis Complete");
            EXPECT_TRUE(app.waveformAnimating());
        }
        // Nothing left: the menu says so instead of opening an empty screen.
        app.mainMenu()->batchRun();
        EXPECT_FALSE(app.batchShown());
        EXPECT_EQ(run.alerts().shown.back().message, "Nothing to analyze.");
        app.setPreviewPlayer(nullptr);
        app.setDesktopNotifier(nullptr);
    }
}

} // namespace
} // namespace vx
