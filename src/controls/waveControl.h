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
// Drawing (fillWaveData, in waveControlDrawing.cpp): once per frame, on the main thread, the
// control rebuilds fixed-size vertex and colour arrays from the deck record and its peak
// entries — one horizontal line per row, 480 rows, the play position on row 240 — plus the
// beat, even-beat, cue and minute marks, the loop region, a small position indicator, the EQ
// ticks and the level meter. The shell draws those arrays as line lists and nothing else. The
// deck's fields are atomics the render thread writes; the peak bytes are read one at a time
// through the record's atomic accessors, because the analysis or decode thread may still be
// filling them. A frame allocates nothing except the minute label's text when the minute it
// shows changes.
//
// Why built this way: the speed, ramp, re-plan, stretcher-clear, play and stop operations are
// the engine's own functions, so a touch changes the deck exactly as a button would; the control
// only decides which of them to call, which keeps it testable against a real engine offline.

#include "platform/SampleRate.h"
#include "analysis/DrawingTypes.h"
#include "analysis/MeterTable.h"
#include "engine/Transport.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
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
    static constexpr double kFramesPerSecond = kFrameRate;

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

    // --- drawing ------------------------------------------------------------------------------
    // Rows of the waveform (one point each) and the row of the play position.
    static constexpr int kRows = 480;
    static constexpr int kCenterRow = 240;
    // Half-length of a full-width marker line (cue, minute), points.
    static constexpr float kMarkerHalfLength = 50.0f;
    // Beat-mark slots, and how many of them a frame may fill.
    static constexpr int kBeatMarkSlots = 32;
    static constexpr int kMaxBeatMarks = 31;
    // Even-beat marks a frame may place.
    static constexpr int kMaxEvenMarks = 15;
    // Level-meter segments.
    static constexpr int kMeterSegments = 7;
    // Minutes per peak entry: 256 / 44100 / 60.
    static constexpr double kMinutesPerEntry = 9.674981e-5;

    // The geometry of one layout: every value that differs between the phone and the tablet,
    // and the x positions chosen for the marks (points, in the control's own frame).
    struct Geometry {
        float width = 0.0f;          // control width; rows span the full width
        float heightPerByte = 1.0f;  // waveform half-length per unit of an entry's height
        float evenMarkOffset = 6.0f; // rows an even mark sits below its beat
        float indicatorLineWidth = 2.0f;
        float eqTickLineWidth = 4.0f;
        float eqTickLength = 4.0f;
        float evenMarkLineWidth = 4.0f;
        uint8_t evenMarkAlpha = 129;
        float meterLineWidth = 3.0f;
        float labelOffsetX = 20.0f;
        float labelOffsetY = 13.0f;
        float labelFontSize = 14.0f;
        float labelWidth = 50.0f;
        float labelHeight = 40.0f;
        float beatMarkHalfLength = 50.0f; // beat marks span zeroX ± this
        float evenMarkInner = 52.0f;      // even marks run from zeroX ± inner to zeroX ± outer,
        float evenMarkOuter = 60.0f;      // on the deck's inner side
        float indicatorInset = 4.0f;      // position indicator tick: this far from the outer edge
        float indicatorLength = 8.0f;     // its line at y: from the outer edge this far inwards
        float meterInset = 12.0f;         // level meter: this far from the outer edge
        float meterBottom = 470.0f;       // y of the lowest segment's bottom end
        float meterSegmentLength = 8.0f;  // each segment runs upwards this far
        float meterSegmentGap = 3.0f;     // and the next starts this far above it
        float eqHalfWidth = 30.0f;        // EQ span: zeroX ± this
        std::array<float, 3> eqRows{440.0f, 450.0f, 460.0f}; // rows of the high, mid, low ticks
    };

    // Main thread: chooses the layout's geometry and places the arrays for it: the centre line
    // at its home x, the marks, indicator, EQ display and meter by deck side (deck 0 is on the
    // left of the screen, deck 1 on the right). The constructor sets the phone layout.
    void setLayout(ScreenLayout layout);
    ScreenLayout layout() const { return layout_; }
    const Geometry& geometry() const { return geometry_; }
    // Main thread: the waveform's centre line at its home x or its centre x (the control's
    // middle).
    void moveToHome();
    void moveToCenter();
    // Main thread: the app's "don't mark even beats" setting.
    void setDontMarkEvenBeat(bool on) { dontMarkEvenBeat_ = on; }
    bool dontMarkEvenBeat() const { return dontMarkEvenBeat_; }

    // Main thread, once per frame: rebuilds the drawing arrays from the deck (see the class
    // comment). Allocates only when the minute label changes.
    void fillWaveData();
    // Main thread: every beat-mark slot's end 0 gets beatMarkColor[0], end 1 the same colour
    // with alpha 0, so each mark fades out along its length.
    void restoreBeatMarksColor();
    // Main thread: the waveform colours, indexed by the low four bits of an entry's flags.
    void setPeakColor(const std::array<Rgba8, 3>& colors);

    // Main thread: the colour of vertex `end` (0 or 1) of row `row` as last filled.
    Rgba8 rowColor(int row, int end) const;
    // Main thread: the x extent of row `row` as last filled (points).
    float rowLeft(int row) const { return waveData[static_cast<size_t>(4 * row)]; }
    float rowRight(int row) const { return waveData[static_cast<size_t>(4 * row + 2)]; }

    // --- drawing state, main thread only (read by the shell and tests) --------------------------
    MeterTable mTable;
    float zeroX = 80.0f;                  // x of the waveform's centre line
    float _zeroHome = 80.0f;              // its home x
    float _zeroCenter = 80.0f;            // its centre x
    float ampX = 12.0f;                   // x of the level meter
    std::array<float, 8192> waveData{};   // row r: (x0, r) (x1, r) in floats 4r…4r+3
    std::array<uint8_t, 16392> colors{};  // row r: RGBA of both ends in bytes 8r…8r+7
    std::array<float, 8> posIndicator{};  // tick (x, y−5)(x, y+5), line (x0, y)(x1, y)
    std::array<float, 28> ampIndicator{}; // 7 segments of 2 points
    std::array<uint8_t, 56> ampIndicatorColors{};
    int32_t ampValue = 0; // lit level-meter segments, 0…7
    std::array<Rgba8, 3> peakColor{Rgba8{255, 255, 255, 255}, Rgba8{255, 255, 255, 255},
                                   Rgba8{255, 255, 255, 255}}; // all white until set
    std::array<float, 128> beatMarkCoord{};    // mark m: (x0, y) (x1, y) in floats 4m…4m+3
    std::array<uint8_t, 256> beatMarkColors{}; // mark m: RGBA of both ends in bytes 8m…8m+7
    std::array<Rgba8, 2> beatMarkColor{};      // the deck's beat-mark colour at the two ends
    int32_t numBeatMarks = 0;
    std::array<float, 12> eqDisplayCoord{}; // ticks high, mid, low: (x0, y) (x1, y)
    float eqWidth = 60.0f;
    float eqStart = 50.0f;
    bool showSmallNavigator = true;
    bool isMinuteLabelVisible = false;
    std::string minuteLabel;            // "%02.0f:00" of lastMinuteValue
    bool minuteLabelAlignRight = false; // right-aligned text (sideno non-zero)
    Point minuteLabelPoint;             // top left of the label's 50 × 40 rectangle
    float lastMinuteValue = -1.0f;      // the minute the label shows (−1: none yet)
    int32_t sideno = 0;                 // 0: deck on the left of the screen; else on the right
    int32_t centerCoord = kCenterRow;
    std::array<float, 64> evenMarkCoords{}; // mark m: (x0, y) (x1, y) in floats 4m…4m+3
    int32_t evenMarkNum = 0;

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
    void resetRows();
    void setRowColor(int row, Rgba8 color);
    void setMarkerLine(int row, Rgba8 color);
    void placeMinuteLabel(int row, double minute);
    void fillLevelMeter(double position);
    void highlightPlayhead();
    void fillEqDisplay();
    void placeFixedArrays();

    AudioOut& engine_;
    int deckIndex_;
    NotificationCenter* notifications_;
    EngineServices* services_;
    std::function<bool()> stopProofQuery_;
    PlayCountHook firstPlayHook_;
    std::filesystem::path storedTrack_;
    ScreenLayout layout_ = ScreenLayout::Phone;
    Geometry geometry_;
    bool dontMarkEvenBeat_ = false;
};

} // namespace vx
