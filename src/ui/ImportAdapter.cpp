#include "ui/ImportAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "library/iTunesImporter.h"

#include <QJSEngine>
#include <QQmlEngine>
#include <QVariantMap>

namespace vx::ui {

ImportAdapter::ImportAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)) {
    refresh();
}

ImportAdapter::~ImportAdapter() = default;

QString ImportAdapter::prompt() {
    return QString::fromUtf8(iTunesImporter::kPrompt);
}

iTunesImporter* ImportAdapter::importer() const {
    return app_.importer();
}

void ImportAdapter::acted() {
    if (acted_) {
        acted_();
    }
    refresh();
}

void ImportAdapter::refresh() {
    State n;
    if (const iTunesImporter* i = importer()) {
        n.shown = i->viewShown();
        n.pickerShown = i->pickerShown();
        n.importing = i->importing();
        n.activityShown = i->activityShown();
        const ImportingController& p = i->progressView();
        n.allProgress = p.allProgress;
        n.fileProgress = p.fileProgress;
        n.allLabel = QString::fromStdString(p.allLabel);
        n.fileLabel = QString::fromStdString(p.fileLabel);
        if (const MediaPicker* picker = i->picker()) {
            n.loading = picker->loading();
            n.searchText = QString::fromStdString(picker->searchText());
            n.selectedCount = int(picker->selectedCount());
            for (size_t r = 0; r < picker->rowCount(); ++r) {
                const MediaPicker::Row row = picker->row(r);
                n.rows.append(QVariantMap{{"title", QString::fromStdString(row.title)},
                                          {"artist", QString::fromStdString(row.artist)},
                                          {"album", QString::fromStdString(row.album)},
                                          {"length", QString::fromStdString(row.length)},
                                          {"selected", row.selected},
                                          {"problem", QString::fromStdString(row.problem)}});
            }
        }
    }
    if (!(n == s_)) {
        s_ = std::move(n);
        emit changed();
    }
}

void ImportAdapter::search(const QString& text) {
    if (iTunesImporter* i = importer(); i && i->picker()) {
        i->picker()->setSearchText(text.toStdString());
    }
    acted();
}

void ImportAdapter::toggle(int row) {
    if (iTunesImporter* i = importer(); i && i->picker() && row >= 0) {
        i->picker()->toggleRow(size_t(row));
    }
    acted();
}

void ImportAdapter::done() {
    if (iTunesImporter* i = importer()) {
        i->pickerDone();
    }
    acted();
}

void ImportAdapter::cancelPicker() {
    if (iTunesImporter* i = importer()) {
        i->mediaPickerDidCancel();
    }
    acted();
}

void ImportAdapter::cancelImport() {
    if (iTunesImporter* i = importer()) {
        i->cancelImport();
    }
    acted();
}

} // namespace vx::ui
