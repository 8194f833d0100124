#pragma once
// MicRecorder: records the microphone into "recordedFile.wav" in the temporary folder: a WAVE
// file of 16-bit signed PCM at the input's own rate and channel count, the samples exactly as
// the input delivered them. The recorder overlay shows its level and elapsed time.
//
// Threads: start/stop and the read-outs on the main thread; the input's capture thread writes
// the file (it is not the audio output's render thread, so disk writes are fine there).

#include "platform/AudioInput.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>

namespace vx {

class MicRecorder {
public:
    MicRecorder(AudioInput& input, std::filesystem::path temporaryFolder);
    ~MicRecorder();
    MicRecorder(const MicRecorder&) = delete;
    MicRecorder& operator=(const MicRecorder&) = delete;

    // Opens the input, creates the file and starts capturing; false and *error (the failing
    // step's message) otherwise, with nothing left open.
    bool start(std::string* error);
    // Stops capturing and completes the file's header. Safe to call twice.
    void stop();
    bool running() const { return file_ != nullptr; }
    // Whether the last recording holds at least one frame.
    bool recorded() const { return frames_.load(std::memory_order_acquire) > 0; }
    std::filesystem::path file() const { return folder_ / "recordedFile.wav"; }
    // The peak of the last buffer, 0…1, and the seconds recorded so far.
    float level() const { return level_.load(std::memory_order_relaxed); }
    double elapsed() const;

private:
    void append(const int16_t* samples, int64_t frames);
    bool writeHeader();

    AudioInput& input_;
    std::filesystem::path folder_;
    std::FILE* file_ = nullptr;
    int rate_ = 0;
    int channels_ = 0;
    std::atomic<int64_t> frames_{0};
    std::atomic<float> level_{0.0f};
    std::atomic<bool> writeFailed_{false};
};

} // namespace vx
