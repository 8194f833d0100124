// velvox-cli analyze FILE... [--json]: analyses each file as the application does (the
// engine's analysis task: tempo, beat marks, peaks and gain; the peak file is written beside
// the track and the database updated) and reports the result per file.
// velvox-cli analyze --all [--json]: reconciles the documents folder with the library as a
// launch does, then analyses every user track that has no tempo or no peak file (what the
// batch analysis screen lists), with a progress line per track on stderr.

#include "analysis/analyzeTrack.h"
#include "analysis/peakFileData.h"
#include "cli/CliCommand.h"
#include "controls/BatchAnalize.h"
#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "library/DBController.h"
#include "library/TrackLocation.h"
#include "platform/AudioFileReader.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>

namespace vx::cli {

int runAnalyze(CommandContext& context) {
    auto& args = context.args;
    const bool json = takeFlag(args, "--json");
    const bool all = takeFlag(args, "--all");
    if (args.empty() == !all) {
        return usageError("usage: velvox-cli analyze FILE... [--json] | analyze --all [--json]");
    }
    std::string error;
    if (!context.paths.ensureWritableFolders(&error)) {
        return failure(error);
    }
    ManualClock clock;
    RunLoop loop(clock);
    NotificationCenter notifications(loop);
    UserDefaults defaults(context.paths.settingsFile());
    EngineServices services;
    services.db = DBController::init(context.paths);
    services.defaults = &defaults;
    services.notifications = &notifications;
    services.loop = &loop;
    OfflineAudioDevice device;
    AudioOut engine(device, &loop, &services);
    engine.init();

    std::vector<std::filesystem::path> files(args.begin(), args.end());
    if (all) {
        if (!services.db) {
            return failure("the library cannot be opened");
        }
        services.db->updateDirectory(context.paths.documents(), kUserLocation);
        if (const auto list = services.db->getListForGroup(kUserLocation)) {
            for (const auto& info : *list) {
                if (info && BatchAnalize::needsAnalysis(*info)) {
                    files.push_back(info->fileName);
                }
            }
        }
    }

    nlohmann::json results = nlohmann::json::array();
    bool allOk = true;
    int done = 0;
    for (const std::filesystem::path& path : files) {
        if (all) {
            std::fprintf(stderr, "analyzing %d of %d: %s\n", ++done, int(files.size()),
                         path.filename().string().c_str());
        }
        nlohmann::json row = {{"path", path.string()},     {"bpm", nullptr},
                              {"firstBeatFrame", nullptr}, {"gain", nullptr},
                              {"beats", nullptr},          {"seconds", nullptr},
                              {"error", nullptr}};
        const auto fail = [&](const std::string& why) {
            allOk = false;
            row["error"] = why;
            if (!json) {
                std::fprintf(stderr, "velvox-cli: %s: %s\n", path.string().c_str(), why.c_str());
            }
        };
        if (const auto problem = inputProblem(path)) {
            fail(*problem);
            results.push_back(row);
            continue;
        }
        std::string openError;
        const auto reader =
            AudioFileReader::open(path, AudioFileReader::Client::Mono44100, &openError);
        if (!reader) {
            // A refused header (rate, length) says why; anything else is simply not audio.
            const bool refused = openError.find("unsupported") != std::string::npos ||
                                 openError.find("refused") != std::string::npos;
            fail(refused ? openError : "not a readable audio file");
            results.push_back(row);
            continue;
        }
        const std::string damage = reader->fileFormat().damage;
        int outcome = 0;
        // The result is taken from the analysis's own record: the peak file is checked against
        // it afterwards, so a file that could not be written is never reported as the result.
        auto peaks = peakFileData::create(0);
        LogCapture writeLog;
        AnalysisRoutine routine = [&](const std::filesystem::path& p, peakFileData& record,
                                      std::atomic<float>& progress) {
            outcome = analyzeTrack(p, &record, &progress, [&](const std::filesystem::path& q) {
                return engine.getTempoOverrideForAnalyze(q);
            });
            peaks = peakFileData::create(record.count);
            peaks->bpm.store(record.bpm.load());
            peaks->gain.store(record.gain.load());
            record.copyEntries(peaks->entries.get());
            return outcome;
        };
        engine.setAnalysisRoutine(routine);
        const auto start = std::chrono::steady_clock::now();
        engine.runAnalyze(path); // on this thread, which is the main thread
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!outcome) {
            fail("the analysis did not complete");
            results.push_back(row);
            continue;
        }
        const auto saved = peakFileData::create(0);
        const bool stored = peakFileLoad(*saved, peakFilePath(path), peaks->count) &&
                            saved->bpm.load() == peaks->bpm.load() &&
                            saved->gain.load() == peaks->gain.load() && [&] {
                                std::vector<uint8_t> a(size_t(peaks->count) * 2);
                                std::vector<uint8_t> b(a.size());
                                peaks->copyEntries(a.data());
                                saved->copyEntries(b.data());
                                return a == b;
                            }();
        if (!stored) {
            std::string why =
                "the peak file " + peakFilePath(path).string() + " could not be written";
            for (const std::string& line : writeLog.lines()) {
                const size_t at = line.find("not written: ");
                if (at != std::string::npos) {
                    why += " (" + line.substr(at + 13) + ")";
                    break;
                }
            }
            fail(why);
        }
        if (!damage.empty()) {
            row["damaged"] = damage;
            fail("damaged file, " + damage + "; analysed what can be played");
        }
        int beats = 0;
        int64_t firstBeat = -1;
        for (int32_t i = 0; i < peaks->count; ++i) {
            if (peaks->flags(i) != kPeakNotComputed && (peaks->flags(i) & kPeakBeatFlag)) {
                if (firstBeat < 0) {
                    firstBeat = 1 + int64_t{kPeakWindowFrames} * i;
                }
                ++beats;
            }
        }
        row["bpm"] = peaks->bpm.load();
        row["firstBeatFrame"] = firstBeat;
        row["gain"] = peaks->gain.load();
        row["beats"] = beats;
        row["seconds"] = seconds;
        if (!json) {
            std::printf(
                "%s\n  bpm %.3f, first beat at frame %lld, gain %.3f, %d beat marks, %.2f s\n",
                path.string().c_str(), peaks->bpm.load(), static_cast<long long>(firstBeat),
                peaks->gain.load(), beats, seconds);
        }
        results.push_back(row);
    }
    loop.runDue();
    if (json) {
        std::cout << results.dump(2) << "\n";
    }
    return allOk ? 0 : 1;
}

} // namespace vx::cli
