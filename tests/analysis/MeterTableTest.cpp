#include "analysis/MeterTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vx {
namespace {

// The deflection at d dB for a −80 dB floor and root 2, straight from the formula.
double deflection(double db) {
    const double floorAmp = 1e-4; // 10^(−80/20)
    return std::sqrt((std::pow(10.0, db / 20.0) - floorAmp) / (1.0 - floorAmp));
}

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

TEST(MeterTable, MinusSixDecibelsReadsTheEntryAtOrAboveIt) {
    const MeterTable table;
    // −6 dB lies between entries 29 (−5.8145 dB) and 30 (−6.0150 dB); the lookup takes 29.
    const double entry29 = -80.0 * 29.0 / 399.0;
    EXPECT_NEAR(table.valueAt(-6.0f), deflection(entry29), 1e-6);
    EXPECT_NEAR(table.valueAt(-6.0f), 0.71551, 1e-5); // the formula's value there, by hand
    // Within one entry of the exact −6 dB value (0.70791).
    EXPECT_NEAR(table.valueAt(-6.0f), deflection(-6.0), 0.008);
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
