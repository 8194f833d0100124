#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Voices.h"

namespace vx {

// Everything that makes one demo track sound like itself: tempo, key, harmony, drum and bass
// patterns, instrument settings and arrangement lengths. The composer turns a style into audio;
// keeping the musical choices in plain data keeps the six tracks easy to tell apart and tune.
// Patterns are 16 characters, one per sixteenth note of a bar.
struct TrackStyle {
    std::string title;              // also the file name, with ".mp3"
    std::string key;                // e.g. "A minor", for the manifest
    double tempo = 124.0;           // beats per minute
    int64_t firstBeatFrame = 22050; // lead-in before the first kick, frames at 44100 Hz
    int rootMidi = 57;              // tonic, MIDI note
    std::vector<int> scale;         // semitones of the seven scale degrees
    std::vector<int> progression;   // scale degree (0-based) of each bar's chord, cycled
    bool sevenths = false;
    int chordCenter = 64; // chords are voiced around this MIDI note
    int bassOctave = -24; // bass offset from the chord root, semitones
    int leadCenter = 76;  // melody range centre, MIDI note
    uint64_t melodySeed = 1;

    // Drums. Hats: 'x' closed, 'o' open, 'g' ghost. Backbeat: 'c' clap, 's' snare, 'b' both.
    // Percussion: 'r' rim, 'k' shaker, 't' low tom, 'T' high tom.
    voices::KickParams kick;
    std::string hats = "..x...x...x...x.";
    std::string backbeat = "....c.......c...";
    std::string percussion = "................";
    double swing = 0.0; // delay of the off sixteenths, fraction of a sixteenth
    double snareTone = 190.0;
    double clapBrightness = 1.0;
    double rimHz = 1200.0;
    double tomHz = 120.0;

    // Bass: 'r' root, 'R' root an octave up, 'f' fifth, '-' hold, '.' rest.
    std::string bassPattern = "..r...r...r...r.";
    voices::ToneParams bass;
    float bassGain = 0.5f;

    // Chords: empty rhythm = one sustained chord per bar; otherwise 'x' starts a stab, '-' holds.
    std::string chordRhythm;
    voices::ToneParams chords;
    float chordGain = 0.25f;
    voices::ToneParams breakPad; // sustained pad that carries the break
    float breakPadGain = 0.25f;

    // Lead melody.
    voices::ToneParams lead;
    float leadGain = 0.2f;
    double leadDensity = 0.5; // 0..1, how many sixteenths start a note
    int leadMaxSteps = 4;     // longest note, sixteenths

    // Mix.
    double reverbRoom = 0.8;
    float reverbSend = 0.3f;
    float delaySend = 0.25f;
    double delayBeats = 0.75;
    double duckDepth = 0.5; // sidechain dip of the tonal parts on each kick, 0..1

    // Arrangement, in bars.
    int introBars = 16;
    int mainABars = 24;
    int breakBars = 16;
    int mainBBars = 32;
    int outroBars = 16;
};

// Any thread; the built-in demo tracks, in a fixed order.
std::vector<TrackStyle> demoTrackStyles();

} // namespace vx
