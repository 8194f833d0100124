#include "ui/BrowserAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "app/LoadFile.h"

#include <QJSEngine>
#include <QQmlEngine>

#include <cmath>

namespace vx::ui {

BrowserAdapter::BrowserAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)), rows_(new BrowserRowModel(this)) {
    refresh();
}

BrowserAdapter::~BrowserAdapter() = default;

QColor BrowserAdapter::overviewColor() {
    return QColor::fromRgbF(float(LoadFile::kOverviewColour[0]),
                            float(LoadFile::kOverviewColour[1]),
                            float(LoadFile::kOverviewColour[2]));
}

int BrowserAdapter::firstFilterTag() {
    return LoadFile::kFirstFilterTag;
}

LoadFile* BrowserAdapter::browser() const {
    return app_.loadFile();
}

void BrowserAdapter::acted() {
    if (acted_) {
        acted_();
    }
    refresh(true);
}

void BrowserAdapter::refresh(bool rowsToo) {
    const LoadFile* b = browser();
    State n;
    n.shown = app_.loadFileShown();
    n.filterSelected.reserve(LoadFile::kFilterButtonCount);
    n.sortSelected.reserve(LoadFile::kSortButtonCount);
    if (!b) {
        for (int i = 0; i < LoadFile::kFilterButtonCount; ++i) {
            n.filterSelected.append(false);
        }
        for (int i = 0; i < LoadFile::kSortButtonCount; ++i) {
            n.sortSelected.append(false);
        }
        if (readFrom_) {
            rows_->setRows({});
            readFrom_ = nullptr;
            readReloads_ = -1;
        }
    } else {
        n.deck = b->sideToLoad();
        n.filterKind = b->filterKind();
        n.sortKind = b->sortKind();
        for (int i = 0; i < LoadFile::kFilterButtonCount; ++i) {
            n.filterSelected.append(b->filterButtonSelected(i));
        }
        for (int i = 0; i < LoadFile::kSortButtonCount; ++i) {
            n.sortSelected.append(b->sortButtonSelected(i));
        }
        n.sortOrderLabel = QString::fromStdString(b->sortOrderLabel());
        n.loadEnabled = b->loadButtonEnabled();
        n.headerLEnabled = b->headerLEnabled();
        n.headerREnabled = b->headerREnabled();
        n.touchesEnabled = b->touchesEnabled();
        n.randomEnabled = b->randomSongEnabled();
        const std::optional<size_t> selected = b->selectedRow();
        n.selectedRow = selected ? int(*selected) : -1;

        if (rowsToo || b != readFrom_ || b->reloadCount() != readReloads_) {
            std::vector<LoadFileRow> rows;
            rows.reserve(b->rowCount());
            for (size_t i = 0; i < b->rowCount(); ++i) {
                rows.push_back(b->row(i));
            }
            rows_->setRows(std::move(rows));
            readFrom_ = b;
            readReloads_ = b->reloadCount();
        } else {
            rows_->setSelectedRow(n.selectedRow);
        }
    }
    if (const std::optional<ScreenRect> a = app_.loadFileAnchor()) {
        n.anchored = true;
        n.anchorRect = QRectF(a->x, a->y, a->width, a->height);
    }
    if (!(n == s_)) {
        s_ = std::move(n);
        emit changed();
    }
}

void BrowserAdapter::setFilter(int tag) {
    if (LoadFile* b = browser()) {
        b->setFilter(tag);
    }
    acted();
}

void BrowserAdapter::sort1() {
    if (LoadFile* b = browser()) {
        b->setSort1();
    }
    acted();
}

void BrowserAdapter::sort2() {
    if (LoadFile* b = browser()) {
        b->setSort2();
    }
    acted();
}

void BrowserAdapter::sort3() {
    if (LoadFile* b = browser()) {
        b->setSort3();
    }
    acted();
}

void BrowserAdapter::select(int row) {
    LoadFile* b = browser();
    if (b && row >= 0 && size_t(row) < b->rowCount()) {
        b->selectRow(size_t(row));
    }
    acted();
}

void BrowserAdapter::remove(int row) {
    LoadFile* b = browser();
    if (b && row >= 0 && size_t(row) < b->rowCount()) {
        b->deleteRow(size_t(row));
    }
    acted();
}

void BrowserAdapter::load() {
    if (LoadFile* b = browser()) {
        b->load();
    }
    acted();
}

void BrowserAdapter::random() {
    if (LoadFile* b = browser()) {
        b->loadAnyTrack();
    }
    acted();
}

void BrowserAdapter::cancel() {
    if (LoadFile* b = browser()) {
        b->cancel();
    }
    acted();
}

QVariantList BrowserAdapter::overview(int row, int width, double height) const {
    QVariantList lines;
    const LoadFile* b = browser();
    if (!b || row < 0 || width < 1 || !std::isfinite(height)) {
        return lines;
    }
    const std::vector<double> reach = b->overview(size_t(row), width, height);
    lines.reserve(qsizetype(reach.size()));
    for (double r : reach) {
        lines.append(r);
    }
    return lines;
}

} // namespace vx::ui
