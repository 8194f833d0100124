#pragma once
// DeckPart: the common ground of the mixing-screen controller's parts (transport and cues,
// pitch and tempo, mixer, status display, party and auto-mix). `SampleTestController` is the
// screen's one face to the shell; behind it each part owns the state of its own concern and
// reaches the others through the façade's methods or their narrow accessors.
//
// What every part shares lives in one `DeckContext`, owned by the façade: the services (engine,
// database, defaults, notifications, run loop, host), the per-deck view state the shell draws,
// and the two screen-wide flags. A part holds references to it under the names the handlers
// use, plus the deck-record lookups every handler starts with.
//
// Threads: main thread only, as the façade.

#include "deck/DeckViewState.h"
#include "platform/RunLoop.h"

#include <array>

namespace vx {

class AudioOut;
class DBController;
class UserDefaults;
class NotificationCenter;
class SampleTestController;
struct audioStream;

// The state the screen's parts share. Main thread only.
struct DeckContext {
    AudioOut& engine;
    DBController* db;
    UserDefaults& defaults;
    NotificationCenter& notifications;
    RunLoop& loop;
    MixingScreenHost* host;
    std::array<DeckViewState, 2> views{};
    // Whole-screen touches (the phone disables them while the browser is up).
    bool touchesEnabled = true;
    bool menuOn = false;
};

// A timer handle that stops its timer when its owner goes away.
struct OwnedTimer {
    TimerHandle handle;
    OwnedTimer() = default;
    OwnedTimer(const OwnedTimer&) = delete;
    OwnedTimer& operator=(const OwnedTimer&) = delete;
    ~OwnedTimer() { handle.invalidate(); }
};

class DeckPart {
public:
    DeckPart(const DeckPart&) = delete;
    DeckPart& operator=(const DeckPart&) = delete;

protected:
    DeckPart(SampleTestController& owner, DeckContext& context);
    ~DeckPart() = default;

    // The engine's deck record `d` (0 or 1); loaded / playing only once the engine runs.
    audioStream& deck(int d);
    const audioStream& deck(int d) const;
    bool loaded(int d) const;
    bool playing(int d) const;

    SampleTestController& owner_;
    DeckContext& context_;
    AudioOut& engine_;
    DBController* db_;
    UserDefaults& defaults_;
    NotificationCenter& notifications_;
    RunLoop& loop_;
    MixingScreenHost* host_;
    std::array<DeckViewState, 2>& views_;
};

} // namespace vx
