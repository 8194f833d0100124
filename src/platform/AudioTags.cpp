#include "platform/AudioTags.h"

#include <taglib/fileref.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>

namespace vx {
namespace {

// A tempo written as text: "128", " 126.5", "126,5"; anything else (or nothing) is 0.
double parseTempo(std::string text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return 0;
    }
    text.erase(0, begin);
    if (const size_t comma = text.find(','); comma != std::string::npos) {
        text[comma] = '.';
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (ec != std::errc() || !std::isfinite(value) || value <= 0) {
        return 0;
    }
    return value;
}

std::string utf8(const TagLib::String& s) {
    return s.to8Bit(true);
}

} // namespace

std::optional<AudioTags> readAudioTags(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return std::nullopt;
    }
    TagLib::FileRef ref(path.c_str(), true, TagLib::AudioProperties::Average);
    // TagLib opens some files by their extension alone; audio has a sample rate.
    if (ref.isNull() || !ref.file()->isValid() || !ref.audioProperties() ||
        ref.audioProperties()->sampleRate() <= 0) {
        return std::nullopt;
    }
    AudioTags tags;
    if (const TagLib::Tag* tag = ref.tag()) {
        tags.artist = utf8(tag->artist());
        tags.title = utf8(tag->title());
        tags.album = utf8(tag->album());
        tags.comments = utf8(tag->comment());
    }
    const TagLib::PropertyMap properties = ref.file()->properties();
    const auto first = [&](std::initializer_list<const char*> keys) -> std::string {
        for (const char* key : keys) {
            const auto found = properties.find(key);
            if (found != properties.end() && !found->second.isEmpty()) {
                return utf8(found->second.front());
            }
        }
        return {};
    };
    tags.encoder = first({"ENCODING", "ENCODER", "ENCODEDBY"});
    tags.copyright = first({"COPYRIGHT"});

    // The tempo frames by name first, then whatever the format calls its BPM property.
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file()); mpeg && mpeg->hasID3v2Tag()) {
        const TagLib::ID3v2::FrameList& frames = mpeg->ID3v2Tag()->frameList("TBPM");
        if (!frames.isEmpty()) {
            tags.tempo = parseTempo(utf8(frames.front()->toString()));
        }
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file());
               mp4 && mp4->tag() && mp4->tag()->contains("tmpo")) {
        tags.tempo = std::max(mp4->tag()->item("tmpo").toInt(), 0);
    }
    if (tags.tempo <= 0) {
        tags.tempo = parseTempo(first({"BPM"}));
    }
    tags.durationSeconds = ref.audioProperties()->lengthInMilliseconds() / 1000.0;
    return tags;
}

} // namespace vx
