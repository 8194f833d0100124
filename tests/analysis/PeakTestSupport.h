#pragma once
// Helpers shared by the peak data tests: a click track, raw file bytes, beat marks, record
// snapshots.

#include "support/TempDir.h"

#include "analysis/peakFileData.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vx::test {

// A kick-like click (decaying 60 Hz burst, 50 ms) every 60 / bpm seconds from `firstFrame`,
// mono at 44100 Hz.
inline std::vector<float> clickTrack(int64_t frames, double bpm, int64_t firstFrame) {
    std::vector<float> out(size_t(frames), 0.0f);
    const double period = 60.0 * 44100.0 / bpm;
    for (int n = 0;; ++n) {
        const int64_t start = std::llround(firstFrame + n * period);
        if (start >= frames) {
            break;
        }
        for (int i = 0; i < 2205 && start + i < frames; ++i) {
            out[size_t(start + i)] =
                0.8f * float(std::exp(-i / 400.0) * std::sin(2.0 * M_PI * 60.0 * i / 44100.0));
        }
    }
    return out;
}

namespace fs = std::filesystem;

inline std::vector<uint8_t> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A peak file built byte by byte, independently of the writer: int32 header size, double BPM,
// double gain (all little-endian), then the given entry bytes.
inline std::vector<uint8_t> peakFileBytes(int32_t headerSize, double bpm, double gain,
                                          const std::vector<uint8_t>& entries) {
    std::vector<uint8_t> out;
    const auto put = [&](uint64_t v, int bytes) {
        for (int b = 0; b < bytes; ++b) {
            out.push_back(static_cast<uint8_t>(v >> (8 * b)));
        }
    };
    put(static_cast<uint32_t>(headerSize), 4);
    uint64_t bits = 0;
    std::memcpy(&bits, &bpm, 8);
    put(bits, 8);
    std::memcpy(&bits, &gain, 8);
    put(bits, 8);
    out.insert(out.end(), entries.begin(), entries.end());
    return out;
}

// The entries carrying the beat mark, in order.
inline std::vector<int32_t> beatEntries(const peakFileData& r) {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < r.count; ++i) {
        if ((r.flags(i) & kPeakBeatFlag) != 0) {
            out.push_back(i);
        }
    }
    return out;
}

// Every field of a record, by value, for "unchanged" comparisons.
struct Snapshot {
    int32_t headerSize;
    double bpm;
    double gain;
    int32_t ready;
    int32_t count;
    const uint8_t* buffer;
    std::vector<uint8_t> bytes;

    bool operator==(const Snapshot&) const = default;
};

inline Snapshot snapshot(const peakFileData& r) {
    Snapshot s{r.headerSize,
               r.bpm.load(),
               r.gain.load(),
               r.ready.load(),
               r.count,
               r.entries.get(),
               std::vector<uint8_t>(static_cast<size_t>(r.count) * 2)};
    r.copyEntries(s.bytes.data());
    return s;
}

} // namespace vx::test
