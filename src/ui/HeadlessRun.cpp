#include "ui/HeadlessRun.h"

#include "platform/AudioFileReader.h"
#include "platform/AudioTags.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace vx::ui {

int runHeadless(const Paths& paths) {
    std::printf("Velvox Nexa: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
                "running headless.\n");
    std::vector<std::filesystem::path> tracks;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(paths.sound(), ec)) {
        // Only the tracks: analysis leaves peak files beside them.
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file() &&
            (ext == ".mp3" || ext == ".m4a" || ext == ".aac" || ext == ".wav" || ext == ".aif" ||
             ext == ".aiff" || ext == ".flac")) {
            tracks.push_back(entry.path());
        }
    }
    std::sort(tracks.begin(), tracks.end());
    std::printf("Built-in tracks in %s:\n", paths.sound().string().c_str());
    if (tracks.empty()) {
        std::printf("  (none)\n");
    }
    for (const auto& track : tracks) {
        std::string error;
        auto reader = AudioFileReader::open(track, AudioFileReader::Client::Stereo44100, &error);
        if (!reader) {
            std::printf("  %s  (unreadable: %s)\n", track.filename().string().c_str(),
                        error.c_str());
            continue;
        }
        const double seconds = static_cast<double>(reader->fileFormat().frames44100) / 44100.0;
        const auto tags = readAudioTags(track).value_or(AudioTags{});
        std::printf("  %-32s %2d:%02d  %s\n", track.filename().string().c_str(),
                    static_cast<int>(seconds) / 60, static_cast<int>(seconds) % 60,
                    tags.artist.c_str());
    }
    std::printf("The headless mix of these tracks is not available in this build yet.\n");
    return 0;
}

} // namespace vx::ui
