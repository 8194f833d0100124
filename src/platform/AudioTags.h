#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vx {

// The metadata of an audio file as the library and the track info use it. Strings are UTF-8
// and empty when the file has no such tag.
struct AudioTags {
    std::string artist;
    std::string title;
    std::string album;
    std::string comments;
    std::string encoder; // the encoding application (ID3 TSSE, MP4 ©too, Vorbis ENCODER)
    std::string copyright;
    double tempo = 0; // BPM from an ID3 TBPM frame, an MP4 "tmpo" atom or a BPM tag; 0 = none
    double durationSeconds = 0; // the duration the file's headers announce (an estimate), seconds
};

// Any non-render thread: reads the tags of an audio file with TagLib; nullopt when TagLib
// cannot read the file as audio (missing, not audio, unknown type).
std::optional<AudioTags> readAudioTags(const std::filesystem::path& path);

} // namespace vx
