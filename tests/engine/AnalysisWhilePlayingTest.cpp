#include "EngineFixture.h"

#include "analysis/peakFileData.h"
#include "engine/DeckDecoder.h"
#include "platform/AudioFileWriter.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <chrono>

#include <filesystem>

namespace vx {
namespace {

namespace fs = std::filesystem;

// A track without a tempo starts its analysis when it is loaded; the deck keeps playing while
// the analysis fills the peak data they share, and ends up with the detected tempo.
TEST(AnalysisWhilePlaying, TheDeckPlaysOnWhileItsAnalysisFillsTheSharedPeaks) {
    const fs::path dir =
        fs::temp_directory_path() / ("vx-analysis-play-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path track = dir / "Clicks.wav";
    {
        // 20 s of a click every half second (120 BPM) over a quiet tone.
        std::string error;
        auto writer =
            AudioFileWriter::create(track, AudioFileWriter::Format::WavFloat32, 44100, 2, &error);
        ASSERT_TRUE(writer) << error;
        std::vector<float> frames(size_t(20 * 44100) * 2);
        for (size_t i = 0; i < frames.size() / 2; ++i) {
            const bool click = (i % 22050) < 200;
            const float v = click ? 0.8f * (1.0f - (i % 22050) / 200.0f) : 0.0f;
            frames[2 * i] = frames[2 * i + 1] = v + 0.01f * std::sin(i * 0.05f);
        }
        ASSERT_TRUE(writer->write(frames.data(), 20 * 44100));
        ASSERT_TRUE(writer->close());
    }
    ManualClock clock;
    RunLoop loop(clock);
    NotificationCenter notifications(loop);
    EngineServices services;
    services.loop = &loop;
    services.notifications = &notifications;
    OfflineAudioDevice device;
    device.attachRunLoop(&loop, &clock);
    {
        AudioOut engine(device, &loop, &services);
        ASSERT_TRUE(engine.init());
        ASSERT_TRUE(engine.StartSound());
        device.setSettleHook([&] { engine.settleDecoders(); });
        bool analysed = false;
        notifications.addObserver(&analysed, "Analyze Complete", [&](const Notification& n) {
            analysed = std::get<std::string>(n.object) == track.string();
        });
        engine.runDecode1(track);
        ASSERT_TRUE(engine.settleDecoders(30.0));
        audioStream& deck = engine.deck(0);
        ASSERT_TRUE(deck.isLoaded.load());
        engine.startPlay();
        LogCapture capture;
        // Render until the analysis is done (bounded by wall time, not by a count of buffers:
        // a busy machine may need many more buffers than an idle one).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!analysed && std::chrono::steady_clock::now() < deadline) {
            device.renderToMemory(1024);
        }
        EXPECT_TRUE(analysed);
        EXPECT_TRUE(deck.isPlaying.load() || deck.position.load() > 0);
        engine.serviceRenderRequests();
        EXPECT_FALSE(capture.contains("skip buffer"));
        EXPECT_NEAR(deck.peaks->bpm.load(), 120.0, 0.5);
        EXPECT_FALSE(deck.needsAnalysis.load());
        engine.joinAnalyses(true);
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace vx
