#include "analysis/peakFileData.h"
#include "cli/CliCommand.h"
#include "engine/convertFile.h"
#include "platform/Log.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

namespace vx::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {
        {"info", "info FILE [--json]",
         "the file's format, length in frames (44100 Hz) and seconds, and its tags", runInfo},
        {"play",
         "play FILE --out OUT.wav [--seconds S] [--start SEC] [--speed X] [--pitch-mode] "
         "[--buffer N] [--device] [--record [REC.wav]] [--fx SLOT --fx-xy X,Y] [--pad N@SEC]... "
         "[--json]",
         "plays FILE on deck 0 through the engine into a 32-bit float WAV (key lock on unless "
         "--pitch-mode); --device plays it on the sound card instead; --record records the mix "
         "(to the next VXNexa_NNNN.wav in Documents unless REC.wav is given); --fx engages "
         "effect slot 1-6 at pad position X,Y; --pad presses pad N (1-6) SEC seconds in",
         runPlay},
        {"analyze", "analyze FILE... [--json] | analyze --all [--json]",
         "analyses each file as the app does (tempo, beat marks, peaks, gain), writes its peak "
         "file and reports the result; --all analyses every track of the documents folder that "
         "is not analysed yet, one progress line each on stderr",
         runAnalyze},
        {"party",
         "party [FOLDER] [--minutes M] [--out OUT.wav | --no-record] [--buffer N] [--json]",
         "launches the application headless on the offline device, plays FOLDER's tracks (the "
         "built-in tracks without it) in party mode for M minutes (10), records the mix (unless "
         "--no-record) and reports every transition; SIGINT/SIGTERM end it early with the mix "
         "complete",
         runParty},
        {"convert", "convert IN OUT.m4a",
         "compresses IN (a recorded mix or any audio file) to AAC-LC, 44100 Hz stereo, in the "
         "M4A file OUT; OUT is written only when the conversion succeeds",
         runConvert},
        {"serve", "serve [--port N] [--bind ADDR] [--minutes M] [--max-upload MB] [--code]",
         "serves the documents folder to browsers on the local network (Wi-Fi transfer) on port "
         "N (8080; 0 picks a free one) until SIGINT/SIGTERM or M minutes; uploaded MP3/M4A files "
         "become tracks as in the app; --max-upload caps one upload (4096 MB); --code asks for "
         "an access code, which the printed address carries",
         runServe},
        {"import", "import [FOLDER | FILE...] [--json]",
         "imports every track (MP3, M4A, FLAC, Ogg, Opus) of the music folder, or of FOLDER, or "
         "the given files into the documents folder and the library as the app's import does, "
         "one progress line per file on stderr; a song imported before replaces its file; exit "
         "status 1 when any item failed",
         runImport},
    };
    return all;
}

namespace {

std::atomic<int> gStopSignal{0};

extern "C" void onStopSignal(int signal) {
    gStopSignal.store(signal, std::memory_order_relaxed);
}

} // namespace

int stopSignal() {
    return gStopSignal.load(std::memory_order_relaxed);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "velvox-cli: %s\n", message.c_str());
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "velvox-cli: %s\n", message.c_str());
    return 1;
}

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

bool takeFlag(std::vector<std::string>& args, const std::string& flag) {
    bool found = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == flag) {
            it = args.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

namespace {

void printHelp() {
    std::cout << "Velvox Nexa command line\n\n"
                 "usage: velvox-cli [--home DIR] COMMAND [ARGS...]\n\n"
                 "Commands:\n";
    for (const Command& c : commands()) {
        std::cout << "  " << c.usage << "\n      " << c.summary << "\n";
    }
    std::cout << "\nOptions:\n"
                 "  --home DIR   keep documents, settings and temporary files under DIR\n"
                 "               (also VELVOX_HOME); accepted before or after the command\n"
                 "  --verbose    also print the engine's log lines on stderr\n"
                 "  --help       this text\n";
}

} // namespace
} // namespace vx::cli

int main(int argc, char** argv) {
    using namespace vx::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string homeError;
    const std::optional<std::filesystem::path> home = vx::takeHomeArgument(args, &homeError);
    if (!homeError.empty()) {
        return usageError(homeError);
    }
    if (args.empty() || args.front() == "--help" || args.front() == "-h" ||
        args.front() == "help") {
        printHelp();
        return args.empty() ? 2 : 0;
    }
    const std::string name = args.front();
    args.erase(args.begin());
    // SIGINT and SIGTERM ask the running command to stop: it ends through its normal path
    // (outputs finished, state saved). A second one ends the process at once. A file size
    // limit makes writes fail (and be reported) instead of killing the process.
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Command& c : commands()) {
        if (name == c.name) {
            if (takeFlag(args, "--help")) {
                std::cout << "usage: velvox-cli " << c.usage << "\n" << c.summary << "\n";
                return 0;
            }
            // The engine's diagnostics stay off the terminal unless asked for.
            vx::setLogToStderr(takeFlag(args, "--verbose"));
            CommandContext context{args, vx::Paths::resolve(home)};
            vx::setPeakCacheFolder(context.paths.cache() / "peaks");
            // Conversions killed in an earlier run leave hidden partial files behind.
            vx::removeStaleConversionParts(context.paths.documents());
            return c.run(context);
        }
    }
    return usageError("unknown command '" + name + "' (see velvox-cli --help)");
}
