#include "ui/DeckAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "controls/waveControl.h"
#include "deck/SampleTestController.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "ui/SliderAdapter.h"
#include "ui/WaveformHub.h"
#include "ui/XYPadAdapter.h"

namespace vx::ui {

namespace {

QString text(const LabelState& label) {
    return QString::fromStdString(label.text);
}

// The BPM read-out: the controller writes the analysis progress there as "%3.1f%%" while the
// deck's track is analysed, else the tempo ("%3.1f") or "???".
QString bpmReadoutText(const QString& label, bool* analysing) {
    *analysing = label.endsWith(QLatin1Char('%'));
    if (*analysing) {
        const double percent = label.chopped(1).trimmed().toDouble();
        return QStringLiteral("Analysing %1 %").arg(int(percent));
    }
    return (label.isEmpty() ? QStringLiteral("???") : label) + QStringLiteral(" BPM");
}

// The deck's beat-mark colour, or its usual one before the waveforms exist.
QColor deckColor(int deck) {
    if (WaveformHub* hub = WaveformHub::instance()) {
        if (const waveControl* c = hub->control(deck)) {
            const Rgba8 beat = c->beatMarkColor[0];
            return QColor(beat.r, beat.g, beat.b);
        }
    }
    return deck == 0 ? QColor(203, 54, 157) : QColor(62, 140, 217);
}

// The deck has one panel area: a panel that opens closes the others first. The cue, loop and
// pitch panels only leave the screen (a running loop keeps running); the bend panel, and the
// volume, EQ and effect panels through their own switches (the effects go off with theirs).
void closePanelsBut(SampleTestController& s, int d, ButtonState DeckViewState::*keep) {
    const DeckViewState& v = s.view(d);
    if ((v.*keep).selected) {
        return; // the switch closes its own panel
    }
    for (ButtonState DeckViewState::*p :
         {&DeckViewState::cuePanel, &DeckViewState::loopPanel, &DeckViewState::pitchPanel}) {
        if (p != keep && (v.*p).selected) {
            s.setPanelShown(d, p, false);
        }
    }
    if (keep != &DeckViewState::bendPanel && v.bendPanel.selected) {
        s.bendButtonAction(d);
    }
    if (keep != &DeckViewState::volumePanel && v.volumePanel.selected) {
        s.volOnOff(d);
    }
    if (keep != &DeckViewState::eqPanel && v.eqPanel.selected) {
        s.eqOnOff(d);
    }
    if (keep != &DeckViewState::fxPanel && v.fxPanel.selected) {
        s.fxOnOff(d);
    }
}

} // namespace

DeckAdapter::DeckAdapter(int index, DuovexAppDelegate& app, std::function<void()> acted,
                         QObject* parent)
    : QObject(parent), index_(index & 1), app_(app), acted_(std::move(acted)) {
    const auto slider = [this](AMSlider& (*pick)(SampleTestController&, int)) {
        return new SliderAdapter(
            [this, pick]() -> AMSlider* {
                SampleTestController* s = screen();
                return s ? &pick(*s, index_) : nullptr;
            },
            acted_, this);
    };
    volume_ = slider([](SampleTestController& s, int d) -> AMSlider& { return s.volSlider(d); });
    gain_ = slider([](SampleTestController& s, int d) -> AMSlider& { return s.volGainSlider(d); });
    master_ =
        slider([](SampleTestController& s, int d) -> AMSlider& { return s.volGlobalSlider(d); });
    eq_[0] = slider([](SampleTestController& s, int d) -> AMSlider& { return s.eqSlider(d, 0); });
    eq_[1] = slider([](SampleTestController& s, int d) -> AMSlider& { return s.eqSlider(d, 1); });
    eq_[2] = slider([](SampleTestController& s, int d) -> AMSlider& { return s.eqSlider(d, 2); });
    lphp_ = slider([](SampleTestController& s, int d) -> AMSlider& { return s.lphpSlider(d); });
    fxPad_ = new XYPadAdapter(
        [this]() -> FXController* {
            SampleTestController* s = screen();
            return s ? &s->fxController(index_) : nullptr;
        },
        acted_, this);
}

SampleTestController* DeckAdapter::screen() const {
    return app_.mixingScreen();
}

void DeckAdapter::act(const std::function<void(SampleTestController&, int)>& handler) {
    if (SampleTestController* s = screen()) {
        handler(*s, index_);
    }
    if (acted_) {
        acted_();
    }
}

void DeckAdapter::refresh() {
    State n;
    n.color = deckColor(index_);
    SampleTestController* s = screen();
    AudioOut* engine = app_.engine();
    if (s) {
        const DeckViewState& v = s->view(index_);
        if (engine && engine->initialized()) {
            const audioStream& d = engine->deck(index_);
            n.loaded = d.isLoaded.load();
            n.playing = n.loaded && d.isPlaying.load();
            n.faderGain = d.faderGain.load();
        }
        n.loading = !v.loading.hidden;
        n.loadingText = text(v.loading);
        n.title = text(v.title);
        n.artist = text(v.artist);
        n.ejectFlash = v.ejectFlashAlpha;
        n.timeText = text(s->indicator(index_, 0));
        n.pitchText = text(s->indicator(index_, 2));
        n.bpmText = text(s->indicator(index_, 3));
        n.bpmReadout = bpmReadoutText(n.bpmText, &n.analysing);
        n.bpmLarge = s->indicator(index_, 3).scale > 1.0f;
        n.pitchDimmed = s->indicator(index_, 2).hidden;
        n.playHidden = v.play.hidden;
        n.remainingTime = s->showLastTime(index_);
        n.cuePanel = v.cuePanel.selected;
        n.loopPanel = v.loopPanel.selected;
        n.pitchPanel = v.pitchPanel.selected;
        n.volumePanel = v.volumePanel.selected;
        n.eqPanel = v.eqPanel.selected;
        n.fxPanel = v.fxPanel.selected;
        n.bendPanel = v.bendPanel.selected;
        n.loopWaiting = v.loopInOut.selected;
        n.loopText = text(v.loopLabel);
        n.loopOn = v.loopMode.selected;
        n.speedText = text(v.speedReadout);
        n.speedRed = v.speedReadout.red;
        n.speedLarge = v.speedReadout.scale > 1.0f;
        n.speedHidden = s->speedHidden(index_);
        n.syncOn = v.sync.selected;
        n.pitchMode = v.reset.selected;
        n.pitchButtonsEnabled = v.pitchButtons.enabled && !v.pitchButtons.hidden;
        n.tapShown = !v.tapLabel.hidden;
        n.tapText = text(v.tapLabel);
        n.bpmPadOpen = s->lastBpmSide() == index_;
        n.lphpShown = v.lphpSliderShown;
        n.lphpValue = v.lphpSliderValue;
        n.effectName = text(s->effectLabel(index_));
        n.effectHeld = s->effectLabelGreen(index_);
        n.xText = text(s->xLabel(index_));
        n.yText = text(s->yLabel(index_));
        n.effectSlot = s->currentFXNo(index_);
        n.stopProof = s->stopProof(index_);
        n.navigatorTouchable = v.navigatorTouchable;
        n.touchesEnabled = s->touchesEnabled();
    }
    if (!(n == s_)) {
        s_ = n;
        emit changed();
    }
    for (SliderAdapter* slider : {volume_, gain_, master_, eq_[0], eq_[1], eq_[2], lphp_}) {
        slider->refresh();
    }
    fxPad_->refresh();
}

void DeckAdapter::playStop() {
    act([](SampleTestController& s, int d) { s.playStop(d); });
}
void DeckAdapter::pause() {
    act([](SampleTestController& s, int d) { s.pause(d); });
}
void DeckAdapter::fastForward() {
    act([](SampleTestController& s, int d) { s.ffButton(d); });
}
void DeckAdapter::rewind() {
    act([](SampleTestController& s, int d) { s.rewButton(d); });
}
void DeckAdapter::eject() {
    act([](SampleTestController& s, int d) { s.eject(d); });
}
void DeckAdapter::cue() {
    act([](SampleTestController& s, int d) { s.cueButton(d); });
}
void DeckAdapter::cueDelete() {
    act([](SampleTestController& s, int d) { s.cueDeleteButton(d); });
}
void DeckAdapter::cueHoldDown() {
    act([](SampleTestController& s, int d) { s.cueHoldButton(d); });
}
void DeckAdapter::cueHoldUp() {
    act([](SampleTestController& s, int d) { s.cueHoldButtonUp(d); });
}
void DeckAdapter::cuePrevious() {
    act([](SampleTestController& s, int d) { s.cuePrevButton(d); });
}
void DeckAdapter::cueNext() {
    act([](SampleTestController& s, int d) { s.cueNextButton(d); });
}
void DeckAdapter::cueLoopPanelSwitch() {
    act([](SampleTestController& s, int d) {
        closePanelsBut(s, d, &DeckViewState::cuePanel);
        s.cueLoopPanelSwitch(d);
    });
}
void DeckAdapter::loopInOut() {
    act([](SampleTestController& s, int d) { s.loopInOut(d); });
}
void DeckAdapter::loopStop() {
    act([](SampleTestController& s, int d) { s.loopStop(d); });
}
void DeckAdapter::loopDivide() {
    act([](SampleTestController& s, int d) { s.loopDivide(d); });
}
void DeckAdapter::loopExpand() {
    act([](SampleTestController& s, int d) { s.loopExpand(d); });
}
void DeckAdapter::loopPanelSwitch() {
    act([](SampleTestController& s, int d) {
        closePanelsBut(s, d, &DeckViewState::loopPanel);
        s.loopPanelSwitch(d);
    });
}
void DeckAdapter::pitchPanelDown() {
    act([](SampleTestController& s, int d) { s.pitchPanelDown(d); });
}
void DeckAdapter::pitchPanelUp() {
    act([](SampleTestController& s, int d) {
        closePanelsBut(s, d, &DeckViewState::pitchPanel);
        s.pitchPanelSwitch(d);
    });
}
void DeckAdapter::plusDown() {
    act([](SampleTestController& s, int d) { s.plusButton(d); });
}
void DeckAdapter::plusUp() {
    act([](SampleTestController& s, int d) { s.plusButtonUp(d); });
}
void DeckAdapter::minusDown() {
    act([](SampleTestController& s, int d) { s.minusButton(d); });
}
void DeckAdapter::minusUp() {
    act([](SampleTestController& s, int d) { s.minusButtonUp(d); });
}
void DeckAdapter::resetDown() {
    act([](SampleTestController& s, int d) { s.resetButton(d); });
}
void DeckAdapter::resetUp() {
    act([](SampleTestController& s, int d) { s.resetButtonUp(d); });
}
void DeckAdapter::resetDouble() {
    act([](SampleTestController& s, int d) { s.resetButtonDbl(d); });
}
void DeckAdapter::togglePitchMode() {
    act([](SampleTestController& s, int d) { s.togglePitchMode(d); });
}
void DeckAdapter::bendUpDown() {
    act([](SampleTestController& s, int d) { s.bendUp(d); });
}
void DeckAdapter::bendUpEnd() {
    act([](SampleTestController& s, int d) { s.bendUpEnd(d); });
}
void DeckAdapter::bendDownDown() {
    act([](SampleTestController& s, int d) { s.bendDown(d); });
}
void DeckAdapter::bendDownEnd() {
    act([](SampleTestController& s, int d) { s.bendDownEnd(d); });
}
void DeckAdapter::bendPanelSwitch() {
    act([](SampleTestController& s, int d) {
        closePanelsBut(s, d, &DeckViewState::bendPanel);
        s.bendButtonAction(d);
    });
}
void DeckAdapter::setSpeed(double value) {
    act([value](SampleTestController& s, int d) { s.speed(d, value); });
}
void DeckAdapter::releaseSpeed() {
    AudioOut* engine = app_.engine();
    if (!engine || !engine->initialized()) {
        return;
    }
    const double base = engine->deck(index_).baseSpeed.load();
    act([base](SampleTestController& s, int d) { s.speed(d, base); });
}
void DeckAdapter::sync() {
    act([](SampleTestController& s, int d) { s.syncAction(d); });
}
void DeckAdapter::tapDown() {
    act([](SampleTestController& s, int d) { s.downTapBPM(d); });
}
void DeckAdapter::tapUp() {
    act([](SampleTestController& s, int d) { s.upTapBPM(d); });
}
void DeckAdapter::bpmPad() {
    act([](SampleTestController& s, int d) { s.bpmEnterOnOff(d); });
}
void DeckAdapter::tempoPlus() {
    act([](SampleTestController& s, int d) { s.tempoPlus(d); });
}
void DeckAdapter::tempoMinus() {
    act([](SampleTestController& s, int d) { s.tempoMinus(d); });
}
void DeckAdapter::shiftGridUp() {
    act([](SampleTestController& s, int d) { s.shiftGridUp(d); });
}
void DeckAdapter::shiftGridDown() {
    act([](SampleTestController& s, int d) { s.shiftGridDown(d); });
}
void DeckAdapter::volumePanelSwitch() {
    act([](SampleTestController& s, int d) {
        closePanelsBut(s, d, &DeckViewState::volumePanel);
        s.volOnOff(d);
    });
}
void DeckAdapter::volumeReset() {
    act([](SampleTestController& s, int d) { s.volReset(d); });
}
void DeckAdapter::eqPanelSwitch() {
    act([](SampleTestController& s, int d) {
        closePanelsBut(s, d, &DeckViewState::eqPanel);
        s.eqOnOff(d);
    });
}
void DeckAdapter::eqReset() {
    act([](SampleTestController& s, int d) { s.resetEq(d); });
}
void DeckAdapter::lphpReset() {
    act([](SampleTestController& s, int d) { s.lphpReset(d); });
}
void DeckAdapter::fxPanelSwitch() {
    act([](SampleTestController& s, int d) {
        closePanelsBut(s, d, &DeckViewState::fxPanel);
        s.fxOnOff(d);
    });
}
void DeckAdapter::previousEffect() {
    act([](SampleTestController& s, int d) { s.prevFX(d); });
}
void DeckAdapter::nextEffect() {
    act([](SampleTestController& s, int d) { s.nextFX(d); });
}
void DeckAdapter::chooseEffect(int slot) {
    act([slot](SampleTestController& s, int d) { s.fxAction(slot, d); });
}
void DeckAdapter::toggleTimeMode() {
    act([](SampleTestController& s, int d) { s.toggleAfterBefore(d); });
}

} // namespace vx::ui
