#include "ui/RecordEditAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "platform/NotificationCenter.h"
#include "samples/RecordEdit.h"

#include <QJSEngine>
#include <QQmlEngine>
#include <QVariantMap>

namespace vx::ui {

namespace {

bool hasExtension(const std::string& name, const char* lowerExtension) {
    QString ext = QString::fromStdString(std::filesystem::path(name).extension().string());
    return ext.toLower() == QLatin1String(lowerExtension);
}

} // namespace

RecordEditAdapter::RecordEditAdapter(DuovexAppDelegate& app, std::function<void()> acted,
                                     QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)) {
    slider_.setRange(0.0f, 1.0f);
    slider_.setValue(0.0f);
    // A touch at either end or in the middle jumps there, so a finger can seek in one tap.
    slider_.setCanJump(true);
    slider_.setEventHandler([this](AMSlider&, AMSlider::Event event) { sliderEvent(event); });
    sliderAdapter_ =
        new SliderAdapter([this] { return &slider_; }, [this] { this->acted(); }, this);
    follow_.setTimerType(Qt::PreciseTimer);
    follow_.setInterval(kSliderRefreshMs);
    connect(&follow_, &QTimer::timeout, this, &RecordEditAdapter::refresh);
    refresh();
}

RecordEditAdapter::~RecordEditAdapter() {
    follow_.stop();
}

RecordEdit* RecordEditAdapter::edit() const {
    return app_.recordEdit();
}

void RecordEditAdapter::acted() {
    if (acted_) {
        acted_();
    }
    refresh();
}

void RecordEditAdapter::sliderEvent(AMSlider::Event event) {
    RecordEdit* e = edit();
    if (!e) {
        return;
    }
    switch (event) {
    case AMSlider::Event::TouchDown:
        held_ = true;
        e->sliderTouch();
        break;
    case AMSlider::Event::ValueChanged:
        if (!held_ && slider_.selected()) {
            // A touch on a jump zone caught the pointer without a touch-down: it holds the
            // playback as a drag does.
            held_ = true;
            e->sliderTouch();
        }
        e->sliderPosition(slider_.value());
        break;
    case AMSlider::Event::TouchUpInside:
    case AMSlider::Event::TouchUpOutside:
        held_ = false;
        e->sliderUp();
        break;
    default:
        break;
    }
}

void RecordEditAdapter::refresh() {
    // The delegate's flag decides whether the screen is up.
    if (app_.recordingsShown() && !edit() && !app_.showRecordEdit()) {
        app_.setRecordingsShown(false); // no engine: nothing to list (logged)
    } else if (!app_.recordingsShown() && edit()) {
        app_.recordEditDidHide();
    }
    State n;
    if (const RecordEdit* e = edit()) {
        n.shown = true;
        const int playing = e->playingRow();
        const auto& rows = e->rows();
        for (size_t r = 0; r < rows.size(); ++r) {
            n.rows.append(QVariantMap{{"fileName", QString::fromStdString(rows[r].fileName)},
                                      {"extension", QString::fromStdString(rows[r].extension)},
                                      {"size", QString::fromStdString(rows[r].sizeText)},
                                      {"duration", QString::fromStdString(rows[r].durationText)},
                                      {"playing", int(r) == playing}});
        }
        const std::string& selected = e->fileToLoad();
        n.selectedRow = selected.empty() ? -1 : e->rowOf(selected);
        // With no row selected and nothing playing (the list was rebuilt) the player shows
        // nothing rather than the last recording's name and place.
        const bool active = !selected.empty() || playing >= 0;
        n.recordName = active ? QString::fromStdString(e->recordName()) : QString();
        n.positionBefore = QString::fromStdString(active ? e->positionBefore() : "00:00");
        n.positionAfter = QString::fromStdString(active ? e->positionAfter() : "00:00");
        n.position = active ? e->slider() : 0.0;
        n.converting = e->converting();
        n.canConvert = !selected.empty() && !n.converting && hasExtension(selected, ".wav");
        n.canShare = !selected.empty() && hasExtension(selected, ".m4a");
        if (held_ && !slider_.selected()) {
            // The touch was cancelled (no touch-up): the playback goes on all the same.
            held_ = false;
            edit()->sliderUp();
        }
        // The pointer follows the playback except under the finger.
        if (!slider_.selected()) {
            slider_.setValue(float(n.position));
        }
        // Playing: the slider follows at the controller's own rate.
        if (playing >= 0 && !follow_.isActive()) {
            follow_.start();
        } else if (playing < 0 && follow_.isActive()) {
            follow_.stop();
        }
    } else {
        follow_.stop();
    }
    sliderAdapter_->refresh();
    if (!(n == s_)) {
        s_ = std::move(n);
        emit changed();
    }
}

void RecordEditAdapter::serverStoped() {
    if (RecordEdit* e = edit()) {
        e->loadFileList();
    }
    app_.notifications().post("importDone");
    refresh();
}

void RecordEditAdapter::open() {
    app_.setRecordingsShown(true);
    acted();
}

void RecordEditAdapter::close() {
    app_.setRecordingsShown(false);
    acted();
}

void RecordEditAdapter::select(int row) {
    if (RecordEdit* e = edit()) {
        e->selectRow(row);
    }
    acted();
}

void RecordEditAdapter::play(int row) {
    if (RecordEdit* e = edit()) {
        e->playRow(row);
    }
    acted();
}

void RecordEditAdapter::convert() {
    if (RecordEdit* e = edit()) {
        e->convertFile();
    }
    acted();
}

void RecordEditAdapter::share() {
    if (RecordEdit* e = edit()) {
        e->share();
    }
    acted();
}

void RecordEditAdapter::rename() {
    if (RecordEdit* e = edit()) {
        e->renameAction();
    }
    acted();
}

void RecordEditAdapter::deleteRow(int row) {
    if (RecordEdit* e = edit()) {
        e->deleteRow(row);
    }
    acted();
}

void RecordEditAdapter::paste() {
    if (RecordEdit* e = edit()) {
        e->pasteAction();
    }
    acted();
}

void RecordEditAdapter::server() {
    if (edit()) {
        app_.startServerAction(this);
    }
    acted();
}

} // namespace vx::ui
