#pragma once
// DeckAdapter (QML type `Deck`, two of them under `Mixer.deck0` / `Mixer.deck1`): one deck's
// part of the mixing screen. Its properties are the controller's view state for the deck
// (buttons' selected flags, panels, labels, read-outs) plus two engine flags (loaded,
// playing); its invokables forward presses and releases to the controller's handlers. The
// controls with their own touch rules (faders, knobs, the effect pad) are sub-objects.
//
// Deck 0 is drawn on the right of the screen, deck 1 on the left.
//
// State is pulled from the controller by refresh() — every 0.1 s, and after every handler
// call, so a press shows at once. All properties share one change signal that fires only
// when a value differs from the last refresh.
//
// Threads: GUI (main) thread only.

#include "ui/SliderAdapter.h"
#include "ui/XYPadAdapter.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
class SampleTestController;
} // namespace vx

namespace vx::ui {

class DeckAdapter : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Deck)
    QML_UNCREATABLE("Mixer.deck0 and Mixer.deck1")
    Q_PROPERTY(int index READ index CONSTANT)
    // Track and transport.
    Q_PROPERTY(bool loaded READ loaded NOTIFY changed)
    Q_PROPERTY(bool playing READ playing NOTIFY changed)
    Q_PROPERTY(bool loading READ loading NOTIFY changed)
    Q_PROPERTY(QString loadingText READ loadingText NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString artist READ artist NOTIFY changed)
    Q_PROPERTY(double ejectFlash READ ejectFlash NOTIFY changed)
    // Read-outs: time (elapsed or remaining), pitch, BPM.
    Q_PROPERTY(QString timeText READ timeText NOTIFY changed)
    Q_PROPERTY(QString pitchText READ pitchText NOTIFY changed)
    Q_PROPERTY(QString bpmText READ bpmText NOTIFY changed)
    Q_PROPERTY(bool remainingTime READ remainingTime NOTIFY changed)
    // The BPM read-out as the screen shows it: "128.0 BPM", "??? BPM", or while the deck's
    // track is analysed "Analysing 45 %" (`analysing` set); enlarged during a three-finger
    // scratch.
    Q_PROPERTY(QString bpmReadout READ bpmReadout NOTIFY changed)
    Q_PROPERTY(bool analysing READ analysing NOTIFY changed)
    Q_PROPERTY(bool bpmLarge READ bpmLarge NOTIFY changed)
    // The pitch read-out is dimmed during a speed glide (unless the pitch is locked).
    Q_PROPERTY(bool pitchDimmed READ pitchDimmed NOTIFY changed)
    // The play button is hidden while the volume, EQ or effect panel is open.
    Q_PROPERTY(bool playHidden READ playHidden NOTIFY changed)
    // The crossfader's gain for this deck (0 = not heard), and the deck's beat-mark colour.
    Q_PROPERTY(double faderGain READ faderGain NOTIFY changed)
    Q_PROPERTY(QColor color READ color NOTIFY changed)
    // Panels.
    Q_PROPERTY(bool cuePanel READ cuePanel NOTIFY changed)
    Q_PROPERTY(bool loopPanel READ loopPanel NOTIFY changed)
    Q_PROPERTY(bool pitchPanel READ pitchPanel NOTIFY changed)
    Q_PROPERTY(bool volumePanel READ volumePanel NOTIFY changed)
    Q_PROPERTY(bool eqPanel READ eqPanel NOTIFY changed)
    Q_PROPERTY(bool fxPanel READ fxPanel NOTIFY changed)
    Q_PROPERTY(bool bendPanel READ bendPanel NOTIFY changed)
    // Loops.
    Q_PROPERTY(bool loopWaiting READ loopWaiting NOTIFY changed)
    Q_PROPERTY(QString loopText READ loopText NOTIFY changed)
    Q_PROPERTY(bool loopOn READ loopOn NOTIFY changed)
    // Pitch, sync, tap.
    Q_PROPERTY(QString speedText READ speedText NOTIFY changed)
    Q_PROPERTY(bool speedRed READ speedRed NOTIFY changed)
    Q_PROPERTY(bool speedLarge READ speedLarge NOTIFY changed)
    Q_PROPERTY(bool speedHidden READ speedHidden NOTIFY changed)
    Q_PROPERTY(bool syncOn READ syncOn NOTIFY changed)
    Q_PROPERTY(bool pitchMode READ pitchMode NOTIFY changed)
    Q_PROPERTY(bool pitchButtonsEnabled READ pitchButtonsEnabled NOTIFY changed)
    Q_PROPERTY(bool tapShown READ tapShown NOTIFY changed)
    Q_PROPERTY(QString tapText READ tapText NOTIFY changed)
    Q_PROPERTY(bool bpmPadOpen READ bpmPadOpen NOTIFY changed)
    // LP/HP, effects.
    Q_PROPERTY(bool lphpShown READ lphpShown NOTIFY changed)
    Q_PROPERTY(double lphpValue READ lphpValue NOTIFY changed)
    Q_PROPERTY(QString effectName READ effectName NOTIFY changed)
    Q_PROPERTY(bool effectHeld READ effectHeld NOTIFY changed)
    Q_PROPERTY(QString xText READ xText NOTIFY changed)
    Q_PROPERTY(QString yText READ yText NOTIFY changed)
    Q_PROPERTY(int effectSlot READ effectSlot NOTIFY changed)
    // Waveform: ignores touches while the deck plays alone on air with stop-proof on; the
    // overview strip takes touches only while the deck is stopped.
    Q_PROPERTY(bool stopProof READ stopProof NOTIFY changed)
    Q_PROPERTY(bool navigatorTouchable READ navigatorTouchable NOTIFY changed)
    Q_PROPERTY(bool touchesEnabled READ touchesEnabled NOTIFY changed)
    // Controls.
    Q_PROPERTY(vx::ui::SliderAdapter* volume READ volume CONSTANT)
    Q_PROPERTY(vx::ui::SliderAdapter* gain READ gain CONSTANT)
    Q_PROPERTY(vx::ui::SliderAdapter* master READ master CONSTANT)
    Q_PROPERTY(vx::ui::SliderAdapter* eqLow READ eqLow CONSTANT)
    Q_PROPERTY(vx::ui::SliderAdapter* eqMid READ eqMid CONSTANT)
    Q_PROPERTY(vx::ui::SliderAdapter* eqHigh READ eqHigh CONSTANT)
    Q_PROPERTY(vx::ui::SliderAdapter* lphp READ lphp CONSTANT)
    Q_PROPERTY(vx::ui::XYPadAdapter* fxPad READ fxPad CONSTANT)

public:
    // GUI thread: deck `index` of the delegate's mixing screen; `acted` runs after every
    // handler call (the mixer refreshes the whole screen).
    DeckAdapter(int index, DuovexAppDelegate& app, std::function<void()> acted,
                QObject* parent = nullptr);

    // GUI thread: re-reads the deck's state; emits changed() when anything differs.
    void refresh();

    int index() const { return index_; }
    bool loaded() const { return s_.loaded; }
    bool playing() const { return s_.playing; }
    bool loading() const { return s_.loading; }
    QString loadingText() const { return s_.loadingText; }
    QString title() const { return s_.title; }
    QString artist() const { return s_.artist; }
    double ejectFlash() const { return s_.ejectFlash; }
    QString timeText() const { return s_.timeText; }
    QString pitchText() const { return s_.pitchText; }
    QString bpmText() const { return s_.bpmText; }
    bool remainingTime() const { return s_.remainingTime; }
    QString bpmReadout() const { return s_.bpmReadout; }
    bool analysing() const { return s_.analysing; }
    bool bpmLarge() const { return s_.bpmLarge; }
    bool pitchDimmed() const { return s_.pitchDimmed; }
    bool playHidden() const { return s_.playHidden; }
    double faderGain() const { return s_.faderGain; }
    QColor color() const { return s_.color; }
    bool cuePanel() const { return s_.cuePanel; }
    bool loopPanel() const { return s_.loopPanel; }
    bool pitchPanel() const { return s_.pitchPanel; }
    bool volumePanel() const { return s_.volumePanel; }
    bool eqPanel() const { return s_.eqPanel; }
    bool fxPanel() const { return s_.fxPanel; }
    bool bendPanel() const { return s_.bendPanel; }
    bool loopWaiting() const { return s_.loopWaiting; }
    QString loopText() const { return s_.loopText; }
    bool loopOn() const { return s_.loopOn; }
    QString speedText() const { return s_.speedText; }
    bool speedRed() const { return s_.speedRed; }
    bool speedLarge() const { return s_.speedLarge; }
    bool speedHidden() const { return s_.speedHidden; }
    bool syncOn() const { return s_.syncOn; }
    bool pitchMode() const { return s_.pitchMode; }
    bool pitchButtonsEnabled() const { return s_.pitchButtonsEnabled; }
    bool tapShown() const { return s_.tapShown; }
    QString tapText() const { return s_.tapText; }
    bool bpmPadOpen() const { return s_.bpmPadOpen; }
    bool lphpShown() const { return s_.lphpShown; }
    double lphpValue() const { return s_.lphpValue; }
    QString effectName() const { return s_.effectName; }
    bool effectHeld() const { return s_.effectHeld; }
    QString xText() const { return s_.xText; }
    QString yText() const { return s_.yText; }
    int effectSlot() const { return s_.effectSlot; }
    bool stopProof() const { return s_.stopProof; }
    bool navigatorTouchable() const { return s_.navigatorTouchable; }
    bool touchesEnabled() const { return s_.touchesEnabled; }
    SliderAdapter* volume() const { return volume_; }
    SliderAdapter* gain() const { return gain_; }
    SliderAdapter* master() const { return master_; }
    SliderAdapter* eqLow() const { return eq_[0]; }
    SliderAdapter* eqMid() const { return eq_[1]; }
    SliderAdapter* eqHigh() const { return eq_[2]; }
    SliderAdapter* lphp() const { return lphp_; }
    XYPadAdapter* fxPad() const { return fxPad_; }

    // --- handlers (GUI thread; each forwards to the mixing screen for this deck) ---------
    // Transport and cues.
    Q_INVOKABLE void playStop();
    Q_INVOKABLE void pause();
    Q_INVOKABLE void fastForward();
    Q_INVOKABLE void rewind();
    // Asks the host for the browser of this deck (after the flash).
    Q_INVOKABLE void eject();
    Q_INVOKABLE void cue();
    Q_INVOKABLE void cueDelete();
    Q_INVOKABLE void cueHoldDown();
    Q_INVOKABLE void cueHoldUp();
    Q_INVOKABLE void cuePrevious();
    Q_INVOKABLE void cueNext();
    Q_INVOKABLE void cueLoopPanelSwitch();
    // Loops.
    Q_INVOKABLE void loopInOut();
    Q_INVOKABLE void loopStop();
    Q_INVOKABLE void loopDivide();
    Q_INVOKABLE void loopExpand();
    Q_INVOKABLE void loopPanelSwitch();
    // Pitch panel: press / release of its button (a long press unlocks the tempo).
    Q_INVOKABLE void pitchPanelDown();
    Q_INVOKABLE void pitchPanelUp();
    // Pitch buttons: press and release (they repeat while held).
    Q_INVOKABLE void plusDown();
    Q_INVOKABLE void plusUp();
    Q_INVOKABLE void minusDown();
    Q_INVOKABLE void minusUp();
    // Reset button: press, release, double tap.
    Q_INVOKABLE void resetDown();
    Q_INVOKABLE void resetUp();
    Q_INVOKABLE void resetDouble();
    Q_INVOKABLE void togglePitchMode();
    // Bend (nudge) buttons: press and release; the bend panel's switch.
    Q_INVOKABLE void bendUpDown();
    Q_INVOKABLE void bendUpEnd();
    Q_INVOKABLE void bendDownDown();
    Q_INVOKABLE void bendDownEnd();
    Q_INVOKABLE void bendPanelSwitch();
    // The speed strip: the deck plays at `value` (a ratio) while the finger holds it; the
    // release returns to the deck's own speed.
    Q_INVOKABLE void setSpeed(double value);
    Q_INVOKABLE void releaseSpeed();
    Q_INVOKABLE void sync();
    // Tap tempo: press and release of the tap button.
    Q_INVOKABLE void tapDown();
    Q_INVOKABLE void tapUp();
    // Opens / closes the BPM entry pad for this deck (its keys are on Mixer).
    Q_INVOKABLE void bpmPad();
    Q_INVOKABLE void tempoPlus();
    Q_INVOKABLE void tempoMinus();
    Q_INVOKABLE void shiftGridUp();
    Q_INVOKABLE void shiftGridDown();
    // Volume, EQ, LP/HP, effects.
    Q_INVOKABLE void volumePanelSwitch();
    Q_INVOKABLE void volumeReset();
    Q_INVOKABLE void eqPanelSwitch();
    Q_INVOKABLE void eqReset();
    Q_INVOKABLE void lphpReset();
    Q_INVOKABLE void fxPanelSwitch();
    Q_INVOKABLE void previousEffect();
    Q_INVOKABLE void nextEffect();
    // Chooses effect slot 0…6.
    Q_INVOKABLE void chooseEffect(int slot);
    // Top bar: elapsed ↔ remaining time.
    Q_INVOKABLE void toggleTimeMode();

signals:
    void changed();

private:
    struct State {
        bool loaded = false;
        bool playing = false;
        bool loading = false;
        QString loadingText;
        QString title;
        QString artist;
        double ejectFlash = 0;
        QString timeText;
        QString pitchText;
        QString bpmText;
        bool remainingTime = false;
        QString bpmReadout;
        bool analysing = false;
        bool bpmLarge = false;
        bool pitchDimmed = false;
        bool playHidden = false;
        double faderGain = 1.0;
        QColor color;
        bool cuePanel = false;
        bool loopPanel = false;
        bool pitchPanel = false;
        bool volumePanel = false;
        bool eqPanel = false;
        bool fxPanel = false;
        bool bendPanel = false;
        bool loopWaiting = false;
        QString loopText;
        bool loopOn = false;
        QString speedText;
        bool speedRed = false;
        bool speedLarge = false;
        bool speedHidden = false;
        bool syncOn = false;
        bool pitchMode = false;
        bool pitchButtonsEnabled = true;
        bool tapShown = false;
        QString tapText;
        bool bpmPadOpen = false;
        bool lphpShown = false;
        double lphpValue = 0.5;
        QString effectName;
        bool effectHeld = false;
        QString xText;
        QString yText;
        int effectSlot = 0;
        bool stopProof = false;
        bool navigatorTouchable = true;
        bool touchesEnabled = true;
        bool operator==(const State&) const = default;
    };
    SampleTestController* screen() const;
    // Calls `handler` with the screen and this deck, then lets the mixer refresh.
    void act(const std::function<void(SampleTestController&, int)>& handler);

    const int index_;
    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    State s_;
    SliderAdapter* volume_;
    SliderAdapter* gain_;
    SliderAdapter* master_;
    SliderAdapter* eq_[3];
    SliderAdapter* lphp_;
    XYPadAdapter* fxPad_;
};

} // namespace vx::ui
