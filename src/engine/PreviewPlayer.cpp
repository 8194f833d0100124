#include "engine/PreviewPlayer.h"

#include "platform/AudioFileReader.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "platform/SampleRate.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

int previewRender(void* context, uint32_t frames, AudioBufferList& out) {
    return static_cast<DevicePreviewPlayer*>(context)->render(frames, out);
}

} // namespace

DevicePreviewPlayer::DevicePreviewPlayer(AudioDevice& device, RunLoop& loop)
    : device_(device), loop_(loop) {
    // The end is reported through a source the loop drains on every pass: no timer polls it,
    // and the render thread only stores a flag.
    sourceId_ = loop_.addSource([this]() -> size_t {
        if (!ended_.exchange(false, std::memory_order_acquire)) {
            return 0;
        }
        halt();
        if (endHandler_) {
            endHandler_();
        }
        return 1;
    });
}

DevicePreviewPlayer::~DevicePreviewPlayer() {
    loop_.removeSource(sourceId_);
    device_.disposeUnit();
}

bool DevicePreviewPlayer::setUp() {
    if (unitReady_) {
        return true;
    }
    std::string error;
    unitReady_ = setUpOutputUnit(device_, &previewRender, this, format_, &error);
    if (!unitReady_) {
        logLine("preview output: %s", error.c_str());
    }
    return unitReady_;
}

void DevicePreviewPlayer::halt() {
    playing_.store(false, std::memory_order_release);
    if (device_.isRunning()) {
        device_.stopUnit(); // returns once no callback runs any more
    }
    const int64_t pending = seekRequest_.exchange(-1, std::memory_order_acq_rel);
    if (pending >= 0) {
        position_.store(pending, std::memory_order_relaxed);
    }
    ended_.store(false, std::memory_order_relaxed);
}

bool DevicePreviewPlayer::open(const std::filesystem::path& file) {
    halt();
    samples_.clear();
    frames_ = 0;
    position_.store(0, std::memory_order_relaxed);
    std::string error;
    auto reader = AudioFileReader::open(file, AudioFileReader::Client::Stereo44100, &error);
    if (!reader) {
        logLine("preview: cannot open %s: %s", file.string().c_str(), error.c_str());
        return false;
    }
    std::vector<float> samples(size_t(std::max<int64_t>(reader->lengthFrames(), 0)) * 2);
    const int64_t got = reader->read(samples.data(), reader->lengthFrames());
    if (got <= 0) {
        logLine("preview: nothing to play in %s", file.string().c_str());
        return false;
    }
    samples.resize(size_t(got) * 2);
    samples_ = std::move(samples);
    frames_ = got;
    return true;
}

bool DevicePreviewPlayer::play() {
    if (frames_ == 0 || !setUp()) {
        return false;
    }
    if (playing()) {
        return true;
    }
    if (position_.load(std::memory_order_relaxed) >= frames_) {
        position_.store(0, std::memory_order_relaxed);
    }
    ended_.store(false, std::memory_order_relaxed);
    playing_.store(true, std::memory_order_release);
    if (!device_.isRunning() && device_.startUnit() != 0) {
        playing_.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void DevicePreviewPlayer::pause() {
    halt();
}

void DevicePreviewPlayer::stop() {
    halt();
    position_.store(0, std::memory_order_relaxed);
}

void DevicePreviewPlayer::seek(double seconds) {
    const int64_t frame =
        std::clamp<int64_t>(int64_t(seconds * kFrameRate), 0, std::max<int64_t>(frames_, 0));
    if (playing()) {
        seekRequest_.store(frame, std::memory_order_release);
    } else {
        position_.store(frame, std::memory_order_relaxed);
    }
}

double DevicePreviewPlayer::currentTime() const {
    const int64_t pending = seekRequest_.load(std::memory_order_acquire);
    return double(pending >= 0 ? pending : position_.load(std::memory_order_relaxed)) / kFrameRate;
}

double DevicePreviewPlayer::duration() const {
    return double(frames_) / kFrameRate;
}

void DevicePreviewPlayer::setVolume(float volume) {
    volume_.store(std::clamp(volume, 0.0f, 1.0f), std::memory_order_relaxed);
}

int DevicePreviewPlayer::render(uint32_t frames, AudioBufferList& out) {
    for (uint32_t b = 0; b < out.count; ++b) {
        std::memset(out.buffers[b].data, 0, out.buffers[b].bytes);
    }
    // Acquire: the position and the samples written before play() are visible here.
    if (!playing_.load(std::memory_order_acquire)) {
        return 0;
    }
    int64_t pos = position_.load(std::memory_order_relaxed);
    const int64_t request = seekRequest_.exchange(-1, std::memory_order_acq_rel);
    if (request >= 0) {
        pos = request;
    }
    const float gain = volume_.load(std::memory_order_relaxed);
    const int64_t count = std::clamp<int64_t>(frames_ - pos, 0, frames);
    const float* src = samples_.data() + pos * 2;
    if (format_.isFloat() && out.count >= 2) {
        auto* left = static_cast<float*>(out.buffers[0].data);
        auto* right = static_cast<float*>(out.buffers[1].data);
        for (int64_t i = 0; i < count; ++i) {
            left[i] = src[2 * i] * gain;
            right[i] = src[2 * i + 1] * gain;
        }
    } else if (out.count >= 1) {
        auto* dst = static_cast<int16_t*>(out.buffers[0].data);
        for (int64_t i = 0; i < count * 2; ++i) {
            dst[i] = int16_t(std::clamp(src[i] * gain, -1.0f, 1.0f) * 32767.0f);
        }
    }
    pos += count;
    position_.store(pos, std::memory_order_relaxed);
    if (pos >= frames_) {
        playing_.store(false, std::memory_order_relaxed);
        ended_.store(true, std::memory_order_release); // the loop's source reports it
    }
    return 0;
}

} // namespace vx
