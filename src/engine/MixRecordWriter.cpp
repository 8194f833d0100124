#include "engine/MixRecordWriter.h"

#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <vector>

namespace vx {

namespace {

// How long the writer sleeps when the ring is empty.
constexpr auto kWriterNap = std::chrono::milliseconds(5);
// Largest slice the writer hands to the file at once, in frames.
constexpr uint64_t kWriteSliceFrames = 8192;

} // namespace

std::filesystem::path nextFreeRecordFile(const std::filesystem::path& folder, int64_t from,
                                         int64_t* number) {
    int64_t n = std::max<int64_t>(from, 0);
    std::filesystem::path file;
    for (;; ++n) {
        file = AudioOut::recordFileName(folder, int(std::min<int64_t>(n, INT32_MAX)));
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(file, ec);
        if (!std::filesystem::exists(status) || n >= INT32_MAX) {
            break;
        }
    }
    if (number) {
        *number = n;
    }
    return file;
}

std::unique_ptr<MixRecordWriter> MixRecordWriter::create(const std::filesystem::path& path,
                                                         const Options& options,
                                                         std::string* error) {
    if (options.ringFrames <= 0 || options.sampleRate <= 0) {
        *error = "bad recording options";
        return nullptr;
    }
    auto file = AudioFileWriter::create(path,
                                        options.float32 ? AudioFileWriter::Format::WavFloat32
                                                        : AudioFileWriter::Format::WavInt16,
                                        options.sampleRate, 2, error);
    if (!file) {
        return nullptr;
    }
    // The header follows the audio written, not the clock: a renderer faster than real time
    // (the offline device) would otherwise leave minutes of audio outside it.
    file->setHeaderInterval(
        std::max<int64_t>(1, std::llround(options.headerSeconds * options.sampleRate)));
    std::unique_ptr<MixRecordWriter> writer(new MixRecordWriter(path, options, std::move(file)));
    if (options.startWriterThread) {
        writer->startWriter();
    }
    return writer;
}

MixRecordWriter::MixRecordWriter(std::filesystem::path path, const Options& options,
                                 std::unique_ptr<AudioFileWriter> file)
    : path_(std::move(path)), options_(options), file_(std::move(file)),
      ring_(new float[size_t(options.ringFrames) * 2]()),
      capacity_(uint64_t(options.ringFrames) * 2) {}

MixRecordWriter::~MixRecordWriter() {
    close();
}

void MixRecordWriter::startWriter() {
    if (!writer_.joinable() && !closed_) {
        writer_ = std::thread([this] { run(); });
    }
}

void MixRecordWriter::writeBuffer(const AudioBufferList& buffers, uint32_t frames) {
    if (buffers.count < 1 || buffers.buffers[0].data == nullptr || frames == 0) {
        return;
    }
    const uint64_t need = uint64_t(frames) * 2;
    if (need > capacity_) {
        dropped_.fetch_add(frames, std::memory_order_relaxed);
        return;
    }
    const uint64_t head = head_.load(std::memory_order_relaxed);
    while (capacity_ - (head - tail_.load(std::memory_order_acquire)) < need) {
        if (!options_.waitWhenFull || failed_.load(std::memory_order_relaxed) ||
            stop_.load(std::memory_order_relaxed)) {
            dropped_.fetch_add(frames, std::memory_order_relaxed);
            return;
        }
        std::this_thread::yield();
    }
    // 16-bit output arrives as 4-byte frames, float output as 8-byte frames.
    const bool pcm16 = buffers.buffers[0].bytes == frames * 4u;
    for (uint64_t i = 0; i < need; ++i) {
        const float v =
            pcm16 ? float(static_cast<const int16_t*>(buffers.buffers[0].data)[i]) / 32768.0f
                  : static_cast<const float*>(buffers.buffers[0].data)[i];
        ring_[size_t((head + i) % capacity_)] = v;
    }
    head_.store(head + need, std::memory_order_release);
}

bool MixRecordWriter::drain() {
    while (true) {
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        const uint64_t head = head_.load(std::memory_order_acquire);
        if (head == tail) {
            break;
        }
        const uint64_t from = tail % capacity_;
        // One contiguous run of whole frames (the capacity is even, so frames never straddle).
        const uint64_t run = std::min({head - tail, capacity_ - from, kWriteSliceFrames * 2});
        if (!file_->write(ring_.get() + from, int64_t(run / 2))) {
            failed_.store(true, std::memory_order_relaxed);
            noticeLine("Recording to %s stopped: %s; the file keeps the %.1f s written before",
                       path_.string().c_str(), file_->error().c_str(),
                       double(written_.load(std::memory_order_relaxed)) / options_.sampleRate);
            return false;
        }
        tail_.store(tail + run, std::memory_order_release);
        written_.fetch_add(run / 2, std::memory_order_relaxed);
    }
    const uint64_t dropped = dropped_.load(std::memory_order_relaxed);
    if (dropped != droppedLogged_) {
        logLine("Recording to %s lost %llu frames: the writer fell behind", path_.string().c_str(),
                static_cast<unsigned long long>(dropped - droppedLogged_));
        droppedLogged_ = dropped;
    }
    return true;
}

void MixRecordWriter::run() {
    while (!stop_.load(std::memory_order_acquire)) {
        if (!failed_.load(std::memory_order_relaxed)) {
            drain();
        }
        std::this_thread::sleep_for(kWriterNap);
    }
}

bool MixRecordWriter::close() {
    if (closed_) {
        return closeResult_;
    }
    closed_ = true;
    stop_.store(true, std::memory_order_release);
    if (writer_.joinable()) {
        writer_.join();
    }
    // What the producer wrote before it stopped is still in the ring.
    const bool drained = !failed_.load(std::memory_order_relaxed) && drain();
    const bool fileClosed = file_->close();
    if (!fileClosed) {
        logLine("Recording to %s could not be completed: %s", path_.string().c_str(),
                file_->error().c_str());
    }
    closeResult_ = drained && fileClosed && dropped_.load(std::memory_order_relaxed) == 0;
    return closeResult_;
}

} // namespace vx
