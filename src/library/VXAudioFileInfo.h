#pragma once
// VXAudioFileInfo: what the system knows about one track (metadata, tempo, identity).
// Shared between the deck that plays the track, the browser and the analysis.

#include <string>

namespace vx {

class VXAudioFileInfo {
public:
    std::string fileName; // last path component
    std::string title;
    std::string artist;
    double tempo = 0; // beats per minute; 0 while unknown
};

} // namespace vx
