// Cost of one waveform frame in the shell, on the GUI/render thread: the core's fillWaveData for
// one deck plus rebuilding that deck's scene-graph subtree (WaveformNode::sync), for the
// hardware path (line and triangle geometry with vertex colours) and the software path
// (rectangle nodes from an offscreen window). Also the overview strip's node rebuild. The
// shell does this for two decks every 20 ms.
//
// Built with -DVX_UI_BENCH=ON as velvox-ui-bench; run with QT_QPA_PLATFORM=offscreen.

#include "engine/EngineFixture.h"
#include "support/TrackRecord.h"

#include "controls/VXAudioStreamNavigator.h"
#include "analysis/peakFileData.h"
#include "controls/waveControl.h"
#include "ui/OverviewNode.h"
#include "ui/WaveformNode.h"

#include <QGuiApplication>
#include <QQuickWindow>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace vx;
using namespace vx::ui;

constexpr int32_t kFiveMinutes = 5 * 60 * 44100;
QQuickWindow* g_window = nullptr;

// A five-minute track's peaks with a beat every 43 entries, every other one even.
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

void prepareDeck(audioStream& d) {
    vx::test::setPeaks(d, fiveMinutePeaks());
    d.lengthFrames.store(kFiveMinutes);
    d.cuePoints = {44100L * 59, 44100L * 60, 44100L * 61, 44100L * 120};
    d.numCuePoints = 4;
    d.baseSpeed.store(1.0);
    d.isPlaying.store(true);
    d.meterLevelHold.store(0.5f);
    d.isLoaded.store(true);
}

// range(0): 0 hardware, 1 software; range(1): 0 phone, 1 tablet.
void BM_WaveFrame(benchmark::State& state) {
    const bool software = state.range(0) == 1;
    test::Engine engine;
    audioStream& d = engine.out.deck(0);
    prepareDeck(d);
    waveControl control(engine.out, 0);
    control.setLayout(state.range(1) == 1 ? ScreenLayout::Tablet : ScreenLayout::Phone);
    WaveformNode node(
        software ? LineLayerNode::Backend::Software : LineLayerNode::Backend::Hardware, g_window);
    const QSizeF size(320, 480);
    double position = 44100.0 * 59.5;
    for (auto _ : state) {
        d.position.store(position);
        control.fillWaveData();
        node.sync(control, size, true, true);
        benchmark::DoNotOptimize(node.rowLines());
        position += 882.0; // one 20 ms frame of playback
        if (position > 44100.0 * 61.0) {
            position = 44100.0 * 59.5;
        }
    }
}
BENCHMARK(BM_WaveFrame)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

// The node rebuild alone (no fillWaveData), hardware and software.
void BM_WaveNodeSyncOnly(benchmark::State& state) {
    const bool software = state.range(0) == 1;
    test::Engine engine;
    audioStream& d = engine.out.deck(0);
    prepareDeck(d);
    d.position.store(44100.0 * 59.9);
    waveControl control(engine.out, 0);
    control.fillWaveData();
    WaveformNode node(
        software ? LineLayerNode::Backend::Software : LineLayerNode::Backend::Hardware, g_window);
    for (auto _ : state) {
        node.sync(control, QSizeF(320, 480), true, true);
        benchmark::DoNotOptimize(node.rowLines());
    }
}
BENCHMARK(BM_WaveNodeSyncOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The overview strip's rebuild after updateDisplay: 480 rows, minute and cue marks, position.
void BM_OverviewNodeSync(benchmark::State& state) {
    const bool software = state.range(0) == 1;
    test::Engine engine;
    audioStream& d = engine.out.deck(0);
    prepareDeck(d);
    VXAudioStreamNavigator navigator(d, 60.0f, 480.0f, ScreenLayout::Phone);
    navigator.updateDisplay();
    OverviewNode node(
        software ? LineLayerNode::Backend::Software : LineLayerNode::Backend::Hardware, g_window);
    for (auto _ : state) {
        node.sync(navigator);
        benchmark::DoNotOptimize(node.rowLines());
    }
}
BENCHMARK(BM_OverviewNodeSync)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    QQuickWindow window; // makes the software backend's rectangle nodes
    g_window = &window;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
