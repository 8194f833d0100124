// velvox-cli convert IN OUT.m4a: compresses an audio file (a recorded mix, usually a WAV) into
// AAC-LC at 44100 Hz stereo in an M4A file, with the routine the application uses to share
// recordings. OUT appears only when the conversion has succeeded.

#include "cli/CliCommand.h"
#include "engine/ConversionState.h"
#include "engine/convertFile.h"

#include <cstdio>
#include <filesystem>
#include <thread>

namespace vx::cli {

int runConvert(CommandContext& context) {
    auto& args = context.args;
    if (args.size() != 2) {
        return usageError("usage: velvox-cli convert IN OUT.m4a");
    }
    ConvertRequest request;
    request.source = args[0];
    request.destination = args[1];
    request.format = ConvertFormat::M4aAac;
    request.sampleRate = 44100.0;

    if (const auto problem = inputProblem(request.source)) {
        return failure(request.source.string() + ": " + *problem);
    }
    if (const auto refusal = refuseOutput(request.destination, {request.source}, context.paths)) {
        return failure(*refusal);
    }
    // A conversion killed before it finished left its hidden temporary file here.
    std::filesystem::path folder = request.destination.parent_path();
    removeStaleConversionParts(folder.empty() ? std::filesystem::path(".") : folder);

    // This thread is the main thread; the conversion refuses to run on it, as in the app.
    ConversionState state;
    int64_t frames = 0;
    request.onBuffer = [&frames](int64_t framesDone, bool) { frames = framesDone; };
    ConvertStatus status = ConvertStatus::Ok;
    std::string error;
    std::thread worker([&] { status = convertFile(request, state, &error); });
    worker.join();

    if (status != ConvertStatus::Ok) {
        const bool aboutSource = status == ConvertStatus::OpenSource ||
                                 status == ConvertStatus::SourceFormat ||
                                 status == ConvertStatus::Read;
        const std::string& path =
            aboutSource ? request.source.string() : request.destination.string();
        return failure(path + ": " + convertStatusText(status) + " (" + error + ")");
    }
    std::printf("%s: %lld frames (%.3f s) as AAC-LC, 44100 Hz stereo\n",
                request.destination.string().c_str(), static_cast<long long>(frames),
                static_cast<double>(frames) / 44100.0);
    return 0;
}

} // namespace vx::cli
