#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Limiter.h"
#include "StereoBuffer.h"
#include "TrackStyle.h"

namespace vx {

// One part of a track's arrangement, in beats from the first beat.
struct TrackSection {
    std::string name; // "intro", "main", "break", "outro"
    int startBeat = 0;
    int beats = 0;
};

// Timing facts of a composed track; the audio itself stays in the composer.
struct ComposedTrack {
    std::vector<TrackSection> sections;
    double tempo = 0.0;
    int64_t firstBeatFrame = 0;
};

// Turns a TrackStyle into a finished stereo mix at 44100 Hz. Every note is placed on the beat
// grid frame(beat) = round(firstBeatFrame + beat * 60 * 44100 / tempo), so the kick of beat n
// starts exactly at that frame and nothing sounds before beat 0. The arrangement is intro
// (drums, then bass), main, break (no kick or bass), main again and outro (fading drums).
// A composer owns its mixing buses (about 400 MB for a three-minute track) and reuses them from
// track to track, because touching fresh memory costs more than the synthesis of some voices.
// Use one composer per thread; different composers run in parallel.
class TrackComposer {
public:
    TrackComposer();

    // Any thread; frame (44100 Hz) of `beat` for a tempo (BPM) and first-beat frame.
    static int64_t beatFrame(double tempo, int64_t firstBeatFrame, double beat);

    // Owning thread; renders and masters the whole track; the result is in audio().
    ComposedTrack compose(const TrackStyle& style);

    // Owning thread; the last composed track, valid until the next compose().
    const StereoBuffer& audio() const { return kick_; }

private:
    StereoBuffer kick_, perc_, bass_, harmony_, lead_;
    std::vector<float> duck_;
    Limiter limiter_;
};

} // namespace vx
