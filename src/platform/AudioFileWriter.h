#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vx {

// AudioFileWriter writes interleaved float audio to a new file, replacing any file of that
// name: WAVE with 32-bit float samples (format tag 3 with a "fact" chunk) or 16-bit PCM, at
// any rate, one or two channels; or M4A holding AAC-LC at 44100 Hz stereo, made by FFmpeg's
// own "aac" encoder and "ipod" muxer, the input resampled and mono copied to both channels.
//
// Threads: any thread except the render thread; one thread at a time.
// It owns the open file and, for M4A, the FFmpeg encoder, resampler and muxer. The WAVE
// header is written by hand (it is 44 or 58 bytes and must be exact): placeholder sizes at
// creation, brought up to date every two seconds of audio written (setHeaderInterval) and at
// close, which the destructor also does; so a process killed mid-write leaves a valid file.
// A WAVE file holds at most 4 GiB of samples; a write beyond that fails. After a failed write
// (full disk, file size limit) the writer refuses further writes and close() leaves a valid
// file of the whole frames that reached the disk (close then returns false).
// While a WAVE file is being written the writer holds an exclusive flock on it; creating a file
// another writer holds fails instead of truncating it.
class AudioFileWriter {
public:
    enum class Format { WavFloat32, WavInt16, M4aAac };

    // Any non-render thread: creates the file; nullptr and *error set on failure (bad rate
    // or channel count, unwritable path, missing encoder). sampleRate in Hz, channels 1 or 2.
    static std::unique_ptr<AudioFileWriter> create(const std::filesystem::path& path, Format format,
                                                   int sampleRate, int channels,
                                                   std::string* error);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Writer's thread: appends frames (interleaved, channels() samples each, -1..1; 16-bit
    // output clips to that range and rounds). False on failure or after close().
    bool write(const float* interleaved, int64_t frames);
    // Writer's thread: WAVE: rewrites the header for the data written so far and flushes the
    // file, so that it stays a valid file if the process dies before close(). M4A: nothing
    // (its index is written at close). False on failure or after close().
    bool updateHeader();
    // Writer's thread: WAVE: frames of audio between automatic header updates (≥ 1; two
    // seconds at the file's rate unless set). M4A: nothing.
    void setHeaderInterval(int64_t frames);
    // Writer's thread: flushes the encoder, writes the final header and closes the file.
    // True when the file is complete; calling it again returns the first result.
    bool close();
    // Writer's thread: frames accepted so far, at the input rate.
    int64_t framesWritten() const { return framesWritten_; }
    // Writer's thread: what failed, empty while all is well.
    const std::string& error() const { return error_; }

    // The internal encoder of one format (WAVE or M4A); defined in the .cpp.
    class Sink;

private:
    explicit AudioFileWriter(std::unique_ptr<Sink> sink);

    std::unique_ptr<Sink> sink_;
    int64_t framesWritten_ = 0;
    bool closed_ = false;
    bool closeResult_ = false;
    std::string error_;
};

} // namespace vx
