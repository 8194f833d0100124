#include "engine/Transport.h"

#include "dsp/Eq8.h"
#include "engine/BlockCache.h"
#include "engine/Stretcher.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"

#include <cmath>
#include <cstdlib>

namespace vx {

namespace {

constexpr int kFadeInFrames = 256;

bool keyLock(const audioStream& deck) {
    return !deck.pitchMode.load(std::memory_order_relaxed);
}

// Re-plans the ring at once after a jump and empties the stretcher.
void replanNow(audioStream& deck) {
    deck.inertiaSpeed.store(0.0, std::memory_order_relaxed);
    deck.replanNeeded.store(true, std::memory_order_relaxed);
    if (deck.decodeLock) {
        std::lock_guard lock(*deck.decodeLock);
        replan(deck);
    }
    if (deck.stretcher) {
        deck.stretcher->requestClear();
    }
}

} // namespace

double pendingStretchLatency(const audioStream& deck) {
    if (deck.stretcher && deck.stretcher->clearPending()) {
        return 0.0; // emptied before its next output, which starts at the read position
    }
    return deck.stretchLatency.load(std::memory_order_relaxed);
}

double audiblePosition(const audioStream& deck) {
    const double p = deck.position.load(std::memory_order_relaxed);
    return keyLock(deck) ? p + pendingStretchLatency(deck) : p;
}

void setAudiblePosition(audioStream& deck, double audible) {
    deck.position.store(keyLock(deck) ? audible - pendingStretchLatency(deck) : audible,
                        std::memory_order_relaxed);
}

int deckPlay(audioStream& deck, const PlayCountHook& onFirstPlay) {
    if (!deck.isLoaded.load(std::memory_order_acquire)) {
        return 0;
    }
    if (deck.firstPlayPending.exchange(false, std::memory_order_relaxed)) {
        if (deck.stretcher) {
            deck.stretcher->requestClear();
        }
        if (onFirstPlay) {
            onFirstPlay(deck);
        }
    }
    // Never wait for the render callback: if it holds the lock, go on without it.
    const bool locked = deck.engineLock && deck.engineLock->try_lock();
    const double base = deck.baseSpeed.load(std::memory_order_relaxed);
    if (base == std::floor(base)) {
        deck.position.store(std::round(deck.position.load(std::memory_order_relaxed)),
                            std::memory_order_relaxed);
    }
    deck.speedRamp.On.store(false, std::memory_order_release);
    deck.speedRamp.from.store(0.0, std::memory_order_relaxed);
    deck.speedRamp.to.store(0.0, std::memory_order_relaxed);
    deck.speedRamp.delta.store(0.0, std::memory_order_relaxed);
    deck.speed.store(base, std::memory_order_relaxed);
    deck.inertiaSpeed.store(0.0, std::memory_order_relaxed);
    if (deck.position.load(std::memory_order_relaxed) >=
        deck.lengthFrames.load(std::memory_order_relaxed)) {
        deck.position.store(deck.loopActive.load(std::memory_order_relaxed)
                                ? deck.loopStart.load(std::memory_order_relaxed)
                                : 0,
                            std::memory_order_relaxed);
        deck.replanNeeded.store(true, std::memory_order_relaxed);
    }
    deck.outputRampLength.store(0.0f, std::memory_order_relaxed);
    deck.outputRamp.On.store(false, std::memory_order_release);
    deck.outputRamp.from.store(0.0f, std::memory_order_relaxed);
    deck.outputRamp.to.store(1.0f, std::memory_order_relaxed);
    deck.outputRamp.delta.store(1.0f / kFadeInFrames, std::memory_order_relaxed);
    deck.outputRamp.count.store(kFadeInFrames, std::memory_order_relaxed);
    deck.outputRamp.On.store(true, std::memory_order_release);
    deck.isPlaying.store(true, std::memory_order_release);
    if (locked) {
        deck.engineLock->unlock();
    }
    return 1;
}

int deckStop(audioStream& deck) {
    if (!deck.isLoaded.load(std::memory_order_acquire)) {
        return 0;
    }
    stopStream(deck);
    return 1;
}

void deckFastForward(audioStream& deck) {
    if (!deck.isLoaded.load(std::memory_order_acquire)) {
        return;
    }
    const double pos = deck.position.load(std::memory_order_relaxed);
    const int32_t loopStart = deck.loopStart.load(std::memory_order_relaxed);
    const int32_t loopEnd = deck.loopEnd.load(std::memory_order_relaxed);
    const int32_t length = deck.lengthFrames.load(std::memory_order_relaxed);
    if (pos < loopStart) {
        deck.position.store(loopStart, std::memory_order_relaxed);
    } else if (pos < loopEnd && loopEnd < length - 1) {
        deck.position.store(loopEnd + 1, std::memory_order_relaxed);
    } else {
        deck.position.store(length - 1, std::memory_order_relaxed);
        if (pos > loopEnd) {
            deck.isPlaying.store(false, std::memory_order_release);
        }
    }
    replanNow(deck);
}

void deckRewind(audioStream& deck) {
    if (!deck.isLoaded.load(std::memory_order_acquire)) {
        return;
    }
    const int32_t loopStart = deck.loopStart.load(std::memory_order_relaxed);
    const double target =
        deck.position.load(std::memory_order_relaxed) <= loopStart ? 0.0 : loopStart;
    if ((target == 0.0 || loopStart < 1) && deck.decodeLock) {
        const bool wasPlaying = deck.isPlaying.exchange(false, std::memory_order_acq_rel);
        std::lock_guard lock(*deck.decodeLock);
        if (deck.file) {
            if (deck.file->seek(0)) {
                deck.nextReadFrame.store(0, std::memory_order_relaxed);
                deck.isPlaying.store(wasPlaying, std::memory_order_release);
            } else {
                logLine("err reopen");
            }
        } else {
            deck.isPlaying.store(wasPlaying, std::memory_order_release);
        }
    }
    deck.position.store(target, std::memory_order_relaxed);
    replanNow(deck);
}

int nearestCueToFrame(const audioStream& deck, double frame) {
    if (frame == 0.0 || deck.cuePoints.empty()) {
        return 0;
    }
    const double limit = std::fabs(frame);
    int best = -1;
    double bestDistance = 0;
    for (size_t i = 0; i < deck.cuePoints.size(); ++i) {
        const double d = std::fabs(static_cast<double>(deck.cuePoints[i]) - frame);
        if (d > limit) {
            continue;
        }
        if (best < 0 || d <= bestDistance) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

int nearestCue(const audioStream& deck) {
    if (deck.cuePoints.empty()) {
        return -1;
    }
    return nearestCueToFrame(deck, audiblePosition(deck));
}

void jumpToCue(audioStream& deck, int index) {
    {
        std::unique_lock<EngineLock> engine;
        if (deck.engineLock) {
            engine = std::unique_lock(*deck.engineLock);
        }
        if (index >= static_cast<int>(deck.cuePoints.size())) {
            return;
        }
        const double cue = index >= 0 ? static_cast<double>(deck.cuePoints[index]) : 0.0;
        deck.position.store(cue - (keyLock(deck) ? pendingStretchLatency(deck) : 0.0),
                            std::memory_order_relaxed);
        deck.replanNeeded.store(true, std::memory_order_relaxed);
        resetEqState(deck);
    }
    // The ring is planned around the cue and its first block decoded at once, after the
    // engine lock is released: the decoder may hold its lock across a read from the disk.
    if (deck.decodeLock) {
        std::lock_guard decode(*deck.decodeLock);
        replan(deck);
        if (deck.file) {
            fillStep(deck);
        }
    }
}

void previousCue(audioStream& deck) {
    if (deck.cuePoints.empty()) {
        return;
    }
    resetEqState(deck);
    const double audible = audiblePosition(deck);
    for (size_t i = 0; i < deck.cuePoints.size(); ++i) {
        if (audible <= static_cast<double>(deck.cuePoints[i])) {
            jumpToCue(deck, static_cast<int>(i) - 1);
            return;
        }
    }
    jumpToCue(deck, static_cast<int>(deck.cuePoints.size()) - 1);
}

void nextCue(audioStream& deck) {
    if (deck.cuePoints.empty()) {
        return;
    }
    resetEqState(deck);
    const double audible = audiblePosition(deck);
    for (int i = static_cast<int>(deck.cuePoints.size()) - 1; i >= 0; --i) {
        if (audible >= static_cast<double>(deck.cuePoints[i])) {
            if (i + 1 < static_cast<int>(deck.cuePoints.size())) {
                jumpToCue(deck, i + 1);
            }
            return;
        }
    }
    if (audible >= 0.0) {
        jumpToCue(deck, 0);
    }
}

namespace {

// Publishes the trigger's fields, then arms it: the render thread reads them after the armed
// flag (acquire).
void armTrigger(audioStream& deck, int32_t frame, void* target, TriggerSelector selector,
                bool audible) {
    deck.triggerAudible.store(audible, std::memory_order_relaxed);
    deck.triggerFrame.store(frame, std::memory_order_relaxed);
    deck.triggerTarget.store(target, std::memory_order_relaxed);
    deck.triggerSelector.store(selector, std::memory_order_relaxed);
    deck.triggerArmed.store(true, std::memory_order_release);
}

} // namespace

void armPositionTrigger(audioStream& deck, int32_t frame, void* target, TriggerSelector selector) {
    armTrigger(deck, frame, target, selector, false);
}

void armAudibleTrigger(audioStream& deck, int32_t frame, void* target, TriggerSelector selector) {
    armTrigger(deck, frame, target, selector, true);
}

void setCountdown(audioStream& deck, int32_t frames, void* target, TriggerSelector selector) {
    deck.triggerArmed.store(false, std::memory_order_release);
    deck.triggerTarget.store(target, std::memory_order_relaxed);
    deck.triggerSelector.store(selector, std::memory_order_relaxed);
    deck.triggerCountdown.store(frames, std::memory_order_relaxed);
}

void setHeadphoneFade(audioStream& deck, float value, int steps) {
    deck.hpFadeRamp.start(deck.hpFade.load(std::memory_order_relaxed), value, steps);
}

} // namespace vx
