#include "platform/AudioFileWriter.h"
#include "platform/SampleRate.h"
#include "platform/EngineLock.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vx {
namespace {

std::string avErrorText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

void put16(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Clips to -1..1 and rounds to the nearest step of 1/32768; +1.0 becomes 32767.
int16_t toPcm16(float x) {
    if (!(x == x)) {
        return 0; // NaN
    }
    const long v = std::lround(double(std::clamp(x, -1.0f, 1.0f)) * 32768.0);
    return int16_t(std::clamp<long>(v, -32768, 32767));
}

constexpr int kM4aChannels = 2;
constexpr int64_t kM4aBitRate = 256000;

} // namespace

class AudioFileWriter::Sink {
public:
    virtual ~Sink() = default;
    virtual bool write(const float* interleaved, int64_t frames, std::string* error) = 0;
    virtual bool finish(std::string* error) = 0;
    // Brings the file's header up to date with what has been written; true when it is.
    virtual bool checkpoint(std::string*) { return true; }
    // Frames of audio between automatic header updates (WAVE only).
    virtual void setCheckpointFrames(int64_t) {}
};

namespace {

// RIFF/WAVE: "RIFF" size "WAVE", "fmt " (16 bytes for PCM, 18 for float), "fact" (float
// only: the frame count), "data" size, samples little-endian.
//
// The samples go through a buffer of the writer's own straight to the file descriptor, so that
// the writer always knows how many bytes reached the file: after a failed write (a full disk,
// a quota, a file size limit) the header is written for exactly those whole frames and the file
// is cut after them, which leaves a valid file of everything that was written. Every
// `checkpointFrames` frames of audio the header is brought up to date, so a process killed
// mid-write leaves a valid file holding all but the last moments.
class WavSink final : public AudioFileWriter::Sink {
public:
    WavSink(bool isFloat, int sampleRate, int channels)
        : float_(isFloat), rate_(sampleRate), channels_(channels), headerBytes_(isFloat ? 58 : 44),
          bytesPerSample_(isFloat ? 4 : 2), checkpointFrames_(int64_t(sampleRate) * 2) {}

    ~WavSink() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool open(const std::filesystem::path& path, std::string* error) {
        // Not truncated before the lock is held: a file another writer is still filling stays
        // whole.
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            *error = "cannot create " + path.string() + ": " + std::strerror(errno);
            return false;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            *error = "cannot create " + path.string() + ": not a regular file";
            return false;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            *error = "cannot create " + path.string() + ": it is being written by another program";
            return false;
        }
        if (::ftruncate(fd_, 0) != 0) {
            *error = "cannot create " + path.string() + ": " + std::strerror(errno);
            return false;
        }
        return writeHeader(error);
    }

    void setCheckpointFrames(int64_t frames) override {
        checkpointFrames_ = std::max<int64_t>(frames, 1);
    }

    bool write(const float* interleaved, int64_t frames, std::string* error) override {
        const uint64_t bytes = uint64_t(frames) * uint64_t(channels_) * bytesPerSample_;
        if (uint64_t(headerBytes_) - 8 + fileBytes_ + pending_.size() + bytes > 0xFFFFFFFFull) {
            *error = "a WAVE file holds at most 4 GiB";
            return false;
        }
        const size_t samples = size_t(frames) * size_t(channels_);
        for (size_t i = 0; i < samples;) {
            const size_t room = (kBufferBytes - pending_.size()) / bytesPerSample_;
            const size_t n = std::min(room, samples - i);
            const size_t at = pending_.size();
            pending_.resize(at + n * bytesPerSample_);
            unsigned char* p = pending_.data() + at;
            for (size_t k = 0; k < n; ++k) {
                const float x = interleaved[i + k];
                if (float_) {
                    uint32_t bits = 0;
                    std::memcpy(&bits, &x, sizeof bits);
                    put32(p + 4 * k, bits);
                } else {
                    put16(p + 2 * k, uint16_t(toPcm16(x)));
                }
            }
            i += n;
            if (pending_.size() + bytesPerSample_ > kBufferBytes && !flushPending(error)) {
                return false;
            }
        }
        sinceCheckpoint_ += frames;
        if (sinceCheckpoint_ >= checkpointFrames_) {
            return checkpoint(error);
        }
        return true;
    }

    bool checkpoint(std::string* error) override {
        sinceCheckpoint_ = 0;
        return flushPending(error) && writeHeader(error);
    }

    bool finish(std::string* error) override {
        // After a failed write only what reached the file counts: the header describes it and
        // anything after it (a partly written block) is cut off.
        bool ok = failed_ ? false : flushPending(error);
        const std::string firstError = *error;
        std::string headerError;
        const bool header =
            writeHeader(&headerError) && ::ftruncate(fd_, off_t(headerBytes_ + fileBytes_)) == 0;
        if (!header && ok) {
            *error = headerError.empty()
                         ? std::string("cannot finish the WAVE file: ") + std::strerror(errno)
                         : headerError;
        }
        ok = ok && header;
        if (::close(fd_) != 0 && ok) {
            *error = std::string("cannot close the WAVE file: ") + std::strerror(errno);
            ok = false;
        }
        fd_ = -1;
        if (!firstError.empty()) {
            *error = firstError;
        }
        return ok;
    }

private:
    static constexpr size_t kBufferBytes = 1 << 16;

    // Writes the buffered samples after those already in the file; on failure keeps only the
    // whole frames that reached it.
    bool flushPending(std::string* error) {
        if (failed_) {
            return false;
        }
        const uint32_t blockAlign = uint32_t(channels_) * bytesPerSample_;
        size_t done = 0;
        while (done < pending_.size()) {
            const ssize_t n = ::pwrite(fd_, pending_.data() + done, pending_.size() - done,
                                       off_t(headerBytes_ + fileBytes_ + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                const int code = n < 0 ? errno : ENOSPC;
                failed_ = true;
                fileBytes_ += (done / blockAlign) * blockAlign;
                pending_.clear();
                *error = std::string("cannot write the WAVE data: ") + std::strerror(code);
                return false;
            }
            done += size_t(n);
        }
        fileBytes_ += done;
        pending_.clear();
        return true;
    }

    bool writeHeader(std::string* error) {
        std::array<unsigned char, 58> h{};
        const uint32_t blockAlign = uint32_t(channels_) * bytesPerSample_;
        const uint32_t fmtBytes = float_ ? 18 : 16;
        std::memcpy(&h[0], "RIFF", 4);
        put32(&h[4], uint32_t(headerBytes_ - 8 + fileBytes_));
        std::memcpy(&h[8], "WAVE", 4);
        std::memcpy(&h[12], "fmt ", 4);
        put32(&h[16], fmtBytes);
        put16(&h[20], float_ ? 3 : 1); // WAVE_FORMAT_IEEE_FLOAT / WAVE_FORMAT_PCM
        put16(&h[22], uint32_t(channels_));
        put32(&h[24], uint32_t(rate_));
        put32(&h[28], uint32_t(rate_) * blockAlign);
        put16(&h[32], blockAlign);
        put16(&h[34], bytesPerSample_ * 8);
        size_t at = 36;
        if (float_) {
            put16(&h[36], 0); // no extension bytes
            std::memcpy(&h[38], "fact", 4);
            put32(&h[42], 4);
            put32(&h[46], uint32_t(fileBytes_ / blockAlign));
            at = 50;
        }
        std::memcpy(&h[at], "data", 4);
        put32(&h[at + 4], uint32_t(fileBytes_));
        for (size_t done = 0; done < headerBytes_;) {
            const ssize_t n = ::pwrite(fd_, h.data() + done, headerBytes_ - done, off_t(done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                *error = std::string("cannot write the WAVE header: ") +
                         std::strerror(n < 0 ? errno : ENOSPC);
                return false;
            }
            done += size_t(n);
        }
        return true;
    }

    int fd_ = -1;
    bool float_;
    int rate_;
    int channels_;
    size_t headerBytes_;
    uint32_t bytesPerSample_;
    int64_t checkpointFrames_;
    int64_t sinceCheckpoint_ = 0;
    uint64_t fileBytes_ = 0; // sample bytes in the file (whole frames)
    bool failed_ = false;
    std::vector<unsigned char> pending_;
};

// AAC-LC in an M4A file: input -> resampler (to 44100 Hz stereo planar float) -> FIFO of
// encoder-sized frames -> "aac" encoder -> "ipod" muxer.
class M4aSink final : public AudioFileWriter::Sink {
public:
    M4aSink(int sampleRate, int channels) : inRate_(sampleRate), inChannels_(channels) {}

    ~M4aSink() override {
        if (output_ && output_->pb) {
            avio_closep(&output_->pb);
        }
        avformat_free_context(output_);
        avcodec_free_context(&encoder_);
        swr_free(&resampler_);
        if (fifo_) {
            av_audio_fifo_free(fifo_);
        }
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }

    bool open(const std::filesystem::path& path, std::string* error) {
        const std::string url = "file:" + std::filesystem::absolute(path).string();
        int result = avformat_alloc_output_context2(&output_, nullptr, "ipod", url.c_str());
        const AVCodec* codec = avcodec_find_encoder_by_name("aac");
        if (result < 0 || !output_ || !codec) {
            *error = "FFmpeg's ipod muxer or aac encoder is missing";
            return false;
        }
        stream_ = avformat_new_stream(output_, nullptr);
        encoder_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!stream_ || !encoder_ || !frame_ || !packet_) {
            *error = "out of memory";
            return false;
        }
        encoder_->sample_rate = kSampleRate;
        av_channel_layout_default(&encoder_->ch_layout, kM4aChannels);
        encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder_->bit_rate = kM4aBitRate;
        encoder_->profile = FF_PROFILE_AAC_LOW;
        encoder_->time_base = AVRational{1, kSampleRate};
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) {
            encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if ((result = avcodec_open2(encoder_, codec, nullptr)) < 0 ||
            (result = avcodec_parameters_from_context(stream_->codecpar, encoder_)) < 0) {
            *error = "cannot open the AAC encoder: " + avErrorText(result);
            return false;
        }
        stream_->time_base = encoder_->time_base;
        frameSize_ = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;

        AVChannelLayout inLayout{};
        av_channel_layout_default(&inLayout, inChannels_);
        result = swr_alloc_set_opts2(&resampler_, &encoder_->ch_layout, AV_SAMPLE_FMT_FLTP,
                                     kSampleRate, &inLayout, AV_SAMPLE_FMT_FLT, inRate_, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (result >= 0 && inChannels_ == 1) {
            const std::array<double, 2> both = {1.0, 1.0}; // mono at full level on both sides
            result = swr_set_matrix(resampler_, both.data(), 1);
        }
        if (result < 0 || (result = swr_init(resampler_)) < 0) {
            *error = "cannot set up the resampler: " + avErrorText(result);
            return false;
        }
        fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, kM4aChannels, frameSize_ * 4);
        if (!fifo_) {
            *error = "out of memory";
            return false;
        }
        if ((result = avio_open(&output_->pb, url.c_str(), AVIO_FLAG_WRITE)) < 0) {
            *error = "cannot create " + path.string() + ": " + avErrorText(result);
            return false;
        }
        if ((result = avformat_write_header(output_, nullptr)) < 0) {
            *error = "cannot write the M4A header: " + avErrorText(result);
            return false;
        }
        return true;
    }

    bool write(const float* interleaved, int64_t frames, std::string* error) override {
        constexpr int64_t kChunk = 16384;
        for (int64_t done = 0; done < frames;) {
            const int64_t n = std::min(kChunk, frames - done);
            const auto* in = reinterpret_cast<const uint8_t*>(interleaved + done * inChannels_);
            if (!resample(&in, int(n), error) || !encodeFull(error)) {
                return false;
            }
            done += n;
        }
        return true;
    }

    bool finish(std::string* error) override {
        bool ok = resample(nullptr, 0, error) && encodeFull(error);
        if (ok && av_audio_fifo_size(fifo_) > 0) {
            ok = encodeFrame(av_audio_fifo_size(fifo_), error); // AAC takes a short last frame
        }
        if (ok) {
            const int result = avcodec_send_frame(encoder_, nullptr);
            ok =
                result >= 0 ? drainPackets(error) : fail(error, "cannot flush the encoder", result);
        }
        if (ok) {
            const int result = av_write_trailer(output_);
            ok = result >= 0 || fail(error, "cannot finish the M4A file", result);
        }
        const int closed = avio_closep(&output_->pb);
        if (ok && closed < 0) {
            ok = fail(error, "cannot close the M4A file", closed);
        }
        return ok;
    }

private:
    static bool fail(std::string* error, const char* what, int code) {
        *error = std::string(what) + ": " + avErrorText(code);
        return false;
    }

    // Runs the resampler (input nullptr: flush) and queues its output.
    bool resample(const uint8_t** in, int frames, std::string* error) {
        const int capacity = swr_get_out_samples(resampler_, frames) + 64;
        left_.resize(size_t(capacity));
        right_.resize(size_t(capacity));
        std::array<uint8_t*, 2> out = {reinterpret_cast<uint8_t*>(left_.data()),
                                       reinterpret_cast<uint8_t*>(right_.data())};
        const int made = swr_convert(resampler_, out.data(), capacity, in, frames);
        if (made < 0) {
            return fail(error, "cannot resample", made);
        }
        if (made > 0 &&
            av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out.data()), made) < made) {
            *error = "out of memory";
            return false;
        }
        return true;
    }

    bool encodeFull(std::string* error) {
        while (av_audio_fifo_size(fifo_) >= frameSize_) {
            if (!encodeFrame(frameSize_, error)) {
                return false;
            }
        }
        return true;
    }

    bool encodeFrame(int frames, std::string* error) {
        av_frame_unref(frame_);
        frame_->nb_samples = frames;
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = kSampleRate;
        int result = av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout);
        if (result < 0 || (result = av_frame_get_buffer(frame_, 0)) < 0) {
            return fail(error, "cannot allocate an audio frame", result);
        }
        if (av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), frames) < frames) {
            *error = "the sample queue ran dry";
            return false;
        }
        frame_->pts = nextPts_;
        nextPts_ += frames;
        if ((result = avcodec_send_frame(encoder_, frame_)) < 0) {
            return fail(error, "cannot encode", result);
        }
        return drainPackets(error);
    }

    bool drainPackets(std::string* error) {
        for (;;) {
            int result = avcodec_receive_packet(encoder_, packet_);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
                return true;
            }
            if (result < 0) {
                return fail(error, "cannot encode", result);
            }
            av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            result = av_interleaved_write_frame(output_, packet_);
            av_packet_unref(packet_);
            if (result < 0) {
                return fail(error, "cannot write the M4A data", result);
            }
        }
    }

    int inRate_;
    int inChannels_;
    AVFormatContext* output_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int frameSize_ = 1024;
    int64_t nextPts_ = 0;
    std::vector<float> left_;
    std::vector<float> right_;
};

} // namespace

AudioFileWriter::AudioFileWriter(std::unique_ptr<Sink> sink) : sink_(std::move(sink)) {}

AudioFileWriter::~AudioFileWriter() {
    close();
}

std::unique_ptr<AudioFileWriter> AudioFileWriter::create(const std::filesystem::path& path,
                                                         Format format, int sampleRate,
                                                         int channels, std::string* error) {
    engineLockTripwire("an audio file creation");
    std::string local;
    std::string& message = error ? *error : local;
    message.clear();
    if (sampleRate <= 0 || sampleRate > 768000) {
        message = "unsupported sample rate " + std::to_string(sampleRate);
        return nullptr;
    }
    if (channels < 1 || channels > 2) {
        message = "unsupported channel count " + std::to_string(channels);
        return nullptr;
    }
    std::unique_ptr<Sink> sink;
    if (format == Format::M4aAac) {
        auto m4a = std::make_unique<M4aSink>(sampleRate, channels);
        if (!m4a->open(path, &message)) {
            m4a.reset();
            std::error_code ec;
            std::filesystem::remove(path, ec);
            return nullptr;
        }
        sink = std::move(m4a);
    } else {
        auto wav = std::make_unique<WavSink>(format == Format::WavFloat32, sampleRate, channels);
        if (!wav->open(path, &message)) {
            return nullptr;
        }
        sink = std::move(wav);
    }
    return std::unique_ptr<AudioFileWriter>(new AudioFileWriter(std::move(sink)));
}

bool AudioFileWriter::write(const float* interleaved, int64_t frames) {
    engineLockTripwire("an audio file write");
    if (closed_ || !error_.empty()) {
        if (error_.empty()) {
            error_ = "the file is closed";
        }
        return false;
    }
    if (frames <= 0) {
        return frames == 0;
    }
    if (!interleaved) {
        return false;
    }
    if (!sink_->write(interleaved, frames, &error_)) {
        return false;
    }
    framesWritten_ += frames;
    return true;
}

bool AudioFileWriter::updateHeader() {
    engineLockTripwire("an audio file header write");
    if (closed_ || !error_.empty()) {
        return false;
    }
    return sink_->checkpoint(&error_);
}

void AudioFileWriter::setHeaderInterval(int64_t frames) {
    if (sink_) {
        sink_->setCheckpointFrames(frames);
    }
}

bool AudioFileWriter::close() {
    engineLockTripwire("an audio file close");
    if (closed_) {
        return closeResult_;
    }
    closed_ = true;
    std::string message;
    closeResult_ = sink_->finish(&message) && error_.empty();
    if (!message.empty()) {
        error_ = message;
    }
    sink_.reset();
    return closeResult_;
}

} // namespace vx
