#pragma once
// Drum patterns rendered from step grids: a bar of 16 sixteenth steps per voice ("x" full hit,
// "o" soft hit, "." rest), looped at a tempo from a first-beat frame, mono at 44100 Hz. Used
// by the tempo tests and by the tempo evaluation's generator (bench/tempo-eval).

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

struct DrumPattern {
    double bpm = 120.0;
    // Where beat 1 of the first bar falls, in frames.
    int64_t firstFrame = 0;
    // Share of a sixteenth step by which the off-beat eighths (steps 2, 6, 10, 14) come late
    // (the odd sixteenths half as much): 0 straight, 2/3 for a triplet swing.
    double swing = 0.0;
    // One bar (16 steps, or 32 for two bars) per voice.
    std::string kick{}, snare{}, hat{}, openHat{}, clap{}, perc{}, skank{}, bass{};
    // Extra steps per bar for a cross-rhythm voice (a woodblock): n evenly spaced hits per bar.
    int crossHitsPerBar = 0;
    double level = 1.0;
};

namespace drum {

// A small deterministic noise source.
struct Noise {
    uint32_t state = 0x12345678u;
    float next() {
        state = state * 1664525u + 1013904223u;
        return float(int32_t(state)) / 2147483648.0f;
    }
};

inline void addKick(std::vector<float>& out, int64_t at, float gain) {
    double phase = 0.0;
    for (int i = 0; i < 13000 && at + i < int64_t(out.size()); ++i) {
        const double t = i / 44100.0;
        const double freq = 50.0 + 90.0 * std::exp(-t / 0.03);
        phase += 2.0 * M_PI * freq / 44100.0;
        out[size_t(at + i)] += gain * 0.9f * float(std::exp(-t / 0.12) * std::sin(phase));
    }
}

inline void addNoiseHit(std::vector<float>& out, int64_t at, float gain, double decay,
                        int highPassOrder, double toneHz, double toneGain, Noise& noise) {
    const int length = int(decay * 44100.0 * 6.0);
    float prev1 = 0.0f;
    float prev2 = 0.0f;
    for (int i = 0; i < length && at + i < int64_t(out.size()); ++i) {
        const double t = i / 44100.0;
        float n = noise.next();
        float hp = n;
        if (highPassOrder >= 1) {
            hp = n - prev1;
        }
        if (highPassOrder >= 2) {
            hp = n - 2.0f * prev1 + prev2;
        }
        prev2 = prev1;
        prev1 = n;
        const double env = std::exp(-t / decay);
        const double tone = toneGain * std::sin(2.0 * M_PI * toneHz * t) * std::exp(-t / 0.06);
        out[size_t(at + i)] += gain * float(env * (0.5 * hp) + tone);
    }
}

inline void addTone(std::vector<float>& out, int64_t at, float gain, double hz, double decay,
                    int partials) {
    const int length = int(decay * 44100.0 * 5.0);
    for (int i = 0; i < length && at + i < int64_t(out.size()); ++i) {
        const double t = i / 44100.0;
        double s = 0.0;
        for (int p = 1; p <= partials; ++p) {
            s += std::sin(2.0 * M_PI * hz * p * t) / p;
        }
        const double attack = std::min(1.0, t / 0.002);
        out[size_t(at + i)] += gain * float(attack * std::exp(-t / decay) * s);
    }
}

} // namespace drum

// Renders `frames` frames of the pattern, mono at 44100 Hz.
inline std::vector<float> renderPattern(const DrumPattern& p, int64_t frames) {
    std::vector<float> out(size_t(frames), 0.0f);
    drum::Noise noise;
    const double step = 60.0 * 44100.0 / p.bpm / 4.0;
    const auto lane = [](const std::string& s, size_t i) {
        return s.empty() ? '.' : s[i % s.size()];
    };
    // Steps before firstFrame are rendered too (a pattern already running when the track
    // starts), so every beat of the track carries the pattern.
    const int64_t firstStep = -int64_t(std::ceil(p.firstFrame / step)) - 1;
    for (int64_t n = firstStep;; ++n) {
        double at = p.firstFrame + n * step;
        const size_t i = size_t(((n % 32) + 32) % 32);
        const int64_t inBeat = ((n % 4) + 4) % 4;
        if (inBeat == 2) {
            at += p.swing * step;
        } else if (inBeat != 0) {
            at += 0.5 * p.swing * step;
        }
        if (at >= double(frames)) {
            break;
        }
        if (at + 20000 < 0.0) {
            continue;
        }
        // Voices starting before frame 0 are clipped: render from a shifted origin.
        const int64_t pos = std::llround(at);
        const auto hit = [&](char c) { return c == 'x' ? 1.0f : (c == 'o' ? 0.5f : 0.0f); };
        const auto place = [&](auto&& voice) {
            if (pos >= 0) {
                voice(out, pos);
            } else {
                std::vector<float> tmp(size_t(frames - pos), 0.0f);
                voice(tmp, 0);
                for (int64_t k = -pos; k < int64_t(tmp.size()); ++k) {
                    out[size_t(k + pos)] += tmp[size_t(k)];
                }
            }
        };
        const float lv = float(p.level);
        if (float g = hit(lane(p.kick, i)); g > 0) {
            place([&](auto& o, int64_t a) { drum::addKick(o, a, lv * g); });
        }
        if (float g = hit(lane(p.snare, i)); g > 0) {
            place([&](auto& o, int64_t a) {
                drum::addNoiseHit(o, a, lv * g * 0.8f, 0.08, 0, 190.0, 0.5, noise);
            });
        }
        if (float g = hit(lane(p.clap, i)); g > 0) {
            place([&](auto& o, int64_t a) {
                drum::addNoiseHit(o, a, lv * g * 0.7f, 0.035, 1, 1200.0, 0.05, noise);
            });
        }
        if (float g = hit(lane(p.hat, i)); g > 0) {
            place([&](auto& o, int64_t a) {
                drum::addNoiseHit(o, a, lv * g * 0.35f, 0.008, 2, 0.0, 0.0, noise);
            });
        }
        if (float g = hit(lane(p.openHat, i)); g > 0) {
            place([&](auto& o, int64_t a) {
                drum::addNoiseHit(o, a, lv * g * 0.3f, 0.06, 2, 0.0, 0.0, noise);
            });
        }
        if (float g = hit(lane(p.perc, i)); g > 0) {
            place([&](auto& o, int64_t a) { drum::addTone(o, a, lv * g * 0.4f, 330.0, 0.05, 2); });
        }
        if (float g = hit(lane(p.skank, i)); g > 0) {
            place([&](auto& o, int64_t a) {
                for (double hz : {392.0, 493.9, 587.3}) {
                    drum::addTone(o, a, lv * g * 0.15f, hz, 0.06, 4);
                }
            });
        }
        if (float g = hit(lane(p.bass, i)); g > 0) {
            place([&](auto& o, int64_t a) { drum::addTone(o, a, lv * g * 0.5f, 55.0, 0.15, 2); });
        }
    }
    // The cross-rhythm voice: evenly spaced over each 4-beat bar.
    if (p.crossHitsPerBar > 0) {
        const double bar = 16.0 * step;
        const double gap = bar / p.crossHitsPerBar;
        for (int64_t n = 0;; ++n) {
            const int64_t at = std::llround(p.firstFrame + n * gap);
            if (at >= frames) {
                break;
            }
            drum::addTone(out, at, float(p.level) * 0.45f, 1250.0, 0.03, 1);
        }
    }
    return out;
}

} // namespace vx::test
