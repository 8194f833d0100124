// velvox-cli analyze FILE... [--json]: analyses each file as the application does (the
// engine's analysis task: tempo, beat marks, peaks and gain; the peak file is written beside
// the track and the database updated) and reports the result per file.

#include "analysis/analyzeTrack.h"
#include "analysis/peakFileData.h"
#include "cli/CliCommand.h"
#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "library/DBController.h"
#include "platform/AudioFileReader.h"
#include "platform/Clock.h"
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
    if (args.empty()) {
        return usageError("usage: velvox-cli analyze FILE... [--json]");
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

    nlohmann::json results = nlohmann::json::array();
    bool allOk = true;
    for (const std::string& arg : args) {
        const std::filesystem::path path = arg;
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
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            fail("no such file");
            results.push_back(row);
            continue;
        }
        std::string openError;
        if (!AudioFileReader::open(path, AudioFileReader::Client::Mono44100, &openError)) {
            fail("not a readable audio file");
            results.push_back(row);
            continue;
        }
        int outcome = 0;
        AnalysisRoutine routine = [&](const std::filesystem::path& p, peakFileData& peaks,
                                      std::atomic<float>& progress) {
            outcome = analyzeTrack(p, &peaks, &progress, [&](const std::filesystem::path& q) {
                return engine.getTempoOverrideForAnalyze(q);
            });
            return outcome;
        };
        engine.setAnalysisRoutine(routine);
        const auto start = std::chrono::steady_clock::now();
        engine.runAnalyze(path); // on this thread, which is the main thread
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        auto peaks = peakFileData::create(0);
        if (!outcome || !peakFileLoad(*peaks, peakFilePath(path))) {
            fail("the analysis did not complete");
            results.push_back(row);
            continue;
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
