// velvox-cli info FILE [--json]: what the application knows of an audio file before analysis.

#include "cli/CliCommand.h"
#include "platform/AudioFileReader.h"
#include "platform/AudioTags.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace vx::cli {

int runInfo(CommandContext& context) {
    auto& args = context.args;
    const bool json = takeFlag(args, "--json");
    if (args.size() != 1) {
        return usageError("usage: velvox-cli info FILE [--json]");
    }
    const std::filesystem::path path = args.front();
    if (const auto problem = inputProblem(path)) {
        return failure(path.string() + ": " + *problem);
    }
    std::string error;
    auto reader = AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, &error);
    if (!reader) {
        return failure(path.string() + ": not a readable audio file (" + error + ")");
    }
    const AudioFileFormat& format = reader->fileFormat();
    const AudioTags tags = readAudioTags(path).value_or(AudioTags{});
    const double seconds = static_cast<double>(format.frames44100) / 44100.0;

    if (json) {
        nlohmann::json out = {
            {"path", path.string()},
            {"sampleRate", format.sampleRate},
            {"channels", format.channels},
            {"codec", format.codec},
            {"frames", format.frames44100},
            {"seconds", seconds},
            {"primingFrames", format.primingFrames},
            {"title", tags.title},
            {"artist", tags.artist},
            {"album", tags.album},
            {"tempo", tags.tempo},
            {"comments", tags.comments},
            {"encoder", tags.encoder},
            {"copyright", tags.copyright},
            {"estimatedSeconds", tags.durationSeconds},
            {"damaged", format.damage.empty() ? nlohmann::json() : nlohmann::json(format.damage)},
        };
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    std::printf("%s\n", path.string().c_str());
    std::printf("  format:   %s, %d Hz, %d channel%s\n", format.codec.c_str(), format.sampleRate,
                format.channels, format.channels == 1 ? "" : "s");
    std::printf("  length:   %lld frames at 44100 Hz (%.3f s), %lld priming frames\n",
                static_cast<long long>(format.frames44100), seconds,
                static_cast<long long>(format.primingFrames));
    if (!format.damage.empty()) {
        std::printf("  damaged:  %s\n", format.damage.c_str());
    }
    std::printf("  title:    %s\n", tags.title.c_str());
    std::printf("  artist:   %s\n", tags.artist.c_str());
    std::printf("  album:    %s\n", tags.album.c_str());
    if (tags.tempo > 0) {
        std::printf("  tempo:    %.2f BPM\n", tags.tempo);
    } else {
        std::printf("  tempo:    (none)\n");
    }
    if (!tags.comments.empty()) {
        std::printf("  comments: %s\n", tags.comments.c_str());
    }
    if (!tags.encoder.empty()) {
        std::printf("  encoder:  %s\n", tags.encoder.c_str());
    }
    if (!tags.copyright.empty()) {
        std::printf("  copyright: %s\n", tags.copyright.c_str());
    }
    return 0;
}

} // namespace vx::cli
