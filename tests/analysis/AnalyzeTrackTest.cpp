// analyzeTrack over whole files: the generated demo tracks (known tempo and first beat) and
// small WAV files written here (silence, a short track, a click track with a tempo override,
// cancellation, an unreadable file).

#include "analysis/analyzeTrack.h"
#include "analysis/BeatDetect.h"
#include "analysis/PeakGrid.h"
#include "analysis/peakFileData.h"
#include "platform/AudioFileWriter.h"

#include "PeakTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::beatEntries;

// Writes mono float samples at 44100 Hz as a WAVE file.
bool writeWav(const fs::path& path, const std::vector<float>& samples, int rate = 44100) {
    std::string error;
    auto writer =
        AudioFileWriter::create(path, AudioFileWriter::Format::WavFloat32, rate, 1, &error);
    if (!writer) {
        return false;
    }
    return writer->write(samples.data(), int64_t(samples.size())) && writer->close();
}

struct DemoTrack {
    std::string file;
    double tempo = 0;
    int64_t firstBeatFrame = 0;
    int64_t frames = 0;
};

std::vector<DemoTrack> demoTracks() {
    std::ifstream in(fs::path(VX_RESOURCES_DIR) / "demo-tracks.json");
    std::vector<DemoTrack> out;
    if (!in) {
        return out;
    }
    const nlohmann::json manifest = nlohmann::json::parse(in, nullptr, false);
    if (!manifest.is_array()) {
        return out;
    }
    for (const auto& t : manifest) {
        out.push_back({t.value("file", ""), t.value("tempo", 0.0),
                       t.value("firstBeatFrame", int64_t(0)), t.value("frames", int64_t(0))});
    }
    return out;
}

// Every demo track: the tempo is the manifest's whole-number tempo exactly (the detector's
// result is the most frequent whole-BPM bin), and the beat marks follow the true beats over
// the whole track.
TEST(AnalyzeTrack, DemoTracksTempoAndBeatGrid) {
    const std::vector<DemoTrack> tracks = demoTracks();
    ASSERT_EQ(tracks.size(), 6u);
    test::TempDir dir;
    for (const DemoTrack& track : tracks) {
        SCOPED_TRACE(track.file);
        // Analysed from a copy, so that the peak file lands in the temp folder.
        const fs::path copy = dir.path() / track.file;
        fs::copy_file(fs::path(VX_RESOURCES_DIR) / "sound" / track.file, copy);
        const int32_t count = peakCountForFrames(track.frames);
        auto peaks = peakFileData::create(count);
        std::atomic<float> progress{0.0f};
        ASSERT_EQ(analyzeTrack(copy, peaks.get(), &progress), 1);
        EXPECT_EQ(peaks->bpm.load(), track.tempo);
        ASSERT_TRUE(fs::exists(peakFilePath(copy)));

        // The true grid, extended back to the track's start. A mark stands for the frame its
        // window starts at, and lies within one window (256 frames) of a true beat.
        const double beatFrames = 60.0 * 44100.0 / track.tempo;
        const double phase = std::fmod(double(track.firstBeatFrame), beatFrames);
        std::vector<double> beats;
        for (double f = phase; f < track.frames; f += beatFrames) {
            beats.push_back(std::round(f));
        }
        const auto distance = [](double beat, int32_t w) { return std::fabs(w * 256.0 - beat); };
        const std::vector<int32_t> marks = beatEntries(*peaks);
        EXPECT_EQ(marks.size(), beats.size());
        for (double beat : beats) {
            double best = 1e18;
            for (int32_t w : marks) {
                best = std::min(best, distance(beat, w));
            }
            EXPECT_LT(best, 256.0) << "beat at frame " << beat;
        }
        for (int32_t w : marks) {
            double best = 1e18;
            for (double beat : beats) {
                best = std::min(best, distance(beat, w));
            }
            EXPECT_LT(best, 256.0) << "mark at window " << w;
        }
    }
}

// Silence: heights 0, byte 1 only beat marks, tempo 120 (no estimate), gain clamped to 2.0.
TEST(AnalyzeTrack, SilenceGivesDefaultTempoAndFullGain) {
    test::TempDir dir;
    const fs::path wav = dir.path() / "silence.wav";
    ASSERT_TRUE(writeWav(wav, std::vector<float>(44100 * 10, 0.0f)));
    auto peaks = peakFileData::create(peakCountForFrames(44100 * 10));
    ASSERT_EQ(analyzeTrack(wav, peaks.get(), nullptr), 1);
    EXPECT_EQ(peaks->bpm.load(), 120.0);
    EXPECT_EQ(peaks->gain.load(), 2.0);
    for (int32_t i = 0; i < peaks->count; ++i) {
        ASSERT_EQ(peaks->height(i), 0) << i;
        ASSERT_EQ(peaks->flags(i) & ~kPeakBeatFlag, 0) << i;
    }
    // No onsets: the grid starts at window 0 and steps 120 BPM periods.
    const std::vector<int32_t> marks = beatEntries(*peaks);
    ASSERT_FALSE(marks.empty());
    EXPECT_EQ(marks[0], 0);
    const double period = beatPeriodWindows(120.0);
    for (size_t n = 0; n < marks.size(); ++n) {
        EXPECT_EQ(marks[n], int32_t(std::lround(n * period))) << n;
    }
    // The file on disk carries the same tempo and gain.
    peakFileData loaded;
    ASSERT_TRUE(peakFileLoad(loaded, peakFilePath(wav)));
    EXPECT_EQ(loaded.bpm.load(), 120.0);
    EXPECT_EQ(loaded.gain.load(), 2.0);
    EXPECT_EQ(loaded.count, peaks->count);
}

// Shorter than one second of history: no onsets, the first beat at window 0; every window of
// the record (including the short last one) is computed, with its own record made when none
// is given.
TEST(AnalyzeTrack, ShortTrackHasNoOnsetsAndStartsAtZero) {
    test::TempDir dir;
    const fs::path wav = dir.path() / "short.wav";
    const int64_t frames = 30000; // 0.68 s, 30 blocks, 118 windows (the last 48 frames)
    ASSERT_TRUE(writeWav(wav, test::clickTrack(frames, 120.0, 5000)));
    std::atomic<float> progress{0.5f};
    ASSERT_EQ(analyzeTrack(wav, nullptr, &progress), 1);
    peakFileData loaded;
    ASSERT_TRUE(peakFileLoad(loaded, peakFilePath(wav)));
    ASSERT_EQ(loaded.count, 118);
    for (int32_t i = 0; i < loaded.count; ++i) {
        ASSERT_TRUE(loaded.isComputed(i)) << i;
    }
    EXPECT_EQ(loaded.bpm.load(), 120.0);
    EXPECT_NE(loaded.flags(0) & kPeakBeatFlag, 0);
    EXPECT_NE(loaded.flags(86) & kPeakBeatFlag, 0); // round(86.13)
    EXPECT_GT(loaded.height(20), 0);                // the click at frame 5000
    // 117 whole windows read of 118: trunc of the frames read / 256.
    EXPECT_FLOAT_EQ(progress.load(), 117.0f / 118.0f);
}

// A tempo override wins over the estimate (the clicks are at 120), and beats are
// 60 / 128 × 44100 / 256 = 80.75 windows apart.
TEST(AnalyzeTrack, TempoOverrideFixesTempoAndSpacing) {
    test::TempDir dir;
    const fs::path wav = dir.path() / "clicks.wav";
    ASSERT_TRUE(writeWav(wav, test::clickTrack(44100 * 20, 120.0, 0)));
    auto peaks = peakFileData::create(peakCountForFrames(44100 * 20));
    fs::path asked;
    ASSERT_EQ(analyzeTrack(wav, peaks.get(), nullptr,
                           [&](const fs::path& p) {
                               asked = p;
                               return 128.0;
                           }),
              1);
    EXPECT_EQ(asked, wav);
    EXPECT_EQ(peaks->bpm.load(), 128.0);
    const std::vector<int32_t> marks = beatEntries(*peaks);
    ASSERT_GE(marks.size(), 40u);
    // Every mark is round(start + n × 80.75) for one (fractional) start: the marks less n
    // periods all lie within one window of each other.
    const double period = 60.0 / 128.0 * 44100.0 / 256.0;
    double low = 1e9;
    double high = -1e9;
    for (size_t n = 0; n < marks.size(); ++n) {
        low = std::min(low, marks[n] - n * period);
        high = std::max(high, marks[n] - n * period);
    }
    EXPECT_LT(high - low, 1.0);
    // Without the override the same file reads 120.
    auto plain = peakFileData::create(peakCountForFrames(44100 * 20));
    ASSERT_EQ(analyzeTrack(wav, plain.get(), nullptr, [](const fs::path&) { return -1.0; }), 1);
    EXPECT_EQ(plain->bpm.load(), 120.0);
}

// A file at another rate is analysed on the decks' 44100 Hz time line: the tempo is the
// file's, and the peak record (created by the run) covers the frames a deck plays.
TEST(AnalyzeTrack, FilesAtOtherRatesReadTheirOwnTempo) {
    test::TempDir dir;
    for (int rate : {48000, 32000}) {
        SCOPED_TRACE(rate);
        const int64_t frames = int64_t(rate) * 20;
        std::vector<float> x(size_t(frames), 0.0f);
        const double period = 60.0 * rate / 124.0;
        for (double at = 1000.0; at < double(frames); at += period) {
            for (int i = 0; i < rate / 20 && int64_t(at) + i < frames; ++i) {
                x[size_t(int64_t(at) + i)] = 0.8f * float(std::exp(-i * 44100.0 / rate / 400.0) *
                                                          std::sin(2.0 * M_PI * 60.0 * i / rate));
            }
        }
        const fs::path wav = dir.path() / ("rate" + std::to_string(rate) + ".wav");
        ASSERT_TRUE(writeWav(wav, x, rate));
        ASSERT_EQ(analyzeTrack(wav, nullptr, nullptr), 1);
        auto read = peakFileData::create(0);
        ASSERT_TRUE(peakFileLoad(*read, peakFilePath(wav)));
        EXPECT_EQ(read->bpm.load(), 124.0);
        EXPECT_EQ(read->count, peakCountForFrames((frames * 44100 + rate - 1) / rate));
    }
}

// −1.0 written while the analysis runs: it returns 0, writes no file and leaves the record
// not ready, with the entries after the stop still uncomputed.
TEST(AnalyzeTrack, CancelStopsWithoutWriting) {
    test::TempDir dir;
    const fs::path wav = dir.path() / "long.wav";
    ASSERT_TRUE(writeWav(wav, test::clickTrack(44100 * 120, 124.0, 0)));
    auto peaks = peakFileData::create(peakCountForFrames(44100 * 120));
    std::atomic<float> progress{0.0f};
    std::thread canceller([&] {
        while (progress.load() < 0.1f) {
            std::this_thread::yield();
        }
        progress.store(-1.0f);
    });
    const int result = analyzeTrack(wav, peaks.get(), &progress);
    canceller.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(progress.load(), -1.0f);
    EXPECT_EQ(peaks->ready.load(), 0);
    EXPECT_FALSE(fs::exists(peakFilePath(wav)));
    EXPECT_TRUE(peaks->isComputed(0));
    EXPECT_FALSE(peaks->isComputed(peaks->count - 1));
    EXPECT_EQ(peaks->bpm.load(), 0.0);
}

// A file that is not audio: a failure (0), nothing written, the record untouched.
TEST(AnalyzeTrack, UnreadableFileWritesNothing) {
    test::TempDir dir;
    const fs::path bad = dir.path() / "bad.mp3";
    test::writeBytes(bad, std::vector<uint8_t>(4000, 0x42));
    auto peaks = peakFileData::create(10);
    std::atomic<float> progress{0.7f};
    EXPECT_EQ(analyzeTrack(bad, peaks.get(), &progress), 0);
    EXPECT_FALSE(fs::exists(peakFilePath(bad)));
    EXPECT_FALSE(peaks->isComputed(0));
    EXPECT_EQ(peaks->bpm.load(), 0.0);
    EXPECT_EQ(progress.load(), 0.0f);
}

} // namespace
} // namespace vx
