// velvox-cli import [FOLDER | FILE...] [--json]: imports every track of the music folder (or
// of FOLDER, or the given files) into the documents folder as the application's import does:
// each file is copied in under its import name, registered in the track database (a song
// imported before replaces its file and keeps its row), with a progress line per file on
// stderr. Every item is tried; the exit status is 1 when any failed.

#include "cli/CliCommand.h"
#include "library/DBController.h"
#include "library/TrackHash.h"
#include "library/VXAudioFileInfo.h"
#include "library/iTunesImporter.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/MusicLibrary.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace vx::cli {

namespace fs = std::filesystem;

namespace {

// The command's delegate: registers each file as the browser does and ends the run loop.
class CliImportDelegate final : public iTunesImporterDelegate {
public:
    CliImportDelegate(DBController& db, const Paths& paths, RunLoop& loop)
        : db_(db), paths_(paths), loop_(loop) {}
    void fileImported(const ImportParams& params) override {
        if (!iTunesImporter::registerImportedFile(db_, paths_, params)) {
            failed_.push_back(params.source);
        }
    }
    void importDone() override {
        done_ = true;
        loop_.quit();
    }
    bool done() const { return done_; }
    bool registrationFailed(const fs::path& source) const {
        return std::find(failed_.begin(), failed_.end(), source) != failed_.end();
    }

private:
    DBController& db_;
    const Paths& paths_;
    RunLoop& loop_;
    std::vector<fs::path> failed_;
    bool done_ = false;
};

// Alerts of a headless run are not shown: every item's error is in the report.
class SilentAlerts final : public Alerts {
public:
    void showAlert(const std::string&, const std::string&, const std::string&) override {}
};

} // namespace

int runImport(CommandContext& context) {
    auto& args = context.args;
    const bool json = takeFlag(args, "--json");
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option '" + a +
                              "' (usage: velvox-cli import [FOLDER | "
                              "FILE...] [--json])");
        }
    }
    std::string error;
    if (!context.paths.ensureWritableFolders(&error)) {
        return failure(error);
    }
    UserDefaults defaults(context.paths.settingsFile());
    std::error_code ec;
    const bool folderGiven = args.size() == 1 && fs::is_directory(args.front(), ec);
    for (const std::string& a : args) {
        if (!folderGiven && fs::is_directory(a, ec)) {
            return usageError("give one FOLDER or files, not both ('" + a + "' is a folder)");
        }
    }
    // Ids are relative to the music folder, also for a subfolder of it or files in it.
    const fs::path musicFolder = MusicLibrary::musicFolder(defaults);
    const fs::path folder = folderGiven ? fs::path(args.front()) : musicFolder;
    const MusicLibrary library(
        folder, isInsideFolder(fs::absolute(folder, ec), musicFolder) ? musicFolder : folder);
    std::vector<MusicLibraryItem> items;
    if (args.empty() || folderGiven) {
        if (!fs::is_directory(library.folder(), ec)) {
            return failure("no music folder at " + library.folder().string());
        }
        items = library.items();
    } else {
        // Single files keep the ids they have as part of the music folder.
        for (const std::string& a : args) {
            items.push_back(library.itemForFile(a));
        }
    }

    auto db = DBController::init(context.paths, &error);
    if (!db) {
        return failure("the library cannot be opened: " + error);
    }
    SystemClock clock;
    RunLoop loop(clock);
    CliImportDelegate delegate(*db, context.paths, loop);
    SilentAlerts alerts;
    iTunesImporter importer(loop, context.paths.documents(), &defaults, &alerts, &delegate);
    importer.setItemStarted([](int index, int count, const ImportParams& params) {
        std::fprintf(stderr, "importing %d of %d: %s\n", index, count,
                     params.source.filename().string().c_str());
    });
    // SIGINT/SIGTERM cancel the import: the file being copied is dropped, the rest skipped.
    TimerHandle watch = loop.every(0.05, [&] {
        if (stopSignal() != 0) {
            importer.cancelImport();
        }
    });
    importer.mediaPickerDidPickMediaItems(std::move(items));
    while (!delegate.done()) {
        loop.run();
    }
    watch.invalidate();
    defaults.synchronize();

    nlohmann::ordered_json results = nlohmann::ordered_json::array();
    bool allOk = true;
    for (const ImportOutcome& outcome : importer.outcomes()) {
        const ImportParams& p = outcome.params;
        std::string itemError = outcome.error;
        if (itemError.empty() && delegate.registrationFailed(p.source)) {
            itemError = "the imported file could not be registered";
        }
        allOk = allOk && itemError.empty();
        if (json) {
            results.push_back({{"source", p.source.string()},
                               {"file", p.File.empty() ? nlohmann::ordered_json()
                                                       : nlohmann::ordered_json(p.File.string())},
                               {"title", p.title},
                               {"artist", p.artist},
                               {"album", p.album},
                               {"tempo", p.tempo},
                               {"pid", p.pid},
                               {"reimport", p.reimport},
                               {"error", itemError.empty() ? nlohmann::ordered_json()
                                                           : nlohmann::ordered_json(itemError)}});
        } else if (itemError.empty()) {
            std::cout << p.source.string() << " -> " << p.File.filename().string()
                      << (p.reimport ? " (replaced)" : "") << "\n";
        } else {
            std::cout << p.source.string() << ": " << itemError << "\n";
        }
    }
    if (json) {
        std::cout << results.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                  << "\n";
    }
    if (stopSignal() != 0) {
        return 128 + stopSignal();
    }
    return allOk ? 0 : 1;
}

} // namespace vx::cli
