#include "analysis/BeatDetect.h"
#include "platform/SampleRate.h"

#include "analysis/PeakGrid.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace vx {

namespace {

std::atomic<float> gOnsetRatioThreshold{5.85f};
std::atomic<float> gOnsetRiseThreshold{450.0f};

constexpr int kBins = BeatDetect::kBlockFrames / 2;
constexpr int kWindowsPerBlock = BeatDetect::kBlockFrames / kPeakWindowFrames;
// Low-band envelope: two one-pole low-passes at 150 Hz keep the kick and drop hats and voices.
const float kLowPassCoefficient = float(1.0 - std::exp(-2.0 * std::numbers::pi * 150.0 / 44100.0));
// Peak-hold decay of the envelope: 20 ms time constant, longer than a kick's half cycle.
const float kEnvelopeDecay = float(std::exp(-1.0 / (0.02 * 44100.0)));
constexpr int kHopsPerWindow = kPeakWindowFrames / BeatDetect::kEnvelopeHopFrames;
// How far the low-band envelope may move the first beat from the position it is given, in hops.
constexpr int kRefineReachHops = 3 * BeatDetect::kBlockFrames / 2 / BeatDetect::kEnvelopeHopFrames;
// The envelope's phase is good to about a block (two of its frames): within that the low band's
// rises count nearly in full, and further off they must be much stronger to move the beat. In
// recorded music the kick's strongest low rise is often a bass note that follows it.
constexpr double kRefineSpreadHops =
    double(BeatDetect::kBlockFrames) / BeatDetect::kEnvelopeHopFrames;
// Fold buffer length: one beat at 79 BPM, in peak windows (enough for every detected tempo).
const int kMinFoldLength =
    static_cast<int>(std::ceil(kSampleRate * (60.0 / 79.0) / kPeakWindowFrames));

} // namespace

float onsetRatioThreshold() {
    return gOnsetRatioThreshold.load(std::memory_order_relaxed);
}
void setOnsetRatioThreshold(float value) {
    gOnsetRatioThreshold.store(value, std::memory_order_relaxed);
}
float onsetRiseThreshold() {
    return gOnsetRiseThreshold.load(std::memory_order_relaxed);
}
void setOnsetRiseThreshold(float value) {
    gOnsetRiseThreshold.store(value, std::memory_order_relaxed);
}

// The tempo estimator. An onset-strength envelope at 86 frames per second (hop 512: one
// frame centred on each block's start and one on its middle) holds, for each of five bands from
// the kick's range to the hats', the rise of the band's log-compressed energy. Every 32 blocks
// the last 12 seconds of envelope give an estimate: the bands' autocorrelations, each
// normalised and then summed (so that a lag counts where one instrument repeats, not where a
// kick meets a hat), are read at each candidate beat lag and at its 2, 3 and 4 multiples, so a
// candidate scores with its whole metrical family. A 3:2 or 4:3 relative of the beat (a lag of 2/3
// or 3/4 beat) finds only a part of its multiples on the beat grid, while the beat finds all of
// them; a broad tempo prior weights the candidates so that a near tie goes to the relative nearer
// 120 BPM. The winner is then refined against every multiple of its lag that the window holds,
// which pins it to a small fraction of a BPM. The estimate stands for every block until the next
// one.
class BeatDetect::TempoEstimator {
public:
    static constexpr int kHop = kBlockFrames / 2;
    static constexpr double kFrameRate = double(kSampleRate) / kHop;
    // Envelope frames one estimate looks at (11.9 s) and the fewest it needs (5 s).
    static constexpr int kWindow = 1024;
    static constexpr int kMinFrames = 430;
    // Blocks between estimates (0.74 s).
    static constexpr int kEstimateEvery = 32;
    // Longest lag read, in frames (three quarters of the window, so every lag has at least a
    // quarter window of overlap): four beats at 80 BPM need 259, and the refinement reads
    // every multiple of the beat up to it.
    static constexpr int kMaxLag = 3 * kWindow / 4;
    static constexpr int kFftSize = 2 * kWindow;
    static constexpr int kBands = 5;
    // Share of the slower tempo's family score at which the faster pulse is taken.
    static constexpr double kPulseShare = 0.7;
    // Tempo prior on the candidates: a log-normal weight centred on 120 BPM, one octave wide
    // (0.92 at 90 and 160, 0.84 at 80 and 180). It decides between metrical relatives whose
    // families score within a few percent of each other, and leaves clear winners alone.
    static constexpr double kPriorCentreBpm = 120.0;
    static constexpr double kPriorOctaves = 1.0;
    // Beat placement in swing: a position a third of a beat after the strongest takes the beat
    // when it scores at least this share of the strongest, and the position two thirds after
    // it at most the gap share (the empty middle triplet of a long-short pair).
    static constexpr double kSwingPairShare = 0.6;
    static constexpr double kSwingGapShare = 0.5;

    explicit TempoEstimator(int32_t blocks)
        : fft_(kiss_fftr_alloc(kBlockFrames, 0, nullptr, nullptr)),
          acfForward_(kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr)),
          acfInverse_(kiss_fftr_alloc(kFftSize, 1, nullptr, nullptr)), hamming_(kBlockFrames),
          frame_(kBlockFrames), spectrum_(kBlockFrames + 2), previousHalf_(kHop, 0.0f),
          acfIn_(kFftSize), acfSpectrum_(kFftSize + 2), raw_(kFftSize), band_(kFftSize),
          acf_(kFftSize), work_(kWindow) {
        envelope_.reserve((size_t(std::max(blocks, 0)) * 2 + 2) * kBands);
        for (int i = 0; i < kBlockFrames; ++i) {
            hamming_[size_t(i)] =
                float(0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (kBlockFrames - 1)));
        }
    }
    ~TempoEstimator() {
        kiss_fftr_free(fft_);
        kiss_fftr_free(acfForward_);
        kiss_fftr_free(acfInverse_);
    }
    TempoEstimator(const TempoEstimator&) = delete;
    TempoEstimator& operator=(const TempoEstimator&) = delete;

    // Analysis thread: one block (zero-padded to 1024) and the squared magnitudes of its own
    // Hamming-windowed spectrum (512 bins).
    void addBlock(const float* block, const float* magnitudes) {
        // The frame centred on the block's start: the previous block's second half and this
        // block's first half.
        for (int i = 0; i < kHop; ++i) {
            frame_[size_t(i)] = previousHalf_[size_t(i)] * hamming_[size_t(i)];
            frame_[size_t(kHop + i)] = block[i] * hamming_[size_t(kHop + i)];
        }
        std::copy(block + kHop, block + kBlockFrames, previousHalf_.begin());
        auto* out = reinterpret_cast<kiss_fft_cpx*>(spectrum_.data());
        kiss_fftr(fft_, frame_.data(), out);
        for (int k = 1; k < kBins; ++k) {
            frame_[size_t(k)] = out[k].r * out[k].r + out[k].i * out[k].i;
        }
        addFrame(frame_.data());
        addFrame(magnitudes);
        if (++blocks_ % kEstimateEvery == 0 && frames_ >= kMinFrames) {
            current_ = estimate();
        }
    }

    // Analysis thread: the current estimate in BPM (80..180), 0 while there is none.
    double current() const { return current_; }

    // Analysis thread: where the beats of `bpm` fall, as the first beat's frame of the track
    // (0 <= frame < one beat), or −1 when the envelope has no beat structure (silence).
    // Each band's envelope is folded at the beat period over the whole track; a band votes
    // with its fold scaled to its own peak and by how much that peak stands out, so the kick
    // and the snare (on the beat in nearly every style) outvote the hats, which fill the
    // half-beats as evenly as the beats.
    double beatPhaseFrames(double bpm) const {
        const double period = 60.0 * kFrameRate / bpm;
        const int bins = int(std::ceil(period));
        if (frames_ < 2 * bins || bins < 2) {
            return -1.0;
        }
        std::vector<double> fold(size_t(bins) * kBands, 0.0);
        for (int j = 0; j < frames_; ++j) {
            const int bin = std::min(int(std::fmod(double(j), period)), bins - 1);
            for (int b = 0; b < kBands; ++b) {
                fold[size_t(bin) * kBands + size_t(b)] += envelope_[size_t(j) * kBands + size_t(b)];
            }
        }
        std::vector<double> score(size_t(bins), 0.0);
        bool any = false;
        for (int b = 0; b < kBands; ++b) {
            double peak = 0.0;
            double mean = 0.0;
            for (int i = 0; i < bins; ++i) {
                peak = std::max(peak, fold[size_t(i) * kBands + size_t(b)]);
                mean += fold[size_t(i) * kBands + size_t(b)];
            }
            mean /= bins;
            if (!(peak > 0.0)) {
                continue;
            }
            // The top band (hats and cymbals) fills the half-beats in most styles and sits on
            // the off-beat in house and trance: it votes at half weight.
            const double weight = b == kBands - 1 ? 0.5 : 1.0;
            const double contrast = weight * (peak - mean) / peak;
            for (int i = 0; i < bins; ++i) {
                // Smoothed over the neighbouring bins: an onset's rise spreads over two frames.
                const double v = 0.25 * fold[size_t((i + bins - 1) % bins) * kBands + size_t(b)] +
                                 0.5 * fold[size_t(i) * kBands + size_t(b)] +
                                 0.25 * fold[size_t((i + 1) % bins) * kBands + size_t(b)];
                score[size_t(i)] += contrast * v / peak;
            }
            any = any || contrast > 0.0;
        }
        if (!any) {
            return -1.0;
        }
        int best = int(std::max_element(score.begin(), score.end()) - score.begin());
        // Swing is long-short: the beat opens the long two thirds and the swung off-beat the
        // short third, and bass and chords often push the off-beat hardest. So where a third
        // of a beat after the strongest position stands another nearly as strong and nothing
        // stands two thirds after it, the strongest is the swung off-beat and the beat is the
        // later one. (A straight or a triplet groove has no such pair.)
        const auto strongestNear = [&](double at) {
            const int centre = int(std::lround(at)) % bins;
            int pick = centre;
            for (const int i : {(centre + bins - 1) % bins, (centre + 1) % bins}) {
                pick = score[size_t(i)] > score[size_t(pick)] ? i : pick;
            }
            return pick;
        };
        const int third = strongestNear(best + period / 3.0);
        const int twoThirds = strongestNear(best + 2.0 * period / 3.0);
        if (score[size_t(third)] >= kSwingPairShare * score[size_t(best)] &&
            score[size_t(twoThirds)] <= kSwingGapShare * score[size_t(best)]) {
            best = third;
        }
        // A frame's rise belongs to the onset that its window's centre half first covers: the
        // onset lies about a quarter window (256 samples) before the frame's centre.
        double frame = best * double(kHop) - kHop / 2.0;
        const double beat = period * kHop;
        frame = std::fmod(frame, beat);
        return frame < 0.0 ? frame + beat : frame;
    }

private:
    // Band edges in FFT bins of 43 Hz: kick, low mids, mids, presence, hats.
    static constexpr std::array<int, kBands + 1> kEdges{1, 4, 10, 35, 117, 372};

    void addFrame(const float* magnitudes) {
        for (int b = 0; b < kBands; ++b) {
            float sum = 0.0f;
            for (int k = kEdges[size_t(b)]; k < kEdges[size_t(b + 1)]; ++k) {
                sum += magnitudes[k];
            }
            // Log compression: loud and quiet music give the same rises; a floor about 50 dB
            // under full scale keeps noise in near-silence from counting.
            const float level =
                std::log1p(1000.0f * sum / float(kEdges[size_t(b + 1)] - kEdges[size_t(b)]));
            envelope_.push_back(std::max(0.0f, level - previousLevel_[size_t(b)]));
            previousLevel_[size_t(b)] = level;
        }
        ++frames_;
    }

    // Mean autocorrelation over the bands at a fractional lag (linear between neighbours).
    double at(double lag) const {
        const int i = int(lag);
        const double f = lag - i;
        return acf_[size_t(i)] * (1.0 - f) + acf_[size_t(i + 1)] * f;
    }
    // The larger of the values at the lags either side of a fractional one: a peak spread
    // over two frames counts in full.
    static double near(const std::vector<float>& r, double lag) {
        const int i = int(std::lround(lag));
        return std::max({r[size_t(i - 1)], r[size_t(i)], r[size_t(i + 1)]}) * 0.5 +
               r[size_t(i)] * 0.5;
    }
    // Family score of a beat lag: the beat (counted twice: the beat itself is the strongest
    // evidence) and its 2, 3 and 4 multiples. Three beats is not a
    // level of a duple bar, so it counts half: a 2:3 relative of the beat (a lag of a beat and
    // a half) has three beats as its second multiple and would otherwise match the beat's
    // family wherever the half-beats are as busy as the beats.
    double family(double lag) const {
        return 2.0 * near(acf_, lag) + near(acf_, 2.0 * lag) + 0.5 * near(acf_, 3.0 * lag) +
               near(acf_, 4.0 * lag);
    }
    // Normalised autocorrelation of band `band` over the last n frames into `out` (lags
    // 0..maxLag + 1); false when the band is silent.
    bool bandCorrelation(int band, int n, int maxLag, std::vector<float>& out) {
        const size_t first = (size_t(frames_) - size_t(n)) * kBands + size_t(band);
        // Keep what rises above the band's local mean (a quarter second around), smoothed over
        // three frames so the correlation peaks can be interpolated.
        constexpr int kReach = 10;
        double running = 0.0;
        int lo = 0;
        int hi = -1;
        for (int i = 0; i < n; ++i) {
            while (hi < std::min(n - 1, i + kReach)) {
                ++hi;
                running += envelope_[first + size_t(hi) * kBands];
            }
            while (lo < i - kReach) {
                running -= envelope_[first + size_t(lo) * kBands];
                ++lo;
            }
            const float local = float(running / (hi - lo + 1));
            work_[size_t(i)] = std::max(0.0f, envelope_[first + size_t(i) * kBands] - local);
        }
        double sum = 0.0;
        for (int i = 0; i < n; ++i) {
            const float l = work_[size_t(std::max(0, i - 1))];
            const float r = work_[size_t(std::min(n - 1, i + 1))];
            acfIn_[size_t(i)] = 0.25f * l + 0.5f * work_[size_t(i)] + 0.25f * r;
            sum += acfIn_[size_t(i)];
        }
        const float mean = float(sum / n);
        for (int i = 0; i < n; ++i) {
            acfIn_[size_t(i)] -= mean;
        }
        std::fill(acfIn_.begin() + n, acfIn_.end(), 0.0f);
        auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(acfSpectrum_.data());
        kiss_fftr(acfForward_, acfIn_.data(), spectrum);
        for (int k = 0; k <= kFftSize / 2; ++k) {
            spectrum[k].r = spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
            spectrum[k].i = 0.0f;
        }
        kiss_fftri(acfInverse_, spectrum, raw_.data());
        if (!(raw_[0] > 1e-6f * float(n))) {
            return false;
        }
        // Unbiased and normalised: every lag as the mean product of its overlap.
        const float zero = raw_[0] / float(n);
        for (int lag = 0; lag <= maxLag + 1; ++lag) {
            out[size_t(lag)] = raw_[size_t(lag)] / float(n - lag) / zero;
        }
        return true;
    }

    double estimate() {
        const int n = std::min(frames_, kWindow);
        const int maxLag = std::min(kMaxLag, n * 3 / 4);
        std::fill(acf_.begin(), acf_.end(), 0.0f);
        int voiced = 0;
        for (int b = 0; b < kBands; ++b) {
            if (!bandCorrelation(b, n, maxLag, band_)) {
                continue;
            }
            ++voiced;
            for (int lag = 0; lag <= maxLag + 1; ++lag) {
                acf_[size_t(lag)] += band_[size_t(lag)];
            }
        }
        if (voiced == 0) {
            return 0.0; // silence
        }

        // Candidates every quarter BPM, scored over their metrical family and weighted by the
        // tempo prior.
        double bestBpm = 0.0;
        double bestScore = 0.0;
        for (double bpm = kMinBpm; bpm <= kMaxBpm; bpm += 0.25) {
            const double lag = 60.0 * kFrameRate / bpm;
            if (4.0 * lag + 2.0 > maxLag) {
                continue;
            }
            const double octaves = std::log2(bpm / kPriorCentreBpm) / kPriorOctaves;
            const double score = family(lag) * std::exp(-0.5 * octaves * octaves);
            if (bestBpm == 0.0 || score > bestScore) {
                bestBpm = bpm;
                bestScore = score;
            }
        }
        if (bestBpm == 0.0 || !(bestScore > 0.0)) {
            return 0.0;
        }
        // Where both a tempo and its double lie in range, the beat is the faster pulse when
        // its family is nearly as strong as the slower one's: drum and bass at 174 (its
        // hats and snares fill every beat), not 87; but swung or sparse music at 90, whose
        // half-beats are off the straight grid, stays at 90. The slower tempo is refined
        // first: at 90.4 BPM the double (180.8) lies outside the range, and the coarse
        // candidates, which stop at 180, would otherwise take it for 180.
        const double slowBpm = bestBpm * 2.0 <= kMaxBpm + 0.5 ? bestBpm : bestBpm / 2.0;
        if (slowBpm >= kMinBpm - 0.5 && slowBpm * 2.0 <= kMaxBpm + 0.5) {
            const double slow = refine(slowBpm, maxLag);
            const double slowLag = 60.0 * kFrameRate / slow;
            const double fastFamily = family(slowLag / 2.0);
            const double slowFamily = 4.0 * slowLag + 2.0 > maxLag ? 0.0 : family(slowLag);
            const bool fast = slow * 2.0 <= kMaxBpm && fastFamily >= kPulseShare * slowFamily;
            const double chosen = fast ? refine(slow * 2.0, maxLag) : slow;
            return std::clamp(chosen, kMinBpm, kMaxBpm);
        }
        const double chosen = refine(bestBpm, maxLag);
        return std::clamp(chosen, kMinBpm, kMaxBpm);
    }

    // The tempo within 2 % of `bpm` whose lag and every multiple of it that the window holds
    // (up to `maxLag`) correlate best: the coarse pick is to the nearest quarter BPM and a
    // frame, and the multiples pin it to a small fraction of a BPM.
    double refine(double bpm, int maxLag) const {
        const int multiples = int((maxLag - 1) / (60.0 * kFrameRate / bpm));
        double refined = bpm;
        double refinedScore = -1e30;
        for (double candidate = bpm * 0.98; candidate <= bpm * 1.02; candidate += 0.01) {
            const double lag = 60.0 * kFrameRate / candidate;
            double score = 0.0;
            for (int k = 1; k <= multiples && k * lag + 1.0 < maxLag; ++k) {
                score += at(k * lag);
            }
            if (score > refinedScore) {
                refined = candidate;
                refinedScore = score;
            }
        }
        return refined;
    }

    kiss_fftr_state* fft_;
    kiss_fftr_state* acfForward_;
    kiss_fftr_state* acfInverse_;
    std::vector<float> hamming_;
    std::vector<float> frame_;
    std::vector<float> spectrum_;
    std::vector<float> previousHalf_;
    std::array<float, kBands> previousLevel_{};
    // Per frame, the five bands' rises.
    std::vector<float> envelope_;
    int frames_ = 0;
    std::vector<float> acfIn_;
    std::vector<float> acfSpectrum_;
    std::vector<float> raw_;
    std::vector<float> band_;
    std::vector<float> acf_;
    std::vector<float> work_;
    int blocks_ = 0;
    double current_ = 0.0;
};

void BeatDetect::BandHistory::push(float v) {
    values[size_t((start + size) % int(values.size()))] = v;
    ++size;
}

void BeatDetect::BandHistory::dropOldest() {
    start = (start + 1) % int(values.size());
    --size;
}

float BeatDetect::BandHistory::mean() const {
    float sum = 0.0f;
    for (int i = 0; i < size; ++i) {
        sum += values[size_t((start + i) % int(values.size()))];
    }
    return sum / float(size);
}

BeatDetect::BeatDetect(peakFileData& peaks)
    : peaks_(peaks), windowCount_(std::max(peaks.count, 0)),
      tempo_(std::make_unique<TempoEstimator>(windowCount_ / kWindowsPerBlock + 1)),
      hamming_(kBlockFrames), windowed_(kBlockFrames), spectrum_(2 * (kBins + 1)),
      magnitudes_(kBins), onsets_(size_t(windowCount_ / 4)), fold_(size_t(kMinFoldLength)),
      lowEnergy_(size_t(windowCount_) * kHopsPerWindow) {
    fft_ = kiss_fftr_alloc(kBlockFrames, 0, nullptr, nullptr);
    for (int i = 0; i < kBlockFrames; ++i) {
        hamming_[size_t(i)] =
            float(0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (kBlockFrames - 1)));
    }
}

BeatDetect::~BeatDetect() {
    kiss_fftr_free(fft_);
}

void BeatDetect::processBlock(const float* samples, int frames) {
    if (nextWindow_ >= windowCount_ || samples == nullptr) {
        return;
    }
    frames = std::clamp(frames, 0, kBlockFrames);
    float block[kBlockFrames];
    std::copy(samples, samples + frames, block);
    std::fill(block + frames, block + kBlockFrames, 0.0f);

    if (computePeaks_) {
        computePeakWindows(block, frames);
    }
    detectOnsets(block);
    tempo_->addBlock(block, magnitudes_.data());
    addEstimate(tempo_->current());
    followLowBand(block, frames);
    nextWindow_ += kWindowsPerBlock;
}

void BeatDetect::followLowBand(const float* block, int frames) {
    const int hops =
        std::min(std::max(frames, 1) / kEnvelopeHopFrames + 1, kBlockFrames / kEnvelopeHopFrames);
    for (int h = 0; h < hops && size_t(nextHop_) < lowEnergy_.size(); ++h, ++nextHop_) {
        const float* x = block + h * kEnvelopeHopFrames;
        for (int i = 0; i < kEnvelopeHopFrames; ++i) {
            low1_ += kLowPassCoefficient * (x[i] - low1_);
            low2_ += kLowPassCoefficient * (low1_ - low2_);
            envelope_ = std::max(std::fabs(low2_), envelope_ * kEnvelopeDecay);
        }
        lowEnergy_[size_t(nextHop_)] = envelope_;
    }
}

double BeatDetect::refineBeatStart(double period, double center, double spreadHops) const {
    const double beatHops = period * kHopsPerWindow;
    const int bins = int(std::ceil(beatHops));
    if (nextHop_ < 2 || bins < 2) {
        return center;
    }
    // Fold the envelope's rises (in amplitude) at the beat period, one bin per hop of phase.
    std::vector<double> fold(size_t(bins), 0.0);
    double previous = lowEnergy_[0];
    for (int32_t h = 1; h < nextHop_; ++h) {
        const double amplitude = lowEnergy_[size_t(h)];
        const double rise = amplitude - previous;
        previous = amplitude;
        if (rise > 0.0) {
            const int bin = std::min(int(std::fmod(double(h), beatHops)), bins - 1);
            fold[size_t(bin)] += rise;
        }
    }
    // The strongest (weighted) rise near the given position (the nearer one on ties).
    const double centerHops = center * kHopsPerWindow;
    int best = -1;
    double bestDistance = 0.0;
    double bestWeighted = 0.0;
    for (int b = 0; b < bins; ++b) {
        double distance = std::fabs(std::remainder(b - centerHops, beatHops));
        if (distance > kRefineReachHops) {
            continue;
        }
        const double spread = spreadHops > 0.0 ? distance / spreadHops : 0.0;
        const double weighted = fold[size_t(b)] * std::exp(-0.5 * spread * spread);
        if (best < 0 || weighted > bestWeighted ||
            (weighted == bestWeighted && distance < bestDistance)) {
            best = b;
            bestDistance = distance;
            bestWeighted = weighted;
        }
    }
    if (best < 0 || !(fold[size_t(best)] > 0.0)) {
        return center;
    }
    // Parabolic interpolation over the neighbouring bins.
    const double l = fold[size_t((best + bins - 1) % bins)];
    const double v = fold[size_t(best)];
    const double r = fold[size_t((best + 1) % bins)];
    const double curve = l - 2.0 * v + r;
    const double shift = curve < 0.0 ? std::clamp(0.5 * (l - r) / curve, -0.5, 0.5) : 0.0;
    // A rise at hop h compares the envelope at the end of hop h with that at the end of hop
    // h − 1, so the onset lies in hop h; on the demo tracks the start of the interpolated
    // bin lands within 40 frames of the kick.
    double start = (best + shift) / kHopsPerWindow;
    start = std::fmod(start, period);
    return start < 0.0 ? start + period : start;
}

void BeatDetect::computePeakWindows(const float* block, int frames) {
    for (int w = 0; w < kWindowsPerBlock && nextWindow_ + w < windowCount_; ++w) {
        const float* x = block + w * kPeakWindowFrames;
        // The track's last window may be short; a window past the end of a short block is
        // the zero padding.
        const int n = std::clamp(frames - w * kPeakWindowFrames, 1, kPeakWindowFrames);
        double squares = 0.0;
        double magnitudes = 0.0;
        for (int i = 0; i < n; ++i) {
            squares += double(x[i]) * x[i];
            magnitudes += std::fabs(x[i]);
        }
        const double m = (squares / n + magnitudes) / kPeakWindowFrames;
        loudnessCount_ += 1.0;
        loudnessSum_ += m * m;

        const PeakEntry e = rule_.next(x, n);
        peaks_.setEntry(nextWindow_ + w, e.height, e.flags);
    }
}

void BeatDetect::addEstimate(double bpm) {
    if (!(bpm >= kMinBpm)) {
        return;
    }
    const int bin = std::min(int(std::lround(bpm)) - int(kMinBpm), kHistogramBins - 1);
    ++histogram_[size_t(bin)];
    lastEstimate_ = bpm;
    estimateSum_ += bpm;
    ++estimateCount_;
}

void BeatDetect::detectOnsets(const float* block) {
    for (int i = 0; i < kBlockFrames; ++i) {
        windowed_[size_t(i)] = block[i] * hamming_[size_t(i)];
    }
    auto* out = reinterpret_cast<kiss_fft_cpx*>(spectrum_.data());
    kiss_fftr(fft_, windowed_.data(), out);
    // Packed layout: bin 0 holds DC and Nyquist together.
    magnitudes_[0] = out[0].r * out[0].r + out[kBins].r * out[kBins].r;
    for (int k = 1; k < kBins; ++k) {
        magnitudes_[size_t(k)] = out[k].r * out[k].r + out[k].i * out[k].i;
    }
    const auto mean = [&](int from, int to) {
        float sum = 0.0f;
        for (int k = from; k <= to; ++k) {
            sum += magnitudes_[size_t(k)];
        }
        return sum / float(to - from + 1);
    };
    // Bins are 44100 / 1024 ≈ 43 Hz wide: 3.0–4.0 kHz, two low bands, DC.
    const std::array<float, 4> energy{mean(70, 92), mean(1, 2), mean(3, 4), magnitudes_[0]};
    for (size_t k = 0; k < bands_.size(); ++k) {
        bands_[k].push(energy[k]);
    }

    if (bands_[0].size >= kHistoryBlocks) {
        const float ratioThreshold = onsetRatioThreshold();
        const float riseThreshold = onsetRiseThreshold();
        const size_t entry = size_t(nextWindow_ / kWindowsPerBlock);
        for (size_t k = 0; k < bands_.size(); ++k) {
            const float average = bands_[k].mean();
            const float ratio = energy[k] / average;
            // Division by a silent band gives inf or NaN; NaN fails both comparisons.
            if (ratio > ratioThreshold &&
                ratio / (previousEnergy_[k] / previousAverage_[k]) > riseThreshold &&
                entry < onsets_.size()) {
                onsets_[entry] += 1.0f;
            }
            previousAverage_[k] = average;
            previousEnergy_[k] = energy[k];
        }
    }
    if (bands_[0].size > kHistoryBlocks) {
        for (BandHistory& band : bands_) {
            band.dropOldest();
        }
    }
}

void BeatDetect::setTempoOverride(double bpm) {
    if (!(bpm > 0.0) || !std::isfinite(bpm)) {
        return;
    }
    estimateSum_ = estimateCount_ * bpm;
    overrideBpm_ = bpm;
    tempoOverride_ = true;
}

int BeatDetect::mostFrequentBin(const std::array<int, kHistogramBins>& histogram) {
    int best = -1;
    for (int i = 0; i < kHistogramBins; ++i) {
        if (histogram[size_t(i)] >= 1 &&
            (best < 0 || histogram[size_t(i)] >= histogram[size_t(best)])) {
            best = i;
        }
    }
    return best;
}

double BeatDetect::computeBpm() {
    const int best = mostFrequentBin(histogram_);
    double bpm = kDefaultBpm;
    if (tempoOverride_) {
        // The mean of the estimates is the override itself; kept exact, and valid without
        // estimates.
        bpm = overrideBpm_;
    } else if (best >= 0) {
        bpm = kMinBpm + best;
    } else if (estimateCount_ > 0) {
        bpm = std::floor(estimateSum_ / estimateCount_);
    }

    const double period = beatPeriodWindows(bpm);
    const int quarter = int(std::lround(period / 4.0));
    const int span = int(std::lround(period));
    const size_t foldLength = size_t(std::max({kMinFoldLength, 4 * quarter, span}));
    fold_.assign(foldLength, 0.0f);
    const double count = windowCount_;
    for (double x = 0.0; x + period < count; x += period) {
        const long i0 = std::lround(x / 4.0);
        for (int i = 0; i < quarter; ++i) {
            const size_t o = size_t(i0 + i);
            if (o < onsets_.size()) {
                fold_[size_t(4 * i)] += onsets_[o];
            }
        }
    }
    beatOffset_ = 0;
    for (int i = 1; i < span && size_t(i) < fold_.size(); ++i) {
        if (fold_[size_t(i)] > fold_[size_t(beatOffset_)]) {
            beatOffset_ = i;
        }
    }
    // The onset fold places the beat only to a block and, where hats fill the half-beats as
    // evenly as the beats, may take a half-beat. The five-band envelope's fold chooses the
    // beat (when the track is long enough to have onsets at all) and the low band pins it.
    double center = beatOffset_;
    double spreadHops = 0.0;
    if (windowCount_ / kWindowsPerBlock >= kHistoryBlocks) {
        const double phase = tempo_->beatPhaseFrames(bpm);
        if (phase >= 0.0) {
            center = phase / kPeakWindowFrames;
            spreadHops = kRefineSpreadHops;
        }
    }
    beatStart_ = refineBeatStart(period, center, spreadHops);
    markBeatsForward(peaks_, period, beatStart_);
    return bpm;
}

double BeatDetect::gain() const {
    const double meanSquare = loudnessCount_ > 0.0 ? loudnessSum_ / loudnessCount_ : 0.0;
    if (!(meanSquare > 0.0)) {
        return 2.0;
    }
    return std::clamp(0.33 / std::sqrt(meanSquare), 0.001, 2.0);
}

} // namespace vx
