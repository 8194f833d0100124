#pragma once

#include <string>

namespace vx {

// Writes the demo tracks' ID3v2.4 tags (title, artist, album) with TagLib. Deliberately writes no
// tempo frame: the application has to find the tempo from the audio. TagLib's output depends
// only on the tag contents, so re-running the generator gives identical files. Stateless; one
// file per call, any thread (TagLib objects never leave the call).
class TagWriter {
public:
    // Any thread; tags the MP3 at `path`, replacing any tags it has. False + `error` on failure.
    static bool write(const std::string& path, const std::string& title, const std::string& artist,
                      const std::string& album, std::string* error);
};

} // namespace vx
