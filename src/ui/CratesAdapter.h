#pragma once
// CratesAdapter (QML singleton `Crates`): the face of the crate manager and the playlist
// editor. Its properties are the two controllers' plain state (rows as maps of their texts,
// the selected crate, sort label, picker row, previewing row; the editor's filter and reorder
// mode), pulled by refresh() from the composition root every 0.1 s and after every invokable.
// Its invokables forward the screens' buttons, row taps, swipes and drops.
//
// The controllers are made by the delegate when a screen is first opened from the main menu.
//
// Threads: GUI (main) thread only. Owned by the composition root, which registers the instance
// before QML loads.

#include "ui/QmlSingleton.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
}

namespace vx::ui {

class CratesAdapter : public QObject, public QmlSingleton<CratesAdapter> {
    Q_OBJECT
    QML_NAMED_ELEMENT(Crates)
    QML_SINGLETON
    // The crate manager.
    Q_PROPERTY(bool managerShown READ managerShown NOTIFY changed)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY changed)
    Q_PROPERTY(int currentCrate READ currentCrate NOTIFY changed)
    Q_PROPERTY(QString sortLabel READ sortLabel NOTIFY changed)
    Q_PROPERTY(int pickerRow READ pickerRow NOTIFY changed)
    // The playlist editor.
    Q_PROPERTY(bool playlistShown READ playlistShown NOTIFY changed)
    Q_PROPERTY(QVariantList playlistRows READ playlistRows NOTIFY changed)
    Q_PROPERTY(int playlistCrate READ playlistCrate NOTIFY changed)
    Q_PROPERTY(QString playlistTitle READ playlistTitle NOTIFY changed)

public:
    CratesAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent = nullptr);

    // GUI thread: re-reads both screens; emits changed() when anything differs.
    void refresh();

    bool managerShown() const { return s_.managerShown; }
    // One map per row: title, artist, album, tempo, duration, size, assigned, builtIn,
    // playing, selected.
    QVariantList rows() const { return s_.rows; }
    int currentCrate() const { return s_.currentCrate; }
    QString sortLabel() const { return s_.sortLabel; }
    int pickerRow() const { return s_.pickerRow; }
    bool playlistShown() const { return s_.playlistShown; }
    // One map per row: title, artist, sortOrder, deletable.
    QVariantList playlistRows() const { return s_.playlistRows; }
    // The crate shown (0…4), -1 for all tracks (rows can then not be moved).
    int playlistCrate() const { return s_.playlistCrate; }
    QString playlistTitle() const { return s_.playlistTitle; }

    // --- the crate manager (GUI thread) ------------------------------------------------------
    Q_INVOKABLE void openManager();
    Q_INVOKABLE void back();
    // Crate button: -1 all tracks, 0…4.
    Q_INVOKABLE void setCrate(int crate);
    Q_INVOKABLE void sortBy();
    Q_INVOKABLE void selectRow(int row);
    Q_INVOKABLE void assign(int row);
    // The picker's choice: 0…4, or -1 for none.
    Q_INVOKABLE void pick(int crate);
    Q_INVOKABLE void closePicker();
    Q_INVOKABLE void play(int row);
    Q_INVOKABLE void deleteRow(int row);
    Q_INVOKABLE void emptyCrate();
    Q_INVOKABLE void deleteCrate();
    Q_INVOKABLE void importMusic();
    Q_INVOKABLE void server();

    // --- the playlist editor (GUI thread) ----------------------------------------------------
    Q_INVOKABLE void openPlaylist();
    Q_INVOKABLE void playlistBack();
    // -1 all tracks, 0…4 a crate.
    Q_INVOKABLE void setFilter(int crate);
    Q_INVOKABLE void moveRow(int from, int to);
    Q_INVOKABLE void deletePlaylistRow(int row);

signals:
    void changed();

private:
    struct State {
        bool managerShown = false;
        QVariantList rows;
        int currentCrate = -1;
        QString sortLabel;
        int pickerRow = -1;
        bool playlistShown = false;
        QVariantList playlistRows;
        int playlistCrate = -1;
        QString playlistTitle;
        bool operator==(const State&) const = default;
    };
    void acted();

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    State s_;
};

} // namespace vx::ui
