#pragma once
// PortAudioDevice: the machine's default sound output through PortAudio (ALSA, JACK, Pulse).
//
// The render callback runs on PortAudio's callback thread. The client format is stereo
// non-interleaved float, or interleaved signed 16-bit when asked for; the stream runs at 44100 Hz
// when the device takes it (the decks are decoded at that rate), else at the device's default
// rate, with a fixed buffer size. On a machine without a sound card PortAudio initialises, finds
// no device and fails to open the stream with "Device unavailable": createUnit() or
// initializeUnit() then returns the PortAudio error, and statusText() gives its text, so the
// caller can fall back to an OfflineAudioDevice paced in real time.

#include "platform/AudioDevice.h"

#include <atomic>
#include <string>
#include <vector>

namespace vx {

class PortAudioDevice final : public AudioDevice {
public:
    struct Options {
        uint32_t bufferFrames = 1024;
        std::string outputName{}; // empty: the default output
        SampleFormat sample = SampleFormat::Float32NonInterleaved;
        double preferredSampleRate = 44100.0;
    };

    PortAudioDevice();
    explicit PortAudioDevice(Options options);
    ~PortAudioDevice() override;

    std::string name() const override { return "portaudio"; }
    std::string statusText(int status) const override;

    int initializeSession(InterruptionListener listener) override;
    int setCategory(const std::string& category) override;
    int setActive(bool active) override;
    double hardwareSampleRate() const override;
    double hardwareBufferDuration() const override;

    int createUnit() override;
    int enableInput() override { return 0; }
    int setRenderCallback(RenderCallback callback, void* context) override;
    int getClientFormat(StreamFormat& format) const override;
    int setClientFormat(const StreamFormat& format) override;
    int initializeUnit() override;
    int startUnit() override;
    int stopUnit() override;
    void disposeUnit() override;
    bool isRunning() const override { return running_.load(std::memory_order_acquire); }
    // The PortAudio devices with output channels, the default output first.
    std::vector<std::string> outputNames() const override;
    // A name that no device has falls back to the default output at set-up.
    bool configureOutput(const std::string& name, uint32_t bufferFrames) override;

    // Render thread (PortAudio's): adapts PortAudio's buffers to our buffer list.
    int render(void* output, unsigned long frames);

private:
    Options options_;
    StreamFormat format_;
    InterruptionListener interruptionListener_;
    RenderCallback callback_ = nullptr;
    void* context_ = nullptr;
    bool initialized_ = false; // Pa_Initialize succeeded
    int device_ = -1;
    void* stream_ = nullptr;
    std::atomic<bool> running_{false};
};

} // namespace vx
