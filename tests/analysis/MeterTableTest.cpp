#include "analysis/MeterTable.h"

#include <gtest/gtest.h>

#include <limits>

namespace vx {
namespace {

TEST(MeterTable, FloorGivesZeroAndZeroDecibelsAndAboveGiveOne) {
    const MeterTable table;
    EXPECT_EQ(table.size(), 400);
    EXPECT_FLOAT_EQ(table.minDecibels(), -80.0f);
    EXPECT_EQ(table.valueAt(-80.0f), 0.0f);
    EXPECT_EQ(table.valueAt(-80.5f), 0.0f);
    EXPECT_EQ(table.valueAt(-200.0f), 0.0f);
    EXPECT_EQ(table.valueAt(-std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_EQ(table.valueAt(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(table.valueAt(0.0f), 1.0f);
    EXPECT_EQ(table.valueAt(6.0f), 1.0f);
}

// The deflection for a −80 dB floor and root 2 is sqrt((10^(d/20) − 10^−4) / (1 − 10^−4)).
TEST(MeterTable, MinusSixDecibelsReadsTheEntryAtOrAboveIt) {
    const MeterTable table;
    // −6 dB lies between entries 29 (−5.8145 dB) and 30 (−6.0150 dB); the lookup takes 29,
    // whose deflection is 0.7155103, a step above the exact −6 dB value (0.7079106).
    EXPECT_NEAR(table.valueAt(-6.0f), 0.7155103, 1e-6);
}

TEST(MeterTable, ValuesRiseWithTheLevel) {
    const MeterTable table;
    float last = -1.0f;
    for (float db = -80.0f; db <= 0.0f; db += 0.05f) {
        const float v = table.valueAt(db);
        ASSERT_GE(v, last) << db;
        ASSERT_GE(v, 0.0f);
        ASSERT_LE(v, 1.0f);
        last = v;
    }
}

TEST(MeterTable, BadArgumentsFallBackToTheDefaultTable) {
    const MeterTable bad(10.0f, 1, -2.0f);
    const MeterTable good;
    EXPECT_EQ(bad.size(), 400);
    EXPECT_FLOAT_EQ(bad.valueAt(-12.0f), good.valueAt(-12.0f));
}

} // namespace
} // namespace vx
