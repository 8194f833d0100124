#pragma once
// DeckMixer: the mixing screen's mixer part — the crossfader (curves, centre boost, automatic
// fades, the deck alone on air, the automatic bass/treble swap), the volume panel, the EQ
// panel, the LP/HP knob and the effect panel with its XY pad and read-outs. It owns the
// controls (AMSlider, FXController), which report their events straight to its handlers, and
// the crossfader's settings, read once at start and again on every "settingChanged".
//
// Slider values are the controls' own units (0…1 unless said otherwise), gains linear factors,
// EQ gains dB, times seconds; every handler is harmless on an unloaded deck.
//
// Threads: main thread only.

#include "deck/AMSlider.h"
#include "deck/DeckPart.h"
#include "deck/FXController.h"

#include <array>
#include <cstdint>

namespace vx {

class DeckMixer : private DeckPart {
public:
    DeckMixer(SampleTestController& owner, DeckContext& context);

    // Reads "kStopProofLock", "kFadeCurve", "kDipCorrection", "kAutoEqEnabled", "kXFadeTime".
    void readSettings();
    // Binds the controls to their handlers, observes "fileOpened" for the LP/HP knob and
    // centres the crossfader. Once, when every part of the screen exists.
    void wire();
    // The sliders follow the decks' gains, EQ and LP/HP, and the master gain.
    void updateMixerSliders();
    // The automatic EQ owns the bands ("kAutoEqEnabled").
    bool autoEqEnabled() const { return mixerSettings_.autoEqEnabled; }

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

private:
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
    MixerSettings mixerSettings_;

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
};

} // namespace vx
