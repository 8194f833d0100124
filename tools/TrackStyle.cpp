#include "TrackStyle.h"

namespace vx {

namespace {

const std::vector<int> kMinor = {0, 2, 3, 5, 7, 8, 10};
const std::vector<int> kMajor = {0, 2, 4, 5, 7, 9, 11};
const std::vector<int> kDorian = {0, 2, 3, 5, 7, 9, 10};

using voices::ToneParams;
using voices::Wave;

// Warm detuned-saw pad with a slow attack, used in the breaks.
ToneParams warmPad(double cutoff) {
    ToneParams p;
    p.wave = Wave::Saw;
    p.unison = 3;
    p.detuneCents = 18.0;
    p.stereoWidth = 0.8;
    p.attack = 0.6;
    p.decay = 1.0;
    p.sustain = 0.9;
    p.release = 0.45;
    p.cutoff = cutoff;
    p.resonance = 0.8;
    p.highPass = 180.0;
    return p;
}

TrackStyle nightDrive() {
    TrackStyle s;
    s.title = "Night Drive";
    s.key = "A minor";
    s.tempo = 124.0;
    s.firstBeatFrame = 18522;
    s.rootMidi = 57; // A minor: Am F C G
    s.scale = kMinor;
    s.progression = {0, 5, 2, 6};
    s.chordCenter = 64;
    s.bassOctave = -24;
    s.leadCenter = 76;
    s.melodySeed = 0x4e69676874ULL;
    s.kick = {180.0, 52.0, 0.022, 0.16, 0.3, 1.6};
    s.hats = "g.x.g.x.g.x.g.x.";
    s.backbeat = "....s.......s...";
    s.percussion = "..............t.";
    s.snareTone = 180.0;
    s.tomHz = 110.0;
    s.bassPattern = "r.r.r.r.R.r.r.r.";
    s.bass.wave = Wave::Saw;
    s.bass.cutoff = 380.0;
    s.bass.filterEnvOctaves = 2.0;
    s.bass.filterDecay = 0.09;
    s.bass.resonance = 1.2;
    s.bass.subLevel = 0.4;
    s.bass.attack = 0.003;
    s.bass.decay = 0.2;
    s.bass.sustain = 0.6;
    s.bass.release = 0.04;
    s.bassGain = 0.21f;
    s.chords = warmPad(1900.0);
    s.chords.attack = 0.25;
    s.chordGain = 0.2f;
    s.breakPad = warmPad(2600.0);
    s.lead.wave = Wave::Pulse;
    s.lead.pulseWidth = 0.35;
    s.lead.pwmDepth = 0.15;
    s.lead.cutoff = 3200.0;
    s.lead.filterEnvOctaves = 1.0;
    s.lead.filterDecay = 0.15;
    s.lead.attack = 0.01;
    s.lead.decay = 0.3;
    s.lead.sustain = 0.6;
    s.lead.release = 0.12;
    s.lead.vibratoHz = 5.5;
    s.lead.vibratoCents = 18.0;
    s.lead.vibratoDelay = 0.2;
    s.leadGain = 0.15f;
    s.leadDensity = 0.45;
    s.leadMaxSteps = 4;
    s.reverbRoom = 0.85;
    s.delaySend = 0.3f;
    s.delayBeats = 0.75;
    return s;
}

TrackStyle neonHarbor() {
    TrackStyle s;
    s.title = "Neon Harbor";
    s.key = "F minor";
    s.tempo = 128.0;
    s.firstBeatFrame = 13371;
    s.rootMidi = 53; // F minor: Fm Bbm Db C
    s.scale = kMinor;
    s.progression = {0, 3, 5, 4};
    s.chordCenter = 63;
    s.bassOctave = -24;
    s.leadCenter = 79;
    s.melodySeed = 0x4e656f6eULL;
    s.kick = {160.0, 50.0, 0.02, 0.15, 0.2, 1.4};
    s.hats = "x.o.x.o.x.o.x.o.";
    s.backbeat = "....c.......c...";
    s.percussion = "...r......r..r..";
    s.clapBrightness = 1.1;
    s.rimHz = 1500.0;
    s.bassPattern = "..r...r...r..fr.";
    s.bass.wave = Wave::Fm;
    s.bass.fmRatio = 1.0;
    s.bass.fmIndex = 2.5;
    s.bass.fmIndexSustain = 0.6;
    s.bass.fmDecay = 0.08;
    s.bass.cutoff = 1200.0;
    s.bass.attack = 0.002;
    s.bass.decay = 0.15;
    s.bass.sustain = 0.7;
    s.bass.release = 0.05;
    s.bass.drive = 1.4;
    s.bassGain = 0.22f;
    s.chordRhythm = "..x-..x-..x-.x-.";
    s.chords.wave = Wave::Fm; // electric-piano stabs
    s.chords.fmRatio = 1.0;
    s.chords.fmIndex = 2.2;
    s.chords.fmIndexSustain = 0.4;
    s.chords.fmDecay = 0.12;
    s.chords.attack = 0.002;
    s.chords.decay = 0.35;
    s.chords.sustain = 0.3;
    s.chords.release = 0.15;
    s.chords.highPass = 150.0;
    s.chordGain = 0.22f;
    s.breakPad = warmPad(1500.0);
    s.breakPad.wave = Wave::Pulse;
    s.lead.wave = Wave::Saw; // pluck
    s.lead.cutoff = 900.0;
    s.lead.filterEnvOctaves = 3.0;
    s.lead.filterDecay = 0.07;
    s.lead.resonance = 1.5;
    s.lead.attack = 0.002;
    s.lead.decay = 0.18;
    s.lead.sustain = 0.0;
    s.lead.release = 0.1;
    s.leadGain = 0.2f;
    s.leadDensity = 0.6;
    s.leadMaxSteps = 2;
    s.reverbRoom = 0.7;
    s.delaySend = 0.35f;
    s.delayBeats = 0.5;
    s.duckDepth = 0.6;
    s.mainABars = 32;
    return s;
}

TrackStyle glassGarden() {
    TrackStyle s;
    s.title = "Glass Garden";
    s.key = "D major";
    s.tempo = 118.0;
    s.firstBeatFrame = 22491;
    s.rootMidi = 50; // D major: Dmaj7 Bm7 Em7 A7
    s.scale = kMajor;
    s.progression = {0, 5, 1, 4};
    s.sevenths = true;
    s.chordCenter = 62;
    s.bassOctave = -12;
    s.leadCenter = 81;
    s.melodySeed = 0x476c617373ULL;
    s.kick = {140.0, 48.0, 0.025, 0.18, 0.15, 1.2};
    s.hats = "..x...x...x...x.";
    s.backbeat = "....c.......c...";
    s.percussion = "k.k.k.kTk.k.ktk.";
    s.swing = 0.3;
    s.clapBrightness = 0.8;
    s.tomHz = 160.0;
    s.bassPattern = "r-----r.f---R.r.";
    s.bass.wave = Wave::Sine;
    s.bass.attack = 0.004;
    s.bass.decay = 0.4;
    s.bass.sustain = 0.8;
    s.bass.release = 0.06;
    s.bass.drive = 1.8;
    s.bass.cutoff = 900.0;
    s.bassGain = 0.21f;
    s.chordRhythm = "x-----x-....x---";
    s.chords.wave = Wave::Fm; // soft electric piano with tremolo-like width
    s.chords.fmRatio = 1.0;
    s.chords.fmIndex = 1.4;
    s.chords.fmIndexSustain = 0.2;
    s.chords.fmDecay = 0.4;
    s.chords.unison = 2;
    s.chords.detuneCents = 6.0;
    s.chords.stereoWidth = 0.6;
    s.chords.attack = 0.004;
    s.chords.decay = 0.8;
    s.chords.sustain = 0.4;
    s.chords.release = 0.3;
    s.chords.highPass = 140.0;
    s.chordGain = 0.25f;
    s.breakPad = warmPad(1200.0);
    s.breakPad.wave = Wave::Triangle;
    s.breakPadGain = 0.35f;
    s.lead.wave = Wave::Fm; // bell
    s.lead.fmRatio = 3.5;
    s.lead.fmIndex = 3.0;
    s.lead.fmIndexSustain = 0.3;
    s.lead.fmDecay = 0.25;
    s.lead.attack = 0.002;
    s.lead.decay = 0.6;
    s.lead.sustain = 0.2;
    s.lead.release = 0.4;
    s.leadGain = 0.14f;
    s.leadDensity = 0.3;
    s.leadMaxSteps = 6;
    s.reverbRoom = 0.9;
    s.reverbSend = 0.45f;
    s.delaySend = 0.3f;
    s.delayBeats = 0.75;
    s.duckDepth = 0.35;
    s.breakBars = 8;
    return s;
}

TrackStyle solarRun() {
    TrackStyle s;
    s.title = "Solar Run";
    s.key = "E minor";
    s.tempo = 132.0;
    s.firstBeatFrame = 15567;
    s.rootMidi = 52; // E minor: Em C D Bm
    s.scale = kMinor;
    s.progression = {0, 5, 6, 4};
    s.chordCenter = 66;
    s.bassOctave = -24;
    s.leadCenter = 83;
    s.melodySeed = 0x536f6c6172ULL;
    s.kick = {200.0, 54.0, 0.018, 0.13, 0.35, 2.0};
    s.hats = "xxoxxxoxxxoxxxox";
    s.backbeat = "....c.......c...";
    s.percussion = "................";
    s.clapBrightness = 1.3;
    s.bassPattern = ".rrr.rrr.rrr.rrr";
    s.bass.wave = Wave::Saw;
    s.bass.cutoff = 300.0;
    s.bass.filterEnvOctaves = 2.5;
    s.bass.filterDecay = 0.05;
    s.bass.attack = 0.002;
    s.bass.decay = 0.08;
    s.bass.sustain = 0.5;
    s.bass.release = 0.02;
    s.bass.subLevel = 0.4;
    s.bassGain = 0.20f;
    s.chords = warmPad(2400.0); // supersaw
    s.chords.unison = 7;
    s.chords.detuneCents = 32.0;
    s.chords.stereoWidth = 1.0;
    s.chords.attack = 0.05;
    s.chordGain = 0.18f;
    s.breakPad = warmPad(3000.0);
    s.breakPad.unison = 7;
    s.breakPad.detuneCents = 36.0;
    s.breakPad.stereoWidth = 1.0;
    s.breakPadGain = 0.2f;
    s.lead.wave = Wave::Saw;
    s.lead.unison = 3;
    s.lead.detuneCents = 14.0;
    s.lead.stereoWidth = 0.5;
    s.lead.cutoff = 2500.0;
    s.lead.filterEnvOctaves = 1.5;
    s.lead.filterDecay = 0.1;
    s.lead.attack = 0.003;
    s.lead.decay = 0.15;
    s.lead.sustain = 0.5;
    s.lead.release = 0.06;
    s.leadGain = 0.14f;
    s.leadDensity = 0.75;
    s.leadMaxSteps = 2;
    s.reverbRoom = 0.9;
    s.reverbSend = 0.35f;
    s.delaySend = 0.25f;
    s.delayBeats = 0.75;
    s.duckDepth = 0.65;
    return s;
}

TrackStyle copperLines() {
    TrackStyle s;
    s.title = "Copper Lines";
    s.key = "G dorian";
    s.tempo = 122.0;
    s.firstBeatFrame = 11172;
    s.rootMidi = 55; // G dorian: Gm7 Gm7 C7 C7
    s.scale = kDorian;
    s.progression = {0, 0, 3, 3};
    s.sevenths = true;
    s.chordCenter = 62;
    s.bassOctave = -24;
    s.leadCenter = 74;
    s.melodySeed = 0x436f70706572ULL;
    s.kick = {210.0, 56.0, 0.016, 0.12, 0.4, 2.2};
    s.hats = "g.x.g.xgg.x.g.xo";
    s.backbeat = "....b.......b...";
    s.percussion = "..r..r....t..r..";
    s.swing = 0.18;
    s.snareTone = 220.0;
    s.rimHz = 900.0;
    s.tomHz = 140.0;
    s.bassPattern = "r..r..R.f.r..r..";
    s.bass.wave = Wave::Pulse;
    s.bass.pulseWidth = 0.3;
    s.bass.cutoff = 500.0;
    s.bass.filterEnvOctaves = 2.2;
    s.bass.filterDecay = 0.06;
    s.bass.resonance = 2.0;
    s.bass.attack = 0.002;
    s.bass.decay = 0.12;
    s.bass.sustain = 0.4;
    s.bass.release = 0.03;
    s.bass.subLevel = 0.5;
    s.bassGain = 0.21f;
    s.chordRhythm = "...x..x....x..x.";
    s.chords.wave = Wave::Organ;
    s.chords.attack = 0.003;
    s.chords.decay = 0.1;
    s.chords.sustain = 0.5;
    s.chords.release = 0.05;
    s.chords.highPass = 200.0;
    s.chords.cutoff = 3500.0;
    s.chordGain = 0.16f;
    s.breakPad = warmPad(1700.0);
    s.breakPad.wave = Wave::Organ;
    s.breakPadGain = 0.22f;
    s.lead.wave = Wave::Pulse;
    s.lead.pulseWidth = 0.25;
    s.lead.cutoff = 2200.0;
    s.lead.filterEnvOctaves = 1.2;
    s.lead.filterDecay = 0.08;
    s.lead.attack = 0.004;
    s.lead.decay = 0.12;
    s.lead.sustain = 0.45;
    s.lead.release = 0.05;
    s.leadGain = 0.15f;
    s.leadDensity = 0.4;
    s.leadMaxSteps = 3;
    s.reverbRoom = 0.6;
    s.reverbSend = 0.2f;
    s.delaySend = 0.2f;
    s.delayBeats = 0.5;
    s.duckDepth = 0.4;
    s.mainABars = 32;
    s.breakBars = 8;
    return s;
}

TrackStyle velvetSkyline() {
    TrackStyle s;
    s.title = "Velvet Skyline";
    s.key = "E-flat major";
    s.tempo = 126.0;
    s.firstBeatFrame = 20286;
    s.rootMidi = 51; // E-flat major: Eb Cm Ab Bb
    s.scale = kMajor;
    s.progression = {0, 5, 3, 4};
    s.chordCenter = 65;
    s.bassOctave = -24;
    s.leadCenter = 79;
    s.melodySeed = 0x56656c766574ULL;
    s.kick = {170.0, 50.0, 0.022, 0.15, 0.25, 1.5};
    s.hats = "x.o.x.o.x.o.x.ox";
    s.backbeat = "....b.......b...";
    s.percussion = "..k...k...k...kT";
    s.clapBrightness = 1.2;
    s.tomHz = 180.0;
    s.bassPattern = "r.R.r.R.r.R.r.R.";
    s.bass.wave = Wave::Saw;
    s.bass.cutoff = 700.0;
    s.bass.filterEnvOctaves = 1.5;
    s.bass.filterDecay = 0.08;
    s.bass.attack = 0.002;
    s.bass.decay = 0.1;
    s.bass.sustain = 0.5;
    s.bass.release = 0.04;
    s.bass.subLevel = 0.3;
    s.bassGain = 0.20f;
    s.chords = warmPad(2200.0); // strings
    s.chords.unison = 4;
    s.chords.detuneCents = 12.0;
    s.chords.attack = 0.12;
    s.chords.vibratoHz = 4.8;
    s.chords.vibratoCents = 8.0;
    s.chordGain = 0.18f;
    s.breakPad = s.chords;
    s.breakPad.attack = 0.8;
    s.breakPadGain = 0.24f;
    s.lead.wave = Wave::Triangle;
    s.lead.attack = 0.01;
    s.lead.decay = 0.3;
    s.lead.sustain = 0.8;
    s.lead.release = 0.15;
    s.lead.vibratoHz = 6.0;
    s.lead.vibratoCents = 25.0;
    s.lead.vibratoDelay = 0.15;
    s.lead.cutoff = 5000.0;
    s.leadGain = 0.2f;
    s.leadDensity = 0.35;
    s.leadMaxSteps = 6;
    s.reverbRoom = 0.8;
    s.reverbSend = 0.35f;
    s.delaySend = 0.25f;
    s.delayBeats = 0.75;
    return s;
}

} // namespace

std::vector<TrackStyle> demoTrackStyles() {
    return {nightDrive(), neonHarbor(), glassGarden(), solarRun(), copperLines(), velvetSkyline()};
}

} // namespace vx
