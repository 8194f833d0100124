// The mixing screen's mixer: crossfader curves and centre boost, the deck alone on air, the
// automatic EQ and crossfade, volume, EQ and LP/HP panels and the effect panel, on real decks
// (offline device) with the screen's timers on a manual clock.

#include "dsp/DspTestSignals.h"
#include "engine/EngineFixture.h"
#include "support/TempDir.h"
#include "support/TrackRecord.h"

#include "analysis/peakFileData.h"
#include "deck/SampleTestController.h"
#include "dsp/AMRepeater.h"
#include "dsp/MDelay.h"
#include "dsp/mirel_extraLP.h"
#include "engine/DeckEffects.h"
#include "engine/DeckSpeed.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include "FakeHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace vx {
namespace {

using test::Engine;

constexpr int32_t kFrames = 400 * 256;

class SampleTestControllerMixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.ok);
        test::loadGenerated(deck0(), kFrames, test::sine(330.0));
        vx::test::setPeaks(deck0(), peakFileData::create(kFrames / 256));
        notifications.addObserver(this, "autoXFadeBegins",
                                  [this](const Notification&) { posted.push_back("begins"); });
        notifications.addObserver(this, "autoXFadeStop",
                                  [this](const Notification&) { posted.push_back("stop"); });
        host.tablet = true; // the browser opens in a popover: touches stay on
        controller = std::make_unique<SampleTestController>(engine.out, nullptr, defaults,
                                                            notifications, loop, &host);
    }
    void TearDown() override { notifications.removeObserver(this); }

    audioStream& deck0() { return engine.out.deck(0); }
    audioStream& deck1() { return engine.out.deck(1); }
    float gain(int d) { return engine.out.deck(d).faderGain.load(); }
    void crossfadeTo(float x) {
        controller->mainBalance().setValue(x);
        controller->crossfade();
    }
    bool fxOn(audioStream& s, int slot) {
        return slot == kFxFilter ? s.fxFilterOn.load() : deckFxEnabled(s, slot);
    }
    std::vector<int> enabledSlots(audioStream& s) {
        std::vector<int> on;
        for (int slot = 0; slot < kFxSlotCount; ++slot) {
            if (fxOn(s, slot)) {
                on.push_back(slot);
            }
        }
        return on;
    }
    // Plays deck 0 and renders until its level has settled; returns the RMS of the last half.
    double steadyLevel() {
        const std::vector<float> out = engine.render(8192);
        return test::rms(out.data() + out.size() / 2, int(out.size() / 2));
    }

    Engine engine{256};
    test::TempDir dir;
    UserDefaults defaults{dir.file("settings.json")};
    ManualClock clock;
    RunLoop loop{clock};
    NotificationCenter notifications{loop};
    test::FakeHost host;
    std::vector<std::string> posted;
    std::unique_ptr<SampleTestController> controller;
};

// --- crossfader ---------------------------------------------------------------------------

// Curve 1 is linear, 2 cosine-shaped with 5/π (just short of 1 at the ends), any other constant
// power. The centre boost multiplies both gains by 1 + (0.5 − |x − 0.5|) × dip.
TEST_F(SampleTestControllerMixerTest, CrossfadeCurvesAndTheCentreBoost) {
    const struct {
        int curve;
        float dip, x;
        float g0, g1;
    } cases[] = {{1, 0.0f, 0.0f, 0.0f, 1.0f},
                 {1, 0.0f, 0.25f, 0.25f, 0.75f},
                 {1, 0.0f, 0.5f, 0.5f, 0.5f},
                 {1, 0.0f, 1.0f, 1.0f, 0.0f},
                 {2, 0.0f, 0.0f, 0.0f, 0.9995694f},
                 {2, 0.0f, 0.25f, 0.1501342f, 0.8643863f},
                 {2, 0.0f, 0.5f, 0.5103758f, 0.5103758f},
                 {2, 0.0f, 0.75f, 0.8643863f, 0.1501342f},
                 {2, 0.0f, 1.0f, 0.9995694f, 0.0f},
                 {0, 0.0f, 0.0f, 0.0f, 1.0f},
                 {0, 0.0f, 0.25f, 0.6614378f, 0.9682458f},
                 {0, 0.0f, 0.5f, 0.8660254f, 0.8660254f},
                 {7, 0.0f, 0.75f, 0.9682458f, 0.6614378f},
                 {0, 0.0f, 1.0f, 1.0f, 0.0f},
                 {1, 1.0f, 0.5f, 0.75f, 0.75f},
                 {1, 0.6f, 0.5f, 0.65f, 0.65f},
                 {1, 1.0f, 0.25f, 0.3125f, 0.9375f},
                 {1, 1.0f, 0.75f, 0.9375f, 0.3125f},
                 {1, 1.0f, 1.0f, 1.0f, 0.0f},
                 {1, 2.0f, 0.0f, 0.0f, 1.0f}};
    // Out of the box: centred, linear, full centre boost.
    EXPECT_EQ(controller->mainBalance().value(), 0.5f);
    EXPECT_FLOAT_EQ(gain(0), 0.75f);
    EXPECT_FLOAT_EQ(gain(1), 0.75f);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "curve " << c.curve << " dip " << c.dip << " x " << c.x);
        defaults.setInteger("kFadeCurve", c.curve);
        notifications.postNow("settingChanged", std::string("kFadeCurve"));
        defaults.setFloat("kDipCorrection", c.dip);
        notifications.postNow("settingChanged", std::string("kDipCorrection"));
        controller->setCrossfade(c.x);
        const float tolerance = c.dip > 0.0f ? 1e-6f : 2e-6f; // the curves' figures are rounded
        EXPECT_NEAR(gain(0), c.g0, tolerance);
        EXPECT_NEAR(gain(1), c.g1, tolerance);
    }
}

TEST_F(SampleTestControllerMixerTest, ShowingTheScreenOpensBothFaders) {
    controller->setCrossfade(1.0f);
    controller->mixerScreenShown();
    EXPECT_EQ(gain(0), 1.0f);
    EXPECT_EQ(gain(1), 1.0f);
}

TEST_F(SampleTestControllerMixerTest, TheDeckAloneOnAirIsProtectedOnlyAtTheVeryEnd) {
    defaults.setBool("kStopProofLock", true);
    notifications.postNow("settingChanged", std::string("kStopProofLock"));
    controller->setCrossfade(1.0f);
    EXPECT_TRUE(controller->stopProof(0));
    EXPECT_FALSE(controller->stopProof(1));
    EXPECT_TRUE(deck0().ignoreZeroSpeed.load());
    EXPECT_FALSE(deck1().ignoreZeroSpeed.load());
    controller->setCrossfade(0.999f);
    EXPECT_FALSE(controller->stopProof(0));
    EXPECT_FALSE(controller->stopProof(1));
    EXPECT_FALSE(deck0().ignoreZeroSpeed.load());
    controller->setCrossfade(0.0f);
    EXPECT_FALSE(controller->stopProof(0));
    EXPECT_TRUE(controller->stopProof(1));
    EXPECT_TRUE(deck1().ignoreZeroSpeed.load());
    EXPECT_FALSE(deck0().ignoreZeroSpeed.load());

    // Without the setting nothing is protected, but the engine still keeps the deck alone on
    // air from being braked to a halt.
    defaults.setBool("kStopProofLock", false);
    notifications.postNow("settingChanged", std::string("kStopProofLock"));
    controller->setCrossfade(1.0f);
    EXPECT_FALSE(controller->stopProof(0));
    EXPECT_TRUE(deck0().ignoreZeroSpeed.load());
}

TEST_F(SampleTestControllerMixerTest, TheBrakeLeavesTheDeckAloneOnAirPlaying) {
    engine.playPlain(0);
    crossfadeTo(1.0f);
    controller->breakActionUp(1024);
    engine.render(4096);
    EXPECT_EQ(deck0().speed.load(), 1.0);
    const double at = deck0().position.load();
    engine.render(1024);
    EXPECT_NEAR(deck0().position.load() - at, 1024.0, 1.0);

    crossfadeTo(0.999f); // both on air: the brake stops it
    controller->breakActionUp(1024);
    engine.render(4096);
    const double stoppedAt = deck0().position.load();
    engine.render(1024);
    EXPECT_LT(deck0().position.load() - stoppedAt, 1.0);
}

struct AutoEqCase {
    float x;
    float low1, high1, low0, high0; // dB
};

TEST_F(SampleTestControllerMixerTest, AutoEqSwapsBassAndTrebleWithTheCrossfader) {
    defaults.setBool("kAutoEqEnabled", true);
    notifications.postNow("settingChanged", std::string("kAutoEqEnabled"));
    deckSetEqMid(deck0(), -7.0f, 25);
    const AutoEqCase cases[] = {
        {1.0f, -50.0f, 20.0f, 0.0f, 0.0f},
        {0.0f, 0.0f, 0.0f, -50.0f, 20.0f},
        {0.5f, -12.5f, 2.5f, -12.5f, 2.5f},
        // Sliders 0.375 / 0.625 / 0.125 / 0.875.
        {0.25f, -3.125f, 0.3125f, -28.125f, 8.4375f},
    };
    for (const AutoEqCase& c : cases) {
        controller->setCrossfade(c.x);
        EXPECT_NEAR(deck1().eqLowDb.load(), c.low1, 1e-4f) << c.x;
        EXPECT_NEAR(deck1().eqHighDb.load(), c.high1, 1e-4f) << c.x;
        EXPECT_NEAR(deck0().eqLowDb.load(), c.low0, 1e-4f) << c.x;
        EXPECT_NEAR(deck0().eqHighDb.load(), c.high0, 1e-4f) << c.x;
    }
    EXPECT_EQ(deck0().eqMidDb.load(), -7.0f); // the mid band is left alone
    EXPECT_EQ(deck1().eqMidDb.load(), 0.0f);

    // The EQ panel stays closed while the automatic EQ runs.
    controller->eqOnOff(0);
    EXPECT_FALSE(controller->view(0).eqPanel.selected);
    defaults.setBool("kAutoEqEnabled", false);
    notifications.postNow("settingChanged", std::string("kAutoEqEnabled"));
    controller->eqOnOff(0);
    EXPECT_TRUE(controller->view(0).eqPanel.selected);
}

TEST_F(SampleTestControllerMixerTest, ADoubleTapAtAnEndFadesToTheOtherInKXFadeTime) {
    crossfadeTo(0.4f);
    controller->doubleTapCrossfader();
    EXPECT_FALSE(controller->xFadeRunning());
    EXPECT_FALSE(controller->autoMixOn());

    crossfadeTo(1.0f);
    controller->doubleTapCrossfader(); // default 4.5 s: 67.5 ticks of 1/15 s
    EXPECT_TRUE(controller->autoMixOn());
    EXPECT_TRUE(controller->xFadeRunning());
    EXPECT_EQ(controller->targetXFade(), 0.0f);
    EXPECT_FLOAT_EQ(controller->stepXFade(), -1.0f / 67.5f);
    loop.runFor(67.0 / 15.0 + 0.01);
    EXPECT_TRUE(controller->xFadeRunning());
    EXPECT_NEAR(controller->mainBalance().value(), 0.5f / 67.5f, 1e-5f);
    EXPECT_EQ(posted, (std::vector<std::string>{"begins"}));
    loop.runFor(1.0 / 15.0);
    EXPECT_FALSE(controller->xFadeRunning());
    EXPECT_FALSE(controller->autoMixOn());
    EXPECT_EQ(controller->mainBalance().value(), 0.0f);
    EXPECT_EQ(gain(0), 0.0f);
    EXPECT_EQ(gain(1), 1.0f);
    loop.runFor(1.0);
    EXPECT_EQ(posted, (std::vector<std::string>{"begins", "stop"}));

    // And back from 0.0 towards deck 0, over a shorter time: 2.25 s = 33.75 ticks.
    defaults.setDouble("kXFadeTime", 2.25);
    notifications.postNow("settingChanged", std::string("kXFadeTime"));
    controller->doubleTapCrossfader();
    EXPECT_EQ(controller->targetXFade(), 1.0f);
    loop.runFor(33.0 / 15.0 + 0.01);
    EXPECT_LT(controller->mainBalance().value(), 1.0f);
    loop.runFor(1.0 / 15.0);
    EXPECT_EQ(controller->mainBalance().value(), 1.0f);
    EXPECT_FALSE(controller->xFadeRunning());
    EXPECT_EQ(gain(0), 1.0f);
}

TEST_F(SampleTestControllerMixerTest, TheAutomaticFadeStopsWhenNobodyOwnsIt) {
    crossfadeTo(1.0f);
    controller->beginFadeTo(1, 1.0); // not started by a double tap: autoMixOn is off
    loop.runFor(1.0 / 15.0);
    EXPECT_FALSE(controller->xFadeRunning());
    EXPECT_EQ(controller->mainBalance().value(), 1.0f);
    loop.runDue();
    EXPECT_EQ(posted, (std::vector<std::string>{"begins", "stop"}));

    // Party mode keeps it running.
    posted.clear();
    host.party = true;
    controller->beginFadeTo(1, 1.0);
    loop.runFor(1.2); // 15 steps of 1/15, one more if rounding leaves a sliver
    EXPECT_EQ(controller->mainBalance().value(), 0.0f);
    EXPECT_FALSE(controller->xFadeRunning());
    EXPECT_EQ(posted, (std::vector<std::string>{"begins", "stop"}));
}

TEST_F(SampleTestControllerMixerTest, CrossfaderGesturesFromTouches) {
    AMSlider& xf = controller->mainBalance();
    xf.setFrame(300, 40);
    xf.setPointerSize(30, 30);
    crossfadeTo(0.5f); // pointer spans 135…165
    // A touch beside the pointer and its zones opens that side's browser.
    xf.touchBegan({230, 20}, 0.0);
    xf.touchEnded({230, 20}, 0.05);
    xf.touchBegan({60, 20}, 1.0);
    xf.touchEnded({60, 20}, 1.05);
    loop.runFor(0.1);
    EXPECT_EQ(host.browserFor, (std::vector<int>{0, 1}));

    // A drag on the pointer moves the faders.
    xf.touchBegan({150, 20}, 2.0);
    xf.touchMoved({195, 20}, 2.1); // +45 of 270 points
    xf.touchEnded({195, 20}, 2.2);
    EXPECT_NEAR(xf.value(), 0.5f + 45.0f / 270.0f, 1e-6f);
    EXPECT_GT(gain(0), gain(1));

    // The right-end zone jumps to 1.0; a quick second tap there starts the fade.
    xf.touchBegan({290, 20}, 3.0);
    EXPECT_EQ(xf.value(), 1.0f);
    EXPECT_FLOAT_EQ(gain(0), 1.0f);
    xf.touchEnded({290, 20}, 3.05);
    xf.touchBegan({290, 20}, 3.2);
    xf.touchEnded({290, 20}, 3.25);
    EXPECT_TRUE(controller->xFadeRunning());
    EXPECT_EQ(host.browserFor.size(), 2u);
}

TEST_F(SampleTestControllerMixerTest, HeadphoneFadeSplitsBetweenTheDecks) {
    controller->hpFade(0.25f);
    EXPECT_EQ(deck1().hpFadeRamp.to.load(), 0.25f);
    EXPECT_EQ(deck0().hpFadeRamp.to.load(), 0.75f);
    EXPECT_EQ(deck0().hpFadeRamp.count.load(), 1024);
}

// --- volume -------------------------------------------------------------------------------

TEST_F(SampleTestControllerMixerTest, VolumeSlidersSetTrimVolumeAndMaster) {
    controller->volSlider(0).setValue(0.3f);
    controller->volValue(0);
    EXPECT_FLOAT_EQ(deck0().trimGain.load(), 0.3f);
    controller->volGainSlider(0).setValue(0.8f);
    controller->volValueGain(0);
    EXPECT_FLOAT_EQ(deck0().volume.load(), 1.6f);
    EXPECT_FLOAT_EQ(deck1().volume.load(), 1.0f);

    controller->volGlobalSlider(1).setValue(0.4f);
    controller->volValueGlobal(1);
    EXPECT_NEAR(engine.out.getGain(), 0.4f, 1e-6f);
    EXPECT_EQ(controller->volGlobalSlider(0).value(), 0.4f); // the other copy follows
    controller->volGlobalSlider(0).setValue(0.9f);
    controller->volValueGlobal(0);
    EXPECT_EQ(controller->volGlobalSlider(1).value(), 0.9f);

    // Reset: the analysed track gain and a unity fader, shown on the sliders.
    deck0().peakData()->gain.store(0.7);
    controller->volReset(0);
    EXPECT_FLOAT_EQ(deck0().volume.load(), 0.7f);
    EXPECT_EQ(deck0().trimGain.load(), 1.0f);
    EXPECT_EQ(controller->volSlider(0).value(), 1.0f);
    EXPECT_FLOAT_EQ(controller->volGainSlider(0).value(), 0.35f);
    EXPECT_NEAR(controller->volGlobalSlider(0).value(), 0.9f, 1e-6f);
}

TEST_F(SampleTestControllerMixerTest, SliderTouchesReachTheEngine) {
    AMSlider& fader = controller->volSlider(0);
    fader.setHorizontal(false);
    fader.setFrame(40, 220);
    fader.setPointerSize(40, 20); // travel 200
    controller->updateSliders();  // unity trim: pointer at the top
    ASSERT_EQ(fader.value(), 1.0f);
    fader.touchBegan({20, 10}, 0.0);
    fader.touchMoved({20, 110}, 0.1); // half the travel down
    fader.touchEnded({20, 110}, 0.2);
    EXPECT_FLOAT_EQ(deck0().trimGain.load(), 0.5f);
}

TEST_F(SampleTestControllerMixerTest, GainsChangeTheRenderedLevel) {
    crossfadeTo(1.0f);
    controller->volGlobalSlider(0).setValue(1.0f);
    controller->volValueGlobal(0);
    engine.playPlain(0);
    const double full = steadyLevel();
    ASSERT_GT(full, 0.1);
    controller->volSlider(0).setValue(0.5f);
    controller->volValue(0);
    EXPECT_NEAR(steadyLevel() / full, 0.5, 0.005);
    controller->volGlobalSlider(0).setValue(0.5f);
    controller->volValueGlobal(0);
    EXPECT_NEAR(steadyLevel() / full, 0.25, 0.005);
    crossfadeTo(0.0f); // deck 1 only
    EXPECT_LT(steadyLevel(), 1e-6);
}

TEST_F(SampleTestControllerMixerTest, VolumePanelClosesTheOthersAndSwitchesAllEffectsOff) {
    controller->fxAction(kFxDelay, 0);
    controller->fxOnOff(0); // opens the effect panel (slot 0 chosen)
    ASSERT_TRUE(controller->view(0).fxPanel.selected);
    {
        std::lock_guard lock(*deck0().engineLock);
        deckSetFxEnabled(deck0(), kFxPhaser, true);
    }
    controller->volOnOff(0);
    EXPECT_TRUE(controller->view(0).volumePanel.selected);
    EXPECT_FALSE(controller->view(0).fxPanel.selected);
    EXPECT_TRUE(controller->view(0).play.hidden);
    EXPECT_TRUE(enabledSlots(deck0()).empty());
    controller->volOnOff(0);
    EXPECT_FALSE(controller->view(0).volumePanel.selected);
    EXPECT_FALSE(controller->view(0).play.hidden);
}

// --- EQ -----------------------------------------------------------------------------------

struct EqCase {
    float slider;
    float lowDb;
    float midHighDb;
};

TEST_F(SampleTestControllerMixerTest, EqSliderToDecibelsAndBack) {
    const EqCase cases[] = {
        {0.0f, -50.0f, -50.0f},    {0.125f, -28.125f, -21.09375f}, {0.25f, -12.5f, -6.25f},
        {0.5f, 0.0f, 0.0f},        {0.625f, 1.25f, 0.3125f},       {0.75f, 5.0f, 2.5f},
        {0.875f, 11.25f, 8.4375f}, {1.0f, 20.0f, 20.0f},
    };
    for (const EqCase& c : cases) {
        for (int band = 0; band < 3; ++band) {
            controller->eqSlider(0, band).setValue(c.slider);
        }
        controller->eq1Value(0);
        controller->eq2Value(0);
        controller->eq3Value(0);
        EXPECT_NEAR(deck0().eqLowDb.load(), c.lowDb, 1e-4f) << c.slider;
        EXPECT_NEAR(deck0().eqMidDb.load(), c.midHighDb, 1e-4f) << c.slider;
        EXPECT_NEAR(deck0().eqHighDb.load(), c.midHighDb, 1e-4f) << c.slider;
        for (int band = 0; band < 3; ++band) {
            controller->eqSlider(0, band).setValue(-1.0f);
        }
        controller->updateEqSlidersForSide(0);
        for (int band = 0; band < 3; ++band) {
            EXPECT_NEAR(controller->eqSlider(0, band).value(), c.slider, 1e-5f)
                << c.slider << " band " << band;
        }
    }
    // From the engine side: a gain set elsewhere shows on the sliders.
    deckSetEqLow(deck1(), -12.5f, 25);
    deckSetEqHigh(deck1(), 2.5f, 25);
    controller->updateSliders();
    EXPECT_NEAR(controller->eqSlider(1, 0).value(), 0.25f, 1e-6f);
    EXPECT_NEAR(controller->eqSlider(1, 1).value(), 0.5f, 1e-6f);
    EXPECT_NEAR(controller->eqSlider(1, 2).value(), 0.75f, 1e-6f);
}

TEST_F(SampleTestControllerMixerTest, ResetEqFlattensTheDeckAndItsSliders) {
    controller->setEq1(0.1f, 1);
    controller->setEq2(0.9f, 1);
    controller->setEq3(0.2f, 1);
    controller->setEq1(0.3f, 0);
    controller->resetEq(1);
    EXPECT_EQ(deck1().eqLowDb.load(), 0.0f);
    EXPECT_EQ(deck1().eqMidDb.load(), 0.0f);
    EXPECT_EQ(deck1().eqHighDb.load(), 0.0f);
    EXPECT_LT(deck0().eqLowDb.load(), -1.0f); // the other deck keeps its cut
    for (int band = 0; band < 3; ++band) {
        EXPECT_EQ(controller->eqSlider(1, band).value(), 0.5f);
    }
}

TEST_F(SampleTestControllerMixerTest, OpeningTheEqSwitchesOffOnlyTheTimedEffects) {
    controller->volOnOff(0);
    controller->bpmEnterOnOff(0);
    {
        std::lock_guard lock(*deck0().engineLock);
        for (int slot : {kFxFilter, kFxDelay, kFxGate, kFxRepeater, kFxPhaser}) {
            deckSetFxEnabled(deck0(), slot, true);
        }
    }

    ASSERT_EQ(controller->lastBpmSide(), 0);
    deckSetEqLow(deck0(), 5.0f, 25);
    controller->eqOnOff(0);
    EXPECT_EQ(enabledSlots(deck0()), (std::vector<int>{kFxFilter, kFxPhaser}));
    EXPECT_TRUE(controller->view(0).eqPanel.selected);
    EXPECT_FALSE(controller->view(0).volumePanel.selected);
    EXPECT_EQ(controller->lastBpmSide(), -1); // the BPM pad closed
    EXPECT_NEAR(controller->eqSlider(0, 0).value(), 0.75f, 1e-6f);
}

// --- LP/HP --------------------------------------------------------------------------------

TEST_F(SampleTestControllerMixerTest, LphpKnobDrivesTheFilterAndResets) {
    controller->lphpSlider(1).setValue(0.8f);
    controller->lphpSet(1);
    EXPECT_EQ(deck1().lphpRamp.to.load(), 0.8f);
    EXPECT_EQ(controller->view(1).lphpSliderValue, 0.8f);
    controller->lphpReset(1);
    EXPECT_EQ(deck1().lphpRamp.to.load(), 0.5f);
    EXPECT_EQ(controller->lphpSlider(1).value(), 0.5f);
    EXPECT_EQ(controller->view(1).lphpSliderValue, 0.5f);

    // A freshly opened track brings its filter position.
    deck0().lphpPosition.store(0.3f);
    notifications.post("fileOpened", 0);
    loop.runDue();
    EXPECT_EQ(controller->lphpSlider(0).value(), 0.3f);
}

// --- effects ------------------------------------------------------------------------------

TEST_F(SampleTestControllerMixerTest, EachEffectActionEnablesOneSlotAndShowsItsName) {
    const char* labels[] = {"FX1: FILTER", "FX2: DELAY",  "FX3: GATE",      "FX4: REPEATER",
                            "FX5: PHASER", "FX6: CHORUS", "FX7: BITCRUSHER"};
    for (int slot = 0; slot < kFxSlotCount; ++slot) {
        controller->fxAction(slot, 0);
        EXPECT_EQ(enabledSlots(deck0()), (std::vector<int>{slot}));
        EXPECT_EQ(controller->effectLabel(0).text, labels[slot]);
        EXPECT_EQ(controller->currentFXNo(0), slot);
        EXPECT_TRUE(enabledSlots(deck1()).empty());
    }
}

// Choosing a slot resets that slot's module (filter, delay, gate, repeater), and only it.
TEST_F(SampleTestControllerMixerTest, ChoosingAnEffectResetsItsModule) {
    audioStream& s = deck0();
    const auto dirty = [&s] {
        s.xyFilter[0]->x1 = 0.3f;
        s.xyFilter[1]->y1 = 0.2f;
        s.delay->lineL[100] = 0.5f;
        s.repeater->sliceL[10] = 0.5f;
        s.repeater->frameCounter = 1234;
    };
    dirty();
    controller->fxAction(kFxPhaser, 0); // no reset
    EXPECT_EQ(s.xyFilter[0]->x1, 0.3f);
    EXPECT_EQ(s.delay->lineL[100], 0.5f);
    EXPECT_EQ(s.repeater->sliceL[10], 0.5f);

    controller->fxAction(kFxFilter, 0);
    EXPECT_EQ(s.xyFilter[0]->x1, 0.0f);
    EXPECT_EQ(s.xyFilter[1]->y1, 0.0f);
    EXPECT_EQ(s.delay->lineL[100], 0.5f);

    dirty();
    controller->fxAction(kFxDelay, 0);
    EXPECT_EQ(s.delay->lineL[100], 0.0f);
    EXPECT_EQ(s.xyFilter[0]->x1, 0.3f);

    dirty();
    controller->fxAction(kFxRepeater, 0);
    EXPECT_EQ(s.repeater->sliceL[10], 0.0f);
    EXPECT_EQ(s.repeater->frameCounter, 0u);
    EXPECT_EQ(s.delay->lineL[100], 0.5f);
}

TEST_F(SampleTestControllerMixerTest, NextAndPreviousWrapAroundTheSevenSlots) {
    controller->prevFX(1);
    EXPECT_EQ(controller->currentFXNo(1), 6);
    EXPECT_EQ(controller->effectLabel(1).text, "FX7: BITCRUSHER");
    controller->nextFX(1);
    EXPECT_EQ(controller->currentFXNo(1), 0);
    EXPECT_EQ(enabledSlots(deck1()), (std::vector<int>{kFxFilter}));
    controller->nextFX(1);
    controller->nextFX(1);
    EXPECT_EQ(controller->currentFXNo(1), 2);
    EXPECT_EQ(controller->effectLabel(1).text, "FX3: GATE");
}

TEST_F(SampleTestControllerMixerTest, TheEffectPanelChoosesTheCurrentSlotAndClosingSwitchesAllOff) {
    controller->nextFX(0); // delay
    controller->fxOnOff(0);
    EXPECT_TRUE(controller->view(0).fxPanel.selected);
    EXPECT_TRUE(controller->view(0).play.hidden);
    EXPECT_EQ(enabledSlots(deck0()), (std::vector<int>{kFxDelay}));
    EXPECT_EQ(controller->effectLabel(0).text, "FX2: DELAY");
    controller->fxOnOff(0);
    EXPECT_FALSE(controller->view(0).fxPanel.selected);
    EXPECT_TRUE(enabledSlots(deck0()).empty());
    EXPECT_FALSE(controller->view(0).play.hidden);
}

struct ReadoutCase {
    int slot;
    float x, y;
    const char* xText;
    const char* yText;
};

TEST_F(SampleTestControllerMixerTest, ReadoutsFollowTheTimedEffect) {
    const ReadoutCase cases[] = {
        {kFxDelay, 0.0f, 0.5f, "1/16", "50.0%"},      {kFxDelay, 0.1f, 0.0f, "1/16", "0.0%"},
        {kFxDelay, 0.13f, 1.0f, "1/8", "100.0%"},     {kFxDelay, 0.5f, 0.25f, "1/4", "25.0%"},
        {kFxDelay, 0.75f, 0.5f, "1/2", "50.0%"},      {kFxDelay, 1.0f, 0.5f, "1/1", "50.0%"},
        {kFxGate, 0.0f, 0.3f, "1/8", "100.0%"},       {kFxGate, 0.5f, 0.3f, "1/4", "100.0%"},
        {kFxGate, 0.8f, 0.3f, "1/2", "100.0%"},       {kFxRepeater, 0.0f, 0.0f, "1/2", "1"},
        {kFxRepeater, 0.25f, 0.25f, "1/4", "2"},      {kFxRepeater, 0.5f, 0.5f, "1/8", "4"},
        {kFxRepeater, 0.75f, 0.75f, "1/16", "6"},     {kFxRepeater, 1.0f, 1.0f, "1/32", "8"},
        {kFxFilter, 0.25f, 0.755f, "25.0%", "75.5%"}, {kFxPhaser, 1.0f, 0.0f, "100.0%", "0.0%"},
    };
    for (const ReadoutCase& c : cases) {
        controller->fxAction(c.slot, 1);
        FXController& pad = controller->fxController(1);
        pad.setXParam(c.x);
        pad.setYParam(c.y);
        controller->updateLabels(1);
        EXPECT_EQ(controller->xLabel(1).text, c.xText) << c.slot << " " << c.x;
        EXPECT_EQ(controller->yLabel(1).text, c.yText) << c.slot << " " << c.y;
    }
}

TEST_F(SampleTestControllerMixerTest, ThePadEngagesMovesAndReleasesTheEffect) {
    controller->fxAction(kFxRepeater, 0);
    FXController& pad = controller->fxController(0);
    pad.setFrame(200, 100);
    pad.setPuckSize(20, 20);
    pad.touchBegan({10, 90}, 0.0); // bottom left: x 0, y 0
    EXPECT_TRUE(deck0().fxEngaged.load());
    EXPECT_TRUE(controller->effectLabelGreen(0));
    EXPECT_EQ(controller->xLabel(0).text, "1/2");
    EXPECT_EQ(controller->yLabel(0).text, "1");
    pad.touchMoved({190, 10}, 0.1); // top right
    EXPECT_EQ(deck0().repeater->repeatX, 1.0f);
    EXPECT_EQ(deck0().repeater->repeatY, 1.0f);
    EXPECT_EQ(controller->xLabel(0).text, "1/32");
    EXPECT_EQ(controller->yLabel(0).text, "8");
    pad.touchEnded({190, 10}, 0.2);
    EXPECT_FALSE(deck0().fxEngaged.load());
    EXPECT_FALSE(controller->effectLabelGreen(0));

    pad.touchBegan({100, 50}, 1.0);
    pad.touchCancelled(); // the system took the finger: the effect lets go too
    EXPECT_FALSE(deck0().fxEngaged.load());
}

// --- unloaded deck ------------------------------------------------------------------------

TEST_F(SampleTestControllerMixerTest, EveryHandlerIsHarmlessOnAnUnloadedDeck) {
    ASSERT_FALSE(deck1().isLoaded.load());
    using C = SampleTestController;
    for (auto handler : {&C::volOnOff, &C::volValue, &C::volValueGain, &C::volReset,
                         &C::volValueGlobal, &C::eqOnOff, &C::eq1Value, &C::eq2Value, &C::eq3Value,
                         &C::resetEq, &C::updateEqSlidersForSide, &C::lphpSet, &C::lphpReset,
                         &C::fxOnOff, &C::prevFX, &C::nextFX, &C::toCurrentFX}) {
        (controller.get()->*handler)(1);
    }
    for (int slot = 0; slot < kFxSlotCount; ++slot) {
        controller->fxAction(slot, 1);
    }
    controller->fxAction(9, 1); // no such slot: nothing
    EXPECT_EQ(controller->currentFXNo(1), 6);
    for (auto handler : {&C::fxDown, &C::fx1Value, &C::fxUp, &C::updateLabels}) {
        (controller.get()->*handler)(1);
    }
    controller->hpFade(0.5f);
    controller->setCrossfade(0.0f);
    EXPECT_FALSE(deck1().isLoaded.load());
    EXPECT_FALSE(deck1().isPlaying.load());
    EXPECT_EQ(deck1().volume.load(), 1.0f); // no peak data: unity
    EXPECT_FALSE(deck1().fxEngaged.load());
    EXPECT_EQ(gain(1), 1.0f);
}

} // namespace
} // namespace vx
