// DeckMixer: the mixer — crossfader (curves, centre boost, automatic fades, the deck
// alone on air, automatic bass/treble swap), the volume panel, the EQ panel, the LP/HP knob and
// the effect panel with its XY pad and read-outs.
//
// Every value ends in the deck records through the engine's setters: the gain and EQ setters
// ramp on a playing deck and apply at once on a stopped one, so the handlers never need to
// know. The effect calls change module state the render thread uses, so they run under the
// engine lock. The controls (AMSlider, FXController) belong to the controller and report their
// events straight to the handlers below; the shell only passes touches to them.

#include "deck/DeckMixer.h"

#include "deck/SampleTestController.h"

#include "analysis/peakFileData.h"
#include "dsp/mirel_extraLP.h"
#include "engine/AudioOut.h"
#include "engine/DeckEffects.h"
#include "engine/DeckGains.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <numbers>

namespace vx {

namespace {

// The automatic crossfade's tick, seconds.
constexpr double kXFadeTick = 1.0 / 15.0;
// Headphone fade ramp, frames.
constexpr int kHeadphoneFadeFrames = 1024;
// EQ setter ramp, frames.
constexpr int kEqRampFrames = 25;
// The EQ's range: +20 dB at the top of a slider, −50 dB at the bottom.
constexpr float kEqBoostDb = 20.0f;
constexpr float kEqCutDb = 50.0f;
// Settings' values when missing (the application writes them at its first start).
constexpr int64_t kLinearCurve = 1;
constexpr int64_t kCosineCurve = 2;
constexpr float kDefaultDipCorrection = 1.0f;
constexpr double kDefaultXFadeTime = 4.5;

// EQ slider (0…1, 0.5 = flat) to dB. The low band follows a signed square, mid and high a
// cube, so the region around flat is fine-grained; cuts reach further than boosts.
float eqSliderToDb(float slider, bool lowBand) {
    const float v = 2.0f * slider - 1.0f;
    const float t = lowBand ? v * std::fabs(v) : v * v * v;
    return t >= 0.0f ? t * kEqBoostDb : t * kEqCutDb;
}

// dB back to the slider position: the exact inverse of eqSliderToDb.
float eqDbToSlider(float db, bool lowBand) {
    const float u = db >= 0.0f ? db / kEqBoostDb : db / kEqCutDb;
    const float t = lowBand ? std::copysign(std::sqrt(std::fabs(u)), u) : std::cbrt(u);
    return (t + 1.0f) / 2.0f;
}

std::string formatted(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string formattedInt(const char* format, int value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The fader-gain pair (deck 0, deck 1) of a crossfader position for a curve setting.
std::pair<float, float> curveGains(float x, int64_t curve) {
    if (curve == kLinearCurve) {
        return {x, 1.0f - x};
    }
    if (curve == kCosineCurve) {
        // 5/π rather than π/2: a gain at its end stops just short of 1.
        constexpr float k = 5.0f / std::numbers::pi_v<float>;
        const float c0 = std::cos(x * k);
        const float c1 = std::cos((1.0f - x) * k);
        return {1.0f - c0 * c0, 1.0f - c1 * c1};
    }
    const float r = 1.0f - x;
    return {std::sqrt(1.0f - r * r), std::sqrt(1.0f - x * x)};
}

} // namespace

DeckMixer::DeckMixer(SampleTestController& owner, DeckContext& context)
    : DeckPart(owner, context) {}

// --- set-up -----------------------------------------------------------------------------

void DeckMixer::wire() {
    mainBalance_.setCanJump(true);
    mainBalance_.setEventHandler([this](AMSlider&, AMSlider::Event e) {
        switch (e) {
        case AMSlider::Event::ValueChanged:
            crossfade();
            break;
        case AMSlider::Event::TouchDownRepeat:
            doubleTapCrossfader();
            break;
        case AMSlider::Event::TouchUpInside:
            touchEndedCrossfader();
            break;
        default:
            break;
        }
    });
    const auto onValue = [](auto handler) {
        return [handler](AMSlider& s, AMSlider::Event e) {
            if (e == AMSlider::Event::ValueChanged) {
                handler(s.tag());
            }
        };
    };
    for (int d = 0; d < 2; ++d) {
        const size_t i = size_t(d);
        volSlider_[i].setTag(d);
        volSlider_[i].setEventHandler(onValue([this](int t) { volValue(t); }));
        volGainSlider_[i].setTag(d);
        volGainSlider_[i].setEventHandler(onValue([this](int t) { volValueGain(t); }));
        volGlobalSlider_[i].setTag(d);
        volGlobalSlider_[i].setEventHandler(onValue([this](int t) { volValueGlobal(t); }));
        lphpSlider_[i].setTag(d);
        lphpSlider_[i].setEventHandler(onValue([this](int t) { lphpSet(t); }));
        for (AMSlider& eq : eqSlider_[i]) {
            eq.setTag(d);
            eq.setCanJump(true);
        }
        eqSlider_[i][0].setEventHandler(onValue([this](int t) { eq1Value(t); }));
        eqSlider_[i][1].setEventHandler(onValue([this](int t) { eq2Value(t); }));
        eqSlider_[i][2].setEventHandler(onValue([this](int t) { eq3Value(t); }));
        fxController_[i].setTag(d);
        fxController_[i].setEventHandler([this](FXController& c, FXController::Event e) {
            switch (e) {
            case FXController::Event::TouchDown:
                fxDown(c.tag());
                break;
            case FXController::Event::ValueChanged:
                fx1Value(c.tag());
                break;
            case FXController::Event::TouchUp:
            case FXController::Event::TouchCancel:
                fxUp(c.tag());
                break;
            }
        });
    }
    // A newly loaded track brings its own LP/HP position.
    notifications_.addObserver(&owner_, "fileOpened", [this](const Notification& n) {
        const int* d = std::get_if<int>(&n.object);
        if (d && engine_.initialized()) {
            lphpSlider_[size_t(*d & 1)].setValue(deck(*d).lphpPosition.load());
        }
    });
    mainBalance_.setValue(0.5f);
    setCrossfade(0.5f);
    updateMixerSliders();
}

// --- crossfader -------------------------------------------------------------------------

void DeckMixer::crossfade() {
    setCrossfade(mainBalance_.value());
}

void DeckMixer::readSettings() {
    mixerSettings_ = {
        .stopProofLock = defaults_.boolForKey("kStopProofLock", false),
        .fadeCurve = defaults_.integerForKey("kFadeCurve", kLinearCurve),
        .dipCorrection = defaults_.floatForKey("kDipCorrection", kDefaultDipCorrection),
        .autoEqEnabled = defaults_.boolForKey("kAutoEqEnabled", false),
        .xFadeTime = defaults_.doubleForKey("kXFadeTime", kDefaultXFadeTime),
    };
}

void DeckMixer::setCrossfade(float x) {
    // A deck alone on air may be protected from stopping (the waveform and the brake leave it
    // alone while it plays).
    stopProof_ = {false, false};
    if (mixerSettings_.stopProofLock) {
        stopProof_[0] = x == 1.0f;
        stopProof_[1] = x == 0.0f;
    }
    auto [g0, g1] = curveGains(x, mixerSettings_.fadeCurve);
    // Centre boost against the dip of the summed level in the middle of the fade.
    const float dip = mixerSettings_.dipCorrection;
    const float boost = 1.0f + (0.5f - std::fabs(x - 0.5f)) * dip;
    if (engine_.initialized()) {
        deckSetFaderGain(deck(0), g0 * boost);
        deckSetFaderGain(deck(1), g1 * boost);
        deck(0).ignoreZeroSpeed.store(x == 1.0f);
        deck(1).ignoreZeroSpeed.store(x == 0.0f);
    }
    if (mixerSettings_.autoEqEnabled) {
        setEq1(0.5f - 0.5f * x, 1);
        setEq3(0.5f + 0.5f * x, 1);
        setEq1(0.5f * x, 0);
        setEq3(1.0f - 0.5f * x, 0);
    }
}

void DeckMixer::mixerScreenShown() {
    if (engine_.initialized()) {
        deckSetFaderGain(deck(0), 1.0f);
        deckSetFaderGain(deck(1), 1.0f);
    }
}

void DeckMixer::doubleTapCrossfader() {
    const float v = mainBalance_.value();
    if (v != 0.0f && v != 1.0f) {
        return;
    }
    autoMixOn_ = true;
    beginFadeTo(v == 1.0f ? 1 : 0, mixerSettings_.xFadeTime);
}

void DeckMixer::touchEndedCrossfader() {
    // Right half: deck 0's browser; left half: deck 1's.
    owner_.eject(mainBalance_.lastPoint().x > mainBalance_.width() / 2.0f ? 0 : 1);
}

void DeckMixer::beginFadeTo(int d, double seconds) {
    notifications_.post("autoXFadeBegins");
    targetXFade_ = (d & 1) == 0 ? 1.0f : 0.0f;
    // A fade shorter than one tick takes one tick.
    const double ticks = std::max(seconds / kXFadeTick, 1.0);
    stepXFade_ = float((targetXFade_ - mainBalance_.value()) / ticks);
    XFChangeTimer_.handle.invalidate();
    XFChangeTimer_.handle = loop_.every(kXFadeTick, [this] { doXFChange(); });
}

void DeckMixer::doXFChange() {
    if (!(host_ && host_->partyMode()) && !autoMixOn_) {
        XFChangeTimer_.handle.invalidate();
        notifications_.post("autoXFadeStop");
        return;
    }
    const float v = std::clamp(mainBalance_.value() + stepXFade_, 0.0f, 1.0f);
    mainBalance_.setValue(v);
    setCrossfade(v);
    if (v <= 0.0f || v >= 1.0f) {
        XFChangeTimer_.handle.invalidate();
        autoMixOn_ = false;
        notifications_.post("autoXFadeStop");
    }
}

void DeckMixer::hpFade(float value) {
    if (!engine_.initialized()) {
        return;
    }
    setHeadphoneFade(deck(1), value, kHeadphoneFadeFrames);
    setHeadphoneFade(deck(0), 1.0f - value, kHeadphoneFadeFrames);
}

// --- volume panel -----------------------------------------------------------------------

void DeckMixer::volOnOff(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    DeckViewState& v = views_[size_t(d)];
    v.eqPanel.selected = false;
    v.volumePanel.selected = !v.volumePanel.selected;
    v.fxPanel.selected = false;
    static constexpr int kAll[] = {0, 1, 2, 3, 4, 5, 6};
    setFxSlots(d, -1, kAll, 7);
    owner_.checkPlayStop();
    owner_.updateSliders();
}

void DeckMixer::volValue(int d) {
    if (engine_.initialized()) {
        deckSetTrimGain(deck(d), volSlider_[size_t(d & 1)].value());
    }
}

void DeckMixer::volValueGain(int d) {
    if (engine_.initialized()) {
        deckSetVolume(deck(d), 2.0f * volGainSlider_[size_t(d & 1)].value());
    }
}

void DeckMixer::volReset(int d) {
    if (!engine_.initialized()) {
        return;
    }
    audioStream& s = deck(d);
    std::shared_ptr<peakFileData> peaks;
    peaks = s.peakData();
    // The gain the analysis found for the track; unity until it has one.
    deckSetVolume(s, peaks ? float(peaks->gain.load()) : 1.0f);
    deckSetTrimGain(s, 1.0f);
    owner_.updateSliders();
}

void DeckMixer::volValueGlobal(int sliderTag) {
    const float value = volGlobalSlider_[size_t(sliderTag & 1)].value();
    if (engine_.initialized()) {
        engine_.setGain(value);
    }
    volGlobalSlider_[sliderTag == 1 ? 0 : 1].setValue(value);
}

// --- EQ ---------------------------------------------------------------------------------

void DeckMixer::eqOnOff(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    DeckViewState& v = views_[size_t(d)];
    // The automatic EQ owns the bands while it is on: the panel stays closed.
    v.eqPanel.selected = mixerSettings_.autoEqEnabled ? false : !v.eqPanel.selected;
    v.volumePanel.selected = false;
    owner_.tempo().closeBpmPad();
    v.fxPanel.selected = false;
    static constexpr int kTimed[] = {1, 2, 3};
    setFxSlots(d, -1, kTimed, 3);
    owner_.checkPlayStop();
    updateEqSlidersForSide(d);
}

void DeckMixer::eq1Value(int d) {
    setEq1(eqSlider_[size_t(d & 1)][0].value(), d);
}

void DeckMixer::eq2Value(int d) {
    setEq2(eqSlider_[size_t(d & 1)][1].value(), d);
}

void DeckMixer::eq3Value(int d) {
    setEq3(eqSlider_[size_t(d & 1)][2].value(), d);
}

void DeckMixer::setEq1(float sliderValue, int d) {
    if (engine_.initialized()) {
        deckSetEqLow(deck(d), eqSliderToDb(sliderValue, true), kEqRampFrames);
    }
}

void DeckMixer::setEq2(float sliderValue, int d) {
    if (engine_.initialized()) {
        deckSetEqMid(deck(d), eqSliderToDb(sliderValue, false), kEqRampFrames);
    }
}

void DeckMixer::setEq3(float sliderValue, int d) {
    if (engine_.initialized()) {
        deckSetEqHigh(deck(d), eqSliderToDb(sliderValue, false), kEqRampFrames);
    }
}

void DeckMixer::resetEq(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (engine_.initialized()) {
        deckSetEqLow(deck(d), 0.0f, kEqRampFrames);
        deckSetEqMid(deck(d), 0.0f, kEqRampFrames);
        deckSetEqHigh(deck(d), 0.0f, kEqRampFrames);
    }
    for (AMSlider& s : eqSlider_[size_t(d)]) {
        s.setValue(0.5f);
    }
}

void DeckMixer::updateEqSlidersForSide(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (!engine_.initialized()) {
        return;
    }
    const audioStream& s = deck(d);
    auto& sliders = eqSlider_[size_t(d)];
    sliders[0].setValue(eqDbToSlider(s.eqLowDb.load(), true));
    sliders[1].setValue(eqDbToSlider(s.eqMidDb.load(), false));
    sliders[2].setValue(eqDbToSlider(s.eqHighDb.load(), false));
}

void DeckMixer::updateMixerSliders() {
    if (!engine_.initialized()) {
        return;
    }
    for (int d = 0; d < 2; ++d) {
        const size_t i = size_t(d);
        const audioStream& s = deck(d);
        volSlider_[i].setValue(s.trimGain.load());
        volGainSlider_[i].setValue(s.volume.load() / 2.0f);
        lphpSlider_[i].setValue(s.lphpPosition.load());
        updateEqSlidersForSide(d);
    }
    // The engine may start above the sliders' range (its start-up gain is not a slider value).
    const float master = std::clamp(engine_.getGain(), 0.0f, 1.0f);
    volGlobalSlider_[0].setValue(master);
    volGlobalSlider_[1].setValue(master);
}

// --- LP/HP ------------------------------------------------------------------------------

void DeckMixer::lphpSet(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const float value = lphpSlider_[size_t(d)].value();
    views_[size_t(d)].lphpSliderValue = value;
    if (engine_.initialized()) {
        deckSetLphp(deck(d), value);
    }
}

void DeckMixer::lphpReset(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    lphpSlider_[size_t(d)].setValue(0.5f);
    views_[size_t(d)].lphpSliderValue = 0.5f;
    if (engine_.initialized()) {
        deckSetLphp(deck(d), 0.5f);
    }
}

// --- effects ----------------------------------------------------------------------------

void DeckMixer::setFxSlots(int d, int enabledSlot, const int* offSlots, int offCount) {
    if (!engine_.initialized()) {
        return;
    }
    audioStream& s = deck(d);
    std::lock_guard lock(*s.engineLock);
    if (enabledSlot >= 0) {
        deckSetFxEnabled(s, enabledSlot, true);
        switch (enabledSlot) {
        case kFxFilter:
            s.xyFilter[0]->reset();
            s.xyFilter[1]->reset();
            break;
        case kFxDelay:
            deckResetDelay(s);
            break;
        case kFxGate:
            deckResetGate(s);
            break;
        case kFxRepeater:
            deckResetRepeater(s);
            break;
        default:
            break; // phaser, chorus and bitcrusher start as they are
        }
    }
    for (int i = 0; i < offCount; ++i) {
        deckSetFxEnabled(s, offSlots[i], false);
    }
}

void DeckMixer::fxOnOff(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    DeckViewState& v = views_[size_t(d)];
    v.volumePanel.selected = false;
    v.eqPanel.selected = false;
    v.fxPanel.selected = !v.fxPanel.selected;
    owner_.checkPlayStop();
    if (!v.fxPanel.selected) {
        static constexpr int kAll[] = {0, 1, 2, 3, 4, 5, 6};
        setFxSlots(d, -1, kAll, 7);
    } else {
        toCurrentFX(d);
    }
    updateLabels(d);
    owner_.tempo().closeBpmPad();
    owner_.checkPlayStop();
}

void DeckMixer::prevFX(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    currentFXNo_[size_t(d)] = (currentFXNo_[size_t(d)] + kFxSlotCount - 1) % kFxSlotCount;
    toCurrentFX(d);
}

void DeckMixer::nextFX(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    currentFXNo_[size_t(d)] = (currentFXNo_[size_t(d)] + 1) % kFxSlotCount;
    toCurrentFX(d);
}

void DeckMixer::toCurrentFX(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const int slot = currentFXNo_[size_t(d)];
    if (slot >= 0 && slot < kFxSlotCount) {
        fxAction(slot, d);
    }
}

void DeckMixer::fxAction(int slot, int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (slot < 0 || slot >= kFxSlotCount) {
        return;
    }
    currentFXNo_[size_t(d)] = slot;
    int others[kFxSlotCount - 1];
    int n = 0;
    for (int i = 0; i < kFxSlotCount; ++i) {
        if (i != slot) {
            others[n++] = i;
        }
    }
    setFxSlots(d, slot, others, n);
    effectLabel_[size_t(d)].text = fxSlotLabel(slot);
    updateLabels(d);
}

void DeckMixer::fxDown(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (engine_.initialized()) {
        std::lock_guard lock(*deck(d).engineLock);
        deckSetFxEngaged(deck(d), true);
    }
    effectLabelGreen_[size_t(d)] = true;
}

void DeckMixer::fxUp(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (engine_.initialized()) {
        std::lock_guard lock(*deck(d).engineLock);
        deckSetFxEngaged(deck(d), false);
    }
    effectLabelGreen_[size_t(d)] = false;
}

void DeckMixer::fx1Value(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    if (engine_.initialized()) {
        const FXController& pad = fxController_[size_t(d)];
        std::lock_guard lock(*deck(d).engineLock);
        deckSetFxXY(deck(d), pad.xParam(), pad.yParam());
    }
    updateLabels(d);
}

void DeckMixer::updateLabels(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    const FXController& pad = fxController_[size_t(d)];
    const float x = pad.xParam();
    const float y = pad.yParam();
    int timed = -1; // the first enabled beat-timed slot decides the read-outs
    if (engine_.initialized()) {
        for (int slot : {int(kFxDelay), int(kFxGate), int(kFxRepeater)}) {
            if (deckFxEnabled(deck(d), slot)) {
                timed = slot;
                break;
            }
        }
    }
    // Note values as the denominator of a bar fraction; the pad selects one by rounding.
    static constexpr int kDelayNotes[] = {16, 8, 4, 2, 1};
    static constexpr int kGateNotes[] = {8, 4, 2};
    static constexpr int kRepeaterNotes[] = {2, 4, 8, 16, 32};
    static constexpr int kRepeats[] = {1, 2, 4, 6, 8};
    const auto pick = [](float v, int steps) {
        return std::clamp(int(std::lround(v * float(steps))), 0, steps);
    };
    std::string xText;
    std::string yText;
    switch (timed) {
    case kFxDelay:
        xText = formattedInt("1/%i", kDelayNotes[pick(x, 4)]);
        yText = formatted("%3.1f%%", 100.0 * y);
        break;
    case kFxGate:
        xText = formattedInt("1/%i", kGateNotes[pick(x, 2)]);
        yText = formatted("%3.1f%%", 100.0);
        break;
    case kFxRepeater:
        xText = formattedInt("1/%i", kRepeaterNotes[pick(x, 4)]);
        yText = formattedInt("%i", kRepeats[pick(y, 4)]);
        break;
    default:
        xText = formatted("%3.1f%%", 100.0 * x);
        yText = formatted("%3.1f%%", 100.0 * y);
        break;
    }
    xLabel_[size_t(d)].text = xText;
    yLabel_[size_t(d)].text = yText;
}

} // namespace vx
