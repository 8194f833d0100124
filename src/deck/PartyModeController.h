#pragma once
// PartyModeController: the full-screen party view's logic — what is playing, how long the mix
// has run, how long until the next transition, the tempo, the master volume, and the buttons
// that pause, skip and close — as plain state plus handlers, like the mixing screen's.
//
// It owns no decks and no mixing logic: it reads the engine's two deck records and the mixing
// screen's party state, and forwards every action to the mixing screen (party mode on/off, skip,
// play, stop, volume, tempo follow). While shown it refreshes its labels on a run-loop timer
// every 1/15 s and listens for "autoXFadeStop" to release the skip button at the end of a
// crossfade; it registers itself as the mixing screen's party screen so the remote control
// reaches its buttons.
//
// Threads: main thread only; the timers run on the main run loop, so tests drive it with a
// manual clock.

#include "deck/AMSlider.h"
#include "deck/SampleTestController.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <array>
#include <string>

namespace vx {

class AudioOut;

class PartyModeController {
public:
    // The labels' font, each label at its own size.
    static constexpr const char* kLabelFont = "Olney-Medium";
    // A tablet shows the view scaled by this around (384, 512) points.
    static constexpr float kTabletScale = 1.0666667f;
    static constexpr float kTabletCentreX = 384.0f;
    static constexpr float kTabletCentreY = 512.0f;

    // Main thread: the screen over `root`'s decks (the engine's two deck records).
    PartyModeController(SampleTestController& root, AudioOut& engine,
                        NotificationCenter& notifications, RunLoop& loop, bool tablet);
    // Main thread: stops the timers and the observer; unregisters from the mixing screen.
    ~PartyModeController();
    PartyModeController(const PartyModeController&) = delete;
    PartyModeController& operator=(const PartyModeController&) = delete;

    // --- lifecycle (main thread) ------------------------------------------------------------
    // Loaded: the volume slider turns vertical at the master gain (0…1).
    void viewDidLoad();
    // Appearing: volume at the master gain, play/pause showing party mode, registered as the
    // mixing screen's party screen, refresh every 1/15 s, "autoXFadeStop" observed, and on a
    // tablet the view scaled and centred.
    void viewWillAppear();
    // Disappearing: the refresh and the observer stop.
    void viewWillDisappear();

    // --- view state (main thread) -----------------------------------------------------------
    const LabelState& trackLabel() const { return trackLabel_; }
    const LabelState& artistLabel() const { return artistLabel_; }
    const LabelState& albumLabel() const { return albumLabel_; }
    const LabelState& fromCrate() const { return fromCrate_; }
    const LabelState& tracksPlayed() const { return tracksPlayed_; }
    const LabelState& totalTimeLabel() const { return totalTimeLabel_; }
    const LabelState& tillNextTrackLabel() const { return tillNextTrackLabel_; }
    const LabelState& BPMLabel() const { return BPMLabel_; }
    const ButtonState& playPauseButton() const { return playPauseButton_; }
    const ButtonState& nextButton() const { return nextButton_; }
    const ButtonState& closeButton() const { return closeButton_; }
    const ButtonState& closeButton2() const { return closeButton2_; }
    AMSlider& volumeSlider() { return volumeSlider_; }
    // The close button's opacity animation.
    const SampleTestController::AlphaFade& closeButtonFade() const { return closeButtonFade_; }
    bool viewEnabled() const { return viewEnabled_; }
    // False once closeAction removed the view.
    bool viewShown() const { return viewShown_; }
    float mainViewScale() const { return mainViewScale_; }
    bool mainViewCentred() const { return mainViewCentred_; }
    // Which decks played before the last pause (deck 0, deck 1).
    const std::array<bool, 2>& prevState() const { return prevState_; }
    // The pitch step being held (± the pitch step; 0 none).
    double incrementValue() const { return IncrementValue_; }
    bool refreshing() const { return refreshTimer_.isValid(); }

    // --- actions (main thread) --------------------------------------------------------------
    // Labels from the current deck: title, artist, album, the next deck's crate ("A".."E" or
    // "--"), transitions ("%2i"), elapsed output time and time to the transition ("%02d:%02d",
    // "Now"), BPM ("%3.1f").
    void refreshInterface();
    // Party mode off: on, the output's frame counter reset. On: pause (both decks stop, which
    // played is remembered) or resume those decks.
    void playPauseAction();
    // Party mode only: the transition starts at the current deck's next beat; the skip and
    // play/pause buttons stay blocked until the crossfade ends.
    void skipAction();
    // Party mode off and the view removed.
    void closeAction();
    // End of a crossfade: the buttons are released.
    void nextTrackStop();
    // The volume slider moved: the master gain follows (both master sliders of the mixing
    // screen too).
    void volumeAction();
    // Pitch buttons for both decks at once: one step at the press, the next after 0.5 s, then
    // one every 0.1 s while held; the quieter deck follows the louder.
    void plusButton();
    void minusButton();
    void plusButtonUp();
    void minusButtonUp();
    void SpeedTimerFirst();
    void SpeedTimerSecond();
    // Deck `deck` (0 or 1) follows the other's tempo (the mixing screen's follow).
    void tideTempoForSide(int deck);
    // The close button fades out over 0.1 s / in over 0.3 s from where it stands.
    void closebuttonHide();
    void closebuttonShow();

private:
    bool playing(int deck) const;
    void pitchPress(double step);
    void pitchRelease();
    void applyStep();
    void followLouder();

    SampleTestController& rootController_;
    AudioOut& engine_;
    NotificationCenter& notifications_;
    RunLoop& loop_;
    bool tablet_;

    AMSlider volumeSlider_;
    LabelState trackLabel_;
    LabelState artistLabel_;
    LabelState albumLabel_;
    LabelState fromCrate_;
    LabelState tracksPlayed_;
    ButtonState playPauseButton_;
    ButtonState nextButton_;
    ButtonState closeButton_;
    ButtonState closeButton2_;
    LabelState totalTimeLabel_;
    LabelState tillNextTrackLabel_;
    LabelState BPMLabel_;
    bool viewEnabled_ = true;
    bool viewShown_ = true;
    float mainViewScale_ = 1.0f;
    bool mainViewCentred_ = false;
    std::array<bool, 2> prevState_{false, false};
    TimerHandle refreshTimer_;
    double IncrementValue_ = 0.0;
    TimerHandle IncrementSpeedTimer_;
    SampleTestController::AlphaFade closeButtonFade_{1.0f, 1.0f, 0.0, 0};
};

} // namespace vx
