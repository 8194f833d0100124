#include "platform/AudioFileReader.h"

#include "platform/EncodeFixture.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <tuple>

namespace vx {
namespace {

namespace fs = std::filesystem;
using fixture::Codec;
using Client = AudioFileReader::Client;

constexpr int64_t kBlock = 32768;      // the decoder's block size in the engine
constexpr int64_t kFrames = 200123;    // about 4.5 s at 44100 Hz, deliberately odd
constexpr int64_t kLamePriming = 1105; // LAME's 576 frames of encoder delay + 529 of decoder

// Encoded files shared by the tests of this file, made on first use in one temp folder.
const fs::path& fixtureFile(Codec codec, int rate = 44100, int channels = 2) {
    static fixture::TempDir dir;
    static std::map<std::tuple<Codec, int, int>, fs::path> files;
    const auto key = std::make_tuple(codec, rate, channels);
    auto found = files.find(key);
    if (found == files.end()) {
        // One name per Codec, in its order.
        static const char* const names[] = {"cbr.mp3",  "vbr.mp3",  "noinfo.mp3",
                                            "aac.m4a",  "s16.flac", "vorbis.ogg",
                                            "opus.ogg", "f32.wav",  "s16.wav"};
        static_assert(std::size(names) == size_t(Codec::WavInt16) + 1);
        const fs::path path = dir.file(std::to_string(rate) + "-" + std::to_string(channels) + "-" +
                                       names[int(codec)]);
        const int64_t frames = kFrames * rate / 44100;
        std::string error;
        EXPECT_TRUE(fixture::encode(path, codec, fixture::musicSignal(frames, rate, channels, 7),
                                    rate, channels, &error))
            << error;
        found = files.emplace(key, path).first;
    }
    return found->second;
}

// Keeps FFmpeg's complaints about deliberately damaged files out of the test output.
class QuietFFmpeg {
public:
    QuietFFmpeg() { av_log_set_level(AV_LOG_FATAL); }
    ~QuietFFmpeg() { av_log_set_level(old_); }

private:
    int old_ = av_log_get_level();
};

std::unique_ptr<AudioFileReader> openOrFail(const fs::path& path, Client client) {
    std::string error;
    auto reader = AudioFileReader::open(path, client, &error);
    EXPECT_TRUE(reader) << path << ": " << error;
    return reader;
}

// Reads to the end in chunks; the last call's result goes to *last.
std::vector<float> readAll(AudioFileReader& reader, int64_t chunk = 4096, int64_t* last = nullptr) {
    std::vector<float> out;
    std::vector<float> buffer(size_t(chunk * reader.clientChannels()));
    for (;;) {
        const int64_t got = reader.read(buffer.data(), chunk);
        if (last) {
            *last = got;
        }
        if (got <= 0) {
            return out;
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + got * reader.clientChannels());
    }
}

// Index of the first sample where a and b differ by more than tolerance, or -1.
int64_t firstMismatch(const float* a, const float* b, int64_t samples, float tolerance = 0) {
    for (int64_t i = 0; i < samples; ++i) {
        if (!(std::fabs(a[i] - b[i]) <= tolerance)) {
            return i;
        }
    }
    return -1;
}

// Positions that stress a seek: the start, MP3/AAC frame edges, the engine's block edges,
// the last frames, and pseudo-random ones; shuffled so that seeks go both ways.
std::vector<int64_t> seekPositions(int64_t length) {
    std::vector<int64_t> p = {0,    1,    575,  1023, 1024, 1104, 1105, 1151,
                              1152, 1153, 2047, 4607, 4608, 4609, 9215, length / 2};
    for (int64_t b = kBlock; b < length; b += kBlock) {
        p.insert(p.end(), {b - 1, b, b + 1});
    }
    for (int64_t back : {32768, 4609, 1025, 1000, 2, 1}) {
        if (length > back) {
            p.push_back(length - back);
        }
    }
    std::mt19937 random(1234);
    for (int i = 0; i < 24; ++i) {
        p.push_back(std::uniform_int_distribution<int64_t>(0, length - 1)(random));
    }
    std::shuffle(p.begin(), p.end(), random);
    return p;
}

// Seeks to every position, reads up to 6000 frames and compares with the sequential read.
void expectSeeksMatch(AudioFileReader& reader, const std::vector<float>& sequential,
                      float tolerance) {
    const int channels = reader.clientChannels();
    const int64_t length = reader.lengthFrames();
    std::vector<float> buffer(6000 * size_t(channels));
    for (int64_t p : seekPositions(length)) {
        ASSERT_TRUE(reader.seek(p)) << p;
        EXPECT_EQ(reader.position(), p);
        const int64_t want = std::min<int64_t>(6000, length - p);
        // Two reads: the seek and the read that follows it must both line up.
        const int64_t first = reader.read(buffer.data(), want / 3 + 1);
        const int64_t second = reader.read(buffer.data() + first * channels, want - first);
        ASSERT_EQ(first + std::max<int64_t>(second, 0), want) << "at " << p;
        const int64_t bad = firstMismatch(buffer.data(), sequential.data() + p * channels,
                                          want * channels, tolerance);
        EXPECT_EQ(bad, -1) << "seek to " << p << ": frame " << p + bad / channels << " differs ("
                           << buffer[size_t(std::max<int64_t>(bad, 0))] << " vs "
                           << sequential[size_t(p * channels + std::max<int64_t>(bad, 0))] << ")";
        EXPECT_EQ(reader.position(), p + want);
    }
}

// The lag (in frames, within +-maxLag) at which the left channels of a and b correlate best
// over a window in the middle.
int64_t bestLag(const std::vector<float>& a, const std::vector<float>& b, int channels,
                int64_t maxLag) {
    const int64_t frames = int64_t(std::min(a.size(), b.size())) / channels;
    const int64_t window = 8192;
    const int64_t start = frames / 2 - window / 2;
    double best = -1e300;
    int64_t bestAt = 0;
    for (int64_t lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (int64_t i = start; i < start + window; ++i) {
            sum += double(a[size_t(i * channels)]) * double(b[size_t((i + lag) * channels)]);
        }
        if (sum > best) {
            best = sum;
            bestAt = lag;
        }
    }
    return bestAt;
}

struct CompressedCase {
    Codec codec;
    const char* name;
    int64_t lag; // where the encoded audio shows up in the decoded audio
    const char* codecName;
    int64_t priming;
    bool lengthFromHeader;
    int64_t frames; // 0: counted from whole 1152-frame MP3 frames
};

void PrintTo(const CompressedCase& c, std::ostream* os) {
    *os << c.name;
}

class AudioFileReaderCompressed : public ::testing::TestWithParam<CompressedCase> {};

// Every way of reaching a frame (seeks, chunk sizes, short skips, repeated seeks) must give
// the sequential read's samples bit for bit, and that read must line up with the encoded
// signal: a misplaced priming (1105 frames for MP3, 1024 for AAC) shows as a lag. An MP3
// without a LAME tag says nothing about its priming, which then stays in front of the audio.
TEST_P(AudioFileReaderCompressed, EveryReadMatchesTheSequentialReadAndTheEncodedSignal) {
    const auto reader = openOrFail(fixtureFile(GetParam().codec), Client::Stereo44100);
    ASSERT_TRUE(reader);
    const std::vector<float> sequential = readAll(*reader);
    ASSERT_EQ(int64_t(sequential.size()), reader->lengthFrames() * 2);
    EXPECT_EQ(bestLag(fixture::musicSignal(kFrames, 44100, 2, 7), sequential, 2, 1200),
              GetParam().lag);
    expectSeeksMatch(*reader, sequential, 0.0f);
    EXPECT_EQ(reader->error(), "");

    for (int64_t chunk : {1, 7, 1152, 32768, 250000}) {
        ASSERT_TRUE(reader->seek(0));
        const std::vector<float> other = readAll(*reader, chunk);
        ASSERT_EQ(other.size(), sequential.size()) << "chunk " << chunk;
        EXPECT_EQ(firstMismatch(other.data(), sequential.data(), int64_t(other.size())), -1)
            << "chunk " << chunk;
    }

    // Steps inside the buffered frames, just past them and beyond the decode-on distance.
    ASSERT_TRUE(reader->seek(0));
    std::vector<float> buffer(2 * 1000);
    int64_t p = 0;
    for (int64_t step : {0, 1, 300, 699, 700, 4095, 8191, 8192, 8193, 12000, 40000, 3, 5000}) {
        p += step;
        ASSERT_TRUE(reader->seek(p));
        ASSERT_EQ(reader->read(buffer.data(), 700), 700) << p;
        EXPECT_EQ(firstMismatch(buffer.data(), sequential.data() + p * 2, 1400), -1) << p;
        p += 700;
    }

    // Of several seeks without a read between them only the last counts.
    for (auto [a, b] : {std::pair<int64_t, int64_t>{100000, 100500},
                        {100000, 99000},
                        {50000, 50000},
                        {0, 70000},
                        {150000, 150001}}) {
        ASSERT_TRUE(reader->seek(a));
        ASSERT_TRUE(reader->seek(b));
        ASSERT_EQ(reader->read(buffer.data(), 1000), 1000);
        EXPECT_EQ(firstMismatch(buffer.data(), sequential.data() + b * 2, 2000), -1)
            << a << " then " << b;
    }
}

TEST_P(AudioFileReaderCompressed, ReportsItsFormatPrimingAndLength) {
    const CompressedCase& c = GetParam();
    const auto reader = openOrFail(fixtureFile(c.codec), Client::Stereo44100);
    ASSERT_TRUE(reader);
    const AudioFileFormat& f = reader->fileFormat();
    EXPECT_EQ(f.codec, c.codecName);
    EXPECT_EQ(f.sampleRate, 44100);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.primingFrames, c.priming);
    EXPECT_EQ(f.lengthFromHeader, c.lengthFromHeader);
    if (c.frames > 0) {
        EXPECT_EQ(f.frames, c.frames);
    } else {
        // Without the LAME tag nothing says how much to drop: the decoder's whole output
        // counts, whole MP3 frames holding the 1105 priming frames and the padding.
        EXPECT_EQ(f.frames % 1152, 0);
        EXPECT_GE(f.frames, kFrames + kLamePriming);
    }
    EXPECT_EQ(f.frames44100, f.frames);
    EXPECT_DOUBLE_EQ(f.seconds, double(f.frames) / 44100.0);
    EXPECT_EQ(reader->lengthFrames(), f.frames);
    int64_t last = 99;
    EXPECT_EQ(int64_t(readAll(*reader, 4096, &last).size()), f.frames * 2);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(reader->error(), "");
}

// FFmpeg 5.1 drops the AAC's 1024 priming frames (edit list) but keeps the encoder's padding
// up to the end of the last 1024-frame packet.
INSTANTIATE_TEST_SUITE_P(
    AudioFileReader, AudioFileReaderCompressed,
    ::testing::Values(
        CompressedCase{Codec::Mp3Cbr, "Mp3Cbr", 0, "mp3", kLamePriming, true, kFrames},
        CompressedCase{Codec::Mp3Vbr, "Mp3Vbr", 0, "mp3", kLamePriming, true, kFrames},
        CompressedCase{Codec::Mp3NoInfo, "Mp3NoInfo", kLamePriming, "mp3", 0, false, 0},
        CompressedCase{Codec::AacM4a, "AacM4a", 0, "aac", 1024, false,
                       (kFrames + 1024 + 1023) / 1024 * 1024 - 1024},
        CompressedCase{Codec::Flac, "Flac", 0, "flac", 0, true, kFrames}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioFileReader, FlacSamplesAreLossless) {
    const auto reader = openOrFail(fixtureFile(Codec::Flac), Client::Stereo44100);
    ASSERT_TRUE(reader);
    const std::vector<float> decoded = readAll(*reader);
    const std::vector<float> original = fixture::musicSignal(kFrames, 44100, 2, 7);
    ASSERT_EQ(decoded.size(), original.size());
    // 16 bits: every sample within half a step (plus float rounding) of the original.
    EXPECT_EQ(firstMismatch(decoded.data(), original.data(), int64_t(decoded.size()),
                            0.5f / 32768 + 1e-7f),
              -1);
}

// L and R together encode the frame index exactly (below 2^24 frames).
std::vector<float> indexSignal(int64_t frames) {
    std::vector<float> s(size_t(frames) * 2);
    for (int64_t i = 0; i < frames; ++i) {
        s[size_t(2 * i)] = float(i % 4096) / 4096.0f;
        s[size_t(2 * i + 1)] = float(i / 4096) / 4096.0f;
    }
    return s;
}

int64_t decodeIndex(const float* frame) {
    return int64_t(std::lround(frame[0] * 4096.0f)) +
           4096 * int64_t(std::lround(frame[1] * 4096.0f));
}

// Encodes `signal` as dir/name and returns the path.
fs::path encoded(const fixture::TempDir& dir, const std::string& name, Codec codec,
                 const std::vector<float>& signal, int rate, int channels) {
    std::string error;
    EXPECT_TRUE(fixture::encode(dir.file(name), codec, signal, rate, channels, &error)) << error;
    return dir.file(name);
}

TEST(AudioFileReader, FloatWavSeeksLandOnTheExactFrame) {
    fixture::TempDir dir;
    const int64_t frames = 150001;
    const auto reader =
        openOrFail(encoded(dir, "index.wav", Codec::WavFloat32, indexSignal(frames), 44100, 2),
                   Client::Stereo44100);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->fileFormat().codec, "pcm_f32le");
    EXPECT_EQ(reader->fileFormat().primingFrames, 0);
    EXPECT_TRUE(reader->fileFormat().lengthFromHeader);
    ASSERT_EQ(reader->lengthFrames(), frames);
    std::vector<float> buffer(2 * 3000);
    for (int64_t p : seekPositions(frames)) {
        ASSERT_TRUE(reader->seek(p));
        const int64_t got = reader->read(buffer.data(), 3000);
        ASSERT_EQ(got, std::min<int64_t>(3000, frames - p));
        for (int64_t i = 0; i < got; ++i) {
            ASSERT_EQ(decodeIndex(&buffer[size_t(2 * i)]), p + i) << "seek to " << p;
        }
    }
}

TEST(AudioFileReader, MonoClientAveragesTheChannelsAtTheFilesRate) {
    fixture::TempDir dir;
    const int64_t frames = 100003;
    const std::vector<float> stereo = indexSignal(frames);
    const auto reader = openOrFail(
        encoded(dir, "index48k.wav", Codec::WavFloat32, stereo, 48000, 2), Client::MonoNative);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->clientSampleRate(), 48000);
    EXPECT_EQ(reader->clientChannels(), 1);
    EXPECT_EQ(reader->lengthFrames(), frames);
    EXPECT_EQ(reader->fileFormat().frames44100, (frames * 44100 + 47999) / 48000);
    std::vector<float> mono = readAll(*reader, 1000);
    ASSERT_EQ(int64_t(mono.size()), frames);
    for (int64_t i = 0; i < frames; ++i) {
        ASSERT_EQ(mono[size_t(i)], (stereo[size_t(2 * i)] + stereo[size_t(2 * i + 1)]) * 0.5f) << i;
    }
    expectSeeksMatch(*reader, mono, 0.0f);
}

TEST(AudioFileReader, Mono44100ClientIsTheStereoClientsChannelAverage) {
    fixture::TempDir dir;
    const int64_t frames = 96000;
    const fs::path path = encoded(dir, "music48k.wav", Codec::WavFloat32,
                                  fixture::musicSignal(frames, 48000, 2, 5), 48000, 2);
    const auto mono = openOrFail(path, Client::Mono44100);
    const auto stereo = openOrFail(path, Client::Stereo44100);
    ASSERT_TRUE(mono && stereo);
    EXPECT_EQ(mono->clientSampleRate(), 44100);
    EXPECT_EQ(mono->clientChannels(), 1);
    EXPECT_EQ(mono->lengthFrames(), stereo->lengthFrames());
    EXPECT_EQ(mono->lengthFrames(), (frames * 44100 + 47999) / 48000);
    const std::vector<float> m = readAll(*mono, 1000);
    const std::vector<float> st = readAll(*stereo, 1000);
    ASSERT_EQ(int64_t(m.size()), mono->lengthFrames());
    ASSERT_EQ(st.size(), 2 * m.size());
    for (size_t i = 0; i < m.size(); ++i) {
        ASSERT_NEAR(m[i], 0.5f * (st[2 * i] + st[2 * i + 1]), 1e-5f) << i;
    }
}

TEST(AudioFileReader, MonoFileFillsBothStereoChannelsAtFullLevel) {
    fixture::TempDir dir;
    const std::vector<float> mono = fixture::musicSignal(50000, 44100, 1, 3);
    const auto reader = openOrFail(encoded(dir, "mono.wav", Codec::WavFloat32, mono, 44100, 1),
                                   Client::Stereo44100);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->fileFormat().channels, 1);
    const std::vector<float> stereo = readAll(*reader);
    ASSERT_EQ(stereo.size(), 2 * mono.size());
    for (size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(stereo[2 * i], mono[i]) << i;
        ASSERT_EQ(stereo[2 * i + 1], mono[i]) << i;
    }
}

struct RateCase {
    Codec codec;
    int rate;
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.rate;
}

class AudioFileReaderResampled : public ::testing::TestWithParam<RateCase> {};

TEST_P(AudioFileReaderResampled, LengthPitchAndSeeksHoldAt44100) {
    const int rate = GetParam().rate;
    fixture::TempDir dir;
    const int64_t frames = int64_t(rate) * 3 + 11;
    const double hz = 1000.0;
    const auto reader = openOrFail(encoded(dir, "sine.file", GetParam().codec,
                                           fixture::sine(frames, rate, 2, hz, 0.5f), rate, 2),
                                   Client::Stereo44100);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->fileFormat().sampleRate, rate);
    const int64_t length = reader->lengthFrames();
    EXPECT_EQ(length, reader->fileFormat().frames44100);
    EXPECT_EQ(length, (reader->fileFormat().frames * 44100 + rate - 1) / rate);
    const std::vector<float> sequential = readAll(*reader);
    ASSERT_EQ(int64_t(sequential.size()), 2 * length);
    if (GetParam().codec == Codec::WavFloat32) {
        // Away from the edges the output is the same sine sampled at 44100 Hz, in phase.
        double worst = 0;
        for (int64_t i = 2000; i < length - 2000; ++i) {
            const double ideal = 0.5 * std::sin(2 * M_PI * hz * double(i) / 44100.0);
            worst = std::max(worst, std::fabs(sequential[size_t(2 * i)] - ideal));
        }
        EXPECT_LT(worst, 1e-3);
    }
    // The resampler restarts on a common grid: the same frames up to float rounding.
    expectSeeksMatch(*reader, sequential, 1e-5f);
    // Two seeks without a read between them: the second one counts.
    std::vector<float> buffer(2 * 500);
    ASSERT_TRUE(reader->seek(length / 2));
    ASSERT_TRUE(reader->seek(length / 2 + 3000));
    ASSERT_EQ(reader->read(buffer.data(), 500), 500);
    EXPECT_EQ(
        firstMismatch(buffer.data(), sequential.data() + (length / 2 + 3000) * 2, 1000, 1e-5f), -1);
}

INSTANTIATE_TEST_SUITE_P(AudioFileReader, AudioFileReaderResampled,
                         ::testing::Values(RateCase{Codec::WavFloat32, 48000},
                                           RateCase{Codec::WavFloat32, 22050},
                                           RateCase{Codec::WavFloat32, 32000},
                                           RateCase{Codec::WavFloat32, 96000},
                                           RateCase{Codec::Mp3Cbr, 48000}),
                         [](const auto& info) {
                             return std::string(info.param.codec == Codec::Mp3Cbr ? "Mp3" : "Wav") +
                                    std::to_string(info.param.rate);
                         });

TEST(AudioFileReader, SeekOutsideTheFileIsRefusedAndTheEndReadsNothing) {
    const auto reader = openOrFail(fixtureFile(Codec::Mp3Cbr), Client::Stereo44100);
    ASSERT_TRUE(reader);
    std::vector<float> buffer(2 * 100);
    ASSERT_TRUE(reader->seek(1000));
    EXPECT_FALSE(reader->seek(-1));
    EXPECT_FALSE(reader->seek(reader->lengthFrames() + 1));
    EXPECT_EQ(reader->position(), 1000);
    EXPECT_EQ(reader->read(buffer.data(), 0), 0);
    EXPECT_EQ(reader->read(nullptr, 10), 0);
    ASSERT_TRUE(reader->seek(reader->lengthFrames()));
    EXPECT_EQ(reader->read(buffer.data(), 100), 0);
    ASSERT_TRUE(reader->seek(reader->lengthFrames() - 30));
    EXPECT_EQ(reader->read(buffer.data(), 100), 30);
    EXPECT_EQ(reader->read(buffer.data(), 100), 0);
    EXPECT_EQ(reader->error(), "");
}

TEST(AudioFileReader, FilesThatAreNotAudioFailToOpen) {
    const QuietFFmpeg quiet;
    fixture::TempDir dir;
    std::string noise(65536, '\0');
    uint32_t x = 99;
    for (char& c : noise) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "This is a line of text, not audio.\n";
    }
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.mp3", ""},    {"text.txt", text},   {"text.mp3", text},
        {"noise.mp3", noise}, {"noise.m4a", noise}, {"noise.wav", noise}};
    for (const auto& [name, bytes] : files) {
        ASSERT_TRUE(fixture::writeBytes(dir.file(name), bytes));
        for (Client client : {Client::Stereo44100, Client::Mono44100, Client::MonoNative}) {
            std::string error;
            EXPECT_EQ(AudioFileReader::open(dir.file(name), client, &error), nullptr) << name;
            EXPECT_NE(error, "") << name;
        }
    }
    std::string error;
    EXPECT_EQ(AudioFileReader::open(dir.file("missing.mp3"), Client::Stereo44100, &error), nullptr);
    EXPECT_NE(error.find("missing.mp3"), std::string::npos) << error;
    EXPECT_EQ(AudioFileReader::open(dir.path(), Client::Stereo44100, &error), nullptr);
}

TEST(AudioFileReader, ATruncatedMp3IsAsLongAsWhatDecodesAndSaysItIsDamaged) {
    const QuietFFmpeg quiet;
    fixture::TempDir dir;
    const std::string whole = fixture::readBytes(fixtureFile(Codec::Mp3Cbr));
    const fs::path path = dir.file("half.mp3");
    ASSERT_TRUE(fixture::writeBytes(path, whole.substr(0, whole.size() / 2)));

    const auto clean = openOrFail(fixtureFile(Codec::Mp3Cbr), Client::Stereo44100);
    const auto reader = openOrFail(path, Client::Stereo44100);
    ASSERT_TRUE(clean && reader);
    // The header promises the whole file; the length is what decodes, and the format says the
    // file is damaged.
    EXPECT_NE(reader->fileFormat().damage.find("truncated"), std::string::npos);
    const std::vector<float> expected = readAll(*clean);
    int64_t last = 0;
    const std::vector<float> got = readAll(*reader, 4096, &last);
    const int64_t frames = int64_t(got.size()) / 2;
    EXPECT_EQ(reader->lengthFrames(), frames);
    EXPECT_GT(frames, kFrames * 4 / 10);
    EXPECT_LT(frames, kFrames * 6 / 10);
    // Everything but the last, cut MP3 frame is the clean file's audio.
    EXPECT_EQ(firstMismatch(got.data(), expected.data(), (frames - 2304) * 2), -1);

    // A position beyond the cut is beyond the track.
    EXPECT_FALSE(reader->seek(kFrames - 5000));
    // Going back to the start still works.
    ASSERT_TRUE(reader->seek(0));
    std::vector<float> head(2 * 1000);
    ASSERT_EQ(reader->read(head.data(), 1000), 1000);
    EXPECT_EQ(firstMismatch(head.data(), expected.data(), 2000), -1);
}

TEST(AudioFileReader, GarbageInTheMiddleIsSkippedAndReported) {
    const QuietFFmpeg quiet;
    constexpr size_t kGarbage = 20000; // bytes overwritten at 40% of the file
    for (Codec codec : {Codec::Mp3Cbr, Codec::Mp3Vbr, Codec::AacM4a}) {
        SCOPED_TRACE(int(codec));
        fixture::TempDir dir;
        std::string bytes = fixture::readBytes(fixtureFile(codec));
        const size_t at = bytes.size() * 4 / 10;
        uint32_t x = 5;
        for (size_t i = at; i < at + kGarbage; ++i) {
            x = x * 1664525u + 1013904223u;
            bytes[i] = char(x >> 24);
        }
        const fs::path path = dir.file(codec == Codec::AacM4a ? "broken.m4a" : "broken.mp3");
        ASSERT_TRUE(fixture::writeBytes(path, bytes));

        const auto clean = openOrFail(fixtureFile(codec), Client::Stereo44100);
        const auto reader = openOrFail(path, Client::Stereo44100);
        ASSERT_TRUE(clean && reader);
        const std::vector<float> expected = readAll(*clean);
        const std::vector<float> got = readAll(*reader);
        const int64_t frames = int64_t(got.size()) / 2;
        EXPECT_LE(frames, reader->lengthFrames());
        EXPECT_NE(reader->error(), ""); // the undecodable packets are reported
        // The audio before the damage is intact.
        EXPECT_EQ(firstMismatch(got.data(), expected.data(), kFrames * 3 / 10 * 2), -1);
        // After it the file's own audio comes back, short of the whole codec frames that
        // the garbage destroyed (about its share of the bytes, at most twice that).
        const int64_t codecFrame = codec == Codec::AacM4a ? 1024 : 1152;
        const int64_t bytesPerFrame = int64_t(bytes.size()) * codecFrame / kFrames;
        const int64_t maxLost = (2 * int64_t(kGarbage) / bytesPerFrame + 4) * codecFrame;
        ASSERT_GT(frames, kFrames - maxLost);
        int64_t lost = -1;
        for (int64_t shift = 0; shift <= maxLost && lost < 0; shift += codecFrame) {
            if (firstMismatch(got.data() + (frames - 30000) * 2,
                              expected.data() + (frames - 30000 + shift) * 2, 40000) == -1) {
                lost = shift;
            }
        }
        EXPECT_GT(lost, 0) << "the audio after the damage is not the file's";
    }
}

TEST(AudioFileReader, ATruncatedWavIsAsLongAsItsDataAndSaysItIsDamaged) {
    const QuietFFmpeg quiet;
    fixture::TempDir dir;
    const int64_t frames = 40000;
    const fs::path path = encoded(dir, "cut.wav", Codec::WavFloat32, indexSignal(frames), 44100, 2);
    const std::string whole = fixture::readBytes(path);
    const size_t keep = 58 + 8 * 25000; // header + 25000 frames
    ASSERT_TRUE(fixture::writeBytes(path, whole.substr(0, keep)));
    const auto reader = openOrFail(path, Client::Stereo44100);
    ASSERT_TRUE(reader);
    // The header's 40000 frames are not believed: 25000 are there.
    EXPECT_EQ(reader->lengthFrames(), 25000);
    EXPECT_NE(reader->fileFormat().damage.find("truncated"), std::string::npos);
    const std::vector<float> got = readAll(*reader, 4096);
    ASSERT_EQ(int64_t(got.size()), 2 * 25000);
    for (int64_t i = 0; i < 25000; ++i) {
        ASSERT_EQ(decodeIndex(&got[size_t(2 * i)]), i);
    }
}

// A header whose rate is outside 8..384 kHz is refused at open, before anything is sized by
// it (a 1 Hz WAVE file would otherwise be resampled into gigabytes).
TEST(AudioFileReader, AbsurdSampleRatesAreRefused) {
    const QuietFFmpeg quiet;
    fixture::TempDir dir;
    const fs::path path = encoded(dir, "rate.wav", Codec::WavFloat32, indexSignal(4000), 44100, 2);
    std::string bytes = fixture::readBytes(path);
    const struct {
        uint32_t rate;
        bool opens;
    } cases[] = {{1, false}, {7999, false}, {8000, true}, {384000, true}, {384001, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const uint32_t byteRate = c.rate * 8;
        std::memcpy(&bytes[24], &c.rate, 4);
        std::memcpy(&bytes[28], &byteRate, 4);
        ASSERT_TRUE(fixture::writeBytes(path, bytes));
        std::string error;
        const auto reader = AudioFileReader::open(path, Client::Stereo44100, &error);
        EXPECT_EQ(reader != nullptr, c.opens) << error;
        if (!c.opens) {
            EXPECT_NE(error.find("sample rate"), std::string::npos) << error;
        }
    }
}

TEST(AudioFileReader, FilesCutAnywhereFailToOpenOrReportWhatIsMissing) {
    // Whatever the cut, a reader either refuses the file or reads up to the cut, and any
    // frames missing from the promised length are reported.
    const QuietFFmpeg quiet;
    fixture::TempDir dir;
    int opened = 0;
    for (Codec codec :
         {Codec::Mp3Cbr, Codec::Mp3Vbr, Codec::AacM4a, Codec::Flac, Codec::WavInt16}) {
        const std::string whole = fixture::readBytes(fixtureFile(codec));
        for (size_t cut : {size_t(1), size_t(4), size_t(30), size_t(100), size_t(417), size_t(3000),
                           whole.size() / 5, whole.size() - 1}) {
            SCOPED_TRACE("codec " + std::to_string(int(codec)) + " cut " + std::to_string(cut));
            const fs::path path = dir.file("cut" + std::to_string(int(codec)));
            ASSERT_TRUE(fixture::writeBytes(path, whole.substr(0, cut)));
            for (Client client : {Client::Stereo44100, Client::Mono44100, Client::MonoNative}) {
                std::string error;
                const auto reader = AudioFileReader::open(path, client, &error);
                // FFmpeg writes the MP4 index (moov) at the end: without it nothing decodes.
                EXPECT_FALSE(codec == Codec::AacM4a && cut <= whole.size() / 5 && reader);
                if (!reader) {
                    EXPECT_NE(error, "");
                    continue;
                }
                ++opened;
                int64_t last = 0;
                const int64_t frames =
                    int64_t(readAll(*reader, 4096, &last).size()) / reader->clientChannels();
                EXPECT_LE(frames, reader->lengthFrames());
                if (frames < reader->lengthFrames()) {
                    EXPECT_EQ(last, -1);
                    EXPECT_NE(reader->error(), "");
                }
            }
        }
    }
    EXPECT_GE(opened, 20); // most cuts past the headers still open
}

} // namespace
} // namespace vx
