#pragma once

#include "StereoBuffer.h"

namespace vx {

// Synthesises the one-shot pad sounds (fx_1..fx_6: air horn, siren, clap, laser, tape rewind,
// bass drop) and the two interface cues (done chime, record beep). Each is at most three
// seconds, stereo at 44100 Hz, peak-normalised. Pure functions: any thread may call them.
class PadSounds {
public:
    // Any thread; stacked sawtooth air horn: two short blasts and a long one (2.0 s).
    static StereoBuffer horn();
    // Any thread; dub siren with a rising sawtooth sweep (2.6 s).
    static StereoBuffer siren();
    // Any thread; layered hand clap with a room tail (0.9 s).
    static StereoBuffer clap();
    // Any thread; falling FM "pew" with echoes (1.3 s).
    static StereoBuffer laser();
    // Any thread; music played backwards at a rising speed, like a tape rewind (1.6 s).
    static StereoBuffer rewind();
    // Any thread; bass drop: impact, falling sub sweep and a downlifter (2.8 s).
    static StereoBuffer drop();
    // Any thread; two-note chime for "done" (0.8 s).
    static StereoBuffer doneChime();
    // Any thread; two short beeps for "recording" (0.4 s).
    static StereoBuffer recBeep();
};

} // namespace vx
