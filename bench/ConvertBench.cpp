// Recording conversion: a ten-minute recorded mix (WAVE, 32-bit float stereo at 44100 Hz, as
// the float output path records it) compressed to AAC in M4A by convertRecording on a thread
// of its own, while this thread stands for the interface: it runs a 0.02 s tick (the
// recordings list's slider timer) and notes how late each tick comes.
//
// Counters: x_realtime = seconds of mix per second of wall time; m4a_MB = the result's size;
// tick_late_max_ms = the latest a 0.02 s tick came during the conversion (the interface's
// worst stall); ticks = ticks run during the conversion.

#include "../tests/library/LibraryFixture.h"

#include "engine/ConversionState.h"
#include "engine/convertFile.h"
#include "platform/AudioFileWriter.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using namespace vx;
namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr int kMinutes = 10;

// Ten minutes of a mix-like signal: two detuned partials with a beat-rate swell and a little
// noise, so the encoder has real work on every frame.
void writeMix(const fs::path& path) {
    auto writer =
        AudioFileWriter::create(path, AudioFileWriter::Format::WavFloat32, kRate, 2, nullptr);
    if (!writer) {
        return;
    }
    constexpr int kBlock = 32768;
    std::vector<float> block(2 * kBlock);
    uint32_t noise = 12345;
    const int64_t total = int64_t(kMinutes) * 60 * kRate;
    for (int64_t start = 0; start < total; start += kBlock) {
        const int frames = int(std::min<int64_t>(kBlock, total - start));
        for (int i = 0; i < frames; ++i) {
            const double t = double(start + i) / kRate;
            const double swell = 0.6 + 0.4 * std::sin(2 * M_PI * 2.0 * t);
            noise = noise * 1664525u + 1013904223u;
            const double n = (double(noise >> 8) / double(1 << 24) - 0.5) * 0.05;
            block[2 * i] = float(swell * 0.3 * std::sin(2 * M_PI * 220.0 * t) + n);
            block[2 * i + 1] = float(swell * 0.3 * std::sin(2 * M_PI * 221.5 * t) - n);
        }
        writer->write(block.data(), frames);
    }
    writer->close();
}

void BM_ConvertTenMinuteMix(benchmark::State& state) {
    test::LibraryTempDir dir;
    const fs::path mix = dir.path() / "VXNexa_0000.wav";
    writeMix(mix);
    ConversionState conversion; // this thread is the main thread
    double lateMax = 0;
    int64_t ticks = 0;
    for (auto _ : state) {
        std::atomic<bool> finished{false};
        ConvertStatus status = ConvertStatus::Ok;
        std::thread worker([&] {
            status = convertRecording(mix, conversion);
            finished.store(true);
        });
        using Clock = std::chrono::steady_clock;
        auto due = Clock::now() + std::chrono::milliseconds(20);
        while (!finished.load()) {
            std::this_thread::sleep_until(due);
            const double late =
                std::chrono::duration<double, std::milli>(Clock::now() - due).count();
            lateMax = std::max(lateMax, late);
            ++ticks;
            due += std::chrono::milliseconds(20);
        }
        worker.join();
        if (status != ConvertStatus::Ok) {
            state.SkipWithError("conversion failed");
            return;
        }
    }
    const double seconds = double(kMinutes) * 60.0;
    state.counters["x_realtime"] =
        benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
    std::error_code ec;
    state.counters["m4a_MB"] =
        double(fs::file_size(convertedRecordingPath(mix), ec)) / (1024.0 * 1024.0);
    state.counters["tick_late_max_ms"] = lateMax;
    state.counters["ticks"] = double(ticks) / double(state.iterations());
}
BENCHMARK(BM_ConvertTenMinuteMix)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace
