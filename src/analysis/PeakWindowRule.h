#pragma once
// PeakWindowRule: the rule that turns one window of mono samples (256 frames; the track's last
// window may be shorter) into a peak entry. Every producer of peak entries runs it — the
// analysis over the whole track, the decoder over each decoded block — so that the overview
// looks the same whoever computed a window.
//
// Per window: peak = max |s|, and the largest magnitudes of the samples through the fixed
// low-pass (`downsampleLP`) and band-pass (`coloringBP`). The displayed level is smoothed
// with the previous window's peak: smoothed = 0.5·previous + 0.5·peak, height =
// trunc(smoothed·50). A window is low-frequency dominant (flag 1) when the low-pass carries
// more than 0.55 of the smoothed level and the band-pass, weighted by 2.8, no more than 0.5 of
// it; other windows are drawn at half height. The previous peak carries over only while the
// flag stays the same, so a change of colour starts its level afresh. A silent window
// (smoothed 0) is height 0, flags 0, and leaves the previous flag alone.
//
// Threads: one instance belongs to one producer run on its thread (analysis or decode). It
// owns its filter pair, whose history runs on from window to window. No allocation.

#include "analysis/peakFileData.h"
#include "dsp/coloringBP.h"
#include "dsp/downsampleLP.h"

#include <cstdint>

namespace vx {

// One computed entry.
struct PeakEntry {
    uint8_t height = 0; // byte 0
    uint8_t flags = 0;  // byte 1: kPeakLowFrequencyFlag or 0
};

class PeakWindowRule {
public:
    // Height per unit of smoothed peak.
    static constexpr double kHeightScale = 50.0;
    // Low-pass share of the smoothed level above which a window is low-frequency dominant.
    static constexpr float kLowShare = 0.55f;
    // Weight of the band-pass share, and the limit the weighted share may reach.
    static constexpr float kBandWeight = 2.8f;
    static constexpr float kBandLimit = 0.5f;
    // Largest height stored: 0xFF would read as "not computed".
    static constexpr int kMaxHeight = 254;

    downsampleLP lowPass;
    coloringBP bandPass;
    float previousPeak = 0.0f; // previous window's peak, or 0 after a change of flag
    int previousFlag = -1;     // flag of the previous non-silent window; −1 before the first

    // Producer thread: the entry of one window of `n` mono samples (1..256; the filters run
    // over all of them).
    PeakEntry next(const float* samples, int n);
    // Producer thread: forgets the smoothing state and previous flag (not the filter history).
    void restart();
};

// Decode thread: computes the entries of one decoded block — `frames` stereo interleaved
// frames at 44100 Hz starting at track frame `startFrame` — into `peaks`, with a fresh rule
// (smoothing and filters start from rest at each block). The mono sample is
// (left + right) × 0.5. Windows are aligned to entries: the first is entry
// ceil(startFrame / 256); the block's last window may be short. Entries beyond the record are
// not written; the beat bits an entry already carries are kept (`fillEntry`). Returns the
// number of entries written. The caller sets the record's `ready` flag.
int32_t makePeaksFromBlock(const float* block, int32_t frames, int64_t startFrame,
                           peakFileData& peaks);

} // namespace vx
