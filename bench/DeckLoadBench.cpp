// Track loading and the decoder keeping ahead.
//
// Load latency: from the load request on the main thread to the first block decoded in the
// deck's ring, for a five-minute MP3 and a five-minute M4A (made once per run by the fixture
// encoder). The decoder keeps ahead: 60 s of output paced in real time (no settling: the decode
// thread has to keep up on its own) at speed 2.0 forwards and at -1.0, counting "skip buffer".

#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "platform/EncodeFixture.h"
#include "platform/Log.h"
#include "platform/OfflineAudioDevice.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

using namespace vx;

const std::filesystem::path& fiveMinuteFile(fixture::Codec codec) {
    static fixture::TempDir dir;
    static std::filesystem::path mp3, m4a;
    std::filesystem::path& path = codec == fixture::Codec::AacM4a ? m4a : mp3;
    if (path.empty()) {
        path = dir.file(codec == fixture::Codec::AacM4a ? "five.m4a" : "five.mp3");
        const auto signal = fixture::musicSignal(int64_t{300} * 44100, 44100, 2, 7);
        std::string error;
        if (!fixture::encode(path, codec, signal, 44100, 2, &error)) {
            std::fprintf(stderr, "could not make %s: %s\n", path.c_str(), error.c_str());
        }
    }
    return path;
}

void loadLatency(benchmark::State& state, fixture::Codec codec) {
    const auto& path = fiveMinuteFile(codec);
    setLogToStderr(false);
    for (auto _ : state) {
        // A fresh engine each time, so no block of an earlier load is in the ring.
        EngineServices services;
        OfflineAudioDevice device;
        AudioOut engine(device, nullptr, &services);
        engine.init();
        audioStream& deck = engine.deck(0);
        const auto start = std::chrono::steady_clock::now();
        engine.runDecode1(path);
        while (!findBlock(deck, 0)) {
            std::this_thread::yield();
        }
        const auto took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(took).count());
        engine.closeDecoders();
    }
    setLogToStderr(true);
}

void BM_LoadLatency_Mp3_5min(benchmark::State& s) {
    loadLatency(s, fixture::Codec::Mp3Cbr);
}
void BM_LoadLatency_M4a_5min(benchmark::State& s) {
    loadLatency(s, fixture::Codec::AacM4a);
}

void keepsAhead(benchmark::State& state, double speed) {
    const auto& path = fiveMinuteFile(fixture::Codec::Mp3Cbr);
    setLogToStderr(false);
    for (auto _ : state) {
        EngineServices services;
        OfflineAudioDevice device(
            OfflineAudioDevice::Options{.bufferFrames = 1024, .pacedRealTime = true});
        AudioOut engine(device, nullptr, &services);
        engine.init();
        engine.StartSound();
        audioStream& deck = engine.deck(0);
        deck.pitchMode.store(true);
        engine.runDecode1(path);
        engine.settleDecoders(30.0);
        deck.position.store(speed > 0 ? 10.0 * 44100 : 280.0 * 44100);
        deck.replanNeeded.store(true);
        engine.settleDecoders(30.0);
        deck.baseSpeed.store(speed);
        engine.startPlay();
        LogCapture capture;
        device.pull(int64_t{60} * 44100, {});
        engine.serviceRenderRequests();
        int skips = 0;
        for (const auto& line : capture.lines()) {
            skips += line.find("skip buffer") != std::string::npos;
        }
        state.counters["skipBuffers"] = skips;
        state.counters["movedSeconds"] =
            std::fabs(deck.position.load() / 44100.0 - (speed > 0 ? 10.0 : 280.0));
        engine.closeDecoders();
    }
    setLogToStderr(true);
}

void BM_KeepsAhead_Paced60s_Speed2(benchmark::State& s) {
    keepsAhead(s, 2.0);
}
void BM_KeepsAhead_Paced60s_SpeedMinus1(benchmark::State& s) {
    keepsAhead(s, -1.0);
}

BENCHMARK(BM_LoadLatency_Mp3_5min)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_LoadLatency_M4a_5min)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_KeepsAhead_Paced60s_Speed2)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_KeepsAhead_Paced60s_SpeedMinus1)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
