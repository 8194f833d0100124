// The settings' "Audio output" group: a buffer size chosen is stored and the output restarts
// with it at once, the playing deck going on from where it was; what is not offered is
// refused; the next launch sets the output up with the stored choice.

#include "AppFixture.h"

#include "app/AudioOutputSettings.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

double deviceFrames(test::AppRun& run) {
    return run.device().hardwareBufferDuration() * 44100.0;
}

TEST(AudioOutputSettings, ABufferSizeAppliesAtOnceAndSurvivesARestart) {
    test::AppHome home;
    {
        test::AppRun run(home);
        DuovexAppDelegate& app = run.app();
        app.mixingScreen()->playStop(0);
        run.runFor(0.5);
        ASSERT_TRUE(run.deck(0).isPlaying.load());

        app.showSettings();
        AudioOutputSettings& audio = *app.audioOutput();
        EXPECT_EQ(audio.names(), std::vector<std::string>{"Offline output"});
        EXPECT_EQ(audio.bufferFrames(), 1024u);
        const double before = run.deck(0).position.load();
        ASSERT_TRUE(audio.selectBufferFrames(256));
        EXPECT_DOUBLE_EQ(deviceFrames(run), 256.0);
        EXPECT_TRUE(run.engine().initialized());
        EXPECT_TRUE(run.deck(0).isPlaying.load());
        EXPECT_DOUBLE_EQ(run.deck(0).position.load(), before); // nothing lost or skipped
        run.runFor(0.5);
        EXPECT_NEAR(run.deck(0).position.load() - before, 0.5 * 44100.0 * run.deck(0).speed.load(),
                    2048.0);

        for (const uint32_t refused : {0u, 100u, 4096u}) {
            EXPECT_FALSE(audio.selectBufferFrames(refused)) << refused;
        }
        EXPECT_FALSE(audio.selectOutput(1));
        EXPECT_EQ(audio.bufferFrames(), 256u);
        EXPECT_EQ(AudioOutputSettings::latencyText(128), "2.9 ms");
        EXPECT_EQ(AudioOutputSettings::latencyText(2048), "46.4 ms");
    }
    EXPECT_EQ(home.savedDefaults().integerForKey("kBufferFrames"), 256);
    test::AppRun again(home);
    EXPECT_DOUBLE_EQ(deviceFrames(again), 256.0);
}

} // namespace
} // namespace vx
