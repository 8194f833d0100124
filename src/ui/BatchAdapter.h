#pragma once
// BatchAdapter (QML singleton `Batch`): the batch-analysis screen's face — the current track's
// title, album and artist, the percentage of that track, the overall progress 0…1, the
// "Done: n of m" counter, the tracks still to do — and its stop button. State is pulled by
// refresh() from the composition root and after the stop button.
//
// Threads: GUI (main) thread only. Owned by the composition root.

#include "ui/QmlSingleton.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
}

namespace vx::ui {

class BatchAdapter : public QObject, public QmlSingleton<BatchAdapter> {
    Q_OBJECT
    QML_NAMED_ELEMENT(Batch)
    QML_SINGLETON
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(QString doneLabel READ doneLabel NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString album READ album NOTIFY changed)
    Q_PROPERTY(QString artist READ artist NOTIFY changed)
    Q_PROPERTY(QString percent READ percent NOTIFY changed)
    Q_PROPERTY(double overall READ overall NOTIFY changed)
    Q_PROPERTY(QStringList tracks READ tracks NOTIFY changed)

public:
    BatchAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent = nullptr);

    // GUI thread: re-reads the screen's state; emits changed() when anything differs.
    void refresh();

    bool shown() const { return s_.shown; }
    QString doneLabel() const { return s_.doneLabel; }
    QString title() const { return s_.title; }
    QString album() const { return s_.album; }
    QString artist() const { return s_.artist; }
    QString percent() const { return s_.percent; }
    double overall() const { return s_.overall; }
    QStringList tracks() const { return s_.tracks; }

    // The stop button: the runs this screen started are cancelled and it closes.
    Q_INVOKABLE void stop();

signals:
    void changed();

private:
    struct State {
        bool shown = false;
        QString doneLabel, title, album, artist, percent;
        double overall = 0;
        QStringList tracks;
        bool operator==(const State&) const = default;
    };

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    State s_;
};

} // namespace vx::ui
