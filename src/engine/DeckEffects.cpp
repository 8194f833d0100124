#include "engine/DeckEffects.h"

#include "dsp/AMGate.h"
#include "dsp/AMRepeater.h"
#include "dsp/BeatSync.h"
#include "dsp/Bitcrusher.h"
#include "dsp/ChorusFlanger.h"
#include "dsp/MDelay.h"
#include "dsp/Phaser.h"
#include "dsp/mirel_extraLP.h"
#include "engine/audioStream.h"

#include <atomic>

namespace vx {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// The slots in the order of precedence (processing and pad input).
constexpr FxSlot kPrecedence[] = {kFxFilter, kFxDelay,  kFxGate,   kFxRepeater,
                                  kFxPhaser, kFxChorus, kFxCrusher};

// The slot's flag (const or not, as the deck), or null for an unknown slot.
template <typename Deck> auto* flagOf(Deck& deck, int slot) {
    using Flag = decltype(&deck.fxFilterOn);
    switch (slot) {
    case kFxFilter:
        return static_cast<Flag>(&deck.fxFilterOn);
    case kFxDelay:
        return &deck.fxDelayOn;
    case kFxGate:
        return &deck.fxGateOn;
    case kFxRepeater:
        return &deck.fxRepeaterOn;
    case kFxPhaser:
        return &deck.fxPhaserOn;
    case kFxChorus:
        return &deck.fxChorusOn;
    case kFxCrusher:
        return &deck.fxCrusherOn;
    default:
        return static_cast<Flag>(nullptr);
    }
}

// The first enabled slot in the order of precedence, or −1.
int activeSlot(audioStream& deck) {
    for (const FxSlot slot : kPrecedence) {
        if (flagOf(deck, slot)->load(relaxed)) {
            return slot;
        }
    }
    return -1;
}

// The deck's beat counter for a module at `tempo`: play position plus the first beat's frame,
// times the current speed, modulo the beat.
uint64_t deckBeatCounter(const audioStream& deck, float tempo) {
    const int64_t counter =
        alignedBeatCounter(deck.position.load(relaxed), deck.firstBeatFrame.load(relaxed),
                           deck.speed.load(relaxed), tempo);
    return static_cast<uint64_t>(counter); // a lead-in remainder wraps, as the count does
}

void setEqBand(audioStream& deck, int band, std::atomic<float>& field, ParamFilter& ramp, float db,
               int steps) {
    if (!deck.isPlaying.load(relaxed)) {
        field.store(db, relaxed);
        deck.eq[0].eqSetBandGain(band, db);
        deck.eq[1].eqSetBandGain(band, db);
        ramp.clear(25.0f);
        return;
    }
    ramp.start(field.load(relaxed), db, steps);
}

} // namespace

const char* fxSlotLabel(int slot) {
    static const char* const labels[kFxSlotCount] = {
        "FX1: FILTER", "FX2: DELAY",  "FX3: GATE",       "FX4: REPEATER",
        "FX5: PHASER", "FX6: CHORUS", "FX7: BITCRUSHER",
    };
    return slot >= 0 && slot < kFxSlotCount ? labels[slot] : "";
}

void deckSetFxEnabled(audioStream& deck, int slot, bool on) {
    auto* flag = flagOf(deck, slot);
    if (flag == nullptr) {
        return;
    }
    flag->store(on, relaxed);
    if (slot == kFxGate && on) {
        deck.gate->alignToCounter(deckBeatCounter(deck, deck.gate->tempo));
    } else if (slot == kFxRepeater) {
        deck.repeater->alignToCounter(deckBeatCounter(deck, deck.repeater->tempo));
    }
}

bool deckFxEnabled(const audioStream& deck, int slot) {
    if (slot < kFxDelay || slot > kFxCrusher) {
        return false;
    }
    return flagOf(deck, slot)->load(relaxed);
}

void deckSetFxXY(audioStream& deck, float x, float y) {
    switch (activeSlot(deck)) {
    case kFxFilter:
        for (auto& f : deck.xyFilter) {
            f->setCutoff(1.0f - x);
            f->setResonance(1.0f - y);
        }
        break;
    case kFxDelay:
        deck.delay->padInput(x, y);
        break;
    case kFxGate:
        deck.gate->padInput(x);
        break;
    case kFxRepeater:
        deck.repeater->padInput(x, y);
        break;
    case kFxPhaser:
        deck.phaser->padInput(x, y);
        break;
    case kFxChorus:
        deck.chorus->padInput(x, y);
        break;
    case kFxCrusher:
        deck.crusher->padInput(x, y);
        break;
    default:
        break;
    }
}

void deckSetFxEngaged(audioStream& deck, bool engaged) {
    if (engaged) {
        for (int slot = kFxDelay; slot <= kFxCrusher; ++slot) {
            if (!deckFxEnabled(deck, slot)) {
                continue;
            }
            deck.xyFilter[0]->reset();
            deck.xyFilter[1]->reset();
            deck.repeater->reset();
            deck.delay->reset();
            deck.gate->reset();
            deck.chorus->reset();
            deck.phaser->reset();
            deck.crusher->reset();
            deckSetFxEnabled(deck, slot, true);
        }
    }
    deck.fxEngaged.store(engaged, std::memory_order_release);
}

void deckResetDelay(audioStream& deck) {
    deck.delay->reset();
}

void deckResetGate(audioStream& deck) {
    deck.gate->reset();
}

void deckResetRepeater(audioStream& deck) {
    deck.repeater->reset();
}

void deckRenderEffect(audioStream& deck, float* interleaved, int frames) {
    if (!deck.fxEngaged.load(std::memory_order_acquire)) {
        return;
    }
    switch (activeSlot(deck)) {
    case kFxFilter:
        deck.xyFilter[0]->processChannel(interleaved, interleaved, frames);
        deck.xyFilter[1]->processChannel(interleaved + 1, interleaved + 1, frames);
        break;
    case kFxDelay:
        deck.delay->processStereo(interleaved, frames);
        break;
    case kFxGate:
        deck.gate->processStereo(interleaved, frames);
        break;
    case kFxRepeater:
        deck.repeater->processStereo(interleaved, frames);
        break;
    case kFxPhaser:
        deck.phaser->processStereo(interleaved, frames);
        break;
    case kFxChorus:
        deck.chorus->processStereo(interleaved, frames);
        break;
    case kFxCrusher:
        deck.crusher->processStereo(interleaved, frames);
        break;
    default:
        break;
    }
}

void deckSetEffectTempo(audioStream& deck, float bpm) {
    deck.repeater->setTempo(bpm);
    deck.gate->setTempo(bpm);
    deck.delay->setTempo(bpm);
}

void deckSetLphp(audioStream& deck, float position) {
    deck.lphpRamp.start(deck.lphpPosition.load(relaxed), position, 25);
}

void deckSetEqLow(audioStream& deck, float db, int) {
    setEqBand(deck, 0, deck.eqLowDb, deck.eqLowRamp, db, 25);
}

void deckSetEqMid(audioStream& deck, float db, int steps) {
    setEqBand(deck, 1, deck.eqMidDb, deck.eqMidRamp, db, steps);
}

void deckSetEqHigh(audioStream& deck, float db, int steps) {
    setEqBand(deck, 2, deck.eqHighDb, deck.eqHighRamp, db, steps);
}

} // namespace vx
