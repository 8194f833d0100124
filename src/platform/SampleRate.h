#pragma once
// The one rate of the whole system: decoded tracks, the mix, recordings, conversions, peak
// windows and every duration in frames are at 44100 frames per second.

namespace vx {

inline constexpr int kSampleRate = 44100;
// The same as a double, for time arithmetic (seconds = frames / kFrameRate).
inline constexpr double kFrameRate = kSampleRate;

} // namespace vx
