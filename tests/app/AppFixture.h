#pragma once
// The application on a private home, for the application's tests: a home with copies of the
// build's database template, pad sounds and demo tracks, and one process lifetime of the
// application on it, driven buffer by buffer by the offline device on a manual clock.

#include "analysis/analyzeTrack.h"
#include "analysis/peakFileData.h"
#include "app/DuovexAppDelegate.h"
#include "app/LoadFile.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vx::test {

inline constexpr uint32_t kBufferFrames = 1024;

// Records every alert instead of showing it.
class FakeAlerts : public Alerts {
public:
    struct Shown {
        std::string title, message, button;
    };
    void showAlert(const std::string& title, const std::string& message,
                   const std::string& button) override {
        shown.push_back({title, message, button});
    }
    // A question is recorded under its first button and kept; one with a cancel button is
    // answered with it at once (as a presenter that cannot ask does) unless `keepQuestions`,
    // the others wait for press().
    void ask(AlertRequest request) override {
        shown.push_back({request.title, request.message,
                         request.buttons.empty() ? std::string() : request.buttons.front()});
        if (!keepQuestions && request.cancelButton >= 0 && request.answer) {
            request.answer(request.cancelButton, request.tag, request.text);
        } else {
            waiting.push_back(std::move(request));
        }
    }
    // Presses button `index` of the oldest question still waiting, with `text` typed into its
    // field (its own text when empty).
    void press(int index, const std::string& text = {}) {
        ASSERT_FALSE(waiting.empty());
        AlertRequest request = std::move(waiting.front());
        waiting.erase(waiting.begin());
        if (request.answer) {
            request.answer(index, request.tag, text.empty() ? request.text : text);
        }
    }
    bool keepQuestions = false;
    std::vector<Shown> shown;
    std::vector<AlertRequest> waiting;
};

// What a home gets of the build's resources.
struct AppHomeOptions {
    bool builtIns = true;          // copy the build's demo tracks
    bool builtInPeakFiles = false; // and their peak files (the tracks count as analysed)
};

// A private home: documents, the settings file, and a resource folder holding copies of the
// build's database template, pad sounds and demo tracks (copies, so that the peak files the
// decks write stay out of the build's folder).
class AppHome {
public:
    using Options = AppHomeOptions;
    explicit AppHome(Options options = {})
        : paths_(dir_.path() / "Documents", dir_.path() / "resources", dir_.path() / "tmp",
                 dir_.path() / "settings.json") {
        const fs::path built(VX_RESOURCES_DIR);
        fs::create_directories(paths_.documents());
        fs::create_directories(paths_.sound());
        fs::create_directories(paths_.samples());
        fs::copy_file(built / "velvox.sqlite", paths_.databaseTemplate());
        for (const auto& entry : fs::directory_iterator(built / "samples")) {
            fs::copy_file(entry.path(), paths_.samples() / entry.path().filename());
        }
        for (const auto& entry : fs::directory_iterator(built / "sound")) {
            const bool track = isTrackExtension(entry.path());
            if (!options.builtIns || (!track && !options.builtInPeakFiles)) {
                continue;
            }
            fs::copy_file(entry.path(), paths_.sound() / entry.path().filename());
            if (track) {
                demoTracks_.push_back(paths_.sound() / entry.path().filename());
            }
        }
        std::sort(demoTracks_.begin(), demoTracks_.end());
    }
    const Paths& paths() const { return paths_; }
    fs::path documents(const std::string& name) const { return paths_.documents() / name; }
    const std::vector<fs::path>& demoTracks() const { return demoTracks_; }

    // A short tone track in the documents folder whose name carries its tempo (so loading it
    // starts no analysis); with `peaks`, analysed once so that its peak file exists.
    fs::path addTrack(const std::string& stem, bool peaks = true, double seconds = 2.0) const {
        const fs::path path = documents(stem + " bpm120.mp3");
        EXPECT_TRUE(writeTone(path, seconds));
        if (peaks) {
            EXPECT_EQ(analyzeTrack(path, nullptr, nullptr), 1);
            EXPECT_TRUE(fs::exists(peakFilePath(path)));
        }
        return path;
    }

    // The database's track rows as (location, file name), in insertion order.
    std::vector<std::pair<int, std::string>> rowsInOrder() const {
        SQLite::Database db((paths_.documents() / DBController::kDatabaseName).string(),
                            SQLite::OPEN_READONLY);
        SQLite::Statement query(db, "select location, filename from parameters order by id");
        std::vector<std::pair<int, std::string>> rows;
        while (query.executeStep()) {
            rows.emplace_back(query.getColumn(0).getInt(), query.getColumn(1).getString());
        }
        return rows;
    }
    bool hasRow(int location, const std::string& name) const {
        const auto rows = rowsInOrder();
        return std::find(rows.begin(), rows.end(), std::make_pair(location, name)) != rows.end();
    }
    // Whether the database has a row for (location, the file's name).
    bool hasFileRow(int location, const fs::path& file) const {
        return hasRow(location, file.filename().string());
    }
    // Removes a track's row behind the application's back (no signature refresh).
    void removeRow(int location, const fs::path& file) const {
        auto db = DBController::init(paths_);
        ASSERT_TRUE(db);
        db->removeFileFromDB(trackHashForPath(file), location);
    }
    // The settings as written to disk.
    UserDefaults savedDefaults() const { return UserDefaults(paths_.settingsFile()); }

private:
    LibraryTempDir dir_;
    Paths paths_;
    std::vector<fs::path> demoTracks_;
};

// One process lifetime of the application on `home`.
class AppRun {
public:
    // `beforeLaunch` (if given) gets the delegate before its launch call.
    AppRun(const AppHome& home, const std::string& version = "1.0", bool tablet = false,
           const std::function<void(DuovexAppDelegate&)>& beforeLaunch = {})
        : loop_(clock_), device_(OfflineAudioDevice::Options{.bufferFrames = kBufferFrames}) {
        device_.attachRunLoop(&loop_, &clock_);
        device_.setSettleHook([this] {
            if (app_ && app_->engine()) {
                app_->engine()->settleDecoders();
            }
        });
        app_ = std::make_unique<DuovexAppDelegate>(home.paths(), device_, loop_, version, &alerts_);
        if (beforeLaunch) {
            beforeLaunch(*app_);
        }
        app_->applicationDidFinishLaunching(tablet);
        loop_.runFor(DuovexAppDelegate::kContinueLoadDelay);
        // Let the mixing screen restore both decks (deck 1 waits for deck 0).
        EXPECT_TRUE(app_->launched());
        EXPECT_TRUE(runUntil(
            [this] {
                return app_->mixingScreen() && app_->mixingScreen()->startupLoadsStarted() &&
                       !app_->engine()->deckOpening(0) && !app_->engine()->deckOpening(1);
            },
            2.0));
    }
    ~AppRun() {
        app_.reset();
        loop_.shutdown();
    }

    DuovexAppDelegate& app() { return *app_; }
    AudioOut& engine() { return *app_->engine(); }
    audioStream& deck(int d) { return app_->engine()->deck(d); }
    RunLoop& loop() { return loop_; }
    double now() const { return clock_.now(); }
    FakeAlerts& alerts() { return alerts_; }
    OfflineAudioDevice& device() { return device_; }

    // Renders audio buffer by buffer (the loop runs its due work after each) until `done`
    // holds or `seconds` of audio time have passed; returns `done`.
    bool runUntil(const std::function<bool()>& done, double seconds) {
        const double end = clock_.now() + seconds;
        while (!done()) {
            if (clock_.now() >= end) {
                return false;
            }
            device_.pull(kBufferFrames, {});
        }
        return true;
    }
    void runFor(double seconds) {
        runUntil([] { return false; }, seconds);
    }

    DBController& db() { return *app_->db(); }
    // Opens the browser for deck `d` as the mixing screen does.
    LoadFile& open(int d) {
        app_->showLoadFile(d);
        return *app_->loadFile();
    }
    void addToCrate(int crate, const fs::path& file) {
        db().addToCrate(crate, *db().getFullInfoForFile(file));
    }
    // Loads `file` on `deck` as if from crate `crate` and waits until it is loaded.
    void loadFromCrate(int d, const fs::path& file, int crate) {
        deck(d).crateIndex.store(crate);
        engine().runDecode(d, file);
        ASSERT_TRUE(runUntil([&] { return loadedFile(d) == file; }, 1.0));
    }
    // The file on deck `d` (empty when none).
    fs::path loadedFile(int d) {
        audioStream& s = deck(d);
        if (!s.isLoaded.load()) {
            return {};
        }
        std::lock_guard lock(*s.decodeLock);
        return s.info() ? s.info()->fileName : fs::path();
    }

private:
    ManualClock clock_;
    RunLoop loop_;
    OfflineAudioDevice device_;
    FakeAlerts alerts_;
    std::unique_ptr<DuovexAppDelegate> app_;
};

} // namespace vx::test
