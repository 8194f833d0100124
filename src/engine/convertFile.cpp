#include "engine/convertFile.h"
#include "platform/SampleRate.h"

#include "engine/ConversionState.h"
#include "platform/AudioFileReader.h"
#include "platform/AudioFileWriter.h"
#include "platform/Log.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace vx {

namespace fs = std::filesystem;

namespace {

// The one rate both the reader's client format and the AAC writer deliver.

std::atomic<uint64_t> gTemporaryCounter{0};

// A hidden name in the destination's folder, unique within the process and across processes
// (the pid), that never carries the destination's extension.
fs::path temporaryPathFor(const fs::path& destination) {
    const std::string name = "." + destination.filename().string() + ".part-" +
                             std::to_string(::getpid()) + "-" +
                             std::to_string(gTemporaryCounter.fetch_add(1));
    return destination.parent_path() / name;
}

std::string describeSource(const AudioFileFormat& format) {
    char text[160];
    std::snprintf(text, sizeof text, "%s, %d Hz, %d channel%s, %lld frames", format.codec.c_str(),
                  format.sampleRate, format.channels, format.channels == 1 ? "" : "s",
                  static_cast<long long>(format.frames));
    return text;
}

} // namespace

ConvertStatus convertFile(const ConvertRequest& request, ConversionState& state,
                          std::string* error) {
    // 1. The conversion blocks for as long as the file takes (and for as long as a pause
    // lasts), so it must never hold up the main thread.
    if (state.isMainThread()) {
        conversionAssertionFailed("DoConvertFile", "must not run on the main thread");
    }
    state.setRunning();
    logLine("DoConvertFile");

    std::unique_ptr<AudioFileReader> reader;
    std::unique_ptr<AudioFileWriter> writer;
    fs::path temporary;
    const auto fail = [&](ConvertStatus status, const char* what, const std::string& detail) {
        logLine("Error: %s (%s)", what, detail.c_str());
        if (error) {
            *error = detail;
        }
        writer.reset();
        reader.reset();
        if (!temporary.empty()) {
            std::error_code ec;
            fs::remove(temporary, ec);
        }
        state.setDone();
        return status;
    };

    // 2. The source and its format. The client format carries the source's channel count (a
    // mono source is read as mono, so a PCM destination stays mono).
    std::string why;
    reader = AudioFileReader::open(request.source, AudioFileReader::Client::Stereo44100, &why);
    if (reader && reader->fileFormat().channels == 1) {
        reader = AudioFileReader::open(request.source, AudioFileReader::Client::Mono44100, &why);
    }
    if (!reader) {
        return fail(ConvertStatus::OpenSource, "ExtAudioFileOpenURL failed", why);
    }
    const AudioFileFormat& source = reader->fileFormat();
    if (source.sampleRate <= 0 || source.channels <= 0) {
        return fail(ConvertStatus::SourceFormat, "couldn't get source data format",
                    request.source.string());
    }
    logLine("Source file format: %s", describeSource(source).c_str());

    // 3. The destination format: the requested rate, or the source's when 0. The reader
    // delivers 44100 Hz and the AAC writer makes nothing else, so that is the only rate.
    const double rate = request.sampleRate == 0 ? source.sampleRate : request.sampleRate;
    if (rate != kSampleRate) { // also when NaN
        char detail[96];
        std::snprintf(detail, sizeof detail, "%g Hz requested, only %d Hz can be made", rate,
                      kSampleRate);
        return fail(ConvertStatus::DestinationFormat, "couldn't create destination data format",
                    detail);
    }
    const int clientChannels = reader->clientChannels();
    const bool aac = request.format == ConvertFormat::M4aAac;
    const int destinationChannels = aac ? 2 : clientChannels;
    logLine("Destination file format: %s, %d Hz, %d channel%s",
            aac ? "aac (M4A)" : "pcm_s16le (WAVE)", kSampleRate, destinationChannels,
            destinationChannels == 1 ? "" : "s");

    // 4. The destination, under its temporary name until it is complete.
    std::error_code ec;
    if (fs::is_directory(request.destination, ec)) {
        return fail(ConvertStatus::CreateDestination, "ExtAudioFileCreateWithURL failed!",
                    request.destination.string() + ": is a folder");
    }
    temporary = temporaryPathFor(request.destination);
    writer = AudioFileWriter::create(
        temporary, aac ? AudioFileWriter::Format::M4aAac : AudioFileWriter::Format::WavInt16,
        kSampleRate, clientChannels, &why);
    if (!writer) {
        return fail(ConvertStatus::CreateDestination, "ExtAudioFileCreateWithURL failed!", why);
    }

    // 5. The client format is the same on both sides: interleaved float at 44100 Hz with
    // clientChannels channels; the reader decodes into it and the writer encodes from it.

    // 6. FFmpeg's encoder is plain computation on this thread: a pause only delays the next
    // buffer, and the encoder's state is intact when it comes.
    logLine("Audio Converter %s continue after interruption!", "CAN");

    // 7. The copy, one buffer at a time; a pause holds it between reading and writing.
    logLine("Converting...");
    const int64_t bufferFrames =
        kConvertBufferBytes / static_cast<int64_t>(sizeof(float) * clientChannels);
    std::vector<float> buffer(static_cast<size_t>(bufferFrames * clientChannels));
    int64_t framesDone = 0;
    for (;;) {
        const int64_t frames = reader->read(buffer.data(), bufferFrames);
        if (frames < 0) {
            return fail(ConvertStatus::Read, "ExtAudioFileRead failed!",
                        request.source.string() + ": " + reader->error());
        }
        if (frames == 0) {
            break;
        }
        const bool waited = state.pausedCheck();
        if (!writer->write(buffer.data(), frames)) {
            return fail(ConvertStatus::Write, "ExtAudioFileWrite error!", writer->error());
        }
        framesDone += frames;
        if (request.onBuffer) {
            request.onBuffer(framesDone, waited);
        }
    }

    // 8. Close both files, then put the finished file in place.
    if (!writer->close()) {
        return fail(ConvertStatus::Finish, "couldn't close the destination file", writer->error());
    }
    writer.reset();
    reader.reset();
    fs::rename(temporary, request.destination, ec);
    if (ec) {
        return fail(ConvertStatus::Finish, "couldn't move the destination file into place",
                    request.destination.string() + ": " + ec.message());
    }
    temporary.clear();
    state.setDone();
    return ConvertStatus::Ok;
}

fs::path convertedRecordingPath(const fs::path& recording) {
    fs::path converted = recording;
    converted.replace_extension(".m4a");
    return converted;
}

ConvertStatus convertRecording(const fs::path& recording, ConversionState& state,
                               std::string* error) {
    ConvertRequest request;
    request.source = recording;
    request.destination = convertedRecordingPath(recording);
    request.format = ConvertFormat::M4aAac;
    request.sampleRate = kSampleRate;
    // convertFile replaces the destination only on success, so after a failure a file there
    // is an earlier good conversion: only a file this run left behind is removed.
    std::error_code existsError;
    const bool existedBefore = fs::exists(request.destination, existsError);
    const ConvertStatus status = convertFile(request, state, error);
    if (status != ConvertStatus::Ok) {
        // A recording that already ends in ".m4a" is its own destination: never delete it.
        if (!existedBefore &&
            request.destination.lexically_normal() != recording.lexically_normal()) {
            std::error_code ec;
            fs::remove(request.destination, ec);
        }
        logLine("DoConvertFile failed! %ld", static_cast<long>(status));
    }
    return status;
}

int removeStaleConversionParts(const fs::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const size_t part = name.rfind(".part-");
        if (name.empty() || name[0] != '.' || part == std::string::npos) {
            continue;
        }
        // ".part-<pid>-<n>": the pid must be a number followed by '-' and a number.
        const std::string rest = name.substr(part + 6);
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || dash + 1 == rest.size() ||
            rest.find_first_not_of("0123456789-") != std::string::npos ||
            rest.find('-', dash + 1) != std::string::npos) {
            continue;
        }
        const long pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
        const bool alive = pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
        if (alive || !it->is_regular_file(ec)) {
            continue;
        }
        std::error_code removeError;
        if (fs::remove(it->path(), removeError)) {
            logLine("Removed %s, left by a conversion that did not finish",
                    it->path().string().c_str());
            ++removed;
        }
    }
    return removed;
}

const char* convertStatusText(ConvertStatus status) {
    switch (status) {
    case ConvertStatus::Ok:
        return "ok";
    case ConvertStatus::OpenSource:
        return "not a readable audio file";
    case ConvertStatus::SourceFormat:
        return "the source has no usable format";
    case ConvertStatus::DestinationFormat:
        return "the requested format cannot be made";
    case ConvertStatus::CreateDestination:
        return "cannot create the output file";
    case ConvertStatus::Read:
        return "the source could not be read to its end";
    case ConvertStatus::Write:
        return "writing the output failed";
    case ConvertStatus::Finish:
        return "finishing the output failed";
    }
    return "unknown status";
}

} // namespace vx
