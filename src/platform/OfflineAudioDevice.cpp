#include "platform/OfflineAudioDevice.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"

#include <algorithm>
#include <chrono>

namespace vx {

namespace {
constexpr int kStatusNotInitialized = -1;
constexpr int kStatusBadFormat = -2;
constexpr int kStatusNoCallback = -3;
constexpr int kStatusThread = -4;
} // namespace

OfflineAudioDevice::OfflineAudioDevice() : OfflineAudioDevice(Options{}) {}

OfflineAudioDevice::OfflineAudioDevice(Options options) : options_(options) {
    format_.sampleRate = options_.sampleRate;
    format_.channels = 2;
    format_.sample = options_.sample;
}

OfflineAudioDevice::~OfflineAudioDevice() {
    disposeUnit();
}

std::string OfflineAudioDevice::statusText(int status) const {
    switch (status) {
    case 0:
        return "no error";
    case kStatusNotInitialized:
        return "unit not created or not initialised";
    case kStatusBadFormat:
        return "unsupported client format (stereo float or stereo 16-bit only)";
    case kStatusNoCallback:
        return "no render callback";
    case kStatusThread:
        return "could not start the render thread";
    default:
        return "unknown status " + std::to_string(status);
    }
}

int OfflineAudioDevice::initializeSession(InterruptionListener listener) {
    interruptionListener_ = std::move(listener);
    return 0;
}

int OfflineAudioDevice::setCategory(const std::string& category) {
    category_ = category;
    return 0;
}

int OfflineAudioDevice::setActive(bool active) {
    sessionActive_ = active;
    return 0;
}

double OfflineAudioDevice::hardwareBufferDuration() const {
    return options_.bufferFrames / options_.sampleRate;
}

int OfflineAudioDevice::createUnit() {
    unitCreated_ = true;
    return 0;
}

int OfflineAudioDevice::setRenderCallback(RenderCallback callback, void* context) {
    if (!unitCreated_) {
        return kStatusNotInitialized;
    }
    callback_ = callback;
    context_ = context;
    return 0;
}

int OfflineAudioDevice::getClientFormat(StreamFormat& format) const {
    if (!unitCreated_) {
        return kStatusNotInitialized;
    }
    format = format_;
    return 0;
}

int OfflineAudioDevice::setClientFormat(const StreamFormat& format) {
    if (!unitCreated_) {
        return kStatusNotInitialized;
    }
    if (format.channels != 2 || format.fixedPointFractionBits != 0 || format.sampleRate <= 0) {
        return kStatusBadFormat;
    }
    format_ = format;
    options_.sampleRate = format.sampleRate;
    options_.sample = format.sample;
    return 0;
}

int OfflineAudioDevice::initializeUnit() {
    if (!unitCreated_) {
        return kStatusNotInitialized;
    }
    if (!callback_) {
        return kStatusNoCallback;
    }
    const size_t frames = options_.bufferFrames;
    left_.assign(frames, 0.0f);
    right_.assign(frames, 0.0f);
    interleaved_.assign(frames * 2, 0.0f);
    pcm_.assign(frames * 2, 0);
    unitInitialized_ = true;
    return 0;
}

int OfflineAudioDevice::startUnit() {
    if (!unitInitialized_) {
        return kStatusNotInitialized;
    }
    if (running_.exchange(true, std::memory_order_acq_rel)) {
        return 0;
    }
    if (options_.ownThread) {
        threadStop_.store(false, std::memory_order_relaxed);
        try {
            thread_ = std::thread([this] { threadMain(); });
        } catch (const std::system_error&) {
            running_.store(false, std::memory_order_release);
            return kStatusThread;
        }
    }
    return 0;
}

int OfflineAudioDevice::stopUnit() {
    running_.store(false, std::memory_order_release);
    threadStop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) {
        thread_.join();
    }
    return 0;
}

void OfflineAudioDevice::disposeUnit() {
    stopUnit();
    unitInitialized_ = false;
    unitCreated_ = false;
    callback_ = nullptr;
    context_ = nullptr;
}

bool OfflineAudioDevice::configureOutput(const std::string& name, uint32_t bufferFrames) {
    // Its render thread reads the buffer size: only while no unit is set up.
    if (bufferFrames == 0 || unitInitialized_ || (!name.empty() && name != "Offline output")) {
        return false;
    }
    options_.bufferFrames = bufferFrames;
    return true;
}

void OfflineAudioDevice::attachRunLoop(RunLoop* loop, ManualClock* audioClock) {
    loop_ = loop;
    audioClock_ = audioClock;
}

void OfflineAudioDevice::setSettleHook(std::function<void()> hook) {
    settleHook_ = std::move(hook);
}

void OfflineAudioDevice::setThreadSink(Sink sink) {
    threadSink_ = std::move(sink);
}

void OfflineAudioDevice::interrupt(bool begins) {
    if (interruptionListener_) {
        interruptionListener_(begins);
    }
}

// Renders one buffer (callback when running, silence otherwise) and hands it to the sink.
bool OfflineAudioDevice::renderOne(uint32_t frames, const Sink& sink) {
    AudioBufferList list;
    const bool callBack = running_.load(std::memory_order_acquire) && callback_ != nullptr;
    if (format_.isFloat()) {
        std::fill_n(left_.data(), frames, 0.0f);
        std::fill_n(right_.data(), frames, 0.0f);
        list.count = 2;
        list.buffers[0] = {left_.data(), 1, frames * 4u};
        list.buffers[1] = {right_.data(), 1, frames * 4u};
        if (callBack) {
            const RenderCallbackScope scope;
            callback_(context_, frames, list);
        }
        for (uint32_t i = 0; i < frames; ++i) {
            interleaved_[2 * i] = left_[i];
            interleaved_[2 * i + 1] = right_[i];
        }
    } else {
        std::fill_n(pcm_.data(), frames * 2, int16_t{0});
        list.count = 1;
        list.buffers[0] = {pcm_.data(), 2, frames * 4u};
        if (callBack) {
            const RenderCallbackScope scope;
            callback_(context_, frames, list);
        }
        for (uint32_t i = 0; i < frames * 2; ++i) {
            interleaved_[i] = pcm_[i] / 32768.0f;
        }
    }
    framesRendered_.fetch_add(frames, std::memory_order_relaxed);
    return sink ? sink(interleaved_.data(), frames, list) : true;
}

bool OfflineAudioDevice::pull(int64_t frames, const Sink& sink) {
    if (!unitInitialized_) {
        return false;
    }
    using WallClock = std::chrono::steady_clock;
    const auto wallStart = WallClock::now();
    int64_t done = 0;
    while (done < frames) {
        const auto n =
            static_cast<uint32_t>(std::min<int64_t>(options_.bufferFrames, frames - done));
        const bool more = renderOne(n, sink);
        done += n;
        if (audioClock_) {
            audioClock_->advance(n / format_.sampleRate);
        }
        if (settleHook_) {
            settleHook_();
        }
        if (loop_) {
            loop_->runDue();
        }
        if (options_.pacedRealTime) {
            const auto due =
                wallStart + std::chrono::duration_cast<WallClock::duration>(
                                std::chrono::duration<double>(done / format_.sampleRate));
            std::this_thread::sleep_until(due);
        }
        if (!more) {
            return false;
        }
    }
    return true;
}

std::vector<float> OfflineAudioDevice::renderToMemory(int64_t frames) {
    std::vector<float> out;
    out.reserve(static_cast<size_t>(std::max<int64_t>(frames, 0)) * 2);
    pull(frames, [&out](const float* data, uint32_t n, const AudioBufferList&) {
        out.insert(out.end(), data, data + size_t{n} * 2);
        return true;
    });
    return out;
}

bool OfflineAudioDevice::renderToFile(const std::filesystem::path& path, int64_t frames,
                                      std::string* error, const std::function<bool()>& keepGoing,
                                      int64_t* rendered) {
    const auto fileFormat =
        format_.isFloat() ? AudioFileWriter::Format::WavFloat32 : AudioFileWriter::Format::WavInt16;
    auto writer =
        AudioFileWriter::create(path, fileFormat, static_cast<int>(format_.sampleRate), 2, error);
    if (!writer) {
        return false;
    }
    bool writeOk = true;
    bool stopped = false;
    const bool pulled = pull(frames, [&](const float* data, uint32_t n, const AudioBufferList&) {
        writeOk = writer->write(data, n);
        if (writeOk && keepGoing && !keepGoing()) {
            stopped = true;
            return false;
        }
        return writeOk;
    });
    const bool closed = writer->close();
    if (rendered) {
        *rendered = writer->framesWritten();
    }
    if ((!pulled && !stopped) || !writeOk || !closed) {
        if (error && error->empty()) {
            *error = writer->error().empty() ? "could not render or write " + path.string()
                                             : writer->error();
        }
        return false;
    }
    return true;
}

void OfflineAudioDevice::threadMain() {
    using WallClock = std::chrono::steady_clock;
    const auto wallStart = WallClock::now();
    uint64_t done = 0;
    while (!threadStop_.load(std::memory_order_relaxed)) {
        renderOne(options_.bufferFrames, threadSink_);
        done += options_.bufferFrames;
        const auto due = wallStart + std::chrono::duration_cast<WallClock::duration>(
                                         std::chrono::duration<double>(done / format_.sampleRate));
        std::this_thread::sleep_until(due);
    }
}

} // namespace vx
