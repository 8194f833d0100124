#pragma once
// WaveformHub: the two decks' waveform controls and the frame clock that redraws them.
//
// The core's waveControl computes a deck's scrolling waveform as fixed arrays; this object owns
// one control per deck, bound to the engine's decks, and runs the redraw timer: on every tick
// (at the application's waveform redraw interval — 0.02 s, 1/15 s while the main menu shows,
// and not at all while the application says the waveforms do not animate) it refreshes each
// control's settings (layout, "don't mark even beats"), calls fillWaveData() on both and then
// emits frame(), on which the WaveformItems schedule their repaint. So each frame's arrays are
// filled exactly once, on the GUI thread, before the scene graph reads them during its sync
// (when the GUI thread is blocked).
//
// The stop-proof query of each control asks the mixing screen whether that deck is alone on
// air with stop-proof on, so a touch cannot stop a deck the crossfader protects.
//
// Threads: GUI (main) thread only. Owned by the composition root (created with it, destroyed
// before the application delegate); QML items find it through instance().

#include "controls/waveControl.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <memory>

namespace vx {
class DuovexAppDelegate;
class AudioOut;
struct audioStream;
} // namespace vx

namespace vx::ui {

class WaveformHub : public QObject {
    Q_OBJECT
public:
    // GUI thread: the hub of `app` (which must outlive it). The controls are made at the first
    // tick that finds the application's engine initialised (the launch creates it).
    explicit WaveformHub(DuovexAppDelegate& app, QObject* parent = nullptr);
    ~WaveformHub() override;

    // GUI thread: the hub QML items use (set by the composition root; null to clear).
    static void setInstance(WaveformHub* hub);
    static WaveformHub* instance();

    // GUI thread: deck 0 or 1's control, null until the engine is there.
    waveControl* control(int deck) const { return controls_[size_t(deck & 1)].get(); }
    // GUI thread: the engine's deck record, or null before the engine is initialised.
    audioStream* deck(int deck) const;
    DuovexAppDelegate& app() const { return app_; }
    // Any thread: the width of `control`'s point space: its geometry's, or the phone width
    // when the geometry leaves it at 0.
    static float controlWidth(const waveControl& control);

    // GUI thread: the tablet layout is in use.
    bool tablet() const;
    // GUI thread: at least one analysis task runs in the engine (the indicator is lit).
    bool analysing() const;
    // GUI thread: both decks' waveforms run on the middle of their control (move2Center) or
    // on their home line, shifted towards the deck's outer edge (Wider, as launched). The
    // choice holds across layout changes.
    void move2Center();
    void Wider();
    bool centred() const { return centred_; }
    // GUI thread: frames filled so far, and the timer's interval now (milliseconds).
    quint64 frameCount() const { return frameCount_; }
    int intervalMs() const { return timer_.interval(); }

    // GUI thread: one frame: settings, fillWaveData on both controls, frame(). The timer calls
    // it; tests may too.
    void tick();

signals:
    // A frame's arrays are filled; items repaint.
    void frame();

private:
    AudioOut* engine() const;
    bool makeControls();
    void applyLayout(waveControl& control, ScreenLayout layout);

    DuovexAppDelegate& app_;
    std::array<std::unique_ptr<waveControl>, 2> controls_;
    QTimer timer_;
    quint64 frameCount_ = 0;
    bool layoutApplied_ = false;
    bool centred_ = false;
};

} // namespace vx::ui
