// Key lock heard from outside: a steady tone played through velvox-cli keeps its pitch at any
// speed, and pitch mode shifts it by the speed.
#include "CliHarness.h"

#include "support/ToneTracks.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Frequency of a steady tone from its rising zero crossings (interpolated), in Hz.
double toneFrequency(const std::vector<float>& left, size_t from, size_t to) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (left[i - 1] < 0.0f && left[i] >= 0.0f) {
            const double at = double(i - 1) + left[i - 1] / double(left[i - 1] - left[i]);
            if (first < 0) {
                first = at;
            } else {
                ++crossings;
            }
            last = at;
        }
    }
    return crossings > 0 ? crossings * 44100.0 / (last - first) : 0.0;
}

class CliKeyLock : public vx::test::CliTest {};

// A party of tracks at three tempos: each incoming track is played at the speed that matches
// the one on air, and its tone stays where it was written — in every second of the mix the
// tones heard are the tracks' own, never a tone moved by the speed.
TEST_F(CliKeyLock, APartyOfTracksAtDifferentTemposKeepsEveryTracksKey) {
    const fs::path folder = dir_ / "set";
    fs::create_directories(folder);
    const struct {
        const char* name;
        double bpm, hz;
    } tracks[] = {{"a.m4a", 120, 400}, {"b.m4a", 128, 600}, {"c.m4a", 112, 900}};
    for (const auto& t : tracks) {
        vx::test::writeToneTrack(folder / t.name, t.bpm, t.hz, 75);
    }
    const fs::path mix = dir_ / "mix.wav";
    const auto r = run("--home " + (dir_ / "home").string() + " party " + folder.string() +
                       " --minutes 4 --out " + mix.string() + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto out = nlohmann::json::parse(r.out);
    bool sped = false;
    for (const auto& t : out["transitions"]) {
        sped = sped || std::fabs(t["to"]["speed"].get<double>() - 1.0) > 0.03;
    }
    EXPECT_TRUE(sped) << "the tracks were matched at their own speeds: nothing to check";

    const std::vector<float> stereo = vx::test::readAudio(mix);
    const int64_t frames = int64_t(stereo.size() / 2);
    ASSERT_GT(frames, 0);
    // Every second window: the strongest frequency near each tone is the tone itself. The
    // speeds in play move a tone by about 7 %, far outside the ±1 % allowed.
    int checked = 0;
    for (size_t from = 44100; from + 44100 <= size_t(frames); from += 2 * 44100) {
        for (const auto& t : tracks) {
            const auto best = vx::test::strongestNear(stereo, from, from + 44100, t.hz);
            // Only where this track is heard (its tone well above the other tracks' leakage).
            if (best.power > 1e5) {
                ++checked;
                EXPECT_NEAR(best.hz, t.hz, t.hz * 0.01) << t.name << " at " << from / 44100 << " s";
            }
        }
    }
    EXPECT_GT(checked, 60);
}

TEST_F(CliKeyLock, ASineKeepsItsPitchUnderKeyLockAndFollowsTheSpeedInPitchMode) {
    const fs::path tone = vx::test::writeSine(dir_ / "tone.wav", 1000, 20 * 44100, 44100,
                                              vx::AudioFileWriter::Format::WavFloat32);
    const struct {
        double speed;
        bool pitchMode;
        double hz;
    } cases[] = {{1.04, false, 1000}, {0.90, false, 1000}, {1.04, true, 1040}, {0.90, true, 900}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed << (c.pitchMode ? " pitch mode" : " key lock"));
        const fs::path out = dir_ / "out.wav";
        const auto r = run("--home " + (dir_ / "home").string() + " play " + tone.string() +
                           " --out " + out.string() + " --seconds 8 --speed " +
                           std::to_string(c.speed) + (c.pitchMode ? " --pitch-mode" : ""));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<float> stereo = vx::test::readAudio(out);
        std::vector<float> left(8 * 44100);
        ASSERT_EQ(stereo.size(), 2 * left.size());
        for (size_t i = 0; i < left.size(); ++i) {
            left[i] = stereo[2 * i];
        }
        // The whole run after the first second, and its last second alone.
        EXPECT_NEAR(toneFrequency(left, 44100, left.size()), c.hz, c.hz * 0.01);
        EXPECT_NEAR(toneFrequency(left, left.size() - 44100, left.size()), c.hz, c.hz * 0.01);
    }
}

} // namespace
