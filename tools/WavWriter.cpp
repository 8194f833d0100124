#include "WavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

namespace vx {

namespace {

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xff));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>((v >> shift) & 0xff));
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

int16_t toPcm(float x) {
    float scaled = std::round(std::clamp(x, -1.0f, 1.0f) * 32767.0f);
    return static_cast<int16_t>(scaled);
}

} // namespace

bool WavWriter::write(const StereoBuffer& audio, const std::string& path, std::string* error) {
    constexpr uint16_t kChannels = 2, kBits = 16;
    const uint32_t dataBytes = static_cast<uint32_t>(audio.frames()) * kChannels * (kBits / 8);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, kChannels);
    put32(out, kGenSampleRate);
    put32(out, kGenSampleRate * kChannels * (kBits / 8));
    put16(out, kChannels * (kBits / 8));
    put16(out, kBits);
    putTag(out, "data");
    put32(out, dataBytes);
    for (int64_t i = 0; i < audio.frames(); ++i) {
        put16(out, static_cast<uint16_t>(toPcm(audio.left[static_cast<size_t>(i)])));
        put16(out, static_cast<uint16_t>(toPcm(audio.right[static_cast<size_t>(i)])));
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) {
        if (error != nullptr)
            *error = path + ": cannot write the file";
        return false;
    }
    return true;
}

} // namespace vx
