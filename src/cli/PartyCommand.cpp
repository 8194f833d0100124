// velvox-cli party [FOLDER] [--minutes M] [--out OUT.wav] [--buffer N] [--json]
//
// The application's main job without a display: launches the core exactly as the app does (the
// application delegate on the home, with its saved state) on the offline device driven by the
// audio clock, turns party mode on through the mixing screen, records the mix, and ends through
// the application's termination path so that its state is saved. FOLDER's MP3 and M4A files are
// the user's tracks (the documents folder); without it the built-in tracks play.
//
// Determinism: before each buffer the decoders settle and any running analysis finishes, so two
// runs give the same mix whatever the machine's speed.

#include "app/DuovexAppDelegate.h"
#include "cli/CliCommand.h"
#include "deck/SampleTestController.h"
#include "engine/AudioOut.h"
#include "engine/DeckBeats.h"
#include "engine/MixRecordWriter.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/TrackHash.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/AudioFileReader.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <vector>

namespace vx::cli {

namespace {

bool parsePositive(const std::string& text, double& out) {
    try {
        size_t used = 0;
        out = std::stod(text, &used);
        return used == text.size() && std::isfinite(out) && out > 0;
    } catch (...) {
        return false;
    }
}

struct DeckSide {
    std::string track;
    double bpm = 0.0;
    double speed = 0.0;
};

DeckSide describe(audioStream& deck) {
    DeckSide side;
    std::shared_ptr<VXAudioFileInfo> info;
    info = deck.info();
    if (info) {
        side.track = info->fileName.filename().string();
        side.bpm = info->tempo;
    }
    side.speed = deck.speed.load();
    return side;
}

// Output milliseconds from the deck's audible position to its nearest beat mark, signed
// (positive: the beat has passed). Nothing when the deck has no beat grid.
std::optional<double> beatPhaseMs(const audioStream& deck) {
    const double audible = audiblePosition(deck);
    const double beat = nearestBeatToFrame(deck, audible);
    const double speed = std::fabs(deck.speed.load());
    if (beat < 0.0 || speed < 1e-6) {
        return std::nullopt;
    }
    return (audible - beat) / speed / 44.1;
}

struct Transition {
    double time = 0.0;
    DeckSide from;
    DeckSide to;
    std::optional<double> beatOffsetMs;
    // How far the outgoing deck had passed its nearest beat at the end of the buffer in which
    // the transition started (ms; a transition on the beat reads between 0 and one buffer).
    std::optional<double> fromBeatPhaseMs;
};

// With a folder of tracks the mix is made of them alone: a deck whose saved track lies outside
// the folder starts on one of the folder's tracks instead (the first two by path), so that no
// built-in track (nor its analysis) enters the mix.
size_t startOnFolderTracks(UserDefaults& defaults, const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> tracks;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (isTrackExtension(it->path())) {
            tracks.push_back(it->path());
        }
    }
    // Only tracks that can be mixed start the party. The others are skipped: party mode says
    // so when its playlist reaches them, and here when no track is left at all.
    std::vector<std::string> problems;
    std::erase_if(tracks, [&problems](const std::filesystem::path& track) {
        auto problem = SampleTestController::partyTrackProblem(track, -1.0);
        if (!problem) {
            std::string error;
            const auto reader =
                AudioFileReader::open(track, AudioFileReader::Client::MonoNative, &error);
            problem = reader ? SampleTestController::partyTrackProblem(
                                   track, double(reader->fileFormat().seconds))
                             : std::optional<std::string>("not a readable audio file");
        }
        if (problem) {
            problems.push_back(track.filename().string() + ": " + *problem);
        }
        return problem.has_value();
    });
    for (const std::string& problem : problems) {
        if (tracks.empty()) {
            noticeLine("Party mode: cannot play %s", problem.c_str());
        } else {
            logLine("Party mode: cannot play %s", problem.c_str());
        }
    }
    std::sort(tracks.begin(), tracks.end());
    std::array<std::string, 2> saved;
    for (size_t d = 0; d < saved.size(); ++d) {
        saved[d] = defaults.stringForKey("kStreamFile" + std::to_string(d));
        if (saved[d].empty() || !isInsideFolder(saved[d], folder) ||
            !std::filesystem::is_regular_file(saved[d], ec)) {
            saved[d].clear();
        }
    }
    auto next = tracks.begin();
    for (size_t d = 0; d < saved.size(); ++d) {
        if (!saved[d].empty()) {
            continue;
        }
        while (next != tracks.end() && next->string() == saved[1 - d]) {
            ++next;
        }
        if (next == tracks.end()) {
            break;
        }
        saved[d] = (next++)->string();
        defaults.setString("kStreamFile" + std::to_string(d), saved[d]);
        defaults.setInteger("kStreamCrate" + std::to_string(d), -1);
    }
    return tracks.size();
}

} // namespace

int runParty(CommandContext& context) {
    auto& args = context.args;
    bool bad = false;
    const bool json = takeFlag(args, "--json");
    const bool noRecord = takeFlag(args, "--no-record");
    const auto minutesArg = takeValue(args, "--minutes", bad);
    const auto outArg = takeValue(args, "--out", bad);
    const auto bufferArg = takeValue(args, "--buffer", bad);
    if (bad || args.size() > 1 || (noRecord && outArg)) {
        return usageError("usage: velvox-cli party [FOLDER] [--minutes M] [--out OUT.wav | "
                          "--no-record] [--buffer N] [--json]");
    }
    double minutes = 10.0;
    double buffer = 256.0;
    if ((minutesArg && (!parsePositive(*minutesArg, minutes) || minutes > 24 * 60)) ||
        (bufferArg && (!parsePositive(*bufferArg, buffer) || buffer < 16 || buffer > 8192 ||
                       buffer != std::floor(buffer)))) {
        return usageError("bad value: --minutes > 0 (at most a day), --buffer a whole number of "
                          "frames in 16..8192");
    }
    Paths paths = context.paths;
    if (!args.empty()) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::absolute(args.front(), ec);
        if (!std::filesystem::is_directory(folder, ec)) {
            return failure(args.front() + ": no such folder");
        }
        // The folder is the user's documents folder: its tracks are the user's tracks, and
        // their peak files are written beside them.
        paths = Paths(folder, paths.resources(), paths.temporary(), paths.settingsFile());
    }
    std::string error;
    if (!paths.ensureWritableFolders(&error)) {
        return failure(error);
    }
    if (outArg) {
        // The mix never replaces one of the tracks it could play, the library or the settings.
        std::vector<std::filesystem::path> inputs;
        for (const auto& folder : {paths.documents(), paths.sound()}) {
            std::error_code ec;
            for (std::filesystem::recursive_directory_iterator it(folder, ec), end;
                 !ec && it != end; it.increment(ec)) {
                if (isTrackExtension(it->path())) {
                    inputs.push_back(it->path());
                }
            }
        }
        if (const auto refusal = refuseOutput(*outArg, inputs, paths)) {
            return failure(*refusal);
        }
    }

    const auto wallStart = std::chrono::steady_clock::now();
    ManualClock audioClock;
    RunLoop loop(audioClock);
    OfflineAudioDevice device(
        OfflineAudioDevice::Options{.bufferFrames = static_cast<uint32_t>(buffer)});
    DuovexAppDelegate app(paths, device, loop, VX_VERSION_STRING);
    if (!args.empty() && startOnFolderTracks(app.defaults(), paths.documents()) == 0) {
        return failure(args.front() + ": no track in this folder can be played");
    }
    app.applicationDidFinishLaunching(false);
    // The launch continues on timers: run them (and the start-up loads) on the audio clock.
    for (int i = 0; i < 200 && !(app.launched() && app.mixingScreen() &&
                                 app.mixingScreen()->startupLoadsStarted());
         ++i) {
        audioClock.advance(0.01);
        loop.runDue();
        if (app.engine()) {
            app.engine()->settleDecoders(60.0);
            app.engine()->waitForAnalyses();
        }
    }
    AudioOut* engine = app.engine();
    SampleTestController* screen = app.mixingScreen();
    if (!engine || !engine->initialized() || !screen) {
        return failure("the application could not start its engine");
    }
    engine->settleDecoders(60.0);
    engine->waitForAnalyses();
    loop.runDue();
    if (!engine->deck(0).isLoaded.load() && !engine->deck(1).isLoaded.load()) {
        return failure("no track could be loaded");
    }

    int64_t number = 0;
    const std::filesystem::path mix =
        noRecord ? std::filesystem::path()
        : outArg ? std::filesystem::path(*outArg)
                 : nextFreeRecordFile(paths.documents(),
                                      app.defaults().integerForKey("FileSeqNo", 0), &number);
    engine->setRecordWaitsWhenFull(true);
    if (!noRecord && (!engine->PrepareRecordFor(mix) || !engine->startRecord())) {
        return failure(mix.string() + ": the mix could not be recorded");
    }
    if (!outArg && !noRecord) {
        app.defaults().setInteger("FileSeqNo", number + 1);
        app.defaults().synchronize();
    }

    if (args.empty()) {
        screen->togglePartyMode();
    } else {
        // Only the folder's tracks make the playlist. The user's own setting is put back once
        // the list is made: the launch writes its first-start value, and the run saves the
        // home's state at its end.
        const bool hideBundled = app.defaults().boolForKey(kHideBundled, false);
        app.defaults().setBool(kHideBundled, true);
        screen->togglePartyMode();
        app.defaults().setBool(kHideBundled, hideBundled);
    }
    device.attachRunLoop(&loop, &audioClock);
    device.setSettleHook([engine] {
        engine->settleDecoders(60.0);
        engine->waitForAnalyses();
    });

    std::vector<Transition> transitions;
    const int64_t total = std::llround(minutes * 60.0 * 44100.0);
    int64_t rendered = 0;
    int seen = screen->tracksPlayed();
    // The offset is read one buffer after the one in which the incoming deck started: a deck
    // started by the other deck's trigger may only begin rendering in the next buffer, and both
    // decks' audible positions are only current once each has rendered since the start.
    std::optional<size_t> measuring;
    const auto report = [&](const Transition& t) {
        if (!json) {
            std::printf("%02d:%05.2f  %s (%.1f BPM) -> %s (%.1f BPM) at speed %.4f, beat "
                        "offset %s\n",
                        int(t.time / 60), std::fmod(t.time, 60.0), t.from.track.c_str(), t.from.bpm,
                        t.to.track.c_str(), t.to.bpm, t.to.speed,
                        t.beatOffsetMs ? (std::to_string(*t.beatOffsetMs) + " ms").c_str()
                                       : "unknown");
            std::fflush(stdout);
        }
    };
    const auto sink = [&](const float*, uint32_t frames, const AudioBufferList&) {
        if (stopSignal() != 0 || engine->recordFailed()) {
            return false; // ends the run through the normal stop path below
        }
        rendered += frames;
        if (measuring) {
            Transition& t = transitions[*measuring];
            const int from = screen->currentPartyStream();
            const auto a = beatPhaseMs(engine->deck(from));
            const auto b = beatPhaseMs(engine->deck(1 - from));
            if (a && b && t.from.bpm > 0.0 && t.from.speed > 1e-6) {
                // Beats a whole beat apart are together: the offset is taken to the nearest one.
                const double beatMs = 60000.0 / (t.from.bpm * t.from.speed);
                t.beatOffsetMs = std::remainder(*b - *a, beatMs);
            }
            report(t);
            measuring.reset();
        }
        if (screen->tracksPlayed() != seen) {
            seen = screen->tracksPlayed();
            // The incoming deck started in this buffer: it is the one that is not current yet.
            const int from = screen->currentPartyStream();
            Transition t;
            t.time = double(rendered) / 44100.0;
            t.from = describe(engine->deck(from));
            t.to = describe(engine->deck(1 - from));
            const auto phase = beatPhaseMs(engine->deck(from));
            if (phase && t.from.bpm > 0.0 && t.from.speed > 1e-6) {
                // The beat mark searched may be the one before or after: taken to the nearest.
                t.fromBeatPhaseMs = std::remainder(*phase, 60000.0 / (t.from.bpm * t.from.speed));
            }
            transitions.push_back(t);
            measuring = transitions.size() - 1;
        }
        return true;
    };
    const bool pulled = device.pull(total, sink);
    const bool recordFailed = engine->recordFailed();
    engine->abortRecord();
    app.applicationWillTerminate();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (recordFailed || engine->recordFailed()) {
        return failure(mix.string() + ": the recording failed after " +
                       std::to_string(int(double(rendered) / 44100.0)) +
                       " s of the mix; the file holds what was written before");
    }
    const int signal = stopSignal();
    if (!pulled && signal == 0) {
        return failure("the offline output stopped early");
    }

    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const Transition& t : transitions) {
            const auto side = [](const DeckSide& s) {
                return nlohmann::json{{"track", s.track}, {"bpm", s.bpm}, {"speed", s.speed}};
            };
            list.push_back(
                {{"time", t.time},
                 {"from", side(t.from)},
                 {"to", side(t.to)},
                 {"beatOffsetMs",
                  t.beatOffsetMs ? nlohmann::json(*t.beatOffsetMs) : nlohmann::json()},
                 {"fromBeatPhaseMs",
                  t.fromBeatPhaseMs ? nlohmann::json(*t.fromBeatPhaseMs) : nlohmann::json()}});
        }
        nlohmann::json out = {{"mix", noRecord ? nlohmann::json() : nlohmann::json(mix.string())},
                              {"seconds", double(rendered) / 44100.0},
                              {"wallSeconds", wall},
                              {"buffer", int(buffer)},
                              {"transitions", list}};
        std::cout << out.dump(2) << "\n";
    } else {
        std::printf("party mix of %.1f minutes %s%s (%zu transitions, %.1f s)\n",
                    double(rendered) / 44100.0 / 60.0,
                    noRecord ? "played, not recorded" : "written to ", mix.string().c_str(),
                    transitions.size(), wall);
    }
    if (signal != 0) {
        std::fprintf(stderr, "velvox-cli: interrupted; the mix so far is complete in %s\n",
                     mix.string().c_str());
        return 128 + signal;
    }
    return 0;
}

} // namespace vx::cli
