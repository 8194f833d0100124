#pragma once
// PartyAdapter (QML type `PartyScreen`, under `Mixer.party`): the full-screen party view. It
// owns the PartyModeController while the view is shown (made at open(), dropped at hide()),
// exposes its labels and buttons, and forwards its buttons. The volume slider is the
// controller's own AMSlider.
//
// Threads: GUI (main) thread only.

#include "ui/SliderAdapter.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>

namespace vx {
class DuovexAppDelegate;
class PartyModeController;
class RunLoop;
} // namespace vx

namespace vx::ui {

class PartyAdapter : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(PartyScreen)
    QML_UNCREATABLE("Mixer.party")
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(QString track READ track NOTIFY changed)
    Q_PROPERTY(QString artist READ artist NOTIFY changed)
    Q_PROPERTY(QString album READ album NOTIFY changed)
    Q_PROPERTY(QString crate READ crate NOTIFY changed)
    Q_PROPERTY(QString tracksPlayed READ tracksPlayed NOTIFY changed)
    Q_PROPERTY(QString totalTime READ totalTime NOTIFY changed)
    Q_PROPERTY(QString tillNext READ tillNext NOTIFY changed)
    Q_PROPERTY(QString bpm READ bpm NOTIFY changed)
    Q_PROPERTY(bool playing READ playing NOTIFY changed)
    Q_PROPERTY(bool skipEnabled READ skipEnabled NOTIFY changed)
    Q_PROPERTY(bool playPauseEnabled READ playPauseEnabled NOTIFY changed)
    Q_PROPERTY(double closeOpacity READ closeOpacity NOTIFY changed)
    Q_PROPERTY(vx::ui::SliderAdapter* volume READ volume CONSTANT)

public:
    // GUI thread: the party view over `app`'s mixing screen; `acted` runs after every handler.
    PartyAdapter(DuovexAppDelegate& app, RunLoop& loop, std::function<void()> acted,
                 QObject* parent = nullptr);
    ~PartyAdapter() override;

    // GUI thread: re-reads the view; emits changed() when anything differs. Drops the
    // controller once it removed its view.
    void refresh();
    // GUI thread: shows the view and turns party mode on (if it is off).
    void open();
    // GUI thread: party mode off and the view closed.
    Q_INVOKABLE void close();
    // GUI thread: the view goes away; party mode stays as it is.
    Q_INVOKABLE void hide();

    bool shown() const { return s_.shown; }
    QString track() const { return s_.track; }
    QString artist() const { return s_.artist; }
    QString album() const { return s_.album; }
    QString crate() const { return s_.crate; }
    QString tracksPlayed() const { return s_.tracksPlayed; }
    QString totalTime() const { return s_.totalTime; }
    QString tillNext() const { return s_.tillNext; }
    QString bpm() const { return s_.bpm; }
    bool playing() const { return s_.playing; }
    bool skipEnabled() const { return s_.skipEnabled; }
    bool playPauseEnabled() const { return s_.playPauseEnabled; }
    double closeOpacity() const { return s_.closeOpacity; }
    SliderAdapter* volume() const { return volume_; }

    // GUI thread: the view's buttons.
    Q_INVOKABLE void playPause();
    Q_INVOKABLE void skip();
    Q_INVOKABLE void plusDown();
    Q_INVOKABLE void plusUp();
    Q_INVOKABLE void minusDown();
    Q_INVOKABLE void minusUp();

signals:
    void changed();

private:
    struct State {
        bool shown = false;
        QString track;
        QString artist;
        QString album;
        QString crate;
        QString tracksPlayed;
        QString totalTime;
        QString tillNext;
        QString bpm;
        bool playing = false;
        bool skipEnabled = true;
        bool playPauseEnabled = true;
        double closeOpacity = 1.0;
        bool operator==(const State&) const = default;
    };
    void act(const std::function<void(PartyModeController&)>& handler);

    DuovexAppDelegate& app_;
    RunLoop& loop_;
    std::function<void()> acted_;
    std::unique_ptr<PartyModeController> controller_;
    SliderAdapter* volume_;
    State s_;
};

} // namespace vx::ui
