#pragma once
// convertFile: compresses an audio file (in practice a recorded WAVE mix) into a file that is
// small enough to share, on a background thread that an interruption can pause.
//
// The source is decoded by AudioFileReader into interleaved float at 44100 Hz with the
// source's channel count (at most two) and handed, 32768 bytes of samples at a time, to
// AudioFileWriter: AAC-LC at 44100 Hz stereo in an M4A file, or 16-bit PCM in a WAVE file.
// Between reading and writing each buffer the conversion passes the ConversionState's paused
// check, which is where a pause holds it.
//
// The finished file appears in one step. The data is written under a hidden temporary name
// in the destination's own folder (".<name>.part-<pid>-<n>") and renamed to the destination
// only once it is complete; the rename within one folder is atomic, so a failed conversion,
// and a process that dies in the middle of one, never leave a partial file under the
// destination's name. A failed conversion removes its temporary file; one killed outright
// leaves that hidden file behind, never a file with the destination's extension. Until the
// rename an older file of the destination's name stays untouched.
//
// Progress and failures are logged line by line in the terms the support logs have always
// used ("DoConvertFile", "Source file format: ...", "Error: <what> (<detail>)").

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace vx {

class ConversionState;

// What convertFile produces.
enum class ConvertFormat {
    M4aAac,   // AAC-LC, 44100 Hz, stereo (a mono source on both channels), M4A container
    WavInt16, // 16-bit signed PCM, 44100 Hz, the source's channel count (at most two)
};

// The result of a conversion: 0 on success, otherwise the step that failed.
enum class ConvertStatus : int {
    Ok = 0,
    OpenSource = 1,        // the source is missing or not audio
    SourceFormat = 2,      // the source reports no usable rate or channel count
    DestinationFormat = 3, // the requested format or rate cannot be made
    CreateDestination = 4, // the destination's folder does not take the file
    Read = 5,              // the source ended early or could not be decoded
    Write = 6,             // encoding or writing a buffer failed
    Finish = 7,            // closing the destination or moving it into place failed
};

struct ConvertRequest {
    std::filesystem::path source;
    std::filesystem::path destination;
    ConvertFormat format = ConvertFormat::M4aAac;
    // Destination rate in Hz; 0 = the source's rate. Only 44100 can be made.
    double sampleRate = 44100.0;
    // Optional, called on the converting thread after each buffer is written: source frames
    // (at 44100 Hz) converted so far, and whether the paused check had held that buffer.
    std::function<void(int64_t framesDone, bool waited)> onBuffer;
};

// Bytes of samples per buffer; a buffer holds 32768 / (4 x channels) frames of float samples.
constexpr int64_t kConvertBufferBytes = 32768;

// Any thread but the main thread (asserted: the process aborts): converts request.source
// into request.destination, replacing it only on success; marks `state` running for the
// duration and done at the end. On failure *error (if given) says what failed.
ConvertStatus convertFile(const ConvertRequest& request, ConversionState& state,
                          std::string* error = nullptr);

// Any thread: the destination of a recording's shared copy: the same path, extension ".m4a".
std::filesystem::path convertedRecordingPath(const std::filesystem::path& recording);

// Any thread but the main thread: converts the recorded mix `recording` to AAC at 44100 Hz
// in convertedRecordingPath(recording). On failure removes a file this run left there (an
// earlier conversion's file stays as it was) and logs
// "DoConvertFile failed! <status>". Returns the conversion's status.
ConvertStatus convertRecording(const std::filesystem::path& recording, ConversionState& state,
                               std::string* error = nullptr);

// Any thread: removes from `folder` the hidden temporary files (".<name>.part-<pid>-<n>") of
// conversions whose process no longer runs (killed mid-conversion); a running process's own
// are left alone. Returns how many were removed; each is logged.
int removeStaleConversionParts(const std::filesystem::path& folder);

// Any thread: a short English name of a status ("ok", "cannot open the source"...).
const char* convertStatusText(ConvertStatus status);

} // namespace vx
