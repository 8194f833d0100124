#include "engine/sampleLoad.h"

#include "dsp/SamplePlayerFixed.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <cstdio>
#include <memory>

namespace vx {

std::string lastSampleKey(int index) {
    char key[32];
    std::snprintf(key, sizeof key, "LastSample%i", index + 1);
    return key;
}

bool sampleLoad(SamplePlayerFixed& player, const std::filesystem::path& path,
                UserDefaults* defaults, const std::optional<std::string>& key) {
    if (key && defaults) {
        defaults->setString(*key, path.string());
    }
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
        player.setSamples(nullptr, 0);
        player.path.clear();
        return false;
    }
    if (defaults) {
        defaults->synchronize();
    }
    player.path = path.string();

    std::string error;
    const std::unique_ptr<AudioFileReader> reader =
        AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, &error);
    const int64_t length = reader ? reader->lengthFrames() : 0;
    // Pads hold short sounds; a frame count must fit the player's 31-bit positions.
    if (!reader || length <= 0 || length >= int64_t(SamplePlayerFixed::kPastEnd)) {
        if (!reader) {
            logLine("Pad sound %s cannot be read: %s", path.string().c_str(), error.c_str());
        }
        player.setSamples(nullptr, 0);
        return false;
    }
    std::unique_ptr<float[]> frames(new (std::nothrow) float[size_t(length) * 2]);
    if (!frames) {
        logLine("Pad sound %s is too long to hold in memory", path.string().c_str());
        player.setSamples(nullptr, 0);
        return false;
    }
    const int64_t got = reader->read(frames.get(), length);
    if (got != length) {
        logLine("Pad sound %s could not be read whole: %s", path.string().c_str(),
                reader->error().c_str());
        player.setSamples(nullptr, 0);
        return false;
    }
    player.setSamples(std::move(frames), int32_t(length - 1));
    return length > 1;
}

} // namespace vx
