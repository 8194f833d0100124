#include "CliHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using vx::test::CliRun;
using vx::test::lineCount;

using CliInfo = vx::test::CliTest;
using vx::test::writeSine;

TEST_F(CliInfo, JsonCarriesTheContractKeysWithExactLength) {
    const auto wav = writeSine(dir_ / "tone.wav", 440, 22050, 22050);
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
    const auto wav = writeSine(dir_ / "tone.wav", 440, 44100);
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
    for (const char* line : {"info FILE [--json]", "--home DIR", "convert IN OUT.m4a"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
    const CliRun one = run("convert --help");
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_NE(one.out.find("usage: velvox-cli convert IN OUT.m4a"), std::string::npos) << one.out;
}

} // namespace
