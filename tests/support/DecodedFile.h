#pragma once
// A whole audio file read back through the application's reader, for tests that compare what
// was written with what was meant.

#include "platform/AudioFileReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace vx::test {

struct DecodedFile {
    AudioFileFormat format;
    int channels = 0;
    std::vector<float> samples; // interleaved client frames
    int64_t frames() const { return channels ? int64_t(samples.size()) / channels : 0; }
};

// Every frame of `path` as `client` reads it; a failure to open or a short read fails the test
// (the samples are then what could be read).
inline DecodedFile
decodeFile(const std::filesystem::path& path,
           AudioFileReader::Client client = AudioFileReader::Client::Stereo44100) {
    DecodedFile out;
    std::string error;
    auto reader = AudioFileReader::open(path, client, &error);
    EXPECT_TRUE(reader) << path << ": " << error;
    if (!reader) {
        return out;
    }
    out.format = reader->fileFormat();
    out.channels = reader->clientChannels();
    out.samples.resize(size_t(reader->lengthFrames() * out.channels));
    const int64_t got = reader->read(out.samples.data(), reader->lengthFrames());
    EXPECT_EQ(got, reader->lengthFrames()) << path;
    out.samples.resize(size_t(std::max<int64_t>(got, 0) * out.channels));
    return out;
}

} // namespace vx::test
