#include "analysis/peakFileData.h"

#include "PeakTestSupport.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <thread>

namespace vx {
namespace {

using test::peakFileBytes;
using test::readBytes;
using test::snapshot;
using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

TEST(peakFileData, EntryCountIsTheCeilingOfFramesOver256) {
    const struct {
        int64_t frames;
        int32_t count;
    } cases[] = {{-5, 0},  {0, 0},   {1, 1},   {255, 1},     {256, 1},
                 {257, 2}, {512, 2}, {513, 3}, {44100, 173}, {32768 * 20 + 1, 2561}};
    for (const auto& c : cases) {
        EXPECT_EQ(peakCountForFrames(c.frames), c.count) << c.frames;
    }
    EXPECT_EQ(peakCountForFrames(int64_t{1} << 40), std::numeric_limits<int32_t>::max());
}

TEST(peakFileData, NewRecordIsAllNotComputedWithNeutralHeader) {
    const auto r = peakFileData::create(5);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->headerSize, 20);
    EXPECT_EQ(r->bpm.load(), 0.0);
    EXPECT_EQ(r->gain.load(), 1.0);
    EXPECT_EQ(r->ready.load(), 1);
    EXPECT_EQ(r->count, 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r->height(i), 0xFF);
        EXPECT_EQ(r->flags(i), 0xFF);
        EXPECT_FALSE(r->isComputed(i));
        EXPECT_FALSE(r->isBeatEntry(i)) << "a byte 1 of 0xFF is not a beat";
    }
    EXPECT_EQ(peakFileData::create(-3)->count, 0);
}

TEST(peakFileData, AccessorsReadAndWriteTheRightBytesAndIgnoreIndexesOutside) {
    const auto r = peakFileData::create(3);
    r->setEntry(1, 37, 0x41);
    EXPECT_EQ(r->entries[2], 37);
    EXPECT_EQ(r->entries[3], 0x41);
    EXPECT_EQ(r->entries[0], 0xFF);
    EXPECT_EQ(r->entries[4], 0xFF);
    EXPECT_TRUE(r->isBeatEntry(1));

    r->setFlagBits(1, 0x10);
    EXPECT_EQ(r->flags(1), 0x51);
    r->clearFlagBits(1, 0xF0);
    EXPECT_EQ(r->flags(1), 0x01);
    EXPECT_FALSE(r->isBeatEntry(1));
    EXPECT_EQ(r->height(1), 37) << "flag changes leave the height alone";

    // Outside the record: reads say "not computed", writes change nothing.
    r->setEntry(-1, 1, 1);
    r->setEntry(3, 1, 1);
    r->setFlagBits(3, 0x40);
    r->clearFlagBits(-1, 0xFF);
    EXPECT_EQ(r->height(3), 0xFF);
    EXPECT_EQ(r->flags(-1), 0xFF);
    const std::vector<uint8_t> expected = {0xFF, 0xFF, 37, 0x01, 0xFF, 0xFF};
    EXPECT_EQ(snapshot(*r).bytes, expected);
}

TEST(peakFileData, FillEntryKeepsBeatBitsOfAComputedByteButNotOfANewOne) {
    const auto r = peakFileData::create(3);
    r->setEntry(0, 10, 0x51); // computed, even beat + grid beat + low flag
    r->setFlagBits(1, 0x40);  // uncomputed entry marked by a grid: 0xFF stays 0xFF
    r->clearFlagBits(2, 0xF0);
    r->setFlagBits(2, 0x40); // re-gridded uncomputed entry: 0x4F
    r->fillEntry(0, 20, 0x00);
    r->fillEntry(1, 21, 0x01);
    r->fillEntry(2, 22, 0x00);
    EXPECT_EQ(r->height(0), 20);
    EXPECT_EQ(r->flags(0), 0x50) << "beat bits kept, low flag replaced";
    EXPECT_EQ(r->flags(1), 0x01) << "a byte 1 of 0xFF is replaced whole";
    EXPECT_EQ(r->flags(2), 0x40);
}

TEST(peakFileData, PeakFileSitsBesideTheTrackWithExtensionPeak) {
    const struct {
        const char* track;
        const char* peak;
    } cases[] = {{"/music/a.mp3", "/music/a.peak"},
                 {"/music/Some Track.m4a", "/music/Some Track.peak"},
                 {"/music/x.y.wav", "/music/x.y.peak"},
                 {"/music/noext", "/music/noext.peak"},
                 {"rel/dir.d/t.flac", "rel/dir.d/t.peak"}};
    for (const auto& c : cases) {
        EXPECT_EQ(peakFilePath(c.track), fs::path(c.peak)) << c.track;
    }
}

// Two audio files of one stem never share a peak file: the name that sorts first keeps the
// plain name, the other's name is built from its whole file name. A lone track keeps the plain
// name, so existing peak files are found.
TEST(peakFileData, TracksOfOneStemGetTheirOwnPeakFiles) {
    TempDir dir;
    const fs::path mp3 = dir.path() / "Song.mp3";
    const fs::path m4a = dir.path() / "Song.m4a";
    writeBytes(mp3, {1});
    EXPECT_EQ(peakFilePath(mp3), dir.path() / "Song.peak");
    writeBytes(m4a, {1});
    EXPECT_EQ(peakFilePath(m4a), dir.path() / "Song.peak");
    EXPECT_EQ(peakFilePath(mp3), dir.path() / "Song.mp3.vxpeak");
    // A track whose own stem ends in ".mp3" still has a plain name of its own.
    EXPECT_EQ(peakFilePath(dir.path() / "Song.mp3.mp3"), dir.path() / "Song.mp3.peak");
}

// Peak files are ordinary files: readable by all unless the umask says otherwise.
TEST(peakFileData, WrittenFilesFollowTheUmask) {
    TempDir dir;
    const auto r = peakFileData::create(1);
    const mode_t old = ::umask(022);
    ASSERT_TRUE(peakFileWrite(*r, dir.path() / "a.peak"));
    ::umask(027);
    ASSERT_TRUE(peakFileWrite(*r, dir.path() / "b.peak"));
    ::umask(old);
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat((dir.path() / "a.peak").c_str(), &a), 0);
    ASSERT_EQ(::stat((dir.path() / "b.peak").c_str(), &b), 0);
    EXPECT_EQ(a.st_mode & 0777, 0644u);
    EXPECT_EQ(b.st_mode & 0777, 0640u);
}

// The written file is exactly the documented layout, built independently in the test; loading
// it replaces whatever buffer the record had and sets it ready.
TEST(peakFileData, WriteProducesTheExactByteLayoutAndLoadReadsItBack) {
    TempDir dir;
    const auto r = peakFileData::create(4);
    r->bpm = 127.5;
    r->gain = 0.731;
    const std::vector<uint8_t> entries = {0, 0, 50, 0x01, 25, 0x40, 0xFF, 0xFF};
    for (int i = 0; i < 4; ++i) {
        r->setEntry(i, entries[2 * i], entries[2 * i + 1]);
    }
    const fs::path p = dir.path() / "t.peak";
    ASSERT_TRUE(peakFileWrite(*r, p));
    const auto bytes = readBytes(p);
    EXPECT_EQ(bytes, peakFileBytes(20, 127.5, 0.731, entries));
    EXPECT_EQ(bytes.size(), 28u);

    const auto back = peakFileData::create(100);
    back->ready = 0;
    ASSERT_TRUE(peakFileLoad(*back, p));
    EXPECT_EQ(back->headerSize, 20);
    EXPECT_EQ(back->bpm.load(), 127.5);
    EXPECT_EQ(back->gain.load(), 0.731);
    EXPECT_EQ(back->count, 4);
    EXPECT_EQ(back->ready.load(), 1);
    EXPECT_EQ(snapshot(*back).bytes, entries);
    EXPECT_EQ(back->height(4), 0xFF) << "the old count no longer applies";

    // Writing what was read gives the same bytes.
    const fs::path again = dir.path() / "again.peak";
    ASSERT_TRUE(peakFileWrite(*back, again));
    EXPECT_EQ(readBytes(again), bytes);
}

TEST(peakFileData, HeaderOnlyFileIsATrackWithoutEntries) {
    TempDir dir;
    const fs::path p = dir.path() / "empty.peak";
    const auto r = peakFileData::create(0);
    ASSERT_TRUE(peakFileWrite(*r, p));
    EXPECT_EQ(fs::file_size(p), 20u);
    const auto back = peakFileData::create(7);
    ASSERT_TRUE(peakFileLoad(*back, p));
    EXPECT_EQ(back->count, 0);
}

TEST(peakFileData, GainThatIsNotPositiveIsWrittenAsOne) {
    const double gains[] = {0.0, -0.5, -0.0, std::nan(""), std::numeric_limits<double>::infinity()};
    TempDir dir;
    const fs::path p = dir.path() / "g.peak";
    for (double g : gains) {
        SCOPED_TRACE(g);
        const auto r = peakFileData::create(1);
        r->gain = g;
        ASSERT_TRUE(peakFileWrite(*r, p));
        EXPECT_EQ(r->gain.load(), 1.0) << "the record is corrected too";
        EXPECT_EQ(readBytes(p), peakFileBytes(20, 0.0, 1.0, {0xFF, 0xFF}));
        peakFileData back;
        ASSERT_TRUE(peakFileLoad(back, p));
        EXPECT_EQ(back.gain.load(), 1.0);
    }
}

TEST(peakFileData, WriteReplacesTheOldFileAndLeavesNoTemporaryFiles) {
    TempDir dir;
    const fs::path p = dir.path() / "t.peak";
    writeBytes(p, std::vector<uint8_t>(1000, 0xAB));
    const auto r = peakFileData::create(2);
    r->setEntry(0, 3, 0);
    ASSERT_TRUE(peakFileWrite(*r, p));
    EXPECT_EQ(readBytes(p), peakFileBytes(20, 0.0, 1.0, {3, 0, 0xFF, 0xFF}));
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        ++files;
        EXPECT_EQ(e.path().filename(), "t.peak");
    }
    EXPECT_EQ(files, 1);
}

TEST(peakFileData, WriteFailsCleanlyWhenTheFolderIsMissing) {
    TempDir dir;
    const fs::path p = dir.path() / "missing" / "t.peak";
    const auto r = peakFileData::create(2);
    EXPECT_FALSE(peakFileWrite(*r, p));
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

// Every malformed file fails and leaves the record exactly as it was (fields, buffer, bytes).
TEST(peakFileData, BadFilesFailAndLeaveTheRecordUnchanged) {
    const std::vector<uint8_t> twoEntries = {10, 1, 20, 0};
    const auto withHeader = [&](int32_t header) {
        return peakFileBytes(header, 120.0, 0.8, twoEntries);
    };
    std::vector<uint8_t> truncatedHeader = withHeader(20);
    truncatedHeader.resize(19);
    std::vector<uint8_t> oddData = withHeader(20);
    oddData.push_back(7);
    std::vector<uint8_t> oneByteData = withHeader(20);
    oneByteData.resize(21);

    const char* const shortFile = "shorter than its header";
    const char* const badHeader = "header size is not 20";
    const char* const odd = "odd entry data length";
    const char* const range = "BPM or gain out of range";
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"empty", {}, shortFile},
        {"three bytes", {20, 0, 0}, shortFile},
        {"header cut at 19 bytes", truncatedHeader, shortFile},
        {"header size 19", withHeader(19), badHeader},
        {"header size 21", withHeader(21), badHeader},
        {"header size 0", withHeader(0), badHeader},
        {"header size -1", withHeader(-1), badHeader},
        {"header size huge", withHeader(std::numeric_limits<int32_t>::max()), badHeader},
        {"header size huge negative", withHeader(std::numeric_limits<int32_t>::min()), badHeader},
        {"odd data length", oddData, odd},
        {"one data byte", oneByteData, odd},
        {"BPM NaN", peakFileBytes(20, std::nan(""), 1.0, twoEntries), range},
        {"BPM infinite",
         peakFileBytes(20, std::numeric_limits<double>::infinity(), 1.0, twoEntries), range},
        {"BPM negative", peakFileBytes(20, -120.0, 1.0, twoEntries), range},
        {"gain zero", peakFileBytes(20, 120.0, 0.0, twoEntries), range},
        {"gain NaN", peakFileBytes(20, 120.0, std::nan(""), twoEntries), range},
        {"gain 1e30", peakFileBytes(20, 120.0, 1e30, twoEntries), range},
        {"gain above the analysis's clamp", peakFileBytes(20, 120.0, 2.01, twoEntries), range},
        {"BPM 1e6", peakFileBytes(20, 1e6, 1.0, twoEntries), range},
        {"BPM 5", peakFileBytes(20, 5.0, 1.0, twoEntries), range},
        {"flags never written", peakFileBytes(20, 120.0, 1.0, {10, 1, 20, 0x02}), "never written"},
    };
    // The record the loads must leave alone: every field away from its default.
    const auto expectRefused = [](const fs::path& p, const char* reason, int32_t expected = -1) {
        const auto r = peakFileData::create(3);
        r->bpm = 99.0;
        r->gain = 0.25;
        r->ready = 0;
        r->setEntry(1, 5, 0x40);
        const auto before = snapshot(*r);
        LogCapture log;
        EXPECT_FALSE(expected < 0 ? peakFileLoad(*r, p) : peakFileLoad(*r, p, expected));
        EXPECT_EQ(snapshot(*r), before);
        if (reason) {
            EXPECT_TRUE(log.contains(reason)) << (log.lines().empty() ? "" : log.lines()[0]);
        } else {
            EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
        }
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = dir.path() / "bad.peak";
        writeBytes(p, c.bytes);
        expectRefused(p, c.reason);
    }

    // An entry count beyond the int32 range, in a sparse file: refused before any allocation.
    // Another entry count than the track's: refused from the size alone, even a 4 GB sparse
    // file (nothing is read or allocated).
    const fs::path sparse = dir.path() / "sparse.peak";
    writeBytes(sparse, peakFileBytes(20, 120.0, 1.0, {}));
    fs::resize_file(sparse, 20 + 2 * (uint64_t{1} << 31));
    expectRefused(sparse, "too many entries");
    for (uint64_t entries : {uint64_t{1}, uint64_t{3}, uint64_t{1} << 31}) {
        SCOPED_TRACE(entries);
        fs::resize_file(sparse, 20 + 2 * entries);
        expectRefused(sparse, "does not match the track's length", 2);
    }

    // Not a file at all: a folder, a FIFO (which must not block the loader); a missing file is
    // the usual case for a new track and logs nothing.
    const fs::path folder = dir.path() / "folder.peak";
    fs::create_directory(folder);
    const fs::path fifo = dir.path() / "fifo.peak";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expectRefused(folder, "not a regular file");
    expectRefused(fifo, "not a regular file");
    expectRefused(dir.path() / "missing.peak", nullptr);
}

// One thread fills entries while another reads them and writes the file: every byte a reader
// sees is either "not computed" or its final value, and the file written mid-fill is
// well-formed; the last file reads back 400000 bytes of varied values exactly. Under
// ThreadSanitizer this also proves the accesses race-free.
TEST(peakFileData, ReadersSeeEachByteEitherUnsetOrFinalWhileAWriterFills) {
    constexpr int32_t kCount = 200000;
    const auto r = peakFileData::create(kCount);
    const auto heightOf = [](int32_t i) { return static_cast<uint8_t>(i % 251); };
    const auto flagsOf = [](int32_t i) { return static_cast<uint8_t>(i % 3 == 0 ? 0x41 : 0x00); };
    TempDir dir;
    const fs::path p = dir.path() / "live.peak";

    std::atomic<bool> go{false};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!go.load()) {
        }
        for (int32_t i = 0; i < kCount; ++i) {
            r->setEntry(i, heightOf(i), flagsOf(i));
        }
        done = true;
    });

    int badBytes = 0;
    int passes = 0;
    bool fileOk = true;
    std::vector<uint8_t> copy(static_cast<size_t>(kCount) * 2);
    go = true;
    while (!done.load() || passes < 2) {
        for (int32_t i = 0; i < kCount; ++i) {
            const uint8_t h = r->height(i);
            const uint8_t f = r->flags(i);
            badBytes += h != 0xFF && h != heightOf(i);
            badBytes += f != 0xFF && f != flagsOf(i);
            // Byte 1 is stored before byte 0: a computed height always has its flags.
            badBytes += h != 0xFF && f == 0xFF;
        }
        r->copyEntries(copy.data());
        fileOk = fileOk && peakFileWrite(*r, p) && fs::file_size(p) == 20u + 2u * kCount;
        ++passes;
    }
    writer.join();
    // The last pass may have copied its first entries before the writer reached them: the
    // file is written once more now that every entry is final.
    fileOk = fileOk && peakFileWrite(*r, p);
    EXPECT_EQ(badBytes, 0);
    EXPECT_TRUE(fileOk);
    peakFileData back;
    ASSERT_TRUE(peakFileLoad(back, p));
    for (int32_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(back.height(i), heightOf(i)) << i;
        ASSERT_EQ(back.flags(i), flagsOf(i)) << i;
    }
}

// Two writers of the same file (the decoder and the analysis) never leave a mixed file.
TEST(peakFileData, ConcurrentWritersOfOneFileEachLeaveAWholeFile) {
    TempDir dir;
    const fs::path p = dir.path() / "both.peak";
    const auto a = peakFileData::create(5000);
    const auto b = peakFileData::create(3000);
    for (int i = 0; i < 5000; ++i) {
        a->setEntry(i, 1, 0);
    }
    for (int i = 0; i < 3000; ++i) {
        b->setEntry(i, 2, 0);
    }
    std::atomic<int> failures{0};
    const auto writeMany = [&](peakFileData& rec) {
        for (int k = 0; k < 20; ++k) {
            failures += !peakFileWrite(rec, p);
        }
    };
    std::thread ta(writeMany, std::ref(*a));
    std::thread tb(writeMany, std::ref(*b));
    ta.join();
    tb.join();
    EXPECT_EQ(failures.load(), 0);
    peakFileData back;
    ASSERT_TRUE(peakFileLoad(back, p));
    ASSERT_TRUE(back.count == 5000 || back.count == 3000) << back.count;
    const uint8_t h = back.count == 5000 ? 1 : 2;
    for (int i = 0; i < back.count; ++i) {
        ASSERT_EQ(back.height(i), h) << i;
    }
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1) << "no temporary files left behind";
}

} // namespace
} // namespace vx
