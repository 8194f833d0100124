// The check every command makes before it writes a file the user named: an output that would
// overwrite one of the run's own inputs, the library, the settings or a file another program is
// writing is refused before anything is opened.

#include "cli/CliCommand.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vx::cli {

namespace fs = std::filesystem;

namespace {

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        const bool same = fs::equivalent(a, b, ec);
        return !ec && same;
    }
    const fs::path ca = fs::weakly_canonical(a, ec);
    const fs::path cb = fs::weakly_canonical(b, ec);
    return ca == cb;
}

// Whether the file starts as an SQLite database does.
bool isSqliteFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    char magic[16] = {};
    const ssize_t n = ::read(fd, magic, sizeof magic);
    ::close(fd);
    return n == 16 && std::memcmp(magic, "SQLite format 3", 16) == 0;
}

// Whether another process holds a lock on the file: the recorder and the WAVE writer hold an
// exclusive one while they write.
bool lockedByAnother(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

} // namespace

std::optional<std::string> refuseOutput(const fs::path& out, const std::vector<fs::path>& inputs,
                                        const Paths& paths) {
    const std::string name = out.string();
    std::error_code ec;
    const auto status = fs::status(out, ec);
    if (fs::is_directory(status)) {
        return name + ": is a folder, not a file that can be written";
    }
    for (const fs::path& input : inputs) {
        if (sameFile(out, input)) {
            return name + ": is one of the inputs of this run; choose another output file";
        }
    }
    const fs::path database = paths.documents() / "velvox.sqlite";
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        fs::path file = database;
        file += suffix;
        if (sameFile(out, file)) {
            return name + ": is the track library; choose another output file";
        }
    }
    if (sameFile(out, paths.settingsFile())) {
        return name + ": is the settings file; choose another output file";
    }
    if (fs::exists(status)) {
        if (isSqliteFile(out)) {
            return name + ": is a database; choose another output file";
        }
        if (lockedByAnother(out)) {
            return name + ": is being written by another program; choose another output file";
        }
    }
    return std::nullopt;
}

} // namespace vx::cli

namespace vx::cli {

std::optional<std::string> inputProblem(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return errno == ENOENT ? std::string("no such file") : std::string(std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return std::string("is a folder, not an audio file");
    }
    if (S_ISFIFO(info.st_mode)) {
        return std::string("is a pipe (FIFO), not an audio file");
    }
    if (!S_ISREG(info.st_mode)) {
        return std::string("is not a regular file");
    }
    // Opening for reading is what the decoder will do: a file without read permission says so
    // here rather than as "not audio".
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::string(std::strerror(errno));
    }
    ::close(fd);
    return std::nullopt;
}

} // namespace vx::cli
