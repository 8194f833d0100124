#include "dsp/Eq8.h"

#include <algorithm>
#include <cmath>

namespace vx {

namespace {
constexpr float kTwoPi = 6.28318530717958647692f;
// ln(2) / 2: turns a bandwidth in octaves into the argument of sinh.
constexpr float kHalfLn2 = 0.3465736f;
} // namespace

void Eq8::eqInit() {
    enabled = 1;
    sampleRate = 44100.0f;
    clearHistory();
    for (float& g : gainDb) {
        g = 0.0f;
    }
    for (int k = 0; k < kActiveBands; ++k) {
        computeBand(k);
    }
}

void Eq8::eqSetSampleRate(float rate) {
    sampleRate = rate;
    clearHistory();
    for (int k = 0; k < kActiveBands; ++k) {
        computeBand(k);
    }
}

void Eq8::eqSetBandGain(int band, float db) {
    if (band < 0 || band >= kActiveBands) {
        return;
    }
    gainDb[band] = db;
    computeBand(band);
    const float m = makeupFor(gainDb[0], gainDb[1], gainDb[2]);
    for (int k = 0; k < kActiveBands; ++k) {
        bands[k].makeup = m;
    }
}

float Eq8::makeupFor(float lowDb, float midDb, float highDb) {
    float sum = 0.0f;
    for (const float g : {lowDb, midDb, highDb}) {
        const float u = g >= 0.0f ? g / 20.0f : g / 50.0f;
        sum += (u + 1.0f) / 2.0f;
    }
    return 1.5f - sum / 3.0f;
}

// Peaking biquad (constant-Q form) for band k at its stored gain.
void Eq8::computeBand(int k) {
    Eq8Band& b = bands[k];
    const float f = std::min(sampleRate / 2.0f, kFrequency[k]);
    const float w = f * kTwoPi / sampleRate;
    const float a = std::pow(10.0f, gainDb[k] * 0.025f);
    const float sinW = std::sin(w);
    const float cosW = std::cos(w);
    const float x = kHalfLn2 * kBandwidth * w / sinW;
    const float alpha = sinW * std::sinh(x);
    const float n = 1.0f / (1.0f + alpha / a);
    b.c0 = 2.0f * cosW * n;
    b.c1 = (alpha / a - 1.0f) * n;
    b.b0 = (1.0f + alpha * a) * n;
    b.b1 = -2.0f * cosW * n;
    b.b2 = (1.0f - alpha * a) * n;
}

void Eq8::clearHistory() {
    for (Eq8Band& b : bands) {
        b.x1 = b.x2 = b.y1 = b.y2 = 0.0f;
    }
}

} // namespace vx
