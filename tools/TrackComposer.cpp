#include "TrackComposer.h"

#include <algorithm>
#include <cmath>

#include "Dsp.h"
#include "Limiter.h"
#include "Reverb.h"
#include "Rng.h"
#include "Voices.h"

namespace vx {

namespace {

constexpr double kSr = kGenSampleRate;
constexpr int kStepsPerBar = 16;

enum class Part { Intro, MainA, Break, MainB, Outro };

struct Grid {
    double tempo;
    int64_t firstBeat;
    int64_t frame(double beat) const { return TrackComposer::beatFrame(tempo, firstBeat, beat); }
    double beatSeconds() const { return 60.0 / tempo; }
};

// The mix is built from separate buses so that each gets its own treatment: the kick stays dry
// and unducked, the tonal parts dip under each kick, chords and lead feed the reverb.
struct Buses {
    StereoBuffer &kick, &perc, &bass, &harmony, &lead;
};

// Resizes `b` to `frames` of silence, keeping its memory when it is large enough.
void clear(StereoBuffer& b, int64_t frames) {
    b.left.assign(static_cast<size_t>(frames), 0.0f);
    b.right.assign(static_cast<size_t>(frames), 0.0f);
}

struct MelodyNote {
    int step;   // sixteenth within the four-bar phrase
    int length; // sixteenths
    int degree; // absolute scale degree
};

int floorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// MIDI note of an absolute scale degree (degree 0 = the tonic at rootMidi).
int degreeNote(const TrackStyle& s, int degree) {
    int octave = floorDiv(degree, 7);
    return s.rootMidi + 12 * octave + s.scale[static_cast<size_t>(degree - 7 * octave)];
}

int chordDegree(const TrackStyle& s, int bar) {
    return s.progression[static_cast<size_t>(bar) % s.progression.size()];
}

// Chord tones of the bar, each folded into the octave around chordCenter.
std::vector<int> chordNotes(const TrackStyle& s, int degree) {
    std::vector<int> notes;
    const int count = s.sevenths ? 4 : 3;
    for (int k = 0; k < count; ++k) {
        int n = degreeNote(s, degree + 2 * k);
        while (n < s.chordCenter - 6)
            n += 12;
        while (n >= s.chordCenter + 6)
            n -= 12;
        notes.push_back(n);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

bool isChordTone(int degree, int chordRoot, bool sevenths) {
    int rel = ((degree - chordRoot) % 7 + 7) % 7;
    return rel == 0 || rel == 2 || rel == 4 || (sevenths && rel == 6);
}

// A four-bar melody phrase. The rhythm is drawn once for two bars and repeated, so the phrase
// reads as a call and a varied answer; strong sixteenths land on chord tones, the rest move
// stepwise through the scale, inside a range of about an octave around leadCenter.
std::vector<MelodyNote> melodyPhrase(const TrackStyle& s, uint64_t variant) {
    Rng rng(s.melodySeed * 0x2545f4914f6cdd1dULL + variant);
    bool onset[32] = {};
    for (int step = 0; step < 32; ++step) {
        double p = step % 4 == 0   ? 0.25 + 0.7 * s.leadDensity
                   : step % 2 == 0 ? 0.65 * s.leadDensity
                                   : 0.35 * s.leadDensity;
        onset[step] = step == 0 || rng.chance(p);
    }
    int center = 0;
    while (degreeNote(s, center) < s.leadCenter)
        ++center;
    const int low = center - 4, high = center + 5;

    std::vector<MelodyNote> notes;
    int previous = center;
    for (int step = 0; step < 64; ++step) {
        if (!onset[step % 32])
            continue;
        const int root = chordDegree(s, step / kStepsPerBar);
        int degree = previous;
        if (step % 4 == 0) {
            // Nearest chord tone, sometimes the next one up or down.
            int best = previous;
            for (int d = 0; d <= 4; ++d) {
                if (isChordTone(previous - d, root, s.sevenths)) {
                    best = previous - d;
                    break;
                }
                if (isChordTone(previous + d, root, s.sevenths)) {
                    best = previous + d;
                    break;
                }
            }
            degree = best + (rng.chance(0.3) ? (rng.chance(0.5) ? 2 : -2) : 0);
        } else {
            static constexpr int kMoves[6] = {-2, -1, -1, 1, 1, 2};
            degree = previous + kMoves[rng.below(6)];
        }
        if (degree < low)
            degree = low + (low - degree);
        if (degree > high)
            degree = high - (degree - high);
        notes.push_back({step, 1, degree});
        previous = degree;
    }
    for (size_t i = 0; i < notes.size(); ++i) {
        int next = i + 1 < notes.size() ? notes[i + 1].step : 64;
        notes[i].length = std::min(next - notes[i].step, s.leadMaxSteps);
    }
    return notes;
}

void addDrumStep(Buses& b, const TrackStyle& s, const Grid& grid, int bar, int step, bool kickOn,
                 bool hatsOn, bool backbeatOn, bool percOn, Rng& rng) {
    const double swing = step % 2 == 1 ? s.swing * 0.25 : 0.0;
    const int64_t at = grid.frame(bar * 4 + step * 0.25 + swing);
    const uint64_t noiseSeed = static_cast<uint64_t>(at) * 0x9e3779b97f4a7c15ULL ^ s.melodySeed;
    if (kickOn && step % 4 == 0)
        voices::kick(b.kick, at, s.kick, 0.95f);
    const float humanise = 0.9f + 0.2f * static_cast<float>(rng.uniform());
    if (hatsOn) {
        switch (s.hats[static_cast<size_t>(step)]) {
        case 'x':
            voices::hat(b.perc, at, 0.045, 0.25, 0.2f * humanise, noiseSeed);
            break;
        case 'o':
            voices::hat(b.perc, at, 0.2, 0.2, 0.16f * humanise, noiseSeed);
            break;
        case 'g':
            voices::hat(b.perc, at, 0.025, 0.3, 0.1f * humanise, noiseSeed);
            break;
        default:
            break;
        }
    }
    if (backbeatOn) {
        char c = s.backbeat[static_cast<size_t>(step)];
        if (c == 's' || c == 'b')
            voices::snare(b.perc, at, s.snareTone, 0.12, c == 'b' ? 0.22f : 0.32f, noiseSeed + 1);
        if (c == 'c' || c == 'b')
            voices::clap(b.perc, at, s.clapBrightness, 0.36f, noiseSeed + 2);
    }
    if (percOn) {
        switch (s.percussion[static_cast<size_t>(step)]) {
        case 'r':
            voices::rim(b.perc, at, s.rimHz, -0.35, 0.16f * humanise);
            break;
        case 'k':
            voices::shaker(b.perc, at, 0.4, 0.22f * humanise, noiseSeed + 3);
            break;
        case 't':
            voices::tom(b.perc, at, s.tomHz, -0.3, 0.28f);
            break;
        case 'T':
            voices::tom(b.perc, at, s.tomHz * 1.5, 0.3, 0.24f);
            break;
        default:
            break;
        }
    }
}

bool isOnset(char c) {
    return c != '.' && c != '-';
}

// Length in sixteenths of the note starting at `step`: itself plus the holds after it.
int heldSteps(const std::string& pattern, int step) {
    int len = 1;
    while (step + len < kStepsPerBar && pattern[static_cast<size_t>(step + len)] == '-')
        ++len;
    return len;
}

void addBassBar(Buses& b, const TrackStyle& s, const Grid& grid, int bar) {
    const int root = degreeNote(s, ((chordDegree(s, bar) % 7) + 7) % 7) + s.bassOctave;
    for (int step = 0; step < kStepsPerBar; ++step) {
        char c = s.bassPattern[static_cast<size_t>(step)];
        if (!isOnset(c))
            continue;
        int note = root + (c == 'R' ? 12 : c == 'f' ? 7 : 0);
        const double beat = bar * 4 + step * 0.25;
        const int64_t at = grid.frame(beat);
        const int len = heldSteps(s.bassPattern, step);
        const int64_t gate = grid.frame(beat + len * 0.25) - at - static_cast<int64_t>(0.012 * kSr);
        voices::tone(b.bass, at, gate, note, s.bassGain, 0.0, s.bass);
    }
}

void addChordBar(StereoBuffer& out, const TrackStyle& s, const Grid& grid, int bar,
                 const voices::ToneParams& params, const std::string& rhythm, float gain) {
    const std::vector<int> notes = chordNotes(s, chordDegree(s, bar));
    const float noteGain = gain / std::sqrt(static_cast<float>(notes.size()));
    auto play = [&](double beat, double beats) {
        const int64_t at = grid.frame(beat);
        const int64_t gate = grid.frame(beat + beats) - at - static_cast<int64_t>(0.01 * kSr);
        for (size_t k = 0; k < notes.size(); ++k) {
            double pan = notes.size() > 1 ? -0.3 + 0.6 * static_cast<double>(k) /
                                                       static_cast<double>(notes.size() - 1)
                                          : 0.0;
            voices::tone(out, at, gate, notes[k], noteGain, pan, params);
        }
    };
    if (rhythm.empty()) {
        play(bar * 4.0, 4.0);
        return;
    }
    for (int step = 0; step < kStepsPerBar; ++step)
        if (isOnset(rhythm[static_cast<size_t>(step)]))
            play(bar * 4 + step * 0.25, heldSteps(rhythm, step) * 0.25);
}

// Plays the melody over `bars` bars starting at `firstBar`, phrases in the order A A B A.
void addMelody(StereoBuffer& out, const TrackStyle& s, const Grid& grid, int firstBar, int bars,
               float gain) {
    const std::vector<MelodyNote> phraseA = melodyPhrase(s, 1);
    const std::vector<MelodyNote> phraseB = melodyPhrase(s, 2);
    for (int phraseBar = 0; phraseBar < bars; phraseBar += 4) {
        const auto& phrase = (phraseBar / 4) % 4 == 2 ? phraseB : phraseA;
        for (const MelodyNote& n : phrase) {
            if (phraseBar + n.step / kStepsPerBar >= bars)
                break;
            const double beat = (firstBar + phraseBar) * 4 + n.step * 0.25;
            const int64_t at = grid.frame(beat);
            const int64_t gate = grid.frame(beat + n.length * 0.22) - at;
            voices::tone(out, at, gate, degreeNote(s, n.degree), gain, 0.1, s.lead);
        }
    }
}

// Ping-pong echo of `in` into `wet` (same length, overwritten), damped in the feedback path.
void pingPong(const StereoBuffer& in, int64_t delay, float send, float feedback,
              StereoBuffer& wet) {
    std::fill(wet.left.begin(), wet.left.end(), 0.0f);
    std::fill(wet.right.begin(), wet.right.end(), 0.0f);
    dsp::OnePole dampL, dampR;
    dampL.set(3500.0);
    dampR.set(3500.0);
    for (int64_t i = delay; i < in.frames(); ++i) {
        const size_t k = static_cast<size_t>(i), d = static_cast<size_t>(i - delay);
        float mono = (in.left[d] + in.right[d]) * 0.5f * send;
        wet.left[k] = mono + dampL.low(wet.right[d]) * feedback;
        wet.right[k] = dampR.low(wet.left[d]) * feedback;
    }
}

double rmsOver(const StereoBuffer& b, int64_t from, int64_t to) {
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i) {
        const size_t k = static_cast<size_t>(i);
        sum += static_cast<double>(b.left[k]) * b.left[k] +
               static_cast<double>(b.right[k]) * b.right[k];
    }
    return std::sqrt(sum / (2.0 * static_cast<double>(std::max<int64_t>(1, to - from))));
}

} // namespace

TrackComposer::TrackComposer() : limiter_(static_cast<float>(dsp::dbToGain(-2.0)), 0.003, 0.08) {}

int64_t TrackComposer::beatFrame(double tempo, int64_t firstBeatFrame, double beat) {
    return firstBeatFrame + std::llround(beat * 60.0 * kGenSampleRate / tempo);
}

ComposedTrack TrackComposer::compose(const TrackStyle& s) {
    const Grid grid{s.tempo, s.firstBeatFrame};
    const int bounds[6] = {0,
                           s.introBars,
                           s.introBars + s.mainABars,
                           s.introBars + s.mainABars + s.breakBars,
                           s.introBars + s.mainABars + s.breakBars + s.mainBBars,
                           s.introBars + s.mainABars + s.breakBars + s.mainBBars + s.outroBars};
    const int totalBars = bounds[5];
    const int64_t frames = grid.frame(totalBars * 4.0) + static_cast<int64_t>(1.5 * kSr);

    for (StereoBuffer* bus : {&kick_, &perc_, &bass_, &harmony_, &lead_})
        clear(*bus, frames);
    Buses b{kick_, perc_, bass_, harmony_, lead_};

    ComposedTrack track;
    track.tempo = s.tempo;
    track.firstBeatFrame = s.firstBeatFrame;
    const char* names[5] = {"intro", "main", "break", "main", "outro"};
    for (int k = 0; k < 5; ++k)
        track.sections.push_back({names[k], bounds[k] * 4, (bounds[k + 1] - bounds[k]) * 4});

    Rng rng(s.melodySeed ^ 0x5deece66dULL);
    std::vector<int64_t> kicks;

    for (int bar = 0; bar < totalBars; ++bar) {
        const int part = static_cast<int>(std::upper_bound(bounds, bounds + 6, bar) - bounds) - 1;
        const Part p = static_cast<Part>(part);
        const int inPart = bar - bounds[part];
        const int partBars = bounds[part + 1] - bounds[part];

        bool kickOn = p != Part::Break;
        bool hatsOn = p != Part::Break && !(p == Part::Intro && inPart < 4);
        bool backbeatOn = (p == Part::MainA || p == Part::MainB) ||
                          (p == Part::Intro && inPart >= partBars / 2) ||
                          (p == Part::Outro && inPart < partBars / 2);
        bool percOn = backbeatOn;
        bool bassOn = backbeatOn;
        for (int step = 0; step < kStepsPerBar; ++step)
            addDrumStep(b, s, grid, bar, step, kickOn, hatsOn, backbeatOn, percOn, rng);
        if (kickOn)
            for (int beat = 0; beat < 4; ++beat)
                kicks.push_back(grid.frame(bar * 4 + beat));
        if (bassOn)
            addBassBar(b, s, grid, bar);

        if (p == Part::MainA || p == Part::MainB)
            addChordBar(b.harmony, s, grid, bar, s.chords, s.chordRhythm, s.chordGain);
        if (p == Part::Break) {
            addChordBar(b.harmony, s, grid, bar, s.breakPad, "", s.breakPadGain);
            // Build-up: a snare roll and a noise riser over the last four bars.
            if (partBars >= 8 && inPart >= partBars - 4) {
                const int steps = inPart >= partBars - 2 ? 16 : 8;
                for (int k = 0; k < steps; ++k) {
                    const double beat = bar * 4 + k * (4.0 / steps);
                    const double rise = (inPart - (partBars - 4) + k / double(steps)) / 4.0;
                    voices::snare(b.perc, grid.frame(beat), s.snareTone * 1.2, 0.08,
                                  static_cast<float>(0.06 + 0.22 * rise),
                                  static_cast<uint64_t>(bar * 64 + k) ^ s.melodySeed);
                }
                if (inPart == partBars - 4) {
                    const int64_t at = grid.frame(bar * 4);
                    voices::riser(b.perc, at, grid.frame(bar * 4 + 16) - at, 0.35f,
                                  s.melodySeed + 77);
                }
            }
        }
        if (inPart == 0 && (p == Part::MainA || p == Part::MainB || p == Part::Outro))
            voices::crash(b.perc, grid.frame(bar * 4), 0.22f,
                          s.melodySeed + static_cast<uint64_t>(bar));
    }
    // Melody: second part of the first main, second half of the break, all of the second main.
    addMelody(b.lead, s, grid, bounds[1] + 8, s.mainABars - 8, s.leadGain);
    addMelody(b.lead, s, grid, bounds[2] + s.breakBars / 2, s.breakBars / 2, s.leadGain * 0.9f);
    addMelody(b.lead, s, grid, bounds[3], s.mainBBars, s.leadGain);

    // Sidechain: the tonal buses dip under every kick and recover within the beat. The dip's
    // shape is computed once and stamped at every kick.
    duck_.assign(static_cast<size_t>(frames), 1.0f);
    std::vector<float> dip(static_cast<size_t>(grid.beatSeconds() * 0.9 * kSr));
    const double recover = 0.2 * grid.beatSeconds();
    for (size_t i = 0; i < dip.size(); ++i) {
        const double t = static_cast<double>(i) / kSr;
        const double env = t < 0.004 ? t / 0.004 : std::exp(-(t - 0.004) / recover);
        dip[i] = static_cast<float>(1.0 - s.duckDepth * env);
    }
    for (int64_t k : kicks)
        for (size_t i = 0; i < dip.size() && k + static_cast<int64_t>(i) < frames; ++i) {
            float& d = duck_[static_cast<size_t>(k) + i];
            d = std::min(d, dip[i]);
        }
    const std::vector<float>& duck = duck_;

    // Fold the buses together while reusing their memory (each is ~75 MB): bass joins the
    // kick bus, the bass bus then holds the lead's echo, and after that the reverb send.
    StereoBuffer& mix = b.kick;
    StereoBuffer& scratch = b.bass;
    // The bass ducks deeper than the other tonal parts: the kick owns the low end on the beat.
    const float bassDepthScale = static_cast<float>(0.85 / s.duckDepth);
    for (int64_t i = 0; i < frames; ++i) {
        const size_t k = static_cast<size_t>(i);
        const float bassDuck = std::max(0.0f, 1.0f - (1.0f - duck[k]) * bassDepthScale);
        mix.left[k] += bassDuck * b.bass.left[k];
        mix.right[k] += bassDuck * b.bass.right[k];
    }
    pingPong(b.lead, grid.frame(s.delayBeats) - grid.frame(0), s.delaySend, 0.38f, scratch);
    for (int64_t i = 0; i < frames; ++i) {
        const size_t k = static_cast<size_t>(i);
        b.lead.left[k] = duck[k] * (b.lead.left[k] + scratch.left[k]);
        b.lead.right[k] = duck[k] * (b.lead.right[k] + scratch.right[k]);
        b.harmony.left[k] *= duck[k];
        b.harmony.right[k] *= duck[k];
        scratch.left[k] =
            b.perc.left[k] * 0.12f + (b.harmony.left[k] + b.lead.left[k]) * s.reverbSend;
        scratch.right[k] =
            b.perc.right[k] * 0.12f + (b.harmony.right[k] + b.lead.right[k]) * s.reverbSend;
    }
    Reverb(s.reverbRoom, 0.5).process(scratch);

    // Sum, and fade the second half of the outro to silence.
    const int64_t fadeStart = grid.frame((bounds[4] + s.outroBars / 2) * 4.0);
    const int64_t fadeEnd = frames;
    for (int64_t i = 0; i < frames; ++i) {
        const size_t k = static_cast<size_t>(i);
        float l =
            mix.left[k] + b.perc.left[k] + scratch.left[k] + b.harmony.left[k] + b.lead.left[k];
        float r = mix.right[k] + b.perc.right[k] + scratch.right[k] + b.harmony.right[k] +
                  b.lead.right[k];
        float fade = 1.0f;
        if (i > fadeStart)
            fade = static_cast<float>(static_cast<double>(fadeEnd - i) /
                                      static_cast<double>(fadeEnd - fadeStart));
        mix.left[k] = l * fade * fade;
        mix.right[k] = r * fade * fade;
    }

    // Loudness: bring the main sections to about -13 dBFS RMS, then limit peaks to -2 dBFS so
    // the encoded file stays under -1 dBFS after MP3 overshoot.
    const double mainRms = rmsOver(mix, grid.frame(bounds[1] * 4.0), grid.frame(bounds[2] * 4.0));
    const float gain = mainRms > 0.0 ? static_cast<float>(dsp::dbToGain(-13.0) / mainRms) : 1.0f;
    for (int64_t i = 0; i < frames; ++i) {
        mix.left[static_cast<size_t>(i)] *= gain;
        mix.right[static_cast<size_t>(i)] *= gain;
    }
    limiter_.process(mix);
    return track;
}

} // namespace vx
