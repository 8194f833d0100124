#include "dsp/SamplePlayerFixed.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(SamplePlayerFixed, StartsEmptyStoppedAndAtGainOneAndAHalf) {
    SamplePlayerFixed p;
    EXPECT_TRUE(p.finished.load());
    EXPECT_TRUE(p.path.empty());
    EXPECT_EQ(p.playPos.load(), 0x7FFFFFFFu);
    EXPECT_EQ(p.samples, nullptr);
    EXPECT_EQ(p.frameCount, 0);
    EXPECT_EQ(p.level, 1.5f);
    EXPECT_FALSE(p.isPlaying());
}

TEST(SamplePlayerFixed, NoteOnRestartsFromTheFirstFrame) {
    SamplePlayerFixed p;
    p.frameCount = 999;
    p.noteOn();
    EXPECT_EQ(p.playPos.load(), 0u);
    EXPECT_TRUE(p.isPlaying());
    p.playPos = 500;
    p.noteOn(); // a second press restarts
    EXPECT_EQ(p.playPos.load(), 0u);
}

TEST(SamplePlayerFixed, NoteOnWithNothingLoadedStaysFinished) {
    SamplePlayerFixed p;
    p.noteOn();
    EXPECT_EQ(p.playPos.load(), 0u);
    EXPECT_FALSE(p.isPlaying());
}

TEST(SamplePlayerFixed, EveryStopPutsThePositionPastTheEnd) {
    SamplePlayerFixed p;
    p.frameCount = 10;
    for (int way = 0; way < 3; ++way) {
        p.noteOn();
        ASSERT_TRUE(p.isPlaying());
        if (way == 0) {
            p.noteOff();
        } else if (way == 1) {
            p.stop();
        } else {
            p.reset();
        }
        EXPECT_FALSE(p.isPlaying()) << way;
        EXPECT_EQ(p.playPos.load(), SamplePlayerFixed::kPastEnd) << way;
    }
}

TEST(SamplePlayerFixed, RewindMarksPlayingAndReturnsOne) {
    SamplePlayerFixed p;
    EXPECT_EQ(p.rewind(), 1);
    EXPECT_EQ(p.playPos.load(), 0u);
    EXPECT_TRUE(p.isPlaying());
}

} // namespace
} // namespace vx
