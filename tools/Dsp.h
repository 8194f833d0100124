#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "StereoBuffer.h"

// Small synthesis building blocks for the content generator: table sine, band-limited
// oscillators, a state-variable filter and an ADSR envelope. All are plain value types run by
// one render job at a time; none allocates.
namespace vx::dsp {

constexpr double kPi = 3.14159265358979323846;

// Any thread; MIDI note number to frequency in Hz (A4 = 69 = 440 Hz).
inline double midiToHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Any thread; decibels to linear gain.
inline double dbToGain(double db) {
    return std::pow(10.0, db / 20.0);
}

// Any thread; sin(2π·phase) for phase in cycles, from a 4096-point table with linear
// interpolation. std::sin per sample would dominate the render time.
inline float sineCycles(double phase) {
    constexpr int kSize = 4096;
    static const std::array<float, kSize + 1> table = [] {
        std::array<float, kSize + 1> t{};
        for (int i = 0; i <= kSize; ++i)
            t[static_cast<size_t>(i)] = static_cast<float>(std::sin(2.0 * kPi * i / kSize));
        return t;
    }();
    double p = phase - std::floor(phase);
    double x = p * kSize;
    int i = static_cast<int>(x);
    if (i >= kSize)
        i = kSize - 1;
    float frac = static_cast<float>(x - i);
    return table[static_cast<size_t>(i)] +
           (table[static_cast<size_t>(i) + 1] - table[static_cast<size_t>(i)]) * frac;
}

// Any thread; PolyBLEP residual for a discontinuity at phase 0 (t, dt in cycles).
inline float polyBlep(double t, double dt) {
    if (t < dt) {
        double x = t / dt;
        return static_cast<float>(x + x - x * x - 1.0);
    }
    if (t > 1.0 - dt) {
        double x = (t - 1.0) / dt;
        return static_cast<float>(x * x + x + x + 1.0);
    }
    return 0.0f;
}

// Phase accumulator with band-limited saw and pulse outputs. Phase is in cycles.
struct Oscillator {
    double phase = 0.0;

    // Render thread; advance by `inc` cycles per sample and return a saw in [-1, 1].
    float saw(double inc) {
        float v = static_cast<float>(2.0 * phase - 1.0) - polyBlep(phase, inc);
        advance(inc);
        return v;
    }

    // Render thread; pulse with duty cycle `width` (0..1), in [-1, 1].
    float pulse(double inc, double width) {
        float v = phase < width ? 1.0f : -1.0f;
        v += polyBlep(phase, inc);
        double shifted = phase + 1.0 - width;
        v -= polyBlep(shifted - std::floor(shifted), inc);
        advance(inc);
        return v;
    }

    // Render thread; triangle in [-1, 1] (naive; used only for soft low voices).
    float triangle(double inc) {
        float v = static_cast<float>(phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase);
        advance(inc);
        return v;
    }

    // Render thread; sine with an optional phase offset in cycles.
    float sine(double inc, double offset = 0.0) {
        float v = sineCycles(phase + offset);
        advance(inc);
        return v;
    }

    void advance(double inc) {
        phase += inc;
        if (phase >= 1.0)
            phase -= std::floor(phase);
    }
};

// Topology-preserving state-variable filter (trapezoidal integration); stable under fast
// cutoff modulation, which the filter envelopes rely on.
struct Svf {
    struct Out {
        float low, band, high;
    };

    // Render thread; cutoff in Hz (clamped below Nyquist), resonance as Q.
    void set(double hz, double q) {
        double f = hz < 10.0 ? 10.0 : (hz > 0.45 * kGenSampleRate ? 0.45 * kGenSampleRate : hz);
        double g = std::tan(kPi * f / kGenSampleRate);
        k_ = static_cast<float>(1.0 / q);
        a1_ = static_cast<float>(1.0 / (1.0 + g * (g + 1.0 / q)));
        a2_ = static_cast<float>(g) * a1_;
        a3_ = static_cast<float>(g) * a2_;
    }

    // Render thread; one sample in, all three responses out.
    Out tick(float v0) {
        float v3 = v0 - ic2_;
        float v1 = a1_ * ic1_ + a2_ * v3;
        float v2 = ic2_ + a2_ * ic1_ + a3_ * v3;
        ic1_ = 2.0f * v1 - ic1_;
        ic2_ = 2.0f * v2 - ic2_;
        return {v2, v1, v0 - k_ * v1 - v2};
    }

private:
    float ic1_ = 0.0f, ic2_ = 0.0f;
    float a1_ = 0.0f, a2_ = 0.0f, a3_ = 0.0f, k_ = 1.0f;
};

// One-pole low-pass; the high-pass output is the input minus the low-pass.
struct OnePole {
    float z = 0.0f;
    float a = 0.0f;

    // Render thread; cutoff in Hz.
    void set(double hz) {
        a = static_cast<float>(1.0 - std::exp(-2.0 * kPi * hz / kGenSampleRate));
    }
    float low(float x) { return z += a * (x - z); }
    float high(float x) { return x - low(x); }
};

// Linear-attack, exponential decay/release envelope. Times in seconds, levels 0..1.
class Adsr {
public:
    Adsr(double attack, double decay, double sustain, double release)
        : attackInc_(attack > 0.0 ? 1.0 / (attack * kGenSampleRate) : 1.0),
          decayMul_(std::exp(-1.0 / (std::max(decay, 1e-4) * kGenSampleRate))),
          releaseMul_(std::exp(-1.0 / (std::max(release, 1e-4) * kGenSampleRate))),
          sustain_(sustain) {}

    // Render thread; one sample of the envelope. `gate` false starts the release.
    float tick(bool gate) {
        if (!gate) {
            level_ *= releaseMul_;
        } else if (attacking_) {
            level_ += attackInc_;
            if (level_ >= 1.0) {
                level_ = 1.0;
                attacking_ = false;
            }
        } else {
            level_ = sustain_ + (level_ - sustain_) * decayMul_;
        }
        return static_cast<float>(level_);
    }

    // Render thread; frames the release needs to fall by 60 dB (inaudible under a mix).
    static int64_t releaseFrames(double release) {
        return static_cast<int64_t>(release * 6.9 * kGenSampleRate) + 1;
    }

private:
    double attackInc_, decayMul_, releaseMul_, sustain_;
    double level_ = 0.0;
    bool attacking_ = true;
};

// Any thread; constant-power pan gains for pan in [-1 (left), 1 (right)].
inline std::array<float, 2> panGains(double pan) {
    double angle = (pan + 1.0) * 0.25 * kPi;
    return {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
}

} // namespace vx::dsp
