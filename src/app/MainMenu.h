#pragma once
// MainMenu: the hub the mixing screen's menu button opens — library and recording statistics,
// the engine's load, the sampler pads' names, and the buttons that open the other screens.
//
// A toolkit-free controller: plain label texts and button states, handler methods named after
// the menu's actions. What it cannot do itself (open a screen, close the menu, show an alert)
// it asks of its host, the application. The labels are recomputed when the menu is shown, when
// "importDone" or "sampleChanged" is posted, and the load label by a timer while it is shown.
//
// Threads: main thread only.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/RunLoop.h"

namespace vx {

class AudioOut;
class DBController;
class NotificationCenter;
class UserDefaults;

// What the menu asks of the application.
class MainMenuHost {
public:
    virtual ~MainMenuHost() = default;
    virtual void mainMenuDidHide() = 0;
    virtual void showSettings() = 0;
    virtual void showBatchAnalysis() = 0;
    virtual void showPartyMode() = 0;
    // An alert titled "Velvox Nexa" with an "OK" button.
    virtual void showMenuAlert(const std::string& message) = 0;
};

class MainMenu {
public:
    static constexpr int kPadCount = 6;
    static constexpr int kPartyModeMinimumTracks = 5;
    static constexpr double kCpuRefreshSeconds = 1.0;
    static constexpr int kTuningCount = 4;
    static constexpr int kFirstTuningTag = 500;
    static constexpr const char* kNothingToAnalyze = "Nothing to analyze.";
    static constexpr const char* kPartyNeedsTracks =
        "To function correctly, Party Mode needs at least 5 user-imported tracks.\n"
        "Please add more tracks!";

    MainMenu(AudioOut& engine, DBController* db, UserDefaults& defaults,
             NotificationCenter& notifications, RunLoop& loop, std::filesystem::path documents,
             MainMenuHost& host);
    ~MainMenu();
    MainMenu(const MainMenu&) = delete;
    MainMenu& operator=(const MainMenu&) = delete;

    // The menu is shown / removed (the load label's timer runs in between).
    void viewWillAppear();
    void viewDidDisappear();
    // Recomputes every label but the load's.
    void updateLables();
    // Reads the engine's last load into the load label.
    void updateCpu();

    // --- actions ----------------------------------------------------------------------------
    void close();
    void setup();
    void batchRun();
    void partyModeAction();
    void autoEqAction();
    // Slider 0…1: the sampler pads' gain.
    void sampleVolumeAction(float value);
    // The pitch slider's value in half tones.
    void pitchChanged(float halfTones);
    // Tuning slider `tag` (500…503) moved to `value`: the beat detector's onset ratio and rise
    // thresholds (500, 501) take it at once; 502 and 503 are kept and shown. Other tags are
    // ignored.
    void changeBMParam(int tag, float value);

    // --- state the screen draws ---------------------------------------------------------------
    const std::string& tracksNumLabel() const { return tracksNum_; }
    const std::string& tracksSizeLabel() const { return tracksSize_; }
    const std::string& notAnalyzedLabel() const { return notAnalyzed_; }
    const std::string& recordsNumLabel() const { return recordsNum_; }
    const std::string& recordsSizeLabel() const { return recordsSize_; }
    // Empty while the load is outside 0–200 %.
    const std::string& cpuLabel() const { return cpu_; }
    const std::string& pitchLabel() const { return pitch_; }
    // Pad i (0…5): the sample's file name without extension, or "no sample".
    const std::string& sampleLabel(int pad) const { return samples_[size_t(pad)]; }
    bool autoEqSelected() const { return autoEq_; }
    // Tuning slider i (tag 500 + i) and its label (tag 600 + i): "%2.2f" for the first three,
    // "%3.1f %%" of value × 100 for the fourth.
    float tuningValue(int i) const { return tuning_[size_t(i)]; }
    std::string tuningLabel(int i) const;
    int userTracks() const { return userTracks_; }
    int notAnalyzedTracks() const { return notAnalyzedTracks_; }

    // "%3.0f\n%@": kilobytes below 1048576 bytes, else megabytes.
    static std::string sizeText(uint64_t bytes);
    // Whether `file` counts as a recorded mix: directly in the documents folder, extension
    // "wav" or "m4a" in any case, name beginning with "VXNexa".
    static bool isRecording(const std::filesystem::path& file);

private:
    AudioOut& engine_;
    DBController* db_;
    UserDefaults& defaults_;
    NotificationCenter& notifications_;
    RunLoop& loop_;
    std::filesystem::path documents_;
    MainMenuHost& host_;
    TimerHandle cpuTimer_;
    std::string tracksNum_, tracksSize_, notAnalyzed_, recordsNum_, recordsSize_, cpu_, pitch_;
    std::array<std::string, kPadCount> samples_;
    std::array<float, kTuningCount> tuning_{5.85f, 450.0f, 0.37f, 0.05f};
    bool autoEq_ = false;
    int userTracks_ = 0;
    int notAnalyzedTracks_ = 0;
};

} // namespace vx
