// Fuzz target: the MP4 atom walk that finds the "tmpo" tag. Any bytes give a tempo of
// 0..255 or -1, from a stream or from a file, the same both ways.

#include "FuzzSupport.h"
#include "library/VXAudioFileInfo.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const int fromStream = VXAudioFileInfo::readMP4Tempo(in, size);
    VX_FUZZ_CHECK(fromStream >= -1 && fromStream <= 255);
    static const auto path = fuzz::scratchPath("tempo.m4a");
    fuzz::writeScratch(path, data, size);
    VX_FUZZ_CHECK(VXAudioFileInfo::readMP4Tempo(path) == fromStream);
    return 0;
}
