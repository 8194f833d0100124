// Fuzz target: the tags carried in file names: "_Title(...)_Artist(...)_Album(...)" of
// exported library items and a tempo after "bpm". Any name gives tags that are parts of the
// name and a tempo that is a finite number.

#include "FuzzSupport.h"
#include "library/VXAudioFileInfo.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    std::string name(reinterpret_cast<const char*>(data), size);
    const double tempo = VXAudioFileInfo::tempoFromName(name);
    VX_FUZZ_CHECK(!std::isnan(tempo));
    // A file name: no folder separators, no NUL.
    for (char& c : name) {
        if (c == '/' || c == '\0') {
            c = '_';
        }
    }
    VXAudioFileInfo info;
    info.fileName = std::filesystem::path("/music") / (name.empty() ? "x" : name);
    info.applyNameTags();
    for (const auto* tag : {&info.title, &info.artist, &info.album}) {
        if (*tag) {
            VX_FUZZ_CHECK(name.find(**tag) != std::string::npos);
        }
    }
    return 0;
}
