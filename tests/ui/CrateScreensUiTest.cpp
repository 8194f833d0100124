// The crate manager and the playlist editor through the shell, on both layouts: opened from the
// main menu, a track assigned with the picker, a crate shown, a preview started and stopped by
// leaving, a tag renamed through the two questions, a swipe deletion, and a drag that reorders
// the crate. Every button is a 44 px target with its caption whole. Screenshots go to the
// artifacts.

#include "UiShellFixture.h"
#include "app/CrateManager.h"
#include "app/PlaylistManager.h"
#include "engine/PreviewPlayer.h"
#include "library/DBController.h"
#include "ui/CratesAdapter.h"
#include "ui/MenuAdapter.h"
#include "ui/ShellAdapter.h"

#include <gtest/gtest.h>

namespace vx::ui {
namespace {

using namespace shelltest;
namespace fs = std::filesystem;

// Every visible button under `root` is at least 44 px both ways and shows its whole caption.
void expectWholeTargets(QQuickItem* root, const std::string& where) {
    if (!root || !root->isVisible()) {
        return;
    }
    if (root->property("touchTarget").toBool()) {
        EXPECT_GE(root->width(), 44.0) << where << " " << root->objectName().toStdString();
        EXPECT_GE(root->height(), 44.0) << where << " " << root->objectName().toStdString();
        if (auto* label = root->property("label").value<QQuickItem*>()) {
            EXPECT_FALSE(label->property("truncated").toBool())
                << where << " " << root->objectName().toStdString();
        }
    }
    for (QQuickItem* child : root->childItems()) {
        expectWholeTargets(child, where);
    }
}

class CrateScreensUiTest : public ::testing::TestWithParam<bool> {};

TEST_P(CrateScreensUiTest, CratesAndPlaylistsFromTheMenu) {
    const bool tablet = GetParam();
    const QString layout = tablet ? QStringLiteral("tablet") : QStringLiteral("phone");
    RunningShell shell(tablet, [](const fs::path& documents) {
        for (const char* name : {"Charlie bpm120.mp3", "Alpha bpm124.mp3", "Bravo bpm98.mp3"}) {
            ASSERT_TRUE(test::writeTone(documents / name, 2.0));
        }
    });
    ASSERT_TRUE(shell.ready());
    CratesAdapter& crates = shell.core().crates();
    const fs::path documents = shell.app().paths().documents();

    // The menu's entry opens the crate manager on all tracks in title order.
    shell.core().menu().toggle();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.item("menuCrates")->isVisible(); }, kStateWaitMs));
    tap(shell.window(), shell.item("menuCrates"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return crates.managerShown(); }, kStateWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.item("crateRow2") != nullptr; }, kStateWaitMs));
    QTest::qWait(100);
    EXPECT_EQ(shell.item("crateTitle0")->property("text").toString().left(5), "Alpha");
    EXPECT_EQ(shell.item("crateTempo0")->property("text").toString(), "124 BPM");
    EXPECT_EQ(shell.item("crateSort")->property("text").toString(), "Sort: Title");
    expectWholeTargets(shell.item("crateManager"), "crate manager " + layout.toStdString());
    shell.screenshot("crates-" + layout);

    // The picker over row 0: crate B.
    tap(shell.window(), shell.item("crateAssign0"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.item("cratePicker")->isVisible(); }, kStateWaitMs));
    expectWholeTargets(shell.item("cratePicker"), "crate picker " + layout.toStdString());
    shell.screenshot("crates-picker-" + layout);
    tap(shell.window(), shell.item("pickB"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !shell.item("cratePicker")->isVisible(); }, kStateWaitMs));
    EXPECT_EQ(shell.item("crateAssign0")->property("text").toString(), "B");
    // And row 1 (Bravo) too, then crate B alone.
    tap(shell.window(), shell.item("crateAssign1"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.item("cratePicker")->isVisible(); }, kStateWaitMs));
    tap(shell.window(), shell.item("pickB"));
    tap(shell.window(), shell.item("crateButtonB"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return crates.rows().size() == 2; }, kStateWaitMs));
    EXPECT_EQ(crates.currentCrate(), 1);

    // A preview plays until the screen is left.
    tap(shell.window(), shell.item("cratePlay0"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.app().previewPlayer()->playing(); }, kStateWaitMs));
    EXPECT_EQ(shell.item("cratePlay0")->property("text").toString(), "■");

    // Tags: the same row twice asks what to change, then the new title.
    tap(shell.window(), shell.item("crateTitle1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return crates.rows()[1].toMap()["selected"].toBool(); },
                                kStateWaitMs));
    QTest::qWait(400); // not a double tap
    tap(shell.window(), shell.item("crateTitle1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.core().shell().alertShown(); }, kStateWaitMs));
    QTest::qWait(50);
    tap(shell.window(), shell.item("alertButton1")); // Title
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shell.core().shell().alertShown() && shell.item("alertField")->isVisible(); },
        kStateWaitMs));
    QTest::qWait(50);
    shell.screenshot("crates-rename-" + layout);
    shell.item("alertField")->setProperty("text", "Bravissimo");
    tap(shell.window(), shell.item("alertButton1")); // Rename
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return crates.rows().size() == 2 && crates.rows()[1].toMap()["title"] == "Bravissimo";
        },
        kStateWaitMs));

    // Back to all tracks: Charlie is swiped away.
    tap(shell.window(), shell.item("crateButtonAll"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return crates.rows().size() > 3; }, kStateWaitMs));
    QTest::qWait(100);
    int charlie = -1;
    for (int i = 0; i < crates.rows().size(); ++i) {
        if (crates.rows()[i].toMap()["title"].toString().startsWith("Charlie")) {
            charlie = i;
        }
    }
    ASSERT_GE(charlie, 0);
    const QRectF row = sceneRect(shell.item(QStringLiteral("crateRow%1").arg(charlie)));
    drag(shell.window(), QPoint(int(row.left() + row.width() * 0.6), int(row.center().y())),
         QPoint(int(row.left() + row.width() * 0.15), int(row.center().y())));
    QQuickItem* remove = shell.item(QStringLiteral("crateRowDelete%1").arg(charlie));
    ASSERT_TRUE(QTest::qWaitFor([&] { return remove->isVisible(); }, kStateWaitMs));
    tap(shell.window(), remove);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fs::exists(documents / "Charlie bpm120.mp3"); },
                                kStateWaitMs));

    tap(shell.window(), shell.item("crateBack"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !crates.managerShown(); }, kStateWaitMs));
    EXPECT_FALSE(shell.app().previewPlayer()->playing());
    EXPECT_FALSE(shell.item("crateManager")->isVisible());

    // The playlist editor: crate B in playlist order, the first row dragged onto the second.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shell.item("menuPlaylists")->isVisible(); }, kStateWaitMs));
    tap(shell.window(), shell.item("menuPlaylists"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return crates.playlistShown(); }, kStateWaitMs));
    tap(shell.window(), shell.item("filterB"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return crates.playlistCrate() == 1 && shell.item("playlistHandle1") != nullptr; },
        kStateWaitMs));
    QTest::qWait(100);
    EXPECT_EQ(shell.item("playlistRowTitle0")->property("text").toString().left(5), "Alpha");
    EXPECT_TRUE(shell.item("playlistHandle0")->isVisible());
    expectWholeTargets(shell.item("playlistEditor"), "playlist editor " + layout.toStdString());
    shell.screenshot("playlist-" + layout);
    drag(shell.window(), sceneCentre(shell.item("playlistHandle0")),
         sceneCentre(shell.item("playlistHandle1")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return crates.playlistRows().size() == 2 &&
                   crates.playlistRows()[0].toMap()["title"] == "Bravissimo";
        },
        kStateWaitMs));
    const auto listed = shell.app().db()->getListForCrate(1);
    ASSERT_TRUE(listed);
    EXPECT_EQ((*listed)[0]->title.value_or(""), "Bravissimo");
    shell.screenshot("playlist-moved-" + layout);
    tap(shell.window(), shell.item("playlistBack"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !crates.playlistShown(); }, kStateWaitMs));
    EXPECT_EQ(shell.app().db()->resultSortOrder(), 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CrateScreensUiTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tablet" : "Phone"; });

} // namespace
} // namespace vx::ui
