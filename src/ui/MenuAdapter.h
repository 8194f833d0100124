#pragma once
// MenuAdapter (QML singleton `Menu`): the main menu's face, the help screen of gestures and
// the six sampler pads (the menu's pad buttons and the mixing screen's pad strip press the
// same pads). Properties are MainMenu's labels and button states, pulled by refresh() from
// the composition root every 0.1 s and after every invokable; invokables forward the menu's
// actions to MainMenu and to the delegate that hosts it.
//
// The menu's controller is made by the delegate when the menu is first shown; until then the
// labels are empty and the menu's actions do nothing (the pads work from the start).
//
// Threads: GUI (main) thread only. Owned by the composition root, which registers the instance
// before QML loads.

#include "ui/QmlSingleton.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
}

namespace vx::ui {

class MenuAdapter : public QObject, public QmlSingleton<MenuAdapter> {
    Q_OBJECT
    QML_NAMED_ELEMENT(Menu)
    QML_SINGLETON
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(bool helpShown READ helpShown NOTIFY changed)
    Q_PROPERTY(bool recordingsShown READ recordingsShown NOTIFY changed)
    Q_PROPERTY(QString tracksNum READ tracksNum NOTIFY changed)
    Q_PROPERTY(QString tracksSize READ tracksSize NOTIFY changed)
    Q_PROPERTY(QString notAnalyzed READ notAnalyzed NOTIFY changed)
    Q_PROPERTY(QString recordsNum READ recordsNum NOTIFY changed)
    Q_PROPERTY(QString recordsSize READ recordsSize NOTIFY changed)
    Q_PROPERTY(QString cpu READ cpu NOTIFY changed)
    Q_PROPERTY(QString pitch READ pitch NOTIFY changed)
    Q_PROPERTY(QStringList padLabels READ padLabels NOTIFY changed)
    Q_PROPERTY(bool autoEq READ autoEq NOTIFY changed)
    Q_PROPERTY(bool recording READ recording NOTIFY changed)
    Q_PROPERTY(double sampleVolume READ sampleVolume NOTIFY changed)
    Q_PROPERTY(QVariantList tuningValues READ tuningValues NOTIFY changed)
    Q_PROPERTY(QStringList tuningLabels READ tuningLabels NOTIFY changed)
    Q_PROPERTY(bool padStripShown READ padStripShown NOTIFY changed)

public:
    // GUI thread: the menu of `app`'s mixing screen; `acted` runs after every invokable.
    MenuAdapter(DuovexAppDelegate& app, std::function<void()> acted, QObject* parent = nullptr);

    // GUI thread: re-reads the menu's state; emits changed() when anything differs.
    void refresh();

    bool shown() const { return s_.shown; }
    bool helpShown() const { return s_.helpShown; }
    bool recordingsShown() const { return s_.recordingsShown; }
    QString tracksNum() const { return s_.tracksNum; }
    QString tracksSize() const { return s_.tracksSize; }
    QString notAnalyzed() const { return s_.notAnalyzed; }
    QString recordsNum() const { return s_.recordsNum; }
    QString recordsSize() const { return s_.recordsSize; }
    QString cpu() const { return s_.cpu; }
    QString pitch() const { return s_.pitch; }
    QStringList padLabels() const { return s_.padLabels; }
    bool autoEq() const { return s_.autoEq; }
    bool recording() const { return s_.recording; }
    double sampleVolume() const { return s_.sampleVolume; }
    QVariantList tuningValues() const { return s_.tuningValues; }
    QStringList tuningLabels() const { return s_.tuningLabels; }
    bool padStripShown() const { return padStripShown_; }

    // The MENU button: opens the menu, or closes it when it is open.
    Q_INVOKABLE void toggle();
    Q_INVOKABLE void close();
    Q_INVOKABLE void setup();
    Q_INVOKABLE void batchRun();
    Q_INVOKABLE void partyMode();
    Q_INVOKABLE void records();
    Q_INVOKABLE void closeRecordings();
    Q_INVOKABLE void autoEqToggle();
    // Slider 0…1.
    Q_INVOKABLE void setSampleVolume(double value);
    // The pitch slider, half tones.
    Q_INVOKABLE void setPitch(double halfTones);
    // Tuning slider `index` (0…3, tags 500…503).
    Q_INVOKABLE void setTuning(int index, double value);
    // Pad `index` (0…5) pressed (the tag of the design's pad buttons is 200 + index).
    Q_INVOKABLE void pad(int index);
    Q_INVOKABLE void help();
    Q_INVOKABLE void closeHelp();
    // The mixing screen's PADS button: shows or hides the pad strip.
    Q_INVOKABLE void togglePadStrip();
    // The import button: the music-library import with the menu as its delegate.
    Q_INVOKABLE void importMusic();

signals:
    void changed();
    // Party mode was asked for and allowed: the shell opens its view.
    void partyModeRequested();

private:
    struct State {
        bool shown = false;
        bool helpShown = false;
        bool recordingsShown = false;
        QString tracksNum, tracksSize, notAnalyzed, recordsNum, recordsSize, cpu, pitch;
        QStringList padLabels;
        bool autoEq = false;
        bool recording = false;
        double sampleVolume = 0;
        QVariantList tuningValues;
        QStringList tuningLabels;
        bool operator==(const State&) const = default;
    };
    void acted();

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    State s_;
    bool padStripShown_ = false;
};

} // namespace vx::ui
