#include "samples/MicRecorder.h"

#include "platform/Log.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vx {

namespace {

void putLE(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = uint8_t(value >> (8 * i));
    }
}

} // namespace

MicRecorder::MicRecorder(AudioInput& input, std::filesystem::path temporaryFolder)
    : input_(input), folder_(std::move(temporaryFolder)) {}

MicRecorder::~MicRecorder() {
    stop();
}

bool MicRecorder::start(std::string* error) {
    stop();
    frames_ = 0;
    level_ = 0.0f;
    writeFailed_ = false;
    std::string why;
    if (!input_.open(&why)) {
        if (error) {
            *error = why;
        }
        return false;
    }
    rate_ = input_.sampleRate();
    channels_ = input_.channels();
    if (rate_ <= 0 || channels_ <= 0) {
        input_.stop();
        if (error) {
            *error = "couldn't get queue's format";
        }
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    file_ = std::fopen(file().c_str(), "wb");
    if (!file_ || !writeHeader()) {
        if (file_) {
            std::fclose(file_);
            file_ = nullptr;
        }
        input_.stop();
        if (error) {
            *error = "AudioFileCreateWithURL failed";
        }
        return false;
    }
    if (!input_.start([this](const int16_t* samples, int64_t frames) { append(samples, frames); },
                      &why)) {
        std::fclose(file_);
        file_ = nullptr;
        input_.stop();
        if (error) {
            *error = why.empty() ? "AudioQueueStart failed" : why;
        }
        return false;
    }
    return true;
}

void MicRecorder::append(const int16_t* samples, int64_t frames) {
    const size_t count = size_t(frames) * size_t(channels_);
    int peak = 0;
    for (size_t i = 0; i < count; ++i) {
        peak = std::max(peak, std::abs(int(samples[i])));
    }
    level_.store(float(peak) / 32768.0f, std::memory_order_relaxed);
    // WAVE data is little-endian, as is every machine this runs on.
    if (writeFailed_.load(std::memory_order_relaxed) ||
        std::fwrite(samples, sizeof(int16_t), count, file_) != count) {
        writeFailed_ = true;
        return;
    }
    frames_.fetch_add(frames, std::memory_order_release);
}

bool MicRecorder::writeHeader() {
    // 44-byte PCM header; the sizes are those of the frames written so far (a 4 GiB limit
    // saturates rather than wraps).
    const uint64_t bytes = uint64_t(frames_.load()) * uint64_t(channels_) * 2u;
    const uint32_t data = uint32_t(std::min<uint64_t>(bytes, 0xFFFFFFFFu - 36u));
    uint8_t header[44] = {};
    std::memcpy(header, "RIFF", 4);
    putLE(header + 4, data + 36u, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putLE(header + 16, 16, 4);
    putLE(header + 20, 1, 2);
    putLE(header + 22, uint32_t(channels_), 2);
    putLE(header + 24, uint32_t(rate_), 4);
    putLE(header + 28, uint32_t(rate_ * channels_ * 2), 4);
    putLE(header + 32, uint32_t(channels_ * 2), 2);
    putLE(header + 34, 16, 2);
    std::memcpy(header + 36, "data", 4);
    putLE(header + 40, data, 4);
    return std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(header, 1, 44, file_) == 44;
}

void MicRecorder::stop() {
    if (!file_) {
        return;
    }
    input_.stop();
    const bool ok = writeHeader() && std::fflush(file_) == 0;
    if (std::fclose(file_) != 0 || !ok || writeFailed_) {
        logLine("Microphone: the recording could not be written completely");
    }
    file_ = nullptr;
}

double MicRecorder::elapsed() const {
    return rate_ > 0 ? double(frames_.load(std::memory_order_acquire)) / rate_ : 0.0;
}

} // namespace vx
