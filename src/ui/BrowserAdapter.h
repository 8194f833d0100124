#pragma once
// BrowserAdapter (QML singleton `TrackBrowser`): the track browser's face. Its properties are
// the browser controller's plain state — the table as a list model, which filter and sort
// buttons are selected, the sort label, whether Load and the random pick are offered, which
// deck the header shows, whether touches reach the browser — and, on a tablet, where the
// popover points (the deck's header, in the application's tablet window points). Its
// invokables forward the browser's buttons and the table's taps and swipes.
//
// State is pulled by refresh(): from the composition root every 0.1 s, and after every
// invokable, so that a press shows at once and a load that closes the browser hides it in
// the same turn. The table is re-read whole when the controller reloaded it (opening, filter,
// sort, delete); between reloads only the selection is followed, which keeps the 0.1 s pull
// from touching the track files.
//
// The controller is made by the application on the first eject; until then the properties
// keep their defaults and the invokables do nothing.
//
// Threads: GUI (main) thread only. Owned by the composition root, which registers the instance
// before QML loads.

#include "ui/BrowserRowModel.h"
#include "ui/QmlSingleton.h"

#include <QColor>
#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
class LoadFile;
} // namespace vx

namespace vx::ui {

class BrowserAdapter : public QObject, public QmlSingleton<BrowserAdapter> {
    Q_OBJECT
    QML_NAMED_ELEMENT(TrackBrowser)
    QML_SINGLETON
    Q_PROPERTY(vx::ui::BrowserRowModel* rows READ rows CONSTANT)
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(int deck READ deck NOTIFY changed)
    Q_PROPERTY(int filterKind READ filterKind NOTIFY changed)
    Q_PROPERTY(int sortKind READ sortKind NOTIFY changed)
    Q_PROPERTY(QVariantList filterSelected READ filterSelected NOTIFY changed)
    Q_PROPERTY(QVariantList sortSelected READ sortSelected NOTIFY changed)
    Q_PROPERTY(QString sortOrderLabel READ sortOrderLabel NOTIFY changed)
    Q_PROPERTY(bool loadEnabled READ loadEnabled NOTIFY changed)
    Q_PROPERTY(bool headerLEnabled READ headerLEnabled NOTIFY changed)
    Q_PROPERTY(bool headerREnabled READ headerREnabled NOTIFY changed)
    Q_PROPERTY(bool touchesEnabled READ touchesEnabled NOTIFY changed)
    Q_PROPERTY(bool randomEnabled READ randomEnabled NOTIFY changed)
    Q_PROPERTY(int selectedRow READ selectedRow NOTIFY changed)
    Q_PROPERTY(bool anchored READ anchored NOTIFY changed)
    Q_PROPERTY(QRectF anchorRect READ anchorRect NOTIFY changed)
    Q_PROPERTY(QSizeF anchorSpace READ anchorSpace CONSTANT)
    Q_PROPERTY(QColor overviewColor READ overviewColor CONSTANT)
    Q_PROPERTY(int firstFilterTag READ firstFilterTag CONSTANT)

public:
    // GUI thread: the face of `app`'s browser; `acted` runs after every invokable (the
    // composition root refreshes every adapter there, this one included).
    BrowserAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent = nullptr);
    ~BrowserAdapter() override;

    // GUI thread: re-reads the browser; the table whole when it was reloaded or `rowsToo`,
    // else only the selection. Emits changed() where values differ.
    void refresh(bool rowsToo = false);

    BrowserRowModel* rows() const { return rows_; }
    bool shown() const { return s_.shown; }
    int deck() const { return s_.deck; }
    int filterKind() const { return s_.filterKind; }
    int sortKind() const { return s_.sortKind; }
    QVariantList filterSelected() const { return s_.filterSelected; }
    QVariantList sortSelected() const { return s_.sortSelected; }
    QString sortOrderLabel() const { return s_.sortOrderLabel; }
    bool loadEnabled() const { return s_.loadEnabled; }
    bool headerLEnabled() const { return s_.headerLEnabled; }
    bool headerREnabled() const { return s_.headerREnabled; }
    bool touchesEnabled() const { return s_.touchesEnabled; }
    bool randomEnabled() const { return s_.randomEnabled; }
    // The selected track's row, or -1.
    int selectedRow() const { return s_.selectedRow; }
    // Tablet: the popover points at anchorRect, given in points of a window anchorSpace big.
    bool anchored() const { return s_.anchored; }
    QRectF anchorRect() const { return s_.anchorRect; }
    static QSizeF anchorSpace() { return {768.0, 1024.0}; }
    // The colour of the selected cell's overview lines.
    static QColor overviewColor();
    static int firstFilterTag();

    // --- invokables (GUI thread) -----------------------------------------------------------
    // A filter button: tag 19 all tracks, 20..24 crates 0..4.
    Q_INVOKABLE void setFilter(int tag);
    // The three sort buttons: next of Title…Playlist; date added; play count.
    Q_INVOKABLE void sort1();
    Q_INVOKABLE void sort2();
    Q_INVOKABLE void sort3();
    // A tap on row `row`: a track becomes the selection; the import row asks for the import.
    Q_INVOKABLE void select(int row);
    // The revealed Delete button of row `row` (user tracks only; others are kept).
    Q_INVOKABLE void remove(int row);
    // Load, random pick, Cancel.
    Q_INVOKABLE void load();
    Q_INVOKABLE void random();
    Q_INVOKABLE void cancel();
    // The selected cell's overview for a cell `width` × `height` pixels: how far each
    // x's line reaches above and below the middle, in pixels (empty without a peak file).
    Q_INVOKABLE QVariantList overview(int row, int width, double height) const;

signals:
    void changed();

private:
    struct State {
        bool shown = false;
        int deck = 0;
        int filterKind = -1;
        int sortKind = 0;
        QVariantList filterSelected;
        QVariantList sortSelected;
        QString sortOrderLabel;
        bool loadEnabled = false;
        bool headerLEnabled = false;
        bool headerREnabled = false;
        bool touchesEnabled = true;
        bool randomEnabled = false;
        int selectedRow = -1;
        bool anchored = false;
        QRectF anchorRect;
        bool operator==(const State&) const = default;
    };
    LoadFile* browser() const;
    void acted();

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    BrowserRowModel* rows_;
    State s_;
    const LoadFile* readFrom_ = nullptr; // the controller the rows came from
    int readReloads_ = -1;               // its reloadCount then
};

} // namespace vx::ui
