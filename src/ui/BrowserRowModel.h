#pragma once
// BrowserRowModel: the track browser's table as a list model for a ListView — one row per
// listed track plus the import row, each the browser controller's plain description of it
// (labels, height, whether it can be deleted, whether it is the selection).
//
// The model is fed whole lists by its adapter and works out the smallest change itself: rows
// whose text or flags differ are reported as changed, a single missing row (a deleted track)
// as removed, anything else as a reset. So selecting a row or sorting keeps the view where
// it is scrolled to, and only an open or a filter change starts it from the top.
//
// Threads: GUI (main) thread only. Owned by its BrowserAdapter.

#include "app/LoadFile.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

#include <vector>

namespace vx::ui {

class BrowserRowModel : public QAbstractListModel {
    Q_OBJECT
    QML_ANONYMOUS

public:
    enum Role {
        TitleRole = Qt::UserRole + 1,
        ArtistRole,
        AlbumRole,
        TempoRole,
        PlaysRole,
        DateRole,
        IsImportRole,
        DeletableRole,
        SelectedRole,
        HeightRole,
        HasPeakFileRole,
    };

    // GUI thread.
    explicit BrowserRowModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    // GUI thread: the rows shown (empty while the browser does not exist).
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // GUI thread: the role's value for row `index` (invalid outside the rows).
    QVariant data(const QModelIndex& index, int role) const override;
    // GUI thread: the role names QML sees (title, artist, ..., height in points).
    QHash<int, QByteArray> roleNames() const override;

    // GUI thread: shows `rows`, signalling changed rows, one removed row or a reset.
    void setRows(std::vector<LoadFileRow> rows);
    // GUI thread: marks row `selected` (none when out of range) as the only selected one.
    void setSelectedRow(int selected);

private:
    std::vector<LoadFileRow> rows_;
};

} // namespace vx::ui
