// DeckTempo: pitch, tempo, sync and tap tempo.
//
// Speeds are ratios (1.0 = the track's own speed). The deck record keeps two: `baseSpeed`, the
// pitch fader's default speed that bends and glides return to, and `speed`, what plays now.
// Every handler that moves the fader goes through setDefaultSpeed (frozen while the deck's
// pitch lock is set, clamped to ±15 %) and then asks the engine for a ramp to the default
// speed, so a locked deck is simply driven back to its frozen value.
//
// Tempi are the track's BPM in its info object; ≤ 0 means unknown, which quietly disables
// sync, follow, nudge and grid shift. Tempo edits also tell a running analysis of the same
// file to keep the user's value.
//
// The auto-repeat of the pitch buttons, the reset hold, the pitch panel's long press and the
// tap time-out are timers on the main run loop; tap times come from the loop's clock, so a
// manual clock drives all of it in tests.

#include "deck/DeckTempo.h"

#include "deck/SampleTestController.h"

#include "analysis/peakFileData.h"
#include "engine/AudioOut.h"
#include "engine/DeckBeats.h"
#include "engine/DeckEffects.h"
#include "engine/DeckSpeed.h"
#include "engine/Stretcher.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace vx {

namespace {

// Pitch fader range around the track's own speed.
constexpr double kMinDefaultSpeed = 0.85;
constexpr double kMaxDefaultSpeed = 1.15;
// Outer limits of a pitch button step, before the fader range applies.
constexpr double kMinStepSpeed = 0.5;
constexpr double kMaxStepSpeed = 2.0;
// Ramp lengths, frames.
constexpr int kButtonRampFrames = 64;
constexpr int kSyncRampFrames = 256;
constexpr int kBendRampFrames = 22050;
constexpr int kResetGlideFrames = 88200;
// Bend offset from the default speed.
constexpr double kBendOffset = 0.3;
// Pitch button auto-repeat: first repeat after, then every, seconds.
constexpr double kRepeatDelaySeconds = 0.2;
constexpr double kRepeatIntervalSeconds = 0.1;
// Reset button hold and pitch panel long press, seconds.
constexpr double kResetHoldSeconds = 1.0;
constexpr double kPitchPanelLongTapSeconds = 1.5;
// Tap tempo: the arming tap's window, the sequence time-out, seconds; the counted taps.
constexpr double kTapArmSeconds = 0.8;
constexpr double kTapTimeoutSeconds = 2.0;
constexpr int kTapIdle = 8;
constexpr int kTapFirst = 7;
// Tapped and nudged tempo range, BPM; the manual entry's range, BPM (upper bound excluded).
constexpr double kMinTapBpm = 40.0;
constexpr double kMaxTapBpm = 240.0;
constexpr double kMinEnteredBpm = 60.0;
constexpr double kMaxEnteredBpm = 220.0;
constexpr double kTempoNudgeBpm = 0.1;
// Waveform frame interval during a tap sequence and otherwise, seconds.
constexpr double kTapWaveformInterval = 1.0 / 15.0;
constexpr double kWaveformInterval = 0.02;
// One grid shift, frames: the resolution of the beat marks.
constexpr double kGridShiftFrames = 256.0;
// The built-in tracks' group: their tempo and grid are never edited.
constexpr int32_t kBuiltInGroup = 1;
// The BPM pad's centre for deck 0 / deck 1, points.
constexpr float kPadTabletX[2] = {545.0f, 225.0f};
constexpr float kPadTabletY = 512.0f;
constexpr float kPadPhoneX[2] = {235.0f, 85.0f};
constexpr float kPadPhoneY = 240.0f;

// The deck's track info (null when nothing is loaded), read under the deck's decode lock.
std::shared_ptr<VXAudioFileInfo> trackInfo(audioStream& s) {
    if (!s.isLoaded.load()) {
        return nullptr;
    }
    return s.info();
}

double tempoOf(const std::shared_ptr<VXAudioFileInfo>& info) {
    return info ? info->tempo : 0.0;
}

// The file the deck plays: the info's full path, else the path the decoder opened.
std::filesystem::path trackFile(audioStream& s, const VXAudioFileInfo& info) {
    if (!info.fileName.empty()) {
        return info.fileName;
    }
    return s.trackFile();
}

// Flips between pitch mode and time mode so that the audible position does not jump: the
// stretcher's latency moves into or out of the read position, and the stretcher starts empty.
void flipPitchMode(audioStream& s, EngineLock& engineLock) {
    std::lock_guard lock(engineLock);
    const bool pitchMode = !s.pitchMode.load();
    s.pitchMode.store(pitchMode);
    const double speed = s.speed.load();
    if (std::fabs(speed) > 0.75) {
        correctStretcherPitch(s, speed);
    }
    if (pitchMode) {
        // The stretcher leaves the path: the read position becomes the audible one.
        s.position.store(s.position.load() + pendingStretchLatency(s));
    }
    // Switching to key lock needs no move: the emptied stretcher is filled at once and is heard
    // from the read position.
    if (s.stretcher) {
        s.stretcher->requestClear();
    }
}

// Stores `bpm` as the track's tempo: in the database when there is one, else in memory only.
// Built-in tracks keep theirs.
void storeTempo(VXAudioFileInfo& info, double bpm, DBController* db) {
    if (db) {
        info.updateBPM(bpm, *db);
    } else if (bpm != info.tempo && info.fileGroup == kUserLocation) {
        info.setTempo(bpm);
    }
}

std::string tapLabel(int count, double bpm) {
    char text[48];
    std::snprintf(text, sizeof text, "[%i] %3.1f bpm", count, bpm);
    return text;
}

} // namespace

DeckTempo::DeckTempo(SampleTestController& owner, DeckContext& context)
    : DeckPart(owner, context) {}

DeckTempo::~DeckTempo() {
    for (int d = 0; d < 2; ++d) {
        incrementSpeedTimer_[size_t(d)].invalidate();
        resetTimer_[size_t(d)].invalidate();
        pitchMenuLongTapTimer_[size_t(d)].invalidate();
        timeOutTimer_[size_t(d)].invalidate();
    }
}

void DeckTempo::readSettings() {
    tempoLock_ = defaults_.boolForKey("kTempoLock", true);
    pitchStep_ = defaults_.doubleForKey("kPitchStep", 0.001);
    if (!(pitchStep_ > 0.0)) {
        pitchStep_ = 0.001;
    }
    ffSpeed_ = defaults_.doubleForKey("kFFSpeed", 160.0);
    if (ffSpeed_ == 0.0) {
        ffSpeed_ = 160.0;
    }
}

void DeckTempo::checkAndStopAnalize(int d, double bpm) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (engine_.getNumAnalizes() <= 0) {
        return;
    }
    const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr;
    if (!info) {
        return;
    }
    const std::filesystem::path file = trackFile(deck(d), *info);
    const auto names = engine_.getCurrentAnalizes();
    if (file.empty() || !names) {
        return;
    }
    const std::string name = file.filename().string();
    if (std::find(names->begin(), names->end(), name) != names->end()) {
        engine_.setTempoOverrideForAnalyze(file, bpm);
    }
}

void DeckTempo::regrid(int d, double anchor) {
    // Never under the engine lock: the rewrite takes the decode lock and writes the peak file.
    rewriteBeatGrid(deck(d), anchor);
}

// --- default speed and the pitch buttons ----------------------------------------------------

void DeckTempo::setDefaultSpeed(int d, double value) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (!engine_.initialized()) {
        return;
    }
    audioStream& s = deck(d);
    if (s.pitchLock.load()) {
        return;
    }
    s.baseSpeed.store(std::clamp(value, kMinDefaultSpeed, kMaxDefaultSpeed));
    notifications_.post("DefaultSpeedChanged", d);
}

void DeckTempo::plusButton(int d) {
    stepPitch(d & 1, pitchStep_);
}

void DeckTempo::minusButton(int d) {
    stepPitch(d & 1, -pitchStep_);
}

void DeckTempo::stepPitch(int d, double step) {
    if (!loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    const size_t i = size_t(d);
    if (incrementValue_[i] * step < 0.0) {
        // Both buttons of the deck held: back to the speed before the first press, and the
        // pitch lock toggles. The deck's current speed is left alone.
        setDefaultSpeed(d, defaultSpeedBeforeLock_[i]);
        s.pitchLock.store(!s.pitchLock.load());
        incrementValue_[i] = 0.0;
        views_[i].speedReadout.red = s.pitchLock.load();
        return;
    }
    defaultSpeedBeforeLock_[i] = s.baseSpeed.load();
    incrementValue_[i] = step;
    incrementSpeedTimer_[i].invalidate();
    const double v = s.baseSpeed.load() + step;
    if ((step > 0.0 && v > kMaxStepSpeed) || (step < 0.0 && v < kMinStepSpeed)) {
        incrementValue_[i] = 0.0;
        return;
    }
    setDefaultSpeed(d, v);
    setSpeed(s, s.baseSpeed.load(), kButtonRampFrames);
    if (tempoLock_) {
        tideTempoForSide(1 - d);
    }
    incrementSpeedTimer_[i] = loop_.after(kRepeatDelaySeconds, [this, d] { speedTimerFirst(d); });
}

void DeckTempo::speedTimerFirst(int d) {
    const size_t i = size_t(d);
    const double step = incrementValue_[i];
    if (step == 0.0 || !loaded(d)) {
        return; // released meanwhile
    }
    owner_.statusDisplay().enlargeSpeedReadout(d, true);
    audioStream& s = deck(d);
    const double v = std::clamp(s.baseSpeed.load() + step, kMinStepSpeed, kMaxStepSpeed);
    if (v == s.baseSpeed.load()) {
        return;
    }
    setDefaultSpeed(d, v);
    setSpeed(s, s.baseSpeed.load(), kButtonRampFrames);
    if (tempoLock_) {
        tideTempoForSide(1 - d);
    }
    incrementSpeedTimer_[i] =
        loop_.every(kRepeatIntervalSeconds, [this, d] { speedTimerSecond(d); });
}

void DeckTempo::speedTimerSecond(int d) {
    const size_t i = size_t(d);
    const double step = incrementValue_[i];
    if (step == 0.0 || !loaded(d)) {
        incrementSpeedTimer_[i].invalidate();
        return;
    }
    audioStream& s = deck(d);
    const double v = std::clamp(s.baseSpeed.load() + step, kMinStepSpeed, kMaxStepSpeed);
    if (v == s.baseSpeed.load()) {
        incrementSpeedTimer_[i].invalidate();
        return;
    }
    // At the fader's end the setter keeps the speed where it is; the repeat goes on until the
    // button is released.
    setDefaultSpeed(d, v);
    setSpeed(s, s.baseSpeed.load(), kButtonRampFrames);
    if (tempoLock_) {
        tideTempoForSide(1 - d);
    }
}

void DeckTempo::plusButtonUp(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const size_t i = size_t(d);
    owner_.statusDisplay().enlargeSpeedReadout(d, false);
    incrementValue_[i] = 0.0;
    incrementSpeedTimer_[i].invalidate();
}

void DeckTempo::minusButtonUp(int d) {
    plusButtonUp(d);
}

// --- reset and pitch mode -------------------------------------------------------------------

void DeckTempo::resetButton(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const size_t i = size_t(d);
    isResetButtonUp_[i] = false;
    isResetedByTimer_[i] = false;
    resetTimer_[i].invalidate();
    resetTimer_[i] = loop_.after(kResetHoldSeconds, [this, d] { resetByTimer(d); });
}

void DeckTempo::resetButtonUp(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const size_t i = size_t(d);
    isResetButtonUp_[i] = true;
    resetTimer_[i].invalidate();
    if (isResetedByTimer_[i] || !engine_.initialized()) {
        return;
    }
    // A short tap: pitch mode and time mode swap.
    flipPitchMode(deck(d), engine_.engineLock());
    views_[i].reset.selected = deck(d).pitchMode.load();
}

void DeckTempo::resetByTimer(int d) {
    const size_t i = size_t(d);
    if (isResetButtonUp_[i]) {
        return;
    }
    isResetedByTimer_[i] = true;
    incrementValue_[i] = 0.0;
    incrementSpeedTimer_[i].invalidate();
    if (!loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    if (s.baseSpeed.load() == 1.0 && s.speed.load() == 1.0) {
        return;
    }
    setDefaultSpeed(d, 1.0);
    if (!s.isPlaying.load()) {
        return;
    }
    // A slow linear glide of the current speed back to the track's own speed, continuing
    // from where a running glide has got to. The ramp's fields change together under the
    // engine lock, `On` last.
    std::lock_guard lock(engine_.engineLock());
    auto& ramp = s.speedRamp;
    const double from = ramp.isOn() ? ramp.from.load() : s.speed.load();
    ramp.TimeFilter.store(kResetGlideFrames);
    ramp.from.store(from);
    ramp.to.store(1.0);
    ramp.delta.store((1.0 - from) / kResetGlideFrames);
    ramp.count.store(kResetGlideFrames);
    ramp.On.store(true, std::memory_order_release);
}

void DeckTempo::resetButtonDbl(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const size_t i = size_t(d);
    incrementValue_[i] = 0.0;
    incrementSpeedTimer_[i].invalidate();
    if (!loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    {
        std::lock_guard lock(engine_.engineLock());
        s.speedRamp.On.store(false, std::memory_order_release);
        s.speedRamp.from.store(0.0);
        s.speedRamp.to.store(0.0);
        s.speedRamp.delta.store(0.0);
    }
    setDefaultSpeed(d, 1.0);
    setSpeed(s, s.baseSpeed.load(), kButtonRampFrames);
}

void DeckTempo::togglePitchMode(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (!engine_.initialized()) {
        return;
    }
    flipPitchMode(deck(d), engine_.engineLock());
    updatePitchMode();
}

void DeckTempo::updatePitchMode() {
    for (int d = 0; d < 2; ++d) {
        DeckViewState& v = views_[size_t(d)];
        const bool pitchMode = engine_.initialized() && deck(d).pitchMode.load();
        v.pitchModeImage = pitchMode;
        v.overModeHighlighted = pitchMode;
        v.modeImagesHighlighted = v.pitchPanel.selected;
        v.reset.selected = pitchMode;
    }
}

// --- pitch panel ----------------------------------------------------------------------------

void DeckTempo::pitchPanelDown(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const size_t i = size_t(d);
    pitchMenuLongTap_[i] = false;
    pitchMenuLongTapTimer_[i].invalidate();
    pitchMenuLongTapTimer_[i] =
        loop_.after(kPitchPanelLongTapSeconds, [this, d] { pitchLongTap(d); });
}

void DeckTempo::pitchLongTap(int d) {
    pitchMenuLongTap_[size_t(d)] = true;
    if (loaded(d)) {
        setDefaultSpeed(d, 1.0);
        setSpeed(deck(d), deck(d).baseSpeed.load(), kButtonRampFrames);
    }
    setTempoLock(false);
}

void DeckTempo::pitchPanelSwitch(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const size_t i = size_t(d);
    if (pitchMenuLongTap_[i]) {
        pitchMenuLongTap_[i] = false; // the release that ends a long press
        return;
    }
    pitchMenuLongTapTimer_[i].invalidate();
    DeckViewState& v = views_[i];
    v.pitchPanel.selected = !v.pitchPanel.selected;
    if (v.loopPanel.selected && !v.loopLabel.hidden) {
        owner_.loopStop(d);
    }
    v.loopPanel.selected = false;
    v.cuePanel.selected = false;
    closeBpmPad();
    for (DeckViewState& each : views_) {
        each.sync.selected = tempoLock_;
    }
    owner_.checkPlayStop();
    updatePitchMode();
    owner_.updatePlayButtons();
    pressed_[i] = false;
    touchCount_[i] = kTapIdle;
}

// --- bend, wind, slider, brake ----------------------------------------------------------------

void DeckTempo::bendUp(int d) {
    bend(d, 1.0);
}

void DeckTempo::bendDown(int d) {
    bend(d, -1.0);
}

// direction +1 bends up, -1 down: a playing deck ramps by the bend offset; a stopped one winds
// at the wind speed, back for a bend up and forward for a bend down.
void DeckTempo::bend(int d, double direction) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    if (s.isPlaying.load()) {
        setSpeed(s, s.baseSpeed.load() + direction * kBendOffset, kBendRampFrames);
    } else {
        s.inertiaSpeed.store(-direction * ffSpeed_);
        s.inertiaDecay.store(false);
    }
}

void DeckTempo::bendUpEnd(int d) {
    if (!isDeckIndex(d) || !loaded(d)) {
        return;
    }
    audioStream& s = deck(d);
    if (s.isPlaying.load()) {
        setSpeed(s, s.baseSpeed.load(), kButtonRampFrames);
    } else {
        s.inertiaSpeed.store(0.0);
        s.replanNeeded.store(true);
    }
    s.inertiaDecay.store(true);
}

void DeckTempo::bendDownEnd(int d) {
    bendUpEnd(d);
}

void DeckTempo::bendButtonAction(int d) {
    ButtonState& panel = views_[size_t(d & 1)].bendPanel;
    panel.selected = !panel.selected;
}

void DeckTempo::speed(int d, double value) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (loaded(d)) {
        setSpeed(deck(d), value, kButtonRampFrames);
    }
}

void DeckTempo::breakActionUp(int glideFrames) {
    if (!engine_.initialized()) {
        return;
    }
    std::lock_guard lock(engine_.engineLock());
    for (int d = 0; d < 2; ++d) {
        if (playing(d)) {
            setSpeed(deck(d), 0.0, glideFrames);
        }
    }
}

// --- sync and tempo follow ----------------------------------------------------------------

void DeckTempo::setTempoLock(bool on) {
    tempoLock_ = on;
    for (DeckViewState& v : views_) {
        v.sync.selected = on;
        v.tempoLockMark = on;
    }
    defaults_.setBool("kTempoLock", on);
    defaults_.synchronize();
}

void DeckTempo::syncAction(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (tempoLock_) {
        setTempoLock(false);
        return;
    }
    tempoLock_ = true;
    const int m = 1 - d;
    const double masterTempo = loaded(m) ? tempoOf(trackInfo(deck(m))) : 0.0;
    const double tempo = loaded(d) ? tempoOf(trackInfo(deck(d))) : 0.0;
    if (masterTempo <= 0.0 || tempo <= 0.0) {
        // The lock is applied once the analysis delivers the missing tempo.
        return;
    }
    setDefaultSpeed(d, masterTempo * deck(m).baseSpeed.load() / tempo);
    setSpeed(deck(d), deck(d).baseSpeed.load(), kSyncRampFrames);
    setTempoLock(true);
}

void DeckTempo::tideTempoForSide(int f) {
    f &= 1;
    const int o = 1 - f;
    if (!loaded(f) || !loaded(o)) {
        return;
    }
    const double leaderTempo = tempoOf(trackInfo(deck(o)));
    const double tempo = tempoOf(trackInfo(deck(f)));
    if (leaderTempo <= 0.0 || tempo <= 0.0) {
        return;
    }
    setDefaultSpeed(f, leaderTempo * deck(o).baseSpeed.load() / tempo);
    setSpeed(deck(f), deck(f).baseSpeed.load(), kSyncRampFrames);
}

void DeckTempo::analysisEnded(const std::string& path) {
    // With the tempo lock (or in party mode) a deck whose track got its tempo follows the other.
    if (!tempoLock_ && !(host_ && host_->partyMode())) {
        return;
    }
    for (int d = 0; d < 2; ++d) {
        if (!loaded(d)) {
            continue;
        }
        std::shared_ptr<VXAudioFileInfo> info;
        info = deck(d).info();
        if (info && info->fileName == std::filesystem::path(path)) {
            tideTempoForSide(d);
        }
    }
}

void DeckTempo::autoLockTempo() {
    if (!tempoLock_ || !engine_.initialized()) {
        return;
    }
    // The deck more on air leads.
    tideTempoForSide(deck(0).faderGain.load() >= deck(1).faderGain.load() ? 1 : 0);
}

// --- tap tempo ------------------------------------------------------------------------------

bool DeckTempo::refuseTempoEdit(const VXAudioFileInfo* info) {
    if (!info || info->fileGroup != kBuiltInGroup) {
        return false;
    }
    if (host_) {
        host_->showMessage("This is a built-in demo track: its tempo and beat grid cannot be "
                           "changed. Tap or enter the tempo of your own tracks.");
    }
    return true;
}

void DeckTempo::downTapBPM(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr;
    if (!info || refuseTempoEdit(info.get())) {
        return;
    }
    const size_t i = size_t(d);
    const double t = loop_.clock().now();
    // Arming: a first tap only notes its time; a second one soon after arms the sequence.
    if (!tapTempoLock_[i] && tapTempoTime_[i] == 0.0) {
        tapTempoTime_[i] = t;
        return;
    }
    if (tapTempoTime_[i] != 0.0 && t - tapTempoTime_[i] < kTapArmSeconds) {
        tapTempoLock_[i] = true;
        tapTempoTime_[i] = 0.0;
    }

    pressed_[i] = true;
    timeOutTimer_[i].invalidate();
    waveformInterval_ = kTapWaveformInterval;
    timeOutTimer_[i] = loop_.after(kTapTimeoutSeconds, [this, d] { timeoutAction(d); });
    if (touchCount_[i] == kTapIdle) {
        savedBPM_[i] = info->tempo;
    }
    const int k = --touchCount_[i];
    auto& taps = touchIntervals_[i];
    DeckViewState& v = views_[i];

    if (k > 0) {
        taps[size_t(k)] = t;
        double estimate = savedBPM_[i];
        if (k < kTapFirst) {
            const float interval = float((t - taps[kTapFirst]) / double(kTapFirst - k));
            estimate = double(60.0f / interval);
            // The tempo is only stored at the end; meanwhile a running analysis keeps it.
            storeTempo(*info, info->tempo, db_);
            checkAndStopAnalize(d, info->tempo);
            setTempoLock(false);
        }
        v.tapLabel.text = tapLabel(k, estimate * deck(d).baseSpeed.load());
        v.tapLabel.hidden = false;
        return;
    }

    timeOutTimer_[i].invalidate();
    touchCount_[i] = kTapIdle;
    const double bpm = std::round(
        std::clamp(60.0 / ((t - taps[kTapFirst]) / double(kTapFirst)), kMinTapBpm, kMaxTapBpm));
    storeTempo(*info, bpm, db_);
    checkAndStopAnalize(d, bpm);
    v.tapLabel.hidden = true;
    tapTempoLock_[i] = false;
    tapTempoTime_[i] = 0.0;
    waveformInterval_ = kWaveformInterval;
    autoLockTempo();
}

void DeckTempo::upTapBPM(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const size_t i = size_t(d);
    if (tapTempoLock_[i]) {
        return;
    }
    const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr;
    if (!info || info->fileGroup == kBuiltInGroup) {
        return; // the press already said why
    }
    // A single tap: the tapped instant becomes a beat.
    audioStream& s = deck(d);
    s.inertiaSpeed.store(0.0);
    pressed_[i] = false;
    regrid(d, audiblePosition(s));
    checkAndStopAnalize(d, info->tempo);
}

void DeckTempo::timeoutAction(int d) {
    const size_t i = size_t(d);
    if (const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr) {
        storeTempo(*info, savedBPM_[i], db_);
        checkAndStopAnalize(d, savedBPM_[i]);
    }
    if (touchCount_[i] == kTapFirst) {
        pressed_[i] = false;
    }
    touchCount_[i] = kTapIdle;
    views_[i].tapLabel.hidden = true;
    tapTempoLock_[i] = false;
    tapTempoTime_[i] = 0.0;
    waveformInterval_ = kWaveformInterval;
}

// --- BPM entry pad --------------------------------------------------------------------------

void DeckTempo::closeBpmPad() {
    lastBpmSide_ = -1;
    bpmDigitNo_ = 0;
    for (DeckViewState& v : views_) {
        v.bpmButton.selected = false;
    }
}

void DeckTempo::bpmEnterOnOff(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr;
    const double tempo = tempoOf(info);
    if (lastBpmSide_ == d) {
        if (tempo != actialBPM_ + actialBPMfrac_) {
            finalizeBpmEnter();
        }
        closeBpmPad();
    } else {
        if (lastBpmSide_ >= 0) {
            closeBpmPad();
        }
        actialBPM_ = std::floor(tempo);
        actialBPMfrac_ = tempo - std::floor(tempo);
        const bool tablet = host_ && host_->isTablet();
        bpmPadX_ = tablet ? kPadTabletX[d] : kPadPhoneX[d];
        bpmPadY_ = tablet ? kPadTabletY : kPadPhoneY;
        bpmDigits_ = {0, 0, 0};
        bpmDigitNo_ = 0;
        lastBpmSide_ = d;
        views_[size_t(d)].bpmButton.selected = true;
    }

    // The pad takes the deck's panel area: every other panel closes and the loop ends.
    DeckViewState& v = views_[size_t(d)];
    v.cuePanel.selected = false;
    v.loopPanel.selected = false;
    v.volumePanel.selected = false;
    v.pitchPanel.selected = false;
    v.eqPanel.selected = false;
    v.fxPanel.selected = false;
    if (engine_.initialized()) {
        audioStream& s = deck(d);
        std::lock_guard lock(engine_.engineLock());
        s.loopActive.store(false);
        deckSetFxEnabled(s, kFxDelay, false);
        deckSetFxEnabled(s, kFxGate, false);
        deckSetFxEnabled(s, kFxRepeater, false);
    }
    owner_.checkPlayStop();
    owner_.updateLoopLabels();
}

void DeckTempo::bpmDigitPress(int digit) {
    const int d = lastBpmSide_;
    if (d < 0 || digit < 0 || digit > 9) {
        return;
    }
    bpmDigits_[size_t(bpmDigitNo_)] = digit;
    bpmDigitNo_ += 1;
    actialBPM_ = 100.0 * bpmDigits_[0] + 10.0 * bpmDigits_[1] + bpmDigits_[2];
    if (bpmDigitNo_ < 3) {
        return;
    }
    bpmDigitNo_ = 0;
    if (bpmDigits_ != std::array<int, 3>{0, 0, 0}) {
        return;
    }
    // 000: forget the tempo and analyse the track again.
    const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr;
    if (!info || refuseTempoEdit(info.get())) {
        return;
    }
    storeTempo(*info, 0.0, db_);
    audioStream& s = deck(d);
    s.needsAnalysis.store(true);
    if (s.peakData()) {
        s.peakData()->bpm.store(0.0);
    }
    const std::filesystem::path file = trackFile(s, *info);
    if (!file.empty()) {
        engine_.startAnalysis(file);
    }
    closeBpmPad();
}

void DeckTempo::bpmPlusPress() {
    actialBPMfrac_ += kTempoNudgeBpm;
}

void DeckTempo::bpmMinusPress() {
    actialBPMfrac_ -= kTempoNudgeBpm;
}

void DeckTempo::finalizeBpmEnter() {
    const double bpm = actialBPM_ + actialBPMfrac_;
    const int d = lastBpmSide_;
    const auto info = d >= 0 && loaded(d) ? trackInfo(deck(d)) : nullptr;
    if (info && bpm >= kMinEnteredBpm && bpm < kMaxEnteredBpm &&
        !(bpm != info->tempo && refuseTempoEdit(info.get()))) {
        storeTempo(*info, bpm, db_);
        checkAndStopAnalize(d, bpm);
        regrid(d, 0.0);
        setDefaultSpeed(d, deck(d).baseSpeed.load()); // the displays follow the new tempo
    }
    closeBpmPad();
}

// --- tempo nudge and grid shift -------------------------------------------------------------

void DeckTempo::nudgeTempo(int d, double delta) {
    if (!isDeckIndex(d)) {
        return;
    }
    const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr;
    if (!info || info->tempo <= 0.0 || refuseTempoEdit(info.get())) {
        return;
    }
    const double bpm = std::clamp(info->tempo + delta, kMinTapBpm, kMaxTapBpm);
    if (bpm == info->tempo) {
        return;
    }
    audioStream& s = deck(d);
    storeTempo(*info, bpm, db_);
    checkAndStopAnalize(d, bpm);
    // The beat the listener hears next stays where it is; the others follow the new tempo.
    regrid(d, nextBeatFromFrame(s, audiblePosition(s), kBeatAny));
}

void DeckTempo::tempoPlus(int d) {
    nudgeTempo(d, kTempoNudgeBpm);
}

void DeckTempo::tempoMinus(int d) {
    nudgeTempo(d, -kTempoNudgeBpm);
}

void DeckTempo::shiftGrid(int d, double offset) {
    if (!isDeckIndex(d)) {
        return;
    }
    const auto info = loaded(d) ? trackInfo(deck(d)) : nullptr;
    if (!info || info->tempo <= 0.0 || refuseTempoEdit(info.get())) {
        return;
    }
    // Anchored at the second beat mark, so that a shift earlier still has room before it.
    const double first = nextBeatFromFrame(deck(d), 0.0, kBeatAny);
    const double second = nextBeatFromFrame(deck(d), first, kBeatAny);
    regrid(d, second + offset);
}

void DeckTempo::shiftGridUp(int d) {
    shiftGrid(d, -kGridShiftFrames);
}

void DeckTempo::shiftGridDown(int d) {
    shiftGrid(d, kGridShiftFrames);
}

} // namespace vx
