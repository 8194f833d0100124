#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

namespace vx {

// The format of an audio file as stored, and the lengths the reader derived from it.
struct AudioFileFormat {
    int sampleRate = 0;            // the file's own rate, Hz
    int channels = 0;              // the file's own channel count
    std::string codec;             // FFmpeg's codec name: "mp3", "aac", "flac", "pcm_f32le"...
    int64_t frames44100 = 0;       // exact length in frames at 44100 Hz, priming removed
    int64_t primingFrames = 0;     // leading frames the decoder drops, at the file's own rate
    double seconds = 0;            // length in seconds
    int64_t frames = 0;            // exact length in frames at the file's own rate, priming removed
    bool lengthFromHeader = false; // true: taken from the header; false: counted by decoding
    std::string damage;            // empty, or how the file is damaged ("truncated: ...")
};

// AudioFileReader decodes one audio file, of any format FFmpeg can demux and decode, into
// one of two client formats: 44100 Hz stereo interleaved float (what the decks play) or mono
// float at the file's own rate (what the analysis reads). It owns the FFmpeg demuxer, decoder
// and resampler of that file and a small buffer of converted frames.
//
// Threads: any thread except the render thread; one thread at a time (it is not locked).
//
// Timeline. Frame 0 is the first frame of the actual audio: the encoder's and decoder's delay
// (the "priming", e.g. 1105 frames for a LAME MP3, 1024 for AAC) is dropped by FFmpeg using
// what the container says (LAME tag, MP4 edit list), which works because the decoder is
// told the stream's time base. The length is the exact number of frames a sequential read
// delivers. It comes from the header when the header is exact: MP3 with a Xing/Info frame
// and a LAME tag (frames x samples per frame - encoder delay - padding), PCM (data size) and
// FLAC (STREAMINFO). Every other file (AAC, Ogg, MP3 without a LAME tag...) is decoded once
// at open to count its frames; for FFmpeg-written M4A files that count includes the AAC
// encoder's padding after the last input frame, which the MP4 edit list does not record
// exactly.
//
// Seeking is sample-accurate: after seek(f) the frames read equal those of a sequential read
// from the start. The demuxer seeks to f minus a preroll (at least 4608 frames: four MP3
// frames, several AAC packets, so that the bit reservoir and the transform overlap are
// rebuilt), the decoder is flushed, the first frame is placed by its timestamp and
// everything before f is dropped. A seek that lands after f is retried with a longer preroll
// and finally by decoding from the start. This is bit-exact for the mono client (it never
// resamples) and for the 44100 Hz client with a 44100 Hz file. For other rates the resampler is
// restarted at a frame where the file's and the client's grids meet (every rate/gcd(rate, 44100)
// frames), at least 1024 output frames before the target, so that its phase is the sequential
// read's; the filter's history is then rebuilt within those frames. The promise for those rates is
// a match to within float rounding (the tests allow 1e-5); with FFmpeg 5.1's resampler it has been
// bit for bit.
//
// Limits: a file whose rate is outside 8000..384000 Hz, with more than 32 channels, or longer
// than 24 hours fails to open, before any buffer is sized from it.
//
// Damaged files: a file whose header announces more audio than the file holds (an MP3 whose
// info frame gives a larger stream size than the file's, a WAVE file whose data size exceeds
// the file) has its frames counted by decoding; its length is what can be played, and
// fileFormat().damage says so. A file that is not audio fails to open. A truncated or corrupt file
// reads what it can; a read that comes to its end early returns the frames it has, error() says
// what happened, and the next read returns -1. Undecodable packets in the middle are skipped
// (and noted in error()).
class AudioFileReader {
public:
    // Stereo44100: the decks' format. Mono44100: the analysis's (positions match the decks').
    // MonoNative: one channel at the file's own rate.
    enum class Client { Stereo44100, Mono44100, MonoNative };

    // Any non-render thread: opens the file; nullptr and *error set when it cannot be read
    // as audio. Counting frames may decode the whole file (see above).
    static std::unique_ptr<AudioFileReader> open(const std::filesystem::path& path, Client client,
                                                 std::string* error);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // Any thread: the file's own format and lengths.
    const AudioFileFormat& fileFormat() const { return format_; }
    // Any thread: client rate in Hz (44100, or the file's rate for MonoNative).
    int clientSampleRate() const { return clientRate_; }
    // Any thread: client channels (2 or 1).
    int clientChannels() const { return clientChannels_; }
    // Any thread: length in client frames.
    int64_t lengthFrames() const { return clientLength_; }
    // Reader's thread: moves to a client frame in 0...lengthFrames(); false when out of range
    // or when the file cannot be positioned (then error() says why).
    bool seek(int64_t frame);
    // Reader's thread: reads up to `frames` interleaved client frames into dst; returns the
    // number read, 0 at the end, -1 when the file ended early or failed (see error()).
    int64_t read(float* dst, int64_t frames);
    // Reader's thread: the client frame the next read starts at.
    int64_t position() const { return position_; }
    // Reader's thread: what went wrong with the data, empty while all is well.
    const std::string& error() const { return error_; }

private:
    AudioFileReader(std::filesystem::path path, Client client);
    bool openInput(std::string* error);
    void closeInput();
    bool reopen();
    bool probe(std::string* error);
    bool measureLength();
    int receiveFrame();
    bool pump();
    void consumeFrame(int64_t start);
    bool configureConverter(const AVFrame* frame);
    void convert(const AVFrame* frame, int64_t offset, int64_t count);
    void emit(const float* samples, int64_t frames);
    void emitSilence(int64_t frames);
    void finishStream();
    bool seekNative(int64_t nativeFrame);
    bool demuxSeek(int64_t sampleTimestamp);
    void resetDecoding();
    void noteCorruption(int code);
    int64_t bufferedFrames() const;
    int64_t toSamples(int64_t timestamp) const;

    std::filesystem::path path_;
    Client client_;
    AudioFileFormat format_;
    std::string error_;
    std::string damage_;

    AVFormatContext* input_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* converter_ = nullptr;
    int streamIndex_ = -1;

    // Converter set-up: what it was configured for and how many channels it outputs.
    int converterInFormat_ = -1;
    int converterInRate_ = 0;
    int converterInChannels_ = 0;
    int converterOutChannels_ = 0;
    std::vector<float> convertBuffer_;
    std::vector<const uint8_t*> inputPointers_;

    int clientRate_ = 0;
    int clientChannels_ = 0;
    int64_t nativeLength_ = 0;
    int64_t clientLength_ = 0;
    bool resampling_ = false;
    int64_t gridNative_ = 1; // resampler restart grid: native frames...
    int64_t gridClient_ = 1; // ...and the client frames they make

    // Timestamp (in native frames) of frame 0, and whether timestamps can place frames.
    int64_t originSamples_ = 0;
    bool timestampsUsable_ = true;
    int64_t firstPacketSkip_ = -1;

    // Decoding state.
    bool heldFrame_ = false;  // frame_ holds a decoded frame not yet consumed
    bool draining_ = false;   // the end of the packets was sent to the decoder
    bool ended_ = false;      // no more frames will be produced until the next seek
    bool failed_ = false;     // the stream ended early or broke: reads return -1 once empty
    bool readFailed_ = false; // the demuxer or decoder gave up before the end of the file
    bool inPreroll_ = false;  // decoding towards a seek target: errors there are expected
    int consecutiveErrors_ = 0;
    int64_t nextNative_ = 0;      // native index of the next decoded sample
    int64_t skipNativeUntil_ = 0; // native samples before this index are dropped
    int64_t produced_ = 0;        // client index of the next frame the converter emits

    // Converted client frames [position_, produced_) waiting to be read.
    std::vector<float> buffer_;
    size_t bufferRead_ = 0; // offset of position_'s first sample in buffer_
    int64_t position_ = 0;
};

} // namespace vx
