#include "Voices.h"

#include <cmath>
#include <vector>

#include "Dsp.h"
#include "Rng.h"

namespace vx::voices {

namespace {

constexpr double kSr = kGenSampleRate;

int64_t framesFor(double seconds) {
    return static_cast<int64_t>(seconds * kSr);
}

// Per-sample multiplier of an exponential decay with time constant `tau` seconds.
double decayMul(double tau) {
    return std::exp(-1.0 / (tau * kSr));
}

// 808-style metallic partials (Hz) under the hats and cymbals.
constexpr double kMetalHz[6] = {587.0, 845.0, 1010.0, 1450.0, 1690.0, 2100.0};

// Plain (aliasing) square for the metallic partials; the high-pass and noise hide the aliasing
// and it costs a fraction of a band-limited one.
float metalSquare(dsp::Oscillator& osc, double inc) {
    float v = osc.phase < 0.5 ? 1.0f : -1.0f;
    osc.advance(inc);
    return v;
}

} // namespace

void kick(StereoBuffer& out, int64_t start, const KickParams& p, float gain) {
    const int64_t len = framesFor(p.decay * 7.0);
    const double sweepMul = decayMul(p.sweep);
    const double ampMul = decayMul(p.decay);
    const double clickMul = decayMul(0.0025);
    const double norm = 1.0 / std::tanh(p.drive);
    double sweep = 1.0, amp = 1.0, clickEnv = 1.0, phase = 0.0, clickPhase = 0.0;
    for (int64_t i = 0; i < len; ++i) {
        double hz = p.endHz + (p.startHz - p.endHz) * sweep;
        double body = dsp::sineCycles(phase) * amp;
        double click = dsp::sineCycles(clickPhase) * clickEnv * p.click;
        phase += hz / kSr;
        clickPhase += 1800.0 / kSr;
        sweep *= sweepMul;
        amp *= ampMul;
        clickEnv *= clickMul;
        // A short fade at the tail avoids a step when the buffer segment ends.
        double tail = i > len - 256 ? static_cast<double>(len - i) / 256.0 : 1.0;
        float y = static_cast<float>(std::tanh(p.drive * (body + click)) * norm * tail) * gain;
        out.add(start + i, y, y);
    }
}

void snare(StereoBuffer& out, int64_t start, double tone, double decay, float gain,
           uint64_t noiseKey) {
    Rng rng(noiseKey);
    const int64_t len = framesFor(decay * 6.0);
    dsp::Svf filterL, filterR;
    filterL.set(1800.0, 0.8);
    filterR.set(1900.0, 0.8);
    const double toneMul = decayMul(0.06);
    const double noiseMul = decayMul(decay);
    double toneEnv = 1.0, noiseEnv = 1.0, phase = 0.0;
    for (int64_t i = 0; i < len; ++i) {
        double t = dsp::sineCycles(phase) * toneEnv * 0.6;
        phase += tone * (1.0 + 0.5 * toneEnv) / kSr;
        float nl = filterL.tick(rng.bipolar()).high;
        float nr = filterR.tick(rng.bipolar()).high;
        float l = static_cast<float>(t + nl * noiseEnv * 0.8) * gain;
        float r = static_cast<float>(t + nr * noiseEnv * 0.8) * gain;
        out.add(start + i, l, r);
        toneEnv *= toneMul;
        noiseEnv *= noiseMul;
    }
}

void clap(StereoBuffer& out, int64_t start, double brightness, float gain, uint64_t noiseKey) {
    Rng rng(noiseKey);
    const int64_t len = framesFor(0.45);
    dsp::Svf bandL, bandR;
    bandL.set(1100.0 * brightness, 1.6);
    bandR.set(1250.0 * brightness, 1.6);
    const int64_t burst[3] = {0, framesFor(0.010), framesFor(0.021)};
    const int64_t tailStart = framesFor(0.030);
    for (int64_t i = 0; i < len; ++i) {
        double env = 0.0;
        for (int64_t b : burst)
            if (i >= b && i < tailStart)
                env += std::exp(-static_cast<double>(i - b) / (0.004 * kSr));
        if (i >= tailStart)
            env += 0.9 * std::exp(-static_cast<double>(i - tailStart) / (0.09 * kSr));
        else
            env += 0.9 * static_cast<double>(i) / static_cast<double>(tailStart) * 0.3;
        float l = bandL.tick(rng.bipolar()).band * static_cast<float>(env) * 2.2f * gain;
        float r = bandR.tick(rng.bipolar()).band * static_cast<float>(env) * 2.2f * gain;
        out.add(start + i, l, r);
    }
}

void hat(StereoBuffer& out, int64_t start, double decay, double pan, float gain,
         uint64_t noiseKey) {
    Rng rng(noiseKey);
    const int64_t len = framesFor(decay * 6.0 + 0.01);
    dsp::Svf high;
    high.set(7500.0, 0.9);
    dsp::Oscillator metal[6];
    const double mul = decayMul(decay);
    double env = 1.0;
    auto g = dsp::panGains(pan);
    for (int64_t i = 0; i < len; ++i) {
        float m = 0.0f;
        for (int k = 0; k < 6; ++k)
            m += metalSquare(metal[k], kMetalHz[k] * 3.2 / kSr);
        float x = high.tick(rng.bipolar() * 0.7f + m * 0.12f).high;
        float attack = i < 40 ? static_cast<float>(i) / 40.0f : 1.0f;
        float y = x * static_cast<float>(env) * attack * gain;
        out.add(start + i, y * g[0], y * g[1]);
        env *= mul;
    }
}

void rim(StereoBuffer& out, int64_t start, double hz, double pan, float gain) {
    const int64_t len = framesFor(0.12);
    const double mul = decayMul(0.018);
    double env = 1.0, p1 = 0.0, p2 = 0.0;
    auto g = dsp::panGains(pan);
    for (int64_t i = 0; i < len; ++i) {
        float y =
            static_cast<float>((dsp::sineCycles(p1) + 0.5 * dsp::sineCycles(p2)) * env) * gain;
        p1 += hz / kSr;
        p2 += hz * 2.76 / kSr;
        env *= mul;
        out.add(start + i, y * g[0], y * g[1]);
    }
}

void shaker(StereoBuffer& out, int64_t start, double pan, float gain, uint64_t noiseKey) {
    Rng rng(noiseKey);
    const int64_t len = framesFor(0.12);
    dsp::Svf band;
    band.set(6500.0, 1.2);
    auto g = dsp::panGains(pan);
    for (int64_t i = 0; i < len; ++i) {
        double t = static_cast<double>(i) / kSr;
        double env = t < 0.012 ? t / 0.012 : std::exp(-(t - 0.012) / 0.03);
        float y = band.tick(rng.bipolar()).band * static_cast<float>(env) * gain;
        out.add(start + i, y * g[0], y * g[1]);
    }
}

void tom(StereoBuffer& out, int64_t start, double hz, double pan, float gain) {
    const int64_t len = framesFor(0.5);
    const double ampMul = decayMul(0.12);
    const double bendMul = decayMul(0.03);
    double amp = 1.0, bend = 1.0, phase = 0.0;
    auto g = dsp::panGains(pan);
    for (int64_t i = 0; i < len; ++i) {
        float y = static_cast<float>(dsp::sineCycles(phase) * amp) * gain;
        phase += hz * (1.0 + 0.35 * bend) / kSr;
        amp *= ampMul;
        bend *= bendMul;
        out.add(start + i, y * g[0], y * g[1]);
    }
}

void crash(StereoBuffer& out, int64_t start, float gain, uint64_t noiseKey) {
    Rng rng(noiseKey);
    const int64_t len = framesFor(2.6);
    dsp::Svf highL, highR;
    highL.set(4200.0, 0.7);
    highR.set(4600.0, 0.7);
    dsp::Oscillator metal[6];
    const double mul = decayMul(0.55);
    double env = 1.0;
    for (int64_t i = 0; i < len; ++i) {
        float m = 0.0f;
        for (int k = 0; k < 6; ++k)
            m += metalSquare(metal[k], kMetalHz[k] * 2.1 / kSr);
        float l = highL.tick(rng.bipolar() + m * 0.08f).high;
        float r = highR.tick(rng.bipolar() + m * 0.08f).high;
        float e = static_cast<float>(env) * gain * (i < 60 ? static_cast<float>(i) / 60.0f : 1.0f);
        out.add(start + i, l * e, r * e);
        env *= mul;
    }
}

void riser(StereoBuffer& out, int64_t start, int64_t frames, float gain, uint64_t noiseKey) {
    Rng rng(noiseKey);
    dsp::Svf bandL, bandR;
    dsp::OnePole lowCutL, lowCutR;
    lowCutL.set(300.0);
    lowCutR.set(300.0);
    for (int64_t i = 0; i < frames; ++i) {
        double x = static_cast<double>(i) / static_cast<double>(frames);
        if (i % 32 == 0) {
            double hz = 400.0 * std::pow(20.0, x);
            bandL.set(hz, 2.0);
            bandR.set(hz * 1.07, 2.0);
        }
        float env = static_cast<float>(x * x) * gain;
        float l = lowCutL.high(bandL.tick(rng.bipolar()).band) * env;
        float r = lowCutR.high(bandR.tick(rng.bipolar()).band) * env;
        out.add(start + i, l, r);
    }
}

void tone(StereoBuffer& out, int64_t start, int64_t gateFrames, double note, float gain, double pan,
          const ToneParams& p) {
    const int n = p.unison < 1 ? 1 : p.unison;
    const int64_t len = gateFrames + dsp::Adsr::releaseFrames(p.release);
    const double baseHz = dsp::midiToHz(note);
    // A single oscillator, or a stack without stereo spread, is filtered once and panned after.
    const bool mono = n == 1 || p.stereoWidth == 0.0;

    struct Unison {
        dsp::Oscillator osc;
        dsp::Oscillator mod;
        double ratio;
        float gl, gr;
    };
    std::vector<Unison> stack(static_cast<size_t>(n));
    const float norm = 1.0f / std::sqrt(static_cast<float>(n));
    for (int k = 0; k < n; ++k) {
        double spread = n > 1 ? static_cast<double>(k) / (n - 1) - 0.5 : 0.0;
        auto& u = stack[static_cast<size_t>(k)];
        u.ratio = std::pow(2.0, spread * p.detuneCents / 1200.0);
        // Fixed, unrelated start phases keep the stack from cancelling at the attack.
        u.osc.phase = n > 1 ? std::fmod(0.37 * k, 1.0) : 0.0;
        auto g = dsp::panGains(std::clamp(pan + 2.0 * spread * p.stereoWidth, -1.0, 1.0));
        u.gl = g[0] * norm;
        u.gr = g[1] * norm;
    }
    const auto monoPan = dsp::panGains(pan);

    dsp::Adsr env(p.attack, p.decay, p.sustain, p.release);
    dsp::Svf lowL, lowR;
    dsp::OnePole hpL, hpR;
    if (p.highPass > 0.0) {
        hpL.set(p.highPass);
        hpR.set(p.highPass);
    }
    dsp::Oscillator sub, vibrato, pwm;
    const double filterMul = decayMul(std::max(p.filterDecay, 1e-3));
    const double fmMul = decayMul(std::max(p.fmDecay, 1e-3));
    const double driveNorm = p.drive > 1.0 ? 1.0 / std::tanh(p.drive) : 1.0;
    const bool usePwm = p.wave == Wave::Pulse && p.pwmDepth > 0.0;
    double filterEnv = 1.0, fmEnv = 1.0;
    const int64_t vibratoStart = framesFor(p.vibratoDelay);
    // Skip the parts of the note that fall outside the buffer.
    const int64_t last = std::min(len, out.frames() - start);

    for (int64_t i = 0; i < last; ++i) {
        if (i % 16 == 0) {
            double hz = p.cutoff * std::pow(2.0, p.filterEnvOctaves * filterEnv);
            lowL.set(hz, p.resonance);
            if (!mono)
                lowR.set(hz, p.resonance);
        }
        double pitch = 1.0;
        if (p.vibratoCents > 0.0 && i >= vibratoStart) {
            double fadeIn = std::min(1.0, static_cast<double>(i - vibratoStart) / (0.3 * kSr));
            // Linearised 2^(cents/1200): exact enough for a few tens of cents.
            pitch = 1.0 + fadeIn * p.vibratoCents / 1200.0 * 0.6931471805599453 *
                              vibrato.sine(p.vibratoHz / kSr);
        }
        const double inc = baseHz * pitch / kSr;
        const double width =
            usePwm ? p.pulseWidth + p.pwmDepth * pwm.sine(0.4 / kSr) : p.pulseWidth;
        const double index = p.fmIndexSustain + (p.fmIndex - p.fmIndexSustain) * fmEnv;
        float l = 0.0f, r = 0.0f;
        for (auto& u : stack) {
            const double ui = inc * u.ratio;
            float v = 0.0f;
            switch (p.wave) {
            case Wave::Saw:
                v = u.osc.saw(ui);
                break;
            case Wave::Pulse:
                v = u.osc.pulse(ui, width);
                break;
            case Wave::Triangle:
                v = u.osc.triangle(ui);
                break;
            case Wave::Sine:
                v = u.osc.sine(ui);
                break;
            case Wave::Fm: {
                float m = u.mod.sine(ui * p.fmRatio);
                v = u.osc.sine(ui, index * m / (2.0 * dsp::kPi));
                break;
            }
            case Wave::Organ: {
                double ph = u.osc.phase;
                v = 0.6f * (dsp::sineCycles(ph) + 0.55f * dsp::sineCycles(2.0 * ph) +
                            0.3f * dsp::sineCycles(3.0 * ph) + 0.2f * dsp::sineCycles(4.0 * ph));
                u.osc.advance(ui);
                break;
            }
            }
            if (mono) {
                l += v * norm;
            } else {
                l += v * u.gl;
                r += v * u.gr;
            }
        }
        if (p.subLevel > 0.0) {
            float s =
                sub.sine(inc * 0.5) * static_cast<float>(p.subLevel) * (mono ? 1.0f : 0.7071f);
            l += s;
            r += s;
        }
        l = lowL.tick(l).low;
        if (p.highPass > 0.0)
            l = hpL.high(l);
        if (p.drive > 1.0)
            l = static_cast<float>(std::tanh(p.drive * l) * driveNorm);
        if (mono) {
            r = l * monoPan[1];
            l *= monoPan[0];
        } else {
            r = lowR.tick(r).low;
            if (p.highPass > 0.0)
                r = hpR.high(r);
            if (p.drive > 1.0)
                r = static_cast<float>(std::tanh(p.drive * r) * driveNorm);
        }
        const bool gate = i < gateFrames;
        float a = env.tick(gate) * gain;
        if (!gate && a < 1e-4f * gain)
            break; // released below -80 dB
        out.add(start + i, l * a, r * a);
        filterEnv *= filterMul;
        fmEnv *= fmMul;
    }
}

} // namespace vx::voices
