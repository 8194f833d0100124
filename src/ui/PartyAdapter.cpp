#include "ui/PartyAdapter.h"

#include "app/DuovexAppDelegate.h"
#include "deck/PartyModeController.h"
#include "deck/SampleTestController.h"
#include "ui/SliderAdapter.h"

namespace vx::ui {

namespace {

QString text(const LabelState& label) {
    return QString::fromStdString(label.text);
}

} // namespace

PartyAdapter::PartyAdapter(DuovexAppDelegate& app, RunLoop& loop, std::function<void()> acted,
                           QObject* parent)
    : QObject(parent), app_(app), loop_(loop), acted_(std::move(acted)) {
    volume_ = new SliderAdapter(
        [this]() -> AMSlider* { return controller_ ? &controller_->volumeSlider() : nullptr; },
        acted_, this);
}

PartyAdapter::~PartyAdapter() {
    // No refresh from here: the mixer that owns this adapter is going away.
    if (controller_) {
        controller_->viewWillDisappear();
    }
}

void PartyAdapter::open() {
    SampleTestController* screen = app_.mixingScreen();
    if (!screen || !app_.engine()) {
        return;
    }
    if (!controller_) {
        controller_ = std::make_unique<PartyModeController>(
            *screen, *app_.engine(), app_.notifications(), loop_, app_.isTablet());
        controller_->viewDidLoad();
        controller_->viewWillAppear();
    }
    if (!screen->partyModeOn()) {
        controller_->playPauseAction(); // with party mode off this turns it on
    }
    refresh();
}

void PartyAdapter::close() {
    if (controller_) {
        controller_->closeAction();
    } else if (SampleTestController* screen = app_.mixingScreen();
               screen && screen->partyModeOn()) {
        screen->togglePartyMode();
    }
    hide();
}

void PartyAdapter::hide() {
    if (controller_) {
        controller_->viewWillDisappear();
        controller_.reset();
    }
    refresh();
    if (acted_) {
        acted_();
    }
}

void PartyAdapter::refresh() {
    if (controller_ && !controller_->viewShown()) {
        controller_->viewWillDisappear();
        controller_.reset();
    }
    State n;
    if (controller_) {
        const PartyModeController& c = *controller_;
        n.shown = true;
        n.track = text(c.trackLabel());
        n.artist = text(c.artistLabel());
        n.album = text(c.albumLabel());
        n.crate = text(c.fromCrate());
        n.tracksPlayed = text(c.tracksPlayed());
        n.totalTime = text(c.totalTimeLabel());
        n.tillNext = text(c.tillNextTrackLabel());
        n.bpm = text(c.BPMLabel());
        n.playing = c.playPauseButton().selected;
        n.skipEnabled = c.nextButton().enabled;
        n.playPauseEnabled = c.playPauseButton().enabled;
        n.closeOpacity = c.closeButtonFade().to;
    }
    if (!(n == s_)) {
        s_ = n;
        emit changed();
    }
    volume_->refresh();
}

void PartyAdapter::act(const std::function<void(PartyModeController&)>& handler) {
    if (controller_) {
        handler(*controller_);
    }
    if (acted_) {
        acted_();
    }
}

void PartyAdapter::playPause() {
    act([](PartyModeController& c) { c.playPauseAction(); });
}
void PartyAdapter::skip() {
    act([](PartyModeController& c) { c.skipAction(); });
}
void PartyAdapter::plusDown() {
    act([](PartyModeController& c) { c.plusButton(); });
}
void PartyAdapter::plusUp() {
    act([](PartyModeController& c) { c.plusButtonUp(); });
}
void PartyAdapter::minusDown() {
    act([](PartyModeController& c) { c.minusButton(); });
}
void PartyAdapter::minusUp() {
    act([](PartyModeController& c) { c.minusButtonUp(); });
}

} // namespace vx::ui
