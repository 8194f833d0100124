// The track browser's face end to end: the application's composition on a temporary home
// (offline device paced in real time), the browser opened from a deck's eject button and
// driven through its QML items with touches and the mouse, checked against the browser
// controller and the engine's decks.

#include "UiShellFixture.h"
#include "analysis/analyzeTrack.h"
#include "analysis/peakFileData.h"
#include "app/LoadFile.h"
#include "ui/BrowserAdapter.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vx::ui {
namespace {

using namespace shelltest;

namespace fs = std::filesystem;

// The running shell with the browser's helpers.
class BrowserShell : public RunningShell {
public:
    using RunningShell::RunningShell;

    // Presses deck `d`'s eject button and waits until the browser is drawn for that deck.
    bool openBrowser(int d) {
        QQuickItem* eject = item(QStringLiteral("eject%1").arg(d));
        QQuickItem* browser = item(QStringLiteral("browser"));
        if (!eject || !browser) {
            return false;
        }
        tap(window_, eject);
        return QTest::qWaitFor(
            [&] { return app().loadFileShown() && app().loadFile() && browser->isVisible(); },
            kStateWaitMs);
    }
    // The listed row of `file`, or -1.
    int rowOf(const fs::path& file) {
        const LoadFile* browser = app().loadFile();
        if (!browser) {
            return -1;
        }
        for (size_t i = 0; i < browser->infoList().size(); ++i) {
            if (browser->infoList()[i]->fileName == file) {
                return int(i);
            }
        }
        return -1;
    }
    // Scrolls the table to row `row` and returns its cell once it is drawn.
    QQuickItem* rowItem(int row) {
        QQuickItem* list = item(QStringLiteral("browserList"));
        if (!list) {
            return nullptr;
        }
        // ListView.Contain: the least scrolling that shows the whole row.
        QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, row), Q_ARG(int, 4));
        QQuickItem* cell = nullptr;
        const bool shown = QTest::qWaitFor(
            [&] {
                cell = item(QStringLiteral("browserRow%1").arg(row));
                return cell && cell->isVisible();
            },
            kStateWaitMs);
        return shown ? cell : nullptr;
    }
};

// Pixels of `image` inside `scene` (window coordinates) drawn in the overview's colour.
int overviewPixels(const QImage& image, const QRectF& scene) {
    const QColor want = BrowserAdapter::overviewColor();
    const qreal dpr = image.devicePixelRatio();
    const QRect r = QRectF(scene.topLeft() * dpr, scene.size() * dpr).toRect() & image.rect();
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - want.red()) <= 3 && std::abs(c.green() - want.green()) <= 3 &&
                std::abs(c.blue() - want.blue()) <= 3) {
                ++count;
            }
        }
    }
    return count;
}

// Phone: the browser covers the window; a tapped track becomes the selection and shows its
// overview; Load puts that file on the deck the browser was opened for, and only there.
TEST(BrowserTest, PhoneLoadsTheTappedTrackIntoTheEjectedDeck) {
    BrowserShell shell(false);
    ASSERT_TRUE(shell.ready());
    const fs::path before0 = shell.loadedFile(0);
    const fs::path before1 = shell.loadedFile(1);
    ASSERT_FALSE(before0.empty());
    ASSERT_NE(before0, before1) << "the decks start with the same track";

    ASSERT_TRUE(shell.openBrowser(0));
    EXPECT_EQ(shell.app().sideToLoad(), 0);
    QQuickItem* panel = shell.item(QStringLiteral("browserPanel"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(sceneRect(panel), QRectF(0, 0, shell.window()->width(), shell.window()->height()));
    // Opened for deck 0 (the lower one): its header is the lit one.
    EXPECT_TRUE(shell.core().browser().headerREnabled());
    EXPECT_FALSE(shell.core().browser().headerLEnabled());
    // Random pick is off on a new home: no Random button.
    QQuickItem* random = shell.item(QStringLiteral("browserRandom"));
    ASSERT_NE(random, nullptr);
    EXPECT_FALSE(random->isVisible());

    // Deck 1's track: another file than deck 0's, analysed when deck 1 loaded it.
    const int row = shell.rowOf(before1);
    ASSERT_GE(row, 0);
    QQuickItem* cell = shell.rowItem(row);
    ASSERT_NE(cell, nullptr);
    EXPECT_DOUBLE_EQ(cell->height(), LoadFile::kTrackRowHeight);
    QQuickItem* load = shell.item(QStringLiteral("browserLoad"));
    ASSERT_NE(load, nullptr);
    EXPECT_FALSE(load->isEnabled());
    tap(shell.window(), cell);
    const LoadFile* browser = shell.app().loadFile();
    ASSERT_NE(browser->lastFileItem(), nullptr);
    EXPECT_EQ(browser->lastFileItem()->fileName, before1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return load->isEnabled(); }, kStateWaitMs));

    // The selected cell draws the overview; the others do not.
    QQuickItem* overview = shell.item(QStringLiteral("browserOverview%1").arg(row));
    ASSERT_NE(overview, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overview->isVisible(); }, kStateWaitMs));
    QImage image;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            image = shell.screenshot(QStringLiteral("browser-phone"));
            return overviewPixels(image, sceneRect(cell)) > 0;
        },
        kStateWaitMs))
        << "no overview drawn in the selected cell";
    const int other = row == 0 ? 1 : 0;
    QQuickItem* otherCell = shell.rowItem(other);
    ASSERT_NE(otherCell, nullptr);
    EXPECT_EQ(overviewPixels(shell.window()->grabWindow(), sceneRect(otherCell)), 0);

    tap(shell.window(), load);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.item(QStringLiteral("browser"))->isVisible(); },
                                kStateWaitMs));
    EXPECT_FALSE(shell.app().loadFileShown());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.loadedFile(0) == before1; }, kLoadWaitMs))
        << "deck 0 holds " << shell.loadedFile(0);
    EXPECT_EQ(shell.loadedFile(1), before1);
}

// Tablet: a popover pointing at the left deck's header; the filter and sort buttons reach the
// controller and show its state; Cancel and a tap beside the popover close it without loading.
TEST(BrowserTest, TabletPopoverFiltersSortsAndCancels) {
    BrowserShell shell(true);
    ASSERT_TRUE(shell.ready());
    const fs::path before1 = shell.loadedFile(1);
    ASSERT_FALSE(before1.empty());

    ASSERT_TRUE(shell.openBrowser(1));
    EXPECT_EQ(shell.app().sideToLoad(), 1);
    QQuickItem* panel = shell.item(QStringLiteral("browserPanel"));
    ASSERT_NE(panel, nullptr);
    // Deck 1 is the left one: the popover hangs below the top of the window, centred left of
    // the middle, narrower than the window.
    const QRectF box = sceneRect(panel);
    const qreal w = shell.window()->width();
    EXPECT_LT(box.width(), w);
    EXPECT_GT(box.top(), 0);
    EXPECT_LT(box.center().x(), w / 2);
    EXPECT_GE(box.left(), 0);
    EXPECT_TRUE(shell.core().browser().headerLEnabled());

    // A selection, so that the screenshot shows the highlighted cell.
    const int row = shell.rowOf(before1);
    ASSERT_GE(row, 0);
    QQuickItem* cell = shell.rowItem(row);
    ASSERT_NE(cell, nullptr);
    QTest::mouseClick(shell.window(), Qt::LeftButton, {}, sceneCentre(cell));
    ASSERT_NE(shell.app().loadFile()->lastFileItem(), nullptr);
    EXPECT_EQ(shell.app().loadFile()->lastFileItem()->fileName, before1);
    QTest::qWait(200); // let the overview paint before the picture
    shell.screenshot(QStringLiteral("browser-tablet"));

    // Filter buttons: index i carries tag 19 + i, that is filter kind i - 1.
    LoadFile* browser = shell.app().loadFile();
    QQuickItem* list = shell.item(QStringLiteral("browserList"));
    ASSERT_NE(list, nullptr);
    for (int i : {3, 1, 5, 0}) {
        SCOPED_TRACE(i);
        QQuickItem* button = shell.item(QStringLiteral("browserFilter%1").arg(i));
        ASSERT_NE(button, nullptr);
        tap(shell.window(), button);
        EXPECT_EQ(browser->filterKind(), i - 1);
        for (int j = 0; j < LoadFile::kFilterButtonCount; ++j) {
            EXPECT_EQ(browser->filterButtonSelected(j), j == i) << "button " << j;
            QQuickItem* b = shell.item(QStringLiteral("browserFilter%1").arg(j));
            EXPECT_EQ(b->property("selected").toBool(), j == i) << "button " << j;
        }
        // The table is the list of that filter plus the import row.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return list->property("count").toInt() == int(browser->rowCount()); },
            kStateWaitMs))
            << list->property("count").toInt() << " rows drawn, " << browser->rowCount()
            << " listed";
    }
    // The import row is last and lower than a track row.
    QQuickItem* importCell = shell.rowItem(int(browser->rowCount()) - 1);
    ASSERT_NE(importCell, nullptr);
    EXPECT_DOUBLE_EQ(importCell->height(), LoadFile::kImportRowHeight);

    // Sort buttons: the first steps the order and shows its name; the others select.
    QQuickItem* sort1 = shell.item(QStringLiteral("browserSort1"));
    QQuickItem* sort2 = shell.item(QStringLiteral("browserSort2"));
    ASSERT_NE(sort1, nullptr);
    ASSERT_NE(sort2, nullptr);
    const int kind = browser->sortKind();
    tap(shell.window(), sort1);
    EXPECT_EQ(browser->sortKind(), (kind + 1) % 5);
    EXPECT_EQ(sort1->property("text").toString(),
              QString::fromStdString(browser->sortOrderLabel()));
    tap(shell.window(), sort2);
    EXPECT_EQ(browser->sortKind(), LoadFile::kSortDateAdded);
    EXPECT_TRUE(sort2->property("selected").toBool());
    EXPECT_FALSE(sort1->property("selected").toBool());

    // Cancel: closed, nothing loaded.
    QQuickItem* cancel = shell.item(QStringLiteral("browserCancel"));
    ASSERT_NE(cancel, nullptr);
    tap(shell.window(), cancel);
    EXPECT_FALSE(shell.app().loadFileShown());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.item(QStringLiteral("browser"))->isVisible(); },
                                kStateWaitMs));
    EXPECT_FALSE(shell.deck(1)->isLoading.load());
    EXPECT_EQ(shell.loadedFile(1), before1);

    // A tap beside the popover dismisses it the same way.
    ASSERT_TRUE(shell.openBrowser(1));
    const QRectF again = sceneRect(shell.item(QStringLiteral("browserPanel")));
    const QPoint beside(int(again.center().x()), int(shell.window()->height()) - 3);
    ASSERT_FALSE(again.contains(beside));
    QTest::touchEvent(shell.window(), touchScreen()).press(0, beside, shell.window());
    QTest::touchEvent(shell.window(), touchScreen()).release(0, beside, shell.window());
    EXPECT_FALSE(shell.app().loadFileShown());
    EXPECT_EQ(shell.loadedFile(1), before1);
}

// A user track's cell slides aside under a sideways drag and uncovers Delete, which removes
// the file and its row; a built-in track's cell does not move.
TEST(BrowserTest, SwipingAUserTrackUncoversDelete) {
    fs::path mine;
    BrowserShell shell(false, [&](const fs::path& documents) {
        mine = documents / "Swipe Me bpm120.mp3";
        ASSERT_TRUE(test::writeTone(mine, 2.0));
        ASSERT_EQ(analyzeTrack(mine, nullptr, nullptr), 1);
    });
    ASSERT_TRUE(shell.ready());
    ASSERT_TRUE(shell.openBrowser(0));
    LoadFile* browser = shell.app().loadFile();
    ASSERT_EQ(browser->filterKind(), -1);
    const size_t rowsBefore = browser->rowCount();

    const auto swipe = [&](QQuickItem* cell) {
        const QPoint start = sceneCentre(cell);
        const int travel = int(cell->width() / 3);
        QTest::mousePress(shell.window(), Qt::LeftButton, {}, start);
        for (int step = 1; step <= 12; ++step) {
            QTest::mouseMove(shell.window(), start - QPoint(travel * step / 12, 0));
        }
        QTest::mouseRelease(shell.window(), Qt::LeftButton, {}, start - QPoint(travel, 0));
    };

    // A built-in track: nothing to uncover, nothing deleted, nothing selected.
    int builtIn = -1;
    for (size_t i = 0; i < browser->infoList().size() && builtIn < 0; ++i) {
        if (!browser->row(i).deletable) {
            builtIn = int(i);
        }
    }
    ASSERT_GE(builtIn, 0);
    QQuickItem* builtInCell = shell.rowItem(builtIn);
    ASSERT_NE(builtInCell, nullptr);
    swipe(builtInCell);
    QQuickItem* builtInDelete = shell.item(QStringLiteral("browserDelete%1").arg(builtIn));
    ASSERT_NE(builtInDelete, nullptr);
    EXPECT_FALSE(builtInDelete->isVisible());
    EXPECT_EQ(browser->rowCount(), rowsBefore);

    const int row = shell.rowOf(mine);
    ASSERT_GE(row, 0);
    ASSERT_TRUE(browser->row(size_t(row)).deletable);
    QQuickItem* cell = shell.rowItem(row);
    ASSERT_NE(cell, nullptr);
    swipe(cell);
    QQuickItem* del = shell.item(QStringLiteral("browserDelete%1").arg(row));
    ASSERT_NE(del, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return del->isVisible(); }, kStateWaitMs));
    // The swipe is not a tap: nothing was selected on the way.
    EXPECT_EQ(browser->lastFileItem(), nullptr);
    // Wait for the face to settle fully open, then press Delete where it is uncovered.
    QTest::qWait(300);
    const QRectF button = sceneRect(del);
    QTest::mouseClick(shell.window(), Qt::LeftButton, {},
                      QPoint(int(button.right()) - 4, int(button.center().y())));
    EXPECT_EQ(browser->rowCount(), rowsBefore - 1);
    EXPECT_EQ(shell.rowOf(mine), -1);
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_FALSE(fs::exists(peakFilePath(mine)));
    QQuickItem* list = shell.item(QStringLiteral("browserList"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->property("count").toInt(), int(rowsBefore) - 1);
}

// With random pick switched on the Random button shows; it loads a track other than the
// deck's own into that deck and closes the browser.
TEST(BrowserTest, RandomButtonLoadsAnotherTrackWhenSwitchedOn) {
    BrowserShell shell(false);
    ASSERT_TRUE(shell.ready());
    // The browser reads the setting when it is made, on the first eject.
    shell.app().defaults().setBool("kRandonSong", true);
    const fs::path before0 = shell.loadedFile(0);
    ASSERT_FALSE(before0.empty());

    ASSERT_TRUE(shell.openBrowser(0));
    QQuickItem* random = shell.item(QStringLiteral("browserRandom"));
    ASSERT_NE(random, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return random->isVisible(); }, kStateWaitMs));
    tap(shell.window(), random);
    // A pick not analysed yet closes the browser a moment later, analysed at once.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.app().loadFileShown(); }, kStateWaitMs));
    fs::path after;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            after = shell.loadedFile(0);
            return !after.empty() && after != before0;
        },
        kLoadWaitMs))
        << "deck 0 still holds " << before0;
    EXPECT_GE(shell.rowOf(after), 0);
}

} // namespace
} // namespace vx::ui
