#pragma once
// The mixing screen's view state: what the shell draws for each deck (buttons, labels, panels)
// and what the screen asks of the application around it. Plain data, main thread only; the
// controller's parts write it, the Qt shell and the tests read it.

#include <string>

namespace vx {

// What the mixing screen asks of the application around it (the application delegate).
class MixingScreenHost {
public:
    virtual ~MixingScreenHost() = default;
    // Opens the track browser for `deck`.
    virtual void showLoadFile(int deck) = 0;
    // Shows the main menu.
    virtual void showMainMenu() = 0;
    // True on a tablet-sized screen.
    virtual bool isTablet() const = 0;
    // True while party mode runs (the automatic mix owns the decks).
    virtual bool partyMode() const { return false; }
    // Tells the user something went wrong (an alert with one OK button).
    virtual void showMessage(const std::string& message) { (void)message; }
};

// One button: selected (highlighted), hidden, enabled for touches.
struct ButtonState {
    bool selected = false;
    bool hidden = false;
    bool enabled = true;
};

// One text label.
struct LabelState {
    std::string text;
    bool hidden = false;
    bool red = false; // the speed read-out turns red while the deck's pitch is locked
    float scale = 1.0f;
};

// Everything the screen shows for one deck.
struct DeckViewState {
    ButtonState play;               // bp1 (deck 0) / bp2 (deck 1): selected = playing
    bool navigatorTouchable = true; // the overview strip accepts touches (deck stopped)
    int navigatorUpdates = 0;       // updateDisplay calls on the overview strip (cue changes)
    LabelState loading;             // loadingRight (deck 0) / loadingLeft (deck 1)
    float ejectFlashAlpha = 0.0f;   // blinkRight / blinkLeft
    LabelState title;               // Song0Name / Song1Name
    int nameUpdates = 0;            // updateNames refreshes of the two labels
    LabelState artist;
    ButtonState pitchButtons; // b0 b1 (deck 0) / b2 b3 (deck 1) and the LP/HP slider
    bool lphpSliderShown = false;
    float lphpSliderValue = 0.5f;

    // Panels (shown = the panel is on screen; their buttons show the same as `selected`).
    ButtonState cuePanel;
    ButtonState loopPanel;
    ButtonState pitchPanel;
    ButtonState volumePanel;
    ButtonState eqPanel;
    ButtonState fxPanel;
    ButtonState bendPanel;

    // Loops.
    ButtonState loopInOut; // selected while an in point waits for its out point
    LabelState loopLabel;  // loop length in beats, "?" without a loop
    ButtonState loopMode;  // selected = loop on

    // Pitch, sync and tempo.
    LabelState speedReadout; // red while the pitch is locked; scale 2 while a button repeats
    ButtonState sync;        // shows the tempo lock
    bool tempoLockMark = false;
    bool pitchModeImage = false; // pitch-mode image shown (else the time-mode image)
    bool overModeHighlighted = false;
    bool modeImagesHighlighted = false;
    ButtonState reset;     // selected = pitch mode
    LabelState tapLabel;   // "[%i] %3.1f bpm" during a tap sequence
    ButtonState bpmButton; // the BPM entry pad's button
};

// An image's opacity the shell animates: from `from` to `to` over `seconds` (ease-out);
// `starts` counts the animations asked for.
struct AlphaFade {
    float from = 0.0f;
    float to = 0.0f;
    double seconds = 0.0;
    int starts = 0;
};

} // namespace vx
