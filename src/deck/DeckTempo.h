#pragma once
// DeckTempo: the mixing screen's pitch, tempo, sync and tap-tempo part. It owns the pitch
// buttons' auto-repeat and lock, the reset hold, the pitch panel's long press, bend and wind,
// the tempo lock between the decks, the tap-tempo sequence and the BPM entry pad, with the
// settings they read ("kTempoLock", "kPitchStep", "kFFSpeed").
//
// Speeds are ratios (1.0 = the track's own), tempos BPM, glides frames. Presses and releases
// are separate calls; the auto-repeat, hold, long-press and tap time-out timers run on the main
// run loop, so a manual clock drives all of it in tests.
//
// Threads: main thread only.

#include "deck/DeckPart.h"

#include <array>
#include <string>

namespace vx {

class VXAudioFileInfo;

class DeckTempo : private DeckPart {
public:
    DeckTempo(SampleTestController& owner, DeckContext& context);
    ~DeckTempo();

    // Reads "kTempoLock", "kPitchStep" and "kFFSpeed" (at start and on every change).
    void readSettings();

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
    // An analysis of the file at `path` ended: with the tempo lock (or in party mode) a deck
    // holding it follows the other deck's tempo.
    void analysisEnded(const std::string& path);
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
    // Closes the BPM entry pad (any deck's) without storing what was entered.
    void closeBpmPad();

    bool tempoLock() const { return tempoLock_; }
    void setPitchStep(double step) { pitchStep_ = step; }
    double pitchStep() const { return pitchStep_; }
    // The step a held pitch button repeats (0 while neither button of the deck is held).
    double pitchRepeatStep(int deck) const { return incrementValue_[size_t(deck & 1)]; }
    // BPM entry pad: open for `lastBpmSide` (−1 none), its centre in points, the value entered.
    int lastBpmSide() const { return lastBpmSide_; }
    float bpmPadX() const { return bpmPadX_; }
    float bpmPadY() const { return bpmPadY_; }
    double enteredBpm() const { return actialBPM_ + actialBPMfrac_; }
    // The waveform animation's frame interval (1/15 s during a tap sequence, else 0.02 s).
    double waveformInterval() const { return waveformInterval_; }

private:
    void bend(int d, double direction);
    void speedTimerFirst(int deck);
    void speedTimerSecond(int deck);
    void resetByTimer(int deck);
    void pitchLongTap(int deck);
    void timeoutAction(int deck);
    void stepPitch(int deck, double step);
    void setTempoLock(bool on);
    void regrid(int deck, double anchor);
    void nudgeTempo(int deck, double delta);
    // True (and the user told why) when `info` is a built-in track, whose tempo stays.
    bool refuseTempoEdit(const VXAudioFileInfo* info);
    void shiftGrid(int deck, double offset);

    // Settings.
    bool tempoLock_ = true;
    double pitchStep_ = 0.001;
    double ffSpeed_ = 160.0;

    double waveformInterval_ = 0.02;

    // Pitch buttons.
    std::array<double, 2> incrementValue_{0.0, 0.0};
    std::array<TimerHandle, 2> incrementSpeedTimer_{};
    std::array<double, 2> defaultSpeedBeforeLock_{1.0, 1.0};
    std::array<bool, 2> isResetButtonUp_{false, false};
    std::array<bool, 2> isResetedByTimer_{false, false};
    std::array<TimerHandle, 2> resetTimer_{};
    std::array<bool, 2> pitchMenuLongTap_{false, false};
    std::array<TimerHandle, 2> pitchMenuLongTapTimer_{};

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
};

} // namespace vx
