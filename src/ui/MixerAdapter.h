#pragma once
// MixerAdapter (QML singleton `Mixer`): the mixing screen as a whole — its two decks, the
// crossfader, the auto-mix button, party mode and its screen, the top bar (zoom, re-analyse,
// record, menu) and the BPM entry pad's keys. Properties are the controller's state, pulled by
// refresh() (every 0.1 s from the composition root, and after every handler call); all share
// one change signal that fires only when a value differs. Invokables forward to the
// controller.
//
// The mixing screen's controller appears when the delegate's launch continues; until then the
// properties keep their defaults and the handlers do nothing.
//
// Threads: GUI (main) thread only. Owned by the composition root, which registers the instance
// before QML loads.

#include "ui/DeckAdapter.h"
#include "ui/PartyAdapter.h"
#include "ui/QmlSingleton.h"
#include "ui/SliderAdapter.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace vx {
class DuovexAppDelegate;
class RunLoop;
class SampleTestController;
} // namespace vx

namespace vx::ui {

class MixerAdapter : public QObject, public QmlSingleton<MixerAdapter> {
    Q_OBJECT
    QML_NAMED_ELEMENT(Mixer)
    QML_SINGLETON
    Q_PROPERTY(vx::ui::DeckAdapter* deck0 READ deck0 CONSTANT)
    Q_PROPERTY(vx::ui::DeckAdapter* deck1 READ deck1 CONSTANT)
    Q_PROPERTY(vx::ui::SliderAdapter* crossfader READ crossfader CONSTANT)
    Q_PROPERTY(vx::ui::PartyAdapter* party READ party CONSTANT)
    Q_PROPERTY(bool ready READ ready NOTIFY changed)
    Q_PROPERTY(bool autoMixOn READ autoMixOn NOTIFY changed)
    Q_PROPERTY(bool autoFadeRunning READ autoFadeRunning NOTIFY changed)
    Q_PROPERTY(int autoMixFlashes READ autoMixFlashes NOTIFY changed)
    Q_PROPERTY(bool partyModeOn READ partyModeOn NOTIFY changed)
    Q_PROPERTY(bool zoomOn READ zoomOn NOTIFY changed)
    Q_PROPERTY(bool reanalysing READ reanalysing NOTIFY changed)
    Q_PROPERTY(bool recording READ recording NOTIFY changed)
    Q_PROPERTY(int bpmPadDeck READ bpmPadDeck NOTIFY changed)
    Q_PROPERTY(QString enteredBpm READ enteredBpm NOTIFY changed)
    Q_PROPERTY(bool touchesEnabled READ touchesEnabled NOTIFY changed)
    // Where the BPM pad stands: its centre as a fraction of the screen's width and height.
    Q_PROPERTY(double bpmPadX READ bpmPadX NOTIFY changed)
    Q_PROPERTY(double bpmPadY READ bpmPadY NOTIFY changed)
    // The automatic bass/treble swap is on: its marks show beside the crossfader.
    Q_PROPERTY(bool autoEqMarks READ autoEqMarks NOTIFY changed)
    // The headphone fade, 0 (deck 0) … 1 (deck 1).
    Q_PROPERTY(double headphoneFade READ headphoneFade NOTIFY changed)
    // Both waveforms run on the middle of their area (else on their home line, set outwards).
    Q_PROPERTY(bool wavesCentred READ wavesCentred NOTIFY changed)

public:
    // GUI thread: the adapters over `app`'s mixing screen.
    MixerAdapter(DuovexAppDelegate& app, RunLoop& loop, QObject* parent = nullptr);
    ~MixerAdapter() override;

    // GUI thread: re-reads the whole screen; emits changed() where values differ.
    void refresh();
    // GUI thread: closes the party screen (before termination).
    void closeScreens();

    DeckAdapter* deck0() const { return decks_[0]; }
    DeckAdapter* deck1() const { return decks_[1]; }
    // GUI thread: deck 0 or 1.
    DeckAdapter* deck(int index) const { return decks_[index & 1]; }
    SliderAdapter* crossfader() const { return crossfader_; }
    PartyAdapter* party() const { return party_; }
    bool ready() const { return s_.ready; }
    bool autoMixOn() const { return s_.autoMixOn; }
    bool autoFadeRunning() const { return s_.autoFadeRunning; }
    int autoMixFlashes() const { return s_.autoMixFlashes; }
    bool partyModeOn() const { return s_.partyModeOn; }
    bool zoomOn() const { return s_.zoomOn; }
    bool reanalysing() const { return s_.reanalysing; }
    bool recording() const { return s_.recording; }
    int bpmPadDeck() const { return s_.bpmPadDeck; }
    QString enteredBpm() const { return s_.enteredBpm; }
    bool touchesEnabled() const { return s_.touchesEnabled; }
    double bpmPadX() const { return s_.bpmPadX; }
    double bpmPadY() const { return s_.bpmPadY; }
    bool autoEqMarks() const { return s_.autoEqMarks; }
    double headphoneFade() const { return headphoneFade_; }
    bool wavesCentred() const { return s_.wavesCentred; }

    // --- handlers (GUI thread) -------------------------------------------------------------
    // Auto-mix button: press, then release; held past the platform's press-and-hold time it
    // brakes the playing decks instead (the release then does nothing).
    Q_INVOKABLE void autoMixDown();
    Q_INVOKABLE void autoMixUp();
    // Party mode button: turns party mode on and shows the party screen, or turns it off.
    Q_INVOKABLE void partyButton();
    // Top bar.
    Q_INVOKABLE void zoom();
    Q_INVOKABLE void reanalyse();
    Q_INVOKABLE void record();
    Q_INVOKABLE void menu();
    // BPM entry pad keys: digit 0…9, +, −, done.
    Q_INVOKABLE void bpmDigit(int digit);
    Q_INVOKABLE void bpmPlus();
    Q_INVOKABLE void bpmMinus();
    Q_INVOKABLE void bpmDone();
    // The mixing screen was drawn (at start and when the party screen closes).
    Q_INVOKABLE void screenShown();
    // The waveforms' centre-line key: centres both waveforms, or sends them home again.
    Q_INVOKABLE void toggleWaveCentre();
    // The headphone fade slider moved to `value` (0…1).
    Q_INVOKABLE void setHeadphoneFade(double value);

signals:
    void changed();

private:
    struct State {
        bool ready = false;
        bool autoMixOn = false;
        bool autoFadeRunning = false;
        int autoMixFlashes = 0;
        bool partyModeOn = false;
        bool zoomOn = false;
        bool reanalysing = false;
        bool recording = false;
        int bpmPadDeck = -1;
        QString enteredBpm;
        bool touchesEnabled = true;
        double bpmPadX = 0.5;
        double bpmPadY = 0.5;
        bool autoEqMarks = false;
        bool wavesCentred = false;
        bool operator==(const State&) const = default;
    };
    SampleTestController* screen() const;
    void acted();

    DuovexAppDelegate& app_;
    State s_;
    bool bpmPadTablet_ = false; // the layout shown when the BPM pad opened
    DeckAdapter* decks_[2];
    SliderAdapter* crossfader_;
    PartyAdapter* party_;
    QTimer autoMixHold_;
    double headphoneFade_ = 0.5;
};

} // namespace vx::ui
