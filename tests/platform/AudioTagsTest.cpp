#include "platform/AudioTags.h"

#include "platform/EncodeFixture.h"

#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/xiphcomment.h>

#include <gtest/gtest.h>

namespace vx {
namespace {

namespace fs = std::filesystem;
using fixture::Codec;

constexpr int64_t kFrames = 2 * 44100; // two seconds

fs::path makeFile(const fixture::TempDir& dir, const std::string& name, Codec codec) {
    const fs::path path = dir.file(name);
    std::string error;
    EXPECT_TRUE(
        fixture::encode(path, codec, fixture::sine(kFrames, 44100, 2, 440, 0.3f), 44100, 2, &error))
        << error;
    return path;
}

// Replaces every frame `id` of the tag with one text frame.
void setText(TagLib::ID3v2::Tag* tag, const char* id, const std::string& text) {
    tag->removeFrames(id);
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
    frame->setText(TagLib::String(text, TagLib::String::UTF8));
    tag->addFrame(frame);
}

fs::path mp3WithTempo(const fixture::TempDir& dir, const std::string& name,
                      const std::string& bpm) {
    const fs::path path = makeFile(dir, name, Codec::Mp3Cbr);
    TagLib::MPEG::File file(path.c_str());
    setText(file.ID3v2Tag(true), "TBPM", bpm);
    EXPECT_TRUE(file.save());
    return path;
}

// The tags read from `path` are `want` (artist, title, album, comments, encoder, copyright,
// tempo), the duration that of the two seconds written.
void expectTags(const fs::path& path, const AudioTags& want, double durationTolerance = 0.05) {
    const auto tags = readAudioTags(path);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->title, want.title);
    EXPECT_EQ(tags->artist, want.artist);
    EXPECT_EQ(tags->album, want.album);
    EXPECT_EQ(tags->comments, want.comments);
    EXPECT_EQ(tags->encoder, want.encoder);
    EXPECT_EQ(tags->copyright, want.copyright);
    EXPECT_DOUBLE_EQ(tags->tempo, want.tempo);
    EXPECT_NEAR(tags->durationSeconds, 2.0, durationTolerance);
}

// Each test writes into its own temp folder.
class AudioTagsTest : public ::testing::Test {
protected:
    fixture::TempDir dir;
};

TEST_F(AudioTagsTest, ReadsId3v2TextFramesAndTheTbpmTempo) {
    const fs::path path = makeFile(dir, "tagged.mp3", Codec::Mp3Cbr);
    {
        TagLib::MPEG::File file(path.c_str());
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        tag->setTitle(TagLib::String("Café – Nuit", TagLib::String::UTF8));
        tag->setArtist("The Testers");
        tag->setAlbum("Generated Signals");
        tag->setComment("a sine at 440 Hz");
        setText(tag, "TBPM", "128");
        setText(tag, "TSSE", "Sine Maker 2.1");
        setText(tag, "TCOP", "2024 Nobody");
        ASSERT_TRUE(file.save());
    }
    expectTags(path, {"The Testers", "Café – Nuit", "Generated Signals", "a sine at 440 Hz",
                      "Sine Maker 2.1", "2024 Nobody", 128.0});
}

TEST_F(AudioTagsTest, TempoTextIsReadAsANumberOrNothing) {
    const struct {
        const char* text;
        double tempo;
    } cases[] = {{"126.5", 126.5}, {"126,5", 126.5}, {" 90", 90.0},
                 {"abc", 0.0},     {"-5", 0.0},      {"", 0.0}};
    int n = 0;
    for (const auto& c : cases) {
        const auto tags =
            readAudioTags(mp3WithTempo(dir, "t" + std::to_string(n++) + ".mp3", c.text));
        ASSERT_TRUE(tags);
        EXPECT_DOUBLE_EQ(tags->tempo, c.tempo) << "'" << c.text << "'";
    }
}

TEST_F(AudioTagsTest, ReadsMp4ItemsAndTheTmpoAtom) {
    const fs::path path = makeFile(dir, "tagged.m4a", Codec::AacM4a);
    {
        TagLib::MP4::File file(path.c_str());
        TagLib::MP4::Tag* tag = file.tag();
        ASSERT_TRUE(tag);
        tag->setTitle("Loop Study");
        tag->setArtist("Sine Ensemble");
        tag->setAlbum("Tones");
        tag->setComment("m4a comment");
        tag->setItem("tmpo", TagLib::MP4::Item(124));
        tag->setItem("\251too", TagLib::MP4::Item(TagLib::StringList("Tone Encoder 3")));
        tag->setItem("cprt", TagLib::MP4::Item(TagLib::StringList("CC0")));
        ASSERT_TRUE(file.save());
    }
    expectTags(path, {"Sine Ensemble", "Loop Study", "Tones", "m4a comment", "Tone Encoder 3",
                      "CC0", 124.0});
}

TEST_F(AudioTagsTest, ReadsABpmCommentFromOtherFormats) {
    const fs::path path = makeFile(dir, "tagged.flac", Codec::Flac);
    {
        TagLib::FLAC::File file(path.c_str());
        TagLib::Ogg::XiphComment* comment = file.xiphComment(true);
        comment->addField("BPM", "133");
        comment->addField("TITLE", "Vorbis Title");
        comment->addField("ENCODER", "flac test");
        ASSERT_TRUE(file.save());
    }
    expectTags(path, {"", "Vorbis Title", "", "", "flac test", "", 133.0});
}

TEST_F(AudioTagsTest, UntaggedFileHasEmptyTagsAndItsDuration) {
    expectTags(makeFile(dir, "plain.wav", Codec::WavInt16), {}, 0.01);
}

TEST_F(AudioTagsTest, FilesThatAreNotAudioHaveNoTags) {
    ASSERT_TRUE(fixture::writeBytes(dir.file("text.mp3"), std::string(5000, 'a')));
    ASSERT_TRUE(fixture::writeBytes(dir.file("text.m4a"), std::string(5000, 'a')));
    ASSERT_TRUE(fixture::writeBytes(dir.file("notes.txt"), "hello"));
    ASSERT_TRUE(fixture::writeBytes(dir.file("empty.mp3"), ""));
    for (const char* name : {"text.mp3", "text.m4a", "notes.txt", "empty.mp3", "missing.mp3"}) {
        EXPECT_FALSE(readAudioTags(dir.file(name))) << name;
    }
    EXPECT_FALSE(readAudioTags(dir.path()));
}

} // namespace
} // namespace vx
