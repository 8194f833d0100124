#include "platform/PortAudioDevice.h"

#include <portaudio.h>

namespace vx {

namespace {

int paCallback(const void* /*input*/, void* output, unsigned long frames,
               const PaStreamCallbackTimeInfo* /*time*/, PaStreamCallbackFlags /*flags*/,
               void* user) {
    return static_cast<PortAudioDevice*>(user)->render(output, frames);
}

constexpr int kStatusNoCallback = -1;

// Stereo output on `device` in the client format: two float channels, or interleaved 16-bit.
PaStreamParameters outputParameters(int device, const StreamFormat& format) {
    PaStreamParameters params{};
    params.device = device;
    params.channelCount = 2;
    params.sampleFormat =
        format.isFloat() ? (paFloat32 | paNonInterleaved) : static_cast<PaSampleFormat>(paInt16);
    params.suggestedLatency = Pa_GetDeviceInfo(device)->defaultLowOutputLatency;
    return params;
}

} // namespace

PortAudioDevice::PortAudioDevice() : PortAudioDevice(Options{}) {}

PortAudioDevice::PortAudioDevice(Options options) : options_(options) {
    format_.sampleRate = options_.preferredSampleRate;
    format_.channels = 2;
    format_.sample = options_.sample;
}

PortAudioDevice::~PortAudioDevice() {
    disposeUnit();
}

std::string PortAudioDevice::statusText(int status) const {
    if (status == kStatusNoCallback) {
        return "no render callback";
    }
    return Pa_GetErrorText(static_cast<PaError>(status));
}

int PortAudioDevice::initializeSession(InterruptionListener listener) {
    // PortAudio has no session interruptions; the listener is kept for symmetry.
    interruptionListener_ = std::move(listener);
    return 0;
}

int PortAudioDevice::setCategory(const std::string& /*category*/) {
    return 0;
}

int PortAudioDevice::setActive(bool /*active*/) {
    return 0;
}

double PortAudioDevice::hardwareSampleRate() const {
    return format_.sampleRate;
}

double PortAudioDevice::hardwareBufferDuration() const {
    return options_.bufferFrames / format_.sampleRate;
}

int PortAudioDevice::createUnit() {
    if (!initialized_) {
        const PaError err = Pa_Initialize();
        if (err != paNoError) {
            return err;
        }
        initialized_ = true;
    }
    device_ = Pa_GetDefaultOutputDevice();
    if (!options_.outputName.empty()) {
        for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info && info->maxOutputChannels >= 2 && options_.outputName == info->name) {
                device_ = i;
                break;
            }
        }
    }
    if (device_ == paNoDevice) {
        return paDeviceUnavailable;
    }
    const PaStreamParameters params = outputParameters(device_, format_);
    if (Pa_IsFormatSupported(nullptr, &params, options_.preferredSampleRate) !=
        paFormatIsSupported) {
        format_.sampleRate = Pa_GetDeviceInfo(device_)->defaultSampleRate;
    }
    return 0;
}

int PortAudioDevice::setRenderCallback(RenderCallback callback, void* context) {
    callback_ = callback;
    context_ = context;
    return 0;
}

int PortAudioDevice::getClientFormat(StreamFormat& format) const {
    format = format_;
    return 0;
}

int PortAudioDevice::setClientFormat(const StreamFormat& format) {
    if (format.channels != 2 || format.fixedPointFractionBits != 0) {
        return paInvalidChannelCount;
    }
    format_ = format;
    return 0;
}

int PortAudioDevice::initializeUnit() {
    if (!callback_) {
        return kStatusNoCallback;
    }
    if (!initialized_ || device_ == paNoDevice || device_ < 0) {
        return paDeviceUnavailable;
    }
    const PaStreamParameters params = outputParameters(device_, format_);
    PaStream* stream = nullptr;
    const PaError err = Pa_OpenStream(&stream, nullptr, &params, format_.sampleRate,
                                      options_.bufferFrames, paClipOff, paCallback, this);
    if (err != paNoError) {
        return err;
    }
    stream_ = stream;
    return 0;
}

int PortAudioDevice::startUnit() {
    if (!stream_) {
        return paBadStreamPtr;
    }
    const PaError err = Pa_StartStream(static_cast<PaStream*>(stream_));
    if (err == paNoError || err == paStreamIsNotStopped) {
        running_.store(true, std::memory_order_release);
        return 0;
    }
    return err;
}

int PortAudioDevice::stopUnit() {
    running_.store(false, std::memory_order_release);
    if (!stream_) {
        return 0;
    }
    const PaError err = Pa_StopStream(static_cast<PaStream*>(stream_));
    return (err == paNoError || err == paStreamIsStopped) ? 0 : err;
}

std::vector<std::string> PortAudioDevice::outputNames() const {
    // Pa_Initialize counts its callers, so this works beside an open stream too.
    std::vector<std::string> names;
    if (Pa_Initialize() != paNoError) {
        return names;
    }
    const PaDeviceIndex fallback = Pa_GetDefaultOutputDevice();
    for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxOutputChannels < 2) {
            continue;
        }
        if (i == fallback) {
            names.insert(names.begin(), info->name);
        } else {
            names.emplace_back(info->name);
        }
    }
    Pa_Terminate();
    return names;
}

bool PortAudioDevice::configureOutput(const std::string& name, uint32_t bufferFrames) {
    if (bufferFrames == 0) {
        return false;
    }
    options_.outputName = name;
    options_.bufferFrames = bufferFrames;
    return true;
}

void PortAudioDevice::disposeUnit() {
    stopUnit();
    if (stream_) {
        Pa_CloseStream(static_cast<PaStream*>(stream_));
        stream_ = nullptr;
    }
    if (initialized_) {
        Pa_Terminate();
        initialized_ = false;
    }
    device_ = -1;
}

int PortAudioDevice::render(void* output, unsigned long frames) {
    AudioBufferList list;
    const auto n = static_cast<uint32_t>(frames);
    if (format_.isFloat()) {
        auto* const* channels = static_cast<float* const*>(output);
        list.count = 2;
        list.buffers[0] = {channels[0], 1, n * 4u};
        list.buffers[1] = {channels[1], 1, n * 4u};
    } else {
        list.count = 1;
        list.buffers[0] = {output, 2, n * 4u};
    }
    const RenderCallbackScope scope;
    callback_(context_, n, list);
    return paContinue;
}

} // namespace vx
