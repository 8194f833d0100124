#include "CliHarness.h"
#include "platform/AudioFileWriter.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using vx::test::CliRun;
using vx::test::lineCount;

class CliInfo : public vx::test::CliTest {
protected:
    // A one-second 440 Hz stereo WAV at `rate`.
    fs::path makeWav(const std::string& name, int rate) {
        const fs::path path = dir_ / name;
        std::string error;
        auto writer = vx::AudioFileWriter::create(path, vx::AudioFileWriter::Format::WavInt16, rate,
                                                  2, &error);
        EXPECT_TRUE(writer) << error;
        std::vector<float> frames(static_cast<size_t>(rate) * 2);
        for (int i = 0; i < rate; ++i) {
            frames[2 * i] = frames[2 * i + 1] =
                0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / rate));
        }
        EXPECT_TRUE(writer->write(frames.data(), rate));
        EXPECT_TRUE(writer->close());
        return path;
    }
};

TEST_F(CliInfo, JsonCarriesTheContractKeysWithExactLength) {
    const auto wav = makeWav("tone.wav", 22050);
    const CliRun r = run("info " + wav.string() + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    for (const char* key : {"path", "sampleRate", "channels", "frames", "seconds", "title",
                            "artist", "album", "tempo"}) {
        EXPECT_TRUE(j.contains(key)) << key;
    }
    EXPECT_EQ(j["path"], wav.string());
    EXPECT_EQ(j["sampleRate"], 22050);
    EXPECT_EQ(j["channels"], 2);
    // One second at the file's rate is 44100 frames at the engine's rate.
    EXPECT_EQ(j["frames"], 44100);
    EXPECT_DOUBLE_EQ(j["seconds"].get<double>(), 1.0);
}

TEST_F(CliInfo, HomeIsAcceptedBeforeAndAfterTheCommand) {
    const auto wav = makeWav("tone.wav", 44100);
    const fs::path home = dir_ / "home";
    const CliRun before = run("--home " + home.string() + " info " + wav.string() + " --json");
    const CliRun after = run("info --home " + home.string() + " " + wav.string() + " --json");
    ASSERT_EQ(before.exitCode, 0) << before.err;
    ASSERT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(nlohmann::json::parse(before.out)["frames"], 44100);
    EXPECT_EQ(before.out, after.out);
}

TEST_F(CliInfo, BadInputFailsWithOneClearLine) {
    const fs::path text = dir_ / "notes.txt";
    std::ofstream(text) << "this is not audio\n";
    const fs::path empty = dir_ / "empty.mp3";
    std::ofstream(empty).close();
    struct Case {
        std::string arguments;
        std::string mustSay;
    };
    const Case cases[] = {
        {"info " + (dir_ / "missing.mp3").string(), "no such file"},
        {"info " + text.string(), "not a readable audio file"},
        {"info " + empty.string(), "not a readable audio file"},
        {"info " + dir_.string(), "folder"},
        {"info", "usage"},
        {"frobnicate", "unknown command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun r = run(c.arguments);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(c.mustSay), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST_F(CliInfo, HelpListsTheCommands) {
    const CliRun r = run("--help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("info FILE [--json]"), std::string::npos);
    EXPECT_NE(r.out.find("--home DIR"), std::string::npos);
}

} // namespace
