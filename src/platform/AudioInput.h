#pragma once
// AudioInput: the microphone as the sample recorder sees it: the default input device at its
// own rate and channel count, delivering 16-bit interleaved PCM in buffers of half a second.
//
// Two implementations: PortAudioInput, the system's default input device, read in blocking
// mode on a capture thread of its own (so the consumer may write to disk there); and
// OfflineAudioInput, which "captures" a signal it was given, for tests, or fails to open as a
// machine without a microphone does.
//
// Threads: open, start, stop from one controlling thread (the main thread); the handler runs on
// the input's capture thread, one buffer at a time, and never after stop() has returned.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vx {

class AudioInput {
public:
    // Capture thread: `frames` interleaved frames of channels() samples.
    using Handler = std::function<void(const int16_t* samples, int64_t frames)>;

    virtual ~AudioInput() = default;
    // Opens the default input; false and *error (the failing step) when there is none.
    virtual bool open(std::string* error) = 0;
    virtual int sampleRate() const = 0;
    virtual int channels() const = 0;
    // Starts capturing into `handler`; false and *error when it does not start.
    virtual bool start(Handler handler, std::string* error) = 0;
    // Stops capturing (waits for the capture thread) and closes the device.
    virtual void stop() = 0;
    // Frames per delivered buffer: half a second at the device's rate.
    int64_t bufferFrames() const { return std::max<int64_t>(1, sampleRate() / 2); }
};

// The system's default input through PortAudio.
std::unique_ptr<AudioInput> makePortAudioInput();

// A generated input: delivers `samples` (interleaved) in half-second buffers, as fast as the
// handler takes them, then nothing more. With `available` false, open() fails.
class OfflineAudioInput final : public AudioInput {
public:
    OfflineAudioInput(int sampleRate, int channels, std::vector<int16_t> samples,
                      bool available = true);
    ~OfflineAudioInput() override;
    bool open(std::string* error) override;
    int sampleRate() const override { return rate_; }
    int channels() const override { return channels_; }
    bool start(Handler handler, std::string* error) override;
    void stop() override;
    // Controlling thread: waits until every sample was handed over.
    void waitUntilDelivered();

private:
    int rate_;
    int channels_;
    std::vector<int16_t> samples_;
    bool available_;
    bool open_ = false;
    std::thread thread_;
};

} // namespace vx
