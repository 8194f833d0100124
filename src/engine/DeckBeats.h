#pragma once
// DeckBeats: the beat-grid questions the deck controllers ask of a loaded track, and the two
// operations that change the grid.
//
// The beat grid lives in the track's peak entries (one per 256 frames): an entry whose flags
// byte has any of bits 4..7 set is a beat entry, bit 6 marks a beat of the regular grid and
// bit 4 an even beat, counted from the nearest cue point before it. A beat is therefore only
// known to the entry: its frame is taken as 1 + 256 × entry. Auto-mix, party mode, loops, the
// cue button's snap and the tempo controls all go through these functions rather than reading
// the entries themselves.
//
// Threads: main thread. The queries are also called with the engine lock held (auto-mix lines
// decks up under it), so they take no lock: like the other deck functions they read
// `fileInfo` and `peaks`, which the decode thread publishes before it sets `isLoaded`. The flag
// bits are changed with atomic read-modify-writes, so the render and decode threads may read
// or fill entries meanwhile. The grid rewrite also writes the peak file beside the track and
// briefly takes the deck's decode lock to read the open file's path: never call it with the
// engine lock held.
//
// Every query answers something on an unloaded deck or a track without tempo (the sentinels
// below) and never reads outside the peak entries.

#include <cstdint>

namespace vx {

struct audioStream;

// Beat mode of the beat searches, and the answer of the parity query.
inline constexpr int kBeatAny = -1;  // any beat entry (as a parity: no beat entry there)
inline constexpr int kBeatEven = 0;  // an even beat
inline constexpr int kBeatOther = 1; // a beat that is not an even beat

// Frames a beat search answers beyond the frame when the track has no tempo (half a second).
inline constexpr double kNoTempoBeatFrames = 22050.0;

// Main thread: the parity of the entry round((position − 1) / 256) at the deck's read
// position: kBeatAny (−1) when it is not a beat entry (or nothing is loaded), kBeatEven (0) for
// an even beat, kBeatOther (1) for another beat.
int beatParity(const audioStream& deck);
// Main thread: the same at `position` (frames).
int beatParityAt(const audioStream& deck, double position);

// Main thread: the frame (1 + 256 × entry) of the first beat entry after the entry holding
// `frame` when it suits `mode` (kBeatAny: any; kBeatEven: only an even beat; kBeatOther: only
// another beat), else `frame` itself (also when no beat entry follows, or for another mode).
// 0 when `frame` ≥ lengthFrames or nothing is loaded; frame + 22050 without a tempo. Frames.
double nextBeatFromFrame(const audioStream& deck, double frame, int mode);
// Main thread: like nextBeatFromFrame, but a first beat of the wrong parity does not end the
// search: the first beat entry after the one holding `frame` that suits `mode`, or `frame`
// when none follows before the end. Frames.
double nextBeatOfParity(const audioStream& deck, double frame, int mode);

// Main thread: moves `position` to the frame of the first beat entry after the one holding it
// that suits `mode` (kBeatAny, kBeatEven or kBeatOther) and returns it; the position stays
// when none follows or it is at or past the end. Without a tempo returns position + 22050
// without moving. Resets the deck's EQ history. 0 when nothing is loaded. Frames.
double stepToNextBeat(audioStream& deck, int mode);

// Main thread: the frame of the beat nearest `frame`, never the beat in the entry holding
// `frame`; the later one at equal distance. The track start (0) counts as a beat before the
// first beat entry, the track end (lengthFrames) as one after the last. 0 when `frame` ≥
// lengthFrames or nothing is loaded; −1 without a tempo. Frames.
double nearestBeatToFrame(const audioStream& deck, double frame);

// Main thread: steps `count` + 1 beats forward (any beat), then under key lock moves the
// position back by the stretcher's latency so the beat is what the listener hears first.
// Nothing for a negative count or an unloaded deck.
void skipBeatsForNextTrack(audioStream& deck, int count);

// Main thread, never with the engine lock held: places the regular grid so that a beat falls
// at `anchorFrame` (track frames) and repeats every beat of the track's tempo both ways, then
// recomputes the even beats and rewrites the peak file beside the track. Only for
// 0 ≤ anchorFrame ≤ lengthFrames, a tempo > 0 and a track not in the built-in group (1).
// Returns the beat length in peak entries (60 / tempo × 44100 / 256), or 0 when nothing was
// changed.
double rewriteBeatGrid(audioStream& deck, double anchorFrame);

// Main thread: recomputes the even-beat flag (bit 4) of every entry from the cue points: the
// beats between two cue points are counted from the earlier cue (those before the first cue
// from the first beat), and every other beat is even. Without a tempo only clears the flags.
void recomputeEvenBeats(audioStream& deck);

} // namespace vx
