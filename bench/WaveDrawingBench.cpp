// Cost of the waveform drawing arrays on the main thread: one deck's per-frame fillWaveData
// (480 rows, with beats, even beats, cue points and a minute boundary in view) at speed 1.0 and
// 2.0, and one rebuild of an overview strip's lines from a five-minute track's peak data. The
// shell calls fillWaveData for both decks on every frame (60 per second), so a frame's budget
// is a few hundred microseconds at most.

#include "../tests/engine/EngineFixture.h"
#include "support/TrackRecord.h"

#include "controls/VXAudioStreamDisplay.h"
#include "analysis/peakFileData.h"
#include "controls/waveControl.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace vx;

constexpr int32_t kFiveMinutes = 5 * 60 * 44100;

// A five-minute track's peaks: varying heights, a beat every 43 entries (120 BPM would be
// 43.07), every other beat even, the low-frequency colour on a third of the entries.
std::shared_ptr<peakFileData> fiveMinutePeaks() {
    auto peaks = peakFileData::create(peakCountForFrames(kFiveMinutes));
    for (int32_t i = 0; i < peaks->count; ++i) {
        uint8_t flags = i % 3 == 0 ? kPeakLowFrequencyFlag : 0;
        if (i % 43 == 0) {
            flags |= kPeakBeatFlag;
            if (i % 86 == 0) {
                flags |= kPeakEvenBeatFlag;
            }
        }
        peaks->setEntry(i, static_cast<uint8_t>(10 + i % 37), flags);
    }
    return peaks;
}

void BM_FillWaveData(benchmark::State& state) {
    const double speed = static_cast<double>(state.range(0)) / 10.0;
    test::Engine engine;
    audioStream& d = engine.out.deck(0);
    vx::test::setPeaks(d, fiveMinutePeaks());
    d.lengthFrames.store(kFiveMinutes);
    d.cuePoints = {44100L * 59, 44100L * 60, 44100L * 61, 44100L * 120};
    d.numCuePoints = 4;
    d.baseSpeed.store(speed);
    d.isPlaying.store(true);
    d.meterLevelHold.store(0.5f);
    d.isLoaded.store(true);
    waveControl control(engine.out, 0);
    // The play position a few seconds before the end of minute 1, so its marker is in view.
    double position = 44100.0 * 59.5;
    for (auto _ : state) {
        d.position.store(position);
        control.fillWaveData();
        benchmark::DoNotOptimize(control.waveData.data());
        position += 735.0; // one 60 Hz frame of playback
        if (position > 44100.0 * 61.0) {
            position = 44100.0 * 59.5;
        }
    }
}
BENCHMARK(BM_FillWaveData)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

void BM_OverviewLines(benchmark::State& state) {
    const auto peaks = fiveMinutePeaks();
    VXAudioStreamDisplay display(100.0f, static_cast<float>(state.range(0)), ScreenLayout::Phone);
    for (auto _ : state) {
        display.generateLineDataFromPeakData(*peaks, peaks->count, -1);
        benchmark::DoNotOptimize(display.rows().data());
    }
}
BENCHMARK(BM_OverviewLines)->Arg(480)->Arg(1024)->Unit(benchmark::kMicrosecond);

} // namespace
