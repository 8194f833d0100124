#include "library/VXAudioFileInfo.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <istream>
#include <system_error>

#include "analysis/peakFileData.h"
#include "library/DBController.h"
#include "library/TrackHash.h"
#include "library/TrackLocation.h"
#include "platform/AudioFileReader.h"
#include "platform/AudioTags.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = lowerAscii(c);
    }
    return out;
}

std::optional<std::string> nonEmpty(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

// A Row seen as a RowSource.
class MapSource : public VXAudioFileInfo::RowSource {
public:
    explicit MapSource(const VXAudioFileInfo::Row& row) : row_(row) {}

    std::optional<double> number(std::string_view column) const override {
        const auto it = row_.find(column);
        if (it == row_.end()) {
            return std::nullopt;
        }
        if (const auto* i = std::get_if<int64_t>(&it->second)) {
            return static_cast<double>(*i);
        }
        if (const auto* d = std::get_if<double>(&it->second)) {
            return *d;
        }
        const std::string& text = std::get<std::string>(it->second);
        double value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    }
    std::optional<int64_t> integer(std::string_view column) const override {
        const auto it = row_.find(column);
        if (it == row_.end()) {
            return std::nullopt;
        }
        if (const auto* i = std::get_if<int64_t>(&it->second)) {
            return *i;
        }
        return static_cast<int64_t>(*number(column));
    }
    std::optional<std::string> text(std::string_view column) const override {
        const auto it = row_.find(column);
        if (it == row_.end()) {
            return std::nullopt;
        }
        if (const auto* text = std::get_if<std::string>(&it->second)) {
            return *text;
        }
        if (const auto* i = std::get_if<int64_t>(&it->second)) {
            return std::to_string(*i);
        }
        return std::to_string(std::get<double>(it->second));
    }

private:
    const VXAudioFileInfo::Row& row_;
};

uint64_t fileSizeOf(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

bool fileExists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

// One MP4 atom found by findAtom: where its payload starts and where the atom ends, as offsets
// from the start of the walked region.
struct Atom {
    uint64_t payload = 0;
    uint64_t end = 0;
};

// Reads atom headers in [begin, end) of `in` (offsets from `base`), skipping siblings, until
// one of type `type`. Nothing when the region holds no such atom, a read fails, or a header's
// size is below 8 (0 included) or reaches beyond `end`.
std::optional<Atom> findAtom(std::istream& in, std::streamoff base, uint64_t begin, uint64_t end,
                             const char* type, bool firstOnly) {
    uint64_t at = begin;
    while (at < end && end - at >= 8) {
        unsigned char header[8];
        in.clear();
        in.seekg(base + static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(header), 8)) {
            return std::nullopt;
        }
        const uint64_t size = (uint64_t{header[0]} << 24) | (uint64_t{header[1]} << 16) |
                              (uint64_t{header[2]} << 8) | uint64_t{header[3]};
        if (size < 8 || size > end - at) {
            return std::nullopt;
        }
        if (std::memcmp(header + 4, type, 4) == 0) {
            return Atom{at + 8, at + size};
        }
        if (firstOnly) {
            return std::nullopt;
        }
        at += size;
    }
    return std::nullopt;
}

} // namespace

VXAudioFileInfo::VXAudioFileInfo() = default;

std::shared_ptr<VXAudioFileInfo> VXAudioFileInfo::initWithFile(const fs::path& path,
                                                               const Paths& paths) {
    auto info = std::make_shared<VXAudioFileInfo>();
    if (fileExists(path)) {
        info->readFile(path, paths);
    }
    return info;
}

void VXAudioFileInfo::readFile(const fs::path& path, const Paths& paths) {
    fileName = path;
    hash = trackHashForPath(path);
    playcount = -1;
    tempo = 0;
    fileGroup = kUserLocation;

    std::string error;
    auto reader = AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, &error);
    if (reader) {
        {
            std::lock_guard lock(lazyMutex_);
            durationInSamples_ =
                static_cast<uint64_t>(std::max<int64_t>(reader->lengthFrames(), 0));
            durationSeconds_ = static_cast<double>(durationInSamples_) / kSampleRate;
        }
        double tagTempo = 0;
        if (const auto tags = readAudioTags(path)) {
            artist = nonEmpty(tags->artist);
            title = nonEmpty(tags->title);
            album = nonEmpty(tags->album);
            tagTempo = tags->tempo;
            std::lock_guard lock(lazyMutex_);
            encodingApp_ = nonEmpty(tags->encoder);
            copyright_ = nonEmpty(tags->copyright);
            comments_ = nonEmpty(tags->comments);
            tagsRead_ = true;
        }
        tempo = tempoFromName(path.string());
        if (tempo <= 0) {
            tempo = tagTempo;
        }
        if (tempo <= 0 && lowerAscii(path.extension().string()) == ".m4a") {
            tempo = std::max(readMP4Tempo(path), 0); // −1: no tempo atom, which is tempo 0
        }
        if (tempo <= 0 && peakFileExists()) {
            double bpm = 0;
            double gain = 0;
            if (readPeakHeader(&bpm, &gain)) {
                tempo = bpm;
                avarageVolume = gain;
            }
        }
        cycleLen = cycleLenForTempo(tempo);
        reader.reset();

        if (!title) {
            std::string name = path.stem().string();
            // "Song - bpm128" is shown as "Song -": the character before "bpm" goes too. A
            // name that starts with "bpm" keeps its whole stem rather than becoming empty.
            const size_t bpm = name.find("bpm");
            if (bpm != std::string::npos && bpm > 0) {
                name.resize(bpm - 1);
            }
            title = name;
        }
        // Music-library imports put "@n" and the item number into the file name.
        if (const size_t at = title->find("@n"); at != std::string::npos) {
            title->resize(at);
        }
        fileGroup = isInsideFolder(path, paths.sound()) ? 1 : 0;
        setFileSize(fileSizeOf(path));
    } else {
        // The converting reader could not open the file: no lengths and no tempo.
        cycleLen = 1;
    }
    crateSortOrder.fill(-1);
    applyNameTags();
}

void VXAudioFileInfo::applyNameTags() {
    const std::string name = fileName.filename().string();
    static constexpr std::string_view titleKey = "_Title(";
    static constexpr std::string_view artistKey = "_Artist(";
    static constexpr std::string_view albumKey = "_Album(";
    if (name.rfind(titleKey, 0) != 0 || name.find(artistKey) == std::string::npos) {
        return;
    }
    const std::string base = fileName.stem().string();
    const size_t titleEnd = base.find(")_", titleKey.size());
    if (titleEnd == std::string::npos) {
        return;
    }
    title = base.substr(titleKey.size(), titleEnd - titleKey.size());

    const size_t artistAt = base.find(artistKey);
    if (artistAt == std::string::npos) {
        return; // "_Artist(" was in the extension only
    }
    const size_t artistStart = artistAt + artistKey.size();
    const size_t albumAt = base.find(albumKey, artistStart);
    const size_t artistClose =
        albumAt != std::string::npos ? base.rfind(')', albumAt) : base.rfind(')');
    if (artistClose != std::string::npos && artistClose >= artistStart) {
        artist = base.substr(artistStart, artistClose - artistStart);
    }
    if (albumAt != std::string::npos) {
        const size_t albumStart = albumAt + albumKey.size();
        const size_t albumClose = base.rfind(')');
        if (albumClose != std::string::npos && albumClose >= albumStart) {
            album = base.substr(albumStart, albumClose - albumStart);
        }
    }
}

std::shared_ptr<VXAudioFileInfo> VXAudioFileInfo::initWithDictionary(const Row& row,
                                                                     const Paths& paths) {
    return initWithDictionary(MapSource(row), paths);
}

std::shared_ptr<VXAudioFileInfo> VXAudioFileInfo::initWithDictionary(const RowSource& row,
                                                                     const Paths& paths) {
    auto info = std::make_shared<VXAudioFileInfo>();
    info->hash = static_cast<uint32_t>(row.integer("hash").value_or(0));
    info->fileGroup = static_cast<int32_t>(row.integer("location").value_or(0));
    if (const auto name = row.text("filename")) {
        // Joined as text and parsed once: listings make thousands of these.
        auto join = [&](const fs::path& folder) {
            std::string full = folder.native();
            if (!full.empty() && full.back() != '/') {
                full += '/';
            }
            full += *name;
            return fs::path(std::move(full));
        };
        if (info->fileGroup == kUserLocation) {
            info->fileName = join(paths.documents());
        } else if (info->fileGroup == kBuiltInLocation) {
            info->fileName = join(paths.sound());
        }
    }
    info->artist = row.text("artist");
    info->title = row.text("title");
    info->album = row.text("album");
    info->setTempo(row.number("tempo").value_or(0));
    info->date_added = row.number("date_added").value_or(0);
    const double seconds = row.number("lenght").value_or(0);
    {
        std::lock_guard lock(info->lazyMutex_);
        info->durationSeconds_ = seconds;
        info->durationInSamples_ =
            seconds > 0 ? static_cast<uint64_t>(seconds * kSampleRate) : uint64_t{0};
        info->fileSize_ =
            static_cast<uint64_t>(std::max<int64_t>(row.integer("size").value_or(0), 0));
    }
    info->crateSortOrder.fill(-1);
    info->avarageVolume = 1.0;
    info->playcount = static_cast<int32_t>(row.integer("playcount").value_or(0));
    info->sortOrder = static_cast<int32_t>(row.integer("sort_order").value_or(0));
    return info;
}

double VXAudioFileInfo::durationSeconds() const {
    std::lock_guard lock(lazyMutex_);
    if (durationSeconds_ <= 0) {
        updateTagsLocked();
    }
    return durationSeconds_;
}

uint64_t VXAudioFileInfo::durationInSamples() const {
    std::lock_guard lock(lazyMutex_);
    if (durationInSamples_ == 0) {
        updateTagsLocked();
    }
    return durationInSamples_;
}

uint64_t VXAudioFileInfo::fileSize() const {
    std::lock_guard lock(lazyMutex_);
    return fileSize_;
}

std::optional<std::string> VXAudioFileInfo::Comments() const {
    std::lock_guard lock(lazyMutex_);
    if (!comments_ && !tagsRead_) {
        updateTagsLocked();
    }
    return comments_;
}

std::optional<std::string> VXAudioFileInfo::EncodindApp() const {
    std::lock_guard lock(lazyMutex_);
    if (!encodingApp_ && !tagsRead_) {
        updateTagsLocked();
    }
    return encodingApp_;
}

std::optional<std::string> VXAudioFileInfo::Copyright() const {
    std::lock_guard lock(lazyMutex_);
    if (!copyright_ && !tagsRead_) {
        updateTagsLocked();
    }
    return copyright_;
}

void VXAudioFileInfo::updateTags() const {
    std::lock_guard lock(lazyMutex_);
    updateTagsLocked();
}

bool VXAudioFileInfo::tagsRead() const {
    std::lock_guard lock(lazyMutex_);
    return tagsRead_;
}

void VXAudioFileInfo::updateTagsLocked() const {
    if (!fileExists(fileName)) {
        return;
    }
    const auto tags = readAudioTags(fileName);
    if (!tags) {
        return;
    }
    if (!encodingApp_) {
        encodingApp_ = nonEmpty(tags->encoder);
    }
    if (!copyright_) {
        copyright_ = nonEmpty(tags->copyright);
    }
    if (!comments_) {
        comments_ = nonEmpty(tags->comments);
    }
    tagsRead_ = true;
    if (durationSeconds_ <= 0 || durationInSamples_ == 0) {
        std::string error;
        if (const auto reader =
                AudioFileReader::open(fileName, AudioFileReader::Client::Stereo44100, &error)) {
            durationInSamples_ =
                static_cast<uint64_t>(std::max<int64_t>(reader->lengthFrames(), 0));
            durationSeconds_ = static_cast<double>(durationInSamples_) / kSampleRate;
        } else {
            durationSeconds_ = tags->durationSeconds;
            durationInSamples_ = tags->durationSeconds > 0
                                     ? static_cast<uint64_t>(tags->durationSeconds * kSampleRate)
                                     : uint64_t{0};
        }
    }
    fileSize_ = fileSizeOf(fileName);
}

void VXAudioFileInfo::updateBPM(double bpm, DBController& db) {
    if (bpm == tempo || fileGroup != kUserLocation) {
        return;
    }
    tempo = bpm;
    db.updateTempo(static_cast<float>(bpm), hash, fileGroup);
    db.sortOrderForInfo(*this);
    cycleLen = cycleLenForTempo(tempo);
}

void VXAudioFileInfo::updateBPM(double bpm) {
    if (bpm != tempo && fileGroup == kUserLocation) {
        setTempo(bpm);
    }
}

bool VXAudioFileInfo::peakFileExists() const {
    return !fileName.empty() && fileExists(peakFilePath());
}

fs::path VXAudioFileInfo::peakFilePath() const {
    if (fileName.empty()) {
        return {};
    }
    return vx::peakFilePath(fileName);
}

bool VXAudioFileInfo::readPeakHeader(double* bpm, double* gain) const {
    // The 20-byte header: a 32-bit header size, the tempo as a double at byte 4 and the gain
    // as a double at byte 12, in the machine's byte order.
    std::ifstream in(peakFilePath(), std::ios::binary);
    char header[20];
    if (!in || !in.read(header, sizeof header)) {
        return false;
    }
    std::memcpy(bpm, header + 4, sizeof(double));
    std::memcpy(gain, header + 12, sizeof(double));
    return true;
}

void VXAudioFileInfo::setFileSize(uint64_t bytes) {
    std::lock_guard lock(lazyMutex_);
    fileSize_ = bytes;
}

void VXAudioFileInfo::setDurationSeconds(double seconds) {
    std::lock_guard lock(lazyMutex_);
    durationSeconds_ = seconds;
}

void VXAudioFileInfo::setDurationInSamples(uint64_t frames) {
    std::lock_guard lock(lazyMutex_);
    durationInSamples_ = frames;
}

void VXAudioFileInfo::setTempo(double bpm) {
    tempo = bpm;
    cycleLen = cycleLenForTempo(bpm);
}

double VXAudioFileInfo::cycleLenForTempo(double bpm) {
    return bpm > 0 ? 60.0 * kSampleRate / bpm : 256.0;
}

double VXAudioFileInfo::tempoFromName(std::string_view path) {
    const std::string lower = lowerAscii(path);
    const size_t p = lower.find("bpm");
    if (p == std::string::npos) {
        return 0;
    }
    auto inNumber = [](char c) { return (c >= '0' && c <= '9') || c == ',' || c == '.'; };
    size_t end = p + 4;
    if (end >= lower.size() || !inNumber(lower[end])) {
        return 0;
    }
    while (end < lower.size() && inNumber(lower[end])) {
        ++end;
    }
    // The text starts right after "bpm", whatever that character is: a blank is skipped below,
    // anything else that is not part of a number makes the tempo 0.
    std::string text = lower.substr(p + 3, end - (p + 3));
    if (const size_t comma = text.find(','); comma != std::string::npos) {
        text[comma] = '.';
    }
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) {
        ++start;
    }
    double value = 0;
    const auto result = std::from_chars(text.data() + start, text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0;
}

int VXAudioFileInfo::readMP4Tempo(std::istream& in, uint64_t length) {
    const std::streamoff base = in.tellg();
    if (base < 0) {
        return -1;
    }
    const auto moov = findAtom(in, base, 0, length, "moov", false);
    if (!moov) {
        return -1;
    }
    const auto udta = findAtom(in, base, moov->payload, moov->end, "udta", false);
    if (!udta) {
        return -1;
    }
    const auto meta = findAtom(in, base, udta->payload, udta->end, "meta", false);
    if (!meta || meta->end - meta->payload < 4) {
        return -1;
    }
    // "meta" is a full atom: four bytes of version and flags come before its children.
    const auto ilst = findAtom(in, base, meta->payload + 4, meta->end, "ilst", false);
    if (!ilst) {
        return -1;
    }
    const auto tmpo = findAtom(in, base, ilst->payload, ilst->end, "tmpo", false);
    if (!tmpo) {
        return -1;
    }
    const auto data = findAtom(in, base, tmpo->payload, tmpo->end, "data", true);
    if (!data || data->end == data->payload) {
        return -1;
    }
    // Only the payload's last byte is the tempo (a value of 300 reads as 44).
    in.clear();
    in.seekg(base + static_cast<std::streamoff>(data->end - 1));
    char last = 0;
    if (!in.get(last)) {
        return -1;
    }
    return static_cast<unsigned char>(last);
}

int VXAudioFileInfo::readMP4Tempo(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return -1;
    }
    return readMP4Tempo(in, fileSizeOf(path));
}

} // namespace vx
