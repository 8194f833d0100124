#include "EngineFixture.h"

#include "engine/DeckDecoder.h"
#include "dsp/lphpFilter.h"
#include "platform/AudioFileReader.h"
#include "platform/AudioFileWriter.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::frameCode;

constexpr float kCodeStep = 1.0f / 1048576.0f;

// An engine with real decode threads on the offline device, over generated WAV files.
class DeckDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vx-decoder-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
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
    void TearDown() override {
        engine_.reset();
        fs::remove_all(dir_);
    }

    // A float WAV whose samples encode their frame index (offset by `base`).
    fs::path makeTrack(const std::string& name, int32_t frames, int64_t base = 0) {
        const fs::path path = dir_ / "Music" / name;
        std::string error;
        auto writer = AudioFileWriter::create(path, AudioFileWriter::Format::WavFloat32, 44100, 2, &error);
        EXPECT_TRUE(writer) << error;
        std::vector<float> chunk;
        for (int32_t done = 0; done < frames;) {
            const int32_t n = std::min(65536, frames - done);
            chunk.resize(size_t(n) * 2);
            for (int32_t i = 0; i < n; ++i) {
                chunk[2 * i] = frameCode(base + done + i, 0);
                chunk[2 * i + 1] = frameCode(base + done + i, 1);
            }
            EXPECT_TRUE(writer->write(chunk.data(), n));
            done += n;
        }
        EXPECT_TRUE(writer->close());
        return path;
    }

    void loadAndSettle(int deck, const fs::path& path) {
        engine_->runDecode(deck, path);
        ASSERT_TRUE(engine_->settleDecoders(30.0));
        loop_.runDue();
    }

    // Makes the signal path transparent: pitch mode, unity gains, flat EQ, LP/HP wide open.
    void makeTransparent(audioStream& d) {
        d.pitchMode.store(true);
        for (auto& f : d.lphp) {
            *f = lphpFilter{};
        }
    }

    fs::path dir_;
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

    makeTransparent(d);
    d.position.store(0.0);
    engine_->startPlay();
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
    makeTransparent(d);
    // Frame codes stay below full scale (the output clips at 1.0) up to frame 2^20.
    d.position.store(31.0 * kBlockFrames);
    d.replanNeeded.store(true);
    engine_->settleDecoders();
    engine_->startPlay();
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
    const auto b = makeTrack("Beta.wav", 2 * kBlockFrames, 500000);
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
    makeTransparent(d);
    d.position.store(0.0);
    engine_->startPlay();
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
    EXPECT_FALSE(d.decoderThread.joinable());
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
    makeTransparent(d);
    d.position.store(0.0);
    engine_->startPlay();
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

} // namespace
} // namespace vx

namespace vx {
namespace {

TEST_F(DeckDecoderTest, AnMp3PlaysItsDecodedSamplesFromAnyStart) {
    const fs::path demo = fs::path(VX_RESOURCES_DIR) / "sound" / "Night Drive.mp3";
    ASSERT_TRUE(fs::exists(demo));
    loadAndSettle(0, demo);
    audioStream& d = engine_->deck(0);
    ASSERT_TRUE(d.isLoaded.load());
    makeTransparent(d);
    const int64_t start = 40 * 44100 + 123; // not on a block boundary
    d.position.store(static_cast<double>(start));
    d.replanNeeded.store(true);
    engine_->settleDecoders();
    engine_->startPlay();
    const int64_t frames = 3 * kBlockFrames;
    const auto out = device_.renderToMemory(frames);

    std::string error;
    auto reader = AudioFileReader::open(demo, AudioFileReader::Client::Stereo44100, &error);
    ASSERT_TRUE(reader) << error;
    ASSERT_TRUE(reader->seek(start));
    std::vector<float> expected(size_t(frames) * 2);
    ASSERT_EQ(reader->read(expected.data(), frames), frames);
    // FFmpeg's MP3 synthesis filter keeps a rotating buffer whose phase depends on how many
    // granules the decoder has produced since it was opened or flushed, so two reads that
    // reached the same frame by different seeks can differ in the last bit (about 1e-8 here).
    // Anything beyond float rounding would be a wrong frame: neighbouring frames of music
    // differ by orders of magnitude more.
    for (int64_t i = 256; i < frames; ++i) {
        ASSERT_NEAR(out[2 * i], expected[2 * i], 1e-6f) << i;
        ASSERT_NEAR(out[2 * i + 1], expected[2 * i + 1], 1e-6f) << i;
    }
}

// A click at second t of the file is heard at t / speed in pitch mode, through the whole path
// with the neutral LP/HP filter of a fresh load.
TEST_F(DeckDecoderTest, AClickIsHeardWhenTheSpeedSaysInPitchMode) {
    const int64_t clickFrame = 2 * 44100;
    const fs::path path = dir_ / "Music" / "Click.wav";
    {
        std::string error;
        auto writer = AudioFileWriter::create(path, AudioFileWriter::Format::WavFloat32, 44100, 2, &error);
        std::vector<float> frames(size_t(5 * 44100) * 2, 0.0f);
        frames[2 * clickFrame] = frames[2 * clickFrame + 1] = 0.9f;
        ASSERT_TRUE(writer->write(frames.data(), 5 * 44100));
        ASSERT_TRUE(writer->close());
    }
    for (double speed : {0.8, 1.0, 1.25}) {
        SCOPED_TRACE(speed);
        loadAndSettle(0, path);
        audioStream& d = engine_->deck(0);
        d.pitchMode.store(true);
        d.position.store(0.0);
        d.baseSpeed.store(speed);
        engine_->startPlay();
        const auto out = device_.renderToMemory(static_cast<int64_t>(4 * 44100 / speed));
        size_t peak = 0;
        for (size_t i = 0; i < out.size() / 2; ++i) {
            if (std::fabs(out[2 * i]) > std::fabs(out[2 * peak])) {
                peak = i;
            }
        }
        EXPECT_GT(std::fabs(out[2 * peak]), 0.2f);
        EXPECT_NEAR(static_cast<double>(peak), clickFrame / speed, 4.0);
        engine_->stopPlay();
    }
}

} // namespace
} // namespace vx
