#pragma once
// velvox-cli: the headless face of Velvox Nexa. Each command is one function taking the
// arguments after its name (with --home already taken out) and the resolved paths; it
// returns the process exit code. Output for people goes to stdout, errors to stderr as one
// clear line each.

#include "platform/Paths.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vx::cli {

struct CommandContext {
    std::vector<std::string> args; // arguments after the command name
    Paths paths;
};

using CommandFn = int (*)(CommandContext& context);

struct Command {
    const char* name;
    const char* usage;   // "info FILE [--json]"
    const char* summary; // one line
    CommandFn run;
};

// Main thread: the known commands, in the order --help lists them.
const std::vector<Command>& commands();

int runInfo(CommandContext& context);
int runPlay(CommandContext& context);
int runAnalyze(CommandContext& context);
int runConvert(CommandContext& context);
int runParty(CommandContext& context);
int runServe(CommandContext& context);
int runImport(CommandContext& context);

// Any thread: the signal (SIGINT, SIGTERM) that asked the run to stop, 0 while none did. A
// command that sees one finishes its outputs as at a normal end and returns 128 + signal.
int stopSignal();

// Prints "velvox-cli: <message>" to stderr and returns the exit code for bad input (2).
int usageError(const std::string& message);
// Prints "velvox-cli: <message>" to stderr and returns the exit code for a failure (1).
int failure(const std::string& message);

// Why `out` must not be written by this run, or nothing when it may: it is a folder, one of
// `inputs` (by identity, so links and other spellings count), the track library (with its
// journal files) or the settings file of `paths`, an existing SQLite database, or a file another
// program holds locked for writing.
std::optional<std::string> refuseOutput(const std::filesystem::path& out,
                                        const std::vector<std::filesystem::path>& inputs,
                                        const Paths& paths);

// What stops `file` from being read as a track, in the words of the system ("No such file or
// directory", "Permission denied", "is a folder, not an audio file", "is a pipe (FIFO)...",
// "is empty (0 bytes)"); nothing when it is a readable, non-empty regular file.
std::optional<std::string> inputProblem(const std::filesystem::path& file);

// Removes `flag` from args; true when it was present.
bool takeFlag(std::vector<std::string>& args, const std::string& flag);
// Takes "--name VALUE" out of args; nullopt when absent; sets `bad` when the value is missing.
std::optional<std::string> takeValue(std::vector<std::string>& args, const std::string& name,
                                     bool& bad);

} // namespace vx::cli
