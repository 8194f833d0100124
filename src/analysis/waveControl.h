#pragma once
// waveControl: the touch surface over one deck's scrolling waveform.
//
// The waveform runs vertically: the play position sits on the centre row and the track moves
// along y, 256 frames per row at visualScale 1 (a row is one point). What the fingers do:
//   - one finger on a playing deck scratches: the finger's velocity becomes the deck's speed
//     (halved, clamped, smoothed over the last two values and never changed by more than 1.05
//     per event), held for as long as the movement that produced it took;
//   - one finger on a stopped deck drags the position silently and, lifted with a flick, lets
//     the deck coast at the last velocity;
//   - three fingers seek through the whole track: 1440 points of travel of the second finger
//     span the track;
//   - lifting the last finger glides the deck back to its base speed over 64 frames.
// Under key lock the stretcher is bypassed while the deck is held, so the read position is
// moved by the stretcher's latency when the hold begins and moved back when it ends. The
// control also freezes the display (touches are then ignored) and plays or stops its deck.
//
// Threads: everything here runs on the main thread. The handlers write the deck record's
// fields without locks, as every controller does; the render thread reads them per frame.
// Re-plans take the deck's decode lock for the short time the plan is recomputed.
//
// What it owns: only its own touch state. The deck record belongs to the engine (`AudioOut`),
// which outlives the control. The shell forwards touch events in the control's own points with
// timestamps in seconds; drawing reads the frozen state and the display flags.
//
// Why built this way: the speed, ramp, re-plan, stretcher-clear, play and stop operations are
// the engine's own functions, so a touch changes the deck exactly as a button would; the control
// only decides which of them to call, which keeps it testable against a real engine offline.

#include "engine/Transport.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace vx {

class AudioOut;
class NotificationCenter;
struct EngineServices;
struct audioStream;

class waveControl {
public:
    // A location in the control's own points (y grows downwards).
    struct Point {
        float x = 0.0f;
        float y = 0.0f;
        bool operator==(const Point&) const = default;
    };

    // One finger as the shell reports it: where it is now, where it was at the previous event
    // of this finger (points), and when this event happened (seconds, any monotonic origin).
    struct Touch {
        int id = 0;
        float x = 0.0f;
        float y = 0.0f;
        float previousX = 0.0f;
        float previousY = 0.0f;
        double timestamp = 0.0;
    };

    // Frames per row at visualScale 1.
    static constexpr double kFramesPerRow = 256.0;
    // Rows from the centre row to either edge of the waveform.
    static constexpr double kRowsToEdge = 240.0;
    // Points of three-finger travel that span the whole track.
    static constexpr double kSeekSpanPoints = 1440.0;
    // Render rate: converts touch intervals (seconds) into hold frames.
    static constexpr double kFramesPerSecond = 44100.0;

    // Main thread: binds the control to deck `deckIndex` (0 or 1) of `engine`, which must
    // outlive the control. `notifications` receives "DefaultSpeedChanged" (object: the deck
    // number); `services` is used to close the track (its per-track memory is saved through
    // its defaults). Either may be null. An engine that was never initialised has no decks:
    // every handler then does nothing.
    waveControl(AudioOut& engine, int deckIndex, NotificationCenter* notifications = nullptr,
                EngineServices* services = nullptr);
    waveControl(const waveControl&) = delete;
    waveControl& operator=(const waveControl&) = delete;

    // Main thread: the deck's stop-proof flag (set by the mixer while this deck is alone on
    // air). While it answers true and the deck plays, touches are ignored. Empty = never set.
    void setStopProofQuery(std::function<bool()> query) { stopProofQuery_ = std::move(query); }
    // Main thread: called by play on the first play after a load (the play count).
    void setFirstPlayHook(PlayCountHook hook) { firstPlayHook_ = std::move(hook); }

    // Main thread: fingers put down, moved, lifted, or taken away by the system (points,
    // seconds). Each list holds the fingers of one event that changed.
    void touchesBegan(const std::vector<Touch>& touches);
    void touchesMoved(const std::vector<Touch>& touches);
    void touchesEnded(const std::vector<Touch>& touches);
    void touchesCancelled(const std::vector<Touch>& touches);

    // Main thread: freezes the display at the deck's base speed and position while it plays
    // (touches are then ignored); on a stopped deck it unfreezes instead.
    void freeze();
    // Main thread: unfreezes.
    void run();
    // Main thread: plays the deck (reopening the track it had before stop when it is no longer
    // loaded), lets the engine render, and sets the speed to the base speed at once.
    void play();
    // Main thread: closes the deck's track (saving its per-track memory), stops the deck and
    // rewinds it to frame 0.
    void stop();

    // Main thread: the track play reopens when the deck is not loaded (remembered by stop).
    const std::filesystem::path& storedTrack() const { return storedTrack_; }

    // --- state, main thread only (read by drawing and tests) ----------------------------------
    audioStream* stream = nullptr;
    float visualScale = 1.0f; // zoom factor
    float timeScale = 256.0f; // frames per row as last drawn: speed shown × 256 × visualScale
    int32_t noTouches = 0;    // fingers down on the control
    Point lastTouch;          // first finger: last location
    Point _lastTouch;         // first finger: where it came down
    Point secondTouch;        // second finger: last location
    Point _secondTouch;       // second finger: where it came down
    Point thirdTouch;         // third finger: last location
    Point _thirdTouch;        // third finger: where it came down
    double lastTime = 0.0;    // timestamp of the last first-finger event (seconds)
    float oldSpeed = 0.0f;    // last scratch speed (drag: last velocity, frames per frame)
    float oldSpeed1 = 0.0f;   // the one before
    bool wasTriple = false;   // a three-finger gesture is (or was) active in this sequence
    double lastDefaultSpeed = 1.0;   // base speed when the second finger came down
    double speedBeforeTripple = 1.0; // base speed when the touch sequence began
    float lastTX = 0.0f;             // second finger's last y during a seek (0 = not yet set)
    double indexBeforeStratch = 0.0; // audible position when a scratch of a playing deck began
    bool isFreezed = false;          // display frozen; touches ignored
    double speedFreezed = 0.0;       // speed shown while frozen
    double indexFreezed = 0.0;       // position shown while frozen (frames)

private:
    bool ignoresTouches() const;
    bool keyLock() const;
    void firstFingerDown(const Touch& touch);
    void seekMove(const Touch& touch);
    void oneFingerMove(const Touch& touch);
    void touchesLifted(const std::vector<Touch>& touches, bool cancelled);
    void lastFingerLifted();
    void replanDeck(bool markBusy);
    void clearStretcher();
    void cancelSpeedRamp();
    void clearDisplayFlags();
    void addHoldFrames(double seconds);

    AudioOut& engine_;
    int deckIndex_;
    NotificationCenter* notifications_;
    EngineServices* services_;
    std::function<bool()> stopProofQuery_;
    PlayCountHook firstPlayHook_;
    std::filesystem::path storedTrack_;
};

} // namespace vx
