#include "ui/BrowserRowModel.h"

#include <QString>

namespace vx::ui {

namespace {

// Everything a cell draws; two rows that compare equal draw the same.
bool sameRow(const LoadFileRow& a, const LoadFileRow& b) {
    return a.isImport == b.isImport && a.deletable == b.deletable && a.height == b.height &&
           a.title == b.title && a.artist == b.artist && a.album == b.album && a.tempo == b.tempo &&
           a.plays == b.plays && a.date == b.date && a.selected == b.selected &&
           a.hasPeakFile == b.hasPeakFile;
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

int BrowserRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant BrowserRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || size_t(index.row()) >= rows_.size()) {
        return {};
    }
    const LoadFileRow& row = rows_[size_t(index.row())];
    switch (role) {
    case TitleRole:
        return text(row.title);
    case ArtistRole:
        return text(row.artist);
    case AlbumRole:
        return text(row.album);
    case TempoRole:
        return text(row.tempo);
    case PlaysRole:
        return text(row.plays);
    case DateRole:
        return text(row.date);
    case IsImportRole:
        return row.isImport;
    case DeletableRole:
        return row.deletable;
    case SelectedRole:
        return row.selected;
    case HeightRole:
        return row.height;
    case HasPeakFileRole:
        return row.hasPeakFile;
    default:
        return {};
    }
}

QHash<int, QByteArray> BrowserRowModel::roleNames() const {
    return {{TitleRole, "title"},
            {ArtistRole, "artist"},
            {AlbumRole, "album"},
            {TempoRole, "tempo"},
            {PlaysRole, "plays"},
            {DateRole, "date"},
            {IsImportRole, "isImport"},
            {DeletableRole, "deletable"},
            {SelectedRole, "selected"},
            {HeightRole, "height"},
            {HasPeakFileRole, "hasPeakFile"}};
}

void BrowserRowModel::setRows(std::vector<LoadFileRow> rows) {
    if (rows.size() == rows_.size()) {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!sameRow(rows[i], rows_[i])) {
                rows_[i] = std::move(rows[i]);
                const QModelIndex at = index(int(i));
                emit dataChanged(at, at);
            }
        }
        return;
    }
    if (rows.size() + 1 == rows_.size()) {
        // One row gone: the first that differs, if every later one moved up by one.
        size_t gone = 0;
        while (gone < rows.size() && sameRow(rows[gone], rows_[gone])) {
            ++gone;
        }
        bool shifted = true;
        for (size_t i = gone; i < rows.size() && shifted; ++i) {
            shifted = sameRow(rows[i], rows_[i + 1]);
        }
        if (shifted) {
            beginRemoveRows(QModelIndex(), int(gone), int(gone));
            rows_.erase(rows_.begin() + std::ptrdiff_t(gone));
            endRemoveRows();
            return;
        }
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void BrowserRowModel::setSelectedRow(int selected) {
    for (size_t i = 0; i < rows_.size(); ++i) {
        const bool on = int(i) == selected;
        if (rows_[i].selected != on) {
            rows_[i].selected = on;
            const QModelIndex at = index(int(i));
            emit dataChanged(at, at, {SelectedRole});
        }
    }
}

} // namespace vx::ui
