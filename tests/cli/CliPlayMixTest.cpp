// velvox-cli play with the mix features: recording the mix to a file of the user's, an effect
// engaged for the whole run, and pad presses in time. (Numbered recordings, and one killed
// mid-run, are checked in CliSafetyTest.)

#include "CliHarness.h"

#include <cmath>
#include <vector>

namespace vx {
namespace {

using test::CliTest;
namespace fs = std::filesystem;

const std::string kTrack = "\"" VX_RESOURCES_DIR "/sound/Night Drive.mp3\"";

using test::readAudio;

class CliPlayMix : public CliTest {
protected:
    // velvox-cli play of the track into dir_/OUT with `options`.
    test::CliRun play(const char* out, const std::string& options) {
        return run(home() + " play " + kTrack + " --out " + (dir_ / out).string() + " " + options);
    }
};

// An explicit record file holds the output, and no numbered recording is made.
TEST_F(CliPlayMix, ARecordFileHoldsTheOutput) {
    const test::CliRun r =
        play("o.wav", "--seconds 3 --record " + (dir_ / "mine.wav").string() + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find((dir_ / "mine.wav").string()), std::string::npos) << r.out;
    const std::vector<float> output = readAudio(dir_ / "o.wav");
    ASSERT_EQ(output.size(), size_t(3 * 44100 * 2));
    EXPECT_TRUE(readAudio(dir_ / "mine.wav") == output);
    EXPECT_FALSE(fs::exists(dir_ / "home" / "Documents" / "VXNexa_0000.wav"));
}

// The bitcrusher at the pad's top-right corner holds each value for 100 frames: nearly every
// frame repeats the one before, which the music (20 s in, past the intro's silence) never does.
TEST_F(CliPlayMix, AnEngagedEffectShapesTheWholeRun) {
    const auto repeats = [](const std::vector<float>& x) {
        size_t same = 0;
        for (size_t i = 2; i < x.size(); i += 2) {
            same += x[i] == x[i - 2] ? 1 : 0;
        }
        return double(same) / double(x.size() / 2);
    };
    ASSERT_EQ(play("plain.wav", "--start 20 --seconds 2").exitCode, 0);
    const test::CliRun r = play("crushed.wav", "--start 20 --seconds 2 --fx 6 --fx-xy 1,1 --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"fx\": 6"), std::string::npos) << r.out;
    EXPECT_LT(repeats(readAudio(dir_ / "plain.wav")), 0.05);
    EXPECT_GT(repeats(readAudio(dir_ / "crushed.wav")), 0.95);

    for (const char* bad : {"--fx 0", "--fx 7", "--fx 2 --fx-xy 1.5,0", "--fx-xy 0.5,0.5",
                            "--fx 2 --fx-xy 0.5", "--pad 7@1", "--pad 1", "--pad 2@-1"}) {
        const test::CliRun b = play("x.wav", bad);
        EXPECT_EQ(b.exitCode, 2) << bad;
        EXPECT_EQ(test::lineCount(b.err), 1u) << bad;
    }
}

// A pad pressed at 1.0 s changes nothing before that second and sounds within the buffer that
// follows it (the press runs between buffers of 1024 frames).
TEST_F(CliPlayMix, APadPressSoundsWhereItWasAskedFor) {
    ASSERT_EQ(play("plain.wav", "--seconds 2").exitCode, 0);
    const test::CliRun r = play("pad.wav", "--seconds 2 --pad 3@1.0");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<float> plain = readAudio(dir_ / "plain.wav");
    const std::vector<float> pad = readAudio(dir_ / "pad.wav");
    ASSERT_EQ(plain.size(), pad.size());
    size_t first = plain.size();
    for (size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] != pad[i]) {
            first = i / 2;
            break;
        }
    }
    EXPECT_GE(first, 44100u);
    EXPECT_LE(first, 44100u + 1024u);
}

} // namespace
} // namespace vx
