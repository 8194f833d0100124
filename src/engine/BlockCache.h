#pragma once
// BlockCache: the decode plan and the filling of one deck's ring of decoded blocks.
//
// A track is never decoded whole. The ring holds 20 blocks of 32768 frames; the plan
// (`blockWanted`) says which blocks matter — around the play position (3), around the loop
// start (2), then the rest of the budget in the direction of play (1) — and the decode thread
// fills slots with wanted blocks that are not yet held, nearest first. The render thread only
// reads the ring and raises `replanNeeded` when the position jumps.
//
// Threads: the deck's decode thread, holding the deck's `decodeLock` (the ring, `blockWanted`,
// `nextReadFrame` and the file are changed only under it). Slots are published to the render
// thread by their `valid` flag (release after the data, start frame and frame count are
// complete; cleared before a refill).

#include <cstdint>

namespace vx {

struct audioStream;
struct soundBuffer;

// Decode thread, under decodeLock: recomputes `blockWanted` and clears `replanNeeded`.
void replan(audioStream& deck);

// Decode thread, under decodeLock: decodes the nearest wanted block not held by a valid slot
// into `slot`; returns 1 when a block was decoded.
int fillSlot(audioStream& deck, soundBuffer& slot);

// Decode thread, under decodeLock: one fill step — the first slot that is not valid, else the
// valid slots holding unwanted blocks in slot order until one is refilled. Returns 1 when a
// block was decoded.
int fillStep(audioStream& deck);

// Decode thread, under decodeLock: reads up to 32768 frames from `startFrame` into `slot`;
// 1 on success. Short reads inside the track are rejected ("fake read").
int decodeBlock(audioStream& deck, soundBuffer& slot, int32_t startFrame);

// Decode thread: empties a slot (not valid, indexes −1, zero-filled).
void resetSlot(soundBuffer& slot);

} // namespace vx
