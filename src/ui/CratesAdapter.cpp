#include "ui/CratesAdapter.h"

#include "app/DuovexAppDelegate.h"

#include <QJSEngine>
#include <QQmlEngine>
#include <QVariantMap>

namespace vx::ui {

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

CratesAdapter::CratesAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)) {
    refresh();
}

void CratesAdapter::acted() {
    if (acted_) {
        acted_();
    }
    refresh();
}

void CratesAdapter::refresh() {
    State n;
    if (const CrateManager* m = app_.crateManager()) {
        n.managerShown = m->shown();
        n.currentCrate = m->currentCrate();
        n.sortLabel = text(m->sortOrderLabel());
        n.pickerRow = m->lastEditedIndex();
        for (const CrateRow& r : m->rows()) {
            n.rows.append(QVariantMap{{"title", text(r.title)},
                                      {"artist", text(r.artist)},
                                      {"album", text(r.album)},
                                      {"tempo", text(r.tempo)},
                                      {"duration", text(r.duration)},
                                      {"size", text(r.size)},
                                      {"assigned", text(r.assigned)},
                                      {"builtIn", r.builtIn},
                                      {"playing", r.playing},
                                      {"selected", r.selected}});
        }
    }
    if (const PlaylistManager* p = app_.playlistManager()) {
        n.playlistShown = p->shown();
        n.playlistCrate = p->useCrates() ? p->crateNo() : -1;
        n.playlistTitle = text(p->titleLabel());
        for (const PlaylistRow& r : p->rows()) {
            n.playlistRows.append(QVariantMap{{"title", text(r.title)},
                                              {"artist", text(r.artist)},
                                              {"sortOrder", r.sortOrder},
                                              {"deletable", r.deletable}});
        }
    }
    if (!(n == s_)) {
        s_ = std::move(n);
        emit changed();
    }
}

void CratesAdapter::openManager() {
    app_.showCrateManager();
    acted();
}

void CratesAdapter::back() {
    if (CrateManager* m = app_.crateManager()) {
        m->back();
    }
    acted();
}

void CratesAdapter::setCrate(int crate) {
    if (CrateManager* m = app_.crateManager()) {
        m->setCurrentCrate(crate + CrateManager::kCrateButtonTagOffset);
    }
    acted();
}

void CratesAdapter::sortBy() {
    if (CrateManager* m = app_.crateManager()) {
        m->sortBy();
    }
    acted();
}

void CratesAdapter::selectRow(int row) {
    if (CrateManager* m = app_.crateManager()) {
        m->selectRow(row);
    }
    acted();
}

void CratesAdapter::assign(int row) {
    if (CrateManager* m = app_.crateManager()) {
        m->showOverlayView(row);
    }
    acted();
}

void CratesAdapter::pick(int crate) {
    if (CrateManager* m = app_.crateManager()) {
        m->crateSet(crate >= 0 ? crate + CrateManager::kPickerTagOffset
                               : CrateManager::kNoCrateTag);
    }
    acted();
}

void CratesAdapter::closePicker() {
    if (CrateManager* m = app_.crateManager()) {
        m->hideOverlayView();
    }
    acted();
}

void CratesAdapter::play(int row) {
    if (CrateManager* m = app_.crateManager()) {
        m->playRow(row);
    }
    acted();
}

void CratesAdapter::deleteRow(int row) {
    if (CrateManager* m = app_.crateManager()) {
        m->deleteRow(row);
    }
    acted();
}

void CratesAdapter::emptyCrate() {
    if (CrateManager* m = app_.crateManager()) {
        m->emptyCrate();
    }
    acted();
}

void CratesAdapter::deleteCrate() {
    if (CrateManager* m = app_.crateManager()) {
        m->deleteCrate();
    }
    acted();
}

void CratesAdapter::importMusic() {
    if (CrateManager* m = app_.crateManager()) {
        m->importFromiTunes();
    }
    acted();
}

void CratesAdapter::server() {
    if (CrateManager* m = app_.crateManager()) {
        m->server();
    }
    acted();
}

void CratesAdapter::openPlaylist() {
    app_.showPlaylistManager();
    acted();
}

void CratesAdapter::playlistBack() {
    if (PlaylistManager* p = app_.playlistManager()) {
        p->back();
    }
    acted();
}

void CratesAdapter::setFilter(int crate) {
    if (PlaylistManager* p = app_.playlistManager()) {
        p->setFilter(crate >= 0 ? PlaylistManager::kFirstCrateTag + crate
                                : PlaylistManager::kAllTracksTag);
    }
    acted();
}

void CratesAdapter::moveRow(int from, int to) {
    if (PlaylistManager* p = app_.playlistManager()) {
        p->moveRow(from, to);
    }
    acted();
}

void CratesAdapter::deletePlaylistRow(int row) {
    if (PlaylistManager* p = app_.playlistManager()) {
        p->deleteRow(row);
    }
    acted();
}

} // namespace vx::ui
