// The tempo estimate on drum patterns whose off-beats, syncopation, swing or cross-rhythm
// make a 3:2, 4:3 or 2:1 relative of the beat attractive: each must come out at the tempo a
// DJ counts. Also once through velvox-cli on a generated file.

#include "analysis/BeatDetect.h"
#include "analysis/peakFileData.h"
#include "platform/AudioFileWriter.h"

#include "DrumPatterns.h"
#include "cli/CliHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace vx {
namespace {

struct StyleCase {
    const char* name;
    test::DrumPattern pattern;
};

const test::DrumPattern kSwung{.bpm = 90.0,
                               .firstFrame = 20000,
                               .swing = 2.0 / 3.0,
                               .kick = "x......x..x.....",
                               .snare = "....x.......x...",
                               .hat = "x.x.x.x.x.x.x.x."};

TEST(TempoEstimate, StylesComeOutAtTheCountedTempo) {
    const std::vector<StyleCase> cases = {
        {"breakbeat",
         {.bpm = 100.0,
          .firstFrame = 7000,
          .kick = "x.x.......xx....",
          .snare = "....x..o.o..x..o",
          .hat = "x.x.x.x.x.x.x.x."}},
        {"half-time",
         {.bpm = 140.0,
          .firstFrame = 12000,
          .kick = "x.....x...x.....",
          .snare = "........x.......",
          .hat = "x.x.x.x.x.x.xxxx"}},
        {"drum and bass",
         {.bpm = 174.0,
          .firstFrame = 3000,
          .kick = "x.........x.....",
          .snare = "....x.......x...",
          .hat = "x.xxx.x.x.xxx.x.",
          .bass = "x.....x...x....."}},
        {"swung", kSwung},
        {"four on the floor",
         {.bpm = 128.0,
          .firstFrame = 1000,
          .kick = "x...x...x...x...",
          .openHat = "..x...x...x...x.",
          .clap = "....x.......x...",
          .bass = "..x...x...x...x."}},
        // Six woodblock hits per bar over a kick on every beat: three against two.
        {"three against two",
         {.bpm = 120.0, .firstFrame = 4000, .kick = "x...x...x...x...", .crossHitsPerBar = 6}},
        // Straight sixteenth hats over a backbeat at 90.4: the hats' eighth-note pulse (180.8)
        // is outside the range, so the beat stays at 90 rather than the nearest tempo in range
        // (180).
        {"eighth-note pulse above the range",
         {.bpm = 90.4,
          .firstFrame = 5000,
          .kick = "x.......x.x.....",
          .snare = "....x.......x...",
          .hat = "xxxxxxxxxxxxxxxx"}},
    };
    for (const StyleCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t frames = 44100 * 24;
        const std::vector<float> x = test::renderPattern(c.pattern, frames);
        auto peaks = peakFileData::create(peakCountForFrames(frames));
        BeatDetect detect(*peaks);
        for (size_t at = 0; at < x.size(); at += BeatDetect::kBlockFrames) {
            const int n = int(std::min<size_t>(BeatDetect::kBlockFrames, x.size() - at));
            detect.processBlock(x.data() + at, n);
        }
        EXPECT_EQ(detect.computeBpm(), std::round(c.pattern.bpm));
        EXPECT_NEAR(detect.lastEstimate(), c.pattern.bpm, 0.5);
    }
}

using TempoEstimateCli = test::CliTest;

// Through the command line a user runs: generated swung patterns come out at their tempo, with
// the first beat mark on a beat of the pattern (any beat: the grid starts within the first),
// not on the swung off-beat, whether hats and a kick fall there as often as on the beat or the
// bass and chords push it hardest.
TEST_F(TempoEstimateCli, AnalyzeReportsTheTempoAndFirstBeatOfSwungPatterns) {
    // A shuffle whose bass pushes the swung off-beat harder than the beat: kick, backbeat snare
    // and hats on the beat; the bass, a soft chord stab and hats two thirds of a beat later.
    const test::DrumPattern pushedShuffle{.bpm = 110.0,
                                          .firstFrame = 9000,
                                          .swing = 2.0 / 3.0,
                                          .kick = "x...x...x...x...",
                                          .snare = "....x.......x...",
                                          .hat = "x.x.x.x.x.x.x.x.",
                                          .skank = "..o...o...o...o.",
                                          .bass = "..x...x...x...x."};
    for (const StyleCase& c : {StyleCase{"swung", kSwung}, {"pushed shuffle", pushedShuffle}}) {
        SCOPED_TRACE(c.name);
        const test::DrumPattern& p = c.pattern;
        const int64_t frames = 44100 * 30;
        const std::vector<float> x = test::renderPattern(p, frames);
        const std::filesystem::path wav = dir_ / (std::string(c.name) + ".wav");
        std::string error;
        auto writer =
            AudioFileWriter::create(wav, AudioFileWriter::Format::WavFloat32, 44100, 1, &error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->write(x.data(), frames) && writer->close());

        const test::CliRun r = run(home() + " analyze \"" + wav.string() + "\" --json");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto rows = nlohmann::json::parse(r.out);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0]["bpm"].get<double>(), p.bpm);
        // The reported frame is the first marked window's (1-based); the beat lies within a
        // window of its start.
        const double beat = 60.0 * 44100.0 / p.bpm;
        const double first = rows[0]["firstBeatFrame"].get<double>() - 1.0;
        const double off = std::remainder(first - double(p.firstFrame), beat);
        EXPECT_LT(std::fabs(off), 256.0) << first;
    }
}

} // namespace
} // namespace vx
