#pragma once
// lphpFilter: the LP/HP knob filter of one deck channel (two per deck, left and right).
//
// Two resonant two-pole stages in series. Below the knob's centre a resonant low-pass sweeps
// down; above it the low-pass stays at its top value and a resonant high-pass sweeps up (the
// high-pass output is the low-pass output minus its own low-passed copy). At exactly 0.5 the
// low-pass coefficient is 0.8494 and the high-pass is off.
//
// A plain record of ten floats. Threads: the render thread recomputes the coefficients (only
// while the deck's LP/HP ramp runs) and filters; the main thread resets it on a track load
// while the deck is not rendering. No allocation.

namespace vx {

struct lphpFilter {
    float s1 = 0, s2 = 0; // low-pass stage state
    float s3 = 0, s4 = 0; // high-pass stage state
    float fbLP = 80.4f;   // low-pass feedback, qLP + qLP / (1.005 − fLP)
    float fbHP = 0.798f;  // high-pass feedback, qHP + qHP / (1.005 − fHP)
    float fLP = 1.0f;     // low-pass frequency coefficient
    float qLP = 0.4f;     // low-pass resonance
    float fHP = 0.0f;     // high-pass frequency coefficient
    float qHP = 0.4f;     // high-pass resonance

    // Render thread: no allocation, no locks. Coefficients for knob position p (0..1, 0.5 =
    // neutral).
    void setPosition(float p);
    // Render thread: no allocation, no locks. One sample (−1..1) through both stages.
    float process(float x) {
        s1 += fLP * (x - s1 + fbLP * (s1 - s2));
        s2 += fLP * (s1 - s2);
        s3 += fHP * (s2 - s3 + fbHP * (s3 - s4));
        s4 += fHP * (s3 - s4);
        return s2 - s4;
    }
    // Main thread, deck not rendering: the four state values to 0.
    void clear() { s1 = s2 = s3 = s4 = 0.0f; }
};

} // namespace vx
