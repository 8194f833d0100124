#pragma once
// SampleTestController: the two-deck mixing screen's logic — transport and cue points, loops,
// pitch, tempo, sync and tap tempo — as plain state plus handler methods. It draws nothing: the
// shell reads the view state below and forwards presses, releases and timer-free events to the
// handlers; the controller's own timers (pitch auto-repeat, reset hold, long presses, tap
// time-out) run on the main run loop, so tests drive it with a manual clock.
//
// Decks: every handler takes the deck number (0 or 1). The screen's controls come in pairs; the
// view state keeps them per deck, so the control the screen calls "…Right" is deck 0's and
// "…Left" is deck 1's (`EjectRight` loads deck 0, `loopLabelLeft` shows deck 1's loop).
//
// What it touches: the engine's deck records and deck operations (play, stop, cue jumps, beat
// lookups, speed ramps, grid rewrites), under the engine lock where a change must not be seen
// half-made by the render thread; the track database for cue points and play counts; the
// user-defaults store for the tempo lock and the tuning values; the analysis queue for tempo
// overrides. It does not own the decks.
//
// Threads: main thread only.

#include "deck/AMSlider.h"
#include "deck/FXController.h"
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

// What the mixing screen asks of the application around it (the application delegate).
class MixingScreenHost {
public:
    virtual ~MixingScreenHost() = default;
    // Opens the track browser for `deck`.
    virtual void showLoadFile(int deck) = 0;
    // Shows the main menu.
    virtual void showMainMenu() = 0;
    // True on a tablet-sized screen.
    virtual bool isTablet() const = 0;
    // True while party mode runs (the automatic mix owns the decks).
    virtual bool partyMode() const { return false; }
    // Tells the user something went wrong (an alert with one OK button).
    virtual void showMessage(const std::string& message) { (void)message; }
};

// One button: selected (highlighted), hidden, enabled for touches.
struct ButtonState {
    bool selected = false;
    bool hidden = false;
    bool enabled = true;
};

// One text label.
struct LabelState {
    std::string text;
    bool hidden = false;
    bool red = false; // the speed read-out turns red while the deck's pitch is locked
    float scale = 1.0f;
};

// Everything the screen shows for one deck.
struct DeckViewState {
    ButtonState play;               // bp1 (deck 0) / bp2 (deck 1): selected = playing
    bool navigatorTouchable = true; // the overview strip accepts touches (deck stopped)
    int navigatorUpdates = 0;       // updateDisplay calls on the overview strip (cue changes)
    LabelState loading;             // loadingRight (deck 0) / loadingLeft (deck 1)
    float ejectFlashAlpha = 0.0f;   // blinkRight / blinkLeft
    LabelState title;               // Song0Name / Song1Name
    int nameUpdates = 0;            // updateNames refreshes of the two labels
    LabelState artist;
    ButtonState pitchButtons; // b0 b1 (deck 0) / b2 b3 (deck 1) and the LP/HP slider
    bool lphpSliderShown = false;
    float lphpSliderValue = 0.5f;

    // Panels (shown = the panel is on screen; their buttons show the same as `selected`).
    ButtonState cuePanel;
    ButtonState loopPanel;
    ButtonState pitchPanel;
    ButtonState volumePanel;
    ButtonState eqPanel;
    ButtonState fxPanel;
    ButtonState bendPanel;

    // Loops.
    ButtonState loopInOut; // selected while an in point waits for its out point
    LabelState loopLabel;  // loop length in beats, "?" without a loop
    ButtonState loopMode;  // selected = loop on

    // Pitch, sync and tempo.
    LabelState speedReadout; // red while the pitch is locked; scale 2 while a button repeats
    ButtonState sync;        // shows the tempo lock
    bool tempoLockMark = false;
    bool pitchModeImage = false; // pitch-mode image shown (else the time-mode image)
    bool overModeHighlighted = false;
    bool modeImagesHighlighted = false;
    ButtonState reset;     // selected = pitch mode
    LabelState tapLabel;   // "[%i] %3.1f bpm" during a tap sequence
    ButtonState bpmButton; // the BPM entry pad's button
};

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
    const DeckViewState& view(int deck) const { return views_[size_t(deck & 1)]; }
    // Whole-screen touches (the phone disables them while the browser is up).
    bool touchesEnabled() const { return touchesEnabled_; }
    void setTouchesEnabled(bool on) { touchesEnabled_ = on; }
    bool menuOn() const { return menuOn_; }
    void setMenuOn(bool on) { menuOn_ = on; }
    // BPM entry pad: open for `lastBpmSide` (−1 none), its centre in points.
    int lastBpmSide() const { return lastBpmSide_; }
    float bpmPadX() const { return bpmPadX_; }
    float bpmPadY() const { return bpmPadY_; }
    double enteredBpm() const { return actialBPM_ + actialBPMfrac_; }
    // The waveform animation's frame interval (1/15 s during a tap sequence, else 0.02 s).
    double waveformInterval() const { return waveformInterval_; }
    bool tempoLock() const { return tempoLock_; }

    // --- deck restore at start-up -----------------------------------------------------------
    // Main thread: loads the saved tracks ("kStreamFile0/1", "kStreamCrate0/1", else the
    // built-in defaults `fallback0` / `fallback1`): deck 0 first, deck 1 once deck 0 has
    // finished loading (polled every 0.1 s on the run loop).
    void restoreDecks(const std::string& fallback0, const std::string& fallback1);
    // True once both start-up loads have been started.
    bool startupLoadsStarted() const { return startupLoads_ >= 2; }

    // --- transport and cues -----------------------------------------------------------------
    // Main thread, each for deck 0 or 1; harmless on an unloaded deck. Positions are frames.
    void playStop(int deck);
    void play(int deck);
    void stop(int deck);
    void stop0() { stop(0); }
    void stop1() { stop(1); }
    void pause(int deck);
    void ffButton(int deck);
    void rewButton(int deck);
    // Eject: flash, (phone) disable touches, ask the host for the browser after 0.01 s.
    void eject(int deck);
    void blinkOff(int deck);
    void cueButton(int deck);
    void cueDeleteButton(int deck);
    void cueHoldButton(int deck);
    void cueHoldButtonUp(int deck);
    void cueHoldButtonUpOutside(int) {}
    void cuePrevButton(int deck) { cueStep(deck, false); }
    void cueNextButton(int deck) { cueStep(deck, true); }
    void cueLoopPanelSwitch(int deck);
    void checkPlayStop();
    void updatePlayButtons();
    void updateLoopButtons();
    void updateNames();
    void updateSliders();
    // Remote control: subtype 103 play/pause, 104 next, 105 previous.
    void remoteControlReceived(int subtype);
    void togglePlayPause();
    void playNextTrack();
    void playPreviousTrack();
    // Panels the other controls open (volume, EQ, effects) — shown state only.
    void setPanelShown(int deck, ButtonState DeckViewState::*panel, bool shown);

    // --- loops --------------------------------------------------------------------------
    // Main thread, deck 0 or 1; every handler but the panel switch and the label refresh acts
    // only while the deck plays. Loop points are frames snapped to beat marks.
    void loopInOut(int deck);
    void loopStop(int deck);
    void loopDivide(int deck);
    void loopExpand(int deck);
    void updateLoopLabels();
    void loopPanelSwitch(int deck);

    // --- pitch, tempo, sync, tap ----------------------------------------------------------
    // Main thread, deck 0 or 1. Speeds are ratios (1.0 = the track's own), tempos BPM, glides
    // frames; presses (`…Button`, `bend…`, `downTapBPM`) and releases (`…Up`, `…End`) are
    // separate calls, and the auto-repeat, hold and time-out timers run on the main run loop.
    // The shared default-speed setter: frozen while the deck's pitch is locked; else clamps to
    // 0.85…1.15, stores `baseSpeed` and posts "DefaultSpeedChanged" with the deck.
    void setDefaultSpeed(int deck, double value);
    void plusButton(int deck);
    void minusButton(int deck);
    void plusButtonUp(int deck);
    void minusButtonUp(int deck);
    void resetButton(int deck);
    void resetButtonUp(int deck);
    void resetButtonDbl(int deck);
    void togglePitchMode(int deck);
    void updatePitchMode();
    void pitchPanelDown(int deck);
    void pitchPanelSwitch(int deck);
    void bendUp(int deck);
    void bendDown(int deck);
    void bendUpEnd(int deck);
    void bendDownEnd(int deck);
    void bendButtonAction(int deck);
    void speed(int deck, double value);
    void breakActionUp(int glideFrames);
    void syncAction(int deck);
    void tideTempoForSide(int deck);
    void autoLockTempo();
    void downTapBPM(int deck);
    void upTapBPM(int deck);
    void bpmEnterOnOff(int deck);
    void bpmDigitPress(int digit);
    void bpmPlusPress();
    void bpmMinusPress();
    void finalizeBpmEnter();
    void tempoPlus(int deck);
    void tempoMinus(int deck);
    void shiftGridUp(int deck);
    void shiftGridDown(int deck);
    void checkAndStopAnalize(int deck, double bpm);
    // Tuning values the settings screen changes.
    void setPitchStep(double step) { pitchStep_ = step; }
    double pitchStep() const { return pitchStep_; }
    void setSnapCueToBeat(bool on) { snapCueToBeat_ = on; }

    // --- mixer: crossfader, volume, EQ, LP/HP, effects ----------------------------------------
    // Main thread, deck 0 or 1; every handler is harmless on an unloaded deck. Slider values
    // are the controls' own units (0…1 unless said otherwise), gains are linear factors, EQ
    // gains dB, times seconds. Handlers that name no value read it from the deck's control,
    // which forwards its events to them by itself; the shell only feeds it touches.
    //
    // The controls. The crossfader's value runs from 1.0 (deck 0 only) to 0.0 (deck 1 only).
    AMSlider& mainBalance() { return mainBalance_; }
    AMSlider& volSlider(int deck) { return volSlider_[size_t(deck & 1)]; }
    AMSlider& volGainSlider(int deck) { return volGainSlider_[size_t(deck & 1)]; }
    AMSlider& volGlobalSlider(int deck) { return volGlobalSlider_[size_t(deck & 1)]; }
    // `band` 0 low, 1 mid, 2 high.
    AMSlider& eqSlider(int deck, int band) { return eqSlider_[size_t(deck & 1)][size_t(band % 3)]; }
    AMSlider& lphpSlider(int deck) { return lphpSlider_[size_t(deck & 1)]; }
    FXController& fxController(int deck) { return fxController_[size_t(deck & 1)]; }
    // The effect panel's read-outs: effect name (green while the pad is held), X and Y.
    const LabelState& effectLabel(int deck) const { return effectLabel_[size_t(deck & 1)]; }
    bool effectLabelGreen(int deck) const { return effectLabelGreen_[size_t(deck & 1)]; }
    const LabelState& xLabel(int deck) const { return xLabel_[size_t(deck & 1)]; }
    const LabelState& yLabel(int deck) const { return yLabel_[size_t(deck & 1)]; }
    // The effect slot chosen for the deck, 0…6.
    int currentFXNo(int deck) const { return currentFXNo_[size_t(deck & 1)]; }
    // True while the deck stands alone on air with the stop-proof setting on: the waveform
    // ignores touches on it while it plays.
    bool stopProof(int deck) const { return stopProof_[size_t(deck & 1)]; }
    // An automatic crossfade started by a double tap is running.
    bool autoMixOn() const { return autoMixOn_; }
    void setAutoMixOn(bool on) { autoMixOn_ = on; }
    // The running automatic crossfade: its ticker, target (0 or 1) and step per tick.
    bool xFadeRunning() const { return XFChangeTimer_.handle.isValid(); }
    float targetXFade() const { return targetXFade_; }
    float stepXFade() const { return stepXFade_; }

    // Crossfader: `crossfade` applies the control's value; `setCrossfade` applies x (0…1):
    // curve ("kFadeCurve"), centre boost ("kDipCorrection"), fader gains, the deck alone on air
    // ("kStopProofLock") and the bass/treble swap ("kAutoEqEnabled").
    void crossfade();
    void setCrossfade(float x);
    // The screen is shown: both decks' fader gains to 1.0 until the crossfader moves again.
    void mixerScreenShown();
    // Double tap on the crossfader's pointer: from an end, fade to the other over "kXFadeTime".
    void doubleTapCrossfader();
    // A touch on the crossfader that missed its pointer: the browser of that side's deck.
    void touchEndedCrossfader();
    // Automatic crossfade towards `deck` alone over `seconds`, one step every 1/15 s.
    void beginFadeTo(int deck, double seconds);
    // One tick of the automatic crossfade (its timer calls it).
    void doXFChange();
    // Headphone fade 0…1: `value` for deck 1, 1 − value for deck 0, over 1024 frames.
    void hpFade(float value);

    // Volume panel: channel fader → trim gain, gain knob → volume (× 2), master → output gain;
    // reset = the track's analysed gain and a unity fader.
    void volOnOff(int deck);
    void volValue(int deck);
    void volValueGain(int deck);
    void volReset(int deck);
    // `sliderTag` is the master control's own tag (0 or 1); the other copy follows it.
    void volValueGlobal(int sliderTag);

    // EQ panel. Slider s (0.5 = flat) ↔ dB: v = 2s − 1; t = v·|v| (low) or v³ (mid, high);
    // dB = 20t above flat, 50t below.
    void eqOnOff(int deck);
    void eq1Value(int deck);
    void eq2Value(int deck);
    void eq3Value(int deck);
    void setEq1(float sliderValue, int deck);
    void setEq2(float sliderValue, int deck);
    void setEq3(float sliderValue, int deck);
    void resetEq(int deck);
    void updateEqSlidersForSide(int deck);

    // LP/HP knob, 0…1 (0.5 = neutral).
    void lphpSet(int deck);
    void lphpReset(int deck);

    // Effect panel: seven slots (0 filter … 6 bitcrusher), one enabled at a time.
    void fxOnOff(int deck);
    void prevFX(int deck);
    void nextFX(int deck);
    void toCurrentFX(int deck);
    // Enables `slot` (0…6) on the deck, switches the other six off and resets its module.
    void fxAction(int slot, int deck);
    // Pad pressed / released / moved.
    void fxDown(int deck);
    void fxUp(int deck);
    void fx1Value(int deck);
    // The X/Y read-outs of the deck's effect panel.
    void updateLabels(int deck);

    // --- status displays ----------------------------------------------------------------
    // Main thread. The read-outs of each deck: [0] elapsed ("%02d:%02d") or remaining
    // ("-%02d:%02d") time, [2] pitch ("%+02.2f%%"), [3] BPM ("%3.1f", "???" unknown, or the
    // analysis progress "%3.1f%%"); [1] is never written. A label is rewritten only when its
    // value changed.
    const LabelState& indicator(int deck, int index) const {
        return DIndicator_[size_t(deck & 1)][size_t(index & 3)].label;
    }
    // The screen appeared / disappeared: the refresh pass runs every 0.1 s while it is shown
    // (every 1.0 s while the application is inactive), redrawing everything at its first pass.
    void startIndicators();
    void stopIndicators();
    void setApplicationInactive(bool inactive) { inactive_ = inactive; }
    // One refresh pass: the read-outs, their enlargement and dimming, buttons and strips.
    void doCpu();
    void printDIndicator(int index, int deck);
    void played2Center(int deck);
    void played2Home(int deck);
    void speed2Center(int deck);
    void speed2Home(int deck);
    void hideSpeed(int deck);
    void showSpeed(int deck);
    bool speedHidden(int deck) const { return speedHidden_[size_t(deck & 1)]; }
    // Overview strips: redraws a strip whose peak data changed, and every strip's marks.
    void updateNavigators();
    // Main thread: reads the settings the screen keeps a copy of (at start, and again on every
    // "settingChanged").
    void readSettings();
    int navigatorMarksRedraws() const { return navigatorMarksRedraws_; }
    bool autoEqMarksShown() const;
    // Top bar.
    void toggleAfterBefore(int deck);
    bool showLastTime(int deck) const { return showLastTime_[size_t(deck & 1)]; }
    void zoomButtonAction();
    const ButtonState& zoomButton() const { return zoomButton_; }
    bool navigatorsShown() const { return zoomButton_.selected; }
    void freezeButtomAction();
    void updatePeaks();
    const ButtonState& freezeButton() const { return freezeButton_; }
    // Records the mix to the next "VXNexa_%04i.wav" of the documents folder, or stops it.
    void recordAction();
    const ButtonState& recordButton() const { return recordButton_; }
    void setDocumentsFolder(const std::filesystem::path& folder) { documentsFolder_ = folder; }
    void menuAction();

    // --- auto-mix and party mode --------------------------------------------------------------
    // Main thread unless a line says otherwise. Positions and distances are frames of the
    // decks' tracks, times seconds, speeds ratios.
    //
    // An image's opacity the shell animates: from `from` to `to` over `seconds` (ease-out);
    // `starts` counts the animations asked for.
    struct AlphaFade {
        float from = 0.0f;
        float to = 0.0f;
        double seconds = 0.0;
        int starts = 0;
    };
    // Auto-mix button: touch-down; the long press (after a touch-down) brakes both playing
    // decks over 44100 frames; the release lines the decks up (see autoMixAction).
    void autoMixDown();
    void longAutomixTap();
    // Beat-matches the follower to the master: tempo at once, phase by a catch-up speed for a
    // counted number of output frames, or, with both decks stopped, both started on a beat.
    // `fromButton` shows the flash; the automatic retries pass false. Nothing in party mode.
    void autoMixAction(bool fromButton);
    // Render thread (the follower's countdown): the follower back to its default speed, then
    // testDiff on the main thread. No allocation beyond the post, no waiting.
    void meetingOfsteams();
    // Main thread: measures the next beats of both decks again; more than 128 frames apart,
    // auto-mix runs again.
    void testDiff();
    // Party mode on or off; `sender` (a button of either screen, may be null) shows the state.
    void togglePartyMode(ButtonState* sender = nullptr);
    // Party mode only: the next deck pre-positioned a random 4, 6 or 8 beats before the play
    // point ("kSongPartInAutoPlay" of its length), snapped to its beats.
    void offsetNextTrack();
    // Party mode only: arms the current deck's position trigger at 80 % of its track (at least
    // nine beats ahead), on a beat that matches the next deck's beat parity.
    void setupAutocuePoint();
    // Party mode only: the transition starts at the current deck's next beat.
    void skipToNextTrack();
    // Render thread (the current deck's position trigger), party mode only: starts the next
    // deck and forwards continueAutocue to the main thread.
    void doAutocueTrigger();
    // The crossfade to the next deck over eight beats; the roles swap 0.7 s after it ends.
    void continueAutocue();
    // Party mode only: the next deck becomes current, the finished one loads the next entry
    // of the playlist and is pre-positioned once its track is open.
    void selectNextTrack2AutoPlay();
    // Shortest track party mode mixes, seconds: a shorter one cannot hold the lead-in and the
    // eight-beat crossfade.
    static constexpr double kMinPartyTrackSeconds = 20.0;
    // Any thread: why the track at `path` (of `seconds` length when known, else ≤ 0) cannot
    // be mixed in party mode (missing, unreadable, empty, too short), or nothing when it can.
    static std::optional<std::string> partyTrackProblem(const std::filesystem::path& path,
                                                        double seconds);
    // Tracks party mode skipped (file names), each once, in order.
    const std::vector<std::string>& partySkipped() const { return partySkipped_; }
    // The playlist from crate `crate` (0…4) / a random order of the user's tracks (and the
    // built-in ones unless "kHideBundled" is on and the user has tracks).
    void makePlayListFromCrate(int crate);
    void makeRandomPlaylist();
    // State.
    bool partyModeOn() const { return partyModeOn_.load(std::memory_order_relaxed); }
    // The master / on-air deck (0 or 1).
    int currentPartyStream() const { return currentPartyStream_.load(std::memory_order_relaxed); }
    // Transitions since party mode started.
    int tracksPlayed() const { return tracksPlayed_.load(std::memory_order_relaxed); }
    const std::vector<std::shared_ptr<VXAudioFileInfo>>& playList() const { return playList_; }
    void setPlayList(std::vector<std::shared_ptr<VXAudioFileInfo>> list) {
        playList_ = std::move(list);
    }
    int nextPlayListItem() const { return nextPlayListItem_; }
    void setNextPlayListItem(int item) { nextPlayListItem_ = item; }
    // Beats of the last pre-positioning (4, 6 or 8; 0 before the first).
    int partyModeNextTrackOffset() const { return partyModeNextTrackOffset_; }
    bool automixTaped() const { return automixTaped_; }
    bool longAutoMix() const { return longAutoMix_; }
    // The flash shown when the auto-mix button lines the decks up.
    const AlphaFade& autosyncFlash() const { return autosyncFlash_; }
    // True while a crossfade or a role swap of a transition is pending.
    bool transitionPending() const { return selectNextTimer_.handle.isValid(); }
    // The party screen while it is shown (null otherwise); it registers itself.
    PartyModeController* pmcontroller() const { return pmcontroller_; }
    void setPmcontroller(PartyModeController* controller) { pmcontroller_ = controller; }
    // Party mode's random draws are values in [0, 2^31). Each start of party mode restarts the
    // generator from the clock, or from `value` once this was called (tests fix the draws).
    void setRandomStart(uint32_t value);

private:
    audioStream& deck(int d);
    const audioStream& deck(int d) const;
    bool loaded(int d) const;
    bool playing(int d) const;
    void fileOpened(int deck);
    void analyzeComplete(const std::string& path);
    void speedTimerFirst(int deck);
    void speedTimerSecond(int deck);
    void resetByTimer(int deck);
    void pitchLongTap(int deck);
    void timeoutAction(int deck);
    void stepPitch(int deck, double step);
    void setTempoLock(bool on);
    void closeBpmPad();
    void regrid(int deck, double anchor);
    void nudgeTempo(int deck, double delta);
    // True (and the user told why) when `info` is a built-in track, whose tempo stays.
    bool refuseTempoEdit(const VXAudioFileInfo* info);
    void shiftGrid(int deck, double offset);
    void addCue(int deck, double frame);
    // Starts the deck (fade-in); its first play after a load raises the track's play count.
    // Returns deckPlay's result.
    int startDeck(int deck);
    void cueStep(int deck, bool forward);

    AudioOut& engine_;
    DBController* db_;
    UserDefaults& defaults_;
    NotificationCenter& notifications_;
    RunLoop& loop_;
    MixingScreenHost* host_;

    std::array<DeckViewState, 2> views_{};
    bool touchesEnabled_ = true;
    bool menuOn_ = false;
    double waveformInterval_ = 0.02;
    int startupLoads_ = 0;
    std::unique_ptr<TimerHandle> startupPoll_;

    // Settings.
    bool tempoLock_ = true;
    double pitchStep_ = 0.001;
    double ffSpeed_ = 160.0;
    bool snapCueToBeat_ = true;

    // Cues.
    std::array<int, 2> holdCuePoint_{-1, -1};
    std::array<bool, 2> holdCueStreamOn_{false, false};
    std::array<bool, 2> playingAtPause_{false, false};

    // Loops.
    std::array<int32_t, 2> lastLoopEnd_{0, 0};

    // Pitch buttons.
    std::array<double, 2> incrementValue_{0.0, 0.0};
    std::array<TimerHandle, 2> incrementSpeedTimer_{};
    std::array<double, 2> defaultSpeedBeforeLock_{1.0, 1.0};
    std::array<bool, 2> isResetButtonUp_{false, false};
    std::array<bool, 2> isResetedByTimer_{false, false};
    std::array<TimerHandle, 2> resetTimer_{};
    std::array<bool, 2> pitchMenuLongTap_{false, false};
    std::array<TimerHandle, 2> pitchMenuLongTapTimer_{};
    std::array<bool, 2> speedOnCenter_{false, false};

    // Tap tempo.
    std::array<bool, 2> tapTempoLock_{false, false};
    std::array<double, 2> tapTempoTime_{0.0, 0.0};
    std::array<std::array<double, 8>, 2> touchIntervals_{};
    std::array<int, 2> touchCount_{8, 8};
    std::array<double, 2> savedBPM_{0.0, 0.0};
    std::array<bool, 2> pressed_{false, false};
    std::array<TimerHandle, 2> timeOutTimer_{};

    // BPM entry pad.
    int lastBpmSide_ = -1;
    int bpmDigitNo_ = 0;
    std::array<int, 3> bpmDigits_{0, 0, 0};
    double actialBPM_ = 0.0;
    double actialBPMfrac_ = 0.0;
    float bpmPadX_ = 0.0f;
    float bpmPadY_ = 0.0f;

    // --- mixer: crossfader, volume, EQ, LP/HP, effects ----------------------------------------
    // A timer handle that stops its timer when the controller goes away.
    struct OwnedTimer {
        TimerHandle handle;
        OwnedTimer() = default;
        OwnedTimer(const OwnedTimer&) = delete;
        OwnedTimer& operator=(const OwnedTimer&) = delete;
        ~OwnedTimer() { handle.invalidate(); }
    };
    void setFxSlots(int deck, int enabledSlot, const int* offSlots, int offCount);
    // The crossfader's settings, read once here (at start and on every "settingChanged")
    // rather than looked up by name at every move of the crossfader.
    struct MixerSettings {
        bool stopProofLock = false; // "kStopProofLock"
        int64_t fadeCurve = 1;      // "kFadeCurve"
        float dipCorrection = 1.0f; // "kDipCorrection"
        bool autoEqEnabled = false; // "kAutoEqEnabled"
        double xFadeTime = 4.5;     // "kXFadeTime", seconds
    };
    void readMixerSettings();
    MixerSettings mixerSettings_;
    void updateMixerSliders();
    bool wireMixer();

    AMSlider mainBalance_;
    std::array<AMSlider, 2> volSlider_{};
    std::array<AMSlider, 2> volGainSlider_{};
    std::array<AMSlider, 2> volGlobalSlider_{};
    std::array<std::array<AMSlider, 3>, 2> eqSlider_{};
    std::array<AMSlider, 2> lphpSlider_{};
    std::array<FXController, 2> fxController_{};
    std::array<LabelState, 2> effectLabel_{};
    std::array<bool, 2> effectLabelGreen_{false, false};
    std::array<LabelState, 2> xLabel_{};
    std::array<LabelState, 2> yLabel_{};
    std::array<int, 2> currentFXNo_{0, 0};
    float targetXFade_ = 0.0f;
    float stepXFade_ = 0.0f;
    OwnedTimer XFChangeTimer_;
    bool autoMixOn_ = false;
    std::array<bool, 2> stopProof_{false, false};

    // Status displays.
    struct Indicator {
        LabelState label;
        double oldValue = -10.0;
    };
    std::array<std::array<Indicator, 4>, 2> DIndicator_{};
    bool needIndicators_ = false;
    bool inactive_ = false;
    std::unique_ptr<TimerHandle> indicatorTimer_;
    std::array<bool, 2> showLastTime_{false, false};
    std::array<bool, 2> playedOnCenter_{false, false};
    std::array<bool, 2> speedHidden_{false, false};
    ButtonState zoomButton_;
    ButtonState freezeButton_;
    ButtonState recordButton_;
    int navigatorMarksRedraws_ = 0;
    // Per deck: the peak record and its change count as last drawn on the overview strip.
    struct PeaksSeen {
        const void* record = nullptr;
        uint32_t changes = 0;
    };
    std::array<PeaksSeen, 2> peaksSeen_{};
    std::filesystem::path documentsFolder_;

    // --- auto-mix and party mode --------------------------------------------------------------
    // Random value in [0, 2^31).
    uint32_t partyRandom();
    double beatFrames(int deck, double fallback) const;
    double trackTempo(int deck) const;
    void restartRandom();
    void partyFileOpened(int deck);
    // Party mode: the next deck holds `path`, stopped and not being opened, and no
    // transition is under way.
    bool isWaitingNextTrack(const std::filesystem::path& path) const;
    void countPendingFirstPlays();
    // Disarms the triggers and countdowns aimed at the controller under the engine lock, so no
    // render callback reaches it once it is gone (declared last: destroyed first).
    struct TriggerRelease {
        SampleTestController* owner = nullptr;
        ~TriggerRelease();
    };

    std::atomic<bool> partyModeOn_{false};
    std::atomic<int> currentPartyStream_{0};
    std::atomic<int> tracksPlayed_{0};
    std::vector<std::shared_ptr<VXAudioFileInfo>> playList_;
    int nextPlayListItem_ = 0;
    int partyModeNextTrackOffset_ = 0;
    bool automixTaped_ = false;
    bool longAutoMix_ = false;
    AlphaFade autosyncFlash_;
    PartyModeController* pmcontroller_ = nullptr;
    std::mt19937 random_;
    std::optional<uint32_t> randomStart_;
    OwnedTimer selectNextTimer_;
    float songPartInAutoPlay_ = 0.5f; // "kSongPartInAutoPlay", read when party mode starts
    bool partyObserving_ = false;
    std::array<bool, 2> partyLoadPending_{false, false};
    // Party mode: loads the next playable playlist entry on deck `d`, skipping (and logging)
    // those that cannot be mixed; false when no entry can.
    bool loadNextPartyTrack(int d);
    // Party mode: watches a deck's load; a load that fails or gives a track too short to mix
    // moves on to the next entry.
    void watchPartyLoad(int d, const std::string& name);
    void skipPartyTrack(const std::string& name, const std::string& why);
    std::array<OwnedTimer, 2> partyLoadWatch_;
    std::array<int, 2> partyLoadFailures_{0, 0};
    std::vector<std::string> partySkipped_;
    // Set on the render thread when a transition started a deck for the first time after its
    // load; the play count is stored on the main thread.
    std::array<std::atomic<bool>, 2> partyFirstPlay_{};
    // Render-thread requests for the main thread (set by the trigger and the countdown, picked
    // up by a main-loop poll, so the render thread neither allocates nor locks for them).
    // What the render thread's triggers ask of the main thread, through the engine's mailbox.
    static constexpr uint16_t kContinueAutocueMessage = kFirstCustomRenderMessage;
    static constexpr uint16_t kTestDiffMessage = kFirstCustomRenderMessage + 1;
    bool listening_ = false;
    void listenToRenderThread();
    TriggerRelease triggerRelease_{this};
};

} // namespace vx
