#pragma once

#include "support/TempDir.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Generated audio files for the audio file tests and benchmarks: signals whose values are
// known, encoded with FFmpeg's encoders (or AudioFileWriter for WAVE) into a temp folder.
namespace vx::fixture {

// A fresh folder under the system temp folder, removed with its contents on destruction.
using TempDir = vx::test::TempDir;

enum class Codec {
    Mp3Cbr,     // libmp3lame 192 kbit/s in the mp3 muxer (Xing/Info frame with LAME tag)
    Mp3Vbr,     // libmp3lame VBR quality 2
    Mp3NoInfo,  // libmp3lame 128 kbit/s, no Xing/Info frame (length must be counted)
    AacM4a,     // FFmpeg "aac", 192 kbit/s, noise substitution off (bit-exact seeks), ipod muxer
    Flac,       // 16-bit FLAC
    OggVorbis,  // libvorbis quality 3 in Ogg
    OggOpus,    // libopus 128 kbit/s in Ogg; the encoder takes 48000 Hz (or 24/16/12/8 kHz) only
    WavFloat32, // AudioFileWriter
    WavInt16,   // AudioFileWriter
};

// Encodes interleaved float frames into `path`. False with *error on failure.
bool encode(const std::filesystem::path& path, Codec codec, const std::vector<float>& interleaved,
            int sampleRate, int channels, std::string* error);

// A music-like test signal: a slow sine sweep per channel, a few steady partials and
// pseudo-random noise bursts on a beat, about -6 dBFS peak. The same for the same variant.
std::vector<float> musicSignal(int64_t frames, int sampleRate, int channels, uint32_t variant);

// A pure sine at `hz`, same on every channel, amplitude `level`.
std::vector<float> sine(int64_t frames, int sampleRate, int channels, double hz, float level);

// Writes `bytes` as the whole content of `path`.
bool writeBytes(const std::filesystem::path& path, const std::string& bytes);
// The whole content of `path` (empty when it cannot be read).
std::string readBytes(const std::filesystem::path& path);
// The names of the folder's entries, sorted.
std::vector<std::string> folderEntries(const std::filesystem::path& folder);

} // namespace vx::fixture
