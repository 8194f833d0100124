// The preview player on an offline device: what it renders is the file's frames from the
// position asked for, scaled by the volume; pause keeps the position, stop goes back to 0,
// the end is reported once on the main loop; an unreadable file plays nothing.

#include "EngineFixture.h"

#include "engine/PreviewPlayer.h"
#include "platform/Clock.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <vector>

namespace vx {
namespace {

constexpr int64_t kFrames = 44100; // one second
constexpr uint32_t kBuffer = 512;

// Left = frame index / kFrames (each frame tells its position), right = −left.
float leftOf(int64_t frame) {
    return float(frame) / float(kFrames) * 0.5f;
}

class PreviewPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = dir_.path() / "ramp.wav";
        ASSERT_TRUE(test::writeTrack(file_, kFrames, [](int64_t frame, int channel) {
            return channel == 0 ? leftOf(frame) : -leftOf(frame);
        }));
    }
    // Renders `frames` frames; interleaved stereo.
    std::vector<float> render(int64_t frames) { return device_.renderToMemory(frames); }

    test::TempDir dir_;
    std::filesystem::path file_;
    ManualClock clock_;
    RunLoop loop_{clock_};
    OfflineAudioDevice device_{OfflineAudioDevice::Options{.bufferFrames = kBuffer}};
    DevicePreviewPlayer player_{device_, loop_};
};

TEST_F(PreviewPlayerTest, PlaysSeeksPausesAndReportsTheEndOnce) {
    int ends = 0;
    player_.setEndHandler([&] { ++ends; });
    ASSERT_TRUE(player_.open(file_));
    EXPECT_DOUBLE_EQ(player_.duration(), 1.0);
    ASSERT_TRUE(player_.play());
    player_.setVolume(0.5f);

    std::vector<float> out = render(1000);
    for (int64_t i : {0, 1, 511, 512, 999}) {
        EXPECT_FLOAT_EQ(out[size_t(2 * i)], 0.5f * leftOf(i)) << i;
        EXPECT_FLOAT_EQ(out[size_t(2 * i + 1)], -0.5f * leftOf(i)) << i;
    }
    EXPECT_NEAR(player_.currentTime(), 1000.0 / 44100.0, 1e-9);

    // A seek while playing takes effect at the next buffer, to the frame.
    player_.seek(0.5);
    EXPECT_DOUBLE_EQ(player_.currentTime(), 0.5);
    out = render(kBuffer);
    EXPECT_FLOAT_EQ(out[0], 0.5f * leftOf(22050));
    EXPECT_FLOAT_EQ(out[2 * 100], 0.5f * leftOf(22150));

    // Paused: silence, and the position stays.
    player_.pause();
    const double paused = player_.currentTime();
    out = render(kBuffer);
    EXPECT_FLOAT_EQ(*std::max_element(out.begin(), out.end()), 0.0f);
    EXPECT_DOUBLE_EQ(player_.currentTime(), paused);

    // Played to the end: the rest of the file, then silence; the end is told once, on the loop.
    ASSERT_TRUE(player_.play());
    out = render(kFrames);
    const int64_t rest = kFrames - std::llround(paused * 44100.0);
    EXPECT_FLOAT_EQ(out[size_t(2 * (rest - 1))], 0.5f * leftOf(kFrames - 1));
    EXPECT_FLOAT_EQ(out[size_t(2 * rest)], 0.0f);
    EXPECT_EQ(ends, 0);
    loop_.runDue();
    loop_.runDue();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(player_.playing());

    // Stop goes back to the start; play again starts there.
    player_.stop();
    EXPECT_DOUBLE_EQ(player_.currentTime(), 0.0);
    ASSERT_TRUE(player_.play());
    out = render(kBuffer);
    EXPECT_FLOAT_EQ(out[2 * 10], 0.5f * leftOf(10));
}

// On a device with a render thread of its own, as in the application: the file plays to its
// end there and the end reaches the main loop (the sanitizers watch the hand-over).
TEST_F(PreviewPlayerTest, OnItsOwnRenderThreadTheEndReachesTheLoop) {
    SystemClock clock;
    RunLoop loop(clock);
    OfflineAudioDevice device(
        OfflineAudioDevice::Options{.bufferFrames = kBuffer, .ownThread = true});
    DevicePreviewPlayer player(device, loop);
    bool ended = false;
    player.setEndHandler([&] { ended = true; });
    ASSERT_TRUE(player.playFile(file_));
    EXPECT_TRUE(loop.runUntil([&] { return ended; }, 30.0));
    EXPECT_FALSE(player.playing());
    EXPECT_DOUBLE_EQ(player.currentTime(), player.duration());
}

TEST_F(PreviewPlayerTest, AFileThatIsNoAudioPlaysNothing) {
    const auto bad = dir_.path() / "bad.wav";
    std::ofstream(bad) << "not audio";
    EXPECT_FALSE(player_.open(bad));
    EXPECT_FALSE(player_.play());
    EXPECT_DOUBLE_EQ(player_.duration(), 0.0);
    EXPECT_FALSE(player_.playFile(dir_.path() / "missing.wav"));
}

} // namespace
} // namespace vx
