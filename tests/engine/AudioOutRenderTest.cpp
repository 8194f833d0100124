#include "EngineFixture.h"

#include "engine/Transport.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <chrono>

namespace vx {
namespace {

using test::Engine;
using test::frameCode;
using test::kCodeStep;
using test::loadGenerated;

TEST(AudioOutRender, SetUpFailureLeavesAnEngineWithoutDecks) {
    // A device whose unit cannot be initialised (as PortAudio without a sound card).
    struct Broken : OfflineAudioDevice {
        int initializeUnit() override { return -9985; }
    } broken;
    LogCapture capture;
    AudioOut out(broken, nullptr);
    EXPECT_FALSE(out.init());
    EXPECT_EQ(out.fileStream[0], nullptr);
    EXPECT_EQ(out.fileStream[1], nullptr);
    EXPECT_TRUE(capture.contains("Error: couldn't initialize the remote I/O unit (-9985)"));
}

TEST(AudioOutRender, PlainPlaybackReproducesTheSourceFramesExactly) {
    Engine e;
    ASSERT_TRUE(e.ok);
    loadGenerated(e.out.deck(0), 200000, frameCode);
    e.playPlain(0, 1000.0);
    const auto out = e.render(70000); // crosses the block boundary at 32768 and 65536
    for (int64_t i = 0; i < 70000; ++i) {
        ASSERT_FLOAT_EQ(out[2 * i], (1000 + i) * kCodeStep) << "frame " << i;
        ASSERT_FLOAT_EQ(out[2 * i + 1], -(1000 + i) * kCodeStep) << "frame " << i;
    }
    EXPECT_DOUBLE_EQ(e.out.deck(0).position.load(), 71000.0);
}

TEST(AudioOutRender, HalfSpeedInterpolatesLinearlyBetweenFrames) {
    Engine e(256);
    loadGenerated(e.out.deck(0), 100000, frameCode);
    e.out.deck(0).baseSpeed.store(0.5);
    e.playPlain(0, 32700.0); // the interpolation crosses into the next block
    e.out.deck(0).speed.store(0.5);
    const auto out = e.render(512);
    for (int i = 0; i < 512; ++i) {
        ASSERT_NEAR(out[2 * i], (32700 + 0.5 * i) * kCodeStep, 1e-7) << i;
    }
}

TEST(AudioOutRender, BothDecksStoppedLeaveSamplesPlayedAlone) {
    Engine e;
    loadGenerated(e.out.deck(0), 100000, frameCode);
    e.out.startPlay();
    stopStream(e.out.deck(0));
    e.render(4096);
    EXPECT_EQ(e.out.samplesPlayedCount(), 0u);
    e.playPlain(0);
    e.render(4096);
    EXPECT_EQ(e.out.samplesPlayedCount(), 4096u);
}

TEST(AudioOutRender, FloatOutputClipsAtOneAndSixteenBitAt32767) {
    const auto loud = [](int64_t, int channel) { return channel == 0 ? 1.7f : -1.7f; };
    {
        Engine e;
        loadGenerated(e.out.deck(0), 50000, loud);
        e.playPlain(0);
        const auto out = e.render(1024);
        EXPECT_EQ(out[200], 1.0f);
        EXPECT_EQ(out[201], -1.0f);
    }
    {
        // 16-bit output: full scale is 32767, master gain starts at full scale, so a sample of
        // 1.7 becomes 55704 before the clip.
        Engine e(1024, SampleFormat::Int16Interleaved);
        EXPECT_FLOAT_EQ(e.out.fullScale(), 32767.0f);
        loadGenerated(e.out.deck(0), 50000, loud);
        e.playPlain(0);
        std::vector<int16_t> pcm;
        e.device.pull(1024, [&](const float*, uint32_t n, const AudioBufferList& raw) {
            const auto* p = static_cast<const int16_t*>(raw.buffers[0].data);
            pcm.assign(p, p + 2 * n);
            return true;
        });
        EXPECT_EQ(pcm[200], 32767);
        EXPECT_EQ(pcm[201], -32767);
    }
}

TEST(AudioOutRender, MasterGainScalesByThreeQuartersOfFullScale) {
    Engine e;
    loadGenerated(e.out.deck(0), 50000, [](int64_t, int) { return 0.8f; });
    e.out.setGain(3.0f); // clamped to 1
    EXPECT_FLOAT_EQ(e.out.masterGain(), 0.75f);
    e.out.setGain(0.5f);
    e.playPlain(0);
    const auto out = e.render(256);
    EXPECT_FLOAT_EQ(out[100], 0.8f * 0.375f);
}

// The load figure: the callback's time over the audio's, measured by every callback.
TEST(AudioOutRender, TheCpuLoadIsTheCallbacksShareOfItsBuffersTime) {
    Engine e(1024);
    EXPECT_EQ(e.out.lastCpuLoad(), 0.0);
    loadGenerated(e.out.deck(0), 100000, test::sine(440.0));
    e.playPlain(0);
    const auto start = std::chrono::steady_clock::now();
    e.render(1024);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    // The callback's time lies within the call's wall time; the buffer lasts 1024 / 44100 s.
    const double load = e.out.lastCpuLoad();
    EXPECT_GT(load, 0.0);
    EXPECT_LE(load, wall.count() / (1024.0 / 44100.0));
}

TEST(AudioOutRender, MeterKeepsThreeQuartersOfItsLastValue) {
    Engine e(512);
    loadGenerated(e.out.deck(0), 100000, [](int64_t, int) { return 0.4f; });
    e.playPlain(0);
    float expected = 0.0f;
    for (int buffer = 0; buffer < 6; ++buffer) {
        e.render(512);
        expected = 0.4f * 0.25f + expected * 0.75f;
        EXPECT_NEAR(e.out.deck(0).meterLevel.load(), expected, 1e-6f) << buffer;
        EXPECT_EQ(e.out.deck(0).meterLevelHold.load(), e.out.deck(0).meterLevel.load());
    }
}

TEST(AudioOutRender, MissingBlockGivesSkipBufferAndSilenceNotStaleAudio) {
    Engine e(1024);
    loadGenerated(e.out.deck(0), 200000, frameCode, /*missing=*/{1});
    e.playPlain(0, 32768.0 - 2048.0);
    LogCapture capture;
    auto out = e.render(2048); // the last of block 0
    EXPECT_FLOAT_EQ(out[2 * 2047], (32767) * kCodeStep);
    out = e.render(1024); // block 1 is missing
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
    EXPECT_TRUE(e.out.deck(0).replanNeeded.load());
    EXPECT_DOUBLE_EQ(e.out.deck(0).position.load(), 32768.0 + 1024.0);
    e.out.serviceRenderRequests(); // drains the render thread's log lines
    EXPECT_TRUE(capture.contains("skip buffer"));

    // From a lead-in 256 frames before the start, with the first block missing: the buffer's
    // first 256 frames were the lead-in, so the skip moves on by the 768 that were not read.
    Engine lead(1024);
    loadGenerated(lead.out.deck(0), 200000, frameCode, /*missing=*/{0});
    lead.playPlain(0, -256.0);
    lead.render(1024);
    EXPECT_DOUBLE_EQ(lead.out.deck(0).position.load(), 768.0);
}

TEST(AudioOutRender, LoopWrapsToItsStartAfterPassingItsEnd) {
    Engine e(256);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, frameCode);
    d.loopStart.store(1000);
    d.loopEnd.store(1100);
    d.loopActive.store(true);
    e.playPlain(0, 1000.0);
    const auto out = e.render(256);
    // Frames 1000…1100 play (the wrap happens once the position is beyond the end), then
    // 1000 again.
    EXPECT_FLOAT_EQ(out[2 * 100], 1100 * kCodeStep);
    EXPECT_FLOAT_EQ(out[2 * 101], 1000 * kCodeStep);
    EXPECT_FLOAT_EQ(out[2 * 202], 1000 * kCodeStep);
}

TEST(AudioOutRender, EndOfACrateTrackStopsTheDeckAndAsksMainForTheNextOne) {
    for (int crate : {-1, 2}) {
        SCOPED_TRACE(crate);
        Engine e(1024);
        audioStream& d = e.out.deck(1);
        loadGenerated(d, 5000, frameCode);
        d.crateIndex.store(crate);
        std::vector<int> requests;
        e.out.setNextLoadHandler([&](int deck) { requests.push_back(deck); });
        e.playPlain(1, 4000.0);
        const auto out = e.render(2048);
        EXPECT_FALSE(d.isPlaying.load());
        EXPECT_FLOAT_EQ(out[2 * 999], 4999 * kCodeStep);
        EXPECT_EQ(out[2 * 1000], 0.0f);
        EXPECT_TRUE(requests.empty()); // delivered only on the main thread
        e.out.serviceRenderRequests();
        EXPECT_EQ(requests, crate >= 0 ? std::vector<int>{1} : std::vector<int>{});
    }
}

TEST(AudioOutRender, PlayFadesInOver256FramesAndStopFadeSilencesTheRest) {
    Engine e(1024);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, [](int64_t, int) { return 0.5f; });
    d.pitchMode.store(true);
    e.out.startPlay(); // the play operation: fade-in from 0 over 256 frames
    auto out = e.render(1024);
    for (int i = 0; i < 256; ++i) {
        ASSERT_NEAR(out[2 * i], 0.5f * (i + 1) / 256.0f, 1e-5f) << i;
    }
    EXPECT_EQ(out[2 * 256], 0.5f);
    EXPECT_EQ(out[2 * 1023], 0.5f);

    // A fade-out to 0 over 512 frames: silent after its end and the deck stops with the buffer.
    d.outputRamp.start(1.0f, 0.0f, 512);
    out = e.render(1024);
    EXPECT_NEAR(out[2 * 255], 0.5f * (1.0f - 256.0f / 512.0f), 1e-5f);
    EXPECT_EQ(out[2 * 600], 0.0f);
    EXPECT_FALSE(d.isPlaying.load());
}

TEST(AudioOutRender, PositionTriggerAndCountdownFireOnTheRenderThreadOnce) {
    Engine e(512);
    audioStream& d = e.out.deck(0);
    loadGenerated(d, 100000, frameCode);
    // The selector records where the deck was when the message came.
    static std::vector<double> positions;
    static audioStream* deckSeen;
    positions.clear();
    positions.reserve(4); // the selector runs inside the render callback: no allocation
    deckSeen = &d;
    const TriggerSelector selector = [](void* target, int deck) {
        EXPECT_EQ(deck, 0);
        EXPECT_EQ(target, deckSeen);
        positions.push_back(deckSeen->position.load());
    };
    armPositionTrigger(d, 700, &d, selector);
    e.playPlain(0, 0.0);
    e.render(2048);
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_DOUBLE_EQ(positions[0], 700.0);
    EXPECT_FALSE(d.triggerArmed.load());

    // A countdown disarms the trigger: the one at 2848 (in the next buffer) never fires.
    armPositionTrigger(d, 2848, &d, selector);
    setCountdown(d, 300, &d, selector);
    e.render(1024);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_DOUBLE_EQ(positions[1], 2048.0 + 299.0);
}

TEST(AudioOutRender, AnInterruptionStopsTheUnitAndItsEndRestartsIt) {
    Engine e(256);
    loadGenerated(e.out.deck(0), 100000, frameCode);
    e.playPlain(0);
    e.device.initializeSession([&](bool begins) { e.out.sessionInterrupted(begins); });
    LogCapture capture;
    e.device.interrupt(true);
    EXPECT_TRUE(capture.contains("Session interrupted! --- Begin Interruption ---"));
    EXPECT_FALSE(e.device.isRunning());
    EXPECT_TRUE(e.out.interrupted());
    const double before = e.out.deck(0).position.load();
    e.render(256); // a stopped unit renders nothing of the decks
    EXPECT_EQ(e.out.deck(0).position.load(), before);
    e.device.interrupt(false);
    EXPECT_TRUE(capture.contains("Session interrupted! --- End Interruption ---"));
    EXPECT_TRUE(e.device.isRunning());
    EXPECT_FALSE(e.out.interrupted());
    e.render(256);
    EXPECT_EQ(e.out.deck(0).position.load(), before + 256);
}

} // namespace
} // namespace vx
