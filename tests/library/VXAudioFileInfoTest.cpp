#include "library/VXAudioFileInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LibraryFixture.h"
#include "library/DBController.h"
#include "library/TrackHash.h"
#include "platform/AudioTags.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::LibraryHome;

// ---- tempo from the file name ---------------------------------------------------------------

// A private home for the tests that read files or keep a database.
class VXAudioFileInfoTest : public ::testing::Test {
protected:
    LibraryHome home;
};

TEST_F(VXAudioFileInfoTest, TempoFromName) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"/m/Track bpm128.mp3", 128},
        {"/m/Track bpm 128,5 remix.mp3", 128.5},
        {"/m/Track bpm_128.mp3", 0},
        {"/m/Mix bpm127,5.m4a", 127.5},
        {"/m/Set bpm128 live.mp3", 128},
        {"/m/My Song BPM124.mp3", 124}, // the path is lower-cased first
        {"/m/Song bpm.mp3", 0},         // nothing numeric after "bpm"
        {"/m/Song bpm", 0},             // "bpm" at the very end
        {"/m/Song bpm1", 0},            // the run must reach the second character
        {"/m/Song bpm12", 12},
        {"/m/x bpm1.5.mp3", 1.5},      // "1.5." reads as 1.5
        {"/m/x bpm 12,3,4.mp3", 12.3}, // only the first comma becomes a point
        {"/m/bpm/x bpm128.mp3", 0},    // only the first "bpm" counts
        {"/m/no tempo here.mp3", 0},
        {"/m/x bpm\t96.mp3", 96}, // leading blanks are skipped
    };
    for (const auto& [path, tempo] : cases) {
        EXPECT_DOUBLE_EQ(VXAudioFileInfo::tempoFromName(path), tempo) << path;
    }
}

TEST_F(VXAudioFileInfoTest, CycleLengthFromTempo) {
    EXPECT_DOUBLE_EQ(VXAudioFileInfo::cycleLenForTempo(120), 22050);
    EXPECT_DOUBLE_EQ(VXAudioFileInfo::cycleLenForTempo(0), 256);
    EXPECT_DOUBLE_EQ(VXAudioFileInfo::cycleLenForTempo(-3), 256);
}

// ---- MP4 tempo atom -------------------------------------------------------------------------

std::string be32(uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    return std::string(bytes, 4);
}

std::string sizedAtom(uint32_t size, const char* type, const std::string& payload) {
    return be32(size) + std::string(type, 4) + payload;
}

std::string atom(const char* type, const std::string& payload) {
    return sizedAtom(static_cast<uint32_t>(8 + payload.size()), type, payload);
}

std::string tempoData(uint16_t value) {
    // data atom: type and flags (21: integer), locale, then the 16-bit big-endian value.
    return atom("data", std::string("\0\0\0\x15", 4) + std::string(4, '\0') +
                            static_cast<char>(value >> 8) + static_cast<char>(value & 0xff));
}

std::string ilst(const std::string& tmpoPayload) {
    return atom("ilst", atom("\xa9nam", atom("data", std::string(8, '\0') + "Night")) +
                            atom("tmpo", tmpoPayload));
}

std::string udta(const std::string& ilstAtom) {
    return atom("udta", atom("meta", std::string(4, '\0') + atom("hdlr", std::string(25, '\0')) +
                                         ilstAtom));
}

std::string moov(const std::string& udtaAtom) {
    return atom("moov", atom("mvhd", std::string(100, '\0')) +
                            atom("trak", atom("tkhd", std::string(84, '\0'))) + udtaAtom);
}

std::string ftyp() {
    return atom("ftyp", "M4A \0\0\0\0M4A mp42");
}

std::string mp4(uint16_t tempo) {
    return ftyp() + atom("mdat", std::string(64, '\x55')) + moov(udta(ilst(tempoData(tempo))));
}

int walk(const std::string& bytes) {
    std::istringstream in(bytes);
    return VXAudioFileInfo::readMP4Tempo(in, bytes.size());
}

TEST_F(VXAudioFileInfoTest, Mp4TempoAtomIsFoundBehindSiblingsFromTheStreamPosition) {
    EXPECT_EQ(walk(mp4(128)), 128);
    EXPECT_EQ(walk(mp4(0)), 0);
    EXPECT_EQ(walk(mp4(255)), 255);
    EXPECT_EQ(walk(mp4(300)), 44); // only the last byte of the value is the tempo
    const std::string prefix = "garbage before the file";
    const std::string file = mp4(126);
    std::istringstream in(prefix + file);
    in.seekg(static_cast<std::streamoff>(prefix.size()));
    EXPECT_EQ(VXAudioFileInfo::readMP4Tempo(in, file.size()), 126);
}

struct AtomCase {
    const char* what;
    std::string bytes;
};

TEST_F(VXAudioFileInfoTest, Mp4TempoAtomMissingOrMalformedEndsTheSearch) {
    const std::string good = moov(udta(ilst(tempoData(120))));
    ASSERT_EQ(walk(good), 120);

    // A udta that claims 16 bytes more than its moov holds; the file goes on after the moov,
    // so only the parent's bound can tell.
    std::string overreaching = moov(udta(ilst(tempoData(120))));
    {
        const size_t udtaAt = overreaching.find("udta") - 4;
        uint32_t size = 0;
        for (int i = 0; i < 4; ++i) {
            size = (size << 8) | static_cast<uint8_t>(overreaching[udtaAt + i]);
        }
        overreaching.replace(udtaAt, 4, be32(size + 16));
        overreaching += atom("free", std::string(16, '\0'));
    }
    // An atom inside udta whose size reaches into the middle of the meta atom.
    const std::string metaAtom = atom(
        "meta", std::string(4, '\0') + atom("hdlr", std::string(25, '\0')) + ilst(tempoData(120)));
    const std::string overlapping = moov(atom("udta", sizedAtom(8 + 12, "xxxx", "") + metaAtom));

    const std::vector<AtomCase> cases = {
        {"empty", ""},
        {"no moov", ftyp() + atom("mdat", "abc")},
        {"no udta", atom("moov", atom("mvhd", std::string(100, '\0')))},
        {"no tmpo", moov(udta(atom("ilst", atom("\xa9nam", atom("data", "x")))))},
        {"tmpo without data first", moov(udta(ilst(atom("name", "x") + tempoData(120))))},
        {"empty data payload", moov(udta(ilst(atom("data", ""))))},
        {"meta without version bytes", moov(atom("udta", atom("meta", "ab")))},
        {"size 0 before moov", sizedAtom(0, "free", "") + good},
        {"size 0 inside udta", moov(atom("udta", sizedAtom(0, "xxxx", "") + metaAtom))},
        {"size below the header", sizedAtom(4, "free", "abcd") + good},
        {"64-bit size marker", sizedAtom(1, "free", std::string(8, '\0')) + good},
        {"size beyond the file", sizedAtom(1u << 30, "free", "") + good},
        {"size 0xffffffff", sizedAtom(0xffffffffu, "moov", "")},
        {"child beyond its parent", overreaching},
        {"sibling overlapping the next", overlapping},
        {"truncated header", good.substr(0, 5)},
        {"truncated inside tmpo", good.substr(0, good.size() - 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(walk(c.bytes), -1) << c.what;
    }
}

// ---- reading a file -------------------------------------------------------------------------

TEST_F(VXAudioFileInfoTest, MissingFileGivesAnEmptyInfo) {
    const auto info = VXAudioFileInfo::initWithFile(home.documents("nothing.mp3"), home.paths());
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->fileName.empty());
    EXPECT_EQ(info->hash, 0u);
    EXPECT_EQ(info->tempo, 0);
    EXPECT_EQ(info->durationSeconds(), 0);
    EXPECT_FALSE(info->title);
    EXPECT_FALSE(info->peakFileExists());
    EXPECT_FALSE(info->tagsRead()); // asking for the length found no file to read
}

TEST_F(VXAudioFileInfoTest, TitleAndTempoFromTheNameOfAnUntaggedFile) {
    struct Case {
        std::string name;
        std::string title;
        double tempo;
    };
    const std::vector<Case> cases = {
        {"My Song bpm124.wav", "My Song", 124},
        {"Song - bpm128.wav", "Song -", 128},
        {"Plain.wav", "Plain", 0},
        {"Imported@n4711.wav", "Imported", 0},
        {"Set bpm_x.wav", "Set", 0},
        {"bpm100.wav", "bpm100", 100}, // the name starts with "bpm": the stem stays whole
    };
    for (const auto& c : cases) {
        const fs::path file = home.documents(c.name);
        ASSERT_TRUE(test::writeTone(file, 0.5));
        const auto info = VXAudioFileInfo::initWithFile(file, home.paths());
        EXPECT_EQ(info->fileName, file);
        EXPECT_EQ(info->hash, trackHash(c.name));
        ASSERT_TRUE(info->title) << c.name;
        EXPECT_EQ(*info->title, c.title) << c.name;
        EXPECT_DOUBLE_EQ(info->tempo, c.tempo) << c.name;
        EXPECT_DOUBLE_EQ(info->cycleLen, VXAudioFileInfo::cycleLenForTempo(c.tempo)) << c.name;
        EXPECT_EQ(info->durationInSamples(), 22050u) << c.name;
        EXPECT_DOUBLE_EQ(info->durationSeconds(), 0.5) << c.name;
        EXPECT_EQ(info->fileSize(), fs::file_size(file)) << c.name;
        EXPECT_EQ(info->playcount, -1); // read from the file, not a row
    }
}

TEST_F(VXAudioFileInfoTest, BuiltInFolderGivesLocationOne) {
    const fs::path builtIn = home.sound("Demo.wav");
    const fs::path lookalike = home.root() / "resources" / "soundtrack" / "Demo.wav";
    fs::create_directories(lookalike.parent_path());
    ASSERT_TRUE(test::writeTone(builtIn, 0.2));
    ASSERT_TRUE(test::writeTone(lookalike, 0.2));
    EXPECT_EQ(VXAudioFileInfo::initWithFile(builtIn, home.paths())->fileGroup, 1);
    EXPECT_EQ(VXAudioFileInfo::initWithFile(lookalike, home.paths())->fileGroup, 0);
}

TEST_F(VXAudioFileInfoTest, PeakFileHeaderIsTheLastTempoSource) {
    const fs::path analysed = home.documents("Analysed.wav");
    ASSERT_TRUE(test::writeTone(analysed, 0.2));
    test::writePeakHeader(home.documents("Analysed.peak"), 126.5, 0.8);
    const auto info = VXAudioFileInfo::initWithFile(analysed, home.paths());
    EXPECT_TRUE(info->peakFileExists());
    EXPECT_EQ(info->peakFilePath(), home.documents("Analysed.peak"));
    EXPECT_DOUBLE_EQ(info->tempo, 126.5);
    EXPECT_DOUBLE_EQ(info->avarageVolume, 0.8);
    EXPECT_DOUBLE_EQ(info->cycleLen, 60.0 * 44100 / 126.5);

    // A tempo in the name wins over the peak file.
    const fs::path named = home.documents("Named bpm100.wav");
    ASSERT_TRUE(test::writeTone(named, 0.2));
    test::writePeakHeader(home.documents("Named bpm100.peak"), 126.5, 0.8);
    const auto namedInfo = VXAudioFileInfo::initWithFile(named, home.paths());
    EXPECT_DOUBLE_EQ(namedInfo->tempo, 100);
    EXPECT_DOUBLE_EQ(namedInfo->avarageVolume, 0);

    // A header cut after the tempo (no gain) leaves the tempo unknown.
    const fs::path shortFile = home.documents("Short.wav");
    ASSERT_TRUE(test::writeTone(shortFile, 0.2));
    std::string header(12, '\0');
    const double bpm = 126;
    std::memcpy(header.data() + 4, &bpm, 8);
    test::writeBytes(home.documents("Short.peak"), header);
    const auto shortInfo = VXAudioFileInfo::initWithFile(shortFile, home.paths());
    EXPECT_TRUE(shortInfo->peakFileExists());
    EXPECT_EQ(shortInfo->tempo, 0);
    EXPECT_DOUBLE_EQ(shortInfo->cycleLen, 256);
}

TEST_F(VXAudioFileInfoTest, UnreadableFileKeepsNameHashAndNameTags) {
    struct Case {
        std::string name;
        std::optional<std::string> title, artist, album;
    };
    const std::vector<Case> cases = {
        {"_Title(Night)_Artist(Sky).mp3", "Night", "Sky", std::nullopt},
        {"_Title(Night)_Artist(Sky)_Album(Blue).mp3", "Night", "Sky", "Blue"},
        {"_Title(Night)_Artist(Sky (Live))_Album(Blue (Deluxe)).m4a", "Night", "Sky (Live)",
         "Blue (Deluxe)"},
        {"_Title(It's)_Artist(O'Brien).mp3", "It's", "O'Brien", std::nullopt},
        {"_Title(Night)_Artist(Sky.mp3", "Night", std::nullopt, std::nullopt},
        {"_Title(Night_Artist(Sky).mp3", std::nullopt, std::nullopt, std::nullopt},
        {"_Title(Night)_Album(Blue).mp3", std::nullopt, std::nullopt, std::nullopt},
        {"Title(Night)_Artist(Sky).mp3", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const fs::path file = home.documents(c.name);
        test::writeBytes(file, "this is not audio at all");
        const auto info = VXAudioFileInfo::initWithFile(file, home.paths());
        EXPECT_EQ(info->fileName, file);
        EXPECT_EQ(info->hash, trackHash(c.name));
        EXPECT_EQ(info->title, c.title) << c.name;
        EXPECT_EQ(info->artist, c.artist) << c.name;
        EXPECT_EQ(info->album, c.album) << c.name;
        EXPECT_DOUBLE_EQ(info->cycleLen, 1) << c.name;
        EXPECT_EQ(info->durationInSamples(), 0u) << c.name;
    }
}

// ---- building from a row --------------------------------------------------------------------

TEST_F(VXAudioFileInfoTest, BuildFromRow) {
    VXAudioFileInfo::Row row = {
        {"id", int64_t{7}},
        {"hash", int64_t{0xfedcba98}},
        {"location", int64_t{0}},
        {"filename", std::string("Rock 'n' Roll.mp3")},
        {"artist", std::string("O'Brien")},
        {"title", std::string("Don't Stop")},
        {"tempo", 120.0},
        {"date_added", 1700000000.5},
        {"lenght", 2.5},
        {"size", int64_t{123456}},
        {"playcount", int64_t{3}},
        {"sort_order", int64_t{30}},
    };
    auto info = VXAudioFileInfo::initWithDictionary(row, home.paths());
    EXPECT_EQ(info->hash, 0xfedcba98u);
    EXPECT_EQ(info->fileGroup, 0);
    EXPECT_EQ(info->fileName, home.documents("Rock 'n' Roll.mp3"));
    EXPECT_EQ(info->artist, "O'Brien");
    EXPECT_EQ(info->title, "Don't Stop");
    EXPECT_FALSE(info->album);
    EXPECT_DOUBLE_EQ(info->tempo, 120);
    EXPECT_DOUBLE_EQ(info->cycleLen, 22050);
    EXPECT_EQ(info->date_added, 1700000000.5);
    EXPECT_DOUBLE_EQ(info->durationSeconds(), 2.5);
    EXPECT_EQ(info->durationInSamples(), 110250u);
    EXPECT_EQ(info->fileSize(), 123456u);
    EXPECT_EQ(info->playcount, 3);
    EXPECT_EQ(info->sortOrder, 30);
    EXPECT_DOUBLE_EQ(info->avarageVolume, 1.0);

    row["location"] = int64_t{1};
    row.erase("playcount");
    row.erase("sort_order");
    info = VXAudioFileInfo::initWithDictionary(row, home.paths());
    EXPECT_EQ(info->fileName, home.sound("Rock 'n' Roll.mp3"));
    EXPECT_EQ(info->playcount, 0);
    EXPECT_EQ(info->sortOrder, 0);

    row["location"] = int64_t{2};
    info = VXAudioFileInfo::initWithDictionary(row, home.paths());
    EXPECT_TRUE(info->fileName.empty());
    EXPECT_EQ(info->fileGroup, 2);
}

// ---- lazy reading ---------------------------------------------------------------------------

VXAudioFileInfo::Row rowFor(const std::string& name, double seconds, int64_t size) {
    return {{"hash", int64_t{trackHash(name)}}, {"location", int64_t{0}}, {"filename", name},
            {"title", std::string("T")},        {"lenght", seconds},      {"size", size}};
}

TEST_F(VXAudioFileInfoTest, LengthOfARowWithoutOneIsReadWhenAsked) {
    // The file does not exist yet when the info is made: a length can only come from reading
    // the file at the time it is asked for.
    const auto info = VXAudioFileInfo::initWithDictionary(rowFor("later.wav", 0, 0), home.paths());
    EXPECT_FALSE(info->tagsRead());
    ASSERT_TRUE(test::writeTone(home.documents("later.wav"), 1.5));
    EXPECT_DOUBLE_EQ(info->durationSeconds(), 1.5);
    EXPECT_EQ(info->durationInSamples(), 66150u);
    EXPECT_EQ(info->fileSize(), fs::file_size(home.documents("later.wav")));
    EXPECT_TRUE(info->tagsRead());
}

// An M4A without a tempo atom, tag or tempo in its name has tempo 0 ("unknown"), never the
// atom reader's "not found".
TEST_F(VXAudioFileInfoTest, AnUntaggedM4aHasTempoZero) {
    const fs::path file = home.documents("untagged.m4a");
    ASSERT_TRUE(test::writeTone(file, 0.5));
    ASSERT_EQ(VXAudioFileInfo::readMP4Tempo(file), -1);
    const auto info = VXAudioFileInfo::initWithFile(file, home.paths());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->tempo, 0);
    // The file reader finds a crafted atom, and nothing in a missing file.
    test::writeBytes(home.documents("crafted.m4a"), mp4(300));
    EXPECT_EQ(VXAudioFileInfo::readMP4Tempo(home.documents("crafted.m4a")), 44);
    EXPECT_EQ(VXAudioFileInfo::readMP4Tempo(home.documents("missing.m4a")), -1);
}

TEST_F(VXAudioFileInfoTest, TagsAreReadOnlyWhenAsked) {
    const fs::path file = home.documents("tagged.m4a");
    ASSERT_TRUE(test::writeTone(file, 0.5));
    const auto tags = readAudioTags(file);
    ASSERT_TRUE(tags);
    ASSERT_FALSE(tags->encoder.empty()); // the M4A muxer names itself

    const auto info =
        VXAudioFileInfo::initWithDictionary(rowFor("tagged.m4a", 3.0, 5), home.paths());
    // Known length and size: nothing is read for them.
    EXPECT_DOUBLE_EQ(info->durationSeconds(), 3.0);
    EXPECT_EQ(info->fileSize(), 5u);
    EXPECT_FALSE(info->tagsRead());

    EXPECT_EQ(info->EncodindApp(), tags->encoder);
    EXPECT_TRUE(info->tagsRead());
    EXPECT_EQ(info->fileSize(), fs::file_size(file)); // refreshed by the reading
    EXPECT_DOUBLE_EQ(info->durationSeconds(), 3.0);   // a known length is kept
    EXPECT_FALSE(info->Comments());
    EXPECT_FALSE(info->Copyright());
}

TEST_F(VXAudioFileInfoTest, LazyFieldsFromSeveralThreads) {
    ASSERT_TRUE(test::writeTone(home.documents("shared.wav"), 0.25));
    const auto info = VXAudioFileInfo::initWithDictionary(rowFor("shared.wav", 0, 0), home.paths());
    std::vector<std::thread> threads;
    std::vector<uint64_t> seen(4);
    for (size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            (void)info->Comments();
            seen[t] = info->durationInSamples();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const uint64_t frames : seen) {
        EXPECT_EQ(frames, 11025u);
    }
}

// ---- tempo changes --------------------------------------------------------------------------

TEST_F(VXAudioFileInfoTest, UpdateBpmStoresTheTempoOfAUserTrackOnly) {
    auto db = DBController::init(home.paths());
    ASSERT_TRUE(db);
    auto info = test::makeInfo(home.paths(), "Tap.mp3", "Tap", "", "", 120);
    db->addFileToDB(*info, 0);
    db->addToCrate(3, *info);
    const auto storedTempo = [&] {
        const auto row = test::findByHash(db->getListForGroup(0), info->hash);
        return row ? row->tempo : -1.0;
    };

    info->updateBPM(128.5, *db);
    EXPECT_DOUBLE_EQ(info->tempo, 128.5);
    EXPECT_DOUBLE_EQ(info->cycleLen, 60.0 * 44100 / 128.5);
    EXPECT_DOUBLE_EQ(storedTempo(), 128.5);
    EXPECT_EQ(info->crateSortOrder[3], 10); // refreshed from the database

    // The same tempo again writes nothing: a value changed behind the info stays.
    db->updateTempo(99.0f, info->hash, 0);
    info->updateBPM(128.5, *db);
    EXPECT_DOUBLE_EQ(storedTempo(), 99.0);

    // A built-in track keeps its tempo, in the info and in its row.
    auto demo = test::makeInfo(home.paths(), "Demo.mp3", "Demo", "", "", 124, 1);
    db->addFileToDB(*demo, 1);
    demo->updateBPM(90, *db);
    EXPECT_DOUBLE_EQ(demo->tempo, 124);
    EXPECT_DOUBLE_EQ(demo->cycleLen, 60.0 * 44100 / 124);
    db->setResultSortOrder(0);
    const auto list = db->getListForGroup(1);
    ASSERT_TRUE(list);
    EXPECT_DOUBLE_EQ(list->front()->tempo, 124);
}

} // namespace
} // namespace vx
