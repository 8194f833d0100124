#include "ui/MixerAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "deck/SampleTestController.h"
#include "ui/DeckAdapter.h"
#include "ui/PartyAdapter.h"
#include "ui/SliderAdapter.h"
#include "ui/WaveformHub.h"

#include <QGuiApplication>
#include <QJSEngine>
#include <QQmlEngine>
#include <QSizeF>
#include <QStyleHints>

#include <algorithm>

namespace vx::ui {

namespace {
// The screens, in points, whose coordinates the controller gives the BPM pad.
constexpr QSizeF kTabletPoints(768, 1024);
constexpr QSizeF kPhonePoints(320, 480);
} // namespace

MixerAdapter::MixerAdapter(DuovexAppDelegate& app, RunLoop& loop, QObject* parent)
    : QObject(parent), app_(app) {
    const auto refreshAll = [this] { acted(); };
    decks_[0] = new DeckAdapter(0, app_, refreshAll, this);
    decks_[1] = new DeckAdapter(1, app_, refreshAll, this);
    crossfader_ = new SliderAdapter(
        [this]() -> AMSlider* {
            SampleTestController* s = screen();
            return s ? &s->mainBalance() : nullptr;
        },
        refreshAll, this);
    // A tap on the crossfader's track beside its knob would open a deck's browser in the
    // middle of a mix; the eject buttons do that.
    crossfader_->setTapsOffPointerIgnored(true);
    party_ = new PartyAdapter(app_, loop, refreshAll, this);
    autoMixHold_.setSingleShot(true);
    connect(&autoMixHold_, &QTimer::timeout, this, [this] {
        if (SampleTestController* s = screen()) {
            s->longAutomixTap();
        }
        acted();
    });
}

MixerAdapter::~MixerAdapter() = default;

SampleTestController* MixerAdapter::screen() const {
    return app_.mixingScreen();
}

void MixerAdapter::acted() {
    refresh();
}

void MixerAdapter::refresh() {
    State n;
    if (SampleTestController* s = screen()) {
        n.ready = true;
        n.autoMixOn = s->autoMixOn();
        n.autoFadeRunning = s->xFadeRunning();
        n.autoMixFlashes = s->autosyncFlash().starts;
        n.partyModeOn = s->partyModeOn();
        n.zoomOn = s->navigatorsShown();
        n.reanalysing = s->freezeButton().selected;
        n.recording = s->recordButton().selected;
        n.bpmPadDeck = s->lastBpmSide();
        n.enteredBpm = QString::number(s->enteredBpm(), 'f', 1);
        n.touchesEnabled = s->touchesEnabled();
        // The controller places the pad in the points of the layout shown when it opened (a
        // resize may have switched the layout since).
        if (n.bpmPadDeck != s_.bpmPadDeck) {
            bpmPadTablet_ = app_.isTablet();
        }
        const bool tablet = bpmPadTablet_;
        n.bpmPadX = s->bpmPadX() / (tablet ? kTabletPoints.width() : kPhonePoints.width());
        n.bpmPadY = s->bpmPadY() / (tablet ? kTabletPoints.height() : kPhonePoints.height());
        n.autoEqMarks = s->autoEqMarksShown();
    }
    if (const WaveformHub* hub = WaveformHub::instance()) {
        n.wavesCentred = hub->centred();
    }
    if (!(n == s_)) {
        s_ = n;
        emit changed();
    }
    decks_[0]->refresh();
    decks_[1]->refresh();
    crossfader_->refresh();
    party_->refresh();
}

void MixerAdapter::closeScreens() {
    party_->hide();
}

void MixerAdapter::autoMixDown() {
    if (SampleTestController* s = screen()) {
        s->autoMixDown();
        autoMixHold_.start(QGuiApplication::styleHints()->mousePressAndHoldInterval());
    }
    acted();
}

void MixerAdapter::autoMixUp() {
    autoMixHold_.stop();
    if (SampleTestController* s = screen()) {
        s->autoMixAction(true);
    }
    acted();
}

void MixerAdapter::partyButton() {
    if (SampleTestController* s = screen()) {
        if (s->partyModeOn()) {
            party_->close();
        } else {
            party_->open();
        }
    }
    acted();
}

void MixerAdapter::zoom() {
    if (SampleTestController* s = screen()) {
        s->zoomButtonAction();
    }
    acted();
}

void MixerAdapter::reanalyse() {
    if (SampleTestController* s = screen()) {
        s->freezeButtomAction();
    }
    acted();
}

void MixerAdapter::record() {
    if (SampleTestController* s = screen()) {
        s->recordAction();
    }
    acted();
}

void MixerAdapter::menu() {
    if (SampleTestController* s = screen()) {
        s->menuAction();
    }
    acted();
}

void MixerAdapter::bpmDigit(int digit) {
    if (SampleTestController* s = screen()) {
        s->bpmDigitPress(digit);
    }
    acted();
}

void MixerAdapter::bpmPlus() {
    if (SampleTestController* s = screen()) {
        s->bpmPlusPress();
    }
    acted();
}

void MixerAdapter::bpmMinus() {
    if (SampleTestController* s = screen()) {
        s->bpmMinusPress();
    }
    acted();
}

void MixerAdapter::screenShown() {
    if (SampleTestController* s = screen()) {
        s->mixerScreenShown();
    }
    acted();
}

void MixerAdapter::toggleWaveCentre() {
    if (WaveformHub* hub = WaveformHub::instance()) {
        if (hub->centred()) {
            hub->Wider();
        } else {
            hub->move2Center();
        }
    }
    acted();
}

void MixerAdapter::setHeadphoneFade(double value) {
    headphoneFade_ = std::clamp(value, 0.0, 1.0);
    if (SampleTestController* s = screen()) {
        s->hpFade(float(headphoneFade_));
    }
    emit changed();
    acted();
}

void MixerAdapter::bpmDone() {
    if (SampleTestController* s = screen()) {
        s->finalizeBpmEnter();
    }
    acted();
}

} // namespace vx::ui
