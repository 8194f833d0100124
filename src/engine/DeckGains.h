#pragma once
// The deck's gain setters, called by the mixing screen. Each follows the ramped-setter rule: a
// stopped deck takes the value at once; a playing one ramps over 25 frames. Main thread.

namespace vx {

struct audioStream;

// Frames of every gain ramp.
inline constexpr int kGainRampFrames = 25;

// Main thread: the crossfader gain (the caller has applied the fader curve), 0…1.
void deckSetFaderGain(audioStream& deck, float gain);
// Main thread: the track gain applied after the EQ (1.0 = unity).
void deckSetVolume(audioStream& deck, float gain);
// Main thread: the channel fader's gain, applied after the LP/HP filter (1.0 = unity).
void deckSetTrimGain(audioStream& deck, float gain);

} // namespace vx
