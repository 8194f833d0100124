#include "analysis/BeatDetect.h"

#include "analysis/PeakGrid.h"

#include <kiss_fftr.h>
#include <soundtouch/BPMDetect.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

namespace vx {

namespace {

std::atomic<float> gOnsetRatioThreshold{5.85f};
std::atomic<float> gOnsetRiseThreshold{450.0f};

constexpr int kSampleRate = 44100;
constexpr int kBins = BeatDetect::kBlockFrames / 2;
constexpr int kWindowsPerBlock = BeatDetect::kBlockFrames / kPeakWindowFrames;
// Share of the largest in-range autocorrelation peak that a shorter-lag peak must reach to be
// taken as the beat: the slower multiples of the beat (two or three beats) correlate about as
// well as one beat, so the shortest lag that comes close is the beat itself.
constexpr double kPeakShare = 0.75;
// Low-band envelope: two one-pole low-passes at 150 Hz keep the kick and drop hats and voices.
const float kLowPassCoefficient = float(1.0 - std::exp(-2.0 * std::numbers::pi * 150.0 / 44100.0));
// Peak-hold decay of the envelope: 20 ms time constant, longer than a kick's half cycle.
const float kEnvelopeDecay = float(std::exp(-1.0 / (0.02 * 44100.0)));
constexpr int kHopsPerWindow = kPeakWindowFrames / BeatDetect::kEnvelopeHopFrames;
// How far the envelope may move the first beat from the onset fold's block, in hops.
constexpr int kRefineReachHops = 3 * BeatDetect::kBlockFrames / 2 / BeatDetect::kEnvelopeHopFrames;
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

// The library's tempo detector with the search limited to 80–180 BPM. The library keeps the
// decimated envelope's autocorrelation in `xcorr` over lags windowStart..windowLen−1 (45 to
// 200 BPM as built, narrowed here); this reads it without changing it (the library's own getBpm
// detrends it in place).
class BeatDetect::TempoDetector : public soundtouch::BPMDetect {
public:
    TempoDetector() : soundtouch::BPMDetect(1, kSampleRate) {
        const double rate = double(sampleRate) / decimateBy; // decimated samples per second
        // Narrow the library's correlation window (allocated for 45–200 BPM) to the lags of
        // 180–80 BPM and one more on each side for the interpolation: the correlation and beat
        // updates, most of the detector's cost, then cover 420 lags instead of 1036.
        const int low = int(std::floor(60.0 * rate / kMaxBpm));
        const int high = int(std::ceil(60.0 * rate / kMinBpm));
        windowStart = std::max(windowStart, low - 1);
        windowLen = std::min(windowLen, high + 2);
        lagLow_ = std::max(windowStart + 1, low);
        lagHigh_ = std::min(windowLen - 2, high);
        lagToBpm_ = 60.0 * rate;
        scratch_.resize(size_t(lagHigh_ - lagLow_ + 3));
    }

    // Analysis thread: the current estimate in BPM (80..180), 0 while there is no peak.
    double estimate() {
        // Copy lags lagLow−1 .. lagHigh+1 and remove their linear trend (the correlation of an
        // envelope falls with lag), then their minimum.
        const int first = lagLow_ - 1;
        const int n = int(scratch_.size());
        double meanX = 0.0;
        for (int i = 0; i < n; ++i) {
            meanX += xcorr[first + i];
        }
        meanX /= n;
        const double meanI = 0.5 * (n - 1);
        double b = 0.0;
        double div = 0.0;
        for (int i = 0; i < n; ++i) {
            b += (xcorr[first + i] - meanX) * (i - meanI);
            div += (i - meanI) * (i - meanI);
        }
        b /= div;
        double minValue = 0.0;
        for (int i = 0; i < n; ++i) {
            scratch_[size_t(i)] = xcorr[first + i] - meanX - b * (i - meanI);
            minValue = i == 0 ? scratch_[0] : std::min(minValue, scratch_[size_t(i)]);
        }
        double maxValue = 0.0;
        for (double& v : scratch_) {
            v -= minValue;
            maxValue = std::max(maxValue, v);
        }
        if (!(maxValue > 0.0)) {
            return 0.0;
        }
        // The shortest-lag local peak reaching kPeakShare of the largest value.
        for (int i = 1; i + 1 < n; ++i) {
            const double v = scratch_[size_t(i)];
            if (v >= kPeakShare * maxValue && v >= scratch_[size_t(i - 1)] &&
                v > scratch_[size_t(i + 1)]) {
                const double l = scratch_[size_t(i - 1)];
                const double r = scratch_[size_t(i + 1)];
                const double curve = l - 2.0 * v + r;
                const double shift = curve < 0.0 ? 0.5 * (l - r) / curve : 0.0;
                const double position = first + i + shift;
                if (position < 1e-9) {
                    return 0.0;
                }
                return std::clamp(lagToBpm_ / position, kMinBpm, kMaxBpm);
            }
        }
        return 0.0;
    }

private:
    int lagLow_ = 0;
    int lagHigh_ = 0;
    double lagToBpm_ = 0.0;
    std::vector<double> scratch_;
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
      tempo_(std::make_unique<TempoDetector>()), hamming_(kBlockFrames), windowed_(kBlockFrames),
      spectrum_(2 * (kBins + 1)), magnitudes_(kBins), onsets_(size_t(windowCount_ / 4)),
      fold_(size_t(kMinFoldLength)), lowEnergy_(size_t(windowCount_) * kHopsPerWindow) {
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
    if (frames > 0) {
        tempo_->inputSamples(block, frames);
    }
    addEstimate(tempo_->estimate());
    detectOnsets(block);
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

double BeatDetect::refineBeatStart(double period, int offset) const {
    const double beatHops = period * kHopsPerWindow;
    const int bins = int(std::ceil(beatHops));
    if (nextHop_ < 2 || bins < 2) {
        return offset;
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
    // The strongest rise near the fold's block (the nearer one on ties).
    const double center = double(offset) * kHopsPerWindow;
    int best = -1;
    double bestDistance = 0.0;
    for (int b = 0; b < bins; ++b) {
        double distance = std::fabs(std::remainder(b - center, beatHops));
        if (distance > kRefineReachHops) {
            continue;
        }
        if (best < 0 || fold[size_t(b)] > fold[size_t(best)] ||
            (fold[size_t(b)] == fold[size_t(best)] && distance < bestDistance)) {
            best = b;
            bestDistance = distance;
        }
    }
    if (best < 0 || !(fold[size_t(best)] > 0.0)) {
        return offset;
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

double BeatDetect::computeBpm() {
    int best = -1;
    for (int i = 0; i < kHistogramBins; ++i) {
        if (histogram_[size_t(i)] >= 1 &&
            (best < 0 || histogram_[size_t(i)] >= histogram_[size_t(best)])) {
            best = i;
        }
    }
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
    beatStart_ = refineBeatStart(period, beatOffset_);
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
