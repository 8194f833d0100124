#pragma once
// Runs velvox-cli as a child process in a temporary folder of the test's own, capturing its
// exit code, standard output and standard error; and the small file helpers the CLI tests
// share.

#include "platform/AudioFileReader.h"
#include "platform/AudioFileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vx::test {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// A path as one shell word.
inline std::string quoted(const fs::path& p) {
    return "\"" + p.string() + "\"";
}

// The interleaved stereo samples of an audio file at 44100 Hz, the whole length its header
// announces (empty when it cannot be read).
inline std::vector<float> readAudio(const fs::path& path) {
    std::string error;
    auto reader = AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, &error);
    EXPECT_TRUE(reader) << error;
    if (!reader) {
        return {};
    }
    std::vector<float> out(size_t(reader->lengthFrames()) * 2);
    const int64_t got = reader->read(out.data(), reader->lengthFrames());
    EXPECT_EQ(got, reader->lengthFrames()) << path;
    out.resize(size_t(std::max<int64_t>(got, 0)) * 2);
    return out;
}

inline float peakOf(const std::vector<float>& samples) {
    float peak = 0.0f;
    for (float s : samples) {
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
}

// A stereo sine of `hz` at amplitude 0.5, `frames` frames at `rate`.
inline fs::path writeSine(const fs::path& path, double hz, int64_t frames, int rate = 44100,
                          AudioFileWriter::Format format = AudioFileWriter::Format::WavInt16) {
    std::string error;
    auto writer = AudioFileWriter::create(path, format, rate, 2, &error);
    EXPECT_TRUE(writer) << error;
    std::vector<float> samples(size_t(frames) * 2);
    for (int64_t i = 0; i < frames; ++i) {
        samples[size_t(2 * i)] = samples[size_t(2 * i + 1)] =
            0.5f * float(std::sin(2 * M_PI * hz * double(i) / rate));
    }
    EXPECT_TRUE(writer && writer->write(samples.data(), frames) && writer->close());
    return path;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vx-cli-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The application's home for the run, and the option that selects it.
    fs::path homeDir() const { return dir_ / "home"; }
    std::string home() const { return "--home " + homeDir().string(); }

    // velvox-cli ARGUMENTS, with `environment` ("NAME=value ...") set for this run only.
    CliRun run(const std::string& arguments, const std::string& environment = "") {
        const fs::path out = dir_ / "stdout.txt";
        const fs::path err = dir_ / "stderr.txt";
        const std::string command = environment + " " + VX_CLI_PATH + " " + arguments + " >" +
                                    out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        CliRun r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }

    fs::path dir_;
};

inline size_t lineCount(const std::string& s) {
    return static_cast<size_t>(std::count(s.begin(), s.end(), '\n'));
}

} // namespace vx::test
