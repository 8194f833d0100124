#pragma once
// PartyAutoMix: the mixing screen's auto-mix and party-mode part.
//
// Auto-mix lines the two decks up on request: the follower takes the master's tempo at once
// and catches up its phase at a slightly wrong speed for a number of output frames the engine
// counts on the render thread. Party mode plays a playlist without a DJ: a position trigger on
// the current deck starts the next one on the frame, the main thread crossfades over eight
// beats, and the roles swap once the fade has ended.
//
// It owns the party state (on/off, the current deck, the playlist, the random draws, the
// transition's timers and the loads it watches), the auto-mix button's state and flash, and
// the render-thread hand-offs. The triggers carry the façade as their target (their callbacks
// go through its methods); a member disarms them under the engine lock when this part goes.
//
// Threads: main thread unless a line says otherwise (meetingOfsteams and doAutocueTrigger run
// on the render thread: no allocation, no waiting beyond the engine's mailbox post).

#include "deck/DeckPart.h"
#include "platform/RenderMailbox.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vx {

class PartyModeController;
class VXAudioFileInfo;

class PartyAutoMix : private DeckPart {
public:
    PartyAutoMix(SampleTestController& owner, DeckContext& context);
    ~PartyAutoMix();

    // Auto-mix button: touch-down; the long press (after a touch-down) brakes both playing
    // decks over 44100 frames; the release lines the decks up (see autoMixAction).
    void autoMixDown();
    void longAutomixTap();
    // Beat-matches the follower to the master: tempo at once, phase by a catch-up speed for a
    // counted number of output frames, or, with both decks stopped, both started on a beat.
    // `fromButton` shows the flash; the automatic retries pass false. Nothing in party mode.
    void autoMixAction(bool fromButton);
    // Render thread (the follower's countdown): the follower back to its default speed, then
    // testDiff on the main thread. No allocation beyond the post, no waiting.
    void meetingOfsteams();
    // Main thread: measures the next beats of both decks again; more than 128 frames apart,
    // auto-mix runs again.
    void testDiff();
    // Party mode on or off; `sender` (a button of either screen, may be null) shows the state.
    void togglePartyMode(ButtonState* sender = nullptr);
    // Party mode only: the next deck pre-positioned a random 4, 6 or 8 beats before the play
    // point ("kSongPartInAutoPlay" of its length), snapped to its beats.
    void offsetNextTrack();
    // Party mode only: arms the current deck's position trigger at 80 % of its track (at least
    // nine beats ahead), on a beat that matches the next deck's beat parity.
    void setupAutocuePoint();
    // Party mode only: the transition starts at the current deck's next beat.
    void skipToNextTrack();
    // Render thread (the current deck's position trigger), party mode only: starts the next
    // deck and forwards continueAutocue to the main thread.
    void doAutocueTrigger();
    // The crossfade to the next deck over eight beats; the roles swap 0.7 s after it ends.
    void continueAutocue();
    // Party mode only: the next deck becomes current, the finished one loads the next entry
    // of the playlist and is pre-positioned once its track is open.
    void selectNextTrack2AutoPlay();
    // Shortest track party mode mixes, seconds: a shorter one cannot hold the lead-in and the
    // eight-beat crossfade.
    static constexpr double kMinPartyTrackSeconds = 20.0;
    // Any thread: why the track at `path` (of `seconds` length when known, else ≤ 0) cannot
    // be mixed in party mode (missing, unreadable, empty, too short), or nothing when it can.
    static std::optional<std::string> partyTrackProblem(const std::filesystem::path& path,
                                                        double seconds);
    // Tracks party mode skipped (file names), each once, in order.
    const std::vector<std::string>& partySkipped() const { return partySkipped_; }
    // The playlist from crate `crate` (0…4) / a random order of the user's tracks (and the
    // built-in ones unless "kHideBundled" is on and the user has tracks).
    void makePlayListFromCrate(int crate);
    void makeRandomPlaylist();
    // State.
    bool partyModeOn() const { return partyModeOn_.load(std::memory_order_relaxed); }
    // The master / on-air deck (0 or 1).
    int currentPartyStream() const { return currentPartyStream_.load(std::memory_order_relaxed); }
    // Transitions since party mode started.
    int tracksPlayed() const { return tracksPlayed_.load(std::memory_order_relaxed); }
    const std::vector<std::shared_ptr<VXAudioFileInfo>>& playList() const { return playList_; }
    void setPlayList(std::vector<std::shared_ptr<VXAudioFileInfo>> list) {
        playList_ = std::move(list);
    }
    int nextPlayListItem() const { return nextPlayListItem_; }
    void setNextPlayListItem(int item) { nextPlayListItem_ = item; }
    // Beats of the last pre-positioning (4, 6 or 8; 0 before the first).
    int partyModeNextTrackOffset() const { return partyModeNextTrackOffset_; }
    bool automixTaped() const { return automixTaped_; }
    bool longAutoMix() const { return longAutoMix_; }
    // The flash shown when the auto-mix button lines the decks up.
    const AlphaFade& autosyncFlash() const { return autosyncFlash_; }
    // True while a crossfade or a role swap of a transition is pending.
    bool transitionPending() const { return selectNextTimer_.handle.isValid(); }
    // The party screen while it is shown (null otherwise); it registers itself.
    PartyModeController* pmcontroller() const { return pmcontroller_; }
    void setPmcontroller(PartyModeController* controller) { pmcontroller_ = controller; }
    // Party mode's random draws are values in [0, 2^31). Each start of party mode restarts the
    // generator from the clock, or from `value` once this was called (tests fix the draws).
    void setRandomStart(uint32_t value);

private:
    // Random value in [0, 2^31).
    uint32_t partyRandom();
    double beatFrames(int deck, double fallback) const;
    double trackTempo(int deck) const;
    void restartRandom();
    void partyFileOpened(int deck);
    // Party mode: the next deck holds `path`, stopped and not being opened, and no
    // transition is under way.
    bool isWaitingNextTrack(const std::filesystem::path& path) const;
    void countPendingFirstPlays();
    // Disarms the triggers and countdowns aimed at the screen under the engine lock, so no
    // render callback reaches it once it is gone (declared last: destroyed first).
    struct TriggerRelease {
        PartyAutoMix* part = nullptr;
        ~TriggerRelease();
    };

    std::atomic<bool> partyModeOn_{false};
    std::atomic<int> currentPartyStream_{0};
    std::atomic<int> tracksPlayed_{0};
    std::vector<std::shared_ptr<VXAudioFileInfo>> playList_;
    int nextPlayListItem_ = 0;
    int partyModeNextTrackOffset_ = 0;
    bool automixTaped_ = false;
    bool longAutoMix_ = false;
    AlphaFade autosyncFlash_;
    PartyModeController* pmcontroller_ = nullptr;
    std::mt19937 random_;
    std::optional<uint32_t> randomStart_;
    OwnedTimer selectNextTimer_;
    float songPartInAutoPlay_ = 0.5f; // "kSongPartInAutoPlay", read when party mode starts
    bool partyObserving_ = false;
    std::array<bool, 2> partyLoadPending_{false, false};
    // Party mode: loads the next playable playlist entry on deck `d`, skipping (and logging)
    // those that cannot be mixed; false when no entry can.
    bool loadNextPartyTrack(int d);
    // Party mode: watches a deck's load; a load that fails or gives a track too short to mix
    // moves on to the next entry.
    void watchPartyLoad(int d, const std::string& name);
    void skipPartyTrack(const std::string& name, const std::string& why);
    std::array<OwnedTimer, 2> partyLoadWatch_;
    std::array<int, 2> partyLoadFailures_{0, 0};
    std::vector<std::string> partySkipped_;
    // Set on the render thread when a transition started a deck for the first time after its
    // load; the play count is stored on the main thread.
    std::array<std::atomic<bool>, 2> partyFirstPlay_{};
    // What the render thread's trigger and countdown ask of the main thread, through the
    // engine's mailbox (so the render thread neither allocates nor locks for them).
    static constexpr uint16_t kContinueAutocueMessage = kFirstCustomRenderMessage;
    static constexpr uint16_t kTestDiffMessage = kFirstCustomRenderMessage + 1;
    bool listening_ = false;
    void listenToRenderThread();
    TriggerRelease triggerRelease_{this};
};

} // namespace vx
