#include "platform/SafeFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Log.h"

namespace vx {

namespace {

constexpr size_t kMaxNameBytes = 255;
constexpr std::string_view kDatabaseName = "velvox.sqlite";

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
}

// Puts `from` at `to` unless `to` exists. Returns 0, or the errno of the failure (EEXIST when
// `to` exists). File systems without RENAME_NOREPLACE fall back to link + unlink, which is just
// as atomic about the target.
int placeNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
}

void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

SafeMoveResult failed(const std::filesystem::path& target, const char* step, int error) {
    logLine("SafeFiles: moving to %s failed while %s: %s", target.c_str(), step,
            std::strerror(error));
    return SafeMoveResult::Failed;
}

// The source lives on another file system: copy it into a hidden temporary file in the target
// folder, flush it, put it in place, then remove the source.
SafeMoveResult copyAcross(const std::filesystem::path& source, const std::filesystem::path& folder,
                          const std::filesystem::path& target, bool overwrite) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return failed(target, "opening the source", errno);
    }
    struct stat sourceStat {};
    ::fstat(in, &sourceStat);
    std::string temporary = (folder / ".vxmove-XXXXXX").string();
    const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return failed(target, "creating a temporary file", error);
    }
    const auto abandon = [&](const char* step, int error) {
        ::close(in);
        ::close(out);
        ::unlink(temporary.c_str());
        return failed(target, step, error);
    };
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return abandon("reading", errno);
        }
        if (got == 0) {
            break;
        }
        if (!writeAll(out, buffer, size_t(got))) {
            return abandon("writing", errno);
        }
    }
    ::fchmod(out, sourceStat.st_mode & 0777);
    if (::fsync(out) != 0) {
        return abandon("flushing", errno);
    }
    ::close(in);
    if (::close(out) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failed(target, "closing", error);
    }
    const int placed = overwrite ? (::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno)
                                 : placeNoReplace(temporary, target);
    if (placed != 0) {
        ::unlink(temporary.c_str());
        if (placed == EEXIST) {
            return SafeMoveResult::Exists;
        }
        return failed(target, "putting the copy in place", placed);
    }
    syncFolder(folder);
    if (::unlink(source.c_str()) != 0) {
        // The copy is complete and in place; only the original stays behind.
        logLine("SafeFiles: moved %s but could not remove it: %s", source.c_str(),
                std::strerror(errno));
    }
    return SafeMoveResult::Moved;
}

} // namespace

FileNameCheck checkFileName(std::string_view name) {
    if (name.empty()) {
        return FileNameCheck::Empty;
    }
    if (name == "." || name == "..") {
        return FileNameCheck::DotName;
    }
    for (const char c : name) {
        if (c == '\0') {
            return FileNameCheck::Nul;
        }
    }
    for (const char c : name) {
        if (c == '/' || c == '\\') {
            return FileNameCheck::Separator;
        }
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return FileNameCheck::Control;
        }
    }
    if (name.size() > kMaxNameBytes) {
        return FileNameCheck::TooLong;
    }
    if (startsWithNoCase(name, kDatabaseName)) {
        return FileNameCheck::Database;
    }
    return FileNameCheck::Ok;
}

SafeMoveResult safeMoveIntoFolder(const std::filesystem::path& source,
                                  const std::filesystem::path& folder, std::string_view name,
                                  bool overwrite) {
    if (!isSafeFileName(name)) {
        logLine("SafeFiles: refused the file name \"%.*s\"",
                int(std::min<size_t>(name.size(), 300)), name.data());
        return SafeMoveResult::BadName;
    }
    struct stat sourceStat {};
    if (::lstat(source.c_str(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) {
        return SafeMoveResult::SourceMissing;
    }
    const std::filesystem::path target = folder / std::string(name);
    const int moved = overwrite ? (::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno)
                                : placeNoReplace(source, target);
    if (moved == 0) {
        syncFolder(folder);
        return SafeMoveResult::Moved;
    }
    if (moved == EEXIST) {
        return SafeMoveResult::Exists;
    }
    if (moved == EXDEV) {
        if (!overwrite && ::access(target.c_str(), F_OK) == 0) {
            return SafeMoveResult::Exists;
        }
        return copyAcross(source, folder, target, overwrite);
    }
    return failed(target, "renaming", moved);
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

} // namespace vx
