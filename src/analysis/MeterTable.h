#pragma once
// MeterTable: maps a level in decibels to a meter deflection 0…1, so that the level meter
// shows quiet signals larger than a linear amplitude would and still reaches 1 at 0 dB.
//
// The deflection at d dB is ((10^(d/20) − a) / (1 − a))^(1/root) with a = 10^(min/20): 0 at the
// floor, 1 at 0 dB. It is precomputed for `size` decibel values spaced evenly from 0 dB down to
// the floor (entry i holds the value at i × min / (size − 1) dB); a lookup takes the entry
// whose decibel value is the next one at or above d (towards 0 dB), so reading the meter costs
// one multiplication and no transcendental function.
//
// Threads: built once by its owner; lookups are read-only and may run on any thread.

#include <vector>

namespace vx {

class MeterTable {
public:
    // Any thread: the table for a floor of `minDecibels` (< 0, dB), `size` entries (≥ 2) and
    // the given root (> 0). Out-of-range arguments fall back to −80 dB, 400 entries, root 2.
    explicit MeterTable(float minDecibels = -80.0f, int size = 400, float root = 2.0f);

    // Any thread: the deflection 0…1 at `decibels` (dB); 0 below the floor (and for NaN), 1 at
    // 0 dB and above.
    float valueAt(float decibels) const;

    // Any thread: the floor (dB), the number of entries, and the decibel value of entry `i`.
    float minDecibels() const { return minDecibels_; }
    int size() const { return static_cast<int>(table_.size()); }
    float decibelsOfEntry(int i) const { return static_cast<float>(i) * resolution_; }

private:
    float minDecibels_;
    float resolution_;  // dB between entries (negative)
    float scaleFactor_; // entries per dB (negative)
    std::vector<float> table_;
};

} // namespace vx
