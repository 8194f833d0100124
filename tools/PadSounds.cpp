#include "PadSounds.h"

#include <algorithm>
#include <cmath>

#include "Dsp.h"
#include "Reverb.h"
#include "Rng.h"
#include "Voices.h"

namespace vx {

namespace {

constexpr double kSr = kGenSampleRate;

int64_t framesFor(double seconds) {
    return static_cast<int64_t>(seconds * kSr);
}

// Scales to the given peak (dBFS) and fades the last 5 ms so no sound ends on a step.
StereoBuffer finish(StereoBuffer b, double peakDb) {
    float peak = 0.0f;
    for (int64_t i = 0; i < b.frames(); ++i)
        peak = std::max({peak, std::fabs(b.left[static_cast<size_t>(i)]),
                         std::fabs(b.right[static_cast<size_t>(i)])});
    const float gain = peak > 0.0f ? static_cast<float>(dsp::dbToGain(peakDb)) / peak : 1.0f;
    const int64_t fade = std::min<int64_t>(framesFor(0.005), b.frames());
    for (int64_t i = 0; i < b.frames(); ++i) {
        float f = i >= b.frames() - fade
                      ? static_cast<float>(b.frames() - 1 - i) / static_cast<float>(fade)
                      : 1.0f;
        b.left[static_cast<size_t>(i)] *= gain * f;
        b.right[static_cast<size_t>(i)] *= gain * f;
    }
    return b;
}

// Adds `wet` amounts of a room reverb of `b` to itself.
void addRoom(StereoBuffer& b, double room, float wet) {
    StereoBuffer verb = b;
    Reverb(room, 0.5).process(verb);
    for (int64_t i = 0; i < b.frames(); ++i) {
        b.left[static_cast<size_t>(i)] += verb.left[static_cast<size_t>(i)] * wet;
        b.right[static_cast<size_t>(i)] += verb.right[static_cast<size_t>(i)] * wet;
    }
}

} // namespace

StereoBuffer PadSounds::horn() {
    StereoBuffer b(framesFor(2.0));
    const double blasts[3][2] = {{0.0, 0.14}, {0.24, 0.14}, {0.48, 1.25}}; // start, length (s)
    const double release = 0.03;
    const double voicesHz[4] = {392.0, 415.3, 466.2, 523.3};
    dsp::Svf bandL, bandR;
    bandL.set(1600.0, 0.9);
    bandR.set(1750.0, 0.9);
    dsp::Oscillator osc[4];
    for (int64_t i = 0; i < b.frames(); ++i) {
        const double t = static_cast<double>(i) / kSr;
        double amp = 0.0, scoop = 1.0;
        for (const auto& blast : blasts) {
            const double local = t - blast[0];
            if (local < 0.0 || local > blast[1] + release)
                continue;
            double a = std::min(1.0, local / 0.006);
            if (local > blast[1])
                a *= 1.0 - (local - blast[1]) / release;
            amp = std::max(amp, a);
            scoop = 1.0 - 0.08 * std::exp(-local / 0.025);
        }
        float sum = 0.0f;
        for (int k = 0; k < 4; ++k)
            sum += osc[k].saw(voicesHz[k] * scoop / kSr);
        const float driven = static_cast<float>(std::tanh(2.5 * sum * 0.4));
        b.left[static_cast<size_t>(i)] = bandL.tick(driven).band * static_cast<float>(amp);
        b.right[static_cast<size_t>(i)] = bandR.tick(driven).band * static_cast<float>(amp);
    }
    addRoom(b, 0.5, 0.15f);
    return finish(std::move(b), -1.5);
}

StereoBuffer PadSounds::siren() {
    StereoBuffer b(framesFor(2.6));
    dsp::Oscillator osc, sub;
    dsp::Svf tone;
    tone.set(3000.0, 0.7);
    for (int64_t i = 0; i < b.frames(); ++i) {
        const double t = static_cast<double>(i) / kSr;
        // Sawtooth sweeps whose rate rises from 2.5 to 6.4 per second.
        const double lfoPhase = 2.5 * t + 0.75 * t * t;
        double ramp = lfoPhase - std::floor(lfoPhase);
        double hz = 520.0 * std::pow(2.0, 1.2 * ramp);
        float v = 0.6f * osc.pulse(hz / kSr, 0.5) + 0.4f * sub.sine(hz * 0.5 / kSr);
        double amp = std::min(1.0, t / 0.01) * (t > 2.3 ? std::max(0.0, (2.6 - t) / 0.3) : 1.0);
        float y = tone.tick(v).low * static_cast<float>(amp);
        b.left[static_cast<size_t>(i)] = y;
        b.right[static_cast<size_t>(i)] = y;
    }
    // Dub echo: one delayed, darker copy on each side.
    const int64_t d = framesFor(0.18);
    for (int64_t i = b.frames() - 1; i >= d; --i) {
        b.left[static_cast<size_t>(i)] += 0.45f * b.right[static_cast<size_t>(i - d)];
        b.right[static_cast<size_t>(i)] += 0.3f * b.left[static_cast<size_t>(i - d)];
    }
    return finish(std::move(b), -1.5);
}

StereoBuffer PadSounds::clap() {
    StereoBuffer b(framesFor(0.9));
    voices::clap(b, 0, 1.0, 0.8f, 11);
    voices::clap(b, framesFor(0.004), 1.35, 0.5f, 12);
    voices::clap(b, framesFor(0.009), 0.8, 0.4f, 13);
    addRoom(b, 0.6, 0.5f);
    return finish(std::move(b), -1.5);
}

StereoBuffer PadSounds::laser() {
    StereoBuffer dry(framesFor(1.3));
    const int64_t len = framesFor(0.32);
    double phase = 0.0, mod = 0.0;
    for (int64_t i = 0; i < len; ++i) {
        const double t = static_cast<double>(i) / kSr;
        const double hz = 150.0 + 2800.0 * std::exp(-t / 0.07);
        const double index = 2.5 * std::exp(-t / 0.15);
        const double amp = std::min(1.0, t / 0.002) * std::exp(-t / 0.12);
        float m = dsp::sineCycles(mod);
        float y = dsp::sineCycles(phase + index * m / (2.0 * dsp::kPi)) * static_cast<float>(amp);
        phase += hz / kSr;
        mod += hz * 1.5 / kSr;
        dry.left[static_cast<size_t>(i)] = y;
        dry.right[static_cast<size_t>(i)] = y;
    }
    // Three echoes bouncing left and right.
    StereoBuffer b = dry;
    const int64_t d = framesFor(0.22);
    for (int echo = 1; echo <= 3; ++echo) {
        const float g = std::pow(0.5f, static_cast<float>(echo));
        for (int64_t i = 0; i < len && i + echo * d < b.frames(); ++i) {
            const size_t k = static_cast<size_t>(i + echo * d);
            b.left[k] += dry.left[static_cast<size_t>(i)] * g * (echo % 2 == 1 ? 1.0f : 0.3f);
            b.right[k] += dry.right[static_cast<size_t>(i)] * g * (echo % 2 == 1 ? 0.3f : 1.0f);
        }
    }
    return finish(std::move(b), -1.5);
}

StereoBuffer PadSounds::rewind() {
    // Source: two bars of a little groove that the "tape" then runs backwards through.
    const int64_t sourceLen = framesFor(6.0);
    StereoBuffer source(sourceLen);
    const double beat = 60.0 / 126.0;
    voices::ToneParams chord;
    chord.wave = voices::Wave::Saw;
    chord.unison = 2;
    chord.detuneCents = 10.0;
    chord.cutoff = 2500.0;
    chord.release = 0.1;
    const int notes[3] = {57, 60, 64};
    for (int k = 0; k < 12; ++k) {
        const int64_t at = framesFor(k * beat);
        voices::kick(source, at, voices::KickParams{}, 0.8f);
        voices::hat(source, at + framesFor(beat / 2), 0.05, 0.0, 0.3f,
                    static_cast<uint64_t>(k + 1));
        for (int n : notes)
            voices::tone(source, at + framesFor(beat / 2), framesFor(beat / 4), n, 0.15f, 0.0,
                         chord);
    }
    StereoBuffer b(framesFor(1.6));
    double position = static_cast<double>(sourceLen - 1);
    dsp::Svf bandL, bandR;
    for (int64_t i = 0; i < b.frames(); ++i) {
        const double t = static_cast<double>(i) / kSr;
        const double speed = 1.0 + 5.0 * t * t; // accelerating backwards
        if (i % 32 == 0) {
            bandL.set(500.0 * (1.0 + 4.0 * t), 0.8);
            bandR.set(550.0 * (1.0 + 4.0 * t), 0.8);
        }
        const int64_t p = static_cast<int64_t>(position);
        const float frac = static_cast<float>(position - static_cast<double>(p));
        float l = 0.0f, r = 0.0f;
        if (p >= 0 && p + 1 < sourceLen) {
            const size_t k = static_cast<size_t>(p);
            l = source.left[k] + (source.left[k + 1] - source.left[k]) * frac;
            r = source.right[k] + (source.right[k + 1] - source.right[k]) * frac;
        }
        const float amp =
            static_cast<float>(std::min(1.0, t / 0.02) * (t > 1.3 ? (1.6 - t) / 0.3 : 1.0));
        b.left[static_cast<size_t>(i)] = (0.4f * l + bandL.tick(l).band) * amp;
        b.right[static_cast<size_t>(i)] = (0.4f * r + bandR.tick(r).band) * amp;
        position -= speed;
    }
    return finish(std::move(b), -1.5);
}

StereoBuffer PadSounds::drop() {
    StereoBuffer b(framesFor(2.8));
    voices::KickParams impact{220.0, 45.0, 0.05, 0.5, 0.3, 2.0};
    voices::kick(b, 0, impact, 0.7f);
    Rng rng(0xd409);
    dsp::Svf noiseBand;
    double phase = 0.0;
    for (int64_t i = 0; i < b.frames(); ++i) {
        const double t = static_cast<double>(i) / kSr;
        const double hz = 28.0 + 90.0 * std::exp(-t / 0.7);
        const double amp = std::min(1.0, t / 0.01) * std::exp(-t / 1.1);
        float sub = static_cast<float>(std::tanh(2.0 * dsp::sineCycles(phase)) * amp);
        phase += hz / kSr;
        if (i % 32 == 0)
            noiseBand.set(200.0 + 6000.0 * std::exp(-t / 0.5), 1.5);
        float noise =
            noiseBand.tick(rng.bipolar()).band * static_cast<float>(0.35 * std::exp(-t / 0.8));
        b.left[static_cast<size_t>(i)] += 0.8f * sub + noise;
        b.right[static_cast<size_t>(i)] += 0.8f * sub - noise;
    }
    return finish(std::move(b), -1.5);
}

StereoBuffer PadSounds::doneChime() {
    StereoBuffer b(framesFor(0.8));
    const double notes[2][2] = {{0.0, 1318.5}, {0.11, 1975.5}};
    for (const auto& n : notes) {
        const int64_t start = framesFor(n[0]);
        double p1 = 0.0, p2 = 0.0;
        for (int64_t i = start; i < b.frames(); ++i) {
            const double t = static_cast<double>(i - start) / kSr;
            const double amp = std::min(1.0, t / 0.003) * std::exp(-t / 0.18);
            float y = static_cast<float>(
                (dsp::sineCycles(p1) + 0.25 * std::exp(-t / 0.05) * dsp::sineCycles(p2)) * amp);
            p1 += n[1] / kSr;
            p2 += n[1] * 2.76 / kSr;
            b.left[static_cast<size_t>(i)] += y;
            b.right[static_cast<size_t>(i)] += y;
        }
    }
    return finish(std::move(b), -6.0);
}

StereoBuffer PadSounds::recBeep() {
    StereoBuffer b(framesFor(0.4));
    const double beeps[2][2] = {{0.0, 880.0}, {0.17, 1174.7}};
    for (const auto& beep : beeps) {
        const int64_t start = framesFor(beep[0]);
        const int64_t len = framesFor(0.11);
        double phase = 0.0;
        for (int64_t i = 0; i < len && start + i < b.frames(); ++i) {
            const double t = static_cast<double>(i) / kSr;
            const double amp = std::min({1.0, t / 0.004, (0.11 - t) / 0.01});
            float y = dsp::sineCycles(phase) * static_cast<float>(std::max(0.0, amp));
            phase += beep[1] / kSr;
            b.left[static_cast<size_t>(start + i)] += y;
            b.right[static_cast<size_t>(start + i)] += y;
        }
    }
    return finish(std::move(b), -6.0);
}

} // namespace vx
