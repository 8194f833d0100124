// PartyAutoMix: auto-mix and party mode.
//
// Auto-mix lines the two decks up on request. The follower's default speed takes the master's
// tempo at once; its phase is caught up by running it a little slow (0.66) or fast (1.25) for
// exactly as many output frames as it takes to close the gap between the two decks' next beats.
// The engine counts those frames on the follower (its countdown) and calls meetingOfsteams on
// the render thread when they are done, so the catch-up ends on the frame it should, however
// the buffers fall. The main thread then measures again and repeats until the next beats lie
// within 128 frames of each other.
//
// Party mode plays a playlist without a DJ. The current deck carries a position trigger near
// 80 % of its track; the next deck waits stopped, tempo-matched and parked a few beats before
// its own play point. When the trigger fires (render thread) the next deck starts on that very
// frame, the main thread crossfades over eight beats, and 0.7 s after the fade the roles swap
// and the finished deck loads the following playlist entry. A load finishes on the deck's
// decode thread; the new track is parked and the trigger re-armed when "fileOpened" arrives.
//
// Threads: the two render-thread entries (meetingOfsteams, doAutocueTrigger) only set a speed
// or start a deck, then post the rest to the main run loop; everything else is main thread.
// Measurements that compare the two decks are made under the engine lock so both positions
// belong to the same instant. The triggers carry the façade as their target; a member disarms
// them under the engine lock when this part goes away.

#include "deck/PartyAutoMix.h"

#include "deck/SampleTestController.h"
#include "library/TrackLocation.h"
#include "platform/SampleRate.h"

#include "engine/AudioOut.h"
#include "engine/DeckBeats.h"
#include "engine/DeckSpeed.h"
#include "engine/Stretcher.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace vx {

namespace {

// Catch-up speeds of the follower: its beat comes first / the master's does.
// How often the main thread looks for what the render thread asked of it (a transition's
// crossfade, an auto-mix re-measure), seconds.
constexpr double kCatchUpSlow = 0.66;
constexpr double kCatchUpFast = 1.25;
// Next beats closer than this (frames) count as matched.
constexpr double kMatchedFrames = 128.0;
// Glide of the long press on the auto-mix button, frames.
constexpr int kAutoMixBrakeFrames = kSampleRate; // one second
// The auto-mix flash fades over the catch-up time, clamped to this range, seconds.
constexpr double kFlashMinSeconds = 0.3;
constexpr double kFlashMaxSeconds = 1.0;
// Stand-ins while a track's tempo is unknown: one beat in seconds and in frames, nine beats.
constexpr double kUnknownBeatSeconds = 0.5;
constexpr double kUnknownBeatFrames = 22050.0;
constexpr double kUnknownNineBeatsFrames = 198450.0;
// The autocue point's share of the track and the shortest distance ahead, in beats.
constexpr double kAutocuePart = 0.8;
constexpr double kAutocueMinBeats = 9.0;
// Beats of a transition's crossfade, and the wait after it before the roles swap, seconds.
constexpr double kTransitionBeats = 8.0;
constexpr double kSwapDelaySeconds = 0.7;
// Beats the parked track stays before its play point, on top of the random offset.
constexpr double kParkBeats = 8.0;
// "kSongPartInAutoPlay" when unset or not positive.
constexpr float kDefaultSongPart = 0.5f;
// Range of a random draw: values in [0, 2^31).
constexpr double kRandomRange = 2147483648.0;

std::shared_ptr<VXAudioFileInfo> infoOf(const audioStream& s) {
    if (!s.isLoaded.load(std::memory_order_acquire)) {
        return nullptr;
    }
    return s.info();
}

// The engine calls these on the render thread with the controller as target.
void autocueTriggered(void* target, int) {
    static_cast<SampleTestController*>(target)->doAutocueTrigger();
}

void streamsMet(void* target, int) {
    static_cast<SampleTestController*>(target)->meetingOfsteams();
}

} // namespace

PartyAutoMix::PartyAutoMix(SampleTestController& owner, DeckContext& context)
    : DeckPart(owner, context) {}

PartyAutoMix::~PartyAutoMix() {
    if (listening_) {
        engine_.onRenderMessage(kContinueAutocueMessage, nullptr);
        engine_.onRenderMessage(kTestDiffMessage, nullptr);
    }
}

PartyAutoMix::TriggerRelease::~TriggerRelease() {
    AudioOut& engine = part->engine_;
    SampleTestController* const owner = &part->owner_;
    if (!engine.initialized()) {
        return;
    }
    // The render thread calls triggers inside the engine lock: once they are cleared under
    // it, no callback can reach the controller any more.
    std::lock_guard lock(engine.engineLock());
    for (int d = 0; d < 2; ++d) {
        audioStream& s = engine.deck(d);
        if (s.triggerTarget.load(std::memory_order_relaxed) == owner) {
            s.triggerArmed.store(false, std::memory_order_release);
            s.triggerCountdown.store(0, std::memory_order_relaxed);
            s.triggerSelector.store(nullptr, std::memory_order_relaxed);
            s.triggerTarget.store(nullptr, std::memory_order_relaxed);
        }
    }
}

// --- helpers ----------------------------------------------------------------------------

double PartyAutoMix::trackTempo(int d) const {
    if (!loaded(d)) {
        return 0.0;
    }
    const auto info = infoOf(deck(d));
    const double tempo = info ? info->tempo : 0.0;
    return std::isfinite(tempo) && tempo > 0.0 ? tempo : 0.0;
}

double PartyAutoMix::beatFrames(int d, double fallback) const {
    const double tempo = trackTempo(d);
    return tempo > 0.0 ? 60.0 / tempo * kFrameRate : fallback;
}

void PartyAutoMix::setRandomStart(uint32_t value) {
    randomStart_ = value;
    random_ = std::mt19937(value);
}

void PartyAutoMix::restartRandom() {
    // The loop's clock is the system's in the application and the audio clock in headless
    // runs, so a headless party mix comes out the same every time.
    const auto fromClock = uint32_t(int64_t(loop_.clock().now() * 1000.0));
    random_ = std::mt19937(randomStart_.value_or(fromClock));
}

uint32_t PartyAutoMix::partyRandom() {
    return uint32_t(random_() >> 1);
}

// --- auto-mix ---------------------------------------------------------------------------

void PartyAutoMix::autoMixDown() {
    automixTaped_ = true;
    longAutoMix_ = false;
}

void PartyAutoMix::longAutomixTap() {
    if (!automixTaped_) {
        return;
    }
    longAutoMix_ = true;
    owner_.breakActionUp(kAutoMixBrakeFrames);
}

void PartyAutoMix::autoMixAction(bool fromButton) {
    if (partyModeOn() || longAutoMix_) {
        return;
    }
    automixTaped_ = false;
    if (!loaded(0) || !loaded(1)) {
        return;
    }
    const bool wasPlaying0 = playing(0);
    const bool wasPlaying1 = playing(1);
    int m = 0;
    if (wasPlaying0 != wasPlaying1) {
        // The deck on air leads; the other joins it with an empty stretcher.
        m = wasPlaying0 ? 0 : 1;
        audioStream& other = deck(1 - m);
        if (other.stretcher) {
            other.stretcher->requestClear();
        }
        owner_.play(1 - m);
    } else {
        m = deck(1).faderGain.load() > deck(0).faderGain.load() ? 1 : 0;
    }
    const int f = 1 - m;
    audioStream& master = deck(m);
    audioStream& follower = deck(f);
    const double masterTempo = trackTempo(m);
    const double followerTempo = trackTempo(f);
    const bool tempiKnown = masterTempo > 0.0 && followerTempo > 0.0;
    const double ratio = tempiKnown ? masterTempo * master.baseSpeed.load() / followerTempo : 1.0;
    const bool dontMarkEven = defaults_.boolForKey("kDontMarkEvenBeat", false);

    if (wasPlaying0 || wasPlaying1) {
        if (!tempiKnown) {
            return;
        }
        double catchUpFrames = 0.0;
        {
            std::lock_guard lock(engine_.engineLock());
            owner_.setDefaultSpeed(f, ratio);
            const double masterAt = audiblePosition(master);
            const double followerAt = audiblePosition(follower);
            const double masterBeat = nextBeatFromFrame(master, masterAt, kBeatAny);
            const int parity = dontMarkEven ? kBeatAny : beatParityAt(master, masterBeat);
            const double toMasterBeat = masterBeat - masterAt;
            const double toFollowerBeat =
                nextBeatFromFrame(follower, followerAt, parity) - followerAt;
            const double v = toMasterBeat > toFollowerBeat ? kCatchUpSlow : kCatchUpFast;
            setSpeedNow(follower, v);
            catchUpFrames = std::round(std::fabs(toMasterBeat - toFollowerBeat) /
                                       std::fabs(master.baseSpeed.load() - v));
            // At least one frame: a countdown of 0 never ends, and the follower would keep
            // its catch-up speed.
            const double frames =
                std::clamp(catchUpFrames, 1.0, double(std::numeric_limits<int32_t>::max()));
            listenToRenderThread();
            setCountdown(follower, int32_t(frames), &owner_, &streamsMet);
            currentPartyStream_.store(m);
        }
        if (fromButton) {
            autosyncFlash_.from = 1.0f;
            autosyncFlash_.to = 0.0f;
            autosyncFlash_.seconds =
                std::clamp(catchUpFrames / kFrameRate, kFlashMinSeconds, kFlashMaxSeconds);
            autosyncFlash_.starts += 1;
        }
        return;
    }

    // Both stopped: both on a beat (deck 1 on one of deck 0's parity), then both start.
    std::lock_guard lock(engine_.engineLock());
    if (trackTempo(0) > 0.0) {
        stepToNextBeat(deck(0), kBeatAny);
    }
    if (trackTempo(1) > 0.0) {
        const int parity = dontMarkEven ? kBeatAny : beatParityAt(deck(0), deck(0).position.load());
        stepToNextBeat(deck(1), parity);
    }
    if (tempiKnown) {
        owner_.setDefaultSpeed(f, ratio);
    }
    owner_.play(0);
    owner_.play(1);
}

void PartyAutoMix::meetingOfsteams() {
    // Render thread: what setSpeedNow does, minus what may allocate (the stretcher's pitch is
    // requested, the effects are retuned by testDiff on the main thread).
    audioStream& follower = deck(1 - currentPartyStream());
    const double base = follower.baseSpeed.load(std::memory_order_relaxed);
    follower.speed.store(base, std::memory_order_relaxed);
    follower.speedRamp.On.store(false, std::memory_order_release);
    if (std::fabs(base) > 0.75 && follower.stretcher) {
        follower.stretcher->requestPitch(std::fabs(1.0 / base));
    }
    // Nothing that allocates or locks here: the main loop's next pass checks the match.
    engine_.sendToMain(kTestDiffMessage, 0);
}

void PartyAutoMix::testDiff() {
    const int m = currentPartyStream();
    const int f = 1 - m;
    // A deck stopped meanwhile is not started again by a retry.
    if (!playing(m) || !playing(f)) {
        return;
    }
    retuneTempoSyncedEffects(deck(f));
    double gap = 0.0;
    {
        std::lock_guard lock(engine_.engineLock());
        const double masterAt = audiblePosition(deck(m));
        const double followerAt = audiblePosition(deck(f));
        const double toMasterBeat = nextBeatFromFrame(deck(m), masterAt, kBeatAny) - masterAt;
        const double toFollowerBeat = nextBeatFromFrame(deck(f), followerAt, kBeatAny) - followerAt;
        gap = std::fabs(toMasterBeat - toFollowerBeat);
    }
    if (gap > kMatchedFrames) {
        autoMixAction(false);
    }
}

// --- party mode -------------------------------------------------------------------------

void PartyAutoMix::togglePartyMode(ButtonState* sender) {
    if (partyModeOn()) {
        partyModeOn_.store(false);
        if (sender) {
            sender->selected = false;
        }
        return; // the decks play on
    }
    listenToRenderThread();
    if (!partyObserving_) {
        partyObserving_ = true;
        notifications_.addObserver(&owner_, "fileOpened", [this](const Notification& n) {
            if (const int* d = std::get_if<int>(&n.object)) {
                partyFileOpened(*d & 1);
            }
        });
        // After the screen's own observer (which makes the analysed deck follow the other):
        // a track that got its tempo is parked and cued again on its beats. Only the waiting
        // next deck holding that very file: an analysis of anything else, or one that ends
        // once the next deck is already playing in (the crossfade), must not move an audible
        // deck back to its park point nor arm a second trigger on the current one.
        notifications_.addObserver(&owner_, "Analyze Complete", [this](const Notification& n) {
            const std::string* path = std::get_if<std::string>(&n.object);
            if (path && partyModeOn() && isWaitingNextTrack(*path)) {
                offsetNextTrack();
                setupAutocuePoint();
            }
        });
    }
    partyModeOn_.store(true);
    restartRandom();
    songPartInAutoPlay_ = defaults_.floatForKey("kSongPartInAutoPlay", 0.0f);
    if (!(songPartInAutoPlay_ > 0.0f)) {
        songPartInAutoPlay_ = kDefaultSongPart;
        defaults_.setFloat("kSongPartInAutoPlay", songPartInAutoPlay_);
    }
    if (!engine_.initialized()) {
        if (sender) {
            sender->selected = true;
        }
        return;
    }

    const int p = deck(1).faderGain.load() > deck(0).faderGain.load() ? 1 : 0;
    const int n = 1 - p;
    currentPartyStream_.store(p);
    owner_.play(p);
    deck(0).loopActive.store(false);
    deck(1).loopActive.store(false);
    owner_.stop(n);
    offsetNextTrack();
    owner_.tideTempoForSide(n);
    if (deck(n).faderGain.load() != 0.0f) {
        // The current deck alone on air within one beat.
        const double tempo = trackTempo(p);
        owner_.beginFadeTo(p, tempo > 0.0 ? 60.0 / (tempo * deck(p).baseSpeed.load())
                                          : kUnknownBeatSeconds);
    }
    setupAutocuePoint();

    const int crate = deck(n).crateIndex.load();
    if (crate >= 0) {
        makePlayListFromCrate(crate);
    } else {
        makeRandomPlaylist();
    }
    nextPlayListItem_ = 0;
    if (playList_.size() >= 2) {
        // The two tracks on the decks open the list, each once.
        const auto current = infoOf(deck(p));
        const auto next = infoOf(deck(n));
        const auto sameFile = [](const std::shared_ptr<VXAudioFileInfo>& a,
                                 const std::shared_ptr<VXAudioFileInfo>& b) {
            return a && b && !a->fileName.empty() && a->fileName == b->fileName;
        };
        std::erase_if(playList_, [&](const std::shared_ptr<VXAudioFileInfo>& entry) {
            return sameFile(entry, current) || sameFile(entry, next);
        });
        int inserted = 0;
        for (const auto& info : {current, next}) {
            if (info) {
                playList_.insert(playList_.begin() + inserted, info);
                ++inserted;
            }
        }
        nextPlayListItem_ = inserted < int(playList_.size()) ? inserted : 0;
        tracksPlayed_.store(0);
    }
    if (sender) {
        sender->selected = true;
    }
}

bool PartyAutoMix::isWaitingNextTrack(const std::filesystem::path& path) const {
    const int n = 1 - currentPartyStream();
    if (!loaded(n) || playing(n) || engine_.deckOpening(n) || transitionPending()) {
        return false;
    }
    const auto info = infoOf(deck(n));
    return info && !info->fileName.empty() && info->fileName == path;
}

void PartyAutoMix::offsetNextTrack() {
    if (!partyModeOn()) {
        return;
    }
    const int n = 1 - currentPartyStream();
    const int q = 2 + int(3.0 * double(partyRandom()) / kRandomRange);
    partyModeNextTrackOffset_ = 2 * q;
    if (!loaded(n) || engine_.deckOpening(n)) {
        return;
    }
    audioStream& s = deck(n);
    const double beat = beatFrames(n, kUnknownBeatFrames);
    const float playPoint = float(s.lengthFrames.load()) * songPartInAutoPlay_;
    const double parked = double(playPoint) - (partyModeNextTrackOffset_ + kParkBeats) * beat;
    std::lock_guard lock(engine_.engineLock());
    // A track too short for the lead-in starts at its beginning.
    s.position.store(std::max(parked, 0.0));
    s.replanNeeded.store(true);
    skipBeatsForNextTrack(s, partyModeNextTrackOffset_);
}

void PartyAutoMix::setupAutocuePoint() {
    if (!partyModeOn()) {
        return;
    }
    const int p = currentPartyStream();
    const int n = 1 - p;
    if (!loaded(p)) {
        return;
    }
    audioStream& s = deck(p);
    const double nineBeats =
        trackTempo(p) > 0.0 ? beatFrames(p, 0.0) * kAutocueMinBeats : kUnknownNineBeatsFrames;
    const bool matchParity = !defaults_.boolForKey("kDontMarkEvenBeat", false);
    // The next deck's beats are not read while its new track is being opened.
    const bool nextReadable = loaded(n) && !engine_.deckOpening(n);
    std::lock_guard lock(engine_.engineLock());
    double t = std::trunc(kAutocuePart * s.lengthFrames.load());
    const double position = s.position.load();
    if (t <= position) {
        t = std::trunc(position + nineBeats);
    }
    const int parity =
        matchParity && nextReadable ? beatParityAt(deck(n), deck(n).position.load()) : kBeatAny;
    // The transition must start on a beat: when the first beat after t has the wrong parity,
    // the search goes on to the next one that has it rather than arming off the beat.
    t = nextBeatOfParity(s, t, parity);
    // Armed on the heard frame: the stretcher's depth follows the deck's speed, which may still
    // change (the deck may not even have played yet) before the trigger is reached.
    armAudibleTrigger(s, int32_t(t), &owner_, &autocueTriggered);
}

void PartyAutoMix::skipToNextTrack() {
    if (!partyModeOn()) {
        return;
    }
    const int p = currentPartyStream();
    if (!loaded(p)) {
        return;
    }
    audioStream& s = deck(p);
    std::lock_guard lock(engine_.engineLock());
    const double t = nextBeatFromFrame(s, s.position.load(), kBeatAny);
    armAudibleTrigger(s, int32_t(t), &owner_, &autocueTriggered);
}

void PartyAutoMix::doAutocueTrigger() {
    if (!partyModeOn()) {
        return;
    }
    tracksPlayed_.fetch_add(1);
    const int n = 1 - currentPartyStream();
    audioStream& next = deck(n);
    // The play count is stored by the main thread (a database write).
    const bool firstPlay = next.firstPlayPending.load(std::memory_order_relaxed);
    if (deckPlay(next) == 1 && firstPlay) {
        partyFirstPlay_[size_t(n)].store(true, std::memory_order_release);
    }
    engine_.sendToMain(kContinueAutocueMessage, n);
}

void PartyAutoMix::listenToRenderThread() {
    if (listening_) {
        return;
    }
    listening_ = true;
    engine_.onRenderMessage(kContinueAutocueMessage, [this](int) { continueAutocue(); });
    engine_.onRenderMessage(kTestDiffMessage, [this](int) { testDiff(); });
}

void PartyAutoMix::countPendingFirstPlays() {
    for (int d = 0; d < 2; ++d) {
        if (!partyFirstPlay_[size_t(d)].exchange(false, std::memory_order_acquire)) {
            continue;
        }
        const auto info = loaded(d) ? infoOf(deck(d)) : nullptr;
        if (db_ && info) {
            db_->incrementPlayCountForInfo(*info);
        }
    }
}

void PartyAutoMix::continueAutocue() {
    countPendingFirstPlays();
    const int p = currentPartyStream();
    const double tempo = trackTempo(p);
    const double base = loaded(p) ? deck(p).baseSpeed.load() : 1.0;
    // One beat as heard: the track's beat shortened by the deck's speed (a faster deck's beats
    // come sooner), so the fade lasts eight heard beats.
    const double beat =
        (tempo > 0.0 ? 60.0 / tempo : kUnknownBeatSeconds) / (base > 0.0 ? base : 1.0);
    owner_.beginFadeTo(1 - p, kTransitionBeats * beat);
    selectNextTimer_.handle.invalidate();
    selectNextTimer_.handle = loop_.after(kTransitionBeats * beat + kSwapDelaySeconds,
                                          [this] { selectNextTrack2AutoPlay(); });
}

void PartyAutoMix::selectNextTrack2AutoPlay() {
    if (!partyModeOn()) {
        return;
    }
    const int finished = currentPartyStream();
    currentPartyStream_.store(1 - finished);
    owner_.stop(finished);
    partyLoadFailures_[size_t(finished)] = 0;
    const bool loading = loadNextPartyTrack(finished);
    if (engine_.initialized()) {
        deck(finished).loopActive.store(false);
    }
    partyLoadPending_[size_t(finished)] = loading;
    if (!loading) {
        offsetNextTrack();
        owner_.tideTempoForSide(finished);
    }
    setupAutocuePoint();
    owner_.updateNames();
}

std::optional<std::string> PartyAutoMix::partyTrackProblem(const std::filesystem::path& path,
                                                           double seconds) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::string(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return std::string("not a regular file");
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::string(std::strerror(errno));
    }
    ::close(fd);
    if (info.st_size == 0) {
        return std::string("empty file");
    }
    if (seconds >= 0.0 && seconds < kMinPartyTrackSeconds) {
        char text[80];
        std::snprintf(text, sizeof text, "%.1f s long, too short to mix (at least %.0f s)", seconds,
                      kMinPartyTrackSeconds);
        return std::string(text);
    }
    return std::nullopt;
}

void PartyAutoMix::skipPartyTrack(const std::string& name, const std::string& why) {
    // Said once per track; a playlist that comes round again skips it quietly.
    if (std::find(partySkipped_.begin(), partySkipped_.end(), name) != partySkipped_.end()) {
        logLine("Party mode: skipped %s: %s", name.c_str(), why.c_str());
        return;
    }
    noticeLine("Party mode: skipped %s: %s", name.c_str(), why.c_str());
    partySkipped_.push_back(name);
}

bool PartyAutoMix::loadNextPartyTrack(int d) {
    if (playList_.empty()) {
        return false;
    }
    if (nextPlayListItem_ < 0 || nextPlayListItem_ >= int(playList_.size())) {
        nextPlayListItem_ = 0;
    }
    const int first = nextPlayListItem_;
    for (size_t tries = 0; tries < playList_.size() && engine_.initialized(); ++tries) {
        if (nextPlayListItem_ < 0 || nextPlayListItem_ >= int(playList_.size())) {
            nextPlayListItem_ = 0;
        }
        const auto entry = playList_[size_t(nextPlayListItem_)];
        nextPlayListItem_ = (nextPlayListItem_ + 1) % int(playList_.size());
        if (!entry || entry->fileName.empty()) {
            continue;
        }
        // The stored length (0 when the file could not be read when it was listed) rules out
        // what cannot hold a transition before the deck is asked to open it.
        if (const auto why = partyTrackProblem(entry->fileName, entry->durationSeconds())) {
            skipPartyTrack(entry->fileName.filename().string(), *why);
            continue;
        }
        // The new decode thread closes the finished track before it opens this one.
        engine_.runDecode(d, entry->fileName);
        watchPartyLoad(d, entry->fileName.filename().string());
        return true;
    }
    // Nothing can be played: the next try starts one entry further, as after a load.
    nextPlayListItem_ = (first + 1) % int(playList_.size());
    return false;
}

void PartyAutoMix::watchPartyLoad(int d, const std::string& name) {
    partyLoadWatch_[size_t(d)].handle.invalidate();
    partyLoadWatch_[size_t(d)].handle = loop_.every(0.05, [this, d, name] {
        if (engine_.deckOpening(d)) {
            return;
        }
        partyLoadWatch_[size_t(d)].handle.invalidate();
        if (!partyModeOn()) {
            return;
        }
        audioStream& s = deck(d);
        const bool opened = loaded(d);
        const double seconds = opened ? double(s.lengthFrames.load()) / kFrameRate : 0.0;
        if (opened && seconds >= kMinPartyTrackSeconds) {
            partyLoadFailures_[size_t(d)] = 0;
            return;
        }
        char why[96];
        std::snprintf(why, sizeof why,
                      opened ? "%.1f s long, too short to mix" : "it could not be loaded", seconds);
        skipPartyTrack(name, why);
        // Every entry failed in a row: nothing is left to try on this deck.
        if (++partyLoadFailures_[size_t(d)] > int(playList_.size())) {
            return;
        }
        partyLoadPending_[size_t(d)] = loadNextPartyTrack(d);
    });
}

void PartyAutoMix::partyFileOpened(int d) {
    if (!partyLoadPending_[size_t(d)]) {
        return;
    }
    partyLoadPending_[size_t(d)] = false;
    if (!partyModeOn() || d == currentPartyStream()) {
        return;
    }
    // The finished deck holds the next track now: park it, match its tempo, and cue the
    // current deck on a beat of matching parity.
    offsetNextTrack();
    owner_.tideTempoForSide(d);
    setupAutocuePoint();
    owner_.updateNames();
}

// --- playlists --------------------------------------------------------------------------

void PartyAutoMix::makePlayListFromCrate(int crate) {
    playList_.clear();
    if (db_) {
        if (auto list = db_->getListForCrate(crate)) {
            playList_ = std::move(*list);
        }
    }
}

void PartyAutoMix::makeRandomPlaylist() {
    std::vector<std::shared_ptr<VXAudioFileInfo>> tracks;
    if (db_) {
        if (auto mine = db_->getListForGroup(kUserLocation)) {
            tracks = std::move(*mine);
        }
        if (tracks.empty() || !defaults_.boolForKey(kHideBundled, false)) {
            if (auto builtIn = db_->getListForGroup(kBuiltInLocation)) {
                tracks.insert(tracks.end(), builtIn->begin(), builtIn->end());
            }
        }
    }
    const size_t count = tracks.size();
    std::vector<bool> used(count, false);
    playList_.clear();
    playList_.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        size_t j = 0;
        do {
            const float at = std::roundf(float(partyRandom()) / float(kRandomRange) * float(count));
            j = std::min(size_t(at), count - 1);
        } while (used[j]);
        used[j] = true;
        playList_.push_back(tracks[j]);
    }
}

} // namespace vx
