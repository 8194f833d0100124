#include "library/MediaPicker.h"

#include "LibraryFixture.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

namespace fs = std::filesystem;

TEST(MediaPickerTest, ScansOffTheMainThreadSearchesAndSelects) {
    test::LibraryTempDir dir;
    const fs::path music = dir.path() / "Music";
    ASSERT_TRUE(test::writeTaggedTone(music / "a" / "1.m4a", "Morning", "The Band", "Early", 2.0));
    ASSERT_TRUE(test::writeTaggedTone(music / "a" / "2.m4a", "Noon", "Solo", "Band Days", 1.0));
    ASSERT_TRUE(test::writeTaggedTone(music / "b" / "3.m4a", "Night", "Другой", "Late", 61.0));
    test::writeBytes(music / "b" / "4.mp3", "");

    SystemClock clock;
    RunLoop loop(clock);
    MediaPicker picker(loop, music);
    picker.startScan();
    EXPECT_TRUE(picker.loading());
    EXPECT_EQ(picker.rowCount(), 0u);
    ASSERT_TRUE(loop.runUntil([&] { return !picker.loading(); }, 30));
    ASSERT_EQ(picker.rowCount(), 4u);
    const MediaPicker::Row night = picker.row(2);
    EXPECT_EQ(night.title, "Night");
    EXPECT_EQ(night.artist, "Другой");
    EXPECT_EQ(night.album, "Late");
    EXPECT_EQ(night.length, "1:01");
    EXPECT_EQ(picker.row(3).problem, "empty file (0 bytes)");

    picker.toggleRow(3); // cannot be imported: stays unselected
    picker.toggleRow(2);
    picker.setSearchText("BAND"); // artist of one, album of the other
    ASSERT_EQ(picker.rowCount(), 2u);
    EXPECT_EQ(picker.row(0).title, "Morning");
    EXPECT_EQ(picker.row(1).title, "Noon");
    picker.toggleRow(0);
    picker.setSearchText("");
    EXPECT_TRUE(picker.row(2).selected);
    const auto items = picker.selectedItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Morning");
    EXPECT_EQ(items[1].title, "Night");
    picker.toggleRow(0);
    EXPECT_EQ(picker.selectedCount(), 1u);
}

TEST(MediaPickerTest, LengthTexts) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0, "0:00"},     {0.4, "0:00"}, {59.6, "1:00"},         {61, "1:01"},
        {3600, "60:00"}, {-5, "0:00"},  {std::nan(""), "0:00"}, {599.4, "9:59"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(MediaPicker::lengthText(seconds), text) << seconds;
    }
}

} // namespace
} // namespace vx
