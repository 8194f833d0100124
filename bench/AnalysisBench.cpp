// Track analysis speed: analyzeTrack over a 5-minute 44.1 kHz stereo MP3 (decoding
// included), side by side with decoding the same file alone through the same mono reader at 44.1
// kHz. Counter x_realtime = seconds of audio per second of wall-clock time, on one thread.

#include "analysis/BeatDetect.h"
#include "analysis/analyzeTrack.h"
#include "analysis/peakFileData.h"
#include "platform/AudioFileReader.h"
#include "platform/EncodeFixture.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSeconds = 300;

// The encoded file, made once per run.
const std::filesystem::path& fiveMinuteMp3() {
    static vx::fixture::TempDir dir;
    static const std::filesystem::path path = [] {
        const std::filesystem::path p = dir.file("five-minutes.mp3");
        std::string error;
        vx::fixture::encode(p, vx::fixture::Codec::Mp3Cbr,
                            vx::fixture::musicSignal(int64_t(kSeconds) * 44100, 44100, 2, 3), 44100,
                            2, &error);
        return p;
    }();
    return path;
}

void BM_AnalysisFull(benchmark::State& state) {
    const auto& path = fiveMinuteMp3();
    for (auto _ : state) {
        std::atomic<float> progress{0.0f};
        const int ok = vx::analyzeTrack(path, nullptr, &progress);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnalysisFull)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_AnalysisDecodeOnly(benchmark::State& state) {
    const auto& path = fiveMinuteMp3();
    std::vector<float> block(1024);
    for (auto _ : state) {
        std::string error;
        auto reader =
            vx::AudioFileReader::open(path, vx::AudioFileReader::Client::Mono44100, &error);
        int64_t total = 0;
        while (reader) {
            const int64_t n = reader->read(block.data(), 1024);
            if (n <= 0) {
                break;
            }
            total += n;
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnalysisDecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The analysis proper, without decoding: the same track's mono samples from memory through
// BeatDetect (peaks, tempo, onsets, beat placement) and computeBpm.
void BM_AnalysisFromMemory(benchmark::State& state) {
    const auto& path = fiveMinuteMp3();
    std::string error;
    auto reader = vx::AudioFileReader::open(path, vx::AudioFileReader::Client::Mono44100, &error);
    std::vector<float> samples(size_t(reader ? reader->lengthFrames() : 0));
    const int64_t got = reader ? reader->read(samples.data(), int64_t(samples.size())) : 0;
    samples.resize(size_t(std::max<int64_t>(got, 0)));
    for (auto _ : state) {
        auto peaks = vx::peakFileData::create(vx::peakCountForFrames(int64_t(samples.size())));
        vx::BeatDetect detect(*peaks);
        for (size_t at = 0; at < samples.size(); at += vx::BeatDetect::kBlockFrames) {
            const size_t n = std::min<size_t>(vx::BeatDetect::kBlockFrames, samples.size() - at);
            detect.processBlock(samples.data() + at, int(n));
        }
        benchmark::DoNotOptimize(detect.computeBpm());
    }
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnalysisFromMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace
