#include "dsp/BeatSync.h"

#include <cmath>
#include <limits>

namespace vx {

int padIndex(float v, int count) {
    const float r = std::round(v); // halves away from zero
    if (!(r >= 0.0f)) {
        return 0;
    }
    if (r >= static_cast<float>(count - 1)) {
        return count - 1;
    }
    return static_cast<int>(r);
}

int64_t saturateToI64(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    // 2^63 is exactly representable; everything below it converts.
    constexpr double limit = 9223372036854775808.0;
    if (v >= limit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (v <= -limit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(v);
}

uint64_t saturateToU64(double v) {
    if (!(v > 0.0)) {
        return 0;
    }
    constexpr double limit = 18446744073709551616.0; // 2^64
    if (v >= limit) {
        return std::numeric_limits<uint64_t>::max();
    }
    return static_cast<uint64_t>(v);
}

int32_t truncClamp(float v, int32_t lo, int32_t hi) {
    const float t = std::trunc(v);
    if (!(t >= static_cast<float>(lo))) {
        return lo;
    }
    if (t >= static_cast<float>(hi)) {
        return hi;
    }
    return static_cast<int32_t>(t);
}

int64_t alignmentBeatSamples(float tempo) {
    const float beatSeconds = 60.0f / tempo;
    const int64_t samples = saturateToI64(static_cast<double>(beatSeconds) * 44100.0);
    return samples < 1 ? 1 : samples;
}

int64_t alignedBeatCounter(double positionFrames, double offsetFrames, double rate, float tempo) {
    const int64_t counter = saturateToI64((positionFrames + offsetFrames) * rate);
    return counter % alignmentBeatSamples(tempo); // C++ %: sign of the dividend
}

uint64_t nextBeatBoundary(uint64_t counter, float tempo, float sampleRate) {
    const double beatLen = (60.0 / static_cast<double>(tempo)) * static_cast<double>(sampleRate);
    const uint64_t q = saturateToU64(static_cast<double>(counter) / beatLen);
    if (q == std::numeric_limits<uint64_t>::max()) {
        return q;
    }
    return saturateToU64(static_cast<double>(q + 1) * beatLen);
}

} // namespace vx
