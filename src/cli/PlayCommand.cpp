// velvox-cli play FILE --out OUT.wav [--seconds S] [--start SEC] [--speed X] [--pitch-mode]
//                     [--buffer N] [--device] [--json]
// Loads FILE on deck 0 and plays it through the engine: on the offline device into a 32-bit
// float WAV (the decoders settle before every buffer, so two runs give identical files), or
// with --device on the sound card in real time.

#include "cli/CliCommand.h"
#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "engine/DeckSpeed.h"
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

#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>

namespace vx::cli {

namespace {

// Takes "--name VALUE" out of args; nullopt when absent; sets `bad` when the value is missing.
std::optional<std::string> takeValue(std::vector<std::string>& args, const std::string& name,
                                     bool& bad) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == name) {
            if (it + 1 == args.end()) {
                bad = true;
                args.erase(it);
                return std::nullopt;
            }
            std::string value = *(it + 1);
            args.erase(it, it + 2);
            return value;
        }
    }
    return std::nullopt;
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
    if (!outArg && !onDevice) {
        return usageError("play needs --out OUT.wav (or --device)");
    }
    const std::filesystem::path file = args.front();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        return failure(file.string() + ": no such file");
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
        device = std::make_unique<PortAudioDevice>(PortAudioDevice::Options{.bufferFrames = bufferFrames});
    } else {
        auto o = std::make_unique<OfflineAudioDevice>(OfflineAudioDevice::Options{.bufferFrames = bufferFrames});
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

    LogCapture capture;
    const auto frames = static_cast<int64_t>(std::llround(seconds * 44100.0));
    if (!engine.StartSound()) {
        return failure("the output could not be started");
    }
    engine.startPlay();
    if (offline) {
        offline->attachRunLoop(&loop, &audioClock);
        offline->setSettleHook([&engine] { engine.settleDecoders(); });
        if (!offline->renderToFile(*outArg, frames, &error)) {
            return failure((*outArg) + ": " + error);
        }
    } else {
        loop.runFor(seconds);
    }
    engine.stopPlay();
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
            {"frames", frames},
            {"seconds", static_cast<double>(frames) / 44100.0},
            {"skipBuffers", skipBuffers},
            {"start", start},
            {"speed", speed},
            {"pitchMode", pitchMode},
            {"buffer", bufferFrames},
            {"device", onDevice ? device->name() : std::string("offline")},
        };
        std::cout << out.dump(2) << "\n";
    } else {
        std::printf("played %s for %.3f s from %.3f s at speed %.4f (%s) %s%s; %d skipped buffers\n",
                    file.string().c_str(), static_cast<double>(frames) / 44100.0, start, speed,
                    pitchMode ? "pitch mode" : "key lock", onDevice ? "on " : "into ",
                    onDevice ? device->name().c_str() : (*outArg).c_str(), skipBuffers);
    }
    return 0;
}

} // namespace vx::cli
