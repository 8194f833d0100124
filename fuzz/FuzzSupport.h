#pragma once
// Shared by the fuzz targets: a scratch file per process for parsers that read files.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace vx::fuzz {

// A path in the temporary folder private to this process and target.
inline std::filesystem::path scratchPath(const char* name) {
    return std::filesystem::temp_directory_path() /
           ("vx-fuzz-" + std::to_string(::getpid()) + "-" + name);
}

inline void writeScratch(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Fails loudly (the fuzzer records the input) when an invariant does not hold.
#define VX_FUZZ_CHECK(condition)                                                                   \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (0)

} // namespace vx::fuzz
