#pragma once
// MixRecordWriter: records the finished output buffers to a WAVE file without letting the
// render thread near the disk.
//
// The render thread copies each buffer into a single-producer, single-consumer ring of
// interleaved stereo floats (16-bit output is carried as value / 32768, which the 16-bit file
// writer turns back into the same integers); a writer thread drains the ring into the file
// every few milliseconds and the WAVE header is rewritten after every two seconds of audio, so a
// recording cut short by a crash or a kill is still a valid file holding all but the last
// moments. A write error (full disk) ends the recording: the writer stops, says so on stderr,
// and the file keeps a valid header for what was written; failed() turns true.
//
// When the ring has no room for a buffer the buffer is dropped whole and its frames counted;
// the writer logs every loss it sees. A renderer that runs faster than real time (the offline
// device) may instead ask the ring to wait for room: that thread is not a real-time one, and a
// recording made that way equals the rendered output sample for sample.
//
// Threads: created and closed on the main thread; writeBuffer on the render thread (no
// allocation, no locks, no system calls unless waiting for room was asked for); the file
// belongs to the writer thread.

#include "engine/AudioOut.h"
#include "platform/AudioFileWriter.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace vx {

// Main thread: the record button's next file, "VXNexa_%04i.wav" in `folder` with the lowest
// number ≥ `from` whose name is free (no file, folder or link of that name), so that a
// recording never replaces another whatever the counter says; `*number` (if given) gets the
// number used. The caller stores number + 1 as the next counter.
std::filesystem::path nextFreeRecordFile(const std::filesystem::path& folder, int64_t from,
                                         int64_t* number = nullptr);

class MixRecordWriter final : public MixRecorder {
public:
    struct Options {
        bool float32 = true;           // 32-bit float file; false: 16-bit integer
        int sampleRate = 44100;        // the mix's rate, Hz
        int ringFrames = 1 << 19;      // ring capacity, frames (about 12 s at 44.1 kHz)
        bool waitWhenFull = false;     // block the producer instead of dropping (offline only)
        double headerSeconds = 2.0;    // seconds of audio between header updates
        bool startWriterThread = true; // tests may hold the writer back
    };

    // Main thread: creates the file (replacing one of that name) and starts the writer; null
    // and *error set when the file cannot be created.
    static std::unique_ptr<MixRecordWriter> create(const std::filesystem::path& path,
                                                   const Options& options, std::string* error);
    ~MixRecordWriter() override;
    MixRecordWriter(const MixRecordWriter&) = delete;
    MixRecordWriter& operator=(const MixRecordWriter&) = delete;

    // Render thread: copies `frames` frames of the buffer into the ring (see above).
    void writeBuffer(const AudioBufferList& buffers, uint32_t frames) override;

    // Main thread: starts the writer thread when Options held it back.
    void startWriter();
    // Main thread: the producer must have stopped; drains the ring, writes the final header and
    // closes the file. True when every frame reached the file and the file is complete.
    bool close();

    // Any thread: frames dropped because the ring was full; frames written to the file.
    uint64_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }
    uint64_t writtenFrames() const { return written_.load(std::memory_order_relaxed); }
    const std::filesystem::path& path() const { return path_; }
    // Any thread: a write to the file failed; the recording ended there.
    bool failed() const { return failed_.load(std::memory_order_relaxed); }

private:
    MixRecordWriter(std::filesystem::path path, const Options& options,
                    std::unique_ptr<AudioFileWriter> file);
    void run();
    // Writer thread: moves what the ring holds into the file; false on a write error.
    bool drain();

    std::filesystem::path path_;
    Options options_;
    std::unique_ptr<AudioFileWriter> file_;
    std::unique_ptr<float[]> ring_;             // ringFrames × 2 floats
    uint64_t capacity_;                         // in floats
    alignas(64) std::atomic<uint64_t> head_{0}; // floats written by the producer
    alignas(64) std::atomic<uint64_t> tail_{0}; // floats consumed by the writer
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> written_{0};
    uint64_t droppedLogged_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::thread writer_;
    bool closed_ = false;
    bool closeResult_ = false;
};

} // namespace vx
