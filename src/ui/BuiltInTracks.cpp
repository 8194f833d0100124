#include "BuiltInTracks.h"

#include <QDir>

namespace {
QString& folderPath() {
    static QString path;
    return path;
}
} // namespace

void BuiltInTracks::setFolder(const QString& folder) { folderPath() = folder; }

BuiltInTracks::BuiltInTracks(QObject* parent) : QObject(parent) {
    names_ = QDir(folderPath()).entryList(QStringList{"*.mp3", "*.m4a"}, QDir::Files, QDir::Name);
}
