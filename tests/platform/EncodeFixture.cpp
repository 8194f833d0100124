#include "platform/EncodeFixture.h"

#include "platform/AudioFileWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace vx::fixture {

namespace {

struct EncoderSetup {
    const char* encoder;
    const char* muxer;
    int64_t bitRate; // 0: none
    int vbrQuality;  // >= 0: LAME VBR quality
    bool xing;       // mp3 muxer: write the Xing/Info frame
    bool noiseSubstitution;
};

std::string avText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

// Owns the FFmpeg objects of one encode.
struct Encode {
    AVFormatContext* output = nullptr;
    AVCodecContext* encoder = nullptr;
    SwrContext* converter = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    AVStream* stream = nullptr;

    ~Encode() {
        if (output && output->pb) {
            avio_closep(&output->pb);
        }
        avformat_free_context(output);
        avcodec_free_context(&encoder);
        swr_free(&converter);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    bool drain(std::string* error) {
        for (;;) {
            int r = avcodec_receive_packet(encoder, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
                return true;
            }
            if (r < 0) {
                *error = "encode: " + avText(r);
                return false;
            }
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            r = av_interleaved_write_frame(output, packet);
            av_packet_unref(packet);
            if (r < 0) {
                *error = "mux: " + avText(r);
                return false;
            }
        }
    }
};

AVSampleFormat pickFormat(const AVCodec* codec) {
    const AVSampleFormat* formats = codec->sample_fmts;
    for (AVSampleFormat wanted :
         {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P}) {
        for (const AVSampleFormat* f = formats; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == wanted) {
                return wanted;
            }
        }
    }
    return formats ? formats[0] : AV_SAMPLE_FMT_FLTP;
}

bool encodeWithFFmpeg(const std::filesystem::path& path, const EncoderSetup& setup,
                      const std::vector<float>& interleaved, int sampleRate, int channels,
                      std::string* error) {
    Encode e;
    const std::string url = "file:" + path.string();
    const AVCodec* codec = avcodec_find_encoder_by_name(setup.encoder);
    if (!codec ||
        avformat_alloc_output_context2(&e.output, nullptr, setup.muxer, url.c_str()) < 0) {
        *error = std::string("no encoder ") + setup.encoder + " or muxer " + setup.muxer;
        return false;
    }
    e.stream = avformat_new_stream(e.output, nullptr);
    e.encoder = avcodec_alloc_context3(codec);
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    e.encoder->sample_rate = sampleRate;
    av_channel_layout_default(&e.encoder->ch_layout, channels);
    e.encoder->sample_fmt = pickFormat(codec);
    e.encoder->time_base = AVRational{1, sampleRate};
    if (setup.bitRate > 0) {
        e.encoder->bit_rate = setup.bitRate;
    }
    if (setup.vbrQuality >= 0) {
        e.encoder->flags |= AV_CODEC_FLAG_QSCALE;
        e.encoder->global_quality = FF_QP2LAMBDA * setup.vbrQuality;
    }
    if (e.output->oformat->flags & AVFMT_GLOBALHEADER) {
        e.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* codecOptions = nullptr;
    if (!setup.noiseSubstitution) {
        av_dict_set(&codecOptions, "aac_pns", "0", 0);
    }
    int r = avcodec_open2(e.encoder, codec, &codecOptions);
    av_dict_free(&codecOptions);
    if (r < 0 || avcodec_parameters_from_context(e.stream->codecpar, e.encoder) < 0) {
        *error = "open encoder: " + avText(r);
        return false;
    }
    e.stream->time_base = e.encoder->time_base;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    r = swr_alloc_set_opts2(&e.converter, &layout, e.encoder->sample_fmt, sampleRate, &layout,
                            AV_SAMPLE_FMT_FLT, sampleRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (r < 0 || swr_init(e.converter) < 0) {
        *error = "converter";
        return false;
    }
    if ((r = avio_open(&e.output->pb, url.c_str(), AVIO_FLAG_WRITE)) < 0) {
        *error = "create " + path.string() + ": " + avText(r);
        return false;
    }
    AVDictionary* muxOptions = nullptr;
    if (std::string(setup.muxer) == "mp3" && !setup.xing) {
        av_dict_set(&muxOptions, "write_xing", "0", 0);
    }
    r = avformat_write_header(e.output, &muxOptions);
    av_dict_free(&muxOptions);
    if (r < 0) {
        *error = "header: " + avText(r);
        return false;
    }
    const int64_t total = int64_t(interleaved.size()) / channels;
    const int frameSize = e.encoder->frame_size > 0 ? e.encoder->frame_size : 4096;
    for (int64_t done = 0; done < total;) {
        const int n = int(std::min<int64_t>(frameSize, total - done));
        av_frame_unref(e.frame);
        e.frame->nb_samples = n;
        e.frame->format = e.encoder->sample_fmt;
        e.frame->sample_rate = sampleRate;
        av_channel_layout_copy(&e.frame->ch_layout, &e.encoder->ch_layout);
        if (av_frame_get_buffer(e.frame, 0) < 0) {
            *error = "frame buffer";
            return false;
        }
        const auto* in = reinterpret_cast<const uint8_t*>(interleaved.data() + done * channels);
        if (swr_convert(e.converter, e.frame->data, n, &in, n) != n) {
            *error = "convert";
            return false;
        }
        e.frame->pts = done;
        done += n;
        if ((r = avcodec_send_frame(e.encoder, e.frame)) < 0) {
            *error = "send frame: " + avText(r);
            return false;
        }
        if (!e.drain(error)) {
            return false;
        }
    }
    if (avcodec_send_frame(e.encoder, nullptr) < 0 || !e.drain(error)) {
        return false;
    }
    if ((r = av_write_trailer(e.output)) < 0) {
        *error = "trailer: " + avText(r);
        return false;
    }
    return avio_closep(&e.output->pb) >= 0;
}

bool encodeWithWriter(const std::filesystem::path& path, AudioFileWriter::Format format,
                      const std::vector<float>& interleaved, int sampleRate, int channels,
                      std::string* error) {
    auto writer = AudioFileWriter::create(path, format, sampleRate, channels, error);
    if (!writer) {
        return false;
    }
    const int64_t frames = int64_t(interleaved.size()) / channels;
    if (!writer->write(interleaved.data(), frames) || !writer->close()) {
        *error = writer->error();
        return false;
    }
    return true;
}

} // namespace

bool encode(const std::filesystem::path& path, Codec codec, const std::vector<float>& interleaved,
            int sampleRate, int channels, std::string* error) {
    switch (codec) {
    case Codec::Mp3Cbr:
        return encodeWithFFmpeg(path, {"libmp3lame", "mp3", 192000, -1, true, true}, interleaved,
                                sampleRate, channels, error);
    case Codec::Mp3Vbr:
        return encodeWithFFmpeg(path, {"libmp3lame", "mp3", 0, 2, true, true}, interleaved,
                                sampleRate, channels, error);
    case Codec::Mp3NoInfo:
        return encodeWithFFmpeg(path, {"libmp3lame", "mp3", 128000, -1, false, true}, interleaved,
                                sampleRate, channels, error);
    case Codec::AacM4a:
        return encodeWithFFmpeg(path, {"aac", "ipod", 192000, -1, true, false}, interleaved,
                                sampleRate, channels, error);
    case Codec::Flac:
        return encodeWithFFmpeg(path, {"flac", "flac", 0, -1, true, true}, interleaved, sampleRate,
                                channels, error);
    case Codec::OggVorbis:
        return encodeWithFFmpeg(path, {"libvorbis", "ogg", 0, 3, true, true}, interleaved,
                                sampleRate, channels, error);
    case Codec::OggOpus:
        return encodeWithFFmpeg(path, {"libopus", "ogg", 128000, -1, true, true}, interleaved,
                                sampleRate, channels, error);
    case Codec::WavFloat32:
        return encodeWithWriter(path, AudioFileWriter::Format::WavFloat32, interleaved, sampleRate,
                                channels, error);
    case Codec::WavInt16:
        return encodeWithWriter(path, AudioFileWriter::Format::WavInt16, interleaved, sampleRate,
                                channels, error);
    }
    return false;
}

std::vector<float> musicSignal(int64_t frames, int sampleRate, int channels, uint32_t variant) {
    std::vector<float> out(size_t(frames) * size_t(channels));
    uint32_t noise = variant ? variant : 1;
    const double rate = sampleRate;
    const double seconds = std::max(double(frames) / rate, 1e-3);
    const int64_t beat = int64_t(rate * 60.0 / 124.0);
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        // Noise burst decaying over an eighth of a beat, on every beat.
        noise = noise * 1664525u + 1013904223u;
        const double white = double(int32_t(noise)) / 2147483648.0;
        const double burst = std::exp(-double(i % beat) / (double(beat) / 8.0));
        for (int c = 0; c < channels; ++c) {
            // Sweep from 60 Hz to 6 kHz over the signal, a different start per channel.
            const double f0 = 60.0 * (1 + c * 0.25), f1 = 6000.0;
            const double k = std::log(f1 / f0) / seconds;
            const double sweepPhase = 2 * M_PI * f0 * (std::exp(k * t) - 1) / k;
            const double partials =
                0.12 * std::sin(2 * M_PI * 220.0 * t + c) + 0.08 * std::sin(2 * M_PI * 1318.5 * t);
            const double v = 0.2 * std::sin(sweepPhase) + partials + 0.1 * burst * white;
            out[size_t(i * channels + c)] = float(v);
        }
    }
    return out;
}

std::vector<float> sine(int64_t frames, int sampleRate, int channels, double hz, float level) {
    std::vector<float> out(size_t(frames) * size_t(channels));
    for (int64_t i = 0; i < frames; ++i) {
        const float v = level * float(std::sin(2 * M_PI * hz * double(i) / sampleRate));
        for (int c = 0; c < channels; ++c) {
            out[size_t(i * channels + c)] = v;
        }
    }
    return out;
}

bool writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vx::fixture
