#include "ui/SampleEditAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "engine/PreviewPlayer.h"
#include "platform/NotificationCenter.h"
#include "samples/FileExchange.h"
#include "samples/MicRecorder.h"
#include "samples/SampleEdit.h"

#include <QJSEngine>
#include <QQmlEngine>
#include <QVariantMap>

#include <algorithm>

namespace vx::ui {

SampleEditAdapter::SampleEditAdapter(DuovexAppDelegate& app, std::function<void()> acted,
                                     QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)) {
    refresh();
}

SampleEditAdapter::~SampleEditAdapter() {
    if (recording_) {
        // Closing down mid-take: the capture ends, the take is not kept.
        app_.micRecorder().stop();
    }
}

SampleEdit* SampleEditAdapter::edit() const {
    return app_.sampleEdit();
}

void SampleEditAdapter::acted() {
    if (acted_) {
        acted_();
    }
    refresh();
}

void SampleEditAdapter::refresh() {
    State n;
    if (const SampleEdit* e = edit()) {
        n.shown = true;
        const int playing = e->playingRow();
        const auto& rows = e->rows();
        for (size_t r = 0; r < rows.size(); ++r) {
            n.rows.append(QVariantMap{{"fileName", QString::fromStdString(rows[r].fileName)},
                                      {"info", QString::fromStdString(rows[r].info)},
                                      {"padLabel", QString::fromStdString(rows[r].padLabel)},
                                      {"playing", int(r) == playing}});
        }
        n.selectedRow = e->fileToLoad().empty() ? -1 : e->rowOf(e->fileToLoad());
        n.overlayRow = e->overlayRow();
    }
    n.recorderShown = recording_;
    if (recording_) {
        const MicRecorder& recorder = app_.micRecorder();
        n.recordLevel = std::clamp(double(recorder.level()), 0.0, 1.0);
        n.recordTime = QString::fromStdString(minutesSeconds(recorder.elapsed()));
    }
    if (!(n == s_)) {
        s_ = std::move(n);
        emit changed();
    }
}

void SampleEditAdapter::serverStoped() {
    if (SampleEdit* e = edit()) {
        e->loadFileList();
    }
    app_.notifications().post("importDone");
    refresh();
}

void SampleEditAdapter::open() {
    app_.showSampleEdit();
    acted();
}

void SampleEditAdapter::close() {
    if (recording_) {
        stopRecording();
    }
    if (SampleEdit* e = edit()) {
        e->done();
        // The preview output also plays the interface's sounds: they keep their full level
        // whatever this screen's volume slider was set to.
        if (PreviewPlayer* preview = app_.previewPlayer()) {
            preview->setVolume(1.0f);
        }
    }
    acted();
}

void SampleEditAdapter::select(int row) {
    if (SampleEdit* e = edit()) {
        e->selectRow(row);
    }
    acted();
}

void SampleEditAdapter::play(int row) {
    if (SampleEdit* e = edit()) {
        e->playRow(row);
        e->setVolume(float(volume_)); // a preview plays at the level the slider shows
    }
    acted();
}

void SampleEditAdapter::showOverlay(int row) {
    if (SampleEdit* e = edit()) {
        // The overlay opens on the row it was asked from; a second tap closes it.
        e->showOverlay(e->overlayRow() == row ? -1 : row);
    }
    acted();
}

void SampleEditAdapter::setSample2Button(int tag) {
    if (SampleEdit* e = edit()) {
        e->setSample2Button(tag);
    }
    acted();
}

void SampleEditAdapter::deleteRow(int row) {
    if (SampleEdit* e = edit()) {
        e->deleteRow(row);
    }
    acted();
}

void SampleEditAdapter::rename() {
    if (SampleEdit* e = edit()) {
        e->renameAction();
    }
    acted();
}

void SampleEditAdapter::copy() {
    if (SampleEdit* e = edit()) {
        e->copySelected();
    }
    acted();
}

void SampleEditAdapter::paste() {
    if (SampleEdit* e = edit()) {
        e->pasteAction();
    }
    acted();
}

void SampleEditAdapter::setVolume(double value) {
    volume_ = std::clamp(value, 0.0, 1.0);
    if (SampleEdit* e = edit()) {
        e->setVolume(float(volume_));
    }
    emit changed();
    acted();
}

void SampleEditAdapter::record() {
    SampleEdit* e = edit();
    if (e && !recording_) {
        recording_ = e->record(app_.micRecorder());
    }
    acted();
}

void SampleEditAdapter::stopRecording() {
    if (!recording_) {
        return;
    }
    recording_ = false;
    if (SampleEdit* e = edit()) {
        e->recDone(app_.micRecorder());
    } else {
        app_.micRecorder().stop();
    }
    acted();
}

void SampleEditAdapter::server() {
    if (edit()) {
        app_.startServerAction(this);
    }
    acted();
}

} // namespace vx::ui
