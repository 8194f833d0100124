#include "EngineFixture.h"

#include "engine/ConversionState.h"
#include "engine/convertFile.h"
#include "platform/AudioFileReader.h"
#include "platform/AudioFileWriter.h"
#include "platform/FileSizeLimit.h"
#include "platform/Log.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vx::AudioFileReader;
using vx::AudioFileWriter;
using vx::ConversionState;
using vx::ConvertFormat;
using vx::ConvertRequest;
using vx::ConvertStatus;
using vx::test::eventually;

// AAC frames hold 1024 samples: the decoded M4A is the input padded up to a whole frame.
constexpr int64_t kAacFrame = 1024;

using TempFolder = vx::test::TempDir;

// The names of the folder's entries, hidden ones included, sorted.
std::vector<std::string> namesIn(const TempFolder& dir) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        out.push_back(entry.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A mix-like signal: two steady partials (one per "deck", phase-shifted between channels)
// under a level that steps every half second, so a misplaced or lost stretch shows in the
// windowed level.
std::vector<float> mixSignal(int64_t frames, int rate, int channels) {
    std::vector<float> out(size_t(frames) * size_t(channels));
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double level = 0.3 + 0.25 * ((i / (rate / 2)) % 3); // 0.3, 0.55, 0.8
        for (int c = 0; c < channels; ++c) {
            const double v =
                0.6 * std::sin(2 * M_PI * 220.0 * t + c) + 0.4 * std::sin(2 * M_PI * 1318.5 * t);
            out[size_t(i * channels + c)] = float(level * 0.9 * v);
        }
    }
    return out;
}

void writeWav(const fs::path& path, const std::vector<float>& samples, int rate, int channels,
              AudioFileWriter::Format format = AudioFileWriter::Format::WavInt16) {
    std::string error;
    auto writer = AudioFileWriter::create(path, format, rate, channels, &error);
    ASSERT_TRUE(writer) << error;
    ASSERT_TRUE(writer->write(samples.data(), int64_t(samples.size()) / channels));
    ASSERT_TRUE(writer->close()) << writer->error();
}

using vx::test::decodeFile;

// Level in dBFS of frames [from, to) of one channel.
double rmsDb(const std::vector<float>& samples, int channels, int channel, int64_t from,
             int64_t to) {
    double sum = 0;
    for (int64_t i = from; i < to; ++i) {
        const double v = samples[size_t(i * channels + channel)];
        sum += v * v;
    }
    return 10.0 * std::log10(sum / double(to - from) + 1e-30);
}

// Runs the conversion on a thread of its own, as the application does, and waits for it.
ConvertStatus convertOnWorker(const ConvertRequest& request, ConversionState& state,
                              std::string* error = nullptr) {
    ConvertStatus status = ConvertStatus::Ok;
    std::thread worker([&] { status = vx::convertFile(request, state, error); });
    worker.join();
    return status;
}

ConvertRequest m4aRequest(const fs::path& source, const fs::path& destination) {
    ConvertRequest request;
    request.source = source;
    request.destination = destination;
    request.format = ConvertFormat::M4aAac;
    request.sampleRate = 44100;
    return request;
}

struct MixCase {
    const char* name;
    int rate;
    int channels;
    AudioFileWriter::Format format;
    const char* logged; // the source's format as logged, less its length
};

TEST(ConvertFile, WavMixBecomesM4aOfTheSameLengthAndLevel) {
    const MixCase cases[] = {
        {"16-bit stereo 44100", 44100, 2, AudioFileWriter::Format::WavInt16,
         "pcm_s16le, 44100 Hz, 2 channels"},
        {"float stereo 44100", 44100, 2, AudioFileWriter::Format::WavFloat32,
         "pcm_f32le, 44100 Hz, 2 channels"},
        {"16-bit mono 44100", 44100, 1, AudioFileWriter::Format::WavInt16,
         "pcm_s16le, 44100 Hz, 1 channel"},
        {"float stereo 48000", 48000, 2, AudioFileWriter::Format::WavFloat32,
         "pcm_f32le, 48000 Hz, 2 channels"},
    };
    for (const MixCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const fs::path wav = dir.file("mix.wav");
        const fs::path m4a = dir.file("mix.m4a");
        const int64_t sourceFrames = int64_t(c.rate) * 3 + 777; // not a whole buffer or AAC frame
        writeWav(wav, mixSignal(sourceFrames, c.rate, c.channels), c.rate, c.channels, c.format);
        // The reference is the source as the application reads it: 44100 Hz stereo.
        const auto source = decodeFile(wav);
        std::ofstream(m4a) << "older file"; // replaced by the conversion
        vx::LogCapture log;
        ConversionState state;
        std::string error;
        ASSERT_EQ(convertOnWorker(m4aRequest(wav, m4a), state, &error), ConvertStatus::Ok) << error;
        EXPECT_EQ(state.value(), ConversionState::Value::Done);
        EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"mix.m4a", "mix.wav"}));
        const std::vector<std::string> steps = {
            "DoConvertFile",
            "Source file format: " + std::string(c.logged) + ", " + std::to_string(sourceFrames) +
                " frames",
            "Destination file format: aac (M4A), 44100 Hz, 2 channels",
            "Audio Converter CAN continue after interruption!",
            "Converting...",
        };
        EXPECT_EQ(log.lines(), steps);

        const auto out = decodeFile(m4a);
        EXPECT_EQ(out.format.codec, "aac");
        EXPECT_EQ(out.format.sampleRate, 44100);
        EXPECT_EQ(out.format.channels, 2);
        EXPECT_EQ(out.format.primingFrames, kAacFrame);
        // The priming is cut by the edit list, so the audio starts at frame 0; the encoder's
        // padding of the last AAC frame stays, so the length is the source's rounded up to a
        // whole frame: at least the source, less than one AAC frame more.
        const int64_t n = source.frames();
        EXPECT_GE(out.frames(), n);
        EXPECT_LT(out.frames(), n + kAacFrame);
        EXPECT_EQ(out.frames() % kAacFrame, 0);
        // Level within 1 dB overall and in every half second (each has its own level), on
        // both channels (a mono source is on both).
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_NEAR(rmsDb(out.samples, 2, ch, 0, n), rmsDb(source.samples, 2, ch, 0, n), 1.0)
                << "channel " << ch;
            for (int64_t from = 0; from + 22050 <= n; from += 22050) {
                EXPECT_NEAR(rmsDb(out.samples, 2, ch, from, from + 22050),
                            rmsDb(source.samples, 2, ch, from, from + 22050), 1.0)
                    << "channel " << ch << " from frame " << from;
            }
        }
    }
}

TEST(ConvertFile, PcmDestinationKeepsTheSamplesAndTheChannelCount) {
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        TempFolder dir;
        const fs::path source = dir.file("in.wav");
        const int64_t frames = 44100 + 5;
        const auto signal = mixSignal(frames, 44100, channels);
        writeWav(source, signal, 44100, channels, AudioFileWriter::Format::WavFloat32);
        ConvertRequest request;
        request.source = source;
        request.destination = dir.file("out.wav");
        request.format = ConvertFormat::WavInt16;
        request.sampleRate = 0; // the source's rate, 44100
        ConversionState state;
        ASSERT_EQ(convertOnWorker(request, state), ConvertStatus::Ok);
        const auto out = decodeFile(request.destination, AudioFileReader::Client::MonoNative);
        EXPECT_EQ(out.format.codec, "pcm_s16le");
        EXPECT_EQ(out.format.channels, channels);
        EXPECT_EQ(out.format.sampleRate, 44100);
        EXPECT_EQ(out.format.frames, frames);
        if (channels == 1) {
            ASSERT_EQ(out.frames(), frames);
            float worst = 0;
            for (int64_t i = 0; i < frames; ++i) {
                worst = std::max(worst, std::abs(out.samples[size_t(i)] - signal[size_t(i)]));
            }
            EXPECT_LE(worst, 1.0f / 32768.0f); // 16-bit rounding only
        }
    }
}

TEST(ConvertFile, ReadsBuffersOf32768BytesAndReportsEach) {
    // Float client samples: 4 bytes each, so 8192 frames mono and 4096 frames stereo.
    struct Case {
        int channels;
        int64_t bufferFrames;
    };
    for (const Case c : {Case{1, 8192}, Case{2, 4096}}) {
        SCOPED_TRACE(c.channels);
        TempFolder dir;
        const fs::path wav = dir.file("in.wav");
        const int64_t frames = 5 * 8192 + 123;
        writeWav(wav, mixSignal(frames, 44100, c.channels), 44100, c.channels);
        std::vector<int64_t> done;
        ConvertRequest request = m4aRequest(wav, dir.file("out.m4a"));
        request.onBuffer = [&](int64_t framesDone, bool waited) {
            done.push_back(framesDone);
            EXPECT_FALSE(waited);
        };
        ConversionState state;
        ASSERT_EQ(convertOnWorker(request, state), ConvertStatus::Ok);
        const int64_t buffers = (frames + c.bufferFrames - 1) / c.bufferFrames;
        ASSERT_EQ(int64_t(done.size()), buffers);
        for (size_t i = 0; i + 1 < done.size(); ++i) {
            EXPECT_EQ(done[i], int64_t(i + 1) * c.bufferFrames) << "buffer " << i;
        }
        EXPECT_EQ(done.back(), frames);
    }
}

TEST(ConvertFile, FailuresLeaveNoOutputAndNoTemporaryFile) {
    struct Case {
        const char* name;
        std::function<ConvertRequest(const TempFolder&)> request;
        ConvertStatus status;
        const char* logged;
    };
    const Case cases[] = {
        {"missing source",
         [](const TempFolder& d) { return m4aRequest(d.file("gone.wav"), d.file("out.m4a")); },
         ConvertStatus::OpenSource, "Error: ExtAudioFileOpenURL failed ("},
        {"source is not audio",
         [](const TempFolder& d) { return m4aRequest(d.file("notes.txt"), d.file("out.m4a")); },
         ConvertStatus::OpenSource, "Error: ExtAudioFileOpenURL failed ("},
        {"destination folder missing",
         [](const TempFolder& d) {
             return m4aRequest(d.file("in.wav"), d.file("no-such-folder") / "out.m4a");
         },
         ConvertStatus::CreateDestination, "Error: ExtAudioFileCreateWithURL failed! ("},
        {"destination folder is a file",
         [](const TempFolder& d) {
             return m4aRequest(d.file("in.wav"), d.file("notes.txt") / "out.m4a");
         },
         ConvertStatus::CreateDestination, "Error: ExtAudioFileCreateWithURL failed! ("},
        {"destination is a folder",
         [](const TempFolder& d) { return m4aRequest(d.file("in.wav"), d.file("sub")); },
         ConvertStatus::CreateDestination, "Error: ExtAudioFileCreateWithURL failed! ("},
        {"rate the writer cannot make",
         [](const TempFolder& d) {
             ConvertRequest r = m4aRequest(d.file("in.wav"), d.file("out.m4a"));
             r.sampleRate = 48000;
             return r;
         },
         ConvertStatus::DestinationFormat, "Error: couldn't create destination data format ("},
        {"source's own rate the writer cannot make",
         [](const TempFolder& d) {
             ConvertRequest r = m4aRequest(d.file("in48k.wav"), d.file("out.m4a"));
             r.sampleRate = 0;
             return r;
         },
         ConvertStatus::DestinationFormat, "Error: couldn't create destination data format ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        writeWav(dir.file("in.wav"), mixSignal(20000, 44100, 2), 44100, 2);
        writeWav(dir.file("in48k.wav"), mixSignal(20000, 48000, 2), 48000, 2);
        std::ofstream(dir.file("notes.txt")) << "not audio\n";
        std::ofstream(dir.file("out.m4a")) << "older file"; // kept when a conversion fails
        fs::create_directory(dir.file("sub"));
        const auto before = namesIn(dir);
        const ConvertRequest request = c.request(dir);
        vx::LogCapture log;
        ConversionState state;
        std::string error;
        EXPECT_EQ(convertOnWorker(request, state, &error), c.status);
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(log.contains(c.logged));
        EXPECT_EQ(state.value(), ConversionState::Value::Done);
        EXPECT_EQ(namesIn(dir), before); // nothing added, nothing removed
        EXPECT_TRUE(fs::is_empty(dir.file("sub")));
        EXPECT_EQ(fs::file_size(dir.file("out.m4a")), std::string("older file").size());
    }
}

TEST(ConvertFile, DiskFullMidwayFailsAndLeavesNothing) {
    TempFolder dir;
    const fs::path wav = dir.file("long.wav");
    const int64_t frames = 20 * 44100; // about 0.5 MB of AAC
    writeWav(wav, mixSignal(frames, 44100, 2), 44100, 2);
    int64_t converted = 0;
    ConvertRequest request = m4aRequest(wav, dir.file("long.m4a"));
    request.onBuffer = [&](int64_t framesDone, bool) { converted = framesDone; };
    vx::LogCapture log;
    ConversionState state;
    ConvertStatus status = ConvertStatus::Ok;
    {
        vx::fixture::FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.active());
        status = convertOnWorker(request, state);
    }
    EXPECT_EQ(status, ConvertStatus::Write);
    EXPECT_TRUE(log.contains("Error: ExtAudioFileWrite error! ("));
    // It failed in the middle, with a temporary file of 64 KiB written.
    EXPECT_GT(converted, 0);
    EXPECT_LT(converted, frames);
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"long.wav"});
    EXPECT_EQ(state.value(), ConversionState::Value::Done);
}

TEST(ConvertFile, PauseHoldsTheConversionUntilResumed) {
    TempFolder dir;
    const fs::path wav = dir.file("mix.wav");
    const fs::path m4a = dir.file("mix.m4a");
    const int64_t frames = 3 * 44100;
    writeWav(wav, mixSignal(frames, 44100, 2), 44100, 2);

    ConversionState state;
    std::mutex mutex;
    std::vector<std::pair<int64_t, bool>> buffers; // guarded by mutex
    ConvertRequest request = m4aRequest(wav, m4a);
    request.onBuffer = [&](int64_t framesDone, bool waited) {
        {
            std::lock_guard lock(mutex);
            buffers.emplace_back(framesDone, waited);
        }
        if (framesDone == 4096) {
            // An interruption arrives while the first buffer is being written.
            EXPECT_TRUE(state.pause());
        }
    };
    std::atomic<bool> finished{false};
    ConvertStatus status = ConvertStatus::Finish;
    std::thread worker([&] {
        status = vx::convertFile(request, state);
        finished = true;
    });
    // However the test ends, the conversion is let go and joined.
    struct Release {
        ConversionState& state;
        std::thread& worker;
        ~Release() {
            state.resume();
            if (worker.joinable()) {
                worker.join();
            }
        }
    } release{state, worker};
    // The second buffer has been read and is held at the paused check.
    ASSERT_TRUE(eventually([&] { return state.waitingThreads() == 1; }));
    EXPECT_FALSE(finished.load());
    EXPECT_EQ(state.value(), ConversionState::Value::Paused);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(buffers.size(), 1u);
    }
    // Only the hidden temporary file exists so far, never a partial mix.m4a.
    const auto during = namesIn(dir);
    ASSERT_EQ(during.size(), 2u);
    EXPECT_EQ(during[0].rfind(".mix.m4a.part-", 0), 0u) << during[0];
    EXPECT_EQ(during[1], "mix.wav");

    ASSERT_TRUE(state.resume());
    worker.join();
    EXPECT_EQ(status, ConvertStatus::Ok);
    EXPECT_EQ(state.value(), ConversionState::Value::Done);
    ASSERT_EQ(int64_t(buffers.size()), (frames + 4095) / 4096);
    for (size_t i = 0; i < buffers.size(); ++i) {
        EXPECT_EQ(buffers[i].second, i == 1) << "buffer " << i; // only the second one waited
    }
    EXPECT_EQ(buffers.back().first, frames);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"mix.m4a", "mix.wav"}));
    const auto out = decodeFile(m4a);
    EXPECT_GE(out.frames(), frames);
    EXPECT_LT(out.frames(), frames + kAacFrame);
}

TEST(ConvertFile, RecordingGoesToTheSamePathWithM4aExtension) {
    struct Case {
        const char* recording;
        const char* converted;
    };
    const Case cases[] = {
        {"/home/u/Documents/VXNexa_0000.wav", "/home/u/Documents/VXNexa_0000.m4a"},
        {"/home/u/Documents/VXNexa_0001.WAV", "/home/u/Documents/VXNexa_0001.m4a"},
        {"/a/b.c/mix", "/a/b.c/mix.m4a"},
        {"mix.set.wav", "mix.set.m4a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vx::convertedRecordingPath(c.recording), fs::path(c.converted)) << c.recording;
    }
}

TEST(ConvertFile, ConvertRecordingWritesTheM4aBesideTheWavAndKeepsAnEarlierOneOnFailure) {
    TempFolder dir;
    const fs::path wav = dir.file("VXNexa_0003.wav");
    writeWav(wav, mixSignal(30000, 44100, 2), 44100, 2);
    ConversionState state;
    ConvertStatus status = ConvertStatus::Finish;
    std::thread([&] { status = vx::convertRecording(wav, state); }).join();
    EXPECT_EQ(status, ConvertStatus::Ok);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"VXNexa_0003.m4a", "VXNexa_0003.wav"}));
    EXPECT_EQ(decodeFile(dir.file("VXNexa_0003.m4a")).format.codec, "aac");

    const fs::path bad = dir.file("VXNexa_0004.wav");
    std::ofstream(bad) << "not a recording";
    std::ofstream(dir.file("VXNexa_0004.m4a")) << "stale";
    vx::LogCapture log;
    std::thread([&] { status = vx::convertRecording(bad, state); }).join();
    EXPECT_EQ(status, ConvertStatus::OpenSource);
    EXPECT_TRUE(log.contains("DoConvertFile failed! 1"));
    // The earlier file of that name is not this run's: it stays, byte for byte.
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"VXNexa_0003.m4a", "VXNexa_0003.wav",
                                                      "VXNexa_0004.m4a", "VXNexa_0004.wav"}));
    EXPECT_EQ(fs::file_size(dir.file("VXNexa_0004.m4a")), std::string("stale").size());
    // A failed re-conversion keeps the good conversion made before.
    const auto good = fs::file_size(dir.file("VXNexa_0003.m4a"));
    std::ofstream(wav, std::ios::trunc) << "damaged since";
    std::thread([&] { status = vx::convertRecording(wav, state); }).join();
    EXPECT_NE(status, ConvertStatus::Ok);
    EXPECT_EQ(fs::file_size(dir.file("VXNexa_0003.m4a")), good);
}

using ConvertFileDeathTest = ::testing::Test;

TEST_F(ConvertFileDeathTest, RefusesToRunOnTheMainThread) {
    TempFolder dir;
    writeWav(dir.file("in.wav"), mixSignal(1000, 44100, 2), 44100, 2);
    const ConvertRequest request = m4aRequest(dir.file("in.wav"), dir.file("out.m4a"));
    EXPECT_DEATH(
        {
            ConversionState state; // this thread is its main thread
            vx::convertFile(request, state);
        },
        "Assertion failed: DoConvertFile: must not run on the main thread");
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"in.wav"});
}

TEST_F(ConvertFileDeathTest, AProcessDyingMidwayLeavesNoPartialM4a) {
    TempFolder dir;
    const int64_t frames = 3 * 44100;
    writeWav(dir.file("mix.wav"), mixSignal(frames, 44100, 2), 44100, 2);
    ConvertRequest request = m4aRequest(dir.file("mix.wav"), dir.file("mix.m4a"));
    request.onBuffer = [](int64_t framesDone, bool) {
        if (framesDone >= 10 * 4096) {
            std::fprintf(stderr, "dying at frame %lld\n", static_cast<long long>(framesDone));
            std::abort();
        }
    };
    EXPECT_DEATH(
        {
            ConversionState state;
            std::thread([&] { vx::convertFile(request, state); }).join();
        },
        "dying at frame 40960");
    // What is left is the hidden temporary file, never anything named like the destination.
    for (const std::string& name : namesIn(dir)) {
        if (name == "mix.wav") {
            continue;
        }
        EXPECT_EQ(name.rfind(".mix.m4a.part-", 0), 0u) << name;
        EXPECT_GT(fs::file_size(dir.file(name)), 0u) << name; // it had been writing
    }
    EXPECT_FALSE(fs::exists(dir.file("mix.m4a")));
}

} // namespace
