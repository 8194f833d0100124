#include "dsp/ParamFilter.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(ParamFilter, ATwentyFiveStepRampReachesItsTargetExactlyOnTheTwentySixthStep) {
    ParamFilter ramp;
    ramp.clear(25.0f);
    std::atomic<float> field{0.0f};
    ramp.rampedSet(field, 1.0f, 25, /*deckPlaying=*/true);
    std::vector<float> values;
    for (int i = 0; i < 30; ++i) {
        ramp.stepInto(field);
        values.push_back(field.load());
    }
    for (int i = 0; i < 25; ++i) {
        EXPECT_NEAR(values[i], (i + 1) / 25.0f, 1e-6f) << "step " << i + 1;
    }
    EXPECT_EQ(values[25], 1.0f); // the 26th step copies the target
    EXPECT_FALSE(ramp.isOn());
    EXPECT_EQ(values[29], 1.0f);
}

TEST(ParamFilter, RetargetingARunningRampKeepsItsValueAndRestartsTheCount) {
    ParamFilter ramp;
    std::atomic<float> field{0.0f};
    ramp.rampedSet(field, 1.0f, 25, true);
    for (int i = 0; i < 10; ++i) {
        ramp.stepInto(field);
    }
    const float reached = ramp.from.load();
    EXPECT_NEAR(reached, 0.4f, 1e-6f);
    field.store(123.0f); // the plain field is not the start of a running ramp
    ramp.rampedSet(field, 0.0f, 25, true);
    EXPECT_EQ(ramp.from.load(), reached);
    EXPECT_EQ(ramp.count.load(), 25);
    EXPECT_NEAR(ramp.delta.load(), -reached / 25.0f, 1e-7f);
    int steps = 0;
    while (ramp.isOn()) {
        ramp.stepInto(field);
        ++steps;
    }
    EXPECT_EQ(steps, 26);
    EXPECT_EQ(field.load(), 0.0f);
}

TEST(ParamFilter, AStoppedDeckTakesTheValueAtOnce) {
    ParamFilter ramp;
    std::atomic<float> field{0.25f};
    ramp.rampedSet(field, 0.75f, 25, /*deckPlaying=*/false);
    EXPECT_EQ(field.load(), 0.75f);
    EXPECT_FALSE(ramp.isOn());
    float v = -1.0f;
    EXPECT_FALSE(ramp.step(v));
    EXPECT_EQ(v, -1.0f);
}

TEST(ParamFilter, DoubleRampWithZeroStepsCopiesTheTargetOnTheFirstStep) {
    tParamFilter ramp;
    ramp.clear(512.0);
    std::atomic<double> speed{1.0};
    ramp.start(1.0, 1.04, 0);
    ramp.stepInto(speed);
    EXPECT_EQ(speed.load(), 1.04);
    EXPECT_FALSE(ramp.isOn());
}

} // namespace
} // namespace vx
