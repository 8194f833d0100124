#include "platform/AudioInput.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>

namespace vx {

namespace {

class PortAudioInput final : public AudioInput {
public:
    ~PortAudioInput() override { stop(); }

    bool open(std::string* error) override {
        if (stream_) {
            return true;
        }
        if (Pa_Initialize() != paNoError) {
            return fail(error, "AudioQueueNewInput failed");
        }
        initialized_ = true;
        const PaDeviceIndex device = Pa_GetDefaultInputDevice();
        const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
        if (!info || info->maxInputChannels < 1) {
            return fail(error, "AudioQueueNewInput failed");
        }
        rate_ = int(info->defaultSampleRate);
        channels_ = std::min(info->maxInputChannels, 2);
        if (rate_ <= 0) {
            return fail(error, "couldn't get queue's format");
        }
        PaStreamParameters input{};
        input.device = device;
        input.channelCount = channels_;
        input.sampleFormat = paInt16;
        input.suggestedLatency = info->defaultHighInputLatency;
        if (Pa_OpenStream(&stream_, &input, nullptr, rate_, paFramesPerBufferUnspecified, paNoFlag,
                          nullptr, nullptr) != paNoError) {
            stream_ = nullptr;
            return fail(error, "AudioQueueAllocateBuffer failed");
        }
        return true;
    }
    int sampleRate() const override { return rate_; }
    int channels() const override { return channels_; }

    bool start(Handler handler, std::string* error) override {
        if (!stream_ && !open(error)) {
            return false;
        }
        if (Pa_StartStream(stream_) != paNoError) {
            return fail(error, "AudioQueueStart failed");
        }
        running_ = true;
        thread_ = std::thread([this, handler = std::move(handler)] {
            std::vector<int16_t> buffer(size_t(bufferFrames() * channels_));
            while (running_.load(std::memory_order_acquire)) {
                const PaError err = Pa_ReadStream(stream_, buffer.data(),
                                                  static_cast<unsigned long>(bufferFrames()));
                if (err != paNoError && err != paInputOverflowed) {
                    break;
                }
                handler(buffer.data(), bufferFrames());
            }
        });
        return true;
    }

    void stop() override {
        running_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (stream_) {
            Pa_StopStream(stream_);
            Pa_CloseStream(stream_);
            stream_ = nullptr;
        }
        if (initialized_) {
            Pa_Terminate();
            initialized_ = false;
        }
    }

private:
    bool fail(std::string* error, const char* what) {
        if (error) {
            *error = what;
        }
        stop();
        return false;
    }

    PaStream* stream_ = nullptr;
    bool initialized_ = false;
    int rate_ = 0;
    int channels_ = 0;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace

std::unique_ptr<AudioInput> makePortAudioInput() {
    return std::make_unique<PortAudioInput>();
}

OfflineAudioInput::OfflineAudioInput(int sampleRate, int channels, std::vector<int16_t> samples,
                                     bool available)
    : rate_(sampleRate), channels_(channels), samples_(std::move(samples)), available_(available) {}

OfflineAudioInput::~OfflineAudioInput() {
    stop();
}

bool OfflineAudioInput::open(std::string* error) {
    if (!available_ || rate_ <= 0 || channels_ <= 0) {
        if (error) {
            *error = "AudioQueueNewInput failed";
        }
        return false;
    }
    open_ = true;
    return true;
}

bool OfflineAudioInput::start(Handler handler, std::string* error) {
    if (!open_ && !open(error)) {
        return false;
    }
    waitUntilDelivered();
    thread_ = std::thread([this, handler = std::move(handler)] {
        const size_t step = size_t(bufferFrames() * channels_);
        for (size_t at = 0; at < samples_.size(); at += step) {
            const size_t count = std::min(step, samples_.size() - at);
            handler(samples_.data() + at, int64_t(count / size_t(channels_)));
        }
    });
    return true;
}

void OfflineAudioInput::waitUntilDelivered() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void OfflineAudioInput::stop() {
    waitUntilDelivered();
    open_ = false;
}

} // namespace vx
