#include "deck/PartyModeController.h"
#include "platform/SampleRate.h"

#include "engine/AudioOut.h"
#include "engine/DeckSpeed.h"
#include "engine/audioStream.h"
#include "library/VXAudioFileInfo.h"

#include <cstdio>
#include <mutex>

namespace vx {

namespace {

constexpr double kRefreshSeconds = 1.0 / 15.0;
// Pitch buttons: ramp to the new default speed (frames), first repeat, repeat interval (s).
constexpr int kPitchRampFrames = 64;
constexpr double kRepeatDelaySeconds = 0.5;
constexpr double kRepeatIntervalSeconds = 0.1;
// Close button fades, seconds.
constexpr double kCloseHideSeconds = 0.1;
constexpr double kCloseShowSeconds = 0.3;
// The crates' names.
constexpr const char* kCrateNames[] = {"A", "B", "C", "D", "E"};
constexpr int kCrateCount = 5;

std::string minutesSeconds(double seconds) {
    const int whole = int(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", whole / 60, whole % 60);
    return text;
}

std::shared_ptr<VXAudioFileInfo> infoOf(const audioStream& s) {
    if (!s.isLoaded.load(std::memory_order_acquire)) {
        return nullptr;
    }
    return s.info();
}

} // namespace

PartyModeController::PartyModeController(SampleTestController& root, AudioOut& engine,
                                         NotificationCenter& notifications, RunLoop& loop,
                                         bool tablet)
    : rootController_(root), engine_(engine), notifications_(notifications), loop_(loop),
      tablet_(tablet) {
    volumeSlider_.setEventHandler([this](AMSlider&, AMSlider::Event e) {
        if (e == AMSlider::Event::ValueChanged) {
            volumeAction();
        }
    });
}

PartyModeController::~PartyModeController() {
    refreshTimer_.invalidate();
    IncrementSpeedTimer_.invalidate();
    notifications_.removeObserver(this);
    if (rootController_.pmcontroller() == this) {
        rootController_.setPmcontroller(nullptr);
    }
}

bool PartyModeController::playing(int d) const {
    return engine_.initialized() && engine_.deck(d).isLoaded.load() &&
           engine_.deck(d).isPlaying.load();
}

// --- lifecycle --------------------------------------------------------------------------

void PartyModeController::viewDidLoad() {
    volumeSlider_.setHorizontal(false);
    volumeSlider_.setValue(engine_.getGain());
}

void PartyModeController::viewWillAppear() {
    volumeSlider_.setValue(engine_.getGain());
    playPauseButton_.selected = rootController_.partyModeOn();
    rootController_.setPmcontroller(this);
    refreshTimer_.invalidate();
    refreshTimer_ = loop_.every(kRefreshSeconds, [this] { refreshInterface(); });
    notifications_.removeObserver(this, "autoXFadeStop");
    notifications_.addObserver(this, "autoXFadeStop",
                               [this](const Notification&) { nextTrackStop(); });
    if (tablet_) {
        mainViewScale_ = kTabletScale;
        mainViewCentred_ = true;
    }
}

void PartyModeController::viewWillDisappear() {
    refreshTimer_.invalidate();
    notifications_.removeObserver(this, "autoXFadeStop");
    if (rootController_.pmcontroller() == this) {
        rootController_.setPmcontroller(nullptr);
    }
}

// --- read-outs --------------------------------------------------------------------------

void PartyModeController::refreshInterface() {
    if (!engine_.initialized()) {
        return;
    }
    const int p = rootController_.currentPartyStream();
    const audioStream& current = engine_.deck(p);
    const audioStream& next = engine_.deck(1 - p);
    const auto info = infoOf(current);
    // Without a title tag the file's name stands in for it, as on the mixing screen.
    trackLabel_.text = info ? info->title.value_or(info->fileName.stem().string()) : std::string();
    artistLabel_.text = info ? info->artist.value_or(std::string()) : std::string();
    albumLabel_.text = info ? info->album.value_or(std::string()) : std::string();

    const int crate = next.crateIndex.load();
    if (crate >= 0 && crate < kCrateCount) {
        char text[8];
        std::snprintf(text, sizeof text, "%s", kCrateNames[crate]);
        fromCrate_.text = text;
    } else {
        fromCrate_.text = "--";
    }
    char count[16];
    std::snprintf(count, sizeof count, "%2i", rootController_.tracksPlayed());
    tracksPlayed_.text = count;

    totalTimeLabel_.text = minutesSeconds(double(engine_.samplesPlayedCount()) / kFrameRate);
    const double base = current.baseSpeed.load();
    const double tillNext =
        (double(current.triggerFrame.load()) - current.position.load()) / kFrameRate * base;
    tillNextTrackLabel_.text = tillNext > 0.0 ? minutesSeconds(tillNext) : "Now";

    const double tempo = info ? info->tempo : 0.0;
    char bpm[32];
    std::snprintf(bpm, sizeof bpm, "%3.1f", tempo * base);
    BPMLabel_.text = bpm;
}

// --- buttons ----------------------------------------------------------------------------

void PartyModeController::playPauseAction() {
    if (!rootController_.partyModeOn()) {
        rootController_.togglePartyMode(&playPauseButton_);
        prevState_ = {playing(0), playing(1)};
        playPauseButton_.selected = true;
        engine_.samplesPlayed.store(0);
        return;
    }
    if (!playing(0) && !playing(1)) {
        for (int d = 0; d < 2; ++d) {
            if (prevState_[size_t(d)]) {
                rootController_.play(d);
            }
        }
        playPauseButton_.selected = true;
        return;
    }
    prevState_ = {playing(0), playing(1)};
    rootController_.stop(0);
    rootController_.stop(1);
    playPauseButton_.selected = false;
}

void PartyModeController::skipAction() {
    if (!rootController_.partyModeOn()) {
        return;
    }
    nextButton_.selected = true;
    nextButton_.enabled = false;
    playPauseButton_.enabled = false;
    rootController_.skipToNextTrack();
}

void PartyModeController::nextTrackStop() {
    viewEnabled_ = true;
    playPauseButton_.enabled = true;
    nextButton_.enabled = true;
    nextButton_.selected = false;
}

void PartyModeController::closeAction() {
    if (rootController_.partyModeOn()) {
        rootController_.togglePartyMode(&playPauseButton_);
    }
    playPauseButton_.enabled = true;
    nextButton_.enabled = true;
    viewShown_ = false;
    viewWillDisappear();
}

void PartyModeController::volumeAction() {
    // The mixing screen's master slider takes the value; its handler sets the gain and the
    // other copy.
    rootController_.volGlobalSlider(0).setValue(volumeSlider_.value());
    rootController_.volValueGlobal(0);
}

// --- pitch for both decks ---------------------------------------------------------------

void PartyModeController::plusButton() {
    pitchPress(rootController_.pitchStep());
}

void PartyModeController::minusButton() {
    pitchPress(-rootController_.pitchStep());
}

void PartyModeController::plusButtonUp() {
    pitchRelease();
}

void PartyModeController::minusButtonUp() {
    pitchRelease();
}

void PartyModeController::pitchPress(double step) {
    IncrementValue_ = step;
    IncrementSpeedTimer_.invalidate();
    applyStep();
    IncrementSpeedTimer_ = loop_.after(kRepeatDelaySeconds, [this] { SpeedTimerFirst(); });
}

void PartyModeController::pitchRelease() {
    IncrementValue_ = 0.0;
    IncrementSpeedTimer_.invalidate();
    if (!engine_.initialized()) {
        return;
    }
    for (int d = 0; d < 2; ++d) {
        audioStream& s = engine_.deck(d);
        if (s.isLoaded.load()) {
            setSpeed(s, s.baseSpeed.load(), kPitchRampFrames);
        }
    }
    followLouder();
}

void PartyModeController::applyStep() {
    if (!engine_.initialized()) {
        return;
    }
    for (int d = 0; d < 2; ++d) {
        audioStream& s = engine_.deck(d);
        if (s.isLoaded.load()) {
            rootController_.setDefaultSpeed(d, s.baseSpeed.load() + IncrementValue_);
        }
    }
    for (int d = 0; d < 2; ++d) {
        audioStream& s = engine_.deck(d);
        if (s.isLoaded.load()) {
            setSpeed(s, s.baseSpeed.load(), kPitchRampFrames);
        }
    }
    followLouder();
}

void PartyModeController::followLouder() {
    const float gain0 = engine_.deck(0).faderGain.load();
    const float gain1 = engine_.deck(1).faderGain.load();
    tideTempoForSide(gain0 >= gain1 ? 1 : 0);
}

void PartyModeController::SpeedTimerFirst() {
    if (IncrementValue_ == 0.0) {
        return; // released meanwhile
    }
    applyStep();
    IncrementSpeedTimer_ = loop_.every(kRepeatIntervalSeconds, [this] { SpeedTimerSecond(); });
}

void PartyModeController::SpeedTimerSecond() {
    if (IncrementValue_ == 0.0) {
        IncrementSpeedTimer_.invalidate();
        return;
    }
    applyStep();
}

void PartyModeController::tideTempoForSide(int d) {
    rootController_.tideTempoForSide(d);
}

// --- close button -----------------------------------------------------------------------

void PartyModeController::closebuttonHide() {
    closeButtonFade_.from = closeButtonFade_.to;
    closeButtonFade_.to = 0.0f;
    closeButtonFade_.seconds = kCloseHideSeconds;
    closeButtonFade_.starts += 1;
}

void PartyModeController::closebuttonShow() {
    closeButtonFade_.from = closeButtonFade_.to;
    closeButtonFade_.to = 1.0f;
    closeButtonFade_.seconds = kCloseShowSeconds;
    closeButtonFade_.starts += 1;
}

} // namespace vx
