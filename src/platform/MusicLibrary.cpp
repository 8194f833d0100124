#include "platform/MusicLibrary.h"

#include "platform/AudioTags.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vx {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const fs::path& file) {
    std::string extension = file.extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return extension;
}

// The value of `XDG_MUSIC_DIR=...` in a user-dirs.dirs line, unquoted and unescaped; nothing
// when the line sets something else.
std::optional<std::string> musicDirValue(const std::string& line) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') {
        return std::nullopt;
    }
    static constexpr std::string_view key = "XDG_MUSIC_DIR";
    if (line.compare(start, key.size(), key) != 0) {
        return std::nullopt;
    }
    size_t at = line.find_first_not_of(" \t", start + key.size());
    if (at == std::string::npos || line[at] != '=') {
        return std::nullopt;
    }
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line[at] != '"') {
        return std::nullopt;
    }
    std::string value;
    for (size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == '"') {
            return value;
        }
        if (line[i] == '\\' && i + 1 < line.size()) {
            ++i;
        }
        value += line[i];
    }
    return std::nullopt; // no closing quote
}

std::string errnoText(int error) {
    return std::strerror(error);
}

} // namespace

std::string MusicLibraryItem::pid() const {
    return std::to_string(static_cast<unsigned long>(persistentID & 0xffffffffu));
}

MusicLibrary::MusicLibrary(fs::path folder, fs::path idFolder) {
    std::error_code ec;
    folder_ = fs::absolute(folder, ec).lexically_normal();
    if (ec) {
        folder_ = folder.lexically_normal();
    }
    idFolder_ = idFolder.empty() ? folder_ : fs::absolute(idFolder, ec).lexically_normal();
}

fs::path MusicLibrary::xdgMusicFolder(const fs::path& home, const fs::path& configHome) {
    std::ifstream in(configHome / "user-dirs.dirs");
    std::optional<std::string> value;
    for (std::string line; std::getline(in, line);) {
        if (auto found = musicDirValue(line)) {
            value = std::move(found); // the last assignment wins, as in a shell
        }
    }
    if (value) {
        fs::path folder;
        if (value->rfind("$HOME", 0) == 0 && (value->size() == 5 || (*value)[5] == '/')) {
            folder = home / value->substr(std::min<size_t>(value->size(), 6));
        } else if (!value->empty() && (*value)[0] == '/') {
            folder = *value;
        }
        folder = folder.lexically_normal();
        // "$HOME" alone (or "$HOME/") disables the folder: the home is no music folder.
        if (!folder.empty() && folder != home.lexically_normal() &&
            folder != (home / "").lexically_normal()) {
            return folder;
        }
    }
    return home / "Music";
}

fs::path MusicLibrary::defaultMusicFolder() {
    const char* homeVariable = std::getenv("HOME");
    const fs::path home = homeVariable && *homeVariable ? fs::path(homeVariable) : fs::path("/");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // Relative or empty XDG variables are ignored, as the XDG rules say.
    const fs::path configHome = config && config[0] == '/' ? fs::path(config) : home / ".config";
    return xdgMusicFolder(home, configHome);
}

fs::path MusicLibrary::musicFolder(const UserDefaults& defaults) {
    const std::string chosen = defaults.stringForKey(kMusicFolderKey);
    return chosen.empty() ? defaultMusicFolder() : fs::path(chosen);
}

void MusicLibrary::setMusicFolder(UserDefaults& defaults, const fs::path& folder) {
    if (folder.empty()) {
        defaults.remove(kMusicFolderKey);
    } else {
        std::error_code ec;
        const fs::path absolute = fs::absolute(folder, ec);
        defaults.setString(kMusicFolderKey, (ec ? folder : absolute).lexically_normal().string());
    }
}

bool MusicLibrary::isImportableExtension(const fs::path& file) {
    const std::string e = lowerExtension(file);
    return e == ".mp3" || e == ".m4a" || e == ".flac" || e == ".ogg" || e == ".opus";
}

uint64_t MusicLibrary::persistentIDFor(const fs::path& file, const fs::path& folder) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec).lexically_normal();
    const fs::path base = fs::absolute(folder, ec).lexically_normal();
    fs::path relative = absolute.lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..") {
        relative = absolute;
    }
    uint64_t hash = 0xcbf29ce484222325ull; // FNV-1a 64 offset basis
    for (const char c : relative.generic_string()) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001b3ull; // FNV-1a 64 prime
    }
    return hash;
}

MusicLibraryItem MusicLibrary::itemForFile(const fs::path& file) const {
    MusicLibraryItem item;
    std::error_code ec;
    item.file = fs::absolute(file, ec).lexically_normal();
    item.title = item.file.stem().string();
    item.persistentID = persistentIDFor(item.file, idFolder_);

    struct stat st {};
    if (::stat(item.file.c_str(), &st) != 0) {
        item.problem = errnoText(errno);
        return item;
    }
    if (!S_ISREG(st.st_mode)) {
        item.problem = "not a regular file";
        return item;
    }
    item.size = uint64_t(st.st_size);
    const int fd = ::open(item.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        item.problem = errnoText(errno);
        return item;
    }
    ::close(fd);
    if (item.size == 0) {
        item.problem = "empty file (0 bytes)";
        return item;
    }
    if (!isImportableExtension(item.file)) {
        item.problem = "not a kind of track the library takes (MP3, M4A, FLAC, Ogg, Opus)";
        return item;
    }
    const std::optional<AudioTags> tags = readAudioTags(item.file);
    if (!tags) {
        item.problem = "not an audio file";
        return item;
    }
    if (!tags->title.empty()) {
        item.title = tags->title;
    }
    item.artist = tags->artist;
    item.album = tags->album;
    item.tempo = tags->tempo > 0 ? tags->tempo : 0;
    item.durationSeconds = tags->durationSeconds;
    return item;
}

std::vector<MusicLibraryItem> MusicLibrary::items(const std::atomic<bool>* cancel) const {
    std::vector<fs::path> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder_, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            break;
        }
        const std::string name = it->path().filename().string();
        if (!name.empty() && name[0] == '.') {
            it.disable_recursion_pending(); // hidden: .Trash, .thumbnails, dot files
            continue;
        }
        std::error_code typeError;
        if (it->is_regular_file(typeError) && isImportableExtension(it->path())) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end(), [&](const fs::path& a, const fs::path& b) {
        return a.lexically_relative(folder_).generic_string() <
               b.lexically_relative(folder_).generic_string();
    });
    std::vector<MusicLibraryItem> result;
    result.reserve(files.size());
    for (const fs::path& file : files) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            break;
        }
        result.push_back(itemForFile(file));
    }
    return result;
}

bool MusicLibrary::copyWithProgress(const fs::path& source, const fs::path& destination,
                                    std::atomic<uint64_t>& bytesDone,
                                    const std::atomic<bool>& cancel, std::string* error) {
    const auto fail = [&](const std::string& why, int out) {
        if (out >= 0) {
            ::close(out);
            ::unlink(destination.c_str());
        }
        if (error) {
            *error = why;
        }
        return false;
    };
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return fail("cannot open " + source.string() + ": " + errnoText(errno), -1);
    }
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return fail(source.string() + " is not a regular file", -1);
    }
    const uint64_t expected = uint64_t(st.st_size);
    const int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return fail("cannot create " + destination.string() + ": " + errnoText(e), -1);
    }
    std::vector<char> buffer(kCopyChunk);
    uint64_t copied = 0;
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) {
            ::close(in);
            return fail("cancelled", out);
        }
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int e = errno;
            ::close(in);
            return fail("reading " + source.string() + ": " + errnoText(e), out);
        }
        if (n == 0) {
            break;
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::write(out, buffer.data() + written, size_t(n - written));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                const int e = errno;
                ::close(in);
                return fail("writing " + destination.string() + ": " + errnoText(e), out);
            }
            written += w;
        }
        copied += uint64_t(n);
        bytesDone.fetch_add(uint64_t(n), std::memory_order_relaxed);
    }
    ::close(in);
    if (copied < expected) {
        return fail("short copy of " + source.string() + ": " + std::to_string(copied) + " of " +
                        std::to_string(expected) + " bytes",
                    out);
    }
    if (::fsync(out) != 0) {
        return fail("flushing " + destination.string() + ": " + errnoText(errno), out);
    }
    if (::close(out) != 0) {
        const int e = errno;
        ::unlink(destination.c_str());
        return fail("closing " + destination.string() + ": " + errnoText(e), -1);
    }
    return true;
}

} // namespace vx
