#pragma once
// sampleLoad: gives a sampler pad its sound. The file is decoded whole, as 44100 Hz interleaved
// stereo float (the platform reader resamples other rates), into a buffer the pad then owns;
// the pad's old sound is freed only once the render thread can no longer be reading it (see
// SamplePlayerFixed). The assignment is remembered under a user-defaults key when one is given,
// so that it survives restarts.
//
// Outcomes: a missing file empties the pad and its path; an unreadable or empty file keeps the
// path (the pad's label still names it) but leaves the pad silent. Either way the pad ends up
// stopped.
//
// Threads: main thread only (it decodes the whole file: pad sounds are a few seconds long).

#include <filesystem>
#include <optional>
#include <string>

namespace vx {

class SamplePlayerFixed;
class UserDefaults;

// Main thread: assigns `path` to `player`; when `key` is given, first stores the path under it
// in `defaults` (which may be null). Returns true when the pad has a sound to play.
bool sampleLoad(SamplePlayerFixed& player, const std::filesystem::path& path,
                UserDefaults* defaults, const std::optional<std::string>& key);

// The user-defaults key of pad `index` (0..5): "LastSample1" … "LastSample6".
std::string lastSampleKey(int index);

} // namespace vx
