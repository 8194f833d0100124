#pragma once
// Eq8: the three-band peaking equaliser of one deck channel (two per deck, left and right).
//
// A plain record with room for eight biquad bands, of which only low (100 Hz), mid (2 kHz) and
// high (6 kHz), each one octave wide, are ever set and processed. A band whose gain is exactly
// 0 dB is skipped, so a flat equaliser costs nothing and returns its input bit for bit. Every
// active band scales its output by a shared make-up factor that leans against the overall
// boost or cut (1.5 − mean((u + 1) / 2) with u = dB / 20 for boosts and dB / 50 for cuts).
//
// Threads: the render thread runs `eqProcess` per sample and `eqSetBandGain` while an EQ ramp
// runs; the main thread sets gains only while the deck is stopped (the render thread does not
// touch the record then). No allocation anywhere.

namespace vx {

struct Eq8Band {
    float c0 = 0; // −a1 / a0
    float c1 = 0; // −a2 / a0
    float b0 = 1; // feed-forward coefficients, divided by a0
    float b1 = 0;
    float b2 = 0;
    float x1 = 0; // input history
    float x2 = 0;
    float y1 = 0; // output history
    float y2 = 0;
    float makeup = 1; // output factor shared by the three processed bands
};

struct Eq8 {
    static constexpr int kBands = 8;
    static constexpr int kActiveBands = 3;
    // Centre frequency (Hz) and bandwidth (octaves) of the processed bands.
    static constexpr float kFrequency[kActiveBands] = {100.0f, 2000.0f, 6000.0f};
    static constexpr float kBandwidth = 1.0f;

    char enabled = 0;
    Eq8Band bands[kBands];
    float gainDb[kBands] = {};
    float sampleRate = 44100.0f;

    // Main thread (construction): same as eqInit.
    Eq8() { eqInit(); }

    // Main thread, deck stopped: enabled, 44100 Hz, history of all bands cleared, all gains 0 dB,
    // coefficients of bands 0..2 recomputed (make-up factor untouched).
    void eqInit();
    // Main thread, deck stopped: stores the rate (Hz), clears history, recomputes bands 0..2.
    void eqSetSampleRate(float rate);
    // Render thread (or main thread while the deck is stopped): no allocation, no locks. Sets
    // band 0..2 to `db` decibels and recomputes the shared make-up factor; other bands ignored.
    void eqSetBandGain(int band, float db);
    // Render thread: no allocation, no locks. One sample (−1..1) through the active bands.
    float eqProcess(float x);

    // Any thread: the make-up factor for three band gains in dB.
    static float makeupFor(float lowDb, float midDb, float highDb);

private:
    void computeBand(int band);
    void clearHistory();
};

// Inline so that the left and right chains of a deck interleave in the render loop.
inline float Eq8::eqProcess(float x) {
    for (int k = 0; k < kActiveBands; ++k) {
        if (gainDb[k] == 0.0f) {
            continue;
        }
        Eq8Band& b = bands[k];
        const float y = b.b0 * x + b.b1 * b.x1 + b.b2 * b.x2 + b.c0 * b.y1 + b.c1 * b.y2;
        b.x2 = b.x1;
        b.x1 = x;
        b.y2 = b.y1;
        b.y1 = y;
        x = y * b.makeup;
    }
    return x;
}

} // namespace vx
