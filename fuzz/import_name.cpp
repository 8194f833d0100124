// Fuzz target: the file name an imported song gets from its title. Any title (any bytes) gives
// one safe file name inside the documents folder: not empty, not hidden, no separator or
// control character, at most 255 bytes, ending in the pid and the extension.

#include "FuzzSupport.h"
#include "library/iTunesImporter.h"
#include "platform/SafeFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    const std::string title(reinterpret_cast<const char*>(data), size);
    const std::string name = iTunesImporter::destinationName(title, "4294967295", "opus", 1000);
    VX_FUZZ_CHECK(isSafeFileName(name));
    VX_FUZZ_CHECK(name[0] != '.' && name[0] != ' ');
    static constexpr std::string_view tail = "@n4294967295-1000.opus";
    VX_FUZZ_CHECK(name.size() > tail.size() &&
                  name.compare(name.size() - tail.size(), tail.size(), tail) == 0);
    return 0;
}
