// The music-library import's screens end to end, on both layouts: the browser's last row opens
// the picker over the application's composition; ticked tracks are imported with the progress
// screen showing, and the browser then lists them. Screenshots of the picker and the progress
// screen go to the artifacts.

#include "UiShellFixture.h"
#include "app/LoadFile.h"
#include "library/iTunesImporter.h"
#include "platform/MusicLibrary.h"
#include "ui/ImportAdapter.h"

#include <gtest/gtest.h>

namespace vx::ui {
namespace {

using namespace shelltest;
namespace fs = std::filesystem;

class ImportScreenTest : public ::testing::TestWithParam<bool> {};

TEST_P(ImportScreenTest, PickTwoTracksAndWatchThemArrive) {
    const bool tablet = GetParam();
    const QString layout = tablet ? QStringLiteral("tablet") : QStringLiteral("phone");
    test::LibraryTempDir music;
    ASSERT_TRUE(test::writeTaggedTone(music.path() / "Rock" / "first.m4a", "First Light", "Aurora",
                                      "Imports", 3.0));
    ASSERT_TRUE(test::writeTaggedTone(music.path() / "Rock" / "second.m4a", "Second Wind", "Борей",
                                      "Imports", 3.0));
    ASSERT_TRUE(test::writeTaggedTone(music.path() / "Jazz" / "third.m4a", "Third Street", "Trio",
                                      "Imports", 3.0));
    test::writeBytes(music.path() / "broken.m4a", "");

    RunningShell shell(tablet);
    ASSERT_TRUE(shell.ready());
    MusicLibrary::setMusicFolder(shell.app().defaults(), music.path());

    // The browser's last row starts the import.
    tap(shell.window(), shell.item("eject0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.app().loadFile() != nullptr; }, kStateWaitMs));
    LoadFile& browser = *shell.app().loadFile();
    const size_t tracksBefore = browser.infoList().size();
    QQuickItem* list = shell.item("browserList");
    ASSERT_NE(list, nullptr);
    QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, int(tracksBefore)),
                              Q_ARG(int, 4));
    QQuickItem* importRow = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            importRow = shell.item(QStringLiteral("browserRow%1").arg(tracksBefore));
            return importRow && importRow->isVisible();
        },
        kStateWaitMs));
    tap(shell.window(), importRow);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.item("importPicker")->isVisible(); }, kStateWaitMs));
    EXPECT_EQ(shell.item("importPrompt")->property("text").toString(),
              QStringLiteral("Import from music library"));

    // The rows appear once the folder is read: four files, the empty one dimmed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.item("importRow3") != nullptr; }, kLoadWaitMs));
    EXPECT_EQ(shell.core().musicImport().rows().size(), 4);
    // Sorted by path: Jazz/third, Rock/first, Rock/second, broken (empty, dimmed).
    EXPECT_EQ(shell.item("importRow3")->opacity(), 0.45);
    tap(shell.window(), shell.item("importRow3")); // cannot be ticked
    tap(shell.window(), shell.item("importRow0"));
    tap(shell.window(), shell.item("importRow2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.core().musicImport().selectedCount() == 2; },
                                kStateWaitMs));
    EXPECT_EQ(shell.item("importDone")->property("text").toString(), QStringLiteral("Import (2)"));
    shell.screenshot("import-picker-" + layout);

    // The search narrows the rows and keeps the ticks.
    QQuickItem* search = shell.item("importSearch");
    search->forceActiveFocus();
    for (const char c : std::string("wind")) {
        QTest::keyClick(shell.window(), c);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.core().musicImport().rows().size() == 1; },
                                kStateWaitMs));
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(shell.window(), Qt::Key_Backspace);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.core().musicImport().rows().size() == 4; },
                                kStateWaitMs));

    // Import: the progress screen shows "1 of 2" before the first file has reached the
    // browser (that happens on this thread, at the next turn of the loop).
    tap(shell.window(), shell.item("importDone"));
    EXPECT_FALSE(shell.item("importPicker")->isVisible());
    EXPECT_TRUE(shell.item("importProgress")->isVisible());
    EXPECT_EQ(shell.item("importAllLabel")->property("text").toString(), QStringLiteral("1 of 2"));
    shell.screenshot("import-progress-" + layout);

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !shell.item("importScreen")->isVisible(); }, kLoadWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.infoList().size() == tracksBefore + 2; },
                                kStateWaitMs));
    int imported = 0;
    for (const auto& info : browser.infoList()) {
        if (info->title == "Second Wind" || info->title == "Third Street") {
            EXPECT_EQ(info->fileName.parent_path(), shell.app().db()->paths().documents());
            ++imported;
        }
    }
    EXPECT_EQ(imported, 2);
    shell.screenshot("import-done-" + layout);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImportScreenTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tablet" : "Phone"; });

} // namespace
} // namespace vx::ui
