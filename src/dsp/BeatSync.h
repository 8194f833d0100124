#pragma once
// Beat-grid arithmetic shared by the beat-synced effects (gate, repeater, delay) and the deck's
// effect operations, plus the table-index rounding the XY pad mapping uses.
//
// The integer and float precision of each step is part of the behaviour (where a beat boundary
// falls, to the frame), so each function states it. Every float → integer conversion here is
// saturating, so a tempo of 0, a negative tempo from a backwards scratch or a negative counter
// all give defined results instead of undefined behaviour.

#include <cstdint>

namespace vx {

// Any thread: round-to-nearest with halves away from zero (single precision), clamped to the
// table range 0..count − 1; NaN gives 0.
int padIndex(float v, int count);

// Any thread: trunc(v) as int64, saturating at the type's range; NaN gives 0.
int64_t saturateToI64(double v);
// Any thread: trunc(v) as uint64, saturating (negative and NaN give 0, too large gives max).
uint64_t saturateToU64(double v);
// Any thread: trunc(v) clamped to lo..hi (NaN gives lo).
int32_t truncClamp(float v, int32_t lo, int32_t hi);

// Any thread: v clamped to lo..hi (NaN gives lo).
inline float clampFloat(float v, float lo, float hi) {
    if (!(v >= lo)) {
        return lo;
    }
    return v > hi ? hi : v;
}

// Any thread: frames per beat for the beat counter alignment: trunc((60 / tempo, single
// precision) × 44100.0) as int64; at least 1.
int64_t alignmentBeatSamples(float tempo);

// Any thread: the beat counter of a deck: trunc((positionFrames + offsetFrames) × rate) as
// int64, modulo alignmentBeatSamples(tempo). The remainder has the sign of the dividend, so a
// position in the lead-in gives a negative counter.
int64_t alignedBeatCounter(double positionFrames, double offsetFrames, double rate, float tempo);

// Any thread: the first beat boundary after `counter` (frames): beatLen = (60 / tempo) ×
// sampleRate in double precision; q = trunc(counter / beatLen) as uint64; result
// trunc((q + 1) × beatLen) as uint64.
uint64_t nextBeatBoundary(uint64_t counter, float tempo, float sampleRate);

} // namespace vx
