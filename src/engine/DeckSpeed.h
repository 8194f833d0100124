#pragma once
// Speed, pitch and the tempo feed of one deck.
//
// A deck reads its track at `speed` source frames per output frame; without key lock that
// changes tempo and pitch together, with key lock the stretcher shifts the pitch back by
// 1/speed. Speed changes are ramps stepped per output frame by the render thread; these
// functions start them. Main thread, except where a line says otherwise.

namespace vx {

struct audioStream;

// Main thread (render thread for the scratch idle glide): glide to speed `s` over `steps`
// frames (0 = on the next frame). Ignored for s = 0 on a playing deck that is alone on air.
void setSpeed(audioStream& deck, double s, int steps);
// Main thread: speed = s at once, pitch corrected, ramp ended, effects retuned.
void setSpeedNow(audioStream& deck, double s);
// Main thread: above 0.75 in magnitude, the stretcher's pitch becomes |1 / speed|; slower
// speeds keep the last correction.
void correctStretcherPitch(audioStream& deck, double speed);
// Main thread: the beat-synced effects get the tempo the listener hears: track BPM × the
// speed the deck is at or ramping to.
void retuneTempoSyncedEffects(audioStream& deck);

} // namespace vx
