#pragma once
// BeatDetect: the one-pass analysis of a track's mono audio. Fed the track block by block
// (1024 frames, in file order), it fills the track's peak entries, estimates the tempo and
// finds where the beats fall, then marks every beat in the peak data.
//
// Per block: the four 256-frame peak windows go through the shared window rule (height and
// low-frequency flag), and their loudness is summed for the playback gain; the block feeds
// the tempo estimator (below), whose current estimate goes into a histogram of whole tempos
// from 80 to 179 BPM; a Hamming-windowed 1024-point FFT gives four band
// energies (3–4 kHz, two low bands and DC), and a block whose band energy jumps well above the
// band's last second (ratio above the ratio threshold, and that ratio at least the rise
// threshold times the previous block's) counts as an onset in that block. At the end the
// tempo is the histogram's most frequent bin; the onsets are folded at that beat period and
// the strongest position in the fold is the first beat.
//
// Onsets per block place that beat only to within a block (1024 frames), and where hats or
// off-beat kicks fill the half-beats as evenly as the beats the fold may take a half-beat. So
// the tempo estimator's five-band envelope is folded at the same period over the whole track
// and chooses where the beat falls (each band voting with its fold; the hats' band at half
// weight), and a low-band (kick range) energy envelope in 64-frame hops pins it: the first
// beat moves to the strongest low-band rise within a block and a half of that position, to
// within a fraction of a hop. The marks then step from that fractional start. A track too
// short for onsets keeps the fold's position (0).
//
// The tempo estimate comes from an onset-strength envelope of five bands (kick to hats) at
// 86 frames per second. Every 32 blocks the last 12 seconds give an estimate: each band's
// autocorrelation, summed, scores every candidate beat with its 2, 3 and 4 multiples, so a
// 3:2 or 4:3 relative of the beat, which finds only part of its multiples on the grid, loses
// to the beat; a broad tempo prior (log-normal around 120 BPM, one octave wide) settles near
// ties between relatives. Where a tempo and its double both lie in 80–180 (the slower one
// refined first, so 90.4 has no double in range), the faster is taken when its family scores
// at least 0.7 of the slower one's (drum and bass stays at 174; swung music at 90). The winner
// is refined on all the multiples the window holds. The estimate stands for every block until
// the next one, so the histogram reflects the whole track.
//
// Threads: one instance belongs to one analysis run on the analysis thread. It owns the
// detector, the FFT set-up and all buffers (allocated at construction; processBlock does not
// allocate); the peak data is shared (see peakFileData) and only its entries are written.

#include "analysis/PeakWindowRule.h"
#include "analysis/peakFileData.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

struct kiss_fftr_state;

namespace vx {

// Any thread: the onset ratio threshold — how many times the band's mean energy over the
// last second a block's energy must reach (default 5.85). Process-wide tuning value.
float onsetRatioThreshold();
// Any thread (the tuning controls): sets the onset ratio threshold.
void setOnsetRatioThreshold(float value);
// Any thread: the onset rise threshold — how many times the previous block's ratio an onset's
// ratio must reach (default 450). Process-wide tuning value.
float onsetRiseThreshold();
// Any thread (the tuning controls): sets the onset rise threshold.
void setOnsetRiseThreshold(float value);

class BeatDetect {
public:
    // Frames per analysis block.
    static constexpr int kBlockFrames = 1024;
    // Tempo range searched, BPM.
    static constexpr double kMinBpm = 80.0;
    static constexpr double kMaxBpm = 180.0;
    // Histogram bins: bin i counts estimates rounding to 80 + i BPM (the last also above).
    static constexpr int kHistogramBins = 100;
    // Band energy history length, in blocks (about one second).
    static constexpr int kHistoryBlocks = 44;
    // Tempo used when no estimate ever reached 80 BPM.
    static constexpr double kDefaultBpm = 120.0;
    // Hop of the low-band envelope that places the first beat, frames.
    static constexpr int kEnvelopeHopFrames = 64;

    // Analysis thread: an analysis of `peaks` (its count entries are filled from window 0),
    // for audio at 44100 Hz.
    explicit BeatDetect(peakFileData& peaks);
    virtual ~BeatDetect();
    BeatDetect(const BeatDetect&) = delete;
    BeatDetect& operator=(const BeatDetect&) = delete;

    // Analysis thread: one step over the next block: `frames` (0..1024) mono float samples of
    // the track; a short (last) block is taken as zero-padded to 1024. Ignored once every
    // window has been filled.
    void processBlock(const float* samples, int frames);

    // Analysis thread: fixes the tempo at `bpm` (> 0): computeBpm returns it and folds at its
    // period, whatever the estimates were.
    void setTempoOverride(double bpm);

    // Analysis thread: finishes the analysis: chooses the tempo (BPM), folds the onsets at its
    // period, marks the beats in the peak data (bit 6 of byte 1) and returns the tempo.
    double computeBpm();

    // The histogram bin the tempo comes from: the most frequent one, the higher bin where
    // counts are equal; -1 for an empty histogram.
    static int mostFrequentBin(const std::array<int, kHistogramBins>& histogram);

    // Analysis thread: loudness of the windows so far: sum of m² and number of windows, m
    // being (mean square + sum of magnitudes) / 256 per window.
    double loudnessSum() const { return loudnessSum_; }
    double loudnessCount() const { return loudnessCount_; }
    // Analysis thread: the playback gain from the loudness, 0.33 / sqrt(mean m²), clamped to
    // 0.001..2.0 (2.0 for silence).
    double gain() const;

    // Analysis thread: tempo estimates counted so far (those of 80 BPM and above), their sum,
    // the last one, and the histogram.
    int estimateCount() const { return estimateCount_; }
    double estimateSum() const { return estimateSum_; }
    double lastEstimate() const { return lastEstimate_; }
    const std::array<int, kHistogramBins>& histogram() const { return histogram_; }
    // Analysis thread: onset strength per block (one entry per four windows).
    const std::vector<float>& onsets() const { return onsets_; }
    // Analysis thread: the strongest position of the last computeBpm's onset fold, in peak
    // windows (a multiple of four: onsets are counted per block).
    int beatOffset() const { return beatOffset_; }
    // Analysis thread: the first beat of the last computeBpm's grid, in peak windows
    // (fractional; 0 <= start < period): the envelope's beat position (beatOffset() on a track
    // too short for onsets) refined on the low-band envelope.
    double beatStart() const { return beatStart_; }
    // Analysis thread: the next window processBlock fills.
    int32_t nextWindow() const { return nextWindow_; }

private:
    class TempoEstimator;

    void computePeakWindows(const float* block, int frames);
    void addEstimate(double bpm);
    void detectOnsets(const float* block);
    void followLowBand(const float* block, int frames);
    // The first beat pinned to the low band's strongest rise within reach of `center` (peak
    // windows); with `spreadHops` > 0 the rises are weighted by their distance from `center`
    // (a Gaussian of that width, in envelope hops), so a later bass note does not pull the beat
    // off an accurate center.
    double refineBeatStart(double period, double center, double spreadHops) const;

    // Band energy history: the last 44 (briefly 45) block energies of one band.
    struct BandHistory {
        std::array<float, kHistoryBlocks + 1> values{};
        int start = 0;
        int size = 0;
        void push(float v);
        void dropOldest();
        float mean() const;
    };

    peakFileData& peaks_;
    int32_t windowCount_;
    int32_t nextWindow_ = 0;

    // Peak windows and loudness.
    bool computePeaks_ = true;
    PeakWindowRule rule_;
    double loudnessSum_ = 0.0;
    double loudnessCount_ = 0.0;

    // Tempo estimate.
    std::unique_ptr<TempoEstimator> tempo_;
    std::array<int, kHistogramBins> histogram_{};
    double lastEstimate_ = 0.0;
    double estimateSum_ = 0.0;
    int estimateCount_ = 0;
    bool tempoOverride_ = false;
    double overrideBpm_ = 0.0;

    // FFT and band energies.
    kiss_fftr_state* fft_ = nullptr;
    std::vector<float> hamming_;
    std::vector<float> windowed_;
    std::vector<float> spectrum_; // kiss_fft_cpx[513], as floats
    std::vector<float> magnitudes_;
    std::array<BandHistory, 4> bands_{};
    std::array<float, 4> previousAverage_{1.0f, 1.0f, 1.0f, 1.0f};
    std::array<float, 4> previousEnergy_{};

    // Onsets and the beat fold.
    std::vector<float> onsets_;
    std::vector<float> fold_;
    int beatOffset_ = 0;
    double beatStart_ = 0.0;

    // Low-band envelope: energy per hop of the twice low-passed signal.
    std::vector<float> lowEnergy_;
    int32_t nextHop_ = 0;
    float low1_ = 0.0f;
    float low2_ = 0.0f;
    float envelope_ = 0.0f;
};

} // namespace vx
