#include "library/TrackHash.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace vx {

namespace fs = std::filesystem;

uint32_t trackHash(std::string_view name) {
    uint32_t hash = 0x811c9dc5u; // FNV offset basis
    for (const char c : name) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x01000193u; // FNV prime
    }
    return hash;
}

uint32_t trackHashForPath(const fs::path& path) {
    return trackHash(path.filename().string());
}

bool isTrackExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension == ".mp3" || extension == ".m4a" || extension == ".flac" ||
           extension == ".ogg" || extension == ".opus";
}

uint64_t folderSignature(const fs::path& folder) {
    uint64_t sum = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        return 0;
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        if (isTrackExtension(it->path())) {
            sum += trackHashForPath(it->path());
        }
    }
    return sum;
}

bool isInsideFolder(const fs::path& path, const fs::path& folder) {
    const fs::path a = path.lexically_normal();
    const fs::path b = folder.lexically_normal();
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi) {
        if (bi->empty() && std::next(bi) == b.end()) {
            break; // a trailing separator in `folder` adds an empty last element
        }
        if (ai == a.end() || *ai != *bi) {
            return false;
        }
        ++ai;
    }
    return ai != a.end();
}

} // namespace vx
