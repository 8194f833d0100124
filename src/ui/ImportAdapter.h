#pragma once
// ImportAdapter (QML singleton `MusicImport`): the music-library import's face. Its properties
// are the importer's plain state: whether the import view and the picker show, the picker's
// rows (title, artist, album, length, ticked, why a file cannot be imported) after its search,
// and the progress screen's two bars, "%i of %i" label and file label. Its invokables forward
// the picker's search field, row taps, Import and Cancel, and the progress screen's Cancel.
//
// State is pulled by refresh() from the composition root every 0.1 s and after every
// invokable. The importer exists once a starting screen asked for it; until then nothing
// shows and the invokables do nothing.
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
class iTunesImporter;
} // namespace vx

namespace vx::ui {

class ImportAdapter : public QObject, public QmlSingleton<ImportAdapter> {
    Q_OBJECT
    QML_NAMED_ELEMENT(MusicImport)
    QML_SINGLETON
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(bool pickerShown READ pickerShown NOTIFY changed)
    Q_PROPERTY(bool loading READ loading NOTIFY changed)
    Q_PROPERTY(QString prompt READ prompt CONSTANT)
    Q_PROPERTY(QString searchText READ searchText NOTIFY changed)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY changed)
    Q_PROPERTY(int selectedCount READ selectedCount NOTIFY changed)
    Q_PROPERTY(bool importing READ importing NOTIFY changed)
    Q_PROPERTY(bool activityShown READ activityShown NOTIFY changed)
    Q_PROPERTY(double allProgress READ allProgress NOTIFY changed)
    Q_PROPERTY(double fileProgress READ fileProgress NOTIFY changed)
    Q_PROPERTY(QString allLabel READ allLabel NOTIFY changed)
    Q_PROPERTY(QString fileLabel READ fileLabel NOTIFY changed)

public:
    // GUI thread: the face of `app`'s import; `acted` runs after every invokable.
    ImportAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent = nullptr);
    ~ImportAdapter() override;

    // GUI thread: re-reads the importer; emits changed() where values differ.
    void refresh();

    bool shown() const { return s_.shown; }
    bool pickerShown() const { return s_.pickerShown; }
    bool loading() const { return s_.loading; }
    static QString prompt();
    QString searchText() const { return s_.searchText; }
    // One map per shown row: title, artist, album, length, selected, problem.
    QVariantList rows() const { return s_.rows; }
    int selectedCount() const { return s_.selectedCount; }
    bool importing() const { return s_.importing; }
    bool activityShown() const { return s_.activityShown; }
    double allProgress() const { return s_.allProgress; }
    double fileProgress() const { return s_.fileProgress; }
    QString allLabel() const { return s_.allLabel; }
    QString fileLabel() const { return s_.fileLabel; }

    // --- invokables (GUI thread) -----------------------------------------------------------
    Q_INVOKABLE void search(const QString& text);
    Q_INVOKABLE void toggle(int row);
    // The picker's Import button (nothing ticked: as Cancel).
    Q_INVOKABLE void done();
    Q_INVOKABLE void cancelPicker();
    // The progress screen's Cancel.
    Q_INVOKABLE void cancelImport();

signals:
    void changed();

private:
    struct State {
        bool shown = false;
        bool pickerShown = false;
        bool loading = false;
        QString searchText;
        QVariantList rows;
        int selectedCount = 0;
        bool importing = false;
        bool activityShown = false;
        double allProgress = 0;
        double fileProgress = 0;
        QString allLabel;
        QString fileLabel;
        bool operator==(const State&) const = default;
    };
    iTunesImporter* importer() const;
    void acted();

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    State s_;
};

} // namespace vx::ui
