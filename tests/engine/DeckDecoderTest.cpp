#include "EngineFixture.h"

#include "analysis/peakFileData.h"
#include "dsp/lphpFilter.h"
#include "engine/DeckDecoder.h"
#include "engine/Transport.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "library/VXAudioFileInfo.h"
#include "platform/AudioFileReader.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::frameCode;
using test::kCodeStep;

// An engine with real decode threads on the offline device, over generated WAV files.
class DeckDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_ / "Music");
        defaults_ = std::make_unique<UserDefaults>(dir_ / "settings.json");
        services_.defaults = defaults_.get();
        services_.notifications = &notifications_;
        services_.loop = &loop_;
        device_.attachRunLoop(&loop_, &clock_);
        engine_ = std::make_unique<AudioOut>(device_, &loop_, &services_);
        ASSERT_TRUE(engine_->init());
        ASSERT_TRUE(engine_->StartSound());
        device_.setSettleHook([this] { engine_->settleDecoders(); });
    }

    // A float WAV of `frames` frames of `signal` (by default samples that encode their frame).
    fs::path makeTrack(const std::string& name, int32_t frames,
                       const test::Signal& signal = frameCode) {
        const fs::path path = dir_ / "Music" / name;
        EXPECT_TRUE(test::writeTrack(path, frames, signal)) << path;
        return path;
    }

    void loadAndSettle(int deck, const fs::path& path) {
        engine_->runDecode(deck, path);
        ASSERT_TRUE(engine_->settleDecoders(30.0));
        loop_.runDue();
    }

    // Plays the deck from `position` (its blocks decoded first) through a transparent path:
    // pitch mode and the LP/HP filters wide open; the fade-in stays on.
    void playFrom(audioStream& d, double position) {
        d.pitchMode.store(true);
        for (auto& f : d.lphp) {
            *f = lphpFilter{};
        }
        d.position.store(position);
        d.replanNeeded.store(true);
        engine_->settleDecoders();
        engine_->startPlay();
    }

    test::LibraryTempDir home_; // removed after everything below
    const fs::path dir_ = home_.path();
    ManualClock clock_;
    RunLoop loop_{clock_};
    NotificationCenter notifications_{loop_};
    std::unique_ptr<UserDefaults> defaults_;
    EngineServices services_;
    OfflineAudioDevice device_{OfflineAudioDevice::Options{.bufferFrames = 1024}};
    std::unique_ptr<AudioOut> engine_;
};

TEST_F(DeckDecoderTest, ALoadedTrackPlaysItsDecodedSamplesExactlyAfterTheFadeIn) {
    const auto track = makeTrack("Thirty Blocks.wav", 30 * kBlockFrames + 1234);
    std::vector<int> opened;
    notifications_.addObserver(this, "fileOpened", [&](const Notification& n) {
        opened.push_back(std::get<int>(n.object));
    });
    loadAndSettle(0, track);
    audioStream& d = engine_->deck(0);
    ASSERT_TRUE(d.isLoaded.load());
    EXPECT_EQ(d.lengthFrames.load(), 30 * kBlockFrames + 1234);
    EXPECT_EQ(d.numBlocks.load(), 31);
    loop_.runDue();
    EXPECT_EQ(opened, std::vector<int>{0});
    EXPECT_TRUE(fs::exists(dir_ / "Music" / "Thirty Blocks.peak"));

    playFrom(d, 0.0);
    LogCapture capture;
    const auto out = device_.renderToMemory(25 * kBlockFrames); // far beyond the first plan
    for (int64_t i = 256; i < 25 * kBlockFrames; ++i) {
        ASSERT_EQ(out[2 * i], i * kCodeStep) << "frame " << i;
        ASSERT_EQ(out[2 * i + 1], -i * kCodeStep) << "frame " << i;
    }
    engine_->serviceRenderRequests();
    EXPECT_FALSE(capture.contains("skip buffer"));
}

TEST_F(DeckDecoderTest, BackwardsPlaybackAndJumpsAreServedFromTheRing) {
    const auto track = makeTrack("Back.wav", 40 * kBlockFrames);
    loadAndSettle(1, track);
    audioStream& d = engine_->deck(1);
    // Frame codes stay below full scale (the output clips at 1.0) up to frame 2^20.
    playFrom(d, 31.0 * kBlockFrames);
    d.outputRamp.On.store(false);
    d.speed.store(-1.0);
    d.baseSpeed.store(-1.0);
    LogCapture capture;
    const auto out = device_.renderToMemory(12 * kBlockFrames);
    for (int64_t i = 0; i < 12 * kBlockFrames; i += 997) {
        ASSERT_FLOAT_EQ(out[2 * i], (31 * kBlockFrames - i) * kCodeStep) << i;
    }
    engine_->serviceRenderRequests();
    EXPECT_FALSE(capture.contains("skip buffer"));
}

TEST_F(DeckDecoderTest, AHundredQuickLoadsLeaveOneThreadAndSaveEveryClosedTrack) {
    const auto a = makeTrack("Alpha.wav", 3 * kBlockFrames);
    const auto b = makeTrack("Beta.wav", 2 * kBlockFrames,
                             [](int64_t frame, int c) { return frameCode(500000 + frame, c); });
    audioStream& d = engine_->deck(0);
    for (int i = 0; i < 100; ++i) {
        engine_->runDecode1(i % 2 ? b : a);
        if (i == 50) {
            d.baseSpeed.store(1.05); // whatever is loaded then is remembered with this speed
        }
    }
    ASSERT_TRUE(engine_->settleDecoders(30.0));
    EXPECT_EQ(engine_->decoder(0)->loads(), 100);
    ASSERT_TRUE(d.isLoaded.load());
    EXPECT_EQ(d.lengthFrames.load(), 2 * kBlockFrames); // the last load was Beta
    playFrom(d, 0.0);
    d.outputRamp.On.store(false);
    const auto out = device_.renderToMemory(1000);
    EXPECT_EQ(out[2 * 999], (500000 + 999) * kCodeStep);

    // Replacing Beta saves its memory too.
    engine_->runDecode1(a);
    ASSERT_TRUE(engine_->settleDecoders(30.0));
    EXPECT_TRUE(defaults_->mapForKey("Music_Beta.wav").has_value());
    engine_->closeDecoders();
    EXPECT_TRUE(defaults_->mapForKey("Music_Alpha.wav").has_value());
    EXPECT_FALSE(d.isLoaded.load());
}

TEST_F(DeckDecoderTest, AnUnreadableFileLeavesTheDeckUnloadedWithALogLine) {
    const fs::path text = dir_ / "Music" / "notes.mp3";
    std::ofstream(text) << "not audio at all";
    LogCapture capture;
    loadAndSettle(0, text);
    EXPECT_FALSE(engine_->deck(0).isLoaded.load());
    EXPECT_TRUE(capture.contains("notes.mp3"));
}

TEST_F(DeckDecoderTest, DeletingTheFileOfALoadedTrackBreaksNothing) {
    const auto track = makeTrack("Gone.wav", 25 * kBlockFrames);
    loadAndSettle(0, track);
    audioStream& d = engine_->deck(0);
    playFrom(d, 0.0);
    fs::remove(track);
    const auto out = device_.renderToMemory(22 * kBlockFrames);
    EXPECT_EQ(out[2 * (21 * kBlockFrames)], (21 * kBlockFrames) * kCodeStep);
    engine_->closeDecoders();
    EXPECT_FALSE(d.isLoaded.load());
}

TEST_F(DeckDecoderTest, TheTrackVolumeIsRememberedAcrossLoads) {
    const auto a = makeTrack("Loud.wav", kBlockFrames);
    const auto b = makeTrack("Other.wav", kBlockFrames);
    loadAndSettle(0, a);
    engine_->deck(0).volume.store(0.6f);
    loadAndSettle(0, b);
    EXPECT_EQ(engine_->deck(0).volume.load(), 1.0f);
    loadAndSettle(0, a);
    EXPECT_FLOAT_EQ(engine_->deck(0).volume.load(), 0.6f);
}

TEST_F(DeckDecoderTest, AnMp3PlaysItsDecodedSamplesFromAnyStart) {
    const fs::path demo = fs::path(VX_RESOURCES_DIR) / "sound" / "Night Drive.mp3";
    ASSERT_TRUE(fs::exists(demo));
    loadAndSettle(0, demo);
    audioStream& d = engine_->deck(0);
    ASSERT_TRUE(d.isLoaded.load());
    const int64_t start = 40 * 44100 + 123; // not on a block boundary
    playFrom(d, static_cast<double>(start));
    const int64_t frames = 3 * kBlockFrames;
    const auto out = device_.renderToMemory(frames);

    std::string error;
    auto reader = AudioFileReader::open(demo, AudioFileReader::Client::Stereo44100, &error);
    ASSERT_TRUE(reader) << error;
    ASSERT_TRUE(reader->seek(start));
    std::vector<float> expected(size_t(frames) * 2);
    ASSERT_EQ(reader->read(expected.data(), frames), frames);
    // Two MP3 reads that reached a frame by different seeks may differ in the last bit (FFmpeg's
    // synthesis filter state, about 1e-8); a wrong frame would differ by orders of magnitude.
    for (int64_t i = 256; i < frames; ++i) {
        ASSERT_NEAR(out[2 * i], expected[2 * i], 1e-6f) << i;
        ASSERT_NEAR(out[2 * i + 1], expected[2 * i + 1], 1e-6f) << i;
    }
}

// A click at second t of the file is heard at t / speed in pitch mode, through the whole path
// with the neutral LP/HP filter of a fresh load.
TEST_F(DeckDecoderTest, AClickIsHeardWhenTheSpeedSaysInPitchMode) {
    constexpr int64_t clickFrame = 2 * 44100;
    const fs::path path = makeTrack("Click.wav", 5 * 44100, [](int64_t frame, int) {
        return frame == clickFrame ? 0.9f : 0.0f;
    });
    for (double speed : {0.8, 1.0, 1.25}) {
        SCOPED_TRACE(speed);
        loadAndSettle(0, path);
        audioStream& d = engine_->deck(0);
        d.pitchMode.store(true);
        d.position.store(0.0);
        d.baseSpeed.store(speed);
        engine_->startPlay();
        const auto out = device_.renderToMemory(static_cast<int64_t>(4 * 44100 / speed));
        const auto [peak, level] = test::loudest(out);
        EXPECT_GT(level, 0.2f);
        EXPECT_NEAR(static_cast<double>(peak), clickFrame / speed, 4.0);
        engine_->stopPlay();
    }
}

// A track without a tempo starts its analysis when it is loaded; the deck keeps playing while
// the analysis fills the peak data they share, and ends up with the detected tempo.
TEST_F(DeckDecoderTest, TheDeckPlaysOnWhileItsAnalysisFillsTheSharedPeaks) {
    // 20 s of a click every half second (120 BPM) over a quiet tone.
    const fs::path track = makeTrack("Clicks.wav", 20 * 44100, [](int64_t i, int) {
        const float click = (i % 22050) < 200 ? 0.8f * (1.0f - (i % 22050) / 200.0f) : 0.0f;
        return click + 0.01f * std::sin(i * 0.05f);
    });
    bool analysed = false;
    notifications_.addObserver(&analysed, "Analyze Complete", [&](const Notification& n) {
        analysed = std::get<std::string>(n.object) == track.string();
    });
    engine_->runDecode1(track);
    ASSERT_TRUE(engine_->settleDecoders(30.0));
    audioStream& deck = engine_->deck(0);
    ASSERT_TRUE(deck.isLoaded.load());
    engine_->startPlay();
    LogCapture capture;
    // Render until the analysis is done (bounded by wall time, not by a count of buffers:
    // a busy machine may need many more buffers than an idle one).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!analysed && std::chrono::steady_clock::now() < deadline) {
        device_.renderToMemory(1024);
    }
    EXPECT_TRUE(analysed);
    EXPECT_TRUE(deck.isPlaying.load() || deck.position.load() > 0);
    engine_->serviceRenderRequests();
    EXPECT_FALSE(capture.contains("skip buffer"));
    EXPECT_NEAR(deck.peakData()->bpm.load(), 120.0, 0.5);
    EXPECT_FALSE(deck.needsAnalysis.load());
    engine_->joinAnalyses(true);
}

// The first play after a load counts once in the database, on the main thread's service pass;
// later plays of the same load do not.
TEST_F(DeckDecoderTest, TheFirstPlayAfterALoadCountsOnceInTheDatabase) {
    const Paths paths = Paths::forHome(dir_);
    std::string error;
    ASSERT_TRUE(paths.ensureWritableFolders(&error)) << error;
    const auto track = paths.documents() / "Count Me.wav";
    ASSERT_TRUE(test::writeTone(track, 3.0));
    services_.db = DBController::init(paths, &error);
    ASSERT_TRUE(services_.db) << error;
    services_.db->addFileToDB(*VXAudioFileInfo::initWithFile(track, paths), 0);
    loadAndSettle(0, track);
    ASSERT_TRUE(engine_->deck(0).isLoaded.load());
    device_.attachRunLoop(nullptr, nullptr); // renders no longer pump the main thread's loop

    const auto playCount = [&] { return services_.db->getFullInfoForFile(track)->playcount; };
    const int before = playCount();
    engine_->startPlay();
    device_.renderToMemory(2048);
    EXPECT_EQ(playCount(), before); // not counted on the render path
    engine_->serviceRenderRequests();
    EXPECT_EQ(playCount(), before + 1);

    deckStop(engine_->deck(0));
    engine_->startPlay();
    engine_->serviceRenderRequests();
    EXPECT_EQ(playCount(), before + 1);
}

} // namespace
} // namespace vx
