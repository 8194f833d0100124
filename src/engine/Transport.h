#pragma once
// Transport: the plain engine functions the deck controllers call to play, stop, jump and
// arm notifications. They change deck fields; the render thread and the decode thread do the
// rest. Main thread unless a line says otherwise; every function on an unloaded deck returns
// 0 or does nothing.

#include "engine/audioStream.h"

#include <functional>

namespace vx {

// Main thread: asked for on the first play after a load (the database's play count).
using PlayCountHook = std::function<void(audioStream& deck)>;

// Main thread: starts the deck with a 256-frame fade-in; 1, or 0 when nothing is loaded.
// Tries the engine lock without waiting. `onFirstPlay` runs on the first play after a load.
int deckPlay(audioStream& deck, const PlayCountHook& onFirstPlay = {});
// Main thread: the stop routine; 1, or 0 when nothing is loaded.
int deckStop(audioStream& deck);
// Main thread: to the loop start, past the loop end, or to the last frame.
void deckFastForward(audioStream& deck);
// Main thread: to the loop start, or to frame 0 with the file rewound.
void deckRewind(audioStream& deck);

// Any thread: the stretcher's latency in source frames (≤ 0) that will apply to the deck's
// next output: its last measured value, or 0 while a clear is pending (the stretcher is then
// emptied before it outputs again, so nothing it holds is heard).
double pendingStretchLatency(const audioStream& deck);

// The position the listener hears: with key lock the read position plus the stretcher's
// pending latency (above), otherwise the read position. Frames.
double audiblePosition(const audioStream& deck);
// Main thread: makes `audible` the audible position (the read position under key lock is
// audible − pendingStretchLatency).
void setAudiblePosition(audioStream& deck, double audible);

// Main thread: index of the cue nearest the audible position (−1 none; 0 at position 0).
int nearestCue(const audioStream& deck);
// Main thread: index of the cue nearest `frame` (0 for frame 0 or without cue points).
int nearestCueToFrame(const audioStream& deck, double frame);
// Main thread: to the previous / next cue (see the cue rules).
void previousCue(audioStream& deck);
void nextCue(audioStream& deck);
// Main thread: jumps to cue `index` (−1 = track start) and decodes one block at once so the
// jump is heard immediately. Takes the engine lock, then the deck's decode lock.
void jumpToCue(audioStream& deck, int index);

// Main thread: a message when the position reaches `frame` (render thread calls it).
void armPositionTrigger(audioStream& deck, int32_t frame, void* target, TriggerSelector selector);
// Main thread: a message when the audible position (read position plus the stretcher's latency
// under key lock, as measured by the render thread at each buffer) reaches `frame`. Unlike a
// read-position frame converted once on arming, this stays right when the deck's speed, and
// with it the stretcher's depth, changes after arming, or when the deck had not played yet.
void armAudibleTrigger(audioStream& deck, int32_t frame, void* target, TriggerSelector selector);
// Main thread: a message after `frames` rendered frames; disarms the position trigger.
void setCountdown(audioStream& deck, int32_t frames, void* target, TriggerSelector selector);
// Main thread: ramps the headphone fade towards `value` over `steps` frames.
void setHeadphoneFade(audioStream& deck, float value, int steps);

} // namespace vx
