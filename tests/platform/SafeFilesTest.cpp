#include "platform/SafeFiles.h"

#include "platform/EncodeFixture.h"
#include "platform/FileSizeLimit.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

using namespace vx;
namespace fs = std::filesystem;
using vx::fixture::TempDir;

namespace {

using fixture::folderEntries;
using fixture::readBytes;
using fixture::writeBytes;

// A folder on another file system than the temp folder (tmpfs), or nothing.
std::optional<fs::path> otherFileSystemFolder(const fs::path& near) {
    struct stat nearStat {
    }, shmStat{};
    if (::stat(near.c_str(), &nearStat) != 0 || ::stat("/dev/shm", &shmStat) != 0 ||
        nearStat.st_dev == shmStat.st_dev) {
        return std::nullopt;
    }
    std::string pattern = "/dev/shm/vx-safefiles-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        return std::nullopt;
    }
    return fs::path(pattern);
}

struct NameCase {
    std::string name;
    FileNameCheck expected;
};

TEST(SafeFiles, EveryRefusedNameForItsOwnReason) {
    const std::vector<NameCase> cases = {
        {"", FileNameCheck::Empty},
        {".", FileNameCheck::DotName},
        {"..", FileNameCheck::DotName},
        {"../track.mp3", FileNameCheck::Separator},
        {"sub/track.mp3", FileNameCheck::Separator},
        {"/etc", FileNameCheck::Separator},
        {"..\\track.mp3", FileNameCheck::Separator},
        {std::string("track\0.mp3", 10), FileNameCheck::Nul},
        {"track\n.mp3", FileNameCheck::Control},
        {"\x1f", FileNameCheck::Control},
        {"track\x7f", FileNameCheck::Control},
        {std::string(256, 'a'), FileNameCheck::TooLong},
        {"velvox.sqlite", FileNameCheck::Database},
        {"velvox.sqlite-wal", FileNameCheck::Database},
        {"velvox.sqlite-journal", FileNameCheck::Database},
        {"Velvox.SQLite-shm", FileNameCheck::Database},
        // Accepted: the limits themselves and names that only look odd.
        {std::string(255, 'a'), FileNameCheck::Ok},
        {"...", FileNameCheck::Ok},
        {".hidden track.mp3", FileNameCheck::Ok},
        {"my velvox.sqlite", FileNameCheck::Ok},
        {"Ünïcødé – 128 bpm.flac", FileNameCheck::Ok},
        {"VXNexa_0001.wav", FileNameCheck::Ok},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkFileName(c.name), c.expected)
            << "name of " << c.name.size() << " bytes: " << c.name;
        EXPECT_EQ(isSafeFileName(c.name), c.expected == FileNameCheck::Ok) << c.name;
    }
}

TEST(SafeFiles, MovesWithinOneFileSystem) {
    TempDir dir;
    const fs::path docs = dir.file("docs");
    fs::create_directory(docs);

    struct MoveCase {
        const char* what;
        std::optional<std::string> existing; // content already at the target
        bool overwrite;
        SafeMoveResult expected;
        std::string targetAfter;
        bool sourceRemains;
    };
    const std::vector<MoveCase> cases = {
        {"fresh name", std::nullopt, false, SafeMoveResult::Moved, "new", false},
        {"existing, kept", std::string("old"), false, SafeMoveResult::Exists, "old", true},
        {"existing, overwrite asked", std::string("old"), true, SafeMoveResult::Moved, "new",
         false},
        {"fresh name, overwrite asked", std::nullopt, true, SafeMoveResult::Moved, "new", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path source = dir.file("upload.mp3");
        const fs::path target = docs / "track.mp3";
        fs::remove(target);
        writeBytes(source, "new");
        if (c.existing) {
            writeBytes(target, *c.existing);
        }
        EXPECT_EQ(safeMoveIntoFolder(source, docs, "track.mp3", c.overwrite), c.expected);
        EXPECT_EQ(readBytes(target), c.targetAfter);
        EXPECT_EQ(fs::exists(source), c.sourceRemains);
        EXPECT_EQ(folderEntries(docs), std::vector<std::string>{"track.mp3"});
    }

    // Refusals change nothing.
    const fs::path source = dir.file("upload.mp3");
    writeBytes(source, "data");
    EXPECT_EQ(safeMoveIntoFolder(source, docs, "../escape.mp3"), SafeMoveResult::BadName);
    EXPECT_EQ(safeMoveIntoFolder(source, docs, "velvox.sqlite", true), SafeMoveResult::BadName);
    EXPECT_EQ(safeMoveIntoFolder(dir.file("missing.mp3"), docs, "x.mp3"),
              SafeMoveResult::SourceMissing);
    EXPECT_EQ(safeMoveIntoFolder(docs, dir.path(), "folder"), SafeMoveResult::SourceMissing);
    EXPECT_TRUE(fs::exists(source));
    EXPECT_FALSE(fs::exists(dir.file("escape.mp3")));
    EXPECT_EQ(folderEntries(docs), std::vector<std::string>{"track.mp3"});
}

TEST(SafeFiles, MovesAcrossFileSystems) {
    TempDir dir;
    const auto shm = otherFileSystemFolder(dir.path());
    if (!shm) {
        GTEST_SKIP() << "no second file system (tmpfs at /dev/shm) beside the temp folder";
    }
    // Content longer than one copy buffer, with every byte value.
    std::string content;
    for (int i = 0; i < 200000; ++i) {
        content.push_back(char(i * 7 % 256));
    }
    const fs::path source = *shm / "upload.mp3";
    const fs::path docs = dir.path();

    writeBytes(source, content);
    ::chmod(source.c_str(), 0640);
    ASSERT_EQ(safeMoveIntoFolder(source, docs, "track.mp3"), SafeMoveResult::Moved);
    EXPECT_EQ(readBytes(docs / "track.mp3"), content);
    EXPECT_EQ(fs::status(docs / "track.mp3").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(fs::exists(source));

    writeBytes(source, "second");
    EXPECT_EQ(safeMoveIntoFolder(source, docs, "track.mp3"), SafeMoveResult::Exists);
    EXPECT_EQ(readBytes(docs / "track.mp3"), content);
    EXPECT_TRUE(fs::exists(source));

    EXPECT_EQ(safeMoveIntoFolder(source, docs, "track.mp3", true), SafeMoveResult::Moved);
    EXPECT_EQ(readBytes(docs / "track.mp3"), "second");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(folderEntries(docs), std::vector<std::string>{"track.mp3"});

    // A copy that fails half-way (the file-size limit stands in for a full disk) leaves
    // neither the target nor a temporary file, and keeps the source.
    writeBytes(source, content);
    SafeMoveResult result;
    {
        const fixture::FileSizeLimit limit(100000);
        LogCapture log;
        result = safeMoveIntoFolder(source, docs, "big.mp3");
        EXPECT_TRUE(log.contains("big.mp3")) << "the failure is logged";
    }
    EXPECT_EQ(result, SafeMoveResult::Failed);
    EXPECT_EQ(folderEntries(docs), std::vector<std::string>{"track.mp3"});
    EXPECT_EQ(readBytes(source), content);
    fs::remove_all(*shm);
}

} // namespace
