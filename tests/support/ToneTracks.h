#pragma once
// Tracks for the key-lock tests, and the measure that judges them: a kick on every beat over a
// steady tone, and the strongest frequency near a tone in a window of a mix.

#include "platform/AudioFileWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

namespace vx::test {

// An M4A of `seconds` at `bpm` with a 55 Hz kick on every beat over a tone of `hz`.
inline void writeToneTrack(const std::filesystem::path& path, double bpm, double hz, int seconds) {
    auto writer = AudioFileWriter::create(path, AudioFileWriter::Format::M4aAac, 44100, 2, nullptr);
    ASSERT_TRUE(writer);
    const size_t frames = size_t(seconds) * 44100;
    const double beat = 60.0 / bpm * 44100.0;
    std::vector<float> samples(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = std::fmod(double(i), beat) / 44100.0;
        const double kick = 0.7 * std::exp(-t * 30.0) * std::sin(2 * std::numbers::pi * 55.0 * t);
        const double tone = 0.2 * std::sin(2 * std::numbers::pi * hz * double(i) / 44100.0);
        samples[2 * i] = samples[2 * i + 1] = float(kick + tone);
    }
    ASSERT_TRUE(writer->write(samples.data(), int64_t(frames)));
    ASSERT_TRUE(writer->close());
}

struct Peak {
    double hz = 0;
    double power = 0;
};

// The strongest frequency within ±12 % of `hz` (2 Hz steps, Goertzel) in the left channel of
// stereo frames [from, to).
inline Peak strongestNear(const std::vector<float>& stereo, size_t from, size_t to, double hz) {
    Peak best;
    for (double f = hz * 0.88; f <= hz * 1.12; f += 2.0) {
        const double k = 2.0 * std::cos(2.0 * std::numbers::pi * f / 44100.0);
        double s1 = 0, s2 = 0;
        for (size_t i = from; i < to; ++i) {
            const double s0 = stereo[2 * i] + k * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double p = s1 * s1 + s2 * s2 - k * s1 * s2;
        if (p > best.power) {
            best = {f, p};
        }
    }
    return best;
}

} // namespace vx::test
