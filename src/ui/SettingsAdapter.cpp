#include "ui/SettingsAdapter.h"

#include "app/AudioOutputSettings.h"
#include "app/DuovexAppDelegate.h"
#include "app/SettingsController.h"

#include <QJSEngine>
#include <QQmlEngine>
#include <QVariantMap>

namespace vx::ui {

namespace {

const char* kindName(SettingsController::Control kind) {
    switch (kind) {
    case SettingsController::Control::Switch:
        return "switch";
    case SettingsController::Control::Segmented:
        return "segmented";
    case SettingsController::Control::Slider:
        return "slider";
    case SettingsController::Control::None:
        break;
    }
    return "none";
}

// The rows' words on screen, the segments' names and the sliders' ranges.
struct RowFace {
    const char* cell;
    const char* label;
    QStringList segments;
    double from = 0, to = 1;
};

const std::vector<RowFace>& faces() {
    static const std::vector<RowFace> table = {
        {"VolNormCell", "Normalize volume", {}},
        {"stopProofLockCell", "Stop-proof lock", {}},
        {"RandomTrackCell", "Random track", {}},
        {"hideBundledCell", "Hide bundled tracks", {}},
        {"snapCueToBeatCell", "Snap cue to beat", {}},
        {"markEvenBeatCell", "Mark even beats", {}},
        {"pitchStepCell", "Pitch step", {"0.1 %", "0.05 %", "0.02 %"}},
        {"CurveCell", "Cross-fader curve", {"Power", "Linear", "Cosine"}},
        {"CurveHelpCell",
         "Power keeps the loudness even through the fade; Linear lowers one deck as the other "
         "rises; Cosine holds both decks longer near the ends.",
         {}},
        {"dipCorrectionCell", "Dip correction", {}, 0.0, 2.0},
        {"XFadeTimeCell", "Auto-fade time (s)", {}, 1.0, 15.0},
        {"SongPartInAutoPlayCell", "Part of a track played", {}, 0.1, 1.0},
        {"transferAccessCodeCell", "Ask for an access code", {}},
    };
    return table;
}

const RowFace* faceOf(const char* cell) {
    for (const RowFace& f : faces()) {
        if (std::string_view(f.cell) == cell) {
            return &f;
        }
    }
    return nullptr;
}

} // namespace

SettingsAdapter::SettingsAdapter(DuovexAppDelegate& app, std::function<void()> acted,
                                 QObject* parent)
    : QObject(parent), app_(app), acted_(std::move(acted)) {}

QVariantList SettingsAdapter::groups() const {
    QVariantList groups;
    for (const auto& group : SettingsController::groups()) {
        QVariantList rows;
        for (const auto& row : group.rows) {
            const RowFace* face = faceOf(row.cell);
            rows.append(QVariantMap{
                {"cell", QString::fromLatin1(row.cell)},
                {"control", QString::fromLatin1(row.control)},
                {"key", QString::fromLatin1(row.key)},
                {"kind", QString::fromLatin1(kindName(row.kind))},
                {"label", face ? QString::fromUtf8(face->label) : QString()},
                {"segments", face ? face->segments : QStringList()},
                {"from", face ? face->from : 0.0},
                {"to", face ? face->to : 1.0},
            });
        }
        groups.append(QVariantMap{{"title", QString::fromLatin1(group.title)}, {"rows", rows}});
    }
    return groups;
}

QVariant SettingsAdapter::value(const QString& control) const {
    const SettingsController* s = app_.settings();
    if (!s) {
        return {};
    }
    const std::string c = control.toStdString();
    if (c == "VolNormSwitch")
        return s->volNormSwitch();
    if (c == "stopProofLockSwitch")
        return s->stopProofLockSwitch();
    if (c == "randomTrackSwitch")
        return s->randomTrackSwitch();
    if (c == "hideBundledSwitch")
        return s->hideBundledSwitch();
    if (c == "snapCueToBeatSwitch")
        return s->snapCueToBeatSwitch();
    if (c == "markEvenBeatSwitch")
        return s->markEvenBeatSwitch();
    if (c == "pitchStepSegmented")
        return s->pitchStepSegmented();
    if (c == "CurveSegmented")
        return s->curveSegmented();
    if (c == "dipCorrectionSlider")
        return double(s->dipCorrectionSlider());
    if (c == "XFadeTimeSlider")
        return s->xFadeTimeSlider();
    if (c == "songSongPartInAutoPlaySlider")
        return double(s->songPartInAutoPlaySlider());
    if (c == "transferAccessCodeSwitch")
        return s->transferAccessCodeSwitch();
    return {};
}

void SettingsAdapter::set(const QString& control, const QVariant& v) {
    SettingsController* s = app_.settings();
    if (!s) {
        return;
    }
    const std::string c = control.toStdString();
    if (c == "VolNormSwitch")
        s->volNormChanged(v.toBool());
    else if (c == "stopProofLockSwitch")
        s->stopProofLockChanged(v.toBool());
    else if (c == "randomTrackSwitch")
        s->randomTrackChanged(v.toBool());
    else if (c == "hideBundledSwitch")
        s->hideBundledChanged(v.toBool());
    else if (c == "snapCueToBeatSwitch")
        s->snapCueToBeatChanged(v.toBool());
    else if (c == "markEvenBeatSwitch")
        s->markEvenBeatChanged(v.toBool());
    else if (c == "pitchStepSegmented")
        s->pitchStepChanged(v.toInt());
    else if (c == "CurveSegmented")
        s->curveChanged(v.toInt());
    else if (c == "dipCorrectionSlider")
        s->dipCorrectionChanged(v.toFloat());
    else if (c == "XFadeTimeSlider")
        s->xFadeTimeChanged(v.toDouble());
    else if (c == "songSongPartInAutoPlaySlider")
        s->songPartInAutoPlayChanged(v.toFloat());
    else if (c == "transferAccessCodeSwitch")
        s->transferAccessCodeChanged(v.toBool());
    if (acted_) {
        acted_();
    }
    refresh();
}

QVariantList SettingsAdapter::bufferSizes() const {
    QVariantList sizes;
    for (uint32_t frames : AudioOutputSettings::kBufferSizes) {
        sizes.append(int(frames));
    }
    return sizes;
}

void SettingsAdapter::selectOutput(int index) {
    if (AudioOutputSettings* audio = app_.audioOutput()) {
        audio->selectOutput(index);
    }
    if (acted_) {
        acted_();
    }
    refresh();
}

void SettingsAdapter::selectBufferFrames(int frames) {
    if (AudioOutputSettings* audio = app_.audioOutput(); audio && frames > 0) {
        audio->selectBufferFrames(uint32_t(frames));
    }
    if (acted_) {
        acted_();
    }
    refresh();
}

void SettingsAdapter::done() {
    if (SettingsController* s = app_.settings(); s && app_.settingsShown()) {
        s->done();
        s->viewDidDisappear();
    }
    if (acted_) {
        acted_();
    }
    refresh();
}

void SettingsAdapter::dismissed() {
    if (SettingsController* s = app_.settings(); s && app_.settingsShown()) {
        s->viewDidDisappear();
        app_.settingsDidHide();
    }
    if (acted_) {
        acted_();
    }
    refresh();
}

QVariantList SettingsAdapter::snapshot() const {
    QVariantList values;
    for (const auto& group : SettingsController::groups()) {
        for (const auto& row : group.rows) {
            values.append(value(QString::fromLatin1(row.control)));
        }
    }
    return values;
}

void SettingsAdapter::refresh() {
    const bool shown = app_.settingsShown();
    QVariantList values = snapshot();
    Audio audio;
    if (const AudioOutputSettings* a = app_.audioOutput()) {
        for (const std::string& name : a->names()) {
            audio.names.append(QString::fromStdString(name));
        }
        audio.index = a->selectedOutput();
        audio.frames = int(a->bufferFrames());
        audio.latency = QString::fromStdString(AudioOutputSettings::latencyText(a->bufferFrames()));
    }
    if (shown != shown_ || values != values_ || !(audio == audio_)) {
        shown_ = shown;
        values_ = std::move(values);
        audio_ = std::move(audio);
        ++revision_;
        emit changed();
    }
}

} // namespace vx::ui
