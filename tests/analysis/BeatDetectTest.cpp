// BeatDetect fed blocks directly: peak entries and loudness, tempo estimates on click tracks,
// onset placement and the tuning thresholds.

#include "analysis/BeatDetect.h"
#include "analysis/PeakWindowRule.h"
#include "analysis/peakFileData.h"

#include "PeakTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace vx {
namespace {

void feed(BeatDetect& detect, const std::vector<float>& x) {
    for (size_t at = 0; at < x.size(); at += BeatDetect::kBlockFrames) {
        const int n = int(std::min<size_t>(BeatDetect::kBlockFrames, x.size() - at));
        detect.processBlock(x.data() + at, n);
    }
}

// Entries come from the shared window rule; the loudness and gain follow
// m = (mean x² + Σ|x|) / 256 per window.
TEST(BeatDetect, PeakEntriesAndGainOfConstantSignal) {
    const int64_t frames = 44100 * 3;
    std::vector<float> x(static_cast<size_t>(frames), 0.0f);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = (i / 37) % 2 ? 0.5f : -0.5f;
    }
    auto peaks = peakFileData::create(peakCountForFrames(frames));
    BeatDetect detect(*peaks);
    feed(detect, x);
    PeakWindowRule rule;
    for (int32_t w = 0; w < peaks->count; ++w) {
        const int n = int(std::min<int64_t>(256, frames - 256 * int64_t(w)));
        const PeakEntry e = rule.next(x.data() + 256 * w, n);
        ASSERT_EQ(peaks->height(w), e.height) << w;
        ASSERT_EQ(peaks->flags(w), e.flags) << w;
    }
    EXPECT_EQ(detect.loudnessCount(), double(peaks->count));
    const double m = (0.25 + 256 * 0.5) / 256.0; // every whole window: gain ≈ 0.659
    EXPECT_NEAR(detect.gain(), 0.33 / m, 0.33 / m * 1e-3);
}

// The first beat is placed on the kick to well within a peak window wherever the kick falls in
// its block, under either of two bass lines: one that ducks under each kick and swells back
// (its recovery is a slow rise the placement must not take for the beat), and one that plays a
// note 15 ms after each kick whose low rise outweighs the kick's (the placement must not follow
// it off the kick). A pure 60 Hz kick is the slow case: its low-band envelope peaks a quarter
// cycle (184 frames) in, and the start still lands within half a window, so every mark
// (rounded to its window) lies within one window of its kick.
TEST(BeatDetect, FirstBeatLandsOnTheKickWithinAQuarterWindow) {
    const int64_t frames = 44100 * 20;
    const double bpm = 120.0;
    const double beat = 60.0 * 44100.0 / bpm;
    for (const bool late : {false, true}) {
        for (int64_t first : {5000, 5250, 5500, 5900, 6143}) {
            SCOPED_TRACE(testing::Message()
                         << (late ? "late bass note, " : "ducked bass, ") << first);
            std::vector<float> x = test::clickTrack(frames, bpm, first);
            for (int64_t i = 0; i < frames; ++i) {
                const double since = std::fmod(double(i - first) + 10 * beat, beat);
                const double bass =
                    late ? (since < 660 ? 0.0
                                        : std::min(1.0, (since - 660) / 100.0) *
                                              std::exp(-(since - 660) / 8000.0))
                         : 0.3 * (1.0 - std::exp(-since / 4000.0)); // back to full over the beat
                x[size_t(i)] += float(bass * std::sin(2.0 * M_PI * 55.0 * i / 44100.0));
            }
            auto peaks = peakFileData::create(peakCountForFrames(frames));
            BeatDetect detect(*peaks);
            feed(detect, x);
            detect.setTempoOverride(bpm); // placement only: the tempo is another test's concern
            ASSERT_EQ(detect.computeBpm(), bpm);
            EXPECT_EQ(detect.beatOffset() % 4, 0);
            const double expected = std::fmod(double(first), beat);
            EXPECT_NEAR(detect.beatStart() * 256.0, expected, 128.0);
            for (int32_t w = 0; w < peaks->count; ++w) {
                if (peaks->flags(w) & kPeakBeatFlag) {
                    const double k = std::round((w * 256.0 - expected) / beat);
                    EXPECT_LT(std::fabs(w * 256.0 - (expected + k * beat)), 256.0) << w;
                }
            }
        }
    }
}

// Tempos across the search range come out as the whole-number histogram bin.
TEST(BeatDetect, ClickTrackTempos) {
    for (double bpm : {82.0, 95.0, 120.0, 140.0, 160.0, 174.0, 179.0}) {
        SCOPED_TRACE(bpm);
        const int64_t frames = 44100 * 40;
        auto peaks = peakFileData::create(peakCountForFrames(frames));
        BeatDetect detect(*peaks);
        feed(detect, test::clickTrack(frames, bpm, 3000));
        EXPECT_GT(detect.estimateCount(), 0);
        EXPECT_NEAR(detect.lastEstimate(), bpm, 0.5);
        EXPECT_EQ(detect.computeBpm(), bpm);
    }
}

// The tempo's bin: the most frequent; where counts tie, the higher bin (a tie at 87 and 174
// reads 174); a count of one is enough, an empty histogram has none.
TEST(BeatDetect, MostFrequentBinTakesTheHigherOnATie) {
    struct Case {
        std::vector<std::pair<int, int>> counts; // bin, count
        int bin;
    };
    const Case cases[] = {
        {{}, -1},
        {{{0, 1}}, 0},
        {{{7, 5}, {94, 5}}, 94},
        {{{7, 6}, {94, 5}}, 7},
        {{{40, 3}, {41, 3}, {99, 2}}, 41},
        {{{0, 2}, {99, 2}}, 99},
    };
    for (const Case& c : cases) {
        std::array<int, BeatDetect::kHistogramBins> histogram{};
        for (const auto& [bin, count] : c.counts) {
            histogram[size_t(bin)] = count;
        }
        EXPECT_EQ(BeatDetect::mostFrequentBin(histogram), c.bin) << c.counts.size() << " bins";
    }
}

// Each click after the first second of history is an onset in its block (a click starting
// in the last quarter of a block may register in the next); the grid starts at the first
// click's block.
TEST(BeatDetect, OnsetsAtClickBlocksAndThresholdsApply) {
    const int64_t frames = 44100 * 10;
    const std::vector<float> x = test::clickTrack(frames, 120.0, 5000); // 22050 frames apart
    auto peaks = peakFileData::create(peakCountForFrames(frames));
    BeatDetect detect(*peaks);
    feed(detect, x);
    const std::vector<float>& onsets = detect.onsets();
    int found = 0;
    for (size_t b = 0; b < onsets.size(); ++b) {
        if (onsets[b] > 0.0f) {
            // The block holds a click start, or starts just after one.
            const double rel = b * 1024.0 - 5000.0;
            const double into = rel - std::floor(rel / 22050.0) * 22050.0;
            EXPECT_TRUE(into > 22050.0 - 1024.0 || into < 1024.0) << "block " << b;
            ++found;
        }
    }
    EXPECT_GE(found, 17); // clicks at 5000 + k·22050 after the first 44 blocks
    EXPECT_EQ(detect.computeBpm(), 120.0);
    EXPECT_EQ(detect.beatOffset() % 4, 0);
    EXPECT_LE(std::abs(detect.beatOffset() * 256 - 5000), 1024);

    // A ratio threshold no click reaches: no onsets at all.
    const float saved = onsetRatioThreshold();
    setOnsetRatioThreshold(1e30f);
    auto quiet = peakFileData::create(peakCountForFrames(frames));
    BeatDetect none(*quiet);
    feed(none, x);
    setOnsetRatioThreshold(saved);
    for (float o : none.onsets()) {
        ASSERT_EQ(o, 0.0f);
    }
    EXPECT_EQ(onsetRatioThreshold(), 5.85f);
    EXPECT_EQ(onsetRiseThreshold(), 450.0f);
}

} // namespace
} // namespace vx
