// velvox-cli against damaged stores and hostile outputs: recordings never replaced, outputs
// that would destroy an input refused, settings values checked, runs stopped by a signal or a
// full disk ending with valid files and an honest exit code.

#include "CliHarness.h"

#include "platform/AudioFileReader.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace vx {
namespace {

using test::CliTest;
using test::quoted;
namespace fs = std::filesystem;

const fs::path kNightDrive = VX_RESOURCES_DIR "/sound/Night Drive.mp3";

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// The float WAVE file's own header (58 bytes, data size at 54) against its length, and what
// our reader makes of it.
struct WavCheck {
    uint64_t headerFrames = 0; // frames the header's data size announces
    uint64_t fileFrames = 0;   // whole frames the file holds after its header
    int64_t readerFrames = -1;
    float peak = 0.0f;
    bool finite = true;
};

WavCheck checkWav(const fs::path& path) {
    WavCheck c;
    const std::string bytes = test::slurp(path);
    if (bytes.size() < 58 || bytes.compare(0, 4, "RIFF") != 0) {
        return c;
    }
    c.headerFrames = le32(bytes, 54) / 8;
    c.fileFrames = (bytes.size() - 58) / 8;
    std::string error;
    auto reader = AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, &error);
    if (reader) {
        c.readerFrames = reader->lengthFrames();
        std::vector<float> block(2 * 8192);
        for (int64_t n; (n = reader->read(block.data(), 8192)) > 0;) {
            for (int64_t i = 0; i < 2 * n; ++i) {
                c.finite = c.finite && std::isfinite(block[size_t(i)]);
                c.peak = std::max(c.peak, std::fabs(block[size_t(i)]));
            }
        }
    }
    return c;
}

// The duration ffprobe reads from a file (another reader than ours), or -1.
double ffprobeSeconds(const fs::path& file) {
    const std::string command = "ffprobe -v error -show_entries format=duration -of csv=p=0 \"" +
                                file.string() + "\" 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return -1;
    }
    char text[64] = {};
    const bool got = std::fgets(text, sizeof text, pipe) != nullptr;
    ::pclose(pipe);
    return got ? std::atof(text) : -1;
}

class CliSafety : public CliTest {
protected:
    fs::path documents() const { return homeDir() / "Documents"; }

    // Starts `velvox-cli ARGUMENTS` in the background (through the shell, so `prefix` may set
    // limits); the shell execs it, so the pid is the CLI's.
    pid_t spawn(const std::string& arguments, const std::string& prefix = "") {
        const std::string command = prefix + "exec " + VX_CLI_PATH + " " + arguments + " >" +
                                    (dir_ / "bg.out").string() + " 2>" + (dir_ / "bg.err").string();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return child;
    }
    static int waitFor(pid_t child) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Waits (at most 60 s) until `file` holds `bytes` bytes.
    static void waitForSize(const fs::path& file, uintmax_t bytes) {
        for (int i = 0; i < 600; ++i) {
            std::error_code ec;
            if (fs::file_size(file, ec) >= bytes && !ec) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
};

// A recording holds the output, and is numbered. The counter is only a hint: an existing
// recording is never replaced, whether the counter
// restarted because the settings were damaged (which the run says) or because they cannot be
// kept at all (the settings file is a folder).
TEST_F(CliSafety, ARecordingNeverReplacesAnother) {
    fs::create_directories(documents());
    test::CliRun r = run(home() + " play " + quoted(kNightDrive) + " --out " +
                         (dir_ / "o.wav").string() + " --seconds 1 --record");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string first = test::slurp(documents() / "VXNexa_0000.wav");
    ASSERT_GT(first.size(), 58u);
    EXPECT_NE(r.out.find((documents() / "VXNexa_0000.wav").string()), std::string::npos) << r.out;
    const std::vector<float> output = test::readAudio(dir_ / "o.wav");
    ASSERT_EQ(output.size(), size_t(44100 * 2));
    EXPECT_TRUE(test::readAudio(documents() / "VXNexa_0000.wav") == output);

    std::ofstream(homeDir() / "settings.json") << "{\"values\": {\"FileSeqNo\": ";
    r = run(home() + " play " + quoted(kNightDrive) + " --out " + (dir_ / "o.wav").string() +
            " --seconds 1 --start 5 --record");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(homeDir() / "settings.json.corrupt-1"));
    EXPECT_NE(r.out.find("VXNexa_0001.wav"), std::string::npos) << r.out;

    fs::remove(homeDir() / "settings.json");
    fs::create_directory(homeDir() / "settings.json");
    for (const char* next : {"VXNexa_0002.wav", "VXNexa_0003.wav"}) {
        r = run(home() + " play " + quoted(kNightDrive) + " --out " + (dir_ / "o.wav").string() +
                " --seconds 1 --start 9 --record");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(next), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("not a file"), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::slurp(documents() / "VXNexa_0000.wav"), first);
}

// An output that is an input of the run, the library, the settings, another database or a file
// another run is writing is refused with one line and a failure code; nothing is touched.
TEST_F(CliSafety, OutputsThatWouldDestroySomethingAreRefused) {
    fs::create_directories(documents());
    ASSERT_EQ(run(home() + " play " + quoted(kNightDrive) + " --seconds 1 --out " +
                  (dir_ / "first.wav").string())
                  .exitCode,
              0);
    const fs::path track = documents() / "Track.mp3";
    fs::copy_file(kNightDrive, track);
    fs::copy_file(documents() / "velvox.sqlite", dir_ / "other.db");
    const std::string play = home() + " play " + quoted(track) + " --seconds 1 ";

    // A file another run is writing, checked while that run still writes it (an offline run
    // reaches the WAVE size limit, and ends, within half a minute).
    const fs::path busy = dir_ / "busy.wav";
    const pid_t writer =
        spawn(home() + " play " + quoted(kNightDrive) + " --seconds 86400 --out " + busy.string());
    waitForSize(busy, 1 << 20);
    const test::CliRun refused = run(play + "--out " + busy.string());
    ::kill(writer, SIGKILL);
    waitFor(writer);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("another program"), std::string::npos) << refused.err;

    const struct {
        std::string arguments;
        fs::path victim;
        const char* says;
    } cases[] = {
        {play + "--out " + quoted(track), track, "inputs"},
        {play + "--out " + (documents() / "velvox.sqlite").string(), documents() / "velvox.sqlite",
         "library"},
        {play + "--out " + (homeDir() / "settings.json").string(), homeDir() / "settings.json",
         "settings"},
        {play + "--out " + (dir_ / "other.db").string(), dir_ / "other.db", "database"},
        {play + "--out " + (dir_ / "o.wav").string() + " --record " + quoted(track), track,
         "inputs"},
        {home() + " party " + documents().string() + " --minutes 0.1 --out " + quoted(track), track,
         "inputs"},
        {home() + " convert " + quoted(track) + " " + quoted(track), track, "inputs"},
    };
    for (const auto& c : cases) {
        const std::string before = test::slurp(c.victim);
        const test::CliRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 1) << c.arguments;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(test::slurp(c.victim), before) << c.arguments;
    }
}

// A settings file whose numbers are not numbers (NaN master volume, a per-track volume of
// 1e30) must not reach the mix: the defaults apply and the good values are saved back.
TEST_F(CliSafety, BadSettingsNumbersFallBackToTheirDefaults) {
    fs::create_directories(homeDir());
    ASSERT_EQ(run(home() + " party --minutes 0.05").exitCode, 0);
    std::string settings = test::slurp(homeDir() / "settings.json");
    const size_t at = settings.find("\"LastVolume\"");
    ASSERT_NE(at, std::string::npos);
    const size_t value = settings.find("0.5", at);
    settings.replace(value, 3, "\"nan\"");
    std::ofstream(homeDir() / "settings.json") << settings;

    const fs::path mix = dir_ / "mix.wav";
    const test::CliRun r = run(home() + " party --minutes 0.1 --out " + mix.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const WavCheck c = checkWav(mix);
    EXPECT_TRUE(c.finite);
    EXPECT_GT(c.peak, 0.05f);
    EXPECT_LE(c.peak, 1.0f);
    const std::string saved = test::slurp(homeDir() / "settings.json");
    EXPECT_EQ(saved.find("nan"), std::string::npos) << saved;
}

// SIGTERM (and SIGINT) end a run the normal way: the mix is finished with a full header, the
// state is saved, and the exit code says the run was cut short. A SIGKILL leaves no time for
// that; the outputs (and the recording of the mix) still carry headers at most a few seconds
// of audio behind their data, and hold the music.
TEST_F(CliSafety, SignalsAndKillsLeaveValidFiles) {
    const fs::path mix = dir_ / "mix.wav";
    pid_t child = spawn(home() + " party --minutes 600 --out " + mix.string());
    waitForSize(mix, 8u << 20);
    ::kill(child, SIGTERM);
    EXPECT_EQ(waitFor(child), 128 + SIGTERM);
    WavCheck c = checkWav(mix);
    EXPECT_GT(c.fileFrames, 0u);
    EXPECT_EQ(c.headerFrames, c.fileFrames);
    EXPECT_EQ(c.readerFrames, int64_t(c.fileFrames));
    EXPECT_NEAR(ffprobeSeconds(mix), double(c.fileFrames) / 44100.0, 0.01);
    EXPECT_NE(test::slurp(homeDir() / "settings.json").find("kStreamFile0"), std::string::npos);

    const fs::path out = dir_ / "killed.wav";
    const fs::path recording = dir_ / "recording.wav";
    for (const std::string& command :
         {"party --minutes 600 --out " + out.string(),
          "play \"" VX_RESOURCES_DIR "/sound/Solar Run.mp3\" --seconds 86400 --out " +
              out.string() + " --record " + recording.string()}) {
        fs::remove(out);
        child = spawn(home() + " " + command);
        waitForSize(out, 40u << 20); // about two minutes of audio
        ::kill(child, SIGKILL);
        waitFor(child);
        for (const fs::path& file : {out, recording}) {
            if (file == recording && command.rfind("party", 0) == 0) {
                continue;
            }
            SCOPED_TRACE(command + ": " + file.filename().string());
            c = checkWav(file);
            EXPECT_GT(c.headerFrames, 0u);
            EXPECT_LE(c.headerFrames, c.fileFrames);
            // Behind by at most two seconds of audio and the writers' buffers.
            EXPECT_GE(c.headerFrames + 3 * 44100, c.fileFrames);
            EXPECT_EQ(c.readerFrames, int64_t(c.headerFrames));
            EXPECT_NEAR(ffprobeSeconds(file), double(c.headerFrames) / 44100.0, 0.01);
            EXPECT_TRUE(c.finite);
            EXPECT_GT(c.peak, 0.1f);
            EXPECT_LE(c.peak, 1.0f);
        }
    }
}

// A write that fails (here a file size limit; a full disk behaves the same) ends the recording:
// the file is valid and holds what was written, the failure is said on stderr, the exit code
// is not 0.
TEST_F(CliSafety, AFailedWriteEndsTheRunWithAValidFile) {
    for (const char* command : {"party --minutes 2 --out ",
                                "play \"" VX_RESOURCES_DIR "/sound/Solar Run.mp3\" --seconds 60 "
                                "--out "}) {
        const fs::path out = dir_ / "limited.wav";
        fs::remove(out);
        // 2048 blocks of 512 bytes: about three seconds of float stereo audio.
        const pid_t child = spawn(home() + " " + command + out.string(), "ulimit -f 2048; ");
        EXPECT_EQ(waitFor(child), 1) << command;
        const std::string err = test::slurp(dir_ / "bg.err");
        EXPECT_NE(err.find("File too large"), std::string::npos) << err;
        const WavCheck c = checkWav(out);
        EXPECT_GT(c.fileFrames, 2u * 44100u) << command;
        EXPECT_EQ(c.headerFrames, c.fileFrames) << command;
        EXPECT_EQ(c.readerFrames, int64_t(c.fileFrames)) << command;
    }
}

// A conversion killed half way leaves a hidden partial file; the next start removes it (but
// not one a running conversion still writes).
TEST_F(CliSafety, PartialFilesOfKilledConversionsAreRemoved) {
    fs::create_directories(documents());
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    waitFor(gone);
    const fs::path stale = documents() / (".mix.m4a.part-" + std::to_string(gone) + "-0");
    const fs::path live = documents() / (".mix.m4a.part-" + std::to_string(::getpid()) + "-0");
    std::ofstream(stale) << "partial";
    std::ofstream(live) << "partial";
    ASSERT_EQ(run(home() + " info " + quoted(kNightDrive)).exitCode, 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
}

// What is wrong with an input is said as it is.
TEST_F(CliSafety, InputProblemsAreNamed) {
    const fs::path fifo = dir_ / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path locked = dir_ / "locked.mp3";
    fs::copy_file(kNightDrive, locked);
    fs::permissions(locked, fs::perms::none);
    const bool root = ::geteuid() == 0; // reads anything: no "Permission denied" to see
    const struct {
        fs::path input;
        const char* says;
    } cases[] = {
        {dir_, "is a folder"},
        {fifo, "FIFO"},
        {dir_ / "missing.mp3", "no such file"},
        {locked, root ? "" : "Permission denied"},
    };
    for (const auto& c : cases) {
        for (const std::string& command :
             {"play " + quoted(c.input) + " --out " + (dir_ / "o.wav").string(),
              "analyze " + quoted(c.input)}) {
            if (root && c.input == locked) {
                continue;
            }
            const test::CliRun r = run(home() + " " + command);
            EXPECT_EQ(r.exitCode, 1) << command;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << command << ": " << r.err;
        }
    }
}

} // namespace
} // namespace vx
