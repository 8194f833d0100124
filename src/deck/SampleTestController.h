#pragma once
// SampleTestController: the two-deck mixing screen's logic — transport and cue points, loops,
// pitch, tempo, sync and tap tempo, the mixer, the status read-outs, auto-mix and party mode —
// as plain state plus handler methods. It draws nothing: the shell reads the view state below
// and forwards presses, releases and timer-free events to the handlers; the controller's own
// timers (pitch auto-repeat, reset hold, long presses, tap time-out, the read-outs' refresh,
// automatic crossfades) run on the main run loop, so tests drive it with a manual clock.
//
// Decks: every handler takes the deck number (0 or 1). The screen's controls come in pairs; the
// view state keeps them per deck, so the control the screen calls "…Right" is deck 0's and
// "…Left" is deck 1's (`EjectRight` loads deck 0, `loopLabelLeft` shows deck 1's loop).
//
// How it is built: this class is the screen's one face, and holds no handler logic itself.
// Each concern is a part with its own state — DeckTransport (start-up restore, transport, cues,
// loops, remote control), DeckTempo (pitch, tempo, sync, tap tempo, BPM pad), DeckMixer
// (crossfader, volume, EQ, LP/HP, effects), DeckStatusDisplay (read-outs, overview strips, top
// bar) and PartyAutoMix (auto-mix, party mode) — and the methods below hand each call to its
// part. What the parts share (services, view state, screen-wide flags) is one DeckContext; a
// part reaches another through this façade. The settings the parts keep a copy of are read
// once here and again on every "settingChanged".
//
// What it touches: the engine's deck records and deck operations (play, stop, cue jumps, beat
// lookups, speed ramps, grid rewrites), under the engine lock where a change must not be seen
// half-made by the render thread; the track database for cue points and play counts; the
// user-defaults store for the tempo lock and the tuning values; the analysis queue for tempo
// overrides. It does not own the decks.
//
// Threads: main thread only, except the two render-thread entries of auto-mix and party mode.

#include "deck/AMSlider.h"
#include "deck/DeckMixer.h"
#include "deck/DeckPart.h"
#include "deck/DeckStatusDisplay.h"
#include "deck/DeckTempo.h"
#include "deck/DeckTransport.h"
#include "deck/DeckViewState.h"
#include "deck/FXController.h"
#include "deck/PartyAutoMix.h"
#include "platform/NotificationCenter.h"
#include "platform/RenderMailbox.h"
#include "platform/RunLoop.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vx {

class AudioOut;
class DBController;
class UserDefaults;
class VXAudioFileInfo;
class PartyModeController;
struct audioStream;

class SampleTestController {
public:
    // Main thread: binds the screen to the engine's decks and the services; reads the tempo
    // lock, pitch step, wind speed and cue snapping from `defaults`, and observes "fileOpened",
    // "Analyze Complete" and "DefaultSpeedChanged".
    SampleTestController(AudioOut& engine, DBController* db, UserDefaults& defaults,
                         NotificationCenter& notifications, RunLoop& loop, MixingScreenHost* host);
    ~SampleTestController();
    SampleTestController(const SampleTestController&) = delete;
    SampleTestController& operator=(const SampleTestController&) = delete;

    // --- view state ------------------------------------------------------------------------
    const DeckViewState& view(int deck) const { return context_.views[size_t(deck & 1)]; }
    // Whole-screen touches (the phone disables them while the browser is up).
    bool touchesEnabled() const { return context_.touchesEnabled; }
    void setTouchesEnabled(bool on) { context_.touchesEnabled = on; }
    bool menuOn() const { return context_.menuOn; }
    void setMenuOn(bool on) { context_.menuOn = on; }
    // BPM entry pad: open for `lastBpmSide` (−1 none), its centre in points.
    int lastBpmSide() const { return tempo_.lastBpmSide(); }
    float bpmPadX() const { return tempo_.bpmPadX(); }
    float bpmPadY() const { return tempo_.bpmPadY(); }
    double enteredBpm() const { return tempo_.enteredBpm(); }
    // The waveform animation's frame interval (1/15 s during a tap sequence, else 0.02 s).
    double waveformInterval() const { return tempo_.waveformInterval(); }
    bool tempoLock() const { return tempo_.tempoLock(); }

    // --- deck restore at start-up -----------------------------------------------------------
    // Main thread: loads the saved tracks ("kStreamFile0/1", "kStreamCrate0/1", else the
    // built-in defaults `fallback0` / `fallback1`): deck 0 first, deck 1 once deck 0 has
    // finished loading (polled every 0.1 s on the run loop).
    void restoreDecks(const std::string& fallback0, const std::string& fallback1) {
        transport_.restoreDecks(fallback0, fallback1);
    }
    // True once both start-up loads have been started.
    bool startupLoadsStarted() const { return transport_.startupLoadsStarted(); }

    // --- transport and cues -----------------------------------------------------------------
    // Main thread, each for deck 0 or 1; harmless on an unloaded deck. Positions are frames.
    void playStop(int deck) { transport_.playStop(deck); }
    void play(int deck) { transport_.play(deck); }
    void stop(int deck) { transport_.stop(deck); }
    void stop0() { stop(0); }
    void stop1() { stop(1); }
    void pause(int deck) { transport_.pause(deck); }
    void ffButton(int deck) { transport_.ffButton(deck); }
    void rewButton(int deck) { transport_.rewButton(deck); }
    // Eject: flash, (phone) disable touches, ask the host for the browser after 0.01 s.
    void eject(int deck) { transport_.eject(deck); }
    void blinkOff(int deck) { transport_.blinkOff(deck); }
    void cueButton(int deck) { transport_.cueButton(deck); }
    void cueDeleteButton(int deck) { transport_.cueDeleteButton(deck); }
    void cueHoldButton(int deck) { transport_.cueHoldButton(deck); }
    void cueHoldButtonUp(int deck) { transport_.cueHoldButtonUp(deck); }
    void cueHoldButtonUpOutside(int) {}
    void cuePrevButton(int deck) { transport_.cueStep(deck, false); }
    void cueNextButton(int deck) { transport_.cueStep(deck, true); }
    void cueLoopPanelSwitch(int deck) { transport_.cueLoopPanelSwitch(deck); }
    void checkPlayStop() { transport_.checkPlayStop(); }
    void updatePlayButtons() { transport_.updatePlayButtons(); }
    void updateLoopButtons() { transport_.updateLoopButtons(); }
    void updateNames() { transport_.updateNames(); }
    void updateSliders() { transport_.updateSliders(); }
    // Remote control: subtype 103 play/pause, 104 next, 105 previous.
    void remoteControlReceived(int subtype) { transport_.remoteControlReceived(subtype); }
    void togglePlayPause() { transport_.togglePlayPause(); }
    void playNextTrack() { transport_.playNextTrack(); }
    void playPreviousTrack() { transport_.playPreviousTrack(); }
    // Panels the other controls open (volume, EQ, effects) — shown state only.
    void setPanelShown(int deck, ButtonState DeckViewState::*panel, bool shown) {
        transport_.setPanelShown(deck, panel, shown);
    }

    // --- loops --------------------------------------------------------------------------
    // Main thread, deck 0 or 1; every handler but the panel switch and the label refresh acts
    // only while the deck plays. Loop points are frames snapped to beat marks.
    void loopInOut(int deck) { transport_.loopInOut(deck); }
    void loopStop(int deck) { transport_.loopStop(deck); }
    void loopDivide(int deck) { transport_.loopDivide(deck); }
    void loopExpand(int deck) { transport_.loopExpand(deck); }
    void updateLoopLabels() { transport_.updateLoopLabels(); }
    void loopPanelSwitch(int deck) { transport_.loopPanelSwitch(deck); }

    // --- pitch, tempo, sync, tap ----------------------------------------------------------
    // Main thread, deck 0 or 1. Speeds are ratios (1.0 = the track's own), tempos BPM, glides
    // frames; presses (`…Button`, `bend…`, `downTapBPM`) and releases (`…Up`, `…End`) are
    // separate calls, and the auto-repeat, hold and time-out timers run on the main run loop.
    // The shared default-speed setter: frozen while the deck's pitch is locked; else clamps to
    // 0.85…1.15, stores `baseSpeed` and posts "DefaultSpeedChanged" with the deck.
    void setDefaultSpeed(int deck, double value) { tempo_.setDefaultSpeed(deck, value); }
    void plusButton(int deck) { tempo_.plusButton(deck); }
    void minusButton(int deck) { tempo_.minusButton(deck); }
    void plusButtonUp(int deck) { tempo_.plusButtonUp(deck); }
    void minusButtonUp(int deck) { tempo_.minusButtonUp(deck); }
    void resetButton(int deck) { tempo_.resetButton(deck); }
    void resetButtonUp(int deck) { tempo_.resetButtonUp(deck); }
    void resetButtonDbl(int deck) { tempo_.resetButtonDbl(deck); }
    void togglePitchMode(int deck) { tempo_.togglePitchMode(deck); }
    void updatePitchMode() { tempo_.updatePitchMode(); }
    void pitchPanelDown(int deck) { tempo_.pitchPanelDown(deck); }
    void pitchPanelSwitch(int deck) { tempo_.pitchPanelSwitch(deck); }
    void bendUp(int deck) { tempo_.bendUp(deck); }
    void bendDown(int deck) { tempo_.bendDown(deck); }
    void bendUpEnd(int deck) { tempo_.bendUpEnd(deck); }
    void bendDownEnd(int deck) { tempo_.bendDownEnd(deck); }
    void bendButtonAction(int deck) { tempo_.bendButtonAction(deck); }
    void speed(int deck, double value) { tempo_.speed(deck, value); }
    void breakActionUp(int glideFrames) { tempo_.breakActionUp(glideFrames); }
    void syncAction(int deck) { tempo_.syncAction(deck); }
    void tideTempoForSide(int deck) { tempo_.tideTempoForSide(deck); }
    void autoLockTempo() { tempo_.autoLockTempo(); }
    void downTapBPM(int deck) { tempo_.downTapBPM(deck); }
    void upTapBPM(int deck) { tempo_.upTapBPM(deck); }
    void bpmEnterOnOff(int deck) { tempo_.bpmEnterOnOff(deck); }
    void bpmDigitPress(int digit) { tempo_.bpmDigitPress(digit); }
    void bpmPlusPress() { tempo_.bpmPlusPress(); }
    void bpmMinusPress() { tempo_.bpmMinusPress(); }
    void finalizeBpmEnter() { tempo_.finalizeBpmEnter(); }
    void tempoPlus(int deck) { tempo_.tempoPlus(deck); }
    void tempoMinus(int deck) { tempo_.tempoMinus(deck); }
    void shiftGridUp(int deck) { tempo_.shiftGridUp(deck); }
    void shiftGridDown(int deck) { tempo_.shiftGridDown(deck); }
    void checkAndStopAnalize(int deck, double bpm) { tempo_.checkAndStopAnalize(deck, bpm); }
    // Tuning values the settings screen changes.
    void setPitchStep(double step) { tempo_.setPitchStep(step); }
    double pitchStep() const { return tempo_.pitchStep(); }
    void setSnapCueToBeat(bool on) { transport_.setSnapCueToBeat(on); }

    // --- mixer: crossfader, volume, EQ, LP/HP, effects ----------------------------------------
    // Main thread, deck 0 or 1; every handler is harmless on an unloaded deck. Slider values
    // are the controls' own units (0…1 unless said otherwise), gains are linear factors, EQ
    // gains dB, times seconds. Handlers that name no value read it from the deck's control,
    // which forwards its events to them by itself; the shell only feeds it touches.
    //
    // The controls. The crossfader's value runs from 1.0 (deck 0 only) to 0.0 (deck 1 only).
    AMSlider& mainBalance() { return mixer_.mainBalance(); }
    AMSlider& volSlider(int deck) { return mixer_.volSlider(deck); }
    AMSlider& volGainSlider(int deck) { return mixer_.volGainSlider(deck); }
    AMSlider& volGlobalSlider(int deck) { return mixer_.volGlobalSlider(deck); }
    // `band` 0 low, 1 mid, 2 high.
    AMSlider& eqSlider(int deck, int band) { return mixer_.eqSlider(deck, band); }
    AMSlider& lphpSlider(int deck) { return mixer_.lphpSlider(deck); }
    FXController& fxController(int deck) { return mixer_.fxController(deck); }
    // The effect panel's read-outs: effect name (green while the pad is held), X and Y.
    const LabelState& effectLabel(int deck) const { return mixer_.effectLabel(deck); }
    bool effectLabelGreen(int deck) const { return mixer_.effectLabelGreen(deck); }
    const LabelState& xLabel(int deck) const { return mixer_.xLabel(deck); }
    const LabelState& yLabel(int deck) const { return mixer_.yLabel(deck); }
    // The effect slot chosen for the deck, 0…6.
    int currentFXNo(int deck) const { return mixer_.currentFXNo(deck); }
    // True while the deck stands alone on air with the stop-proof setting on: the waveform
    // ignores touches on it while it plays.
    bool stopProof(int deck) const { return mixer_.stopProof(deck); }
    // An automatic crossfade started by a double tap is running.
    bool autoMixOn() const { return mixer_.autoMixOn(); }
    void setAutoMixOn(bool on) { mixer_.setAutoMixOn(on); }
    // The running automatic crossfade: its ticker, target (0 or 1) and step per tick.
    bool xFadeRunning() const { return mixer_.xFadeRunning(); }
    float targetXFade() const { return mixer_.targetXFade(); }
    float stepXFade() const { return mixer_.stepXFade(); }

    // Crossfader: `crossfade` applies the control's value; `setCrossfade` applies x (0…1):
    // curve ("kFadeCurve"), centre boost ("kDipCorrection"), fader gains, the deck alone on air
    // ("kStopProofLock") and the bass/treble swap ("kAutoEqEnabled").
    void crossfade() { mixer_.crossfade(); }
    void setCrossfade(float x) { mixer_.setCrossfade(x); }
    // The screen is shown: both decks' fader gains to 1.0 until the crossfader moves again.
    void mixerScreenShown() { mixer_.mixerScreenShown(); }
    // Double tap on the crossfader's pointer: from an end, fade to the other over "kXFadeTime".
    void doubleTapCrossfader() { mixer_.doubleTapCrossfader(); }
    // A touch on the crossfader that missed its pointer: the browser of that side's deck.
    void touchEndedCrossfader() { mixer_.touchEndedCrossfader(); }
    // Automatic crossfade towards `deck` alone over `seconds`, one step every 1/15 s.
    void beginFadeTo(int deck, double seconds) { mixer_.beginFadeTo(deck, seconds); }
    // One tick of the automatic crossfade (its timer calls it).
    void doXFChange() { mixer_.doXFChange(); }
    // Headphone fade 0…1: `value` for deck 1, 1 − value for deck 0, over 1024 frames.
    void hpFade(float value) { mixer_.hpFade(value); }

    // Volume panel: channel fader → trim gain, gain knob → volume (× 2), master → output gain;
    // reset = the track's analysed gain and a unity fader.
    void volOnOff(int deck) { mixer_.volOnOff(deck); }
    void volValue(int deck) { mixer_.volValue(deck); }
    void volValueGain(int deck) { mixer_.volValueGain(deck); }
    void volReset(int deck) { mixer_.volReset(deck); }
    // `sliderTag` is the master control's own tag (0 or 1); the other copy follows it.
    void volValueGlobal(int sliderTag) { mixer_.volValueGlobal(sliderTag); }

    // EQ panel. Slider s (0.5 = flat) ↔ dB: v = 2s − 1; t = v·|v| (low) or v³ (mid, high);
    // dB = 20t above flat, 50t below.
    void eqOnOff(int deck) { mixer_.eqOnOff(deck); }
    void eq1Value(int deck) { mixer_.eq1Value(deck); }
    void eq2Value(int deck) { mixer_.eq2Value(deck); }
    void eq3Value(int deck) { mixer_.eq3Value(deck); }
    void setEq1(float sliderValue, int deck) { mixer_.setEq1(sliderValue, deck); }
    void setEq2(float sliderValue, int deck) { mixer_.setEq2(sliderValue, deck); }
    void setEq3(float sliderValue, int deck) { mixer_.setEq3(sliderValue, deck); }
    void resetEq(int deck) { mixer_.resetEq(deck); }
    void updateEqSlidersForSide(int deck) { mixer_.updateEqSlidersForSide(deck); }

    // LP/HP knob, 0…1 (0.5 = neutral).
    void lphpSet(int deck) { mixer_.lphpSet(deck); }
    void lphpReset(int deck) { mixer_.lphpReset(deck); }

    // Effect panel: seven slots (0 filter … 6 bitcrusher), one enabled at a time.
    void fxOnOff(int deck) { mixer_.fxOnOff(deck); }
    void prevFX(int deck) { mixer_.prevFX(deck); }
    void nextFX(int deck) { mixer_.nextFX(deck); }
    void toCurrentFX(int deck) { mixer_.toCurrentFX(deck); }
    // Enables `slot` (0…6) on the deck, switches the other six off and resets its module.
    void fxAction(int slot, int deck) { mixer_.fxAction(slot, deck); }
    // Pad pressed / released / moved.
    void fxDown(int deck) { mixer_.fxDown(deck); }
    void fxUp(int deck) { mixer_.fxUp(deck); }
    void fx1Value(int deck) { mixer_.fx1Value(deck); }
    // The X/Y read-outs of the deck's effect panel.
    void updateLabels(int deck) { mixer_.updateLabels(deck); }

    // --- status displays ----------------------------------------------------------------
    // Main thread. The read-outs of each deck: [0] elapsed ("%02d:%02d") or remaining
    // ("-%02d:%02d") time, [2] pitch ("%+02.2f%%"), [3] BPM ("%3.1f", "???" unknown, or the
    // analysis progress "%3.1f%%"); [1] is never written. A label is rewritten only when its
    // value changed.
    const LabelState& indicator(int deck, int index) const {
        return status_.indicator(deck, index);
    }
    // The screen appeared / disappeared: the refresh pass runs every 0.1 s while it is shown
    // (every 1.0 s while the application is inactive), redrawing everything at its first pass.
    void startIndicators() { status_.startIndicators(); }
    void stopIndicators() { status_.stopIndicators(); }
    void setApplicationInactive(bool inactive) { status_.setApplicationInactive(inactive); }
    // One refresh pass: the read-outs, their enlargement and dimming, buttons and strips.
    void doCpu() { status_.doCpu(); }
    void printDIndicator(int index, int deck) { status_.printDIndicator(index, deck); }
    void played2Center(int deck) { status_.played2Center(deck); }
    void played2Home(int deck) { status_.played2Home(deck); }
    void speed2Center(int deck) { status_.speed2Center(deck); }
    void speed2Home(int deck) { status_.speed2Home(deck); }
    void hideSpeed(int deck) { status_.hideSpeed(deck); }
    void showSpeed(int deck) { status_.showSpeed(deck); }
    bool speedHidden(int deck) const { return status_.speedHidden(deck); }
    // Overview strips: redraws a strip whose peak data changed, and every strip's marks.
    void updateNavigators() { status_.updateNavigators(); }
    // Main thread: reads the settings the screen keeps a copy of (at start, and again on every
    // "settingChanged").
    void readSettings();
    int navigatorMarksRedraws() const { return status_.navigatorMarksRedraws(); }
    bool autoEqMarksShown() const { return mixer_.autoEqEnabled(); }
    // Top bar.
    void toggleAfterBefore(int deck) { status_.toggleAfterBefore(deck); }
    bool showLastTime(int deck) const { return status_.showLastTime(deck); }
    void zoomButtonAction() { status_.zoomButtonAction(); }
    const ButtonState& zoomButton() const { return status_.zoomButton(); }
    bool navigatorsShown() const { return status_.zoomButton().selected; }
    void freezeButtomAction() { status_.freezeButtomAction(); }
    void updatePeaks() { status_.updatePeaks(); }
    const ButtonState& freezeButton() const { return status_.freezeButton(); }
    // Records the mix to the next "VXNexa_%04i.wav" of the documents folder, or stops it.
    void recordAction() { status_.recordAction(); }
    const ButtonState& recordButton() const { return status_.recordButton(); }
    void setDocumentsFolder(const std::filesystem::path& folder) {
        status_.setDocumentsFolder(folder);
    }
    void menuAction() { status_.menuAction(); }

    // --- auto-mix and party mode --------------------------------------------------------------
    // Main thread unless a line says otherwise. Positions and distances are frames of the
    // decks' tracks, times seconds, speeds ratios.
    //
    // An image's opacity the shell animates (see DeckViewState.h).
    using AlphaFade = vx::AlphaFade;
    // Auto-mix button: touch-down; the long press (after a touch-down) brakes both playing
    // decks over 44100 frames; the release lines the decks up (see autoMixAction).
    void autoMixDown() { party_.autoMixDown(); }
    void longAutomixTap() { party_.longAutomixTap(); }
    // Beat-matches the follower to the master: tempo at once, phase by a catch-up speed for a
    // counted number of output frames, or, with both decks stopped, both started on a beat.
    // `fromButton` shows the flash; the automatic retries pass false. Nothing in party mode.
    void autoMixAction(bool fromButton) { party_.autoMixAction(fromButton); }
    // Render thread (the follower's countdown): the follower back to its default speed, then
    // testDiff on the main thread. No allocation beyond the post, no waiting.
    void meetingOfsteams() { party_.meetingOfsteams(); }
    // Main thread: measures the next beats of both decks again; more than 128 frames apart,
    // auto-mix runs again.
    void testDiff() { party_.testDiff(); }
    // Party mode on or off; `sender` (a button of either screen, may be null) shows the state.
    void togglePartyMode(ButtonState* sender = nullptr) { party_.togglePartyMode(sender); }
    // Party mode only: the next deck pre-positioned a random 4, 6 or 8 beats before the play
    // point ("kSongPartInAutoPlay" of its length), snapped to its beats.
    void offsetNextTrack() { party_.offsetNextTrack(); }
    // Party mode only: arms the current deck's position trigger at 80 % of its track (at least
    // nine beats ahead), on a beat that matches the next deck's beat parity.
    void setupAutocuePoint() { party_.setupAutocuePoint(); }
    // Party mode only: the transition starts at the current deck's next beat.
    void skipToNextTrack() { party_.skipToNextTrack(); }
    // Render thread (the current deck's position trigger), party mode only: starts the next
    // deck and forwards continueAutocue to the main thread.
    void doAutocueTrigger() { party_.doAutocueTrigger(); }
    // The crossfade to the next deck over eight beats; the roles swap 0.7 s after it ends.
    void continueAutocue() { party_.continueAutocue(); }
    // Party mode only: the next deck becomes current, the finished one loads the next entry
    // of the playlist and is pre-positioned once its track is open.
    void selectNextTrack2AutoPlay() { party_.selectNextTrack2AutoPlay(); }
    // Shortest track party mode mixes, seconds: a shorter one cannot hold the lead-in and the
    // eight-beat crossfade.
    static constexpr double kMinPartyTrackSeconds = PartyAutoMix::kMinPartyTrackSeconds;
    // Any thread: why the track at `path` (of `seconds` length when known, else ≤ 0) cannot
    // be mixed in party mode (missing, unreadable, empty, too short), or nothing when it can.
    static std::optional<std::string> partyTrackProblem(const std::filesystem::path& path,
                                                        double seconds) {
        return PartyAutoMix::partyTrackProblem(path, seconds);
    }
    // Tracks party mode skipped (file names), each once, in order.
    const std::vector<std::string>& partySkipped() const { return party_.partySkipped(); }
    // The playlist from crate `crate` (0…4) / a random order of the user's tracks (and the
    // built-in ones unless "kHideBundled" is on and the user has tracks).
    void makePlayListFromCrate(int crate) { party_.makePlayListFromCrate(crate); }
    void makeRandomPlaylist() { party_.makeRandomPlaylist(); }
    // State.
    bool partyModeOn() const { return party_.partyModeOn(); }
    // The master / on-air deck (0 or 1).
    int currentPartyStream() const { return party_.currentPartyStream(); }
    // Transitions since party mode started.
    int tracksPlayed() const { return party_.tracksPlayed(); }
    const std::vector<std::shared_ptr<VXAudioFileInfo>>& playList() const {
        return party_.playList();
    }
    void setPlayList(std::vector<std::shared_ptr<VXAudioFileInfo>> list) {
        party_.setPlayList(std::move(list));
    }
    int nextPlayListItem() const { return party_.nextPlayListItem(); }
    void setNextPlayListItem(int item) { party_.setNextPlayListItem(item); }
    // Beats of the last pre-positioning (4, 6 or 8; 0 before the first).
    int partyModeNextTrackOffset() const { return party_.partyModeNextTrackOffset(); }
    bool automixTaped() const { return party_.automixTaped(); }
    bool longAutoMix() const { return party_.longAutoMix(); }
    // The flash shown when the auto-mix button lines the decks up.
    const AlphaFade& autosyncFlash() const { return party_.autosyncFlash(); }
    // True while a crossfade or a role swap of a transition is pending.
    bool transitionPending() const { return party_.transitionPending(); }
    // The party screen while it is shown (null otherwise); it registers itself.
    PartyModeController* pmcontroller() const { return party_.pmcontroller(); }
    void setPmcontroller(PartyModeController* controller) { party_.setPmcontroller(controller); }
    // Party mode's random draws are values in [0, 2^31). Each start of party mode restarts the
    // generator from the clock, or from `value` once this was called (tests fix the draws).
    void setRandomStart(uint32_t value) { party_.setRandomStart(value); }

    // --- the parts (for each other, and for tests of a part on its own) -----------------------
    DeckTempo& tempo() { return tempo_; }
    DeckMixer& mixer() { return mixer_; }
    DeckStatusDisplay& statusDisplay() { return status_; }
    DeckTransport& transport() { return transport_; }
    PartyAutoMix& party() { return party_; }

private:
    void analyzeComplete(const std::string& path);

    DeckContext context_;
    DeckTempo tempo_{*this, context_};
    DeckMixer mixer_{*this, context_};
    DeckStatusDisplay status_{*this, context_};
    DeckTransport transport_{*this, context_};
    // Declared last, destroyed first: its triggers are disarmed before anything else goes.
    PartyAutoMix party_{*this, context_};
};

} // namespace vx
