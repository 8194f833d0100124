// MP3 decoding speed of AudioFileReader, side by side with the ffmpeg command line decoding
// the same file to raw float. Counters: x_realtime = seconds of audio decoded per second of
// wall-clock time (shown as a rate, "/s"); x_cpu = seconds of audio per second of CPU time of
// the decoding thread (the reader) or of the child process (ffmpeg, start-up included), which
// holds steady when other work shares the two cores.

#include "platform/AudioFileReader.h"
#include "platform/EncodeFixture.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using vx::AudioFileReader;
using Client = AudioFileReader::Client;

constexpr int kSeconds = 180;

// CPU seconds (user + system) of the calling thread.
double threadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// CPU seconds (user + system) of the finished child processes.
double childrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// A three-minute music-like file, 44100 Hz stereo, made once per run.
struct EncodedFile {
    vx::fixture::TempDir dir;
    std::filesystem::path path;
    std::string error;
    EncodedFile(vx::fixture::Codec codec, const char* name) : path(dir.file(name)) {
        const auto signal = vx::fixture::musicSignal(int64_t(kSeconds) * 44100, 44100, 2, 11);
        if (!vx::fixture::encode(path, codec, signal, 44100, 2, &error)) {
            path.clear();
        }
    }
};

// LAME, 192 kbit/s CBR.
const EncodedFile& mp3() {
    static const EncodedFile file(vx::fixture::Codec::Mp3Cbr, "three-minutes.mp3");
    return file;
}

// FFmpeg's AAC encoder in M4A: its length is counted by decoding at open.
const EncodedFile& m4a() {
    static const EncodedFile file(vx::fixture::Codec::AacM4a, "three-minutes.m4a");
    return file;
}

void decodeWithReader(benchmark::State& state, Client client) {
    const EncodedFile& file = mp3();
    if (file.path.empty()) {
        state.SkipWithError(("cannot make the MP3: " + file.error).c_str());
        return;
    }
    std::vector<float> buffer(2 * 32768);
    const double cpuBefore = threadCpuSeconds();
    for (auto _ : state) {
        std::string error;
        auto reader = AudioFileReader::open(file.path, client, &error);
        if (!reader) {
            state.SkipWithError(error.c_str());
            return;
        }
        int64_t total = 0;
        for (int64_t n; (n = reader->read(buffer.data(), 32768)) > 0;) {
            total += n;
        }
        benchmark::DoNotOptimize(total);
        if (total != reader->lengthFrames()) {
            state.SkipWithError("short read");
            return;
        }
    }
    state.counters["x_cpu"] =
        double(kSeconds) * double(state.iterations()) / (threadCpuSeconds() - cpuBefore);
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

// Open, then read the whole file in 32768-frame blocks (the decks' block size).
void BM_ReaderMp3Stereo44100(benchmark::State& state) {
    decodeWithReader(state, Client::Stereo44100);
}

// The analysis' format: mono float at the file's rate.
void BM_ReaderMp3MonoNative(benchmark::State& state) {
    decodeWithReader(state, Client::MonoNative);
}

// ffmpeg -i F -f f32le -ac 2 -ar 44100 /dev/null, one thread.
void BM_FfmpegCliMp3(benchmark::State& state) {
    const EncodedFile& file = mp3();
    if (file.path.empty()) {
        state.SkipWithError(("cannot make the MP3: " + file.error).c_str());
        return;
    }
    const std::string command = "ffmpeg -nostdin -v error -threads 1 -i '" + file.path.string() +
                                "' -f f32le -ac 2 -ar 44100 -y /dev/null";
    const double cpuBefore = childrenCpuSeconds();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed (is it installed?)");
            return;
        }
    }
    state.counters["x_cpu"] =
        double(kSeconds) * double(state.iterations()) / (childrenCpuSeconds() - cpuBefore);
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

// What a deck does on a jump: seek to a random 32768-frame block and decode it.
void BM_ReaderMp3SeekAndReadBlock(benchmark::State& state) {
    const EncodedFile& file = mp3();
    if (file.path.empty()) {
        state.SkipWithError(("cannot make the MP3: " + file.error).c_str());
        return;
    }
    std::string error;
    auto reader = AudioFileReader::open(file.path, Client::Stereo44100, &error);
    if (!reader) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int64_t blocks = reader->lengthFrames() / 32768;
    std::mt19937 random(5);
    std::vector<float> buffer(2 * 32768);
    for (auto _ : state) {
        const int64_t block = std::uniform_int_distribution<int64_t>(0, blocks - 1)(random);
        if (!reader->seek(block * 32768) || reader->read(buffer.data(), 32768) != 32768) {
            state.SkipWithError("seek or read failed");
            return;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["blocks_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] = benchmark::Counter(
        double(state.iterations()) * 32768.0 / 44100.0, benchmark::Counter::kIsRate);
}

// Opening an M4A: the whole file is decoded once to count its frames.
void BM_ReaderOpenM4a(benchmark::State& state) {
    const EncodedFile& file = m4a();
    if (file.path.empty()) {
        state.SkipWithError(("cannot make the M4A: " + file.error).c_str());
        return;
    }
    for (auto _ : state) {
        std::string error;
        auto reader = AudioFileReader::open(file.path, Client::Stereo44100, &error);
        if (!reader) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(reader->lengthFrames());
    }
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

// The ffmpeg command line's own start-up, to read the figure above net of it.
void BM_FfmpegCliStartup(benchmark::State& state) {
    const double cpuBefore = childrenCpuSeconds();
    for (auto _ : state) {
        if (std::system("ffmpeg -nostdin -v error -version > /dev/null") != 0) {
            state.SkipWithError("ffmpeg failed (is it installed?)");
            return;
        }
    }
    state.counters["cpu_ms"] =
        (childrenCpuSeconds() - cpuBefore) * 1000.0 / double(state.iterations());
}

BENCHMARK(BM_ReaderMp3Stereo44100)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ReaderMp3MonoNative)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_FfmpegCliMp3)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_FfmpegCliStartup)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReaderMp3SeekAndReadBlock)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ReaderOpenM4a)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
