// The browser table's list model: what it tells a view when the controller's rows change —
// changed rows only, one removed row, or a reset — and what each role reads.

#include "ui/BrowserRowModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx::ui {
namespace {

LoadFileRow track(const std::string& title) {
    LoadFileRow row;
    row.title = title;
    row.artist = title + " artist";
    row.tempo = "120 / 0";
    row.height = LoadFile::kTrackRowHeight;
    row.deletable = true;
    return row;
}

LoadFileRow importRow() {
    LoadFileRow row;
    row.isImport = true;
    row.title = LoadFile::kImportRowText;
    row.height = LoadFile::kImportRowHeight;
    return row;
}

std::vector<LoadFileRow> rowsOf(const std::vector<std::string>& titles) {
    std::vector<LoadFileRow> rows;
    for (const std::string& t : titles) {
        rows.push_back(track(t));
    }
    rows.push_back(importRow());
    return rows;
}

std::vector<std::string> titles(const BrowserRowModel& model) {
    std::vector<std::string> out;
    for (int i = 0; i < model.rowCount(); ++i) {
        out.push_back(
            model.data(model.index(i), BrowserRowModel::TitleRole).toString().toStdString());
    }
    return out;
}

TEST(BrowserRowModelTest, ReportsTheSmallestChange) {
    struct Case {
        const char* what;
        std::vector<std::string> from;
        std::vector<std::string> to;
        int resets;
        int removedAt; // -1: no removal
        std::vector<int> changed;
    };
    const Case cases[] = {
        {"unchanged", {"a", "b", "c"}, {"a", "b", "c"}, 0, -1, {}},
        {"one title differs", {"a", "b", "c"}, {"a", "x", "c"}, 0, -1, {1}},
        {"re-sorted", {"a", "b", "c"}, {"c", "b", "a"}, 0, -1, {0, 2}},
        {"first removed", {"a", "b", "c"}, {"b", "c"}, 0, 0, {}},
        {"middle removed", {"a", "b", "c"}, {"a", "c"}, 0, 1, {}},
        {"last track removed", {"a", "b", "c"}, {"a", "b"}, 0, 2, {}},
        {"only track removed", {"a"}, {}, 0, 0, {}},
        {"two removed", {"a", "b", "c"}, {"a"}, 1, -1, {}},
        {"one fewer, another order", {"a", "b", "c"}, {"c", "a"}, 1, -1, {}},
        {"one added", {"a", "b"}, {"a", "b", "c"}, 1, -1, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        BrowserRowModel model;
        model.setRows(rowsOf(k.from));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setRows(rowsOf(k.to));

        std::vector<std::string> want = k.to;
        want.push_back(LoadFile::kImportRowText);
        EXPECT_EQ(titles(model), want);
        EXPECT_EQ(resets.count(), k.resets);
        if (k.removedAt < 0) {
            EXPECT_EQ(removed.count(), 0);
        } else {
            ASSERT_EQ(removed.count(), 1);
            EXPECT_EQ(removed.at(0).at(1).toInt(), k.removedAt);
            EXPECT_EQ(removed.at(0).at(2).toInt(), k.removedAt);
        }
        std::vector<int> rows;
        for (const QList<QVariant>& signal : changed) {
            const QModelIndex top = signal.at(0).value<QModelIndex>();
            const QModelIndex bottom = signal.at(1).value<QModelIndex>();
            EXPECT_EQ(top.row(), bottom.row());
            rows.push_back(top.row());
        }
        EXPECT_EQ(rows, k.changed);
    }
}

TEST(BrowserRowModelTest, SelectionMovesWithOneChangePerAffectedRow) {
    BrowserRowModel model;
    model.setRows(rowsOf({"a", "b", "c"}));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.setSelectedRow(2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 2);
    model.setSelectedRow(0);
    ASSERT_EQ(changed.count(), 3); // row 2 off, row 0 on
    model.setSelectedRow(0);
    EXPECT_EQ(changed.count(), 3);
    model.setSelectedRow(-1);
    EXPECT_EQ(changed.count(), 4);
    for (int i = 0; i < model.rowCount(); ++i) {
        EXPECT_FALSE(model.data(model.index(i), BrowserRowModel::SelectedRole).toBool());
    }
}

TEST(BrowserRowModelTest, RolesReadTheRowsFields) {
    BrowserRowModel model;
    LoadFileRow a = track("Night Drive");
    a.album = "Demos";
    a.plays = "7";
    a.date = "03/04/24";
    a.selected = true;
    a.hasPeakFile = true;
    model.setRows({a, importRow()});
    ASSERT_EQ(model.rowCount(), 2);

    const QHash<int, QByteArray> names = model.roleNames();
    const auto value = [&](int row, const char* role) {
        return model.data(model.index(row), names.key(role));
    };
    EXPECT_EQ(value(0, "title").toString(), QStringLiteral("Night Drive"));
    EXPECT_EQ(value(0, "artist").toString(), QStringLiteral("Night Drive artist"));
    EXPECT_EQ(value(0, "album").toString(), QStringLiteral("Demos"));
    EXPECT_EQ(value(0, "tempo").toString(), QStringLiteral("120 / 0"));
    EXPECT_EQ(value(0, "plays").toString(), QStringLiteral("7"));
    EXPECT_EQ(value(0, "date").toString(), QStringLiteral("03/04/24"));
    EXPECT_TRUE(value(0, "deletable").toBool());
    EXPECT_TRUE(value(0, "selected").toBool());
    EXPECT_TRUE(value(0, "hasPeakFile").toBool());
    EXPECT_FALSE(value(0, "isImport").toBool());
    EXPECT_DOUBLE_EQ(value(0, "height").toDouble(), 58.0);

    EXPECT_TRUE(value(1, "isImport").toBool());
    EXPECT_FALSE(value(1, "deletable").toBool());
    EXPECT_DOUBLE_EQ(value(1, "height").toDouble(), 36.0);
    EXPECT_EQ(value(1, "title").toString(), QString::fromLatin1(LoadFile::kImportRowText));

    EXPECT_FALSE(model.data(model.index(2), names.key("title")).isValid());
}

} // namespace
} // namespace vx::ui
