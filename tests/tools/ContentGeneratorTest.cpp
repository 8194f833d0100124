// Runs the content generator binary: a second run must reproduce the build's resources byte for
// byte (also with a different thread count), and failures must be reported by exit status.

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string generator() {
    return VX_GEN_CONTENT_PATH;
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// Exit status of a shell command, or -1 when it did not exit normally.
int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> listedFiles() {
    std::vector<std::string> files;
    FILE* pipe = popen((quoted(generator()) + " --list").c_str(), "r");
    if (pipe == nullptr)
        return files;
    char line[1024];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        if (!s.empty())
            files.push_back(s);
    }
    pclose(pipe);
    return files;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using vx::test::TempDir;

TEST(ContentGeneratorTest, ListNamesEveryResourceTheBuildHas) {
    ASSERT_TRUE(fs::exists(generator())) << generator();
    const std::vector<std::string> files = listedFiles();
    int tracks = 0, pads = 0;
    for (const std::string& f : files) {
        EXPECT_TRUE(fs::exists(fs::path(VX_RESOURCES_DIR) / f)) << f;
        tracks += f.rfind("sound/", 0) == 0 && fs::path(f).extension() == ".mp3";
        pads += f.rfind("samples/fx_", 0) == 0;
    }
    EXPECT_GE(tracks, 6);
    EXPECT_EQ(pads, 6);
    const std::set<std::string> set(files.begin(), files.end());
    EXPECT_EQ(set.count("demo-tracks.json"), 1u);
    EXPECT_EQ(set.count("done.wav"), 1u);
    EXPECT_EQ(set.count("rec.wav"), 1u);
    EXPECT_EQ(set.size(), files.size()) << "no duplicates";
}

// The build generated its resources with every core; one thread must give the same bytes.
TEST(ContentGeneratorTest, SecondRunWithOneThreadIsByteIdentical) {
    ASSERT_TRUE(fs::exists(generator())) << generator();
    TempDir out;
    ASSERT_EQ(run(quoted(generator()) + " " + quoted(out.path().string()) + " --jobs 1 >/dev/null"),
              0);
    const std::vector<std::string> files = listedFiles();
    ASSERT_FALSE(files.empty());
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        const std::string fresh = readAll(out.path() / f);
        const std::string built = readAll(fs::path(VX_RESOURCES_DIR) / f);
        ASSERT_FALSE(fresh.empty());
        EXPECT_TRUE(fresh == built) << fresh.size() << " bytes, the build's " << built.size();
    }
    // Nothing else was written (no leftover temporary files).
    size_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out.path()))
        written += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(written, files.size());
    EXPECT_TRUE(fs::is_directory(out.path() / "docroot"));
}

TEST(ContentGeneratorTest, ReportsUnwritableOutputAndBadArguments) {
    ASSERT_TRUE(fs::exists(generator())) << generator();
    TempDir out;
    // A regular file where the output folder should be.
    const fs::path blocker = out.path() / "blocker";
    std::ofstream(blocker) << "x";
    EXPECT_EQ(run(quoted(generator()) + " " + quoted((blocker / "out").string()) + " 2>/dev/null"),
              1);
    EXPECT_EQ(run(quoted(generator()) + " 2>/dev/null"), 2);
    EXPECT_EQ(run(quoted(generator()) + " a b 2>/dev/null"), 2);
}

} // namespace
