// Render-callback cost of the engine, in multiples of real time on one core.
//
// Variants add one stage at a time so that the differences give each stage's share:
//   Plain    source loop only (pitch mode, flat EQ, LP/HP idle, no effect)
//   Eq       + three EQ bands non-zero
//   Lphp     + the LP/HP ramp running all the time (coefficients recomputed every frame)
//   Fx       + an effect engaged (delay)
//   KeyLock  + key lock (SoundTouch) on both decks          → the full load (a)
// and the full load without key lock is "Fx" (b). SoundTouchAlone feeds two stretchers the same
// number of frames (c).

#include "../tests/engine/EngineFixture.h"

#include "engine/DeckEffects.h"
#include "engine/DeckSpeed.h"
#include "engine/Stretcher.h"

#include <benchmark/benchmark.h>

namespace {

using namespace vx;

enum Stage { kPlain, kEq, kLphp, kFx, kKeyLock };

void setUp(test::Engine& e, Stage stage) {
    for (int i = 0; i < 2; ++i) {
        audioStream& d = e.out.deck(i);
        test::loadGenerated(d, 600000, test::sine(110.0 * (i + 2), 0.3f));
        d.loopStart.store(1000);
        d.loopEnd.store(590000);
        d.loopActive.store(true);
        d.pitchMode.store(stage < kKeyLock);
        d.baseSpeed.store(1.03);
        if (stage >= kEq) {
            for (auto& eq : d.eq) {
                eq.eqSetBandGain(0, 4.0f);
                eq.eqSetBandGain(1, -6.0f);
                eq.eqSetBandGain(2, 3.0f);
            }
        }
        if (stage >= kFx) {
            deckSetFxEnabled(d, 1, true);
            deckSetFxXY(d, 0.5f, 0.4f);
            deckSetFxEngaged(d, true);
        }
    }
    e.out.startPlay();
    for (int i = 0; i < 2; ++i) {
        setSpeed(e.out.deck(i), 1.03, 0);
        e.out.deck(i).stretcher->applyPendingPitch();
        e.out.deck(i).outputRamp.On.store(false);
    }
}

void keepLphpRamping(test::Engine& e, uint32_t frames) {
    for (int i = 0; i < 2; ++i) {
        audioStream& d = e.out.deck(i);
        // A ramp as long as the buffer keeps the coefficient update running for every frame.
        d.lphpRamp.start(d.lphpPosition.load(), d.lphpPosition.load() > 0.5f ? 0.3f : 0.7f,
                         static_cast<int32_t>(frames));
    }
}

void renderCost(benchmark::State& state, Stage stage) {
    const auto frames = static_cast<uint32_t>(state.range(0));
    test::Engine e(frames);
    setUp(e, stage);
    e.device.pull(44100, {}); // settle
    for (auto _ : state) {
        if (stage >= kLphp) {
            keepLphpRamping(e, frames);
        }
        e.device.pull(frames, {});
    }
    state.counters["xRealtime"] = benchmark::Counter(static_cast<double>(frames) / 44100.0,
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Render_Plain(benchmark::State& s) {
    renderCost(s, kPlain);
}
void BM_Render_Eq(benchmark::State& s) {
    renderCost(s, kEq);
}
void BM_Render_Lphp(benchmark::State& s) {
    renderCost(s, kLphp);
}
void BM_Render_Fx_NoKeyLock(benchmark::State& s) {
    renderCost(s, kFx);
}
void BM_Render_Full_KeyLock(benchmark::State& s) {
    renderCost(s, kKeyLock);
}

void BM_SoundTouchAlone_TwoDecks(benchmark::State& state) {
    const auto frames = static_cast<uint32_t>(state.range(0));
    Stretcher a, b;
    a.setPitch(1.0 / 1.03);
    b.setPitch(1.0 / 1.03);
    std::vector<float> in(size_t{frames} * 2), out(size_t{frames} * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        in[2 * i] = in[2 * i + 1] = 0.3f * static_cast<float>(std::sin(i * 0.05));
    }
    for (auto _ : state) {
        for (Stretcher* s : {&a, &b}) {
            s->put(in.data(), frames);
            s->receive(out.data(), frames);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["xRealtime"] = benchmark::Counter(static_cast<double>(frames) / 44100.0,
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_Render_Plain)->Arg(256)->Arg(1024);
BENCHMARK(BM_Render_Eq)->Arg(256)->Arg(1024);
BENCHMARK(BM_Render_Lphp)->Arg(256)->Arg(1024);
BENCHMARK(BM_Render_Fx_NoKeyLock)->Arg(256)->Arg(1024);
BENCHMARK(BM_Render_Full_KeyLock)->Arg(256)->Arg(1024);
BENCHMARK(BM_SoundTouchAlone_TwoDecks)->Arg(256)->Arg(1024);

} // namespace
