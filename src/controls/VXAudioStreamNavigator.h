#pragma once
// VXAudioStreamNavigator: a deck's whole-track overview strip as the mixing screen holds it —
// the waveform lines (VXAudioStreamDisplay), the play-position line (VXAudioStreamMarks) —
// and the seeking done by touching it.
//
// Seeking: a finger dragged along the strip seeks continuously to (y / height) × length and
// takes any scratch state off the deck; a tap (a touch that ends without moving) jumps to the
// first cue point whose mark lies within 20 points of the finger — through the engine's own
// jump-to-cue, so the cue lands exactly where a cue button would put it — or else to
// (y / height) × length. The screen lets the strip take touches only while its deck is stopped.
//
// Side indent: with `sideIndent` on, the phone layout anchors deck 0's lines to the strip's
// left edge and deck 1's to its right edge (the decks' outer edges); on the tablet, or with it
// off, the lines are centred.
//
// Threads: main thread only. Jumps take the engine lock and the deck's decode lock (in that
// order) for the short time the ring is re-planned. What it owns: its two layers; the deck
// belongs to the engine and must outlive it.

#include "analysis/DrawingTypes.h"
#include "controls/VXAudioStreamDisplay.h"
#include "controls/VXAudioStreamMarks.h"

#include <cstdint>

namespace vx {

struct audioStream;

class VXAudioStreamNavigator {
public:
    // A tap this close to a cue mark (points, inclusive) jumps to that cue.
    static constexpr float kCueSnapPoints = 20.0f;

    // Main thread: the strip of `width` × `height` points for `deck` in the given layout.
    VXAudioStreamNavigator(audioStream& deck, float width, float height, ScreenLayout layout);

    // Main thread: a new view size (points).
    void setSize(float width, float height);

    // Main thread: with a track loaded, rebuilds the lines from the deck's peak data and the
    // cue marks, and lets the marks layer redraw if the position moved; otherwise only asks
    // both layers to redraw.
    void updateDisplay();
    // Main thread: anchor the lines to the deck's outer edge (phone layout only).
    void setSideIndent(bool on) { sideIndent_ = on; }
    bool sideIndent() const { return sideIndent_; }
    // Main thread: the side the lines are drawn from: −1 left edge, +1 right edge, 0 centred.
    int side() const;

    // Main thread: a finger on the strip at `y` points from its top. Nothing without a track.
    void touchBegan(float y);
    void touchMoved(float y);
    void touchEnded(float y);
    void touchCancelled();

    // Main thread: whether the current touch has moved.
    bool moved() const { return moved_; }

    VXAudioStreamDisplay& displayWave() { return displayWave_; }
    const VXAudioStreamDisplay& displayWave() const { return displayWave_; }
    VXAudioStreamMarks& displayMarks() { return displayMarks_; }
    const VXAudioStreamMarks& displayMarks() const { return displayMarks_; }

private:
    bool loaded() const;
    double frameAt(float y) const;
    void clearScratchState();
    void seekTo(double frame);

    audioStream& stream_;
    ScreenLayout layout_;
    float height_;
    VXAudioStreamDisplay displayWave_;
    VXAudioStreamMarks displayMarks_;
    bool sideIndent_ = false;
    bool moved_ = false;
};

} // namespace vx
