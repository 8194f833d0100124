#pragma once
// SettingsAdapter (QML singleton `Settings`): the settings screen's face. `groups` lists the
// three groups and their rows as the controller defines them (title; per row the cell, the
// control, the key and the kind: "switch", "segmented", "slider" or "none"); value(control)
// gives a control's state and set(control, value) forwards a control's action. Bindings that
// call value() name `revision` too, which grows whenever any value changes.
//
// The controller is made by the delegate when the screen is first shown.
//
// Threads: GUI (main) thread only. Owned by the composition root.

#include "ui/QmlSingleton.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
}

namespace vx::ui {

class SettingsAdapter : public QObject, public QmlSingleton<SettingsAdapter> {
    Q_OBJECT
    QML_NAMED_ELEMENT(Settings)
    QML_SINGLETON
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(int revision READ revision NOTIFY changed)
    Q_PROPERTY(QVariantList groups READ groups CONSTANT)
    Q_PROPERTY(QStringList outputNames READ outputNames NOTIFY changed)
    Q_PROPERTY(int outputIndex READ outputIndex NOTIFY changed)
    Q_PROPERTY(QVariantList bufferSizes READ bufferSizes CONSTANT)
    Q_PROPERTY(int bufferFrames READ bufferFrames NOTIFY changed)
    Q_PROPERTY(QString latency READ latency NOTIFY changed)

public:
    SettingsAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent = nullptr);

    // GUI thread: re-reads the screen's state; emits changed() when anything differs.
    void refresh();

    bool shown() const { return shown_; }
    int revision() const { return revision_; }
    QVariantList groups() const;
    // The "Audio output" group: the outputs by name (the default first), the chosen one, the
    // buffer sizes offered, the chosen size and the latency it gives ("5.8 ms").
    QStringList outputNames() const { return audio_.names; }
    int outputIndex() const { return audio_.index; }
    QVariantList bufferSizes() const;
    int bufferFrames() const { return audio_.frames; }
    QString latency() const { return audio_.latency; }

    // The state of the control named `control` (bool, segment index, or slider value);
    // undefined for a name that is no control.
    Q_INVOKABLE QVariant value(const QString& control) const;
    // The control named `control` was set to `value` by the user.
    Q_INVOKABLE void set(const QString& control, const QVariant& value);
    // An output / a buffer size chosen: stored and applied at once.
    Q_INVOKABLE void selectOutput(int index);
    Q_INVOKABLE void selectBufferFrames(int frames);
    // The done button.
    Q_INVOKABLE void done();
    // Tablet: the popover was dismissed by a tap outside it.
    Q_INVOKABLE void dismissed();

signals:
    void changed();

private:
    QVariantList snapshot() const;

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    bool shown_ = false;
    int revision_ = 0;
    QVariantList values_;
    struct Audio {
        QStringList names;
        int index = 0;
        int frames = 0;
        QString latency;
        bool operator==(const Audio&) const = default;
    } audio_;
};

} // namespace vx::ui
