#include "analysis/PeakWindowRule.h"

#include "PeakTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace vx {
namespace {

using test::snapshot;

constexpr double kPi = 3.14159265358979323846;

// Reference: the window rule written out directly over a whole mono signal, in the analysis'
// wording (previous becomes the peak, then 0 when the flag changed), one entry per 256 samples
// and a short last window.
std::vector<uint8_t> referenceEntries(const std::vector<float>& mono) {
    downsampleLP lp;
    coloringBP bp;
    float previous = 0.0f;
    int previousFlag = -1;
    std::vector<uint8_t> out;
    for (size_t start = 0; start < mono.size(); start += 256) {
        const size_t end = std::min(mono.size(), start + 256);
        float peak = 0.0f, maxLP = 0.0f, maxBP = 0.0f;
        for (size_t i = start; i < end; ++i) {
            peak = std::max(peak, std::fabs(mono[i]));
            maxLP = std::max(maxLP, std::fabs(lp.tick(mono[i])));
            maxBP = std::max(maxBP, std::fabs(bp.tick(mono[i])));
        }
        const float smoothed = previous * 0.5f + peak * 0.5f;
        previous = peak;
        int height = static_cast<int>(static_cast<double>(smoothed) * 50.0);
        int flag = 0;
        if (smoothed > 0.0f) {
            flag =
                std::fabs(maxLP / smoothed) > 0.55f && std::fabs(maxBP / smoothed) * 2.8f <= 0.5f;
            if (flag == 0) {
                height = static_cast<int>(height * 0.5);
            }
            if (flag != previousFlag) {
                previous = 0.0f;
            }
            previousFlag = flag;
        }
        out.push_back(static_cast<uint8_t>(height));
        out.push_back(static_cast<uint8_t>(flag));
    }
    return out;
}

// Interleaved stereo with both channels equal to `mono`.
std::vector<float> bothChannels(const std::vector<float>& mono) {
    std::vector<float> out(mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i) {
        out[2 * i] = out[2 * i + 1] = mono[i];
    }
    return out;
}

// A tone whose amplitude ramps linearly from a0 to a1 over the signal.
std::vector<float> rampedTone(double hz, int frames, double a0, double a1) {
    std::vector<float> out(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double a = a0 + (a1 - a0) * i / frames;
        out[static_cast<size_t>(i)] =
            static_cast<float>(a * std::sin(2.0 * kPi * hz * i / 44100.0));
    }
    return out;
}

// Per-window max |s|, straight from the samples.
std::vector<float> windowPeaks(const std::vector<float>& mono) {
    std::vector<float> peaks;
    for (size_t start = 0; start < mono.size(); start += 256) {
        float p = 0.0f;
        for (size_t i = start; i < std::min(mono.size(), start + 256); ++i) {
            p = std::max(p, std::fabs(mono[i]));
        }
        peaks.push_back(p);
    }
    return peaks;
}

std::vector<uint8_t> blockEntries(const std::vector<float>& mono, int32_t count) {
    const auto r = peakFileData::create(count);
    const auto stereo = bothChannels(mono);
    makePeaksFromBlock(stereo.data(), static_cast<int32_t>(mono.size()), 0, *r);
    return snapshot(*r).bytes;
}

// Hand-computed: isolated spikes of known size. A single sample excites neither filter enough
// to count as low-frequency dominant, so windows are drawn at half height; the smoothing
// carries window 1's peak into window 2, and window 3 is silent.
TEST(PeakWindowRule, SpikesGiveTheHandComputedHeights) {
    std::vector<float> mono(4 * 256, 0.0f);
    mono[255] = 0.8f;  // last frame of window 0
    mono[256] = -0.6f; // first frame of window 1
    const std::vector<uint8_t> expected = {
        10, 0, // smoothed 0.4 → 20, halved
        7, 0,  // window 0's flag was the first (a change), so its peak is not carried:
               // 0.5 · 0.6 = 0.3 → 15, halved
        7, 0,  // window 1 kept the flag, its peak carries: 0.3 → 15, halved
        0, 0,  // window 2's peak was 0 and this one is silent
    };
    EXPECT_EQ(blockEntries(mono, 4), expected);
}

// A 40 Hz tone is low-frequency dominant in every window, so heights are the smoothed peaks at
// full scale; a 6 kHz tone never is, so every window is drawn at half height. Expected heights
// come from the per-window maxima of the samples: window 0 has no previous peak, and window 1's
// was dropped when the first flag was set.
TEST(PeakWindowRule, LowTonesAreFlaggedAtFullHeightAndHighTonesUnflaggedAtHalf) {
    const struct {
        double hz, a0, a1;
        int windows;
        uint8_t flag;
    } cases[] = {{40.0, 0.2, 0.9, 40, 1}, {6000.0, 0.6, 0.6, 30, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hz);
        const auto mono = rampedTone(c.hz, c.windows * 256, c.a0, c.a1);
        const auto peaks = windowPeaks(mono);
        const auto got = blockEntries(mono, c.windows);
        for (size_t w = 0; w < peaks.size(); ++w) {
            const float previous = w < 2 ? 0.0f : peaks[w - 1];
            const int full = static_cast<int>((0.5f * previous + 0.5f * peaks[w]) * 50.0);
            EXPECT_EQ(got[2 * w + 1], c.flag) << w;
            EXPECT_EQ(got[2 * w], c.flag ? full : static_cast<int>(full * 0.5)) << w;
        }
    }
}

// Full-scale ±1 noise: every peak is 1. A window whose predecessor kept its flag is smoothed to
// 1 and drawn 50 when low-frequency dominant, 25 otherwise; one whose predecessor changed flag
// starts afresh at 0.5 → 25 or 12.
TEST(PeakWindowRule, FullScaleNoiseGivesFiftyOrTwentyFive) {
    std::mt19937 rng(7);
    std::vector<float> mono(200 * 256);
    for (float& s : mono) {
        s = (rng() & 1) ? 1.0f : -1.0f;
    }
    const auto got = blockEntries(mono, 200);
    EXPECT_EQ(got, referenceEntries(mono));
    int settled = 0;
    for (size_t w = 2; w < 200; ++w) {
        const uint8_t flag = got[2 * w + 1];
        const bool sameFlag = got[2 * w - 1] == got[2 * w - 3];
        if (sameFlag) {
            EXPECT_EQ(got[2 * w], flag ? 50 : 25) << w;
            ++settled;
        } else {
            EXPECT_EQ(got[2 * w], flag ? 25 : 12) << w;
        }
    }
    EXPECT_GT(settled, 150);
}

// The block producer matches the reference on a mixed programme: low and high tones, noise,
// silence, a sweep, in blocks of awkward sizes. A block of n frames writes exactly
// ceil(n / 256) entries, the last one from the frames that are there, and nothing after it.
TEST(PeakWindowRule, BlockProducerMatchesTheReferenceOnMixedSignals) {
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::vector<float> mono;
    const auto append = [&](const std::vector<float>& part) {
        mono.insert(mono.end(), part.begin(), part.end());
    };
    append(rampedTone(55.0, 3000, 0.1, 0.7));
    append(std::vector<float>(700, 0.0f));
    append(rampedTone(3000.0, 2100, 0.5, 0.2));
    for (int i = 0; i < 1500; ++i) {
        mono.push_back(noise(rng));
    }
    append(rampedTone(100.0, 2000, 0.9, 0.9));
    // A low tone under a high one whose level rises: the low-pass share of the level falls
    // through the low-frequency threshold while the band-pass stays quiet.
    const auto low = rampedTone(60.0, 30000, 0.4, 0.4);
    const auto high = rampedTone(12000.0, 30000, 0.05, 0.8);
    for (size_t i = 0; i < low.size(); ++i) {
        mono.push_back(low[i] + high[i]);
    }
    // A logarithmic sweep 30 Hz → 4 kHz crosses both colour thresholds gradually, so windows
    // fall on either side of them by every margin.
    const int sweep = 60000;
    double phase = 0.0;
    for (int i = 0; i < sweep; ++i) {
        const double hz = 30.0 * std::pow(4000.0 / 30.0, static_cast<double>(i) / sweep);
        phase += 2.0 * kPi * hz / 44100.0;
        mono.push_back(static_cast<float>(0.7 * std::sin(phase)));
    }
    const struct {
        int32_t frames;
        int32_t entries;
    } cases[] = {{static_cast<int32_t>(mono.size()), 388},
                 {32768, 128},
                 {32767, 128},
                 {9301, 37},
                 {4097, 17},
                 {1001, 4},
                 {513, 3},
                 {511, 2},
                 {257, 2},
                 {256, 1},
                 {255, 1},
                 {1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        const std::vector<float> part(mono.begin(), mono.begin() + c.frames);
        const auto want = referenceEntries(part);
        ASSERT_EQ(want.size(), 2u * c.entries);
        // Two entries more than the block fills: they stay "not computed".
        const auto r = peakFileData::create(c.entries + 2);
        const auto stereo = bothChannels(part);
        EXPECT_EQ(makePeaksFromBlock(stereo.data(), c.frames, 0, *r), c.entries);
        auto bytes = snapshot(*r).bytes;
        EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()),
                  std::vector<uint8_t>(4, 0xFF));
        bytes.resize(want.size());
        EXPECT_EQ(bytes, want);
    }
}

// Mono is the mean of the channels: opposite channels cancel, one silent channel halves.
TEST(PeakWindowRule, MonoIsTheMeanOfBothChannels) {
    const auto tone = rampedTone(60.0, 2560, 0.8, 0.8);
    std::vector<float> opposite(tone.size() * 2), oneSide(tone.size() * 2);
    std::vector<float> half(tone.size());
    for (size_t i = 0; i < tone.size(); ++i) {
        opposite[2 * i] = tone[i];
        opposite[2 * i + 1] = -tone[i];
        oneSide[2 * i] = tone[i];
        oneSide[2 * i + 1] = 0.0f;
        half[i] = tone[i] * 0.5f;
    }
    const auto r = peakFileData::create(10);
    makePeaksFromBlock(opposite.data(), 2560, 0, *r);
    EXPECT_EQ(snapshot(*r).bytes, std::vector<uint8_t>(20, 0));
    makePeaksFromBlock(oneSide.data(), 2560, 0, *r);
    EXPECT_EQ(snapshot(*r).bytes, referenceEntries(half));
}

// Smoothing, flag and filters restart at every block: a block's entries do not depend on what
// was decoded before it, even though the whole-track rule would differ at its start.
TEST(PeakWindowRule, EachBlockStartsFromRest) {
    const auto track = rampedTone(45.0, 2 * 32768, 0.7, 0.7);
    const std::vector<float> second(track.begin() + 32768, track.end());
    const auto stereo = bothChannels(track);
    const auto r = peakFileData::create(256);
    makePeaksFromBlock(stereo.data(), 32768, 0, *r);
    makePeaksFromBlock(stereo.data() + 2 * 32768, 32768, 32768, *r);
    const auto bytes = snapshot(*r).bytes;
    const auto alone = referenceEntries(second);
    EXPECT_TRUE(std::equal(alone.begin(), alone.end(), bytes.begin() + 256));
    const auto whole = referenceEntries(track);
    EXPECT_NE(whole[256], bytes[256]) << "the whole-track rule carries the previous peak";
}

// A block that does not start on a window boundary begins at the next whole entry, the one the
// decoder checks (ceil(start / 256)).
TEST(PeakWindowRule, UnalignedBlockStartsAtTheNextWholeEntry) {
    const auto tone = rampedTone(80.0, 1100, 0.6, 0.6);
    const auto stereo = bothChannels(tone);
    const auto r = peakFileData::create(6);
    EXPECT_EQ(makePeaksFromBlock(stereo.data(), 1100, 100, *r), 4);
    EXPECT_EQ(r->height(0), 0xFF);
    const std::vector<float> aligned(tone.begin() + 156, tone.end());
    const auto want = referenceEntries(aligned);
    const auto bytes = snapshot(*r).bytes;
    EXPECT_TRUE(std::equal(want.begin(), want.end(), bytes.begin() + 2));
    EXPECT_EQ(r->height(5), 0xFF);
}

// The record's end bounds the writes (a block reaching past the last entry), and bad arguments
// write nothing.
TEST(PeakWindowRule, BlockNeverWritesOutsideTheRecord) {
    const auto tone = rampedTone(80.0, 1000, 0.6, 0.6);
    const auto stereo = bothChannels(tone);
    const auto r = peakFileData::create(3);
    EXPECT_EQ(makePeaksFromBlock(stereo.data(), 1000, 0, *r), 3);
    EXPECT_EQ(makePeaksFromBlock(stereo.data(), 1000, 256 * 3, *r), 0);
    EXPECT_EQ(makePeaksFromBlock(stereo.data(), 1000, -256, *r), 0);
    EXPECT_EQ(makePeaksFromBlock(stereo.data(), 0, 0, *r), 0);
    EXPECT_EQ(makePeaksFromBlock(nullptr, 1000, 0, *r), 0);
}

// Input beyond full scale clamps the height at 254 (0xFF would read as "not computed"); NaN
// samples never become the peak.
TEST(PeakWindowRule, LoudAndBrokenInputStaysInRange) {
    const auto loud = rampedTone(40.0, 20 * 256, 8.0, 8.0);
    const auto got = blockEntries(loud, 20);
    for (int w = 2; w < 20; ++w) {
        EXPECT_EQ(got[2 * w], 254) << w;
        EXPECT_EQ(got[2 * w + 1], 1) << w;
    }
    std::vector<float> broken(4 * 256, 0.25f);
    broken[300] = std::numeric_limits<float>::quiet_NaN();
    broken[600] = std::numeric_limits<float>::infinity();
    const auto b = blockEntries(broken, 4);
    for (int w = 0; w < 4; ++w) {
        EXPECT_NE(b[2 * w], 0xFF) << w;
        EXPECT_LE(b[2 * w + 1], 1) << w;
    }
    // Window 2 holds the infinite sample: its height clamps, and with the filters NaN since
    // sample 300 no window can be low-frequency dominant: 254 halved.
    EXPECT_EQ(b[4], 127);
    EXPECT_EQ(b[5], 0);
}

// A silent window does not count as a change of colour: the flag before it still holds, so the
// window after keeps its previous peak.
TEST(PeakWindowRule, SilentWindowLeavesThePreviousFlagAlone) {
    PeakWindowRule rule;
    const auto tone = rampedTone(40.0, 4 * 256, 0.6, 0.6);
    std::vector<float> silence(256, 0.0f);
    const PeakEntry w0 = rule.next(tone.data(), 256);
    EXPECT_EQ(w0.flags, 1);
    const PeakEntry w1 = rule.next(silence.data(), 256);
    EXPECT_EQ(w1.height, 0);
    EXPECT_EQ(w1.flags, 0);
    EXPECT_EQ(rule.previousFlag, 1);
    const PeakEntry w2 = rule.next(tone.data() + 512, 256);
    const PeakEntry w3 = rule.next(tone.data() + 768, 256);
    const auto peaks = windowPeaks(tone);
    EXPECT_EQ(w2.flags, 1);
    EXPECT_EQ(w3.flags, 1);
    EXPECT_EQ(w2.height, static_cast<int>(0.5f * peaks[2] * 50.0)) << "previous was silent";
    EXPECT_EQ(w3.height, static_cast<int>((0.5f * peaks[2] + 0.5f * peaks[3]) * 50.0))
        << "flag held across the silence: window 2's peak carries over";

    rule.restart();
    EXPECT_EQ(rule.previousFlag, -1);
    EXPECT_EQ(rule.previousPeak, 0.0f);
}

// Beat marks already placed survive a block computed afterwards; a fresh entry gets exactly
// the rule's flags.
TEST(PeakWindowRule, BlockKeepsBeatMarksAlreadyPlaced) {
    const auto tone = rampedTone(40.0, 4 * 256, 0.6, 0.6);
    const auto stereo = bothChannels(tone);
    const auto r = peakFileData::create(4);
    r->clearFlagBits(1, kPeakBeatBits);
    r->setFlagBits(1, kPeakBeatFlag); // a grid placed before this block was decoded
    makePeaksFromBlock(stereo.data(), 4 * 256, 0, *r);
    EXPECT_EQ(r->flags(0), 0x01);
    EXPECT_EQ(r->flags(1), 0x41);
    EXPECT_EQ(r->flags(2), 0x01);
    EXPECT_TRUE(r->isBeatEntry(1));
}

} // namespace
} // namespace vx
