#include "CliHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using vx::test::CliRun;

class CliAnalyze : public vx::test::CliTest {};

// Analyses a copy of a demo track (the peak file goes beside it) and an unreadable file in one
// run: the track gets the manifest's tempo, the other an error, and the exit code says so.
TEST_F(CliAnalyze, ReportsEachFileAndFailsWhenOneCannotBeRead) {
    const fs::path resources = VX_RESOURCES_DIR;
    const auto manifest = nlohmann::json::parse(vx::test::slurp(resources / "demo-tracks.json"));
    const auto& first = manifest.at(0);
    const fs::path track = dir_ / first.at("file").get<std::string>();
    fs::copy_file(resources / "sound" / track.filename(), track);
    const fs::path text = dir_ / "notes.mp3";
    std::ofstream(text) << "not audio";

    const CliRun r = run("--home " + (dir_ / "home").string() + " analyze '" + track.string() +
                         "' " + text.string() + " --json");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto rows = nlohmann::json::parse(r.out);
    ASSERT_EQ(rows.size(), 2u);
    for (const char* key : {"path", "bpm", "firstBeatFrame", "gain", "beats", "seconds", "error"}) {
        EXPECT_TRUE(rows[0].contains(key)) << key;
    }
    EXPECT_TRUE(rows[0]["error"].is_null());
    EXPECT_DOUBLE_EQ(rows[0]["bpm"].get<double>(), first.at("tempo").get<double>());
    EXPECT_GT(rows[0]["beats"].get<int>(), 100);
    EXPECT_TRUE(fs::exists(fs::path(track).replace_extension("peak")));
    EXPECT_EQ(rows[1]["error"], "not a readable audio file");
    EXPECT_TRUE(rows[1]["bpm"].is_null());
}

// --all finds the documents folder's tracks that have no tempo or no peak file, analyses each
// with a progress line, and a second run finds nothing left to do.
TEST_F(CliAnalyze, AllAnalysesTheDocumentsTracksThatAreNotAnalysedOnce) {
    const fs::path resources = VX_RESOURCES_DIR;
    const auto manifest = nlohmann::json::parse(vx::test::slurp(resources / "demo-tracks.json"));
    const fs::path documents = dir_ / "home" / "Documents";
    fs::create_directories(documents);
    for (int i = 0; i < 2; ++i) {
        const std::string file = manifest.at(i).at("file").get<std::string>();
        fs::copy_file(resources / "sound" / file, documents / file);
    }
    const std::string all = "--home " + (dir_ / "home").string() + " analyze --all --json";
    const CliRun first = run(all);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const auto rows = nlohmann::json::parse(first.out);
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows) {
        EXPECT_TRUE(row["error"].is_null()) << row.dump();
        EXPECT_GT(row["bpm"].get<double>(), 0.0);
        EXPECT_TRUE(fs::exists(fs::path(row["path"].get<std::string>()).replace_extension("peak")));
    }
    EXPECT_NE(first.err.find("analyzing 1 of 2: "), std::string::npos) << first.err;
    EXPECT_NE(first.err.find("analyzing 2 of 2: "), std::string::npos) << first.err;

    const CliRun again = run(all);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(nlohmann::json::parse(again.out).empty());
    EXPECT_EQ(run("--home " + (dir_ / "home").string() + " analyze --all x.mp3").exitCode, 2);
}

} // namespace
