#include "CliHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vx::test::CliRun;
using vx::test::lineCount;

class CliConvert : public vx::test::CliTest {
protected:
    // Two seconds (plus a few frames) of a 440 Hz stereo tone at 0.5, as a 16-bit WAV.
    fs::path makeWav(const std::string& name) {
        return vx::test::writeSine(dir_ / name, 440, kFrames);
    }

    // The entries of the test folder other than the harness's own capture files.
    std::vector<std::string> outputs() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name != "stdout.txt" && name != "stderr.txt") {
                out.push_back(name);
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    static constexpr int64_t kFrames = 2 * 44100 + 99;
};

TEST_F(CliConvert, WritesAnM4aThatDecodesToTheSameToneAndLength) {
    const fs::path wav = makeWav("mix.wav");
    const fs::path m4a = dir_ / "mix.m4a";
    const CliRun r = run("convert " + wav.string() + " " + m4a.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_EQ(lineCount(r.out), 1u) << r.out;
    EXPECT_NE(r.out.find(std::to_string(kFrames) + " frames"), std::string::npos) << r.out;
    EXPECT_EQ(outputs(), (std::vector<std::string>{"mix.m4a", "mix.wav"}));

    std::string error;
    auto reader = vx::AudioFileReader::open(m4a, vx::AudioFileReader::Client::Stereo44100, &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->fileFormat().codec, "aac");
    EXPECT_EQ(reader->fileFormat().channels, 2);
    // Priming removed; the last AAC frame (1024 samples) padded.
    EXPECT_GE(reader->lengthFrames(), kFrames);
    EXPECT_LT(reader->lengthFrames(), kFrames + 1024);
    std::vector<float> back(size_t(reader->lengthFrames()) * 2);
    ASSERT_EQ(reader->read(back.data(), reader->lengthFrames()), reader->lengthFrames());
    double sum = 0;
    for (int64_t i = 0; i < kFrames; ++i) {
        sum += double(back[size_t(2 * i)]) * back[size_t(2 * i)];
    }
    const double rms = std::sqrt(sum / double(kFrames));
    // A 0.5 sine has an RMS of 0.5 / sqrt(2): -9.03 dBFS; within 1 dB.
    EXPECT_NEAR(20 * std::log10(rms), 20 * std::log10(0.5 / std::sqrt(2.0)), 1.0);
}

TEST_F(CliConvert, BadInputFailsWithOneLineAndNoOutput) {
    makeWav("mix.wav");
    std::ofstream(dir_ / "notes.txt") << "this is not audio\n";
    struct Case {
        std::string arguments;
        std::string mustSay;
        int exitCode;
    };
    const std::string out = (dir_ / "out.m4a").string();
    const Case cases[] = {
        {"convert " + (dir_ / "missing.wav").string() + " " + out, "no such file", 1},
        {"convert " + (dir_ / "notes.txt").string() + " " + out, "not a readable audio file", 1},
        {"convert " + dir_.string() + " " + out, "folder", 1},
        {"convert " + (dir_ / "mix.wav").string() + " " + (dir_ / "nowhere" / "out.m4a").string(),
         "cannot create the output file", 1},
        {"convert " + (dir_ / "mix.wav").string() + " " + (dir_ / "notes.txt" / "out.m4a").string(),
         "cannot create the output file", 1},
        {"convert " + (dir_ / "mix.wav").string(), "usage", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(c.mustSay), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        // Nothing written: no out.m4a and no temporary file beside it.
        EXPECT_EQ(outputs(), (std::vector<std::string>{"mix.wav", "notes.txt"}));
    }
}

} // namespace
