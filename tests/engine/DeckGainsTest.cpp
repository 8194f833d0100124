#include "EngineFixture.h"

#include "engine/DeckGains.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using test::Engine;
using test::loadGenerated;

// Each gain setter, on a playing deck, reaches its target after exactly 25 frames of output,
// moving linearly; on a stopped deck it applies at once.
TEST(DeckGains, EachGainRampsOver25FramesOnAPlayingDeckAndJumpsOnAStoppedOne) {
    struct Case {
        const char* name;
        void (*set)(audioStream&, float);
    };
    const Case cases[] = {
        {"fader", deckSetFaderGain},
        {"volume", deckSetVolume},
        {"trim", deckSetTrimGain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine e(1);
        audioStream& d = e.out.deck(0);
        loadGenerated(d, 100000, [](int64_t, int) { return 0.5f; });
        e.playPlain(0);
        e.render(10);
        c.set(d, 0.0f);
        std::vector<float> levels;
        for (int i = 0; i < 30; ++i) {
            levels.push_back(e.render(1)[0]);
        }
        // Frame k (0-based) is produced with the gain of k steps, then the ramp steps.
        for (int k = 0; k < 26; ++k) {
            EXPECT_NEAR(levels[k], 0.5f * (1.0f - k / 25.0f), 1e-5f) << k;
        }
        EXPECT_EQ(levels[29], 0.0f);

        stopStream(d);
        c.set(d, 0.8f);
        EXPECT_FALSE(d.faderRamp.isOn() || d.volumeRamp.isOn() || d.trimRamp.isOn());
        e.playPlain(0, 20.0);
        EXPECT_NEAR(e.render(1)[0], 0.5f * 0.8f, 1e-6f);
    }
}

} // namespace
} // namespace vx
