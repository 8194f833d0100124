#pragma once

#include <string>

#include "StereoBuffer.h"

namespace vx {

// Writes a stereo buffer as a 44.1 kHz, 192 kbit/s CBR MP3 through libavformat's mp3 muxer and
// the libmp3lame encoder. Both run in bit-exact mode so the same audio always gives the same
// bytes (no library version strings), and the muxer's Xing/LAME header records the encoder
// delay and padding so decoders return exactly the frames that went in. The muxer writes no
// ID3 tag: TagWriter adds it afterwards. Stateless; safe to call from several threads at once.
class Mp3Encoder {
public:
    // Any thread; writes `audio` (44100 Hz) to `path`. Returns false and fills `error` on failure.
    static bool write(const StereoBuffer& audio, const std::string& path, std::string* error);
};

} // namespace vx
