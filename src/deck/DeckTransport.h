#pragma once
// DeckTransport: the mixing screen's transport and cue part — restoring the decks at start-up,
// play, stop, pause, wind and eject, the cue points (set, delete, hold, step), the loop panel,
// the remote control, and the refreshes of the buttons and names they change. It owns the cue
// hold's state, the remote control's memory of what played, the loop's user-set out point and
// the cue-snapping setting ("kSnapCueToBeat").
//
// Positions are frames; every handler takes the deck (0 or 1) and is harmless on an unloaded
// deck. The engine's deck operations do the work, under the engine lock where the render
// thread must not see a change half-made.
//
// Threads: main thread only.

#include "deck/DeckPart.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace vx {

class DeckTransport : private DeckPart {
public:
    DeckTransport(SampleTestController& owner, DeckContext& context);
    ~DeckTransport();

    // Reads "kSnapCueToBeat" (at start and on every change).
    void readSettings();
    void setSnapCueToBeat(bool on) { snapCueToBeat_ = on; }

    // Loads the saved tracks ("kStreamFile0/1", "kStreamCrate0/1", else the built-in
    // defaults): deck 0 first, deck 1 once deck 0 has finished loading (polled every 0.1 s).
    void restoreDecks(const std::string& fallback0, const std::string& fallback1);
    bool startupLoadsStarted() const { return startupLoads_ >= 2; }
    // A deck finished opening its track ("fileOpened").
    void fileOpened(int deck);

    void playStop(int deck);
    void play(int deck);
    void stop(int deck);
    void pause(int deck);
    void ffButton(int deck);
    void rewButton(int deck);
    // Eject: flash, (phone) disable touches, ask the host for the browser after 0.01 s.
    void eject(int deck);
    void blinkOff(int deck);
    void cueButton(int deck);
    void cueDeleteButton(int deck);
    void cueHoldButton(int deck);
    void cueHoldButtonUp(int deck);
    void cueStep(int deck, bool forward);
    void cueLoopPanelSwitch(int deck);
    void checkPlayStop();
    void updatePlayButtons();
    void updateLoopButtons();
    void updateNames();
    void updateSliders();
    // Remote control: subtype 103 play/pause, 104 next, 105 previous.
    void remoteControlReceived(int subtype);
    void togglePlayPause();
    void playNextTrack();
    void playPreviousTrack();
    void setPanelShown(int deck, ButtonState DeckViewState::*panel, bool shown);

    // Loops: every handler but the panel switch and the label refresh acts only while the deck
    // plays. Loop points are frames snapped to beat marks.
    void loopInOut(int deck);
    void loopStop(int deck);
    void loopDivide(int deck);
    void loopExpand(int deck);
    void updateLoopLabels();
    void loopPanelSwitch(int deck);

private:
    void addCue(int deck, double frame);
    // Starts the deck (fade-in); its first play after a load raises the track's play count.
    // Returns deckPlay's result.
    int startDeck(int deck);
    // The deck a loop key acts on: a valid, playing deck, its scratch inertia stopped; null
    // otherwise (the key does nothing).
    audioStream* loopDeck(int deck);
    // Ends the deck's loop and forgets a pending in point.
    void endLoop(audioStream& s);

    int startupLoads_ = 0;
    std::unique_ptr<TimerHandle> startupPoll_;
    bool snapCueToBeat_ = true;

    // Cues.
    std::array<int, 2> holdCuePoint_{-1, -1};
    std::array<bool, 2> holdCueStreamOn_{false, false};
    std::array<bool, 2> playingAtPause_{false, false};

    // Loops.
    std::array<int32_t, 2> lastLoopEnd_{0, 0};
};

} // namespace vx
