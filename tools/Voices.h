#pragma once

#include <cstdint>

#include "StereoBuffer.h"

// Instrument voices of the demo tracks. Each function renders one note or hit additively into a
// buffer starting at an exact frame, so the arrangement controls timing sample-accurately (the
// kick's attack lands exactly on a beat frame). All functions are pure apart from writing the
// output buffer, so separate render jobs may call them concurrently on their own buffers.
namespace vx::voices {

// Kick drum: sine with a falling pitch sweep and a short click.
struct KickParams {
    double startHz = 160.0; // pitch at the attack
    double endHz = 50.0;    // resting pitch
    double sweep = 0.022;   // pitch-fall time constant, s
    double decay = 0.16;    // amplitude time constant, s
    double click = 0.25;    // click level relative to the body
    double drive = 1.5;     // tanh saturation amount (1 = clean)
};

enum class Wave { Saw, Pulse, Triangle, Sine, Fm, Organ };

// Generic subtractive/FM tone used for bass, chords and leads.
struct ToneParams {
    Wave wave = Wave::Saw;
    int unison = 1;              // stacked oscillators, spread in pitch and stereo
    double detuneCents = 0.0;    // total spread of the unison stack
    double stereoWidth = 0.0;    // 0 = mono, 1 = unison spread hard left/right
    double pulseWidth = 0.5;     // for Wave::Pulse
    double pwmDepth = 0.0;       // pulse-width modulation depth (0..0.4)
    double fmRatio = 1.0;        // modulator/carrier ratio for Wave::Fm
    double fmIndex = 0.0;        // modulation index at the attack
    double fmIndexSustain = 0.0; // index the attack decays towards
    double fmDecay = 0.3;        // s
    double subLevel = 0.0;       // sine one octave below
    double attack = 0.005, decay = 0.2, sustain = 0.7, release = 0.1; // s, level
    double cutoff = 20000.0;       // low-pass cutoff in Hz at rest
    double filterEnvOctaves = 0.0; // cutoff raise at the attack, octaves
    double filterDecay = 0.2;      // s
    double resonance = 0.7;        // Q
    double highPass = 0.0;         // Hz; 0 = off
    double vibratoHz = 0.0;
    double vibratoCents = 0.0;
    double vibratoDelay = 0.0; // s before vibrato fades in
    double drive = 1.0;        // tanh saturation (1 = clean)
};

// Render thread; kick with its attack at frame `start`.
void kick(StereoBuffer& out, int64_t start, const KickParams& p, float gain);
// Render thread; snare (tone + noise), `tone` in Hz.
void snare(StereoBuffer& out, int64_t start, double tone, double decay, float gain,
           uint64_t noiseKey);
// Render thread; hand clap (three noise bursts and a tail).
void clap(StereoBuffer& out, int64_t start, double brightness, float gain, uint64_t noiseKey);
// Render thread; hi-hat, `decay` in s (short = closed, long = open).
void hat(StereoBuffer& out, int64_t start, double decay, double pan, float gain, uint64_t noiseKey);
// Render thread; rim shot / woodblock click tuned to `hz`.
void rim(StereoBuffer& out, int64_t start, double hz, double pan, float gain);
// Render thread; shaker (band-passed noise with a soft attack).
void shaker(StereoBuffer& out, int64_t start, double pan, float gain, uint64_t noiseKey);
// Render thread; tuned tom / conga with a small pitch drop.
void tom(StereoBuffer& out, int64_t start, double hz, double pan, float gain);
// Render thread; crash cymbal, about two seconds.
void crash(StereoBuffer& out, int64_t start, float gain, uint64_t noiseKey);
// Render thread; noise riser over `frames`, its band rising from low to high.
void riser(StereoBuffer& out, int64_t start, int64_t frames, float gain, uint64_t noiseKey);

// Render thread; one note of `p` held for `gateFrames`, then released. `note` is a MIDI number.
void tone(StereoBuffer& out, int64_t start, int64_t gateFrames, double note, float gain, double pan,
          const ToneParams& p);

} // namespace vx::voices
