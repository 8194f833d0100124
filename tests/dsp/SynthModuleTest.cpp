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

// The base tick is silent and copies nothing but the first sample of a frame; process and
// processAdd run the module's own tick over exactly n samples (in place too).
TEST(SynthModule, BaseOperationsRunTheModulesTick) {
    Plain plain;
    EXPECT_EQ(plain.tick(0.8f), 0.0f);
    const float frame[2] = {0.25f, 0.75f};
    float frameOut[2] = {0.0f, 0.0f};
    plain.processFrame(frame, frameOut);
    EXPECT_EQ(frameOut[0], 0.25f);
    EXPECT_EQ(frameOut[1], 0.0f);

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
    float sum[3] = {1.0f, 1.0f, 1.0f};
    d.processAdd(in, sum, 3);
    EXPECT_FLOAT_EQ(sum[0], 1.2f);
    EXPECT_FLOAT_EQ(sum[2], 1.6f);
}

} // namespace
} // namespace vx
