#include "dsp/SynthModule.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

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

} // namespace
} // namespace vx
