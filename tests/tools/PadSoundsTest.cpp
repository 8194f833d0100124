// Checks the generated pad one-shots and interface cues: WAV format, length, level, and that
// each sound has the character its name promises.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 44100.0;

struct Wav {
    bool ok = false;
    std::string problem;
    int format = 0, channels = 0, rate = 0, bits = 0;
    std::vector<float> mono; // (L + R) / 2
    int64_t frames = 0;
    int32_t peakSample = 0; // largest |sample| in 16-bit units
};

uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

Wav readWav(const fs::path& path) {
    Wav w;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        w.problem = "not a RIFF/WAVE file";
        return w;
    }
    if (le32(bytes.data() + 4) + 8 != bytes.size()) {
        w.problem = "RIFF size does not match the file size";
        return w;
    }
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        const uint32_t size = le32(chunk + 4);
        if (pos + 8 + size > bytes.size()) {
            w.problem = "chunk runs past the end";
            return w;
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            w.format = le16(chunk + 8);
            w.channels = le16(chunk + 10);
            w.rate = static_cast<int>(le32(chunk + 12));
            w.bits = le16(chunk + 22);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || w.format != 1 || w.channels != 2 || w.bits != 16) {
                w.problem = "data before a 16-bit stereo PCM format chunk";
                return w;
            }
            w.frames = size / 4;
            w.mono.resize(static_cast<size_t>(w.frames));
            for (int64_t i = 0; i < w.frames; ++i) {
                const int16_t l = static_cast<int16_t>(le16(chunk + 8 + 4 * i));
                const int16_t r = static_cast<int16_t>(le16(chunk + 10 + 4 * i));
                w.peakSample = std::max({w.peakSample, std::abs(int32_t{l}), std::abs(int32_t{r})});
                w.mono[static_cast<size_t>(i)] = (l + r) / 65536.0f;
            }
            w.ok = true;
            return w;
        }
        pos += 8 + size + (size & 1);
    }
    w.problem = "no data chunk";
    return w;
}

// RMS in dBFS of the mono signal over [from, to) seconds.
double rmsDb(const Wav& w, double from, double to) {
    const int64_t a = std::clamp<int64_t>(static_cast<int64_t>(from * kRate), 0, w.frames);
    const int64_t b = std::clamp<int64_t>(static_cast<int64_t>(to * kRate), a, w.frames);
    double sum = 0.0;
    for (int64_t i = a; i < b; ++i)
        sum += static_cast<double>(w.mono[static_cast<size_t>(i)]) * w.mono[static_cast<size_t>(i)];
    return 10.0 *
           std::log10(std::max(sum / static_cast<double>(std::max<int64_t>(b - a, 1)), 1e-20));
}

// Zero crossings per second over [from, to) seconds: a rough pitch/brightness measure.
double crossingRate(const Wav& w, double from, double to) {
    const int64_t a = std::clamp<int64_t>(static_cast<int64_t>(from * kRate), 1, w.frames);
    const int64_t b = std::clamp<int64_t>(static_cast<int64_t>(to * kRate), a, w.frames);
    int crossings = 0;
    for (int64_t i = a; i < b; ++i)
        if ((w.mono[static_cast<size_t>(i - 1)] < 0.0f) != (w.mono[static_cast<size_t>(i)] < 0.0f))
            ++crossings;
    return crossings / std::max((to - from), 1e-9);
}

// Share of the energy below about 150 Hz.
double lowShare(const Wav& w) {
    const float a = static_cast<float>(1.0 - std::exp(-2.0 * M_PI * 150.0 / kRate));
    float z1 = 0.0f, z2 = 0.0f;
    double low = 0.0, all = 0.0;
    for (float x : w.mono) {
        z1 += a * (x - z1);
        z2 += a * (z1 - z2);
        low += static_cast<double>(z2) * z2;
        all += static_cast<double>(x) * x;
    }
    return low / std::max(all, 1e-20);
}

struct SoundCase {
    const char* path; // relative to the resources folder
    double maxSeconds;
    double peakAtLeastDb;
    std::function<void(const Wav&)> character;
};

class PadSoundTest : public ::testing::TestWithParam<SoundCase> {};

TEST_P(PadSoundTest, IsAShortStereoPcmOneShotWithItsCharacter) {
    const SoundCase& c = GetParam();
    const fs::path path = fs::path(VX_RESOURCES_DIR) / c.path;
    ASSERT_TRUE(fs::exists(path)) << path;
    const Wav w = readWav(path);
    ASSERT_TRUE(w.ok) << w.problem;
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.bits, 16);
    EXPECT_GT(w.frames, static_cast<int64_t>(0.1 * kRate));
    EXPECT_LE(w.frames, static_cast<int64_t>(c.maxSeconds * kRate));
    const double peakDb = 20.0 * std::log10(std::max(w.peakSample, 1) / 32768.0);
    EXPECT_GE(peakDb, c.peakAtLeastDb) << "too quiet";
    EXPECT_LT(w.peakSample, 32767) << "clipped";
    // Ends quietly rather than on a cut.
    EXPECT_LT(std::fabs(w.mono.back()), 0.01f);
    c.character(w);
}

const SoundCase kSounds[] = {
    {"samples/fx_1.wav", 3.0, -3.0,
     [](const Wav& w) { // air horn: two short blasts with gaps, then a long one
         EXPECT_GT(rmsDb(w, 0.03, 0.13), rmsDb(w, 0.185, 0.235) + 12.0) << "gap after blast 1";
         EXPECT_GT(rmsDb(w, 0.27, 0.37), rmsDb(w, 0.425, 0.475) + 12.0) << "gap after blast 2";
         EXPECT_GT(rmsDb(w, 0.6, 1.6), -20.0) << "long blast";
         const double pitch = crossingRate(w, 0.6, 1.6);
         EXPECT_GT(pitch, 300.0);
         EXPECT_LT(pitch, 4000.0);
     }},
    {"samples/fx_2.wav", 3.0, -3.0,
     [](const Wav& w) { // siren: the pitch sweeps up and down repeatedly
         double lo = 1e9, hi = 0.0;
         for (double t = 0.05; t < 2.2; t += 0.05) {
             lo = std::min(lo, crossingRate(w, t, t + 0.05));
             hi = std::max(hi, crossingRate(w, t, t + 0.05));
         }
         EXPECT_GT(hi / lo, 1.6) << "sweep range";
         EXPECT_GT(w.frames, static_cast<int64_t>(2.0 * kRate));
     }},
    {"samples/fx_3.wav", 3.0, -3.0,
     [](const Wav& w) { // clap: a noisy burst that dies within a second
         EXPECT_GT(crossingRate(w, 0.0, 0.05), 2000.0) << "noise-like";
         EXPECT_GT(rmsDb(w, 0.0, 0.1), rmsDb(w, 0.6, 0.9) + 20.0);
     }},
    {"samples/fx_4.wav", 3.0, -3.0,
     [](const Wav& w) { // laser: a fast downward pitch sweep
         // (The first echo comes back at 0.22 s.)
         EXPECT_GT(crossingRate(w, 0.005, 0.035), 3.0 * crossingRate(w, 0.15, 0.21));
     }},
    {"samples/fx_5.wav", 3.0, -3.0,
     [](const Wav& w) { // tape rewind: continuous sound that speeds up (gets brighter)
         EXPECT_GT(rmsDb(w, 0.2, 1.2), -30.0);
         EXPECT_GT(crossingRate(w, 0.9, 1.25), 1.4 * crossingRate(w, 0.05, 0.4));
     }},
    {"samples/fx_6.wav", 3.0, -3.0,
     [](const Wav& w) { // bass drop: mostly sub-bass, decaying over about two seconds
         EXPECT_GT(lowShare(w), 0.5);
         EXPECT_GT(rmsDb(w, 0.0, 0.5), rmsDb(w, 2.0, 2.6) + 10.0);
     }},
    {"done.wav", 1.0, -9.0,
     [](const Wav& w) { // chime: a bright tone, second note higher than the first
         EXPECT_GT(crossingRate(w, 0.03, 0.09), 2000.0);
         EXPECT_GT(crossingRate(w, 0.2, 0.3), crossingRate(w, 0.03, 0.09));
     }},
    {"rec.wav", 1.0, -9.0,
     [](const Wav& w) { // two beeps with a gap
         EXPECT_GT(rmsDb(w, 0.02, 0.09), rmsDb(w, 0.125, 0.16) + 30.0);
         EXPECT_GT(rmsDb(w, 0.19, 0.26), rmsDb(w, 0.125, 0.16) + 30.0);
     }},
};

INSTANTIATE_TEST_SUITE_P(AllSounds, PadSoundTest, ::testing::ValuesIn(kSounds),
                         [](const ::testing::TestParamInfo<SoundCase>& info) {
                             return fs::path(info.param.path).stem().string();
                         });

} // namespace
