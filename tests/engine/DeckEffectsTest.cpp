#include "engine/DeckEffects.h"

#include "dsp/AMGate.h"
#include "dsp/AMRepeater.h"
#include "dsp/Bitcrusher.h"
#include "dsp/ChorusFlanger.h"
#include "dsp/MDelay.h"
#include "dsp/Phaser.h"
#include "dsp/mirel_extraLP.h"
#include "engine/audioStream.h"

#include "dsp/DspTestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace vx {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

std::atomic<bool>& flagOf(audioStream& d, int slot) {
    std::atomic<bool>* flags[] = {&d.fxFilterOn, &d.fxDelayOn,  &d.fxGateOn,   &d.fxRepeaterOn,
                                  &d.fxPhaserOn, &d.fxChorusOn, &d.fxCrusherOn};
    return *flags[slot];
}

bool allZero(const std::vector<float>& v) {
    return std::all_of(v.begin(), v.end(), [](float s) { return s == 0.0f; });
}

void enableOnly(audioStream& deck, int slot) {
    for (int s = 0; s < kFxSlotCount; ++s) {
        deckSetFxEnabled(deck, s, s == slot);
    }
}

// Puts running state into every module, so a reset is visible.
void dirtyAllModules(audioStream& deck) {
    deck.xyFilter[0]->y1 = 0.5f;
    deck.xyFilter[1]->x1 = 0.5f;
    deck.repeater->sliceL[10] = 0.5f;
    deck.repeater->frameCounter = 777;
    deck.repeater->slicePos = 5;
    deck.delay->lineR[10] = 0.5f;
    deck.delay->writeIndex = 9;
    deck.gate->lfo.phase = 300.0;
    deck.chorus->delayL.lineL[3] = 0.5f;
    deck.chorus->lfo1.phase = 50.0;
    deck.phaser->state[0][0] = 0.5f;
    deck.phaser->lfo.phase = 70.0;
    deck.crusher->holdPhase = 0.5f;
    deck.crusher->heldL = 0.5f;
}

class DeckEffects : public ::testing::Test {
protected:
    const std::unique_ptr<audioStream> owned = std::make_unique<audioStream>();
    audioStream& deck = *owned;
};

// Every slot's own label is checked through the mixer controller's effect label.
TEST_F(DeckEffects, EachSlotHasItsOwnFlagAndUnknownSlotsAreIgnored) {
    EXPECT_STREQ(fxSlotLabel(7), "");
    EXPECT_STREQ(fxSlotLabel(-1), "");
    deckSetFxEnabled(deck, 7, true);
    deckSetFxEnabled(deck, -1, true);
    for (int slot = 0; slot < kFxSlotCount; ++slot) {
        deckSetFxEnabled(deck, slot, true);
        for (int s = 0; s < kFxSlotCount; ++s) {
            EXPECT_EQ(flagOf(deck, s).load(), s <= slot) << "after " << slot << ", flag " << s;
        }
    }
    deckSetFxEnabled(deck, 4, false);
    EXPECT_FALSE(deck.fxPhaserOn.load());
    EXPECT_TRUE(deck.fxChorusOn.load());
    // The query covers slots one to six only.
    deck.fxPhaserOn.store(true);
    EXPECT_FALSE(deckFxEnabled(deck, 0)); // the filter slot is not reported
    for (int s = 1; s <= 6; ++s) {
        EXPECT_TRUE(deckFxEnabled(deck, s)) << s;
    }
    EXPECT_FALSE(deckFxEnabled(deck, 7));
    EXPECT_FALSE(deckFxEnabled(deck, -3));
    deck.fxGateOn.store(false);
    EXPECT_FALSE(deckFxEnabled(deck, 2));
}

// Switching the gate on, or the repeater either way, aligns the module's counter to the deck's
// beat: (position + first beat) × speed, modulo the module tempo's beat, lead-in negative.
TEST_F(DeckEffects, SwitchingOnAlignsTheModuleToTheDecksBeat) {
    const struct {
        const char* name;
        int slot;
        bool on;
        double position, firstBeat, speed;
        float tempo;
        int64_t counter;
        uint64_t boundary;
    } cases[] = {
        {"gate", kFxGate, true, 30000.0, 100.0, 1.0, 120.0f, 8050, 22050}, // 30100 mod 22050
        {"repeater on", kFxRepeater, true, 50000.0, 0.0, 1.0, 120.0f, 50000 - 44100, 22050},
        {"repeater off", kFxRepeater, false, 50000.0, 0.0, 1.0, 120.0f, 50000 - 44100, 22050},
        {"times the speed", kFxRepeater, true, 30000.0, 100.0, 2.0, 120.0f, 16100, 22050},
        {"module tempo", kFxGate, true, 30100.0, 0.0, 1.0, 128.0f, 9429, 20671}, // beat 20671
        {"lead-in", kFxRepeater, true, -22150.0, 0.0, 1.0, 120.0f, -100,
         std::numeric_limits<uint64_t>::max()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto fresh = std::make_unique<audioStream>();
        audioStream& d = *fresh;
        deckSetEffectTempo(d, c.tempo);
        d.position.store(c.position);
        d.firstBeatFrame.store(c.firstBeat);
        d.speed.store(c.speed);
        d.gate->resync = false;
        d.repeater->resync = false;
        deckSetFxEnabled(d, c.slot, c.on);
        const uint64_t counter =
            c.slot == kFxGate ? d.gate->frameCounter : d.repeater->frameCounter;
        EXPECT_EQ(static_cast<int64_t>(counter), c.counter);
        EXPECT_TRUE(c.slot == kFxGate ? d.gate->resync : d.repeater->resync);
        EXPECT_EQ(c.slot == kFxGate ? d.gate->nextBoundary : d.repeater->nextBoundary, c.boundary);
    }
}

TEST_F(DeckEffects, SwitchingTheGateOffLeavesItsCounter) {
    deck.position.store(30000.0);
    deck.gate->frameCounter = 5;
    deckSetFxEnabled(deck, kFxGate, false);
    EXPECT_EQ(deck.gate->frameCounter, 5u);
}

struct XYCase {
    int slot;
    std::function<void(audioStream&)> check;
};

// Pad at (0.9, 0.1) with one slot enabled, 120 BPM.
std::vector<XYCase> xyCases() {
    // The filter slot's mapping is checked through its output (EngagedFilterSlot...).
    return {
        {kFxDelay,
         [](audioStream& d) {
             EXPECT_EQ(d.delay->delayX, 0.9f);
             EXPECT_EQ(d.delay->delayLength, 22050.0f); // nearest(3.6) = 4: one beat
             EXPECT_EQ(d.delay->feedbackRamp.to.load(), 0.1f);
             EXPECT_EQ(d.delay->feedbackRamp.count.load(), 256);
         }},
        {kFxGate,
         [](audioStream& d) {
             EXPECT_FLOAT_EQ(d.gate->gateX, 0.1f);
             EXPECT_FLOAT_EQ(d.gate->lfo.frequency, 8.0f);
         }},
        {kFxRepeater,
         [](audioStream& d) {
             EXPECT_EQ(d.repeater->repeatX, 0.9f);
             EXPECT_EQ(d.repeater->sliceLength, 689);
             EXPECT_EQ(d.repeater->repeatY, 0.1f);
             EXPECT_EQ(d.repeater->repeatCount, 1);
         }},
        {kFxPhaser,
         [](audioStream& d) {
             EXPECT_EQ(d.phaser->lfo.frequency, 0.9f);
             EXPECT_EQ(d.phaser->depth, 0.1f);
         }},
        {kFxChorus,
         [](audioStream& d) {
             EXPECT_FLOAT_EQ(d.chorus->rate, 4.51f);
             EXPECT_FLOAT_EQ(d.chorus->lfo1.frequency, 4.51f);
             EXPECT_EQ(d.chorus->delayL.wet, 0.1f);
             EXPECT_EQ(d.chorus->delayR.wet, 0.1f);
         }},
        {kFxCrusher,
         [](audioStream& d) {
             EXPECT_NEAR(d.crusher->bits, (1.0 - 0.44 * 0.9) * 16.0, 1e-5);
             EXPECT_NEAR(d.crusher->holdIncrement, 0.01 + 0.99 * 0.9, 1e-6);
         }},
    };
}

TEST_F(DeckEffects, PadPositionReachesTheEnabledSlot) {
    for (const XYCase& c : xyCases()) {
        const auto fresh = std::make_unique<audioStream>();
        audioStream& d = *fresh;
        deckSetFxEnabled(d, c.slot, true);
        deckSetFxXY(d, 0.9f, 0.1f);
        SCOPED_TRACE(fxSlotLabel(c.slot));
        c.check(d);
    }
}

// A value of each module that the pad changes from its default.
float padSensitiveValue(audioStream& d, int slot) {
    switch (slot) {
    case kFxFilter:
        return d.xyFilter[1]->cutoff;
    case kFxDelay:
        return d.delay->delayX;
    case kFxGate:
        return d.gate->gateX;
    case kFxRepeater:
        return d.repeater->repeatX;
    case kFxPhaser:
        return d.phaser->depth;
    case kFxChorus:
        return d.chorus->rate;
    default:
        return d.crusher->bits;
    }
}

TEST_F(DeckEffects, WithTwoSlotsEnabledOnlyTheFirstInOrderReceivesThePad) {
    for (int first = 0; first < kFxSlotCount; ++first) {
        for (int second = first + 1; second < kFxSlotCount; ++second) {
            auto fresh = std::make_unique<audioStream>();
            audioStream& d = *fresh;
            flagOf(d, first).store(true);
            flagOf(d, second).store(true);
            const float firstBefore = padSensitiveValue(d, first);
            const float secondBefore = padSensitiveValue(d, second);
            deckSetFxXY(d, 0.9f, 0.1f);
            EXPECT_NE(padSensitiveValue(d, first), firstBefore) << first << "+" << second;
            EXPECT_EQ(padSensitiveValue(d, second), secondBefore) << first << "+" << second;
        }
    }
}

TEST_F(DeckEffects, PadWithNoSlotEnabledChangesNothing) {
    deckSetFxXY(deck, 0.9f, 0.1f);
    for (int s = 0; s < kFxSlotCount; ++s) {
        auto fresh = std::make_unique<audioStream>();
        EXPECT_EQ(padSensitiveValue(deck, s), padSensitiveValue(*fresh, s)) << s;
    }
}

TEST_F(DeckEffects, RenderLeavesTheBlockAloneUnlessEngagedWithASlot) {
    const std::vector<float> in = test::stereoSine(300.0, 9000.0, 2048, 0.8f);
    std::vector<float> buf = in;
    deck.fxFilterOn.store(true);
    deck.xyFilter[0]->setCutoff(0.2f);
    deck.xyFilter[1]->setCutoff(0.2f);
    deckRenderEffect(deck, buf.data(), 2048); // not engaged
    EXPECT_EQ(buf, in);
    deck.fxFilterOn.store(false);
    deck.fxEngaged.store(true); // engaged, no slot
    deckRenderEffect(deck, buf.data(), 2048);
    EXPECT_EQ(buf, in);
}

TEST_F(DeckEffects, EngagedFilterSlotRunsEachChannelThroughItsFilter) {
    enableOnly(deck, kFxFilter);
    deckSetFxXY(deck, 0.7f, 0.4f);
    deckSetFxEngaged(deck, true);
    mirel_extraLP refL, refR;
    for (auto* f : {&refL, &refR}) {
        f->setCutoff(1.0f - 0.7f);
        f->setResonance(1.0f - 0.4f);
    }
    const std::vector<float> in = test::stereoSine(300.0, 9000.0, 2048, 0.8f);
    std::vector<float> buf = in;
    deckRenderEffect(deck, buf.data(), 2048);
    for (int i = 0; i < 2048; ++i) {
        ASSERT_EQ(buf[2 * i], refL.tick(in[2 * i])) << i;
        ASSERT_EQ(buf[2 * i + 1], refR.tick(in[2 * i + 1])) << i;
    }
    // The 9 kHz right channel is strongly cut at this cutoff; the 300 Hz left one is not.
    EXPECT_LT(test::rms(buf.data() + 2049, 1024, 2), 0.1 * test::rms(in.data() + 2049, 1024, 2));
    EXPECT_GT(test::rms(buf.data() + 2048, 1024, 2), 0.5 * test::rms(in.data() + 2048, 1024, 2));
}

TEST_F(DeckEffects, WithTwoSlotsEnabledOnlyTheFirstSounds) {
    // Filter and delay: the block equals the filter alone.
    auto alone = std::make_unique<audioStream>();
    for (audioStream* d : {&deck, alone.get()}) {
        d->fxFilterOn.store(true);
        deckSetFxXY(*d, 0.6f, 0.5f);
        d->fxEngaged.store(true);
    }
    deck.fxDelayOn.store(true);
    deck.delay->padInput(0.0f, 1.0f);
    const std::vector<float> in = test::stereoSine(500.0, 4000.0, 8192, 0.8f);
    std::vector<float> both = in, single = in;
    for (int start = 0; start < 8192; start += 512) {
        deckRenderEffect(deck, both.data() + 2 * start, 512);
        deckRenderEffect(*alone, single.data() + 2 * start, 512);
    }
    EXPECT_EQ(both, single);
    EXPECT_NE(both, in);
}

TEST_F(DeckEffects, EngagingWithAnEffectSlotResetsEveryModule) {
    for (int slot = 1; slot <= 6; ++slot) {
        const auto fresh = std::make_unique<audioStream>();
        audioStream& d = *fresh;
        SCOPED_TRACE(fxSlotLabel(slot));
        enableOnly(d, slot);
        dirtyAllModules(d);
        deckSetFxEngaged(d, true);
        EXPECT_TRUE(d.fxEngaged.load());
        EXPECT_EQ(d.xyFilter[0]->y1, 0.0f);
        EXPECT_EQ(d.xyFilter[1]->x1, 0.0f);
        EXPECT_TRUE(allZero(d.repeater->sliceL));
        EXPECT_EQ(d.repeater->slicePos, 0);
        EXPECT_TRUE(allZero(d.delay->lineR));
        EXPECT_EQ(d.delay->writeIndex, 0);
        EXPECT_TRUE(allZero(d.chorus->delayL.lineL));
        EXPECT_EQ(d.chorus->lfo1.phase, 0.0);
        EXPECT_EQ(d.crusher->holdPhase, 0.0f);
        EXPECT_EQ(d.crusher->heldL, 0.0f);
        // Gate and phaser resets keep their running state.
        EXPECT_EQ(d.gate->lfo.phase, 300.0);
        EXPECT_EQ(d.phaser->state[0][0], 0.5f);
        EXPECT_EQ(d.phaser->lfo.phase, 70.0);
        if (slot != kFxRepeater) {
            EXPECT_EQ(d.repeater->frameCounter, 0u);
            EXPECT_FALSE(d.repeater->resync);
        }
    }
}

TEST_F(DeckEffects, EngagingWithOnlyTheFilterSlotResetsNothing) {
    enableOnly(deck, kFxFilter);
    dirtyAllModules(deck);
    deckSetFxEngaged(deck, true);
    EXPECT_TRUE(deck.fxEngaged.load());
    EXPECT_EQ(deck.xyFilter[0]->y1, 0.5f);
    EXPECT_EQ(deck.repeater->sliceL[10], 0.5f);
    EXPECT_EQ(deck.repeater->frameCounter, 777u);
    EXPECT_EQ(deck.delay->lineR[10], 0.5f);
    EXPECT_EQ(deck.chorus->lfo1.phase, 50.0);
    EXPECT_EQ(deck.crusher->holdPhase, 0.5f);
}

TEST_F(DeckEffects, EngagingWithTheRepeaterRestartsCaptureAtTheDecksNextBeat) {
    enableOnly(deck, kFxRepeater);
    deckSetFxXY(deck, 0.0f, 1.0f);
    deck.position.store(70000.0);
    dirtyAllModules(deck);
    deckSetFxEngaged(deck, true);
    EXPECT_EQ(deck.repeater->frameCounter, 70000u - 66150u);
    EXPECT_TRUE(deck.repeater->resync);
    EXPECT_EQ(deck.repeater->nextBoundary, 22050u);
    EXPECT_EQ(deck.repeater->slicePos, 0);
    EXPECT_EQ(deck.repeater->repeatIndex, 0);
    EXPECT_EQ(deck.repeater->repeatCount, 8); // the pad settings survive the reset
}

TEST_F(DeckEffects, EngagingWithTheGateRealignsIt) {
    enableOnly(deck, kFxGate);
    deck.position.store(12345.0);
    deck.gate->frameCounter = 1;
    deckSetFxEngaged(deck, true);
    EXPECT_EQ(deck.gate->frameCounter, 12345u);
    EXPECT_EQ(deck.gate->nextBoundary, 22050u);
}

TEST_F(DeckEffects, DisengagingOnlyClearsTheFlag) {
    enableOnly(deck, kFxDelay);
    deckSetFxEngaged(deck, true);
    dirtyAllModules(deck);
    deckSetFxEngaged(deck, false);
    EXPECT_FALSE(deck.fxEngaged.load());
    EXPECT_TRUE(deck.fxDelayOn.load());
    EXPECT_EQ(deck.delay->lineR[10], 0.5f);
    EXPECT_EQ(deck.repeater->frameCounter, 777u);
}

TEST_F(DeckEffects, TempoFeedReachesOnlyTheBeatSyncedModules) {
    deckSetEffectTempo(deck, 60.0f);
    EXPECT_EQ(deck.repeater->tempo, 60.0f);
    EXPECT_FLOAT_EQ(deck.delay->delayLength, 11024.0f); // a quarter beat, whole frames
    EXPECT_FLOAT_EQ(deck.gate->lfo.frequency, 4.0f);
    EXPECT_EQ(deck.phaser->tempo, 120.0f);
    EXPECT_EQ(deck.chorus->tempo, 120.0f);
    EXPECT_EQ(deck.crusher->tempo, 120.0f);
    EXPECT_EQ(deck.xyFilter[0]->tempo, 120.0f);
}

TEST_F(DeckEffects, LphpSetterRampsOverTwentyFiveFramesEvenWhenStopped) {
    ASSERT_FALSE(deck.isPlaying.load());
    deckSetLphp(deck, 1.0f);
    EXPECT_TRUE(deck.lphpRamp.isOn());
    EXPECT_EQ(deck.lphpRamp.from.load(), 0.5f);
    EXPECT_EQ(deck.lphpRamp.to.load(), 1.0f);
    EXPECT_EQ(deck.lphpRamp.count.load(), 25);
    EXPECT_FLOAT_EQ(deck.lphpRamp.delta.load(), 0.5f / 25.0f);
    EXPECT_EQ(deck.lphpPosition.load(), 0.5f); // the render steps it
    float v = 0.0f;
    for (int i = 0; i < 5; ++i) {
        deck.lphpRamp.step(v);
    }
    deckSetLphp(deck, 0.0f); // retarget from the value reached
    EXPECT_FLOAT_EQ(deck.lphpRamp.from.load(), 0.6f);
    EXPECT_EQ(deck.lphpRamp.count.load(), 25);
    EXPECT_FLOAT_EQ(deck.lphpRamp.delta.load(), -0.6f / 25.0f);
}

TEST_F(DeckEffects, EqOnAStoppedDeckAppliesAtOnceToBothChannels) {
    deck.eqMidRamp.start(0.0f, 5.0f, 25); // a stale ramp is cleared
    deckSetEqMid(deck, -50.0f, 25);
    EXPECT_EQ(deck.eqMidDb.load(), -50.0f);
    EXPECT_FALSE(deck.eqMidRamp.isOn());
    for (Eq8& eq : deck.eq) {
        EXPECT_EQ(eq.gainDb[1], -50.0f);
        EXPECT_NEAR(eq.bands[1].makeup, 1.5 - 1.0 / 3, 1e-6);
    }
    // The next frames through the left equaliser are already cut at 2 kHz.
    EXPECT_LT(test::gainAt(2000.0, [&](float x) { return deck.eq[0].eqProcess(x); }), 0.005);
}

TEST_F(DeckEffects, EqOnAPlayingDeckRamps) {
    deck.isPlaying.store(true);
    deckSetEqLow(deck, 20.0f, 100); // the low band always takes 25 frames
    deckSetEqMid(deck, -10.0f, 100);
    deckSetEqHigh(deck, 10.0f, 25);
    EXPECT_EQ(deck.eqLowRamp.count.load(), 25);
    EXPECT_EQ(deck.eqMidRamp.count.load(), 100);
    EXPECT_EQ(deck.eqHighRamp.count.load(), 25);
    EXPECT_EQ(deck.eqLowDb.load(), 0.0f);
    EXPECT_EQ(deck.eq[0].gainDb[0], 0.0f);
    // Stepped as the render does: the target after 25 increments, copied on the 26th step.
    float db = 0.0f;
    for (int i = 0; i < 26; ++i) {
        ASSERT_TRUE(deck.eqLowRamp.step(db));
        deck.eqLowDb.store(db, relaxed);
    }
    EXPECT_EQ(deck.eqLowDb.load(), 20.0f);
    EXPECT_FALSE(deck.eqLowRamp.isOn());

    // A new target restarts from the value the ramp reached: 10 of 25 steps to 10 dB.
    db = 0.0f;
    for (int i = 0; i < 10; ++i) {
        deck.eqHighRamp.step(db);
    }
    deckSetEqHigh(deck, 0.0f, 25);
    EXPECT_FLOAT_EQ(deck.eqHighRamp.from.load(), 4.0f);
    EXPECT_EQ(deck.eqHighRamp.count.load(), 25);
    EXPECT_FLOAT_EQ(deck.eqHighRamp.delta.load(), -4.0f / 25.0f);
}

} // namespace
} // namespace vx
