// Key lock on every path that sets a deck's speed after its track was loaded: the tempo the
// loaded deck follows when it opens or when its analysis completes, the sync button and the
// automatic mix. Deck 0 plays a 120 BPM track with a 400 Hz tone; deck 1 gets a 128 BPM track
// with a 600 Hz tone, and one of them is matched to the other's tempo (a speed 6.7 % away from
// 1). Both tones must stay where they were written.

#include "AppFixture.h"

#include "platform/AudioFileWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace vx {
namespace {

namespace fs = std::filesystem;

void writeToneTrack(const fs::path& path, double bpm, double hz) {
    auto writer = AudioFileWriter::create(path, AudioFileWriter::Format::M4aAac, 44100, 2, nullptr);
    ASSERT_TRUE(writer);
    const size_t frames = size_t(40) * 44100;
    const double beat = 60.0 / bpm * 44100.0;
    std::vector<float> samples(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = std::fmod(double(i), beat) / 44100.0;
        const double kick = 0.7 * std::exp(-t * 30.0) * std::sin(2 * std::numbers::pi * 55.0 * t);
        const double tone = 0.2 * std::sin(2 * std::numbers::pi * hz * double(i) / 44100.0);
        samples[2 * i] = samples[2 * i + 1] = float(kick + tone);
    }
    ASSERT_TRUE(writer->write(samples.data(), int64_t(frames)));
    ASSERT_TRUE(writer->close());
}

// The strongest frequency within ±12 % of `hz` in the left channel (2 Hz steps, Goertzel).
double toneNear(const std::vector<float>& stereo, double hz) {
    double bestHz = 0, best = -1;
    for (double f = hz * 0.88; f <= hz * 1.12; f += 2.0) {
        const double k = 2.0 * std::cos(2.0 * std::numbers::pi * f / 44100.0);
        double s1 = 0, s2 = 0;
        for (size_t i = 0; i < stereo.size(); i += 2) {
            const double s0 = stereo[i] + k * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double p = s1 * s1 + s2 * s2 - k * s1 * s2;
        if (p > best) {
            best = p;
            bestHz = f;
        }
    }
    return bestHz;
}

enum class Path { FileOpened, AnalyzeComplete, Sync, AutoMix };

TEST(KeyLockPaths, TheIncomingDeckKeepsItsKeyOnEveryPathThatMatchesItsTempo) {
    for (const Path path : {Path::FileOpened, Path::AnalyzeComplete, Path::Sync, Path::AutoMix}) {
        SCOPED_TRACE(int(path));
        test::AppHome home(test::AppHomeOptions{.builtIns = false});
        const fs::path a = home.paths().documents() / "Lead bpm120.m4a";
        // Without a tempo in its name the second track gets one from its analysis.
        const fs::path b = home.paths().documents() /
                           (path == Path::AnalyzeComplete ? "Follower.m4a" : "Follower bpm128.m4a");
        writeToneTrack(a, 120, 400);
        writeToneTrack(b, 128, 600);
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
        EXPECT_NEAR(toneNear(mix, 600), 600, 6)
            << run.deck(0).faderGain.load() << " " << run.deck(1).faderGain.load() << " "
            << run.deck(1).isPlaying.load() << " " << run.deck(1).volume.load();
        EXPECT_NEAR(toneNear(mix, 400), 400, 4);
    }
}

} // namespace
} // namespace vx
