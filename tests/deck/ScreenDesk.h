#pragma once
// A mixing screen for the deck tests: the offline engine (rings filled by hand), a manual
// clock driving the run loop, a private settings store and the fake application host.

#include "FakeHost.h"
#include "engine/EngineFixture.h"
#include "support/TempDir.h"

#include "deck/SampleTestController.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <memory>

namespace vx::test {

struct ScreenDesk {
    TempDir dir;
    ManualClock clock{100.0};
    RunLoop loop{clock};
    NotificationCenter notifications{loop};
    UserDefaults defaults{dir.file("defaults.json")};
    Engine engine{1024, SampleFormat::Float32NonInterleaved, &loop};
    FakeHost host;
    std::unique_ptr<SampleTestController> screen; // destroyed first

    // Creates the screen once the store holds what it should start with.
    void makeScreen() {
        screen = std::make_unique<SampleTestController>(engine.out, nullptr, defaults,
                                                        notifications, loop, &host);
    }
    audioStream& deck(int d) { return engine.out.deck(d); }
    const DeckViewState& view(int d) const { return screen->view(d); }

    // Moves the clock on by `seconds` and runs what fell due. A hair more than asked, so a
    // timer due at exactly that time is not missed by a rounding of the sum.
    void advance(double seconds) {
        clock.advance(seconds + 1e-9);
        loop.runDue();
    }
};

} // namespace vx::test
