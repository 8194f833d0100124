#include "analysis/peakFileData.h"
#include "platform/EngineLock.h"

#include "platform/Log.h"

#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vx {

static_assert(std::atomic_ref<uint8_t>::required_alignment == alignof(uint8_t),
              "entry bytes are accessed in place through atomic_ref");
static_assert(std::endian::native == std::endian::little,
              "the peak file is little-endian and is read and written in place");

namespace {

using Byte = std::atomic_ref<uint8_t>;

// The entry buffer is never const memory; atomic_ref needs a mutable reference even to load.
uint8_t loadByte(const uint8_t& b) {
    return Byte(const_cast<uint8_t&>(b)).load(std::memory_order_relaxed);
}

void storeByte(uint8_t& b, uint8_t value) {
    Byte(b).store(value, std::memory_order_relaxed);
}

// Moves `size` bytes through `io` (::read or ::write), retrying short transfers and EINTR.
template <typename Io, typename Byte> bool transferAll(Io io, int fd, Byte* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = io(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int fd, uint8_t* out, size_t size) {
    return transferAll(::read, fd, out, size);
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    return transferAll(::write, fd, data, size);
}

bool rejected(const std::filesystem::path& path, const char* why) {
    logLine("peak file %s ignored: %s", path.c_str(), why);
    return false;
}

} // namespace

std::shared_ptr<peakFileData> peakFileData::create(int32_t count) {
    auto record = std::make_shared<peakFileData>();
    record->count = count > 0 ? count : 0;
    const size_t bytes = static_cast<size_t>(record->count) * kPeakEntryBytes;
    record->entries = std::make_unique<uint8_t[]>(bytes);
    std::memset(record->entries.get(), kPeakNotComputed, bytes);
    return record;
}

uint8_t peakFileData::height(int32_t i) const {
    if (i < 0 || i >= count) {
        return kPeakNotComputed;
    }
    return loadByte(entries[2 * static_cast<size_t>(i)]);
}

uint8_t peakFileData::flags(int32_t i) const {
    if (i < 0 || i >= count) {
        return kPeakNotComputed;
    }
    return loadByte(entries[2 * static_cast<size_t>(i) + 1]);
}

bool peakFileData::isBeatEntry(int32_t i) const {
    const uint8_t f = flags(i);
    return f > 15 && f != kPeakNotComputed;
}

void peakFileData::setEntry(int32_t i, uint8_t h, uint8_t f) {
    if (i < 0 || i >= count) {
        return;
    }
    storeByte(entries[2 * static_cast<size_t>(i) + 1], f);
    storeByte(entries[2 * static_cast<size_t>(i)], h);
}

void peakFileData::fillEntry(int32_t i, uint8_t h, uint8_t f) {
    if (i < 0 || i >= count) {
        return;
    }
    Byte flagsByte(entries[2 * static_cast<size_t>(i) + 1]);
    uint8_t old = flagsByte.load(std::memory_order_relaxed);
    uint8_t wanted = 0;
    do {
        wanted = old == kPeakNotComputed
                     ? f
                     : static_cast<uint8_t>((old & kPeakBeatBits) | (f & ~kPeakBeatBits));
    } while (!flagsByte.compare_exchange_weak(old, wanted, std::memory_order_relaxed));
    storeByte(entries[2 * static_cast<size_t>(i)], h);
}

void peakFileData::setFlagBits(int32_t i, uint8_t mask) {
    if (i < 0 || i >= count) {
        return;
    }
    Byte(entries[2 * static_cast<size_t>(i) + 1]).fetch_or(mask, std::memory_order_relaxed);
}

void peakFileData::clearFlagBits(int32_t i, uint8_t mask) {
    if (i < 0 || i >= count) {
        return;
    }
    Byte(entries[2 * static_cast<size_t>(i) + 1])
        .fetch_and(static_cast<uint8_t>(~mask), std::memory_order_relaxed);
}

void peakFileData::copyEntries(uint8_t* out) const {
    const size_t bytes = static_cast<size_t>(count) * kPeakEntryBytes;
    for (size_t b = 0; b < bytes; ++b) {
        out[b] = loadByte(entries[b]);
    }
}

int32_t peakCountForFrames(int64_t frames) {
    if (frames <= 0) {
        return 0;
    }
    const int64_t n = (frames + kPeakWindowFrames - 1) / kPeakWindowFrames;
    return n > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>(n);
}

namespace {

// Audio files that may sit beside a track under the same stem (Song.mp3, Song.m4a...).
constexpr const char* kAudioExtensions[] = {"mp3", "m4a",  "wav", "aif", "aiff", "flac",
                                            "ogg", "opus", "aac", "mp4", "caf",  "wma"};

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

namespace {

std::mutex& cacheMutex() {
    static std::mutex mutex;
    return mutex;
}

std::filesystem::path& cacheFolder() {
    static std::filesystem::path folder;
    return folder;
}

// Whether this process is refused writing into `folder` (permissions, a read-only mount). A
// folder that does not exist is not refused: nothing would be written there either way.
bool folderRefusesWrites(const std::filesystem::path& folder) {
    const std::filesystem::path f = folder.empty() ? std::filesystem::path(".") : folder;
    if (::access(f.c_str(), W_OK) == 0) {
        return false;
    }
    return errno == EACCES || errno == EROFS || errno == EPERM;
}

// The cache subfolder of a track folder: its name (readable) and a 64-bit FNV-1a hash of its
// absolute path (unique).
std::filesystem::path cacheSubfolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
    if (ec) {
        absolute = folder;
    }
    const std::string text = absolute.lexically_normal().string();
    uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    std::string name = absolute.filename().string();
    if (name.empty()) {
        name = "root";
    }
    return name + "-" + hex;
}

std::filesystem::path besidePeakFilePath(const std::filesystem::path& trackPath);

} // namespace

void setPeakCacheFolder(const std::filesystem::path& folder) {
    std::lock_guard lock(cacheMutex());
    cacheFolder() = folder;
}

std::filesystem::path peakCacheFolder() {
    std::lock_guard lock(cacheMutex());
    return cacheFolder();
}

std::filesystem::path peakFilePath(const std::filesystem::path& trackPath) {
    std::filesystem::path beside = besidePeakFilePath(trackPath);
    const std::filesystem::path cache = peakCacheFolder();
    const std::filesystem::path folder = trackPath.parent_path();
    if (cache.empty() || !folderRefusesWrites(folder)) {
        return beside;
    }
    std::filesystem::path cached = cache / cacheSubfolder(folder) / beside.filename();
    std::error_code ec;
    if (!std::filesystem::exists(cached, ec) && std::filesystem::exists(beside, ec)) {
        return beside; // shipped with the track and not replaced yet
    }
    return cached;
}

namespace {

std::filesystem::path besidePeakFilePath(const std::filesystem::path& trackPath) {
    std::filesystem::path p = trackPath;
    p.replace_extension("peak");
    if (!trackPath.has_extension()) {
        return p;
    }
    // Another audio file of the same stem in the folder whose name sorts first owns the plain
    // name; this track then takes one built from its whole file name, which no track's plain
    // name can be (those all end in ".peak").
    const std::string own = trackPath.filename().string();
    const std::string ownExtension = lowerCase(trackPath.extension().string().substr(1));
    std::error_code ec;
    for (const char* extension : kAudioExtensions) {
        if (ownExtension == extension) {
            continue;
        }
        std::string upper = extension;
        for (char& c : upper) {
            c = char(std::toupper(static_cast<unsigned char>(c)));
        }
        for (const std::string& spelled : {std::string(extension), upper}) {
            std::filesystem::path sibling = trackPath;
            sibling.replace_extension(spelled);
            if (sibling.filename().string() < own &&
                std::filesystem::is_regular_file(sibling, ec)) {
                std::filesystem::path alternative = trackPath;
                alternative += kPeakSiblingSuffix;
                return alternative;
            }
        }
    }
    return p;
}

} // namespace

bool peakFileLoad(peakFileData& record, const std::filesystem::path& path) {
    return peakFileLoad(record, path, -1);
}

bool peakFileLoad(peakFileData& record, const std::filesystem::path& path, int32_t expectedCount) {
    engineLockTripwire("a peak file read");
    // Non-blocking open so that a FIFO planted under the name cannot stall the caller; the
    // regular-file check below rejects it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false; // no peak file yet: the usual case for a new track
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return rejected(path, "not a regular file");
    }
    const int64_t fileSize = info.st_size;
    if (fileSize < kPeakHeaderSize) {
        return rejected(path, "shorter than its header");
    }
    const int64_t dataBytes = fileSize - kPeakHeaderSize;
    if (dataBytes % kPeakEntryBytes != 0) {
        return rejected(path, "odd entry data length");
    }
    // Decided from the size alone, before anything is allocated or read: a file of another
    // length belongs to another version of the track (or was cut short).
    if (expectedCount >= 0 && dataBytes / kPeakEntryBytes != expectedCount) {
        return rejected(path, "its entry count does not match the track's length");
    }
    if (dataBytes / kPeakEntryBytes > kPeakMaxEntries) {
        return rejected(path, "too many entries");
    }

    uint8_t header[kPeakHeaderSize];
    if (!readAll(fd, header, sizeof header)) {
        return rejected(path, "header unreadable");
    }
    int32_t headerSize = 0;
    double bpm = 0.0;
    double gain = 0.0;
    std::memcpy(&headerSize, header, 4);
    std::memcpy(&bpm, header + 4, 8);
    std::memcpy(&gain, header + 12, 8);
    if (headerSize != kPeakHeaderSize) {
        return rejected(path, "header size is not 20");
    }
    if (!std::isfinite(bpm) || bpm < 0.0 || !std::isfinite(gain) || gain <= 0.0) {
        return rejected(path, "BPM or gain out of range");
    }
    if ((bpm != 0.0 && (bpm < kPeakMinBpm || bpm > kPeakMaxBpm)) || gain < kPeakMinGain ||
        gain > kPeakMaxGain) {
        return rejected(path, "BPM or gain out of range");
    }

    const int32_t count = static_cast<int32_t>(dataBytes / kPeakEntryBytes);
    auto entries = std::make_unique<uint8_t[]>(static_cast<size_t>(dataBytes));
    if (!readAll(fd, entries.get(), static_cast<size_t>(dataBytes))) {
        return rejected(path, "truncated while reading");
    }
    // Flags other than the low-frequency bit and the beat bits are never written; an entry
    // carrying them is not one of ours (random or shifted data).
    for (int64_t i = 0; i < dataBytes; i += kPeakEntryBytes) {
        const uint8_t flags = entries[size_t(i) + 1];
        if (flags != kPeakNotComputed && (flags & kPeakUnusedBits) != 0) {
            return rejected(path, "an entry carries flags that are never written");
        }
    }

    // Everything checked: only now does the record change.
    record.headerSize = headerSize;
    record.bpm.store(bpm, std::memory_order_relaxed);
    record.gain.store(gain, std::memory_order_relaxed);
    record.entries = std::move(entries);
    record.count = count;
    record.ready.store(1, std::memory_order_relaxed);
    return true;
}

bool peakFileWrite(peakFileData& record, const std::filesystem::path& path) {
    engineLockTripwire("a peak file write");
    double gain = record.gain.load(std::memory_order_relaxed);
    if (!(std::isfinite(gain) && gain > 0.0)) {
        gain = 1.0;
        record.gain.store(gain, std::memory_order_relaxed);
    }
    const double bpm = record.bpm.load(std::memory_order_relaxed);
    const size_t dataBytes = static_cast<size_t>(record.count) * kPeakEntryBytes;

    std::vector<uint8_t> bytes(kPeakHeaderSize + dataBytes);
    const int32_t headerSize = kPeakHeaderSize;
    std::memcpy(bytes.data(), &headerSize, 4);
    std::memcpy(bytes.data() + 4, &bpm, 8);
    std::memcpy(bytes.data() + 12, &gain, 8);
    record.copyEntries(bytes.data() + kPeakHeaderSize);

    const auto fail = [&](const char* step) {
        logLine("peak file %s not written: %s failed (%s)", path.c_str(), step,
                std::strerror(errno));
        return false;
    };

    // A unique temporary name per writer: the decode thread and the analysis may write the
    // same track's file at once, and each rename must carry a complete file. Created with
    // mode 0666 less the umask, as any file the user makes (a peak file is no secret).
    static std::atomic<uint64_t> serial{0};
    const std::filesystem::path cache = peakCacheFolder();
    if (!cache.empty() && path.parent_path().parent_path() == cache) {
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
    }
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = path.string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(serial.fetch_add(1, std::memory_order_relaxed));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return fail("creating a temporary file");
    }
    const auto abandon = [&](const char* step) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        errno = saved;
        return fail(step);
    };
    if (!writeAll(fd, bytes.data(), bytes.size())) {
        return abandon("writing");
    }
    if (::fsync(fd) != 0) {
        return abandon("flushing");
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        return fail("closing");
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        return fail("renaming");
    }
    return true;
}

} // namespace vx
