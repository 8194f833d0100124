#include "platform/AudioFileReader.h"
#include "platform/SampleRate.h"
#include "platform/EngineLock.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <mutex>
#include <numeric>
#include <optional>

namespace vx {
namespace {

// Preroll before a seek target, in native frames: four MP3 frames (the bit reservoir and the
// overlap reach back less than that) and more than one 1024-frame AAC packet.
constexpr int64_t kMinPreroll = 4608;
// Seeks that land after their target are retried with 4x the preroll, this many times.
constexpr int kSeekAttempts = 4;
// Client frames a restarted resampler runs before the target, so that its filter history
// (at most a few dozen input frames) is the sequential read's again.
constexpr int64_t kResamplerWarmup = 1024;
// A forward seek at most this far (client frames) beyond what is decoded decodes on.
constexpr int64_t kDecodeOnLimit = 8192;
// The MP3 decoder's own delay, which FFmpeg adds to the encoder delay of a LAME tag.
constexpr int64_t kMp3DecoderDelay = 529;
// Frames the resampler's flush may fall short of the rounded-up length; padded with silence.
constexpr int64_t kResamplerTailSlack = 16;
// Sample rates and channel counts a file may have; anything else is refused at open.
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
constexpr int kMaxChannels = 32;
// Longest track accepted, in seconds: a header announcing more is not believed.
constexpr int kMaxSeconds = 24 * 3600;

// Decoder errors in a row without new input after which the stream is given up.
constexpr int kMaxErrorsWithoutInput = 8;

std::string avErrorText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

// What the Xing/Info frame at the start of an MP3 says, with the LAME tag's encoder delay and
// padding when it has one.
struct Mp3InfoTag {
    int64_t frames = 0;
    int64_t bytes = 0;       // the stream's size in bytes from the info frame; 0 if not given
    int64_t frameOffset = 0; // where the info frame starts in the file
    int64_t samplesPerFrame = 0;
    int sampleRate = 0;
    bool hasEncoderDelay = false;
    int64_t delay = 0;
    int64_t padding = 0;
};

uint32_t readBigEndian32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Reads the info frame of an MP3 (after any ID3v2 tags). FFmpeg uses the same frame to drop
// the priming and padding but does not publish the padding, so the length is taken from here
// and cross-checked against the priming FFmpeg reports.
std::optional<Mp3InfoTag> readMp3InfoTag(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::streamoff offset = 0;
    std::array<unsigned char, 10> id3{};
    for (int tags = 0; tags < 16; ++tags) {
        in.seekg(offset);
        if (!in.read(reinterpret_cast<char*>(id3.data()), id3.size()) ||
            std::memcmp(id3.data(), "ID3", 3) != 0) {
            break;
        }
        const std::streamoff size =
            std::streamoff(id3[6] & 0x7f) << 21 | std::streamoff(id3[7] & 0x7f) << 14 |
            std::streamoff(id3[8] & 0x7f) << 7 | std::streamoff(id3[9] & 0x7f);
        offset += 10 + size + ((id3[5] & 0x10) ? 10 : 0);
    }
    in.clear();
    in.seekg(offset);
    std::array<unsigned char, 256> head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    const size_t got = size_t(std::max<std::streamsize>(in.gcount(), 0));
    if (got < 4) {
        return std::nullopt;
    }
    const uint32_t header = readBigEndian32(head.data());
    const int version = (header >> 19) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = (header >> 17) & 3;   // 1: layer III
    const int rateIndex = (header >> 10) & 3;
    if ((header & 0xFFE00000u) != 0xFFE00000u || version == 1 || layer != 1 || rateIndex == 3) {
        return std::nullopt;
    }
    static constexpr std::array<int, 3> kRates = {44100, 48000, 32000};
    Mp3InfoTag tag;
    tag.sampleRate = kRates[size_t(rateIndex)] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    tag.samplesPerFrame = version == 3 ? 1152 : 576;
    const bool mono = ((header >> 6) & 3) == 3;
    size_t pos = 4 + size_t(version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    const auto has = [&](size_t bytes) { return pos + bytes <= got; };
    if (!has(12) ||
        (std::memcmp(&head[pos], "Xing", 4) != 0 && std::memcmp(&head[pos], "Info", 4) != 0)) {
        return std::nullopt;
    }
    const uint32_t flags = readBigEndian32(&head[pos + 4]);
    pos += 8;
    if ((flags & 1) == 0) {
        return std::nullopt; // no frame count
    }
    tag.frames = readBigEndian32(&head[pos]);
    pos += 4;
    if ((flags & 2) && has(4)) {
        tag.bytes = readBigEndian32(&head[pos]);
        pos += 4;
    }
    tag.frameOffset = int64_t(offset);
    pos += (flags & 4) ? 100 : 0; // seek table
    pos += (flags & 8) ? 4 : 0;   // quality
    // The encoder tag: a 9-byte version string, then delay and padding, 12 bits each, 21
    // bytes in.
    if (has(24) &&
        (std::memcmp(&head[pos], "LAME", 4) == 0 || std::memcmp(&head[pos], "Lavf", 4) == 0 ||
         std::memcmp(&head[pos], "Lavc", 4) == 0)) {
        tag.hasEncoderDelay = true;
        tag.delay = int64_t(head[pos + 21]) << 4 | int64_t(head[pos + 22] >> 4);
        tag.padding = int64_t(head[pos + 22] & 0x0f) << 8 | int64_t(head[pos + 23]);
    }
    return tag;
}

} // namespace

AudioFileReader::AudioFileReader(std::filesystem::path path, Client client)
    : path_(std::move(path)), client_(client) {}

AudioFileReader::~AudioFileReader() {
    closeInput();
    swr_free(&converter_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
}

std::unique_ptr<AudioFileReader> AudioFileReader::open(const std::filesystem::path& path,
                                                       Client client, std::string* error) {
    engineLockTripwire("an audio file open");
    // FFmpeg would print its own diagnostics on stderr; the reader reports failures itself
    // (open errors, error()), so the library stays quiet.
    static std::once_flag quietLibrary;
    std::call_once(quietLibrary, [] { av_log_set_level(AV_LOG_QUIET); });
    std::string local;
    std::string& message = error ? *error : local;
    message.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        message = "not a file: " + path.string();
        return nullptr;
    }
    std::unique_ptr<AudioFileReader> reader(new AudioFileReader(path, client));
    if (!reader->openInput(&message) || !reader->probe(&message)) {
        return nullptr;
    }
    if (!reader->measureLength()) {
        message = reader->error_.empty() ? "cannot rewind " + path.string() : reader->error_;
        return nullptr;
    }
    reader->error_.clear();
    if (reader->nativeLength_ > int64_t(kMaxSeconds) * reader->format_.sampleRate) {
        message = path.string() + " is longer than " + std::to_string(kMaxSeconds / 3600) +
                  " hours; such a length is refused";
        return nullptr;
    }

    AudioFileReader& r = *reader;
    const int rate = r.format_.sampleRate;
    r.clientRate_ = client == Client::MonoNative ? rate : kSampleRate;
    r.clientChannels_ = client == Client::Stereo44100 ? 2 : 1;
    r.resampling_ = r.clientRate_ != rate;
    r.clientLength_ = av_rescale_rnd(r.nativeLength_, r.clientRate_, rate, AV_ROUND_UP);
    const int64_t common = std::gcd(int64_t(rate), int64_t(r.clientRate_));
    r.gridNative_ = rate / common;
    r.gridClient_ = r.clientRate_ / common;
    r.format_.frames = r.nativeLength_;
    r.format_.frames44100 = av_rescale_rnd(r.nativeLength_, kSampleRate, rate, AV_ROUND_UP);
    r.format_.seconds = double(r.nativeLength_) / rate;
    r.format_.damage = r.damage_;
    return reader;
}

bool AudioFileReader::openInput(std::string* error) {
    // "file:" keeps a colon in a relative name from reading as a protocol; the white list
    // keeps a playlist-like file from opening anything but local files.
    const std::string url = "file:" + std::filesystem::absolute(path_).string();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int result = avformat_open_input(&input_, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        *error = "cannot open " + path_.string() + ": " + avErrorText(result);
        return false;
    }
    result = avformat_find_stream_info(input_, nullptr);
    if (result < 0) {
        *error = "cannot read " + path_.string() + ": " + avErrorText(result);
        return false;
    }
    const AVCodec* codec = nullptr;
    streamIndex_ = av_find_best_stream(input_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (streamIndex_ < 0 || !codec) {
        *error = "no audio stream in " + path_.string();
        return false;
    }
    AVStream* stream = input_->streams[streamIndex_];
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        if (int(i) != streamIndex_) {
            input_->streams[i]->discard = AVDISCARD_ALL; // e.g. cover art
        }
    }
    decoder_ = avcodec_alloc_context3(codec);
    if (!decoder_ || avcodec_parameters_to_context(decoder_, stream->codecpar) < 0) {
        *error = "cannot set up the decoder for " + path_.string();
        return false;
    }
    // With the packets' time base the decoder drops the priming and padding the demuxer
    // announces and keeps the frames' timestamps true to the samples that remain.
    decoder_->pkt_timebase = stream->time_base;
    decoder_->thread_count = 1;
    result = avcodec_open2(decoder_, codec, nullptr);
    if (result < 0) {
        *error = "cannot open the decoder for " + path_.string() + ": " + avErrorText(result);
        return false;
    }
    if (!packet_) {
        packet_ = av_packet_alloc();
    }
    if (!frame_) {
        frame_ = av_frame_alloc();
    }
    if (!packet_ || !frame_) {
        *error = "out of memory";
        return false;
    }
    resetDecoding();
    nextNative_ = 0;
    return true;
}

void AudioFileReader::closeInput() {
    avcodec_free_context(&decoder_);
    avformat_close_input(&input_);
}

bool AudioFileReader::reopen() {
    closeInput();
    std::string message;
    if (!openInput(&message)) {
        closeInput();
        error_ = message;
        return false;
    }
    return true;
}

bool AudioFileReader::probe(std::string* error) {
    // The first decoded frame is frame 0: its timestamp is the origin every seek measures
    // from, and the first packet's skip count is the priming.
    if (receiveFrame() <= 0) {
        *error = "no decodable audio in " + path_.string();
        return false;
    }
    heldFrame_ = true;
    format_.sampleRate = frame_->sample_rate;
    format_.channels = frame_->ch_layout.nb_channels;
    if (format_.sampleRate <= 0 || format_.channels <= 0) {
        *error = "no audio format in " + path_.string();
        return false;
    }
    // Rates outside what audio is recorded at would make the resampler's output (and every
    // buffer sized from it) absurd: such a header is refused before anything is sized by it.
    if (format_.sampleRate < kMinSampleRate || format_.sampleRate > kMaxSampleRate) {
        *error = "unsupported sample rate " + std::to_string(format_.sampleRate) + " Hz in " +
                 path_.string() + " (8000 to 384000 Hz can be read)";
        return false;
    }
    if (format_.channels > kMaxChannels) {
        *error = "unsupported channel count " + std::to_string(format_.channels) + " in " +
                 path_.string();
        return false;
    }
    format_.codec = avcodec_get_name(decoder_->codec_id);
    format_.primingFrames = std::max<int64_t>(firstPacketSkip_, 0);
    timestampsUsable_ = frame_->best_effort_timestamp != AV_NOPTS_VALUE;
    originSamples_ = timestampsUsable_ ? toSamples(frame_->best_effort_timestamp) : 0;
    return true;
}

bool AudioFileReader::measureLength() {
    const AVStream* stream = input_->streams[streamIndex_];
    const AVCodecID id = decoder_->codec_id;
    const char* demuxer = input_->iformat->name;
    std::optional<int64_t> fromHeader;
    if (id == AV_CODEC_ID_MP3 && std::strcmp(demuxer, "mp3") == 0) {
        const auto tag = readMp3InfoTag(path_);
        std::error_code ec;
        const auto fileBytes = int64_t(std::filesystem::file_size(path_, ec));
        if (tag && tag->bytes > 0 && !ec && fileBytes < tag->frameOffset + tag->bytes) {
            // The info frame describes a longer file than there is: the file was cut short.
            // Its length is what decodes, counted below.
            damage_ = "truncated: its header announces " +
                      std::to_string(tag->frames * tag->samplesPerFrame / tag->sampleRate) + " s";
        } else if (tag && tag->sampleRate == format_.sampleRate) {
            const int64_t coded = tag->frames * tag->samplesPerFrame;
            if (tag->hasEncoderDelay && firstPacketSkip_ == tag->delay + kMp3DecoderDelay) {
                // FFmpeg drops delay + 529 frames at the start and the padding beyond the
                // decoder's delay at the end.
                fromHeader = coded - tag->delay - std::max(tag->padding, kMp3DecoderDelay);
            } else if (!tag->hasEncoderDelay && firstPacketSkip_ <= 0) {
                fromHeader = coded;
            }
        }
    } else {
        const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
        const bool pcm = descriptor && std::strncmp(descriptor->name, "pcm_", 4) == 0;
        const bool flac = id == AV_CODEC_ID_FLAC && std::strcmp(demuxer, "flac") == 0;
        if ((pcm || flac) && stream->duration > 0 && stream->duration != AV_NOPTS_VALUE &&
            firstPacketSkip_ <= 0 && originSamples_ == 0) {
            fromHeader = toSamples(stream->duration);
            const int bits = av_get_bits_per_sample(id);
            std::error_code ec;
            const auto fileBytes = int64_t(std::filesystem::file_size(path_, ec));
            if (pcm && bits > 0 && !ec &&
                double(*fromHeader) * format_.channels * bits / 8.0 > double(fileBytes)) {
                // The header announces more samples than the file can hold: cut short (or a
                // lie). The frames that decode are counted instead.
                damage_ = "truncated: its header announces " +
                          std::to_string(*fromHeader / format_.sampleRate) + " s";
                fromHeader.reset();
            }
        }
    }
    if (fromHeader) {
        nativeLength_ = std::max<int64_t>(*fromHeader, 0);
        format_.lengthFromHeader = true;
        return true;
    }
    int64_t total = 0;
    while (receiveFrame() > 0) {
        total += frame_->nb_samples;
        if (total > int64_t(kMaxSeconds) * format_.sampleRate) {
            break; // refused by open() below
        }
    }
    nativeLength_ = total;
    if (!damage_.empty()) {
        damage_ += ", " + std::to_string(total / format_.sampleRate) + " s can be played";
    }
    return reopen();
}

int64_t AudioFileReader::toSamples(int64_t timestamp) const {
    return av_rescale_q(timestamp, input_->streams[streamIndex_]->time_base,
                        AVRational{1, format_.sampleRate});
}

void AudioFileReader::resetDecoding() {
    heldFrame_ = false;
    draining_ = false;
    ended_ = false;
    failed_ = false;
    readFailed_ = false;
    swr_free(&converter_);
    converterInFormat_ = -1;
}

void AudioFileReader::noteCorruption(int code) {
    if (inPreroll_) {
        return; // after a seek the decoder misses the data before the seek point
    }
    error_ = "undecodable data near frame " + std::to_string(nextNative_) + " of " +
             path_.filename().string() + ": " + avErrorText(code);
}

int AudioFileReader::receiveFrame() {
    if (heldFrame_) {
        heldFrame_ = false;
        return 1;
    }
    int errorsWithoutInput = 0;
    for (;;) {
        const int received = avcodec_receive_frame(decoder_, frame_);
        if (received >= 0) {
            return 1;
        }
        if (received == AVERROR_EOF) {
            return 0;
        }
        if (received != AVERROR(EAGAIN)) {
            noteCorruption(received);
            if (++errorsWithoutInput > kMaxErrorsWithoutInput) {
                readFailed_ = true;
                return 0;
            }
            continue;
        }
        if (draining_) {
            return 0;
        }
        const int read = av_read_frame(input_, packet_);
        if (read < 0) {
            if (read != AVERROR_EOF) {
                readFailed_ = true;
                error_ = "cannot read " + path_.filename().string() + " after frame " +
                         std::to_string(nextNative_) + ": " + avErrorText(read);
            }
            draining_ = true;
            avcodec_send_packet(decoder_, nullptr);
            continue;
        }
        errorsWithoutInput = 0;
        if (packet_->stream_index != streamIndex_) {
            av_packet_unref(packet_);
            continue;
        }
        if (firstPacketSkip_ < 0) {
            size_t size = 0;
            const uint8_t* skip = av_packet_get_side_data(packet_, AV_PKT_DATA_SKIP_SAMPLES, &size);
            firstPacketSkip_ = skip && size >= 4 ? int64_t(AV_RL32(skip)) : 0;
        }
        const int sent = avcodec_send_packet(decoder_, packet_);
        av_packet_unref(packet_);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            noteCorruption(sent);
        }
    }
}

bool AudioFileReader::pump() {
    if (ended_) {
        return false;
    }
    if (receiveFrame() <= 0) {
        finishStream();
        return false;
    }
    consumeFrame(nextNative_);
    return true;
}

void AudioFileReader::consumeFrame(int64_t start) {
    const int64_t count = frame_->nb_samples;
    nextNative_ = start + count;
    const int64_t from = std::clamp<int64_t>(skipNativeUntil_ - start, 0, count);
    const int64_t to = std::clamp<int64_t>(nativeLength_ - start, 0, count);
    if (from < to) {
        inPreroll_ = false;
        convert(frame_, from, to - from);
    }
}

bool AudioFileReader::configureConverter(const AVFrame* frame) {
    const int channels = frame->ch_layout.nb_channels;
    if (converter_ && converterInFormat_ == frame->format &&
        converterInRate_ == frame->sample_rate && converterInChannels_ == channels) {
        return true;
    }
    swr_free(&converter_);
    AVChannelLayout inLayout{};
    if (frame->ch_layout.order != AV_CHANNEL_ORDER_NATIVE &&
        frame->ch_layout.order != AV_CHANNEL_ORDER_CUSTOM) {
        av_channel_layout_default(&inLayout, channels); // channels without known positions
    } else if (av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0) {
        return false;
    }
    // Mono stays mono and is copied to both client channels below, at full level; more than
    // two channels are mixed down to stereo by FFmpeg's matrix.
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, channels == 1 ? 1 : 2);
    const int made =
        swr_alloc_set_opts2(&converter_, &outLayout, AV_SAMPLE_FMT_FLT, clientRate_, &inLayout,
                            AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (made < 0 || swr_init(converter_) < 0) {
        swr_free(&converter_);
        return false;
    }
    converterInFormat_ = frame->format;
    converterInRate_ = frame->sample_rate;
    converterInChannels_ = channels;
    converterOutChannels_ = channels == 1 ? 1 : 2;
    return true;
}

void AudioFileReader::convert(const AVFrame* frame, int64_t offset, int64_t count) {
    if (!configureConverter(frame)) {
        readFailed_ = true;
        error_ = "cannot convert the audio of " + path_.filename().string();
        return;
    }
    const auto format = AVSampleFormat(frame->format);
    const int64_t bytes = av_get_bytes_per_sample(format);
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    inputPointers_.assign(size_t(planar ? channels : 1), nullptr);
    for (size_t c = 0; c < inputPointers_.size(); ++c) {
        inputPointers_[c] = frame->extended_data[c] + offset * bytes * (planar ? 1 : channels);
    }
    const int capacity = swr_get_out_samples(converter_, int(count));
    if (capacity <= 0) {
        return;
    }
    convertBuffer_.resize(size_t(capacity) * size_t(converterOutChannels_));
    auto* out = reinterpret_cast<uint8_t*>(convertBuffer_.data());
    const int made = swr_convert(converter_, &out, capacity, inputPointers_.data(), int(count));
    if (made < 0) {
        noteCorruption(made);
        return;
    }
    emit(convertBuffer_.data(), made);
}

void AudioFileReader::emit(const float* samples, int64_t frames) {
    const int64_t first = produced_;
    produced_ += frames;
    const int64_t from = std::clamp<int64_t>(position_ - first, 0, frames);
    const int64_t to = std::clamp<int64_t>(clientLength_ - first, 0, frames);
    if (from >= to) {
        return;
    }
    const size_t old = buffer_.size();
    buffer_.resize(old + size_t(to - from) * size_t(clientChannels_));
    float* dst = buffer_.data() + old;
    const int in = converterOutChannels_;
    const float* src = samples + from * in;
    const int64_t n = to - from;
    if (in == clientChannels_) {
        std::memcpy(dst, src, size_t(n) * size_t(in) * sizeof(float));
    } else if (in == 1) { // mono file, stereo client
        for (int64_t i = 0; i < n; ++i) {
            dst[2 * i] = src[i];
            dst[2 * i + 1] = src[i];
        }
    } else { // stereo, mono client
        for (int64_t i = 0; i < n; ++i) {
            dst[i] = (src[2 * i] + src[2 * i + 1]) * 0.5f;
        }
    }
}

void AudioFileReader::emitSilence(int64_t frames) {
    const int64_t first = produced_;
    produced_ += frames;
    const int64_t from = std::clamp<int64_t>(position_ - first, 0, frames);
    const int64_t to = std::clamp<int64_t>(clientLength_ - first, 0, frames);
    if (from < to) {
        buffer_.resize(buffer_.size() + size_t(to - from) * size_t(clientChannels_), 0.0f);
    }
}

void AudioFileReader::finishStream() {
    ended_ = true;
    const bool endedEarly = nextNative_ < nativeLength_;
    if (endedEarly || readFailed_) {
        failed_ = true;
        if (endedEarly) {
            const std::string note = "the audio of " + path_.filename().string() +
                                     " ends at frame " + std::to_string(nextNative_) + " of " +
                                     std::to_string(nativeLength_) +
                                     " (the file is truncated or damaged)";
            error_ = error_.empty() ? note : error_ + "; " + note;
        }
    }
    if (resampling_ && converter_) {
        for (;;) {
            const int capacity = std::max(swr_get_out_samples(converter_, 0), 0) + 64;
            convertBuffer_.resize(size_t(capacity) * size_t(converterOutChannels_));
            auto* out = reinterpret_cast<uint8_t*>(convertBuffer_.data());
            const int made = swr_convert(converter_, &out, capacity, nullptr, 0);
            if (made <= 0) {
                break;
            }
            emit(convertBuffer_.data(), made);
        }
    }
    if (!failed_ && produced_ < clientLength_) {
        const int64_t missing = clientLength_ - produced_;
        if (missing > kResamplerTailSlack) {
            failed_ = true;
            error_ = "the converter delivered " + std::to_string(missing) +
                     " frames less than the length of " + path_.filename().string();
            return;
        }
        // The resampler's output may stop a frame short of the rounded-up length.
        emitSilence(missing);
    }
}

int64_t AudioFileReader::bufferedFrames() const {
    return int64_t(buffer_.size() - bufferRead_) / clientChannels_;
}

int64_t AudioFileReader::read(float* dst, int64_t frames) {
    engineLockTripwire("an audio file read");
    if (!dst || frames <= 0) {
        return 0;
    }
    if (!input_ || !decoder_) {
        return -1; // a failed seek could not reopen the file
    }
    while (bufferedFrames() < frames && pump()) {
    }
    const int64_t n = std::min(frames, bufferedFrames());
    if (n == 0) {
        return failed_ ? -1 : 0;
    }
    const size_t samples = size_t(n) * size_t(clientChannels_);
    std::memcpy(dst, buffer_.data() + bufferRead_, samples * sizeof(float));
    bufferRead_ += samples;
    position_ += n;
    if (bufferRead_ == buffer_.size()) {
        buffer_.clear();
        bufferRead_ = 0;
    } else if (bufferRead_ >= buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(bufferRead_));
        bufferRead_ = 0;
    }
    return n;
}

bool AudioFileReader::seek(int64_t frame) {
    engineLockTripwire("an audio file seek");
    if (frame < 0 || frame > clientLength_ || !input_ || !decoder_) {
        return false;
    }
    // Inside what is buffered, or a short way ahead: decode on, exactly as a sequential read
    // (frames before position_ are dropped as they come out of the converter).
    const int64_t buffered = bufferedFrames();
    if (frame >= position_ &&
        (frame - position_ <= buffered ||
         (!ended_ && frame - std::max(produced_, position_) <= kDecodeOnLimit))) {
        const int64_t drop = std::min(frame - position_, buffered);
        bufferRead_ += size_t(drop) * size_t(clientChannels_);
        if (bufferRead_ >= buffer_.size()) {
            buffer_.clear();
            bufferRead_ = 0;
        }
        position_ = frame;
        return true;
    }
    buffer_.clear();
    bufferRead_ = 0;
    resetDecoding();
    position_ = frame;
    if (frame == clientLength_) {
        produced_ = frame;
        ended_ = true;
        return true;
    }
    int64_t nativeStart = frame;
    int64_t clientStart = frame;
    if (resampling_) {
        // Restart the resampler where both grids meet, far enough ahead of the target.
        const int64_t blocks = std::max<int64_t>(frame - kResamplerWarmup, 0) / gridClient_;
        nativeStart = blocks * gridNative_;
        clientStart = blocks * gridClient_;
    }
    produced_ = clientStart;
    if (!seekNative(nativeStart)) {
        ended_ = true;
        failed_ = true;
        if (error_.empty()) {
            error_ = "cannot seek in " + path_.filename().string();
        }
        return false;
    }
    return true;
}

bool AudioFileReader::demuxSeek(int64_t sampleTimestamp) {
    const AVRational timeBase = input_->streams[streamIndex_]->time_base;
    const int64_t timestamp =
        av_rescale_q(sampleTimestamp, AVRational{1, format_.sampleRate}, timeBase);
    // Backwards, so that the packet found starts at or before the timestamp; a timestamp
    // before the first packet fails that way and then finds the first packet.
    int result = av_seek_frame(input_, streamIndex_, timestamp, AVSEEK_FLAG_BACKWARD);
    if (result < 0) {
        result = av_seek_frame(input_, streamIndex_, timestamp, 0);
    }
    if (result < 0) {
        return false;
    }
    avcodec_flush_buffers(decoder_);
    heldFrame_ = false;
    draining_ = false;
    readFailed_ = false;
    return true;
}

bool AudioFileReader::seekNative(int64_t target) {
    skipNativeUntil_ = target;
    inPreroll_ = true;
    if (timestampsUsable_) {
        for (int attempt = 0; attempt < kSeekAttempts; ++attempt) {
            const int64_t preroll = kMinPreroll << (2 * attempt);
            if (!demuxSeek(originSamples_ + target - preroll) || receiveFrame() <= 0 ||
                frame_->best_effort_timestamp == AV_NOPTS_VALUE) {
                break;
            }
            const int64_t start = toSamples(frame_->best_effort_timestamp) - originSamples_;
            if (start <= target) {
                nextNative_ = start;
                consumeFrame(start);
                return true;
            }
            if (target - preroll < 0) {
                break; // already asked for the start and still landed late
            }
        }
    }
    // Decode from the beginning and drop everything before the target.
    if (!reopen()) {
        return false;
    }
    skipNativeUntil_ = target;
    inPreroll_ = true;
    return true;
}

} // namespace vx
