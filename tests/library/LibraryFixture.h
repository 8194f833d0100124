#pragma once
// Shared set-up for the library tests: a private home in the temp folder (documents, a
// resource folder holding the database template and a built-in "sound" folder), and small
// generated audio files.

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "library/DBController.h"
#include "library/TrackHash.h"
#include "platform/AudioFileWriter.h"
#include "platform/Paths.h"

#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

namespace vx::test {

namespace fs = std::filesystem;

// A fresh folder under the system temp folder, removed with its contents on destruction.
class LibraryTempDir {
public:
    LibraryTempDir() {
        // Tempo is read from "bpm" anywhere in a path: keep the random part free of it.
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string pattern = (fs::temp_directory_path() / "vx-library-XXXXXX").string();
            const char* made = ::mkdtemp(pattern.data());
            path_ = made ? fs::path(made) : fs::temp_directory_path() / "vx-library-failed";
            std::string lower = path_.string();
            for (char& c : lower) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (lower.find("bpm") == std::string::npos) {
                break;
            }
            fs::remove(path_);
        }
    }
    ~LibraryTempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    LibraryTempDir(const LibraryTempDir&) = delete;
    LibraryTempDir& operator=(const LibraryTempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Writes `seconds` of a quiet 440 Hz sine as 16-bit WAVE at 44100 Hz stereo. The library reads
// files by their content, so the name may carry any extension.
inline bool writeTone(const fs::path& path, double seconds) {
    std::string error;
    const std::string extension = path.extension().string();
    const auto format =
        extension == ".m4a" ? AudioFileWriter::Format::M4aAac : AudioFileWriter::Format::WavInt16;
    auto writer = AudioFileWriter::create(path, format, 44100, 2, &error);
    if (!writer) {
        return false;
    }
    const auto frames = static_cast<int64_t>(seconds * 44100);
    std::vector<float> samples(static_cast<size_t>(frames) * 2);
    for (int64_t i = 0; i < frames; ++i) {
        const float v = 0.25f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / 44100.0));
        samples[2 * i] = v;
        samples[2 * i + 1] = v;
    }
    return writer->write(samples.data(), frames) && writer->close();
}

inline void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An M4A tone (see writeTone) in a folder made as needed, with title, artist and album tags
// and, when `tempo` > 0, a tempo atom.
inline bool writeTaggedTone(const fs::path& path, const std::string& title,
                            const std::string& artist, const std::string& album, double seconds,
                            int tempo = 0) {
    fs::create_directories(path.parent_path());
    if (!writeTone(path, seconds)) {
        return false;
    }
    TagLib::MP4::File file(path.c_str());
    file.tag()->setTitle(TagLib::String(title, TagLib::String::UTF8));
    file.tag()->setArtist(TagLib::String(artist, TagLib::String::UTF8));
    file.tag()->setAlbum(TagLib::String(album, TagLib::String::UTF8));
    if (tempo > 0) {
        file.tag()->setItem("tmpo", TagLib::MP4::Item(tempo));
    }
    return file.save();
}

// A peak file of the 20-byte header the library reads (header size, tempo, average gain)
// followed by a few peaks.
inline void writePeakHeader(const fs::path& file, double bpm, double gain) {
    std::string header(20, '\0');
    const uint32_t size = 20;
    std::memcpy(header.data(), &size, 4);
    std::memcpy(header.data() + 4, &bpm, 8);
    std::memcpy(header.data() + 12, &gain, 8);
    writeBytes(file, header + std::string(64, '\x01'));
}

inline std::string slurpBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A home whose resource folder holds the build's database template.
class LibraryHome {
public:
    LibraryHome()
        : paths_(dir_.path() / "Documents", dir_.path() / "resources", dir_.path() / "tmp",
                 dir_.path() / "settings.json") {
        fs::create_directories(paths_.documents());
        fs::create_directories(paths_.sound());
        fs::copy_file(Paths::defaultResources() / "velvox.sqlite", paths_.databaseTemplate());
    }
    const Paths& paths() const { return paths_; }
    const fs::path& root() const { return dir_.path(); }
    fs::path documents(const std::string& name) const { return paths_.documents() / name; }
    fs::path sound(const std::string& name) const { return paths_.sound() / name; }

private:
    LibraryTempDir dir_;
    Paths paths_;
};

// The track of `list` with `hash`, or null.
inline std::shared_ptr<VXAudioFileInfo>
findByHash(const std::optional<DBController::TrackList>& list, uint32_t hash) {
    if (list) {
        for (const auto& info : *list) {
            if (info->hash == hash) {
                return info;
            }
        }
    }
    return nullptr;
}

// The titles of `list` in its order ("<none>" for a track without one).
inline std::vector<std::string> titlesOf(const std::optional<DBController::TrackList>& list) {
    std::vector<std::string> titles;
    if (list) {
        for (const auto& info : *list) {
            titles.push_back(info->title.value_or("<none>"));
        }
    }
    return titles;
}

// An info for a user track that needs no file: name, tags and lengths set by hand.
inline std::shared_ptr<VXAudioFileInfo> makeInfo(const Paths& paths, const std::string& name,
                                                 const std::string& title,
                                                 const std::string& artist = "",
                                                 const std::string& album = "", double tempo = 0,
                                                 int location = 0) {
    auto info = std::make_shared<VXAudioFileInfo>();
    info->fileName = (location == 0 ? paths.documents() : paths.sound()) / name;
    info->hash = trackHashForPath(info->fileName);
    info->fileGroup = location;
    info->title = title;
    if (!artist.empty()) {
        info->artist = artist;
    }
    if (!album.empty()) {
        info->album = album;
    }
    info->setTempo(tempo);
    info->setDurationSeconds(180.0);
    info->setDurationInSamples(180 * 44100);
    info->setFileSize(1000);
    return info;
}

} // namespace vx::test
