#include "platform/AudioFileWriter.h"
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

constexpr int kM4aRate = 44100;
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
};

namespace {

// RIFF/WAVE: "RIFF" size "WAVE", "fmt " (16 bytes for PCM, 18 for float), "fact" (float
// only: the frame count), "data" size, samples little-endian.
class WavSink final : public AudioFileWriter::Sink {
public:
    WavSink(bool isFloat, int sampleRate, int channels)
        : float_(isFloat), rate_(sampleRate), channels_(channels), headerBytes_(isFloat ? 58 : 44),
          bytesPerSample_(isFloat ? 4 : 2) {}

    ~WavSink() override {
        if (file_) {
            std::fclose(file_);
        }
    }

    bool open(const std::filesystem::path& path, std::string* error) {
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) {
            *error = "cannot create " + path.string() + ": " + std::strerror(errno);
            return false;
        }
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        return writeHeader(error);
    }

    bool write(const float* interleaved, int64_t frames, std::string* error) override {
        const uint64_t bytes = uint64_t(frames) * uint64_t(channels_) * bytesPerSample_;
        if (uint64_t(headerBytes_) - 8 + dataBytes_ + bytes > 0xFFFFFFFFull) {
            *error = "a WAVE file holds at most 4 GiB";
            return false;
        }
        const size_t samples = size_t(frames) * size_t(channels_);
        constexpr size_t kChunk = 8192;
        scratch_.resize(kChunk * bytesPerSample_);
        for (size_t done = 0; done < samples;) {
            const size_t n = std::min(kChunk, samples - done);
            unsigned char* p = scratch_.data();
            for (size_t i = 0; i < n; ++i) {
                const float x = interleaved[done + i];
                if (float_) {
                    uint32_t bits = 0;
                    std::memcpy(&bits, &x, sizeof bits);
                    put32(p + 4 * i, bits);
                } else {
                    put16(p + 2 * i, uint16_t(toPcm16(x)));
                }
            }
            if (std::fwrite(p, bytesPerSample_, n, file_) != n) {
                *error = std::string("cannot write the WAVE data: ") + std::strerror(errno);
                return false;
            }
            done += n;
        }
        dataBytes_ += bytes;
        return true;
    }

    bool checkpoint(std::string* error) override {
        return std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0 && writeHeader(error);
    }

    bool finish(std::string* error) override {
        const bool written = std::fseek(file_, 0, SEEK_SET) == 0 && writeHeader(error);
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (written && !closed) {
            *error = std::string("cannot close the WAVE file: ") + std::strerror(errno);
        }
        return written && closed;
    }

private:
    bool writeHeader(std::string* error) {
        std::array<unsigned char, 58> h{};
        const uint32_t blockAlign = uint32_t(channels_) * bytesPerSample_;
        const uint32_t fmtBytes = float_ ? 18 : 16;
        std::memcpy(&h[0], "RIFF", 4);
        put32(&h[4], uint32_t(headerBytes_ - 8 + dataBytes_));
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
            put32(&h[46], uint32_t(dataBytes_ / blockAlign));
            at = 50;
        }
        std::memcpy(&h[at], "data", 4);
        put32(&h[at + 4], uint32_t(dataBytes_));
        if (std::fwrite(h.data(), 1, headerBytes_, file_) != headerBytes_ ||
            std::fflush(file_) != 0) {
            *error = std::string("cannot write the WAVE header: ") + std::strerror(errno);
            return false;
        }
        return std::fseek(file_, 0, SEEK_END) == 0;
    }

    std::FILE* file_ = nullptr;
    bool float_;
    int rate_;
    int channels_;
    size_t headerBytes_;
    uint32_t bytesPerSample_;
    uint64_t dataBytes_ = 0;
    std::vector<unsigned char> scratch_;
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
        encoder_->sample_rate = kM4aRate;
        av_channel_layout_default(&encoder_->ch_layout, kM4aChannels);
        encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder_->bit_rate = kM4aBitRate;
        encoder_->profile = FF_PROFILE_AAC_LOW;
        encoder_->time_base = AVRational{1, kM4aRate};
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
                                     kM4aRate, &inLayout, AV_SAMPLE_FMT_FLT, inRate_, 0, nullptr);
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
        frame_->sample_rate = kM4aRate;
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
