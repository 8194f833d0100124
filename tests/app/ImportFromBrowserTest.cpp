// The browser's last row starts the music-library import with the browser as its delegate: the
// picked song reaches the browser's list, and "importDone" is posted when the import ends.

#include "AppFixture.h"

#include "app/DuovexAppDelegate.h"
#include "app/LoadFile.h"
#include "library/VXAudioFileInfo.h"
#include "library/iTunesImporter.h"

#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

#include <gtest/gtest.h>

#include <chrono>

namespace vx::test {
namespace {

TEST(ImportFromBrowserTest, ThePickedSongIsListedAndImportDoneIsPosted) {
    AppHome home(AppHome::Options{.builtIns = false});
    const fs::path music = home.paths().documents().parent_path() / "Music";
    fs::create_directories(music / "Album");
    const fs::path source = music / "Album" / "song.m4a";
    ASSERT_TRUE(writeTone(source, 1.0));
    {
        TagLib::MP4::File file(source.c_str());
        file.tag()->setTitle("Picked Song");
        file.tag()->setItem("tmpo", TagLib::MP4::Item(122));
        ASSERT_TRUE(file.save());
    }

    AppRun run(home);
    int importDone = 0;
    run.app().notifications().addObserver(&importDone, "importDone",
                                          [&](const Notification&) { ++importDone; });
    MusicLibrary::setMusicFolder(run.app().defaults(), music);
    LoadFile& browser = run.open(0);
    const size_t before = browser.infoList().size();
    browser.selectRow(browser.rowCount() - 1);
    iTunesImporter* importer = run.app().importer();
    ASSERT_NE(importer, nullptr);
    EXPECT_TRUE(importer->pickerShown());
    EXPECT_TRUE(importer->viewShown());

    // The picker lists the chosen music folder once its scan is done; the user ticks the song.
    ASSERT_NE(importer->picker(), nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (importer->picker()->loading() && std::chrono::steady_clock::now() < deadline) {
        run.runFor(0.05);
    }
    ASSERT_EQ(importer->picker()->rowCount(), 1u);
    EXPECT_EQ(importer->picker()->row(0).title, "Picked Song");
    importer->picker()->toggleRow(0);
    importer->pickerDone();
    EXPECT_FALSE(importer->pickerShown());
    while (importDone == 0 && std::chrono::steady_clock::now() < deadline) {
        run.runFor(0.05);
    }
    ASSERT_EQ(importDone, 1);
    EXPECT_FALSE(importer->viewShown());
    ASSERT_EQ(browser.infoList().size(), before + 1);
    const auto it = std::find_if(browser.infoList().begin(), browser.infoList().end(),
                                 [](const auto& info) { return info->title == "Picked Song"; });
    ASSERT_NE(it, browser.infoList().end());
    EXPECT_DOUBLE_EQ((*it)->tempo, 122);
    EXPECT_EQ((*it)->fileName.parent_path(), home.paths().documents());
    EXPECT_TRUE(home.hasFileRow(0, (*it)->fileName));
}

} // namespace
} // namespace vx::test
