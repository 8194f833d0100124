#pragma once
// DeckCues: the cue-point operations that go through the track database.
//
// The database holds each track's cue points (frames, in audible positions); the deck keeps a
// copy in `cuePoints`, ascending, with `numCuePoints` equal to its size. Every change is made
// in the database first and then the deck's copy is reloaded from it, so the two never drift
// apart, and each reload recomputes the even-beat flags, which are counted from the cue
// points. The navigation over the copy (nearest, previous, next, jump) is in Transport.
//
// Threads: main thread only (the cue copy is not read by the render or decode threads). The
// database is passed in; null skips the database steps (then nothing is added or removed, and
// a reload keeps the copy the deck has). No function here takes the engine lock.

#include <cstdint>

namespace vx {

struct audioStream;
class DBController;

// Main thread: asks `db` for the track's cue points, sorts them ascending into `cuePoints` /
// `numCuePoints` (none: empty, 0), then recomputes the even beats. With a null `db` only the
// even beats are recomputed. Nothing on an unloaded deck.
void reloadCuePoints(audioStream& deck, DBController* db);

// Main thread: stores a cue at the audible position truncated to a whole frame, unless a cue
// is already there, or the position is 0 and the track has any cue point; then reloads.
void addCueAtAudiblePosition(audioStream& deck, DBController* db);
// Main thread: the same for `frame` (frames, truncated towards 0; ignored outside int32).
void addCueAtFrame(audioStream& deck, DBController* db, double frame);
// Main thread: removes cue `index` (0 ≤ index < numCuePoints) from the database, then reloads.
void deleteCue(audioStream& deck, DBController* db, int index);

// Main thread, after a track has opened on the deck: its cue points from `db` (none with a
// null `db` or a track the database does not know), ascending, and its even beats.
void deckFileOpened(audioStream& deck, DBController* db);

} // namespace vx
