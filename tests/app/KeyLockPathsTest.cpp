// Key lock on every path that sets a deck's speed after its track was loaded: the tempo the
// loaded deck follows when it opens or when its analysis completes, the sync button and the
// automatic mix. Deck 0 plays a 120 BPM track with a 400 Hz tone; deck 1 gets a 128 BPM track
// with a 600 Hz tone, and one of them is matched to the other's tempo (a speed 6.7 % away from
// 1). Both tones must stay where they were written.

#include "AppFixture.h"

#include "support/ToneTracks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace vx {
namespace {

namespace fs = std::filesystem;

enum class Path { FileOpened, AnalyzeComplete, Sync, AutoMix };

TEST(KeyLockPaths, TheIncomingDeckKeepsItsKeyOnEveryPathThatMatchesItsTempo) {
    for (const Path path : {Path::FileOpened, Path::AnalyzeComplete, Path::Sync, Path::AutoMix}) {
        SCOPED_TRACE(int(path));
        test::AppHome home(test::AppHomeOptions{.builtIns = false});
        const fs::path a = home.paths().documents() / "Lead bpm120.m4a";
        // Without a tempo in its name the second track gets one from its analysis.
        const fs::path b = home.paths().documents() /
                           (path == Path::AnalyzeComplete ? "Follower.m4a" : "Follower bpm128.m4a");
        test::writeToneTrack(a, 120, 400, 40);
        test::writeToneTrack(b, 128, 600, 40);
        if (path == Path::Sync || path == Path::AutoMix) {
            UserDefaults(home.paths().settingsFile()).setBool("kTempoLock", false);
        }
        test::AppRun run(home);
        SampleTestController& screen = *run.app().mixingScreen();
        run.engine().runDecode(0, a);
        ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(0) == a; }, 2.0));
        run.engine().runDecode(1, b);
        ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(1) == b; }, 2.0));
        // The analyses of both tracks (peaks, and deck 1's tempo on that path) end here, not
        // at a moment that depends on the machine.
        run.engine().waitForAnalyses();
        if (path == Path::AnalyzeComplete) {
            ASSERT_TRUE(run.runUntil([&] { return run.deck(1).info()->tempo > 0; }, 1.0));
        }
        screen.play(0);
        if (path == Path::Sync) {
            screen.syncAction(1);
        } else if (path == Path::AutoMix) {
            screen.autoMixAction(true);
        }
        if (path != Path::AutoMix) {
            screen.play(1);
        }
        run.runFor(2.0);
        // One deck follows the other (which one depends on the path): the tempi match.
        const double s0 = run.deck(0).baseSpeed.load(), s1 = run.deck(1).baseSpeed.load();
        ASSERT_NEAR(120.0 * s0, 128.0 * s1, 0.5);
        ASSERT_GT(std::max(std::fabs(s0 - 1.0), std::fabs(s1 - 1.0)), 0.05);
        std::vector<float> mix;
        run.device().pull(44100, [&](const float* frames, uint32_t n, const AudioBufferList&) {
            mix.insert(mix.end(), frames, frames + 2 * n);
            return true;
        });
        EXPECT_NEAR(test::strongestNear(mix, 0, mix.size() / 2, 600).hz, 600, 6)
            << run.deck(0).faderGain.load() << " " << run.deck(1).faderGain.load() << " "
            << run.deck(1).isPlaying.load() << " " << run.deck(1).volume.load();
        EXPECT_NEAR(test::strongestNear(mix, 0, mix.size() / 2, 400).hz, 400, 4);
    }
}

} // namespace
} // namespace vx
