// velvox-cli play with the mix features: recording the mix (numbered files, equal to the
// output, valid after a kill), an effect engaged for the whole run, and pad presses in time.

#include "CliHarness.h"

#include "platform/AudioFileReader.h"

#include <signal.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace vx {
namespace {

using test::CliTest;
namespace fs = std::filesystem;

const std::string kTrack = "\"" VX_RESOURCES_DIR "/sound/Night Drive.mp3\"";

std::vector<float> readAll(const fs::path& path) {
    std::string error;
    auto reader = AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, &error);
    EXPECT_TRUE(reader) << error;
    if (!reader) {
        return {};
    }
    std::vector<float> out(size_t(reader->lengthFrames()) * 2);
    out.resize(size_t(std::max<int64_t>(reader->read(out.data(), reader->lengthFrames()), 0)) * 2);
    return out;
}

class CliPlayMix : public CliTest {
protected:
    std::string home() const { return "--home " + dir_.string() + "/home"; }
};

TEST_F(CliPlayMix, RecordingsAreNumberedAndHoldTheOutput) {
    for (int n = 0; n < 2; ++n) {
        const fs::path out = dir_ / "out.wav";
        const test::CliRun r = run(home() + " play " + kTrack + " --out " + out.string() +
                                   " --seconds 3 --record --json");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        char name[32];
        std::snprintf(name, sizeof name, "VXNexa_%04d.wav", n);
        const fs::path recorded = dir_ / "home" / "Documents" / name;
        EXPECT_NE(r.out.find(recorded.string()), std::string::npos) << r.out;
        const std::vector<float> a = readAll(out);
        const std::vector<float> b = readAll(recorded);
        ASSERT_EQ(a.size(), size_t(3 * 44100 * 2));
        EXPECT_TRUE(a == b) << "recording " << n << " differs from the output";
    }
    // An explicit record file.
    const test::CliRun r = run(home() + " play " + kTrack + " --out " + (dir_ / "o.wav").string() +
                               " --seconds 1 --record " + (dir_ / "mine.wav").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readAll(dir_ / "mine.wav"), readAll(dir_ / "o.wav"));
    EXPECT_FALSE(fs::exists(dir_ / "home" / "Documents" / "VXNexa_0002.wav"));
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
    ASSERT_EQ(run(home() + " play " + kTrack + " --out " + (dir_ / "plain.wav").string() +
                  " --start 20 --seconds 2")
                  .exitCode,
              0);
    const test::CliRun r =
        run(home() + " play " + kTrack + " --out " + (dir_ / "crushed.wav").string() +
            " --start 20 --seconds 2 --fx 6 --fx-xy 1,1 --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"fx\": 6"), std::string::npos) << r.out;
    EXPECT_LT(repeats(readAll(dir_ / "plain.wav")), 0.05);
    EXPECT_GT(repeats(readAll(dir_ / "crushed.wav")), 0.95);

    for (const char* bad : {"--fx 0", "--fx 7", "--fx 2 --fx-xy 1.5,0", "--fx-xy 0.5,0.5",
                            "--fx 2 --fx-xy 0.5", "--pad 7@1", "--pad 1", "--pad 2@-1"}) {
        const test::CliRun b =
            run(home() + " play " + kTrack + " --out " + (dir_ / "x.wav").string() + " " + bad);
        EXPECT_EQ(b.exitCode, 2) << bad;
        EXPECT_EQ(test::lineCount(b.err), 1u) << bad;
    }
}

// A pad pressed at 1.0 s changes nothing before that second and sounds within the buffer that
// follows it (the press runs between buffers of 1024 frames).
TEST_F(CliPlayMix, APadPressSoundsWhereItWasAskedFor) {
    ASSERT_EQ(
        run(home() + " play " + kTrack + " --out " + (dir_ / "plain.wav").string() + " --seconds 2")
            .exitCode,
        0);
    const test::CliRun r = run(home() + " play " + kTrack + " --out " +
                               (dir_ / "pad.wav").string() + " --seconds 2 --pad 3@1.0");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<float> plain = readAll(dir_ / "plain.wav");
    const std::vector<float> pad = readAll(dir_ / "pad.wav");
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

// The first play of a track also analyses it; the render waits for that analysis before each
// buffer, so it equals a render of the same track whose peak file already exists.
TEST_F(CliPlayMix, ARenderIsTheSameWhetherOrNotTheTrackWasAnalysedBefore) {
    const fs::path track = dir_ / "Solar Run.mp3";
    fs::copy_file(VX_RESOURCES_DIR "/sound/Solar Run.mp3", track);
    const std::string play = home() + " play \"" + track.string() + "\" --seconds 3 --out ";
    ASSERT_EQ(run(play + (dir_ / "first.wav").string()).exitCode, 0);
    ASSERT_TRUE(fs::exists(dir_ / "Solar Run.peak"));
    ASSERT_EQ(run(play + (dir_ / "second.wav").string()).exitCode, 0);
    const std::vector<float> first = readAll(dir_ / "first.wav");
    ASSERT_EQ(first.size(), size_t(3 * 44100 * 2));
    EXPECT_TRUE(first == readAll(dir_ / "second.wav"));
}

// A recording process killed without warning leaves a WAVE file that opens and holds the audio
// written up to its last header update (every two seconds).
TEST_F(CliPlayMix, ARecordingSurvivesAKill) {
    const fs::path recorded = dir_ / "killed.wav";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string homeDir = dir_.string() + "/home";
        const std::string out = (dir_ / "out.wav").string();
        ::execl(VX_CLI_PATH, VX_CLI_PATH, "--home", homeDir.c_str(), "play",
                VX_RESOURCES_DIR "/sound/Night Drive.mp3", "--out", out.c_str(), "--seconds",
                "86400", "--record", recorded.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait (at most 60 s) until a copy of the file opens with at least ten seconds of audio.
    int64_t frames = 0;
    for (int i = 0; i < 600 && frames < 10 * 44100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::error_code ec;
        fs::copy_file(recorded, dir_ / "copy.wav", fs::copy_options::overwrite_existing, ec);
        std::string error;
        auto reader =
            AudioFileReader::open(dir_ / "copy.wav", AudioFileReader::Client::Stereo44100, &error);
        frames = reader ? reader->lengthFrames() : 0;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(frames, 10 * 44100);
    const std::vector<float> after = readAll(recorded);
    EXPECT_GE(after.size(), size_t(frames) * 2);
    // The audio is the track, not silence or garbage.
    float peak = 0.0f;
    for (float v : after) {
        ASSERT_TRUE(v >= -1.0f && v <= 1.0f);
        peak = std::max(peak, std::fabs(v));
    }
    EXPECT_GT(peak, 0.1f);
}

} // namespace
} // namespace vx
