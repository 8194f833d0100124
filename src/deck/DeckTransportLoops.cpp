// DeckTransport: the loop panel. One button takes the loop-in point and then the
// loop-out point, both snapped to the next beat mark; halve and double change the length in
// place; a label shows the length in beats. The engine wraps from `loopEnd` to `loopStart`
// while `loopActive` is set: every change of `loopActive`, and of `loopEnd` while a loop runs,
// is made under the engine lock so the render thread never wraps against half a change.

#include "deck/DeckTransport.h"

#include "deck/SampleTestController.h"

#include "engine/AudioOut.h"
#include "engine/DeckBeats.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"

#include <cmath>
#include <cstdio>
#include <mutex>

namespace vx {

namespace {

// Shortest loop that halving may leave, frames.
constexpr double kShortestLoopFrames = 32.0;
// A doubled loop end this close to the out point the user set snaps onto it, frames.
constexpr double kLoopEndSnapFrames = 64.0;

// The next beat mark after the peak block holding `frame` (frames; see nextBeatFromFrame).
double nextBeat(const audioStream& s, double frame) {
    return nextBeatFromFrame(s, frame, kBeatAny);
}

// Beat length at the loop start: from the loop start to the next beat mark, frames.
double beatLengthAtLoopStart(const audioStream& s) {
    const double start = s.loopStart.load();
    return nextBeat(s, start) - start;
}

// True for a snapped point the engine can loop on: inside the track, not at frame 0.
bool usablePoint(const audioStream& s, double p) {
    return p >= 1.0 && p < double(s.lengthFrames.load());
}

} // namespace

audioStream* DeckTransport::loopDeck(int d) {
    if (!isDeckIndex(d) || !playing(d)) {
        return nullptr;
    }
    audioStream& s = deck(d);
    s.inertiaSpeed.store(0.0);
    return &s;
}

void DeckTransport::endLoop(audioStream& s) {
    {
        std::lock_guard lock(engine_.engineLock());
        s.loopActive.store(false);
    }
    s.stopFlag.store(false);
}

void DeckTransport::loopInOut(int d) {
    audioStream* deckStream = loopDeck(d);
    if (deckStream == nullptr) {
        return;
    }
    audioStream& s = *deckStream;
    const double audible = std::trunc(audiblePosition(s));
    ButtonState& button = views_[size_t(d)].loopInOut;
    const double p = nextBeat(s, audible);
    // An in point waits only when this button took it (the deck's flag is also written by the
    // end of a scratch) and an out point here would not lie before it.
    const bool inPending = s.stopFlag.load() && button.selected && p >= double(s.loopStart.load());
    if (!inPending) {
        // First press: any running loop ends and the in point waits for its out point.
        {
            std::lock_guard lock(engine_.engineLock());
            s.loopActive.store(false);
        }
        if (usablePoint(s, p)) {
            s.loopStart.store(int32_t(p));
            s.stopFlag.store(true);
        }
        updateLoopLabels();
        updateLoopButtons();
        button.selected = true;
        return;
    }
    if (usablePoint(s, p)) {
        s.loopEnd.store(int32_t(p));
        s.stopFlag.store(false);
        {
            std::lock_guard lock(engine_.engineLock());
            s.loopActive.store(true);
            lastLoopEnd_[size_t(d)] = int32_t(p);
        }
        updateLoopLabels();
        updateLoopButtons();
    }
    button.selected = false;
}

void DeckTransport::loopStop(int d) {
    audioStream* deckStream = loopDeck(d);
    if (deckStream == nullptr) {
        return;
    }
    audioStream& s = *deckStream;
    endLoop(s);
    updateLoopLabels();
    updateLoopButtons();
    views_[size_t(d)].loopInOut.selected = false;
}

void DeckTransport::loopDivide(int d) {
    audioStream* deckStream = loopDeck(d);
    if (deckStream == nullptr) {
        return;
    }
    audioStream& s = *deckStream;
    if (s.loopActive.load()) {
        const double start = s.loopStart.load();
        const double length = double(s.loopEnd.load()) - start;
        const double beat = beatLengthAtLoopStart(s);
        // Half the length in beats, back in frames: the beat length cancels except for the
        // rounding that the truncation settles. A loop start with no beat after it (beat
        // length 0) gives no number and is refused like a too short loop.
        const double half = std::trunc(((length / beat) * 0.5) * beat);
        if (!(half >= kShortestLoopFrames) || !std::isfinite(half)) {
            return;
        }
        std::lock_guard lock(engine_.engineLock());
        s.loopEnd.store(int32_t(start + half));
    }
    updateLoopLabels();
}

void DeckTransport::loopExpand(int d) {
    audioStream* deckStream = loopDeck(d);
    if (deckStream == nullptr) {
        return;
    }
    audioStream& s = *deckStream;
    if (!s.loopActive.load()) {
        return;
    }
    const int32_t last = lastLoopEnd_[size_t(d)];
    if (last <= s.loopEnd.load()) {
        // Already at (or past) the out point the user set: doubling never goes beyond it.
        std::lock_guard lock(engine_.engineLock());
        s.loopEnd.store(last);
        return;
    }
    const double start = s.loopStart.load();
    const double beat = beatLengthAtLoopStart(s);
    const double beats = (double(s.loopEnd.load()) - start) / beat;
    const double end = start + std::trunc(2.0 * beats * beat);
    if (!std::isfinite(end)) {
        return; // no beat after the loop start: no length to double
    }
    {
        std::lock_guard lock(engine_.engineLock());
        // Halving truncated the length; close to the out point means "back to it".
        int32_t e = std::fabs(end - double(last)) < kLoopEndSnapFrames ? last : int32_t(end);
        if (last <= e) {
            e = last;
        }
        s.loopEnd.store(e);
    }
    updateLoopLabels();
}

void DeckTransport::updateLoopLabels() {
    for (int d = 0; d < 2; ++d) {
        LabelState& label = views_[size_t(d)].loopLabel;
        label.text = "?";
        if (!loaded(d) || !deck(d).loopActive.load()) {
            continue;
        }
        const audioStream& s = deck(d);
        const double beats =
            (double(s.loopEnd.load()) - double(s.loopStart.load())) / beatLengthAtLoopStart(s);
        if (std::isfinite(beats)) {
            char text[32];
            std::snprintf(text, sizeof text, "%2.1f", beats);
            label.text = text;
        }
    }
}

void DeckTransport::loopPanelSwitch(int d) {
    if (!isDeckIndex(d)) {
        return;
    }
    DeckViewState& v = views_[size_t(d)];
    v.cuePanel.selected = false;
    v.loopPanel.selected = !v.loopPanel.selected;
    owner_.tempo().closeBpmPad();
    checkPlayStop();
    if (!v.loopPanel.selected) {
        // Closing the panel always ends the loop and forgets a pending in point.
        if (engine_.initialized()) {
            endLoop(deck(d));
        }
        v.loopInOut.selected = false;
    }
    v.pitchPanel.selected = false;
    owner_.updatePitchMode();
    updateLoopLabels();
    updateLoopButtons();
}

} // namespace vx
