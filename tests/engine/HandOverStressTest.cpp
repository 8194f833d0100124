// The hand-over between threads under load, for the thread sanitizer to judge: the render
// thread plays both decks without pause while deck 0 is reloaded 200 times, the analysis of
// every load starts and ends, and the main thread draws both waveforms, scans the beat grids
// and clears the playing deck's EQ history (as a cue jump does) in between.

#include "EngineFixture.h"

#include "analysis/peakFileData.h"
#include "controls/waveControl.h"
#include "engine/DeckBeats.h"
#include "engine/DeckDecoder.h"
#include "engine/DeckEffects.h"
#include "platform/AudioFileWriter.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vx {
namespace {

std::filesystem::path writeTrack(const test::TempDir& dir, const std::string& name,
                                 int32_t frames) {
    EXPECT_TRUE(test::writeTrack(dir.file(name), frames, test::sine(330.0), 44100,
                                 AudioFileWriter::Format::WavInt16));
    return dir.file(name);
}

TEST(HandOverStress, ReloadingADeck200TimesWhileBothPlayAndDraw) {
    test::TempDir dir;
    const std::filesystem::path tracks[] = {writeTrack(dir, "a.wav", 3 * 44100),
                                            writeTrack(dir, "b.wav", 5 * 44100)};
    SystemClock clock;
    RunLoop loop(clock);
    NotificationCenter notifications(loop);
    EngineServices services;
    services.loop = &loop;
    services.notifications = &notifications;
    OfflineAudioDevice device(OfflineAudioDevice::Options{.bufferFrames = 256});
    AudioOut engine(device, &loop, &services);
    ASSERT_TRUE(engine.init() && engine.StartSound());
    waveControl wave0(engine, 0), wave1(engine, 1);

    engine.runDecode(1, tracks[1]);
    ASSERT_TRUE(engine.settleDecoders(30.0));
    engine.deck(1).isPlaying.store(true);
    deckSetEqLow(engine.deck(1), -6.0f, 0); // a non-flat EQ: its filters run every buffer
    engine.startPlay();

    std::atomic<bool> stop{false};
    std::atomic<int64_t> rendered{0};
    std::thread render([&] {
        while (!stop.load()) {
            rendered += int64_t(device.renderToMemory(256).size() / 2);
        }
    });
    int loaded = 0;
    for (int i = 0; i < 200; ++i) {
        engine.runDecode(0, tracks[i % 2]);
        // Draw and scan while the open runs and after it, the loop handing results over.
        for (int pass = 0; pass < 3 || engine.deckOpening(0); ++pass) {
            wave0.fillWaveData();
            wave1.fillWaveData();
            resetEqState(engine.deck(1)); // what a cue jump does to the playing deck
            for (int d = 0; d < 2; ++d) {
                const audioStream& s = engine.deck(d);
                nextBeatFromFrame(s, s.position.load(), kBeatAny);
                if (const auto track = s.track()) {
                    loaded += track->peaks && track->peaks->count > 0;
                }
            }
            loop.runDue();
        }
        if (engine.deck(0).isLoaded.load()) {
            engine.deck(0).isPlaying.store(true);
        }
    }
    ASSERT_TRUE(engine.settleDecoders(30.0));
    engine.waitForAnalyses();
    stop.store(true);
    render.join();
    loop.runDue();
    EXPECT_GT(rendered.load(), 0);
    EXPECT_GE(loaded, 600);
    EXPECT_EQ(engine.deck(0).trackFile(), tracks[1]); // the last load won
    EXPECT_TRUE(engine.deck(0).isLoaded.load());
}

} // namespace
} // namespace vx
