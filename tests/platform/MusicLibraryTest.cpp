#include "platform/MusicLibrary.h"

#include "platform/EncodeFixture.h"
#include "platform/UserDefaults.h"

#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vx {
namespace {

namespace fs = std::filesystem;
using fixture::Codec;

// Writes one second of a tone as `codec` to `path` and tags it (the tempo as TBPM for MP3,
// "tmpo" for M4A, the BPM comment otherwise; none when 0).
void makeTrack(const fs::path& path, Codec codec, const std::string& title,
               const std::string& artist, int tempo) {
    fs::create_directories(path.parent_path());
    const int rate = codec == Codec::OggOpus ? 48000 : 44100;
    std::string error;
    ASSERT_TRUE(
        fixture::encode(path, codec, fixture::sine(rate, rate, 2, 440, 0.3f), rate, 2, &error))
        << error;
    if (codec == Codec::Mp3Cbr) {
        TagLib::MPEG::File file(path.c_str());
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        tag->setTitle(TagLib::String(title, TagLib::String::UTF8));
        tag->setArtist(TagLib::String(artist, TagLib::String::UTF8));
        if (tempo > 0) {
            auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TBPM", TagLib::String::UTF8);
            frame->setText(TagLib::String(std::to_string(tempo)));
            tag->addFrame(frame);
        }
        ASSERT_TRUE(file.save());
    } else if (codec == Codec::AacM4a) {
        TagLib::MP4::File file(path.c_str());
        file.tag()->setTitle(TagLib::String(title, TagLib::String::UTF8));
        file.tag()->setArtist(TagLib::String(artist, TagLib::String::UTF8));
        if (tempo > 0) {
            file.tag()->setItem("tmpo", TagLib::MP4::Item(tempo));
        }
        ASSERT_TRUE(file.save());
    } else {
        TagLib::FileRef file(path.c_str());
        ASSERT_FALSE(file.isNull());
        TagLib::PropertyMap properties = file.file()->properties();
        properties.replace("TITLE", TagLib::String(title, TagLib::String::UTF8));
        properties.replace("ARTIST", TagLib::String(artist, TagLib::String::UTF8));
        if (tempo > 0) {
            properties.replace("BPM", TagLib::String(std::to_string(tempo)));
        }
        file.file()->setProperties(properties);
        ASSERT_TRUE(file.save());
    }
}

TEST(MusicLibraryTest, XdgMusicFolderFromUserDirs) {
    fixture::TempDir dir;
    const fs::path home = dir.path() / "home";
    const fs::path config = home / ".config";
    fs::create_directories(config);
    struct Case {
        const char* file; // user-dirs.dirs content; nullptr: no file
        fs::path expected;
    };
    const std::vector<Case> cases = {
        {nullptr, home / "Music"},
        {"XDG_MUSIC_DIR=\"$HOME/Tunes\"\n", home / "Tunes"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_MUSIC_DIR=\"/srv/music\"\n",
         "/srv/music"},
        {"XDG_MUSIC_DIR=\"$HOME/\"\n", home / "Music"}, // the home itself: unset
        {"XDG_MUSIC_DIR=\"$HOME\"\n", home / "Music"},
        {"#XDG_MUSIC_DIR=\"$HOME/Commented\"\n", home / "Music"},
        {"XDG_MUSIC_DIR=$HOME/Unquoted\n", home / "Music"},
        {"XDG_MUSIC_DIR=\"relative/x\"\n", home / "Music"},
        {"XDG_MUSIC_DIRS=\"$HOME/Other\"\n", home / "Music"},
        {"XDG_MUSIC_DIR=\"$HOMEWORK/x\"\n", home / "Music"},
        {"XDG_MUSIC_DIR=\"$HOME/My \\\"Music\\\"\"\n", home / "My \"Music\""},
        {"XDG_MUSIC_DIR=\"$HOME/First\"\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", home / "Musik"},
        {"XDG_MUSIC_DIR = \"$HOME/Музыка\"\n", home / "Музыка"},
    };
    for (const Case& c : cases) {
        fs::remove(config / "user-dirs.dirs");
        if (c.file) {
            std::ofstream(config / "user-dirs.dirs") << c.file;
        }
        EXPECT_EQ(MusicLibrary::xdgMusicFolder(home, config), c.expected)
            << (c.file ? c.file : "(no file)");
    }
}

TEST(MusicLibraryTest, ChosenFolderInTheSettingsWins) {
    fixture::TempDir dir;
    UserDefaults defaults(dir.file("settings.json"));
    EXPECT_EQ(MusicLibrary::musicFolder(defaults), MusicLibrary::defaultMusicFolder());
    MusicLibrary::setMusicFolder(defaults, dir.path() / "Chosen" / ".." / "Chosen");
    EXPECT_EQ(MusicLibrary::musicFolder(defaults), dir.path() / "Chosen");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(MusicLibrary::musicFolder(UserDefaults(dir.file("settings.json"))),
              dir.path() / "Chosen");
    MusicLibrary::setMusicFolder(defaults, "");
    EXPECT_EQ(MusicLibrary::musicFolder(defaults), MusicLibrary::defaultMusicFolder());
}

// A folder as collections are: nested folders, five kinds of track, tags with and without a
// tempo, names in several scripts, and files that are no tracks.
TEST(MusicLibraryTest, ScanFindsEveryTrackWithItsTagsAndSkipsTheRest) {
    fixture::TempDir dir;
    const fs::path music = dir.path() / "Music";
    makeTrack(music / "Artist A" / "Album 1" / "01 Intro.mp3", Codec::Mp3Cbr, "Intro", "A", 128);
    makeTrack(music / "Artist A" / "Album 1" / "02 Пульс.m4a", Codec::AacM4a, "Пульс", "Ансамбль",
              124);
    makeTrack(music / "日本" / "夜明け.flac", Codec::Flac, "夜明け", "歌手", 126);
    makeTrack(music / "Ogg" / "Ψυχή.ogg", Codec::OggVorbis, "Ψυχή", "Καλλιτέχνης", 0);
    makeTrack(music / "Ogg" / "موسيقى.opus", Codec::OggOpus, "", "فنان", 0);
    makeTrack(music / ".hidden" / "secret.mp3", Codec::Mp3Cbr, "Secret", "", 0);
    ASSERT_TRUE(fixture::writeBytes(music / "empty.mp3", ""));
    ASSERT_TRUE(fixture::writeBytes(music / "noise.flac", std::string(4096, '\x5a')));
    ASSERT_TRUE(fixture::writeBytes(music / "cover.jpg", "\xff\xd8\xff"));
    ASSERT_TRUE(fixture::writeBytes(music / "notes.txt", "liner notes"));
    ASSERT_TRUE(fixture::writeBytes(music / "sample.wav", "RIFF"));
    fs::create_directories(music / "folder.mp3");
    ASSERT_EQ(::mkfifo((music / "pipe.mp3").c_str(), 0600), 0);
    fs::create_symlink(music / "gone.mp3", music / "dangling.mp3");

    const MusicLibrary library(music);
    const std::vector<MusicLibraryItem> items = library.items();
    struct Want {
        fs::path relative;
        std::string title, artist;
        double tempo;
        std::string problem;
    };
    const std::vector<Want> want = {
        {"Artist A/Album 1/01 Intro.mp3", "Intro", "A", 128, ""},
        {"Artist A/Album 1/02 Пульс.m4a", "Пульс", "Ансамбль", 124, ""},
        {"Ogg/Ψυχή.ogg", "Ψυχή", "Καλλιτέχνης", 0, ""},
        {"Ogg/موسيقى.opus", "موسيقى", "فنان", 0, ""}, // no title tag: the file's stem
        {"empty.mp3", "empty", "", 0, "empty file (0 bytes)"},
        {"noise.flac", "noise", "", 0, "not an audio file"},
        {"日本/夜明け.flac", "夜明け", "歌手", 126, ""},
    };
    ASSERT_EQ(items.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const MusicLibraryItem& item = items[i];
        EXPECT_EQ(item.file, music / want[i].relative);
        EXPECT_EQ(item.title, want[i].title) << item.file;
        EXPECT_EQ(item.artist, want[i].artist) << item.file;
        EXPECT_DOUBLE_EQ(item.tempo, want[i].tempo) << item.file;
        EXPECT_EQ(item.problem, want[i].problem) << item.file;
        EXPECT_EQ(item.size, fs::file_size(item.file));
        if (item.problem.empty()) {
            EXPECT_NEAR(item.durationSeconds, 1.0, 0.1) << item.file;
        }
    }
}

// The id depends on the path inside the music folder only: the same collection mounted
// elsewhere, or scanned again, keeps its ids; another path gives another id.
TEST(MusicLibraryTest, PersistentIdsAreStableAndRelativeToTheFolder) {
    fixture::TempDir dir;
    makeTrack(dir.path() / "One" / "a" / "Song.mp3", Codec::Mp3Cbr, "Song", "", 0);
    makeTrack(dir.path() / "One" / "b" / "Song.mp3", Codec::Mp3Cbr, "Song", "", 0);
    fs::copy(dir.path() / "One", dir.path() / "Two", fs::copy_options::recursive);
    const auto first = MusicLibrary(dir.path() / "One").items();
    const auto again = MusicLibrary(dir.path() / "One" / "." / "").items();
    const auto moved = MusicLibrary(dir.path() / "Two").items();
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(again.size(), 2u);
    ASSERT_EQ(moved.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(first[i].persistentID, again[i].persistentID);
        EXPECT_EQ(first[i].persistentID, moved[i].persistentID);
        EXPECT_EQ(first[i].pid(), std::to_string(first[i].persistentID & 0xffffffffu));
    }
    EXPECT_NE(first[0].persistentID, first[1].persistentID);
    // FNV-1a 64 of "a/Song.mp3", worked out by hand from its definition.
    EXPECT_EQ(first[0].persistentID, 0xbe17d075cd30bf44ull);
}

TEST(MusicLibraryTest, UnreadableFileIsAnItemWithAProblem) {
    fixture::TempDir dir;
    makeTrack(dir.path() / "locked.mp3", Codec::Mp3Cbr, "Locked", "", 0);
    const MusicLibrary library(dir.path());
    EXPECT_EQ(library.itemForFile(dir.path() / "missing.mp3").problem, "No such file or directory");
    if (::geteuid() != 0) { // root reads anything
        fs::permissions(dir.path() / "locked.mp3", fs::perms::none);
        EXPECT_EQ(library.itemForFile(dir.path() / "locked.mp3").problem, "Permission denied");
    }
}

TEST(MusicLibraryTest, CopyIsExactAndCountsItsBytes) {
    fixture::TempDir dir;
    std::string bytes(3 * MusicLibrary::kCopyChunk + 123, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = char(i * 7 + i / 251);
    }
    ASSERT_TRUE(fixture::writeBytes(dir.file("source.mp3"), bytes));
    std::atomic<uint64_t> done{0};
    std::atomic<bool> cancel{false};
    std::string error;
    ASSERT_TRUE(MusicLibrary::copyWithProgress(dir.file("source.mp3"), dir.file("copy.mp3"), done,
                                               cancel, &error))
        << error;
    EXPECT_EQ(fixture::readBytes(dir.file("copy.mp3")), bytes);
    EXPECT_EQ(done.load(), bytes.size());

    // An existing destination is never written over.
    ASSERT_TRUE(fixture::writeBytes(dir.file("taken.mp3"), "keep"));
    EXPECT_FALSE(MusicLibrary::copyWithProgress(dir.file("source.mp3"), dir.file("taken.mp3"), done,
                                                cancel, &error));
    EXPECT_EQ(fixture::readBytes(dir.file("taken.mp3")), "keep");

    // A cancelled copy leaves nothing.
    cancel = true;
    EXPECT_FALSE(MusicLibrary::copyWithProgress(dir.file("source.mp3"), dir.file("cut.mp3"), done,
                                                cancel, &error));
    EXPECT_EQ(error, "cancelled");
    EXPECT_FALSE(fs::exists(dir.file("cut.mp3")));
}

} // namespace
} // namespace vx
