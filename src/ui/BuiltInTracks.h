#pragma once
// BuiltInTracks: the names of the built-in demo tracks, for the start-up screen.

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

class BuiltInTracks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QStringList names READ names CONSTANT)

public:
    explicit BuiltInTracks(QObject* parent = nullptr);
    // Main thread: file names of the tracks in the built-in folder, sorted.
    QStringList names() const { return names_; }

    // Main thread: set by the composition root before QML loads.
    static void setFolder(const QString& folder);

private:
    QStringList names_;
};
