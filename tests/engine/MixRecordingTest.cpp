// Recording the mix: the file holds exactly what was rendered (float and 16-bit output), the
// record calls' states, and losses that are counted and logged rather than silent.

#include "EngineFixture.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"

#include "engine/MixRecordWriter.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::Engine;

// The recording equals the output sample for sample, for both output formats, over buffers of
// an awkward size, with a sine on each deck and the master gain below full.
TEST(MixRecording, TheFileHoldsExactlyWhatWasRendered) {
    for (SampleFormat format :
         {SampleFormat::Float32NonInterleaved, SampleFormat::Int16Interleaved}) {
        SCOPED_TRACE(int(format));
        Engine e(333, format);
        ASSERT_TRUE(e.ok);
        test::loadGenerated(e.out.deck(0), 200000, test::sine(440.0, 0.6f));
        test::loadGenerated(e.out.deck(1), 200000, test::sine(97.0, 0.7f));
        e.playPlain(0);
        e.playPlain(1);
        e.out.setGain(0.8f);
        test::TempDir dir;
        const fs::path file = AudioOut::recordFileName(dir.path(), 0);
        EXPECT_EQ(file.filename(), "VXNexa_0000.wav");
        e.out.setRecordWaitsWhenFull(true);
        ASSERT_TRUE(e.out.PrepareRecordFor(file));
        ASSERT_TRUE(e.out.startRecord());
        EXPECT_FALSE(e.out.PrepareRecordFor(dir.path() / "other.wav")); // not while recording
        const std::vector<float> rendered = e.render(44100 * 3 + 17);
        ASSERT_TRUE(e.out.abortRecord());
        EXPECT_FALSE(e.out.isRecording());
        EXPECT_FALSE(e.out.recordFileOpen());
        e.render(1000); // after the end: not recorded

        const test::DecodedFile wav = test::decodeFile(file);
        EXPECT_EQ(wav.format.channels, 2);
        EXPECT_EQ(wav.format.sampleRate, 44100);
        EXPECT_EQ(wav.format.codec,
                  format == SampleFormat::Int16Interleaved ? "pcm_s16le" : "pcm_f32le");
        const std::vector<float>& recorded = wav.samples;
        ASSERT_EQ(recorded.size(), rendered.size());
        size_t differing = 0;
        for (size_t i = 0; i < rendered.size(); ++i) {
            differing += recorded[i] != rendered[i] ? 1 : 0;
        }
        EXPECT_EQ(differing, 0u);
        // Something was playing: the comparison is not between two silences.
        float peak = 0.0f;
        for (float v : recorded) {
            peak = std::max(peak, std::fabs(v));
        }
        EXPECT_GT(peak, 0.3f);
    }
}

TEST(MixRecording, CallsOutOfOrderAreRefusedOrHarmless) {
    Engine e(256);
    test::TempDir dir;
    // abortRecord with nothing open: YES, and nothing changes.
    e.out.setRecordFile(dir.path() / "kept.wav");
    EXPECT_TRUE(e.out.abortRecord());
    EXPECT_EQ(e.out.recordFile(), dir.path() / "kept.wav");
    EXPECT_FALSE(fs::exists(dir.path() / "kept.wav"));
    // startRecord without a prepared file: NO, and nothing is recorded.
    EXPECT_FALSE(e.out.startRecord());
    EXPECT_FALSE(e.out.isRecording());
    // A file that cannot be created.
    EXPECT_FALSE(e.out.PrepareRecordFor(dir.path() / "no-such-folder" / "x.wav"));
    EXPECT_FALSE(e.out.recordFileOpen());
    // Preparing twice: the second call fails and closes the first file.
    ASSERT_TRUE(e.out.PrepareRecordFor(dir.path() / "a.wav"));
    EXPECT_FALSE(e.out.PrepareRecordFor(dir.path() / "b.wav"));
    EXPECT_FALSE(e.out.recordFileOpen());
    EXPECT_FALSE(e.out.startRecord());
    EXPECT_FALSE(fs::exists(dir.path() / "b.wav"));
    // A prepared file that is never started holds a header and no audio (float output: the
    // 58-byte header with its "fact" chunk).
    ASSERT_TRUE(e.out.PrepareRecordFor(dir.path() / "c.wav"));
    e.render(2048);
    EXPECT_TRUE(e.out.abortRecord());
    EXPECT_EQ(fs::file_size(dir.path() / "c.wav"), 58u);
}

// A ring without room drops whole buffers, counts their frames and the writer logs the loss;
// the frames that did fit reach the file in order.
TEST(MixRecording, OverflowIsCountedAndLogged) {
    test::TempDir dir;
    MixRecordWriter::Options options;
    options.ringFrames = 1000;
    options.startWriterThread = false;
    std::string error;
    auto writer = MixRecordWriter::create(dir.path() / "lossy.wav", options, &error);
    ASSERT_TRUE(writer) << error;
    std::vector<float> buffer(2 * 400);
    AudioBufferList list;
    list.count = 1;
    for (int b = 0; b < 4; ++b) {
        std::fill(buffer.begin(), buffer.end(), 0.1f * float(b + 1));
        list.buffers[0] = {buffer.data(), 2, 400u * 8u};
        writer->writeBuffer(list, 400);
    }
    EXPECT_EQ(writer->droppedFrames(), 800u); // buffers 3 and 4 had no room
    LogCapture capture;
    writer->startWriter();
    EXPECT_FALSE(writer->close()); // incomplete
    EXPECT_TRUE(capture.contains("lost 800 frames"));
    EXPECT_EQ(writer->writtenFrames(), 800u);
    const std::vector<float> recorded = test::decodeFile(dir.path() / "lossy.wav").samples;
    ASSERT_EQ(recorded.size(), 2u * 800u);
    EXPECT_EQ(recorded[0], 0.1f);
    EXPECT_EQ(recorded[2 * 799], 0.2f);
}

// While recording, the header is brought up to date every few seconds: a copy of the file taken
// mid-recording (as a killed process would leave it) is a valid WAVE file.
TEST(MixRecording, TheHeaderFollowsTheDataWhileRecording) {
    test::TempDir dir;
    MixRecordWriter::Options options;
    options.headerSeconds = 0.0; // every pass of the writer
    std::string error;
    auto writer = MixRecordWriter::create(dir.path() / "live.wav", options, &error);
    ASSERT_TRUE(writer) << error;
    std::vector<float> buffer(2 * 512, 0.25f);
    AudioBufferList list;
    list.count = 1;
    list.buffers[0] = {buffer.data(), 2, 512u * 8u};
    for (int b = 0; b < 20; ++b) {
        writer->writeBuffer(list, 512);
    }
    // Wait (at most 10 s) for the writer to have put every frame in the file and a header on it.
    int64_t frames = 0;
    for (int i = 0; i < 1000 && frames != 20 * 512; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        fs::copy_file(dir.path() / "live.wav", dir.path() / "copy.wav",
                      fs::copy_options::overwrite_existing);
        std::string openError;
        auto reader = AudioFileReader::open(dir.path() / "copy.wav",
                                            AudioFileReader::Client::Stereo44100, &openError);
        frames = reader ? reader->lengthFrames() : -1;
    }
    EXPECT_EQ(frames, 20 * 512);
    EXPECT_TRUE(writer->close());
}

} // namespace
} // namespace vx
