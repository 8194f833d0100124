#include "dsp/SynthModule.h"

#include "dsp/AMGate.h"
#include "dsp/AMRepeater.h"
#include "dsp/Bitcrusher.h"
#include "dsp/ChorusFlanger.h"
#include "dsp/Generator.h"
#include "dsp/LFO.h"
#include "dsp/LFOGate.h"
#include "dsp/MDelay.h"
#include "dsp/Phaser.h"
#include "dsp/SamplePlayerFixed.h"
#include "dsp/coloringBP.h"
#include "dsp/downsampleLP.h"
#include "dsp/filter.h"
#include "dsp/mirel_extraLP.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

namespace vx {
namespace {

// The class tree.
static_assert(std::is_base_of_v<SynthModule, Generator>);
static_assert(std::is_base_of_v<Generator, LFO>);
static_assert(std::is_base_of_v<LFO, LFOGate>);
static_assert(std::is_base_of_v<SynthModule, filter>);
static_assert(std::is_base_of_v<filter, mirel_extraLP>);
static_assert(std::is_base_of_v<filter, coloringBP>);
static_assert(std::is_base_of_v<filter, downsampleLP>);
template <typename T>
constexpr bool kDirectEffect = std::is_base_of_v<SynthModule, T> && !std::is_base_of_v<filter, T> &&
                               !std::is_base_of_v<Generator, T>;
static_assert(kDirectEffect<Phaser> && kDirectEffect<ChorusFlanger> && kDirectEffect<AMGate> &&
              kDirectEffect<MDelay> && kDirectEffect<AMRepeater> && kDirectEffect<Bitcrusher> &&
              kDirectEffect<SamplePlayerFixed>);
// Destruction is not virtual: owners destroy the concrete type they built.
static_assert(!std::has_virtual_destructor_v<SynthModule>);
static_assert(!std::is_destructible_v<SynthModule>);
static_assert(std::is_destructible_v<MDelay>);

// A module whose tick doubles its input, to observe the base block operations.
class Doubler final : public SynthModule {
public:
    int ticks = 0;
    float tick(float x) override {
        ++ticks;
        return 2.0f * x;
    }
};

// A module that keeps every base behaviour.
class Plain final : public SynthModule {};

TEST(SynthModule, Defaults) {
    Plain m;
    EXPECT_EQ(m.level, 1.0f);
    EXPECT_TRUE(m.active);
    EXPECT_EQ(m.sampleRate, 44100.0f);
    EXPECT_EQ(m.tempo, 120.0f);
}

TEST(SynthModule, BaseTickReturnsZeroAndProcessUsesTick) {
    Plain plain;
    EXPECT_EQ(plain.tick(0.8f), 0.0f);
    Doubler d;
    const float in[5] = {0.1f, -0.2f, 0.3f, 0.4f, 9.0f};
    float out[5] = {7, 7, 7, 7, 7};
    d.process(in, out, 4);
    EXPECT_EQ(d.ticks, 4);
    EXPECT_FLOAT_EQ(out[0], 0.2f);
    EXPECT_FLOAT_EQ(out[1], -0.4f);
    EXPECT_FLOAT_EQ(out[3], 0.8f);
    EXPECT_EQ(out[4], 7.0f); // only n samples
    float buf[3] = {0.1f, 0.2f, 0.3f};
    d.process(buf, buf, 3); // in place
    EXPECT_FLOAT_EQ(buf[2], 0.6f);
}

TEST(SynthModule, ProcessAddAccumulatesTick) {
    Doubler d;
    const float in[3] = {0.1f, 0.2f, 0.3f};
    float out[3] = {1.0f, 1.0f, 1.0f};
    d.processAdd(in, out, 3);
    EXPECT_FLOAT_EQ(out[0], 1.2f);
    EXPECT_FLOAT_EQ(out[2], 1.6f);
}

TEST(SynthModule, BaseProcessFrameCopiesTheFirstSampleOnly) {
    Plain m;
    const float in[2] = {0.25f, 0.75f};
    float out[2] = {0.0f, 0.0f};
    m.processFrame(in, out);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[1], 0.0f);
}

TEST(SynthModule, RepeaterKeepsTheBaseTick) {
    AMRepeater r;
    EXPECT_EQ(r.tick(0.5f), 0.0f);
}

} // namespace
} // namespace vx
