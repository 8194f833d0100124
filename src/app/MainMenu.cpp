#include "app/MainMenu.h"

#include "analysis/BeatDetect.h"
#include "controls/BatchAnalize.h"
#include "dsp/SamplePlayerFixed.h"
#include "engine/AudioOut.h"
#include "library/DBController.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vx {

namespace {

constexpr const char* kAutoEqKey = "kAutoEqEnabled";

std::string lowerAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

uint64_t sizeOf(const std::filesystem::path& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

} // namespace

MainMenu::MainMenu(AudioOut& engine, DBController* db, UserDefaults& defaults,
                   NotificationCenter& notifications, RunLoop& loop,
                   std::filesystem::path documents, MainMenuHost& host)
    : engine_(engine), db_(db), defaults_(defaults), notifications_(notifications), loop_(loop),
      documents_(std::move(documents)), host_(host) {
    for (const char* name : {"importDone", "sampleChanged"}) {
        notifications_.addObserver(this, name, [this](const Notification&) { updateLables(); });
    }
    pitchChanged(0.0f);
    tuning_[0] = onsetRatioThreshold();
    tuning_[1] = onsetRiseThreshold();
    updateLables();
}

void MainMenu::fileImported(const ImportParams& params) {
    if (db_) {
        iTunesImporter::registerImportedFile(*db_, db_->paths(), params);
    }
}

MainMenu::~MainMenu() {
    notifications_.removeObserver(this);
    cpuTimer_.invalidate();
}

std::string MainMenu::sizeText(uint64_t bytes) {
    char text[64];
    if (bytes < 1048576) {
        std::snprintf(text, sizeof text, "%3.0f\n%s", double(bytes) / 1024.0, "kb");
    } else {
        std::snprintf(text, sizeof text, "%3.0f\n%s", double(bytes) / 1048576.0, "Mb");
    }
    return text;
}

bool MainMenu::isRecording(const std::filesystem::path& file) {
    const std::string extension = lowerAscii(file.extension().string());
    return (extension == ".wav" || extension == ".m4a") &&
           file.filename().string().rfind("VXNexa", 0) == 0;
}

void MainMenu::updateLables() {
    userTracks_ = 0;
    notAnalyzedTracks_ = 0;
    uint64_t trackBytes = 0;
    if (db_) {
        if (const auto list = db_->getListForGroup(kUserLocation)) {
            for (const auto& info : *list) {
                if (!info) {
                    continue;
                }
                ++userTracks_;
                trackBytes += sizeOf(info->fileName);
                notAnalyzedTracks_ += BatchAnalize::needsAnalysis(*info) ? 1 : 0;
            }
        }
    }
    int records = 0;
    uint64_t recordBytes = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(documents_, ec)) {
        if (entry.is_regular_file(ec) && isRecording(entry.path())) {
            ++records;
            recordBytes += sizeOf(entry.path());
        }
    }
    tracksNum_ = std::to_string(userTracks_);
    tracksSize_ = sizeText(trackBytes);
    notAnalyzed_ = std::to_string(notAnalyzedTracks_);
    recordsNum_ = std::to_string(records);
    recordsSize_ = sizeText(recordBytes);
    for (int i = 0; i < kPadCount; ++i) {
        const std::string& path = engine_.initialized() ? engine_.pad(i).path : std::string();
        samples_[size_t(i)] =
            path.empty() ? std::string("no sample") : std::filesystem::path(path).stem().string();
    }
    autoEq_ = defaults_.boolForKey(kAutoEqKey, false);
}

void MainMenu::updateCpu() {
    const double load = engine_.lastCpuLoad();
    if (load < 0.0 || load > 2.0 || !std::isfinite(load)) {
        cpu_.clear();
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%3.2f", load * 100.0);
    cpu_ = text;
}

void MainMenu::viewWillAppear() {
    updateLables();
    updateCpu();
    cpuTimer_.invalidate();
    cpuTimer_ = loop_.every(kCpuRefreshSeconds, [this] { updateCpu(); });
}

void MainMenu::viewDidDisappear() {
    cpuTimer_.invalidate();
}

void MainMenu::close() {
    viewDidDisappear();
    host_.mainMenuDidHide();
}

void MainMenu::setup() {
    host_.showSettings();
}

void MainMenu::batchRun() {
    updateLables();
    if (notAnalyzedTracks_ > 0) {
        host_.showBatchAnalysis();
    } else {
        host_.showMenuAlert(kNothingToAnalyze);
    }
}

void MainMenu::partyModeAction() {
    updateLables();
    if (userTracks_ >= kPartyModeMinimumTracks) {
        host_.showPartyMode();
    } else {
        host_.showMenuAlert(kPartyNeedsTracks);
    }
}

void MainMenu::autoEqAction() {
    autoEq_ = !defaults_.boolForKey(kAutoEqKey, false);
    defaults_.setBool(kAutoEqKey, autoEq_);
    notifications_.postNow("settingChanged", std::string(kAutoEqKey)); // the mixer reads it again
}

void MainMenu::sampleVolumeAction(float value) {
    engine_.setSampleGain(std::clamp(value, 0.0f, 1.0f));
}

void MainMenu::pitchChanged(float halfTones) {
    char text[32];
    std::snprintf(text, sizeof text, "Pitch: %+2i HT", static_cast<int>(std::trunc(halfTones)));
    pitch_ = text;
}

} // namespace vx

namespace vx {

void MainMenu::changeBMParam(int tag, float value) {
    const int i = tag - kFirstTuningTag;
    if (i < 0 || i >= kTuningCount || !std::isfinite(value)) {
        return;
    }
    tuning_[size_t(i)] = value;
    if (i == 0) {
        setOnsetRatioThreshold(value);
    } else if (i == 1) {
        setOnsetRiseThreshold(value);
    }
}

std::string MainMenu::tuningLabel(int i) const {
    char text[32];
    if (i == kTuningCount - 1) {
        std::snprintf(text, sizeof text, "%3.1f %%", double(tuning_[size_t(i)]) * 100.0);
    } else {
        std::snprintf(text, sizeof text, "%2.2f", double(tuning_[size_t(i)]));
    }
    return text;
}

} // namespace vx
