// `play --device` on a real sound path: a PulseAudio daemon of the test's own with a null sink,
// reached through ALSA's default device as on a desktop. The run names the device that plays
// and keeps PortAudio's JACK probe off stderr (no JACK server runs here).

#include "CliHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using vx::test::CliRun;

class CliPlayDevice : public vx::test::CliTest {
protected:
    // Starts the daemon on a runtime folder inside the test's folder; false when it cannot.
    bool startPulse() {
        if (std::system("command -v pulseaudio >/dev/null 2>&1") != 0) {
            return false;
        }
        runtime_ = dir_ / "runtime";
        fs::create_directories(runtime_);
        const std::string command =
            environment() +
            " pulseaudio --daemonize=yes -n --exit-idle-time=-1 --use-pid-file=yes"
            " --load='module-null-sink sink_name=vxnull' --load=module-native-protocol-unix"
            " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            return false;
        }
        for (int i = 0; i < 50 && !fs::exists(runtime_ / "pulse" / "native"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::ifstream pid(runtime_ / "pulse" / "pid");
        return bool(pid >> pid_) && fs::exists(runtime_ / "pulse" / "native");
    }
    void TearDown() override {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) {
            // The daemon is no child of ours: wait until it is gone (and its sockets with it).
            for (int i = 0; i < 100 && ::kill(pid_, 0) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        CliTest::TearDown();
    }
    std::string environment() const {
        return "XDG_RUNTIME_DIR=" + runtime_.string() + " HOME=" + runtime_.string() +
               " PULSE_SERVER=unix:" + (runtime_ / "pulse" / "native").string();
    }

    fs::path runtime_;
    pid_t pid_ = 0;
};

TEST_F(CliPlayDevice, PlaysOnAlsaDefaultQuietlyAndNamesTheDevice) {
    if (!startPulse()) {
        GTEST_SKIP() << "no PulseAudio daemon could be started: the sound-card path is not tested";
    }
    const std::string demo =
        "'" + (fs::path(VX_RESOURCES_DIR) / "sound" / "Neon Harbor.mp3").string() + "'";
    // The run gets the daemon's address; stdout and stderr are kept apart.
    const CliRun r = run(home() + " play " + demo + " --device --seconds 1 --json", environment());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["device"], "ALSA: default");
    std::string stderrText = r.err;
    std::transform(stderrText.begin(), stderrText.end(), stderrText.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    EXPECT_EQ(stderrText.find("jack"), std::string::npos) << stderrText;
    EXPECT_EQ(stderrText.find("cannot connect to server"), std::string::npos) << stderrText;
}

} // namespace
