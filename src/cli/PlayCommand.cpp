// velvox-cli play FILE --out OUT.wav [--seconds S] [--start SEC] [--speed X] [--pitch-mode]
//                     [--buffer N] [--device] [--record [REC.wav]] [--fx SLOT --fx-xy X,Y]
//                     [--pad N@SEC]... [--json]
// Loads FILE on deck 0 and plays it through the engine: on the offline device into a 32-bit
// float WAV (the decoders settle before every buffer, so two runs give identical files), or
// with --device on the sound card in real time. --record records the mix the way the record
// button does (the next "VXNexa_%04i.wav" in the documents folder, or REC.wav when given);
// --fx engages one effect slot on deck 0 for the whole run at the pad position --fx-xy;
// --pad presses pad N (1..6, the built-in pad sounds) SEC seconds into the run.

#include "cli/CliCommand.h"
#include "engine/DeckEffects.h"
#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "engine/DeckSpeed.h"
#include "engine/MixRecordWriter.h"
#include "engine/Stretcher.h"
#include "engine/Transport.h"
#include "library/DBController.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/PortAudioDevice.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>

namespace vx::cli {

namespace {

// Takes "--record" out of args, with the file after it when one is given: the token after it
// is the record file when it is not an option and the track still remains as the one
// positional argument. Returns nullopt when absent, "" for the default record file.
std::optional<std::string> takeRecord(std::vector<std::string>& args) {
    auto it = std::find(args.begin(), args.end(), std::string("--record"));
    if (it == args.end()) {
        return std::nullopt;
    }
    const auto positionals = [&args] {
        int n = 0;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i].rfind("--", 0) == 0) {
                // Options other than these flags carry a value.
                static const std::vector<std::string> flags = {"--json", "--pitch-mode", "--device",
                                                               "--record"};
                if (std::find(flags.begin(), flags.end(), args[i]) == flags.end()) {
                    ++i;
                }
                continue;
            }
            ++n;
        }
        return n;
    };
    std::string file;
    if (it + 1 != args.end() && (it + 1)->rfind("--", 0) != 0 && positionals() >= 2) {
        file = *(it + 1);
        args.erase(it, it + 2);
    } else {
        args.erase(it);
    }
    return file;
}

// "X,Y" with both in 0..1.
bool parsePair(const std::string& text, float& x, float& y) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    try {
        size_t used = 0;
        const double a = std::stod(text.substr(0, comma), &used);
        if (used != comma) {
            return false;
        }
        const std::string rest = text.substr(comma + 1);
        const double b = std::stod(rest, &used);
        if (used != rest.size() || !(a >= 0 && a <= 1) || !(b >= 0 && b <= 1)) {
            return false;
        }
        x = float(a);
        y = float(b);
        return true;
    } catch (...) {
        return false;
    }
}

bool parseNumber(const std::string& text, double& out) {
    try {
        size_t used = 0;
        out = std::stod(text, &used);
        return used == text.size() && std::isfinite(out);
    } catch (...) {
        return false;
    }
}

} // namespace

int runPlay(CommandContext& context) {
    auto& args = context.args;
    bool bad = false;
    const bool json = takeFlag(args, "--json");
    const bool pitchMode = takeFlag(args, "--pitch-mode");
    const bool onDevice = takeFlag(args, "--device");
    const auto outArg = takeValue(args, "--out", bad);
    const auto secondsArg = takeValue(args, "--seconds", bad);
    const auto startArg = takeValue(args, "--start", bad);
    const auto speedArg = takeValue(args, "--speed", bad);
    const auto bufferArg = takeValue(args, "--buffer", bad);
    const auto recordArg = takeRecord(args);
    const auto fxArg = takeValue(args, "--fx", bad);
    const auto fxXyArg = takeValue(args, "--fx-xy", bad);
    std::vector<std::pair<int, double>> padPresses; // pad index 0..5, seconds into the run
    while (auto pad = takeValue(args, "--pad", bad)) {
        const size_t at = pad->find('@');
        double n = 0;
        double when = 0;
        if (at == std::string::npos || !parseNumber(pad->substr(0, at), n) || n < 1 || n > 6 ||
            n != std::floor(n) || !parseNumber(pad->substr(at + 1), when) || when < 0) {
            return usageError("bad value: --pad N@SEC with N in 1..6 and SEC >= 0");
        }
        padPresses.emplace_back(int(n) - 1, when);
    }
    if (bad || args.size() != 1) {
        return usageError("usage: velvox-cli " + std::string(commands()[1].usage));
    }
    double seconds = 10, start = 0, speed = 1.0, buffer = 1024;
    if ((secondsArg && (!parseNumber(*secondsArg, seconds) || seconds <= 0 || seconds > 86400)) ||
        (startArg && (!parseNumber(*startArg, start) || start < 0)) ||
        (speedArg && (!parseNumber(*speedArg, speed) || speed == 0 || std::fabs(speed) > 4)) ||
        (bufferArg && (!parseNumber(*bufferArg, buffer) || buffer < 16 || buffer > 8192 ||
                       buffer != std::floor(buffer)))) {
        return usageError("bad value: --seconds > 0, --start >= 0, --speed in -4..4 (not 0), "
                          "--buffer a whole number of frames in 16..8192");
    }
    double fxSlot = 0;
    float fxX = 0.5f;
    float fxY = 0.5f;
    if ((fxArg && (!parseNumber(*fxArg, fxSlot) || fxSlot < 1 || fxSlot >= double(kFxSlotCount) ||
                   fxSlot != std::floor(fxSlot))) ||
        (fxXyArg && !parsePair(*fxXyArg, fxX, fxY))) {
        return usageError("bad value: --fx SLOT in 1.." + std::to_string(int(kFxSlotCount) - 1) +
                          ", --fx-xy X,Y with both in 0..1");
    }
    if (fxXyArg && !fxArg) {
        return usageError("--fx-xy needs --fx SLOT");
    }
    if (!outArg && !onDevice) {
        return usageError("play needs --out OUT.wav (or --device)");
    }
    const std::filesystem::path file = args.front();
    if (const auto problem = inputProblem(file)) {
        return failure(file.string() + ": " + *problem);
    }
    // Outputs never overwrite the track, the library, the settings or each other.
    if (outArg) {
        if (const auto refusal = refuseOutput(*outArg, {file}, context.paths)) {
            return failure(*refusal);
        }
    }
    if (recordArg && !recordArg->empty()) {
        std::vector<std::filesystem::path> inputs = {file};
        if (outArg) {
            inputs.emplace_back(*outArg);
        }
        if (const auto refusal = refuseOutput(*recordArg, inputs, context.paths)) {
            return failure(*refusal);
        }
    }

    std::string error;
    if (!context.paths.ensureWritableFolders(&error)) {
        return failure(error);
    }
    SystemClock systemClock;
    ManualClock audioClock;
    RunLoop loop(onDevice ? static_cast<Clock&>(systemClock) : static_cast<Clock&>(audioClock));
    NotificationCenter notifications(loop);
    UserDefaults defaults(context.paths.settingsFile());
    EngineServices services;
    services.db = DBController::init(context.paths);
    services.defaults = &defaults;
    services.notifications = &notifications;
    services.loop = &loop;

    const auto bufferFrames = static_cast<uint32_t>(buffer);
    std::unique_ptr<AudioDevice> device;
    OfflineAudioDevice* offline = nullptr;
    if (onDevice) {
        device = std::make_unique<PortAudioDevice>(
            PortAudioDevice::Options{.bufferFrames = bufferFrames});
    } else {
        auto o = std::make_unique<OfflineAudioDevice>(
            OfflineAudioDevice::Options{.bufferFrames = bufferFrames});
        offline = o.get();
        device = std::move(o);
    }
    AudioOut engine(*device, &loop, &services);
    if (!engine.init()) {
        return failure(onDevice ? "no sound device could be opened (try without --device)"
                                : "the offline output could not be set up");
    }
    audioStream& deck = engine.deck(0);
    deck.pitchMode.store(pitchMode);
    engine.runDecode1(file);
    engine.settleDecoders(60.0);
    loop.runDue(); // "fileOpened" and the other main-thread work of the load
    if (!deck.isLoaded.load()) {
        return failure(file.string() + ": not a readable audio file");
    }
    const int64_t startFrame = std::llround(start * 44100.0);
    if (startFrame >= deck.lengthFrames.load()) {
        return usageError("--start is beyond the end of the track");
    }
    deck.position.store(static_cast<double>(startFrame));
    deck.baseSpeed.store(speed);
    setSpeedNow(deck, speed);
    deck.stretcher->applyPendingPitch();
    deck.replanNeeded.store(true);
    engine.settleDecoders(60.0);

    if (fxArg) {
        std::lock_guard lock(*deck.engineLock);
        deckSetFxEnabled(deck, int(fxSlot), true);
        deckSetFxEngaged(deck, true);
        deckSetFxXY(deck, fxX, fxY);
    }
    if (!padPresses.empty()) {
        const int loaded = engine.loadDefaultPads(context.paths.samples());
        if (loaded < AudioOut::kPadCount) {
            logLine("only %d of the %d pad sounds could be loaded", loaded, AudioOut::kPadCount);
        }
    }
    std::vector<TimerHandle> padTimers;
    for (const auto& [pad, when] : padPresses) {
        padTimers.push_back(loop.after(when, [&engine, pad = pad] { engine.padPress(pad); }));
    }

    // The record file: the one asked for, or the record button's next numbered file.
    std::optional<std::filesystem::path> recordFile;
    if (recordArg) {
        int64_t number = 0;
        recordFile = recordArg->empty()
                         ? nextFreeRecordFile(context.paths.documents(),
                                              defaults.integerForKey("FileSeqNo", 0), &number)
                         : std::filesystem::path(*recordArg);
        // The offline device renders faster than real time: the recorder waits for room
        // rather than dropping buffers.
        engine.setRecordWaitsWhenFull(offline != nullptr);
        if (!engine.PrepareRecordFor(*recordFile) || !engine.startRecord()) {
            return failure(recordFile->string() + ": the recording could not be started");
        }
        if (recordArg->empty()) {
            defaults.setInteger("FileSeqNo", number + 1);
            defaults.synchronize();
        }
    }

    LogCapture capture;
    const auto frames = static_cast<int64_t>(std::llround(seconds * 44100.0));
    int64_t rendered = frames;
    if (!engine.StartSound()) {
        engine.abortRecord();
        return failure("the output could not be started");
    }
    engine.startPlay();
    if (offline) {
        offline->attachRunLoop(&loop, &audioClock);
        // Before each buffer: the decoders have caught up and any analysis a load started has
        // finished, so two runs give the same mix whatever the machine's speed.
        offline->setSettleHook([&engine] {
            engine.settleDecoders();
            engine.waitForAnalyses();
        });
        const auto keepGoing = [&engine] { return stopSignal() == 0 && !engine.recordFailed(); };
        if (!offline->renderToFile(*outArg, frames, &error, keepGoing, &rendered)) {
            engine.abortRecord();
            return failure((*outArg) + ": " + error + " (the file holds what was written before)");
        }
    } else {
        const TimerHandle watch = loop.every(0.05, [&loop, &engine] {
            if (stopSignal() != 0 || engine.recordFailed()) {
                loop.quit();
            }
        });
        loop.runFor(seconds);
        rendered = frames;
    }
    engine.stopPlay();
    const bool recordFailed = engine.recordFailed();
    engine.abortRecord();
    if (recordFailed || engine.recordFailed()) {
        return failure(recordFile->string() +
                       ": the recording failed; the file holds what was written before");
    }
    engine.serviceRenderRequests();
    engine.closeDecoders();
    int skipBuffers = 0;
    for (const auto& line : capture.lines()) {
        if (line.find("skip buffer") != std::string::npos) {
            ++skipBuffers;
        }
    }

    if (json) {
        nlohmann::json out = {
            {"file", file.string()},
            {"out", outArg ? (*outArg) : std::string()},
            {"frames", rendered},
            {"seconds", static_cast<double>(rendered) / 44100.0},
            {"skipBuffers", skipBuffers},
            {"start", start},
            {"speed", speed},
            {"pitchMode", pitchMode},
            {"buffer", bufferFrames},
            {"device", onDevice ? device->name() : std::string("offline")},
            {"record", recordFile ? nlohmann::json(recordFile->string()) : nlohmann::json()},
            {"fx", fxArg ? nlohmann::json(int(fxSlot)) : nlohmann::json()},
            {"pads", padPresses.size()},
        };
        std::cout << out.dump(2) << "\n";
    } else {
        std::printf(
            "played %s for %.3f s from %.3f s at speed %.4f (%s) %s%s; %d skipped buffers\n",
            file.string().c_str(), static_cast<double>(rendered) / 44100.0, start, speed,
            pitchMode ? "pitch mode" : "key lock", onDevice ? "on " : "into ",
            onDevice ? device->name().c_str() : (*outArg).c_str(), skipBuffers);
        if (recordFile) {
            std::printf("recorded the mix to %s\n", recordFile->string().c_str());
        }
    }
    if (const int signal = stopSignal()) {
        std::fprintf(stderr,
                     "velvox-cli: interrupted after %.3f s; the output files are complete\n",
                     static_cast<double>(rendered) / 44100.0);
        return 128 + signal;
    }
    return 0;
}

} // namespace vx::cli
