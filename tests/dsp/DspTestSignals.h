#pragma once
// Generated test signals and level measurements shared by the DSP tests.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx::test {

inline constexpr double kRate = 44100.0;
inline constexpr double kPi = 3.14159265358979323846;

// Mono sine of `frames` samples.
inline std::vector<float> sine(double hz, int frames, float amplitude = 0.5f) {
    std::vector<float> out(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        out[static_cast<size_t>(i)] =
            amplitude * static_cast<float>(std::sin(2.0 * kPi * hz * i / kRate));
    }
    return out;
}

// Interleaved stereo: left = sine at hzLeft, right = sine at hzRight.
inline std::vector<float> stereoSine(double hzLeft, double hzRight, int frames,
                                     float amplitude = 0.5f) {
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        out[2 * static_cast<size_t>(i)] =
            amplitude * static_cast<float>(std::sin(2.0 * kPi * hzLeft * i / kRate));
        out[2 * static_cast<size_t>(i) + 1] =
            amplitude * static_cast<float>(std::sin(2.0 * kPi * hzRight * i / kRate));
    }
    return out;
}

// RMS of n samples taken every `stride` floats from `x`.
inline double rms(const float* x, int n, int stride = 1) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double v = x[static_cast<size_t>(i) * static_cast<size_t>(stride)];
        sum += v * v;
    }
    return n > 0 ? std::sqrt(sum / n) : 0.0;
}

// Steady-state RMS gain of a per-sample process for a sine at `hz`: one second to settle,
// then one second measured.
inline double gainAt(double hz, const std::function<float(float)>& process) {
    const int frames = 2 * 44100;
    const std::vector<float> in = sine(hz, frames);
    std::vector<float> out(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        out[i] = process(in[i]);
    }
    return rms(out.data() + 44100, 44100) / rms(in.data() + 44100, 44100);
}

// |H(e^jw)| of y = b0 x + b1 x1 + b2 x2 − a1 y1 − a2 y2 at `hz`, in double precision.
inline double biquadMagnitude(double b0, double b1, double b2, double a1, double a2, double hz) {
    const double w = 2.0 * kPi * hz / kRate;
    const double nr = b0 + b1 * std::cos(w) + b2 * std::cos(2 * w);
    const double ni = -b1 * std::sin(w) - b2 * std::sin(2 * w);
    const double dr = 1.0 + a1 * std::cos(w) + a2 * std::cos(2 * w);
    const double di = -a1 * std::sin(w) - a2 * std::sin(2 * w);
    return std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di));
}

// Deterministic white noise in −1..1 (linear congruential generator).
inline float noiseSample(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
}

// `n` floats of that noise, the generator starting from `state`.
inline std::vector<float> noise(size_t n, uint32_t state) {
    std::vector<float> out(n);
    for (float& v : out) {
        v = noiseSample(state);
    }
    return out;
}

// A harsh mono test signal: full-scale saw, square, noise, or silence.
struct HarshSignal {
    std::string name;
    std::function<float(int)> sample;
};

inline std::vector<HarshSignal> harshSignals() {
    auto noise = std::make_shared<uint32_t>(12345u);
    return {
        {"saw", [](int i) { return static_cast<float>((i % 100) / 50.0 - 1.0); }},
        {"square", [](int i) { return (i / 50) % 2 == 0 ? 1.0f : -1.0f; }},
        {"noise", [noise](int) { return noiseSample(*noise); }},
        {"silence", [](int) { return 0.0f; }},
    };
}

// Interleaved stereo of a harsh signal (right channel = left shifted by 7 frames).
inline std::vector<float> harshStereo(const HarshSignal& s, int frames) {
    std::vector<float> mono(static_cast<size_t>(frames) + 7);
    for (int i = 0; i < frames + 7; ++i) {
        mono[static_cast<size_t>(i)] = s.sample(i);
    }
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        out[2 * static_cast<size_t>(i)] = mono[static_cast<size_t>(i) + 7];
        out[2 * static_cast<size_t>(i) + 1] = mono[static_cast<size_t>(i)];
    }
    return out;
}

// Largest |sample|, or infinity when any sample is not finite.
inline double peakOrInfinity(const std::vector<float>& x) {
    double peak = 0.0;
    for (const float v : x) {
        if (!std::isfinite(v)) {
            return INFINITY;
        }
        peak = std::max(peak, static_cast<double>(std::fabs(v)));
    }
    return peak;
}

} // namespace vx::test
