// The engine's six pads: loading sounds (missing, unreadable, other rates, remembered keys),
// the built-in pad sounds, and mixing over the decks at the shared, ramped pad volume.

#include "EngineFixture.h"
#include "support/TempDir.h"

#include "dsp/SamplePlayerFixed.h"
#include "engine/sampleLoad.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::Engine;

bool writeConstant(const fs::path& path, int rate, int64_t frames, float value) {
    return test::writeTrack(
        path, frames, [value](int64_t, int) { return value; }, rate);
}

TEST(SamplerPads, LoadingCoversEveryKindOfFile) {
    test::TempDir dir;
    UserDefaults defaults(dir.file("defaults.json"));
    SamplePlayerFixed pad;
    const std::string key = lastSampleKey(2);
    EXPECT_EQ(key, "LastSample3");

    // A 44.1 kHz file: every frame but the last is playable, and the key remembers it.
    ASSERT_TRUE(writeConstant(dir.file("hit.wav"), 44100, 1000, 0.5f));
    EXPECT_TRUE(sampleLoad(pad, dir.file("hit.wav"), &defaults, key));
    EXPECT_EQ(pad.frameCount(), 999);
    EXPECT_EQ(pad.path, dir.file("hit.wav").string());
    EXPECT_EQ(defaults.stringForKey(key), dir.file("hit.wav").string());
    EXPECT_FALSE(pad.isPlaying());
    EXPECT_EQ(pad.samples()[0], 0.5f);

    // Another rate arrives resampled to 44.1 kHz.
    ASSERT_TRUE(writeConstant(dir.file("hit48.wav"), 48000, 48000, 0.25f));
    EXPECT_TRUE(sampleLoad(pad, dir.file("hit48.wav"), nullptr, std::nullopt));
    EXPECT_EQ(pad.frameCount(), 44100 - 1);

    // Not audio: the path stays (the pad is labelled with it) but the pad is silent.
    { std::ofstream(dir.file("notes.wav")) << "not a sound"; }
    pad.noteOn();
    EXPECT_FALSE(sampleLoad(pad, dir.file("notes.wav"), nullptr, std::nullopt));
    EXPECT_EQ(pad.path, dir.file("notes.wav").string());
    EXPECT_EQ(pad.frameCount(), 0);
    EXPECT_FALSE(pad.isPlaying());
    pad.noteOn();
    EXPECT_FALSE(pad.isPlaying());

    // Missing: empty path, silent, and the key now holds the missing path as asked.
    EXPECT_FALSE(sampleLoad(pad, dir.file("gone.wav"), &defaults, key));
    EXPECT_EQ(pad.path, "");
    EXPECT_EQ(pad.frameCount(), 0);
    EXPECT_EQ(defaults.stringForKey(key), dir.file("gone.wav").string());
}

TEST(SamplerPads, TheBuiltInPadSoundsAllLoad) {
    Engine e(512);
    EXPECT_EQ(e.out.loadDefaultPads(fs::path(VX_RESOURCES_DIR) / "samples"), 6);
    for (int i = 0; i < AudioOut::kPadCount; ++i) {
        EXPECT_GT(e.out.pad(i).frameCount(), 4410) << i; // each at least a tenth of a second
        EXPECT_EQ(fs::path(e.out.pad(i).path).filename(), "fx_" + std::to_string(i + 1) + ".wav");
    }
}

// A pressed pad adds its frames × the pad volume to the mix. The volume starts at 1 and each
// change ramps linearly over exactly 8 render cycles (one volume per cycle), whether a pad
// plays or not, while a playing pad's position keeps advancing (also through silence).
TEST(SamplerPads, PadsMixOverTheOutputAtTheRampedPadVolume) {
    Engine e(100);
    ASSERT_TRUE(e.ok);
    for (int k : {3, 4}) { // pad 3 lasts one cycle, pad 4 fifty
        const int playable = k == 3 ? 100 : 5000;
        auto frames = std::make_unique<float[]>(2 * (playable + 1));
        std::fill(frames.get(), frames.get() + 2 * (playable + 1), 0.4f);
        e.out.pad(k).setSamples(std::move(frames), playable);
    }
    e.out.padPress(3);
    for (float v : e.render(100)) {
        ASSERT_FLOAT_EQ(v, 0.4f);
    }
    e.out.setSampleGain(0.5f);
    for (int cycle = 1; cycle <= 8; ++cycle) {
        for (float v : e.render(100)) {
            ASSERT_EQ(v, 0.0f) << cycle; // no pad playing
        }
        EXPECT_FLOAT_EQ(e.out.getSampleGain(), 0.5f); // the target while it runs
        EXPECT_EQ(e.out.sampleGainFilter.count.load(), 8 - cycle);
        EXPECT_NEAR(e.out.sampleGainFilter.from.load(), 1.0f - 0.0625f * cycle, 1e-6f);
        EXPECT_TRUE(e.out.sampleGainFilter.isOn()) << cycle;
    }
    e.render(100);
    EXPECT_FALSE(e.out.sampleGainFilter.isOn()); // off after the ninth cycle
    e.out.padPress(4);
    for (float v : e.render(100)) {
        ASSERT_FLOAT_EQ(v, 0.4f * 0.5f);
    }
    e.out.setSampleGain(0.0f);
    float last = 1.0f;
    for (int cycle = 1; cycle <= 8; ++cycle) {
        const std::vector<float> out = e.render(100);
        const float level = out[0];
        EXPECT_NEAR(level, 0.4f * 0.5f * (1.0f - cycle / 8.0f), 1e-6f) << cycle;
        EXPECT_LT(level, last);
        last = level;
        for (float v : out) {
            ASSERT_EQ(v, level) << cycle; // one volume per cycle
        }
    }
    EXPECT_EQ(last, 0.0f);
    EXPECT_EQ(e.out.pad(4).playPos.load(), 900u); // it kept playing, silently
    EXPECT_TRUE(e.out.pad(4).isPlaying());
}

} // namespace
} // namespace vx
