#pragma once
// A documents folder, an engine on the offline device, defaults, notifications, a memory
// pasteboard, a fake preview player and recorded alerts: what both library screens work on.

#include "engine/ConversionState.h"
#include "engine/EngineFixture.h"
#include "platform/Alerts.h"
#include "platform/AudioFileWriter.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/FakePreviewPlayer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace vx::test {

namespace fs = std::filesystem;

class AlertLog : public Alerts {
public:
    void showAlert(const std::string& title, const std::string& message,
                   const std::string&) override {
        shown.push_back(title + ": " + message);
    }
    std::vector<std::string> shown;
};

struct SamplesFixture : ::testing::Test {
    SamplesFixture() {
        fs::create_directories(docs);
        for (const char* name : {"sampleChanged", "playBackFileChanged"}) {
            notifications.addObserver(this, name,
                                      [this](const Notification& n) { ++posted[n.name]; });
        }
    }
    ~SamplesFixture() override { notifications.removeObserver(this); }

    // A 16-bit stereo WAV of a 440 Hz tone lasting `seconds`.
    fs::path writeTone(const std::string& name, double seconds = 1.0) {
        const fs::path path = docs / name;
        EXPECT_TRUE(writeTrack(path, int64_t(seconds * 44100), sine(440.0), 44100,
                               AudioFileWriter::Format::WavInt16));
        return path;
    }
    static void writeBytes(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string readBytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int deliveries(const std::string& name) {
        loop.runPosted();
        return posted[name];
    }

    TempDir dir;
    fs::path docs = dir.path() / "Documents";
    ManualClock clock;
    RunLoop loop{clock};
    NotificationCenter notifications{loop};
    UserDefaults defaults{dir.path() / "settings.json"};
    Engine engine{1024, SampleFormat::Float32NonInterleaved, &loop};
    MemoryPasteboard pasteboard;
    FakePreviewPlayer preview{10.0};
    AlertLog alerts;
    std::map<std::string, int> posted;
};

} // namespace vx::test
