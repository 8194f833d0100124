#include "ui/BatchAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "controls/BatchAnalize.h"
#include "library/VXAudioFileInfo.h"

#include <QJSEngine>
#include <QQmlEngine>

namespace vx::ui {

namespace {}

BatchAdapter::BatchAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)) {}

void BatchAdapter::refresh() {
    State n;
    const BatchAnalize* batch = app_.batchAnalize();
    n.shown = app_.batchShown() && batch;
    if (batch) {
        n.doneLabel = QString::fromStdString(batch->doneLabel());
        n.title = QString::fromStdString(batch->titleLabel());
        n.album = QString::fromStdString(batch->albumLabel());
        n.artist = QString::fromStdString(batch->artistLabel());
        n.percent = QString::fromStdString(batch->percentLabel());
        n.overall = batch->overallProgress();
        for (const auto& info : batch->trackList()) {
            if (info) {
                n.tracks.append(QString::fromStdString(
                    info->title ? *info->title : info->fileName.filename().string()));
            }
        }
    }
    if (!(n == s_)) {
        s_ = std::move(n);
        emit changed();
    }
}

void BatchAdapter::stop() {
    if (BatchAnalize* batch = app_.batchAnalize(); batch && app_.batchShown()) {
        batch->stop();
    }
    if (acted_) {
        acted_();
    }
    refresh();
}

} // namespace vx::ui
