#include "platform/AudioFileWriter.h"

#include "platform/AudioFileReader.h"
#include "platform/EncodeFixture.h"
#include "support/DecodedFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace vx {
namespace {

namespace fs = std::filesystem;
using Format = AudioFileWriter::Format;
using Client = AudioFileReader::Client;

uint32_t le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

uint16_t le16(const std::string& b, size_t at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

// Noise over -2..2: float WAVE keeps values beyond full scale.
std::vector<float> wideNoise(int64_t frames, int channels) {
    std::vector<float> s(size_t(frames * channels));
    uint32_t x = 17;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = float(int32_t(x)) / 1073741824.0f;
    }
    return s;
}

// Writes interleaved `samples` in one call and closes the file.
void writeWhole(const fs::path& path, Format format, int rate, int channels,
                const std::vector<float>& samples) {
    std::string error;
    auto writer = AudioFileWriter::create(path, format, rate, channels, &error);
    ASSERT_TRUE(writer) << error;
    ASSERT_TRUE(writer->write(samples.data(), int64_t(samples.size()) / channels));
    ASSERT_TRUE(writer->close()) << writer->error();
}

// Each test writes into its own temp folder.
class AudioFileWriterTest : public ::testing::Test {
protected:
    fixture::TempDir dir;
};

TEST_F(AudioFileWriterTest, FloatWavHasAnExactHeaderAndKeepsEverySample) {
    const fs::path path = dir.file("float.wav");
    const std::vector<float> samples = wideNoise(30011, 2);
    std::string error;
    auto writer = AudioFileWriter::create(path, Format::WavFloat32, 44100, 2, &error);
    ASSERT_TRUE(writer) << error;
    // Three writes of different sizes.
    ASSERT_TRUE(writer->write(samples.data(), 1));
    ASSERT_TRUE(writer->write(samples.data() + 2, 10000));
    ASSERT_TRUE(writer->write(samples.data() + 20002, 20010));
    EXPECT_EQ(writer->framesWritten(), 30011);
    ASSERT_TRUE(writer->close());
    EXPECT_EQ(writer->error(), "");

    const std::string b = fixture::readBytes(path);
    ASSERT_EQ(b.size(), 58u + 30011u * 8u);
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 18u);     // fmt size with the cbSize field
    EXPECT_EQ(le16(b, 20), 3);       // WAVE_FORMAT_IEEE_FLOAT
    EXPECT_EQ(le16(b, 22), 2);       // channels
    EXPECT_EQ(le32(b, 24), 44100u);  // rate
    EXPECT_EQ(le32(b, 28), 352800u); // bytes per second
    EXPECT_EQ(le16(b, 32), 8);       // block align
    EXPECT_EQ(le16(b, 34), 32);      // bits
    EXPECT_EQ(le16(b, 36), 0);       // cbSize
    EXPECT_EQ(b.substr(38, 4), "fact");
    EXPECT_EQ(le32(b, 42), 4u);
    EXPECT_EQ(le32(b, 46), 30011u); // frames
    EXPECT_EQ(b.substr(50, 4), "data");
    EXPECT_EQ(le32(b, 54), 30011u * 8u);

    const auto [format, channels, back] = test::decodeFile(path);
    EXPECT_EQ(format.codec, "pcm_f32le");
    ASSERT_EQ(back.size(), samples.size());
    EXPECT_EQ(std::memcmp(back.data(), samples.data(), samples.size() * sizeof(float)), 0);
}

TEST_F(AudioFileWriterTest, Int16WavClipsAndRoundsToTheNearestStep) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float in;
        int16_t out;
    } cases[] = {
        {0.0f, 0},
        {1.0f, 32767}, // full scale clips to the largest step
        {-1.0f, -32768},
        {1.5f, 32767},
        {-3.0f, -32768},
        {0.5f, 16384},
        {-0.25f, -8192},
        {1.4f / 32768, 1},
        {1.6f / 32768, 2},
        {-1.6f / 32768, -2},
        {2.5f / 32768, 3}, // halves round away from zero
        {-2.5f / 32768, -3},
        {32766.6f / 32768, 32767},
        {1e-6f, 0},
        {nan, 0},
        {std::numeric_limits<float>::infinity(), 32767},
    };
    std::vector<float> in;
    for (const auto& c : cases) {
        in.push_back(c.in);
    }
    const fs::path path = dir.file("s16.wav");
    writeWhole(path, Format::WavInt16, 44100, 1, in);

    const std::string b = fixture::readBytes(path);
    ASSERT_EQ(b.size(), 44u + 2u * in.size());
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 16), 16u); // plain PCM fmt chunk
    EXPECT_EQ(le16(b, 20), 1);   // WAVE_FORMAT_PCM
    EXPECT_EQ(le16(b, 22), 1);
    EXPECT_EQ(le32(b, 28), 88200u);
    EXPECT_EQ(le16(b, 32), 2);
    EXPECT_EQ(le16(b, 34), 16);
    EXPECT_EQ(b.substr(36, 4), "data");
    EXPECT_EQ(le32(b, 40), 2u * in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(int16_t(le16(b, 44 + 2 * i)), cases[i].out) << "input " << cases[i].in;
    }
    // FFmpeg reads the steps back as step / 32768.
    const std::vector<float> back = test::decodeFile(path).samples;
    ASSERT_EQ(back.size(), 2 * in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(back[2 * i], float(cases[i].out) / 32768.0f) << "input " << cases[i].in;
    }
}

TEST_F(AudioFileWriterTest, RateAndChannelsGoIntoTheHeader) {
    const struct {
        Format format;
        int rate;
        int channels;
        uint32_t bytesPerFrame;
    } cases[] = {
        {Format::WavInt16, 48000, 1, 2},
        {Format::WavInt16, 22050, 2, 4},
        {Format::WavFloat32, 96000, 1, 4},
        {Format::WavFloat32, 8000, 2, 8},
    };
    for (const auto& c : cases) {
        const fs::path path = dir.file("h.wav");
        writeWhole(path, c.format, c.rate, c.channels,
                   fixture::sine(1234, c.rate, c.channels, 440, 0.5f));
        const std::string b = fixture::readBytes(path);
        EXPECT_EQ(le16(b, 22), c.channels);
        EXPECT_EQ(le32(b, 24), uint32_t(c.rate));
        EXPECT_EQ(le32(b, 28), uint32_t(c.rate) * c.bytesPerFrame);
        EXPECT_EQ(le16(b, 32), c.bytesPerFrame);

        std::string openError;
        auto reader = AudioFileReader::open(path, Client::MonoNative, &openError);
        ASSERT_TRUE(reader) << openError;
        EXPECT_EQ(reader->fileFormat().sampleRate, c.rate);
        EXPECT_EQ(reader->fileFormat().channels, c.channels);
        EXPECT_EQ(reader->lengthFrames(), 1234);
    }
}

TEST_F(AudioFileWriterTest, DestructorFinishesTheFile) {
    const fs::path path = dir.file("scoped.wav");
    const std::vector<float> s = fixture::sine(5000, 44100, 2, 440, 0.5f);
    {
        std::string error;
        auto writer = AudioFileWriter::create(path, Format::WavFloat32, 44100, 2, &error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->write(s.data(), 5000));
    }
    const std::string b = fixture::readBytes(path);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 46), 5000u);
    EXPECT_EQ(le32(b, 54), 40000u);
    EXPECT_EQ(test::decodeFile(path).samples, s);
}

TEST_F(AudioFileWriterTest, ClosedWriterRefusesWritesAndKeepsItsResult) {
    std::string error;
    auto writer = AudioFileWriter::create(dir.file("c.wav"), Format::WavInt16, 44100, 2, &error);
    ASSERT_TRUE(writer) << error;
    const std::vector<float> s(200, 0.25f);
    ASSERT_TRUE(writer->write(s.data(), 100));
    EXPECT_TRUE(writer->close());
    EXPECT_TRUE(writer->close());
    EXPECT_FALSE(writer->write(s.data(), 100));
    EXPECT_EQ(writer->framesWritten(), 100);
    EXPECT_EQ(fs::file_size(dir.file("c.wav")), 44u + 400u);
}

TEST_F(AudioFileWriterTest, ReplacesAnExistingFile) {
    const fs::path path = dir.file("old.wav");
    ASSERT_TRUE(fixture::writeBytes(path, std::string(100000, 'x')));
    writeWhole(path, Format::WavFloat32, 44100, 2, std::vector<float>(20, 0.5f));
    EXPECT_EQ(fs::file_size(path), 58u + 80u);
}

TEST_F(AudioFileWriterTest, BadArgumentsAndUnwritablePathsFail) {
    const fs::path nowhere = dir.file("no/such/folder/x.wav");
    for (Format format : {Format::WavFloat32, Format::WavInt16, Format::M4aAac}) {
        const struct {
            fs::path path;
            int rate;
            int channels;
        } cases[] = {{dir.file("a"), 0, 2},
                     {dir.file("a"), -44100, 2},
                     {dir.file("a"), 44100, 0},
                     {dir.file("a"), 44100, 3},
                     {nowhere, 44100, 2}};
        for (const auto& c : cases) {
            std::string error;
            EXPECT_EQ(AudioFileWriter::create(c.path, format, c.rate, c.channels, &error), nullptr)
                << c.path << " " << c.rate << " " << c.channels;
            EXPECT_NE(error, "");
        }
    }
    EXPECT_FALSE(fs::exists(dir.file("a")));
}

// Signal-to-noise ratio in dB of one channel of interleaved stereo `got` against `ideal` over
// frames [from, to).
double snrDb(const std::vector<float>& got, const std::vector<double>& ideal, int64_t from,
             int64_t to, int channel = 0) {
    double signal = 0, noise = 0;
    for (int64_t i = from; i < to; ++i) {
        const double d = got[size_t(2 * i + channel)] - ideal[size_t(i)];
        signal += ideal[size_t(i)] * ideal[size_t(i)];
        noise += d * d;
    }
    return 10 * std::log10(signal / std::max(noise, 1e-30));
}

TEST_F(AudioFileWriterTest, M4aIsAacAt44100StereoInPhaseWithTheInput) {
    const fs::path path = dir.file("mix.m4a");
    const int64_t frames = 3 * 44100 + 17;
    const std::vector<float> s = fixture::sine(frames, 44100, 2, 1000, 0.5f);
    std::string error;
    auto writer = AudioFileWriter::create(path, Format::M4aAac, 44100, 2, &error);
    ASSERT_TRUE(writer) << error;
    for (int64_t done = 0; done < frames;) {
        const int64_t n = std::min<int64_t>(3001, frames - done);
        ASSERT_TRUE(writer->write(s.data() + 2 * done, n));
        done += n;
    }
    ASSERT_TRUE(writer->close()) << writer->error();
    EXPECT_EQ(writer->framesWritten(), frames);

    const auto [format, channels, back] = test::decodeFile(path);
    EXPECT_EQ(format.codec, "aac");
    EXPECT_EQ(format.sampleRate, 44100);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.primingFrames, 1024);
    EXPECT_GE(format.frames, frames);
    EXPECT_LT(format.frames, frames + 1024);
    std::vector<double> ideal(size_t(format.frames), 0.0);
    for (int64_t i = 0; i < frames; ++i) {
        ideal[size_t(i)] = s[size_t(2 * i)];
    }
    // In phase and at level: a lag of one frame would already cost the SNR (~17 dB at 1 kHz).
    EXPECT_GT(snrDb(back, ideal, 2048, frames - 2048), 35.0);
}

TEST_F(AudioFileWriterTest, M4aResamplesAndPutsMonoOnBothChannels) {
    const fs::path path = dir.file("mono48k.m4a");
    const int64_t frames = 2 * 48000;
    const std::vector<float> s = fixture::sine(frames, 48000, 1, 1000, 0.5f);
    writeWhole(path, Format::M4aAac, 48000, 1, s);

    const auto [format, channels, back] = test::decodeFile(path);
    EXPECT_EQ(format.sampleRate, 44100);
    EXPECT_EQ(format.channels, 2);
    const int64_t expected = frames * 44100 / 48000;
    EXPECT_GE(format.frames, expected);
    EXPECT_LT(format.frames, expected + 1024);
    std::vector<double> ideal(size_t(format.frames), 0.0);
    for (int64_t i = 0; i < expected; ++i) {
        ideal[size_t(i)] = 0.5 * std::sin(2 * M_PI * 1000.0 * double(i) / 44100.0);
    }
    EXPECT_GT(snrDb(back, ideal, 2048, expected - 2048), 35.0);
    EXPECT_GT(snrDb(back, ideal, 2048, expected - 2048, 1), 35.0); // full level on the right too
}

} // namespace
} // namespace vx
