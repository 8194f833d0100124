// Writes the generated half of the tempo evaluation: drum patterns in fourteen styles at known
// tempos and first beats, 90 seconds each, as 44100 Hz mono 16-bit WAV files in the folder
// given, plus truth.csv (file, tempo, first beat frame, style). run.sh encodes them to MP3.
//
// Build: g++ -std=c++20 -O2 -I tests/analysis bench/tempo-eval/generate.cpp

#include "DrumPatterns.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using vx::test::DrumPattern;
using vx::test::renderPattern;

constexpr int64_t kFrames = 44100 * 90;

void writeWav(const std::string& path, const std::vector<float>& x) {
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = uint32_t(x.size() * 2);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(44100);
    u32(44100 * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    for (float v : x) {
        const int16_t s = int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
        out.write(reinterpret_cast<const char*>(&s), 2);
    }
}

// A sustained chord (three detuned saw-ish tones), changing every `barFrames` × 4.
void addPad(std::vector<float>& x, double gain, double barFrames) {
    const double roots[4] = {220.0, 174.6, 261.6, 196.0};
    for (size_t i = 0; i < x.size(); ++i) {
        const int chord = int(double(i) / (4.0 * barFrames)) % 4;
        const double t = double(i) / 44100.0;
        double s = 0.0;
        for (double ratio : {1.0, 1.26, 1.5}) {
            const double f = roots[chord] * ratio;
            s += std::sin(2.0 * M_PI * f * t) + 0.3 * std::sin(2.0 * M_PI * 2.003 * f * t);
        }
        x[i] += float(gain * s / 4.0);
    }
}

void normalise(std::vector<float>& x, double peak) {
    float m = 1e-9f;
    for (float v : x) {
        m = std::max(m, std::fabs(v));
    }
    for (float& v : x) {
        v = float(v * peak / m);
    }
}

struct Style {
    std::string name;
    DrumPattern pattern;
    std::function<void(std::vector<float>&, const DrumPattern&)> finish;
};

std::vector<Style> styles() {
    std::vector<Style> out;
    const auto add = [&](std::string name, double bpm, int64_t first, auto setup,
                         std::function<void(std::vector<float>&, const DrumPattern&)> finish =
                             nullptr) {
        DrumPattern p;
        p.bpm = bpm;
        p.firstFrame = first;
        setup(p);
        out.push_back({std::move(name), p, std::move(finish)});
    };
    add("house-124", 124, 2100, [](DrumPattern& p) {
        p.kick = "x...x...x...x...";
        p.clap = "....x.......x...";
        p.openHat = "..x...x...x...x.";
        p.hat = "x.x.x.x.x.x.x.x.";
        p.bass = "..x...x...x...x.";
    });
    add("techno-132", 132, 15000, [](DrumPattern& p) {
        p.kick = "x...x...x...x...";
        p.hat = "xxxxxxxxxxxxxxxx";
        p.openHat = "..x...x...x...x.";
        p.perc = "...x..x....x..x.";
        p.bass = ".xx..xx..xx..xx.";
    });
    add(
        "trance-138-long-intro", 138, 9000,
        [](DrumPattern& p) {
            p.kick = "x...x...x...x...";
            p.openHat = "..x...x...x...x.";
            p.clap = "....x.......x...";
            p.bass = ".xxx.xxx.xxx.xxx";
        },
        [](std::vector<float>& x, const DrumPattern& p) {
            // 32 seconds of pad and off-beat hats only, then the full pattern.
            DrumPattern intro = p;
            intro.kick.clear();
            intro.clap.clear();
            intro.bass.clear();
            const std::vector<float> hats = renderPattern(intro, int64_t(x.size()));
            const size_t cut = size_t(44100 * 32);
            for (size_t i = 0; i < cut && i < x.size(); ++i) {
                x[i] = hats[i];
            }
            addPad(x, 0.15, 16.0 * 60.0 * 44100.0 / p.bpm / 4.0);
        });
    add("breakbeat-95", 95, 30000, [](DrumPattern& p) {
        p.kick = "x.........x.....x.x.......x..x..";
        p.snare = "....x.......x.......x..o....x...";
        p.hat = "x.x.x.x.x.x.x.x.";
    });
    add("breakbeat-100", 100, 7000, [](DrumPattern& p) {
        p.kick = "x.x.......xx....";
        p.snare = "....x..o.o..x..o";
        p.hat = "x.x.x.x.x.x.x.x.";
        p.bass = "x.x.......x.....";
    });
    add("hiphop-swung-85", 85, 20000, [](DrumPattern& p) {
        p.swing = 2.0 / 3.0;
        p.kick = "x......x..x.....";
        p.snare = "....x.......x...";
        p.hat = "x.x.x.x.x.x.x.x.";
    });
    add("hiphop-swung-92", 92, 11111, [](DrumPattern& p) {
        p.swing = 0.5;
        p.kick = "x.....xx..x...x.";
        p.snare = "....x.......x...";
        p.hat = "x.xxx.x.x.xxx.x.";
        p.bass = "x.....x...x.....";
    });
    add("halftime-140", 140, 12000, [](DrumPattern& p) {
        p.kick = "x.....x...x.....x.........x.....";
        p.snare = "........x.......";
        p.hat = "x.x.x.x.x.x.xxxx";
    });
    add("dnb-170", 170, 5000, [](DrumPattern& p) {
        p.kick = "x.........x.....";
        p.snare = "....x.......x...";
        p.hat = "x.x.x.x.x.x.x.x.";
        p.bass = "x.........x.....";
    });
    add("dnb-174", 174, 3000, [](DrumPattern& p) {
        p.kick = "x.........x.......x.......x.....";
        p.snare = "....x.......x.......x..o....x...";
        p.hat = "x.xxx.x.x.xxx.x.";
        p.bass = "x.....x...x.....";
    });
    add("reggae-offbeat-88", 88, 16000, [](DrumPattern& p) {
        p.kick = "........x.......";
        p.snare = "........x.......";
        p.skank = "..x...x...x...x.";
        p.hat = "x.x.x.x.x.x.x.x.";
        p.bass = "x..x....x..x..x.";
    });
    add("rock-120", 120, 4410, [](DrumPattern& p) {
        p.kick = "x.......x.x.....";
        p.snare = "....x.......x...";
        p.hat = "x.x.x.x.x.x.x.x.";
        p.bass = "x.x.x.x.x.x.x.x.";
    });
    add("latin-105", 105, 8000, [](DrumPattern& p) {
        // Son clave 3-2 on the woodblock lane, tumbao on the congas, cowbell on the beat.
        p.kick = "x..x..x.x..x..x.";
        p.perc = "...x..xo...x..xo";
        p.clap = "x..x..x...x.x...";
        p.hat = "x...x...x...x...";
        p.bass = "...x..x....x..x.";
    });
    add(
        "quiet-compressed-126", 126, 10000,
        [](DrumPattern& p) {
            p.kick = "x...x...x...x...";
            p.clap = "....x.......x...";
            p.hat = "xxxxxxxxxxxxxxxx";
            p.bass = "..x...x...x...x.";
            p.level = 0.1;
        },
        [](std::vector<float>& x, const DrumPattern&) {
            // Hard compression (a fast limiter's flat top) under a noise bed, at −30 dBFS.
            addPad(x, 0.02, 44100.0);
            vx::test::drum::Noise noise;
            for (float& v : x) {
                v = std::tanh(12.0f * v) + 0.05f * noise.next();
            }
            normalise(x, 0.03);
        });
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::ofstream truth(folder + "/truth.csv");
    truth << "file,tempo,first_frame,style\n";
    for (const Style& s : styles()) {
        std::vector<float> x = renderPattern(s.pattern, kFrames);
        if (s.finish) {
            s.finish(x, s.pattern);
        }
        if (s.name.rfind("quiet", 0) != 0) {
            normalise(x, 0.9);
        }
        const std::string file = s.name + ".wav";
        writeWav(folder + "/" + file, x);
        truth << file << "," << s.pattern.bpm << "," << s.pattern.firstFrame << "," << s.name
              << "\n";
        std::printf("%s\n", file.c_str());
    }
    return 0;
}
