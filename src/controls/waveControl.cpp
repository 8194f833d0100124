#include "controls/waveControl.h"

#include "engine/AudioOut.h"
#include "engine/BlockCache.h"
#include "engine/DeckDecoder.h"
#include "engine/DeckSpeed.h"
#include "engine/Stretcher.h"
#include "engine/audioStream.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace vx {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// Glide length of the speed changes a touch starts and ends (frames).
constexpr int kGlideSteps = 64;
// Slower finger velocities count as standing still (frames per frame).
constexpr float kStillVelocity = 0.025f;
// Velocities beyond this are taken as half of it, after halving (frames per frame).
constexpr float kVelocityLimit = 40.0f;
constexpr float kVelocityClamped = 20.0f;
// Weights of the last two scratch speeds in the next one.
constexpr float kLastWeight = 0.35f;
constexpr float kBeforeLastWeight = 0.15f;
// Largest change of the scratch speed from one movement to the next.
constexpr float kMaxSpeedChange = 1.05f;
// A stopped deck lifted faster than this coasts (frames per frame).
constexpr float kCoastVelocity = 0.1f;
// The base speed a three-finger gesture restores is kept within this range.
constexpr double kSeekBaseSpeedMin = 0.85;
constexpr double kSeekBaseSpeedMax = 1.15;

} // namespace

waveControl::waveControl(AudioOut& engine, int deckIndex, NotificationCenter* notifications,
                         EngineServices* services)
    : engine_(engine), deckIndex_(deckIndex), notifications_(notifications), services_(services) {
    if (deckIndex >= 0 && deckIndex < static_cast<int>(engine.fileStream.size())) {
        stream = engine.fileStream[static_cast<size_t>(deckIndex)];
    }
    sideno = deckIndex != 0 ? 1 : 0;
    setLayout(ScreenLayout::Phone);
}

bool waveControl::ignoresTouches() const {
    if (isFreezed) {
        return true;
    }
    return stream->isPlaying.load(relaxed) && stopProofQuery_ && stopProofQuery_();
}

bool waveControl::keyLock() const {
    return !stream->pitchMode.load(relaxed);
}

void waveControl::clearDisplayFlags() {
    stream->twoFingerMode.store(false, relaxed);
    stream->threeFingerMode.store(false, relaxed);
}

void waveControl::replanDeck(bool markBusy) {
    // The decode thread re-plans by itself when it sees the flag; planning here at once means
    // its next pass already fills around the new position.
    stream->replanNeeded.store(true, relaxed);
    if (stream->decodeLock) {
        std::lock_guard lock(*stream->decodeLock);
        replan(*stream);
    }
    if (markBusy) {
        stream->decoderBusy.store(true, relaxed);
    }
}

void waveControl::clearStretcher() {
    if (stream->stretcher) {
        stream->stretcher->requestClear();
    }
}

void waveControl::cancelSpeedRamp() {
    auto& ramp = stream->speedRamp;
    ramp.On.store(false, std::memory_order_release);
    ramp.from.store(0.0, relaxed);
    ramp.to.store(0.0, relaxed);
    ramp.delta.store(0.0, relaxed);
}

void waveControl::addHoldFrames(double seconds) {
    // The render thread counts this down at the same time; the exchange keeps both changes.
    const double frames = seconds * kFramesPerSecond;
    int32_t now = stream->stopCountdown.load(relaxed);
    int32_t next;
    do {
        const double sum = std::min<double>(now + frames, std::numeric_limits<int32_t>::max());
        next = static_cast<int32_t>(sum);
    } while (!stream->stopCountdown.compare_exchange_weak(now, next, relaxed));
}

// --- touches ------------------------------------------------------------------------------------

void waveControl::touchesBegan(const std::vector<Touch>& touches) {
    if (!stream || ignoresTouches()) {
        return;
    }
    if (!wasTriple) {
        speedBeforeTripple = stream->baseSpeed.load(relaxed);
    }
    for (const Touch& touch : touches) {
        const Point at{touch.x, touch.y};
        switch (noTouches) {
        case 0:
            firstFingerDown(touch);
            break;
        case 1:
            lastDefaultSpeed = stream->baseSpeed.load(relaxed);
            secondTouch = _secondTouch = at;
            clearDisplayFlags();
            break;
        case 2:
            lastTX = 0.0f;
            thirdTouch = _thirdTouch = at;
            wasTriple = true;
            stream->twoFingerMode.store(false, relaxed);
            stream->threeFingerMode.store(true, relaxed);
            break;
        default:
            break; // further fingers are only counted
        }
        ++noTouches;
    }
}

void waveControl::firstFingerDown(const Touch& touch) {
    audioStream& d = *stream;
    if (d.isPlaying.load(relaxed)) {
        indexBeforeStratch = audiblePosition(d);
        setSpeed(d, 0.0, kGlideSteps); // the deck glides to a standstill under the finger
    } else {
        replanDeck(true);
    }
    if (!d.isScratching.load(relaxed)) {
        d.brakeRequested.store(false, relaxed);
        d.scratchIdleFrames.store(0, relaxed);
        d.scratchFrames.store(0, relaxed);
        d.isScratching.store(true, relaxed);
        d.stopCountdown.store(0, relaxed);
        d.inertiaSpeed.store(0.0, relaxed);
        if (keyLock()) {
            // The stretcher is bypassed from now on: the read position becomes the audible one.
            // (The same latency as at the lift, so a hold that changes nothing moves nothing.)
            d.position.store(d.position.load(relaxed) + pendingStretchLatency(d), relaxed);
        }
    }
    lastTouch = _lastTouch = Point{touch.x, touch.y};
    lastTime = touch.timestamp;
    oldSpeed = oldSpeed1 = 0.0f;
    clearDisplayFlags();
}

void waveControl::touchesMoved(const std::vector<Touch>& touches) {
    if (!stream || ignoresTouches()) {
        return;
    }
    stream->scratchIdleFrames.store(0, relaxed);
    for (const Touch& touch : touches) {
        if (noTouches == 3) {
            seekMove(touch);
        } else if (noTouches == 1) {
            oneFingerMove(touch);
        }
        // Two fingers (or more than three) do not move the deck.
    }
}

void waveControl::seekMove(const Touch& touch) {
    audioStream& d = *stream;
    d.twoFingerMode.store(false, relaxed);
    d.threeFingerMode.store(true, relaxed);
    if (!wasTriple && !d.pitchLock.load(relaxed)) {
        d.baseSpeed.store(std::clamp(speedBeforeTripple, kSeekBaseSpeedMin, kSeekBaseSpeedMax),
                          relaxed);
        if (notifications_) {
            notifications_->post("DefaultSpeedChanged", deckIndex_);
        }
    }
    wasTriple = true;

    // Fingers are told apart by where they were: the stored point at this touch's previous
    // location is this finger.
    const Point previous{touch.previousX, touch.previousY};
    const Point now{touch.x, touch.y};
    for (Point* finger : {&lastTouch, &secondTouch, &thirdTouch}) {
        if (*finger == previous) {
            *finger = now;
        }
    }

    // The second finger's vertical travel seeks: down moves back, up moves on.
    if (lastTX == 0.0f) {
        lastTX = _secondTouch.y;
    }
    const float travel = secondTouch.y - lastTX;
    lastTX = secondTouch.y;
    const double position = d.position.load(relaxed);
    const double length = d.lengthFrames.load(relaxed);
    const double target =
        std::clamp(position - static_cast<double>(travel) / kSeekSpanPoints * length, 0.0, length);
    if (target != position) {
        d.position.store(target, relaxed);
        replanDeck(true);
        clearStretcher();
    }
}

void waveControl::oneFingerMove(const Touch& touch) {
    audioStream& d = *stream;
    const float dy = lastTouch.y - touch.y; // moving up plays forwards
    const double dt = touch.timestamp - lastTime;
    const double base = d.baseSpeed.load(relaxed);
    // Frames per frame. A movement without elapsed time has no measurable velocity.
    const float v =
        dt > 0.0 ? static_cast<float>(dy / dt / kFramesPerRow * base * visualScale) : 0.0f;
    lastTouch = Point{touch.x, touch.y};
    lastTime = touch.timestamp;

    if (d.isPlaying.load(relaxed)) {
        // Scratch: the record follows the hand, smoothed and limited so it never jumps.
        float target = std::fabs(v) < kStillVelocity ? 0.0f : v;
        if (target < -kVelocityLimit) {
            target = -kVelocityClamped;
        } else if (target > kVelocityLimit) {
            target = kVelocityClamped;
        } else {
            target *= 0.5f;
        }
        float s = target + kLastWeight * oldSpeed + kBeforeLastWeight * oldSpeed1;
        if (std::fabs(s - oldSpeed) > kMaxSpeedChange) {
            s = s > oldSpeed ? oldSpeed + kMaxSpeedChange : oldSpeed - kMaxSpeedChange;
        }
        oldSpeed1 = oldSpeed;
        oldSpeed = s;
        if (d.speedRamp.isOn()) {
            cancelSpeedRamp();
        }
        setSpeedNow(d, s);
        // The speed lasts as long as the movement that produced it.
        if (dt > 0.0) {
            addHoldFrames(dt);
        }
    } else {
        // Drag: the stopped deck follows the finger row by row, silently.
        const double margin = visualScale * kFramesPerRow * kRowsToEdge;
        const double length = d.lengthFrames.load(relaxed);
        const double moved = d.position.load(relaxed) + dy * base * kFramesPerRow * visualScale;
        d.position.store(std::clamp(moved, -margin, length + margin), relaxed);
        oldSpeed = v;
        clearStretcher();
    }
}

void waveControl::touchesEnded(const std::vector<Touch>& touches) {
    if (!stream || isFreezed) {
        return;
    }
    // Stop-proof keeps new fingers off a playing deck, but a finger already down (the deck
    // started, or went alone on air, under it) is always lifted: else its scratch never ends
    // and the finger count stays wrong for every later touch.
    if (noTouches == 0 && ignoresTouches()) {
        return;
    }
    touchesLifted(touches, false);
}

void waveControl::touchesCancelled(const std::vector<Touch>& touches) {
    if (!stream) {
        return;
    }
    touchesLifted(touches, true);
    wasTriple = false;
    clearDisplayFlags();
}

void waveControl::touchesLifted(const std::vector<Touch>& touches, bool cancelled) {
    audioStream& d = *stream;
    for ([[maybe_unused]] const Touch& touch : touches) {
        if (noTouches < 2) {
            clearDisplayFlags();
            if (d.isPlaying.load(relaxed)) {
                if (cancelled) {
                    setSpeed(d, d.baseSpeed.load(relaxed), kGlideSteps);
                }
                d.inertiaSpeed.store(0.0, relaxed);
            } else if (!wasTriple) {
                cancelSpeedRamp();
                if (std::fabs(oldSpeed) > kCoastVelocity) {
                    d.inertiaSpeed.store(oldSpeed, relaxed); // a flick: the deck coasts
                } else {
                    replanDeck(false);
                }
            }
        }
        noTouches -= 1;
        if (noTouches < 0) {
            noTouches = 0;
            wasTriple = false;
        }
        if (noTouches == 0) {
            lastFingerLifted();
        }
    }
    if (noTouches == 2 || noTouches == 3) {
        d.twoFingerMode.store(true, relaxed);
        d.threeFingerMode.store(false, relaxed);
    } else if (noTouches < 2) {
        clearDisplayFlags();
    }
}

void waveControl::lastFingerLifted() {
    audioStream& d = *stream;
    d.scratchIdleFrames.store(0, relaxed);
    d.stopFlag.store(d.position.load(relaxed) <= d.loopEnd.load(relaxed), relaxed);
    // Not scratching any more before the glide starts, so it is not stretched to twice the
    // length.
    d.isScratching.store(false, relaxed);
    setSpeed(d, d.baseSpeed.load(relaxed), kGlideSteps);
    clearDisplayFlags();
    d.stopCountdown.store(0, relaxed);
    if (d.isPlaying.load(relaxed)) {
        // Emptied, the stretcher is filled at once and heard from the read position.
        clearStretcher();
    }
    if (keyLock()) {
        // The stretcher is back in the path: its latency (none once emptied) separates read
        // and audible position.
        d.position.store(d.position.load(relaxed) - pendingStretchLatency(d), relaxed);
    }
    wasTriple = false;
}

// --- freeze, play, stop -------------------------------------------------------------------------

void waveControl::freeze() {
    if (!stream) {
        return;
    }
    if (stream->isPlaying.load(relaxed)) {
        speedFreezed = stream->baseSpeed.load(relaxed);
        indexFreezed = stream->position.load(relaxed);
        isFreezed = true;
    } else {
        isFreezed = false;
    }
}

void waveControl::run() {
    isFreezed = false;
}

void waveControl::play() {
    if (!stream) {
        return;
    }
    audioStream& d = *stream;
    if (!d.isLoaded.load(std::memory_order_acquire)) {
        if (!storedTrack_.empty()) {
            engine_.runDecode(deckIndex_, storedTrack_);
        }
    } else {
        deckPlay(d, firstPlayHook_);
    }
    if (!engine_.engineRunning()) {
        engine_.setEngineRunning(true); // deck rendering runs; the other deck is left alone
    }
    setSpeed(d, d.baseSpeed.load(relaxed), 0);
}

void waveControl::stop() {
    if (!stream || !stream->isLoaded.load(std::memory_order_acquire)) {
        return;
    }
    audioStream& d = *stream;
    storedTrack_ = d.trackFile();
    // The stop routine acts on a loaded deck only, so it runs before the close unloads it.
    deckStop(d);
    EngineServices none;
    closeTrack(d, services_ ? *services_ : none);
    d.position.store(0.0, relaxed);
    d.nextReadFrame.store(0, relaxed);
}

} // namespace vx
