#pragma once
// PeakGrid: the beat grid as it lives in the peak entries. A beat of the regular grid is bit 6
// of byte 1 of the entry whose window it starts in; the grid is placed by stepping a beat
// period (in entries, fractional) from a start entry and marking the entry each step rounds
// to. The analysis marks its detected grid this way, and the engine re-grids a track when the
// user places its first beat by hand; the even-beat flag (bit 4) is the engine's, from the cue
// points.
//
// Threads: the analysis thread (marking) and the main thread (re-gridding) change byte 1 with
// atomic read-modify-writes while other threads read the entries; see peakFileData.

#include "analysis/peakFileData.h"

namespace vx {

// Any thread: the length of one beat in peak entries, 60 / bpm × 44100 / 256; 1.0 when bpm
// is not a positive finite number.
double beatPeriodWindows(double bpm);

// Analysis or main thread: sets bit 6 of byte 1 of entry round(x) for x = start,
// start + period, … while x < count. Positions rounding outside the record are skipped.
// Nothing happens for a period or start that is not finite, or a period ≤ 0; a period below
// one entry is taken as one entry (every entry is then a beat).
void markBeatsForward(peakFileData& peaks, double period, double start);

// Analysis or main thread: as markBeatsForward for x = start, start − period, … while x ≥ 0.
void markBeatsBackward(peakFileData& peaks, double period, double start);

// Main thread: places the regular grid at `anchorFrame` (track frames) for a track of `tempo`
// BPM: clears the beat bits (4..7) of every entry, then marks beats forwards and backwards
// from anchorFrame / 256 every beatPeriodWindows(tempo) entries. Returns false and changes
// nothing when the tempo is not positive or the anchor is negative or not finite. The caller
// then recomputes the even beats and rewrites the peak file (peakFileWrite).
bool regridPeaks(peakFileData& peaks, double anchorFrame, double tempo);

} // namespace vx
