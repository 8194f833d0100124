#include "library/TrackHash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LibraryFixture.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

struct HashVector {
    std::string name;
    uint32_t hash;
};

TEST(TrackHashTest, MatchesFnv1aVectors) {
    const std::vector<HashVector> vectors = {
        {"", 0x811c9dc5u},
        {"a", 0xe40c292cu},
        {"b", 0xe70c2de5u},
        {"foobar", 0xbf9cf968u},
        {"Rock 'n' Roll.mp3", 0x7ab22eadu},
        // Bytes above 0x7f must be taken unsigned.
        {"\xc3\x9cn\xc3\xaf"
         "c\xc3\xb8"
         "d\xc3\xa9 \xe2\x99\xab.mp3",
         0xd9e769c6u},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(trackHash(v.name), v.hash) << v.name;
    }
}

TEST(TrackHashTest, PathHashUsesOnlyTheLastComponent) {
    EXPECT_EQ(trackHashForPath(fs::path("/music/crate/foobar")), 0xbf9cf968u);
    EXPECT_EQ(trackHashForPath(fs::path("a")), 0xe40c292cu);
    EXPECT_EQ(trackHashForPath(fs::path("/one/Song.mp3")), trackHashForPath("/two/Song.mp3"));
    EXPECT_NE(trackHashForPath(fs::path("/one/Song.mp3")), trackHashForPath("/one/Song.m4a"));
}

TEST(TrackHashTest, TrackExtensions) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"a.mp3", true},          {"a.MP3", true},      {"b.m4a", true},  {"b.M4A", true},
        {"dir.mp3/c.wav", false}, {"a.mp3.txt", false}, {"mp3", false},   {"a.aac", false},
        {"a.mp", false},          {".mp3", false},      {"c.flac", true}, {"c.FLAC", true},
        {"d.ogg", true},          {"e.Opus", true},     {"f.wav", false}, {"g.oga", false},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(isTrackExtension(name), expected) << name;
    }
}

TEST(TrackHashTest, FolderSignatureSumsTrackNamesInSubfoldersTooIn64Bits) {
    test::LibraryTempDir dir;
    const std::vector<std::string> tracks = {"foobar.mp3", "Song.M4A", "deep/Other.mp3",
                                             "deep/deeper/a.m4a"};
    fs::create_directories(dir.path() / "deep" / "deeper");
    uint64_t expected = 0;
    for (const auto& name : tracks) {
        test::writeBytes(dir.path() / name, "x");
        expected += trackHashForPath(fs::path(name));
    }
    test::writeBytes(dir.path() / "notes.txt", "x");
    test::writeBytes(dir.path() / "deep" / "sample.wav", "x");
    // Four 32-bit hashes: the sum only fits when it is kept in 64 bits.
    ASSERT_GT(expected, uint64_t{0xffffffffu});
    EXPECT_EQ(folderSignature(dir.path()), expected);
    EXPECT_EQ(folderSignature(dir.path() / "missing"), 0u);
}

TEST(TrackHashTest, InsideFolderComparesWholeComponents) {
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        {"/h/Documents/a.mp3", "/h/Documents", true},
        {"/h/Documents/sub/a.mp3", "/h/Documents", true},
        {"/h/Documents/a.mp3", "/h/Documents/", true},
        {"/h/Documents2/a.mp3", "/h/Documents", false},
        {"/h/Doc/a.mp3", "/h/Documents", false},
        {"/h/Documents", "/h/Documents", false},
        {"/h/x/../Documents/a.mp3", "/h/Documents", true},
    };
    for (const auto& [path, folder, expected] : cases) {
        EXPECT_EQ(isInsideFolder(path, folder), expected) << path << " in " << folder;
    }
}

} // namespace
} // namespace vx
