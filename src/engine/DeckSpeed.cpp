#include "engine/DeckSpeed.h"

#include "engine/DeckEffects.h"
#include "engine/Stretcher.h"
#include "engine/audioStream.h"
#include "library/VXAudioFileInfo.h"

#include <cmath>

namespace vx {

void correctStretcherPitch(audioStream& deck, double speed) {
    if (std::fabs(speed) > 0.75 && deck.stretcher) {
        deck.stretcher->setPitch(std::fabs(1.0 / speed));
    }
}

void retuneTempoSyncedEffects(audioStream& deck) {
    const double effective = deck.speedRamp.isOn()
                                 ? deck.speedRamp.to.load(std::memory_order_relaxed)
                                 : deck.speed.load(std::memory_order_relaxed);
    const auto info = deck.info();
    const double bpm = info ? info->tempo : 0.0;
    const double heard = effective * bpm;
    // No tempo yet (the effects keep theirs until the analysis delivers one), or none heard: a
    // stopped, scratched or reversed deck leaves the effects on the last tempo that played.
    if (!(heard > 0.0) || !std::isfinite(heard)) {
        return;
    }
    // The render thread runs these effects under the engine lock; the new tempo lands between
    // two buffers, never inside one. Plain arithmetic: nothing here allocates or waits.
    std::unique_lock<EngineLock> engine;
    if (deck.engineLock) {
        engine = std::unique_lock(*deck.engineLock);
    }
    deckSetEffectTempo(deck, static_cast<float>(heard));
}

void setSpeedNow(audioStream& deck, double s) {
    deck.speed.store(s, std::memory_order_relaxed);
    correctStretcherPitch(deck, s);
    deck.speedRamp.On.store(false, std::memory_order_release);
    retuneTempoSyncedEffects(deck);
}

void setSpeed(audioStream& deck, double s, int steps) {
    const bool playing = deck.isPlaying.load(std::memory_order_relaxed);
    if (deck.ignoreZeroSpeed.load(std::memory_order_relaxed) && s == 0.0 && playing) {
        return;
    }
    // Changing the pitch allocates inside SoundTouch, so the render thread (scratch idle glide,
    // always towards 0) never gets here with a speed that needs a correction.
    correctStretcherPitch(deck, s);
    if (s == deck.speed.load(std::memory_order_relaxed)) {
        deck.speedRamp.On.store(false, std::memory_order_release);
        return;
    }
    if (!playing) {
        deck.speed.store(s, std::memory_order_relaxed);
        deck.speedRamp.On.store(false, std::memory_order_release);
        retuneTempoSyncedEffects(deck);
        return;
    }
    auto& ramp = deck.speedRamp;
    const int n = steps;
    // A zero-length ramp ends on its first step, which copies the target.
    const double divisor = n > 0 ? n : 1;
    if (ramp.isOn()) {
        ramp.TimeFilter.store(n, std::memory_order_relaxed);
        ramp.to.store(s, std::memory_order_relaxed);
        ramp.delta.store((s - ramp.from.load(std::memory_order_relaxed)) / divisor,
                         std::memory_order_relaxed);
        ramp.count.store(n, std::memory_order_relaxed);
    } else if (deck.isScratching.load(std::memory_order_relaxed)) {
        // Under the finger the glide is twice as long and continues from the stored start.
        ramp.TimeFilter.store(2.0 * n, std::memory_order_relaxed);
        ramp.to.store(s, std::memory_order_relaxed);
        ramp.delta.store((s - ramp.from.load(std::memory_order_relaxed)) / (2.0 * divisor),
                         std::memory_order_relaxed);
        ramp.count.store(2 * n, std::memory_order_relaxed);
    } else {
        const double current = deck.speed.load(std::memory_order_relaxed);
        ramp.TimeFilter.store(n, std::memory_order_relaxed);
        ramp.from.store(current, std::memory_order_relaxed);
        ramp.to.store(s, std::memory_order_relaxed);
        ramp.delta.store((s - current) / divisor, std::memory_order_relaxed);
        ramp.count.store(n, std::memory_order_relaxed);
    }
    ramp.On.store(true, std::memory_order_release);
}

} // namespace vx
