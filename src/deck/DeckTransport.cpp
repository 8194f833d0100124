// DeckTransport: restoring the decks at start-up, the transport and cue handlers, the button
// refreshes and the remote control. The loop panel is in DeckTransportLoops.cpp.

#include "deck/DeckTransport.h"

#include "deck/PartyModeController.h"
#include "deck/SampleTestController.h"
#include "dsp/Eq8.h"
#include "engine/AudioOut.h"
#include "engine/DeckBeats.h"
#include "engine/DeckCues.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "library/VXAudioFileInfo.h"
#include "platform/UserDefaults.h"

#include <cmath>
#include <filesystem>
#include <mutex>

namespace vx {

namespace {

// Frames of the play/stop fade-out.
constexpr int kStopFadeFrames = 1024;
// Polling interval while deck 0 loads at start-up, seconds.
constexpr double kStartupPollSeconds = 0.1;
// Delay before the browser opens after an eject press, seconds.
constexpr double kEjectDelaySeconds = 0.01;

} // namespace

DeckTransport::DeckTransport(SampleTestController& owner, DeckContext& context)
    : DeckPart(owner, context) {}

DeckTransport::~DeckTransport() {
    if (startupPoll_) {
        startupPoll_->invalidate();
    }
}

void DeckTransport::readSettings() {
    snapCueToBeat_ = defaults_.boolForKey("kSnapCueToBeat", true);
}

void DeckTransport::restoreDecks(const std::string& fallback0, const std::string& fallback1) {
    if (!engine_.initialized()) {
        return;
    }
    std::array<std::string, 2> files;
    const std::array<std::string, 2> fallbacks{fallback0, fallback1};
    for (int d = 0; d < 2; ++d) {
        const std::string saved = defaults_.stringForKey("kStreamFile" + std::to_string(d));
        std::error_code ec;
        if (!saved.empty() && std::filesystem::is_regular_file(saved, ec)) {
            files[size_t(d)] = saved;
            deck(d).crateIndex.store(
                int32_t(defaults_.integerForKey("kStreamCrate" + std::to_string(d), -1)));
        } else {
            files[size_t(d)] = fallbacks[size_t(d)];
        }
    }
    std::error_code ec;
    const auto exists = [&ec](const std::string& f) {
        return !f.empty() && std::filesystem::is_regular_file(f, ec);
    };
    if (!exists(files[0])) {
        startupLoads_ = 1;
        if (exists(files[1])) {
            engine_.runDecode2(files[1]);
        }
        startupLoads_ = 2;
        return;
    }
    engine_.runDecode1(files[0]);
    startupLoads_ = 1;
    // Deck 1 waits for deck 0: the two decodes would otherwise compete for the disk while the
    // first deck becomes playable.
    const std::string second = files[1];
    startupPoll_ = std::make_unique<TimerHandle>(loop_.every(kStartupPollSeconds, [this, second] {
        if (engine_.deckOpening(0)) {
            return;
        }
        startupPoll_->invalidate();
        std::error_code e;
        if (!second.empty() && std::filesystem::is_regular_file(second, e)) {
            engine_.runDecode2(second);
        }
        startupLoads_ = 2;
    }));
}

void DeckTransport::fileOpened(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    DeckViewState& v = views_[size_t(d)];
    v.navigatorUpdates += 1; // cue marks of the new track
    v.lphpSliderValue = deck(d).lphpPosition.load();
    if (owner_.tempoLock()) {
        if (startupLoads_ < 2) {
            owner_.tideTempoForSide(0); // during start-up, deck 0 follows
        } else {
            const float mine = deck(d).faderGain.load();
            const float other = deck(1 - d).faderGain.load();
            if (mine > other) {
                owner_.tideTempoForSide(1 - d);
            } else if (mine < other) {
                owner_.tideTempoForSide(d);
            } else {
                owner_.tideTempoForSide(0);
            }
        }
    }
    updatePlayButtons();
    updateNames();
}

void DeckTransport::playStop(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    DeckViewState& v = views_[size_t(d)];
    if (playing(d)) {
        v.play.selected = false;
        audioStream& s = deck(d);
        std::lock_guard lock(*s.engineLock);
        s.outputRampLength.store(1.0f);
        s.outputRamp.start(1.0f, 0.0f, kStopFadeFrames);
        v.navigatorTouchable = true;
    } else {
        v.play.selected = true;
        if (loaded(d)) {
            play(d);
        }
        v.navigatorTouchable = false;
    }
}

void DeckTransport::play(int d) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    startDeck(d);
    views_[size_t(d)].navigatorTouchable = engine_.engineRunning();
    if (!engine_.engineRunning()) {
        engine_.setEngineRunning(true);
        views_[size_t(d)].navigatorTouchable = false;
    }
    views_[size_t(d)].play.selected = true;
}

int DeckTransport::startDeck(int d) {
    return deckPlay(deck(d), [this](audioStream& s) {
        const auto info = s.info();
        if (!db_ || !info) {
            return;
        }
        // Started together with the other deck under the engine lock: the database write
        // waits until the lock is released.
        if (holdingEngineLock()) {
            loop_.post([db = db_, info] { db->incrementPlayCountForInfo(*info); });
        } else {
            db_->incrementPlayCountForInfo(*info);
        }
    });
}

void DeckTransport::stop(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (loaded(d)) {
        deckStop(deck(d));
        deck(d).replanNeeded.store(true);
    }
    views_[size_t(d)].navigatorTouchable = true;
    views_[size_t(d)].play.selected = false;
}

void DeckTransport::pause(int d) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    if (playing(d)) {
        deckStop(deck(d));
        views_[size_t(d)].navigatorTouchable = true;
        views_[size_t(d)].play.selected = false;
    } else {
        startDeck(d);
        views_[size_t(d)].navigatorTouchable = false;
        views_[size_t(d)].play.selected = true;
    }
}

void DeckTransport::ffButton(int d) {
    if (loaded(d)) {
        deckFastForward(deck(d));
    }
}

void DeckTransport::rewButton(int d) {
    if (loaded(d)) {
        deckRewind(deck(d));
    }
}

void DeckTransport::eject(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    views_[size_t(d)].ejectFlashAlpha = 1.0f;
    if (!(host_ && host_->isTablet())) {
        context_.touchesEnabled = false; // the delegate enables them again when the browser closes
    }
    loop_.after(kEjectDelaySeconds, [this, d] {
        blinkOff(d);
        if (host_) {
            host_->showLoadFile(d);
        }
    });
}

void DeckTransport::blinkOff(int d) {
    views_[size_t(d & 1)].ejectFlashAlpha = 0.0f;
}

void DeckTransport::addCue(int d, double frame) {
    addCueAtFrame(deck(d), db_, frame);
    views_[size_t(d)].navigatorUpdates += 1;
}

void DeckTransport::cueButton(int d) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    s.inertiaSpeed.store(0.0);
    if (snapCueToBeat_) {
        const double beat = nearestBeatToFrame(s, s.position.load());
        if (beat >= 0.0) {
            addCue(d, beat);
            return;
        }
    }
    addCueAtAudiblePosition(s, db_);
    views_[size_t(d)].navigatorUpdates += 1;
}

void DeckTransport::cueDeleteButton(int d) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    s.inertiaSpeed.store(0.0);
    const int i = nearestCue(s);
    const auto stopOn = [&s](long cue) {
        std::lock_guard lock(*s.engineLock);
        deckStop(s);
        setAudiblePosition(s, double(cue));
        s.replanNeeded.store(true);
    };
    if (i < 0) {
        if (s.numCuePoints > 0) {
            stopOn(s.cuePoints[0]);
        }
        return;
    }
    const long audible = long(audiblePosition(s));
    if (audible == 0 || i >= s.numCuePoints) {
        return;
    }
    if (audible != s.cuePoints[size_t(i)]) {
        stopOn(s.cuePoints[size_t(i)]);
        return;
    }
    deleteCue(s, db_, i);
    views_[size_t(d)].navigatorUpdates += 1;
}

void DeckTransport::cueHoldButton(int d) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    s.inertiaSpeed.store(0.0);
    holdCuePoint_[size_t(d)] = nearestCueToFrame(s, std::round(s.position.load()));
    jumpToCue(s, holdCuePoint_[size_t(d)]);
    holdCueStreamOn_[size_t(d)] = s.isPlaying.load();
    if (!holdCueStreamOn_[size_t(d)]) {
        startDeck(d);
    }
}

void DeckTransport::cueHoldButtonUp(int d) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    deckStop(s);
    jumpToCue(s, holdCuePoint_[size_t(d)]);
}

void DeckTransport::cueStep(int d, bool forward) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (!loaded(d) || deck(d).numCuePoints == 0) {
        return;
    }
    audioStream& s = deck(d);
    s.inertiaSpeed.store(0.0);
    resetEqState(s); // cleared filter history: the jump does not click
    if (forward) {
        nextCue(s);
    } else {
        previousCue(s);
    }
}

void DeckTransport::cueLoopPanelSwitch(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    DeckViewState& v = views_[size_t(d)];
    v.cuePanel.selected = !v.cuePanel.selected;
    if (v.loopPanel.selected && !v.loopLabel.hidden) {
        loopStop(d);
    }
    v.loopPanel.selected = false;
    v.pitchPanel.selected = false;
    owner_.tempo().closeBpmPad();
    checkPlayStop();
}

void DeckTransport::setPanelShown(int d, ButtonState DeckViewState::*panel, bool shown) {
    (views_[size_t(d & 1)].*panel).selected = shown;
    checkPlayStop();
}

void DeckTransport::checkPlayStop() {
    for (DeckViewState& v : views_) {
        v.play.hidden = v.volumePanel.selected || v.eqPanel.selected || v.fxPanel.selected;
    }
}

void DeckTransport::updatePlayButtons() {
    for (int d = 0; d < 2; ++d) {
        DeckViewState& v = views_[size_t(d)];
        const bool on = playing(d);
        v.play.selected = on;
        v.navigatorTouchable = !on;
        v.loading.hidden = !(engine_.initialized() && deck(d).isLoading.load());
        v.pitchButtons.hidden = !(on && !v.pitchPanel.selected);
        v.lphpSliderShown = on && !v.pitchPanel.selected;
        v.tempoLockMark = owner_.tempoLock();
    }
    owner_.updatePitchMode();
}

void DeckTransport::updateLoopButtons() {
    for (int d = 0; d < 2; ++d) {
        views_[size_t(d)].loopMode.selected = loaded(d) && deck(d).loopActive.load();
    }
}

void DeckTransport::updateNames() {
    for (int d = 0; d < 2; ++d) {
        DeckViewState& v = views_[size_t(d)];
        std::shared_ptr<VXAudioFileInfo> info;
        if (engine_.initialized())
            info = deck(d).info();
        // Without a title tag the file's name stands in for it.
        v.title.text = !info ? std::string() : info->title.value_or(info->fileName.stem().string());
        v.artist.text = info ? info->artist.value_or(std::string()) : std::string();
        v.nameUpdates += 1;
        v.navigatorUpdates += 1;
    }
}

void DeckTransport::updateSliders() {
    for (int d = 0; d < 2; ++d) {
        if (engine_.initialized()) {
            views_[size_t(d)].lphpSliderValue = deck(d).lphpPosition.load();
        }
    }
    owner_.mixer().updateMixerSliders();
}

void DeckTransport::remoteControlReceived(int subtype) {
    switch (subtype) {
    case 103:
        togglePlayPause();
        break;
    case 104:
        playNextTrack();
        break;
    case 105:
        playPreviousTrack();
        break;
    default:
        break;
    }
}

void DeckTransport::togglePlayPause() {
    if (host_ && host_->partyMode()) {
        // The party screen's play/pause, then the output follows the decks.
        if (owner_.pmcontroller()) {
            owner_.pmcontroller()->playPauseAction();
        }
        if (!playing(0) && !playing(1)) {
            engine_.StopSound();
        } else {
            engine_.StartSound();
        }
        return;
    }
    if (!playing(0) && !playing(1)) {
        for (int d = 0; d < 2; ++d) {
            if (playingAtPause_[size_t(d)]) {
                play(d);
            }
        }
    } else {
        for (int d = 0; d < 2; ++d) {
            playingAtPause_[size_t(d)] = playing(d);
            if (loaded(d)) {
                deckStop(deck(d));
            }
        }
        updatePlayButtons();
    }
}

void DeckTransport::playNextTrack() {
    // Skipping belongs to party mode's screen; outside party mode the button does nothing.
    if (host_ && host_->partyMode() && owner_.pmcontroller()) {
        owner_.pmcontroller()->skipAction();
    }
}

void DeckTransport::playPreviousTrack() {
    if (!(host_ && host_->partyMode())) {
        return;
    }
    const int d = deck(1).faderGain.load() > deck(0).faderGain.load() ? 1 : 0;
    if (loaded(d)) {
        std::lock_guard lock(*deck(d).engineLock);
        deck(d).position.store(0.0);
        deck(d).replanNeeded.store(true);
    }
}

} // namespace vx
