#include "CliHarness.h"

#include "platform/AudioFileReader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using vx::test::CliRun;
using vx::test::lineCount;

class CliPlay : public vx::test::CliTest {
protected:
    std::string demo() const {
        return "'" + (fs::path(VX_RESOURCES_DIR) / "sound" / "Neon Harbor.mp3").string() + "'";
    }
};

TEST_F(CliPlay, RendersTheRequestedSecondsIntoAFloatWavWithTheContractKeys) {
    const fs::path out = dir_ / "mix.wav";
    const CliRun r = run(home() + " play " + demo() + " --out " + out.string() +
                         " --seconds 3 --start 20 --speed 1.05 --buffer 512 --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["out"], out.string());
    EXPECT_EQ(j["frames"], 3 * 44100);
    EXPECT_DOUBLE_EQ(j["seconds"].get<double>(), 3.0);
    EXPECT_EQ(j["skipBuffers"], 0);

    std::string error;
    auto reader = vx::AudioFileReader::open(out, vx::AudioFileReader::Client::Stereo44100, &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->fileFormat().codec.find("pcm_f32"), 0u) << reader->fileFormat().codec;
    EXPECT_EQ(reader->lengthFrames(), 3 * 44100);
    // The music is there: well above silence after the fade-in.
    std::vector<float> samples(size_t(3 * 44100) * 2);
    ASSERT_EQ(reader->read(samples.data(), 3 * 44100), 3 * 44100);
    double sum = 0;
    for (size_t i = 44100 * 2; i < samples.size(); ++i) {
        sum += double(samples[i]) * samples[i];
    }
    EXPECT_GT(std::sqrt(sum / (samples.size() - 88200)), 0.05);
}

// The first play of a copy without a peak file also analyses it; the render waits for that
// analysis before each buffer, so it equals the next render, which finds the peak file.
TEST_F(CliPlay, TheSameRenderTwiceIsBitIdentical) {
    const fs::path track = dir_ / "Neon Harbor.mp3";
    fs::copy_file(fs::path(VX_RESOURCES_DIR) / "sound" / "Neon Harbor.mp3", track);
    for (const char* mode : {"", " --pitch-mode"}) {
        SCOPED_TRACE(mode);
        const fs::path a = dir_ / "a.wav";
        const fs::path b = dir_ / "b.wav";
        const std::string common =
            home() + " play " + vx::test::quoted(track) + " --seconds 4 --start 61" + mode;
        ASSERT_EQ(run(common + " --out " + a.string()).exitCode, 0);
        ASSERT_TRUE(fs::exists(dir_ / "Neon Harbor.peak"));
        ASSERT_EQ(run(common + " --out " + b.string()).exitCode, 0);
        EXPECT_EQ(vx::test::slurp(a), vx::test::slurp(b));
        EXPECT_GT(fs::file_size(a), size_t(4 * 44100 * 8));
    }
}

TEST_F(CliPlay, BadInputFailsWithOneClearLine) {
    const fs::path text = dir_ / "notes.mp3";
    std::ofstream(text) << "not audio";
    const std::string out = " --out " + (dir_ / "x.wav").string();
    struct Case {
        std::string arguments;
        std::string mustSay;
    };
    const Case cases[] = {
        {"play " + (dir_ / "missing.mp3").string() + out, "no such file"},
        {"play " + text.string() + out, "not a readable audio file"},
        {"play " + demo(), "--out"},
        {"play " + demo() + out + " --speed 0", "bad value"},
        {"play " + demo() + out + " --seconds -1", "bad value"},
        {"play " + demo() + out + " --buffer 7", "bad value"},
        {"play " + demo() + out + " --start 9999", "beyond the end"},
        {"play " + demo() + out + " --seconds", "usage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun r = run(home() + " " + c.arguments);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(c.mustSay), std::string::npos) << r.err;
    }
}

} // namespace
