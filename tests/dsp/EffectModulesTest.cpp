// Properties every module of the family must keep, whatever its algorithm: finite, bounded
// output on harsh input at every pad corner, and output independent of the block size.

#include "dsp/AMGate.h"
#include "dsp/AMRepeater.h"
#include "dsp/Bitcrusher.h"
#include "dsp/ChorusFlanger.h"
#include "dsp/Eq8.h"
#include "dsp/Generator.h"
#include "dsp/LFO.h"
#include "dsp/MDelay.h"
#include "dsp/Phaser.h"
#include "dsp/SamplePlayerFixed.h"
#include "dsp/coloringBP.h"
#include "dsp/downsampleLP.h"
#include "dsp/lphpFilter.h"
#include "dsp/mirel_extraLP.h"

#include "DspTestSignals.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx {
namespace {

// Processes interleaved stereo frames in place.
using StereoProcess = std::function<void(float*, int)>;

struct ModuleCase {
    std::string name;
    // Builds a fresh module set to pad position (x, y) and returns its block processing.
    std::function<StereoProcess(float x, float y)> make;
    // Largest output magnitude allowed for full-scale input.
    double bound;
};

// A fresh T set to pad position (x, y), processed in stereo blocks.
template <typename T> StereoProcess padded(float x, float y) {
    auto m = std::make_shared<T>();
    m->padInput(x, y);
    return [m](float* io, int n) { m->processStereo(io, n); };
}

std::vector<ModuleCase> moduleCases() {
    return {
        {"MDelay", padded<MDelay>,
         // Feedback 1 at the shortest length adds one echo per 1/16 beat: 32 in one second.
         64.0},
        {"AMGate",
         [](float x, float) -> StereoProcess {
             auto m = std::make_shared<AMGate>();
             m->padInput(x);
             return [m](float* io, int n) { m->processStereo(io, n); };
         },
         1.0},
        {"AMRepeater",
         [](float x, float y) -> StereoProcess {
             auto m = std::make_shared<AMRepeater>();
             m->padInput(x, y);
             m->alignToCounter(1000);
             return [m](float* io, int n) { m->processStereo(io, n); };
         },
         1.0},
        {"Phaser", padded<Phaser>, 16.0},
        {"ChorusFlanger", padded<ChorusFlanger>, 16.0},
        {"Bitcrusher", padded<Bitcrusher>,
         // floor() rounds −1 down to the next level below it: one step of the coarsest depth
         // the pad reaches (8.96 bits) beyond full scale.
         1.0 + 1.0 / std::exp2(8.96)},
        {"mirel_extraLP",
         [](float x, float y) -> StereoProcess {
             auto l = std::make_shared<mirel_extraLP>();
             auto r = std::make_shared<mirel_extraLP>();
             for (auto* f : {l.get(), r.get()}) {
                 f->setCutoff(1.0f - x);
                 f->setResonance(1.0f - y);
             }
             return [l, r](float* io, int n) {
                 l->processChannel(io, io, n);
                 r->processChannel(io + 1, io + 1, n);
             };
         },
         8.0},
        {"lphpFilter",
         [](float x, float) -> StereoProcess {
             auto f = std::make_shared<std::array<lphpFilter, 2>>();
             (*f)[0].setPosition(x);
             (*f)[1].setPosition(x);
             return [f](float* io, int n) {
                 for (int i = 0; i < n; ++i) {
                     io[2 * i] = (*f)[0].process(io[2 * i]);
                     io[2 * i + 1] = (*f)[1].process(io[2 * i + 1]);
                 }
             };
         },
         8.0},
        {"Eq8",
         [](float x, float y) -> StereoProcess {
             auto eq = std::make_shared<std::array<Eq8, 2>>();
             // x = 0 → every band −50 dB, x = 1 → +20 dB; y moves the mid band the other way.
             const float db = -50.0f + 70.0f * x;
             for (Eq8& e : *eq) {
                 e.eqSetBandGain(0, db);
                 e.eqSetBandGain(1, 20.0f - 70.0f * y);
                 e.eqSetBandGain(2, db);
             }
             return [eq](float* io, int n) {
                 for (int i = 0; i < n; ++i) {
                     io[2 * i] = (*eq)[0].eqProcess(io[2 * i]);
                     io[2 * i + 1] = (*eq)[1].eqProcess(io[2 * i + 1]);
                 }
             };
         },
         // Three +20 dB bands, each then scaled by the 0.5 make-up: at most 5 per band.
         16.0},
        {"analysis filters",
         [](float, float) -> StereoProcess {
             auto lp = std::make_shared<downsampleLP>();
             auto bp = std::make_shared<coloringBP>();
             return [lp, bp](float* io, int n) {
                 for (int i = 0; i < n; ++i) {
                     io[2 * i] = lp->tick(io[2 * i]);
                     io[2 * i + 1] = bp->tick(io[2 * i + 1]);
                 }
             };
         },
         4.0},
        {"Generator modulated",
         [](float x, float) -> StereoProcess {
             auto g = std::make_shared<Generator>();
             g->table = LFO::sineTable();
             g->setFrequency(20.0f + 2000.0f * x);
             return [g](float* io, int n) {
                 for (int i = 0; i < n; ++i) {
                     io[2 * i] = g->tick(io[2 * i]);
                 }
             };
         },
         1.0},
        {"SamplePlayerFixed",
         [](float, float) -> StereoProcess {
             auto p = std::make_shared<SamplePlayerFixed>();
             auto frames = std::make_unique<float[]>(2 * 3000);
             uint32_t state = 5;
             for (int i = 0; i < 2 * 3000; ++i) {
                 frames[static_cast<size_t>(i)] = test::noiseSample(state);
             }
             p->setSamples(std::move(frames), 2999);
             p->noteOn();
             return [p](float* io, int n) { p->mixInto(io, n); };
         },
         1.0 + 1.5},
    };
}

const std::pair<float, float> kCorners[] = {
    {0.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}, {0.5f, 0.5f}};

TEST(EffectModules, HarshInputGivesFiniteBoundedOutputAtEveryPadCorner) {
    const int frames = 44100;
    for (const ModuleCase& c : moduleCases()) {
        for (const auto& [x, y] : kCorners) {
            for (const test::HarshSignal& s : test::harshSignals()) {
                std::vector<float> buf = test::harshStereo(s, frames);
                const StereoProcess process = c.make(x, y);
                for (int start = 0; start < frames; start += 512) {
                    process(buf.data() + 2 * start, std::min(512, frames - start));
                }
                EXPECT_LE(test::peakOrInfinity(buf), c.bound)
                    << c.name << " x=" << x << " y=" << y << " on " << s.name;
            }
        }
    }
}

TEST(EffectModules, SilenceInGivesSilenceOutForTheFilters) {
    for (const ModuleCase& c : moduleCases()) {
        if (c.name != "mirel_extraLP" && c.name != "lphpFilter" && c.name != "Eq8" &&
            c.name != "analysis filters") {
            continue;
        }
        std::vector<float> buf(2 * 4096, 0.0f);
        c.make(0.3f, 0.3f)(buf.data(), 4096);
        EXPECT_EQ(test::peakOrInfinity(buf), 0.0) << c.name;
    }
}

TEST(EffectModules, BlockSizeDoesNotChangeTheOutput) {
    const int frames = 20000;
    std::vector<float> input = test::stereoSine(220.0, 3300.0, frames, 0.8f);
    uint32_t state = 3;
    for (float& v : input) {
        v += 0.1f * test::noiseSample(state);
    }
    for (const ModuleCase& c : moduleCases()) {
        std::vector<std::vector<float>> outputs;
        for (const int block : {1, 37, 4096, frames}) {
            std::vector<float> buf = input;
            const StereoProcess process = c.make(0.3f, 0.8f);
            for (int start = 0; start < frames; start += block) {
                process(buf.data() + 2 * start, std::min(block, frames - start));
            }
            outputs.push_back(std::move(buf));
        }
        for (size_t k = 1; k < outputs.size(); ++k) {
            EXPECT_EQ(outputs[k], outputs[0]) << c.name << " block variant " << k;
        }
    }
}

} // namespace
} // namespace vx
