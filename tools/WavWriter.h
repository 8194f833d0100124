#pragma once

#include <string>

#include "StereoBuffer.h"

namespace vx {

// Minimal RIFF/WAVE writer: 44100 Hz, two channels, 16-bit PCM, samples rounded to nearest and
// clamped. The generator has its own writer so it needs nothing from the platform library.
// Stateless; any thread.
class WavWriter {
public:
    // Any thread; writes `audio` to `path`. False + `error` on failure.
    static bool write(const StereoBuffer& audio, const std::string& path, std::string* error);
};

} // namespace vx
