#pragma once
// Helpers shared by the peak data tests: a temporary folder, raw file bytes, record snapshots.

#include "analysis/peakFileData.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vx::test {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vx-peaks-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

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
