// Fuzz target: the WAVE header writer and the reader, both ways.
// 1. The input as a file: the reader must refuse it or read no more frames than it announced.
// 2. The input as samples: written as a WAVE file (float or 16-bit, a rate and channel count
//    taken from the first bytes) and read back at the file's own rate, the samples come back
//    (exactly for float, within one step for 16-bit) and the length is exact.

#include "FuzzSupport.h"
#include "platform/AudioFileReader.h"
#include "platform/AudioFileWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    av_log_set_level(AV_LOG_QUIET);
    static const auto raw = fuzz::scratchPath("raw.wav");
    static const auto made = fuzz::scratchPath("made.wav");
    std::string error;

    fuzz::writeScratch(raw, data, size);
    if (auto reader = AudioFileReader::open(raw, AudioFileReader::Client::MonoNative, &error)) {
        const int64_t length = reader->lengthFrames();
        VX_FUZZ_CHECK(length >= 0);
        std::vector<float> block(4096);
        int64_t total = 0;
        for (int64_t n; (n = reader->read(block.data(), 4096)) > 0;) {
            total += n;
            VX_FUZZ_CHECK(total <= length);
        }
    }

    if (size < 4) {
        return 0;
    }
    static constexpr int kRates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000, 384000};
    const bool isFloat = data[0] & 1;
    const int channels = 1 + ((data[0] >> 1) & 1);
    const int rate = kRates[data[1] % 8];
    std::vector<float> samples((size - 2) / 4 / size_t(channels) * size_t(channels));
    if (!samples.empty()) {
        std::memcpy(samples.data(), data + 2, samples.size() * 4);
    }
    for (float& v : samples) {
        if (!std::isfinite(v)) {
            v = 0.0f;
        }
        v = std::clamp(v, -1.0f, 1.0f);
    }
    const int64_t frames = int64_t(samples.size()) / channels;
    {
        auto writer = AudioFileWriter::create(
            made, isFloat ? AudioFileWriter::Format::WavFloat32 : AudioFileWriter::Format::WavInt16,
            rate, channels, &error);
        VX_FUZZ_CHECK(writer);
        writer->setHeaderInterval(1 + data[1]);
        VX_FUZZ_CHECK(writer->write(samples.data(), frames));
        VX_FUZZ_CHECK(writer->close());
    }
    if (frames == 0) {
        return 0;
    }
    auto reader = AudioFileReader::open(made, AudioFileReader::Client::MonoNative, &error);
    VX_FUZZ_CHECK(reader);
    VX_FUZZ_CHECK(reader->lengthFrames() == frames);
    VX_FUZZ_CHECK(reader->fileFormat().sampleRate == rate);
    VX_FUZZ_CHECK(reader->fileFormat().channels == channels);
    if (channels == 1) {
        std::vector<float> back(static_cast<size_t>(frames), 0.0f);
        VX_FUZZ_CHECK(reader->read(back.data(), frames) == frames);
        for (int64_t i = 0; i < frames; ++i) {
            const float want = samples[size_t(i)];
            const float got = back[size_t(i)];
            VX_FUZZ_CHECK(isFloat ? got == want : std::fabs(got - want) <= 1.0f / 32767.0f);
        }
    }
    return 0;
}
