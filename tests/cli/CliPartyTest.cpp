// velvox-cli party: the application's headless main job. The JSON contract, transitions that
// match tempos, the recorded mix, the saved state, the same mix on every run, and a folder of
// the user's own tracks, some of which cannot play.

#include "CliHarness.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace vx {
namespace {

using test::CliTest;
namespace fs = std::filesystem;

using CliParty = CliTest;

// Mean square of the left channel over `frames` frames from `first` (float stereo WAV data).
double meanSquare(const std::string& wav, size_t dataStart, size_t first, size_t frames) {
    double sum = 0.0;
    for (size_t i = first; i < first + frames; ++i) {
        float v = 0.0f;
        std::memcpy(&v, wav.data() + dataStart + i * 8, sizeof v);
        sum += double(v) * v;
    }
    return sum / double(frames);
}

// The main job end to end: a party mix of the built-in tracks (30 minutes; 12 under the
// sanitizers, which run it ten times slower) through the application's own launch, party mode
// and termination.
TEST_F(CliParty, MixesTheBuiltInTracksOnTheBeatAtOneTempoWithoutSilence) {
#ifdef VX_SANITIZER_BUILD
    constexpr int kMinutes = 12;
#else
    constexpr int kMinutes = 30;
#endif
    const fs::path mix = dir_ / "mix.wav";
    const test::CliRun r = run(home() + " party --minutes " + std::to_string(kMinutes) +
                               " --buffer 256 --out " + mix.string() + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto out = nlohmann::json::parse(r.out);
    for (const char* key : {"mix", "seconds", "wallSeconds", "transitions"}) {
        EXPECT_TRUE(out.contains(key)) << key;
    }
    EXPECT_EQ(out["mix"], mix.string());
    EXPECT_DOUBLE_EQ(out["seconds"].get<double>(), kMinutes * 60.0);
    const auto& transitions = out["transitions"];
    // About one track a minute: each is cut over after 80 % of its ~3.5 minutes.
    ASSERT_GE(transitions.size(), size_t(kMinutes * 60 / 90));

    constexpr double kBufferMs = 256 / 44.1;
    // The heard position under key lock is read position plus the stretcher's latency, which is
    // measured once per buffer and moves in steps of one top-up read (at most 258 frames): the
    // trigger compares with the latency before its buffer, the report reads the one after it.
    constexpr double kLatencyStepMs = 258 / 44.1;
    double last = 0.0;
    std::vector<std::string> incoming;
    for (const auto& t : transitions) {
        SCOPED_TRACE(t.dump());
        for (const char* key : {"time", "from", "to", "beatOffsetMs", "fromBeatPhaseMs"}) {
            ASSERT_TRUE(t.contains(key)) << key;
        }
        EXPECT_GT(t["time"].get<double>(), last);
        last = t["time"].get<double>();
        EXPECT_NE(t["from"]["track"], t["to"]["track"]);
        // The incoming deck runs at the outgoing deck's tempo.
        const double fromBpm = t["from"]["bpm"].get<double>() * t["from"]["speed"].get<double>();
        const double toBpm = t["to"]["bpm"].get<double>() * t["to"]["speed"].get<double>();
        EXPECT_GT(fromBpm, 0.0);
        EXPECT_NEAR(toBpm, fromBpm, 0.1);
        // It starts on a beat of the outgoing deck: that deck had just passed its beat, by at
        // most the buffer the trigger fired in, as far as the latency's steps let us see ...
        ASSERT_TRUE(t["fromBeatPhaseMs"].is_number());
        EXPECT_GT(t["fromBeatPhaseMs"].get<double>(), -(kLatencyStepMs + 1.0));
        EXPECT_LT(t["fromBeatPhaseMs"].get<double>(), kBufferMs + kLatencyStepMs + 1.0);
        // ... and the two decks' beats fall together within 15 ms.
        ASSERT_TRUE(t["beatOffsetMs"].is_number());
        EXPECT_LT(std::fabs(t["beatOffsetMs"].get<double>()), 15.0);
        incoming.push_back(t["to"]["track"].get<std::string>());
    }
    // The playlist wraps: the six built-in tracks come round again in the same order.
    constexpr size_t kTracks = 6;
    ASSERT_GT(incoming.size(), kTracks + 1);
    for (size_t i = kTracks; i < incoming.size(); ++i) {
        EXPECT_EQ(incoming[i], incoming[i - kTracks]) << i;
    }
    EXPECT_EQ(std::set<std::string>(incoming.begin(), incoming.end()).size(), kTracks);

    // No silence on air: after the first second, every half second of the mix carries sound
    // (the quietest stretches of the demo tracks are breaks at about -30 dBFS).
    const std::string wav = test::slurp(mix);
    const size_t dataStart = wav.find("data") + 8;
    ASSERT_GT(wav.size(), dataStart);
    const size_t frames = (wav.size() - dataStart) / 8;
    EXPECT_EQ(frames, size_t(kMinutes * 60 * 44100));
    double quietest = 1.0;
    for (size_t first = 44100; first + 22050 <= frames; first += 22050) {
        quietest = std::min(quietest, meanSquare(wav, dataStart, first, 22050));
    }
    EXPECT_GT(10.0 * std::log10(quietest), -50.0) << "a silent half second on air";

    // The application's termination path saved the decks.
    const std::string settings = test::slurp(dir_ / "home" / "settings.json");
    EXPECT_NE(settings.find("kStreamFile0"), std::string::npos);
}

// Each run gets its own copy of the tracks, without peak files, so both analyse them first: the
// render waits for every analysis, and the two mixes must agree byte for byte.
TEST_F(CliParty, TwoRunsGiveTheSameMix) {
    for (const char* name : {"a", "b"}) {
        const fs::path folder = dir_ / (std::string(name) + "-tracks");
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(VX_RESOURCES_DIR "/sound")) {
            if (entry.path().extension() == ".mp3") {
                fs::copy_file(entry.path(), folder / entry.path().filename());
            }
        }
        const std::string h = "--home " + (dir_ / name).string();
        const test::CliRun r = run(h + " party \"" + folder.string() + "\" --minutes 3 --out " +
                                   (dir_ / (std::string(name) + ".wav")).string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    const std::string a = test::slurp(dir_ / "a.wav");
    const std::string b = test::slurp(dir_ / "b.wav");
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(a.size(), size_t(3 * 60 * 44100 * 8));
    // Compared without printing them: the first differing byte, if any.
    size_t first = 0;
    while (first < a.size() && a[first] == b[first]) {
        ++first;
    }
    EXPECT_EQ(first, a.size()) << "the mixes differ from byte " << first;
}

// A folder's tracks are mixed alone: the decks start on its first two tracks by name rather
// than on the built-in tracks a first start loads, and every transition is between the folder's
// playable tracks. Tracks that cannot be mixed (empty, cut to a few frames, a tenth of a second
// long) are skipped with one line each, no dead air is played, and the user's setting for
// hiding the built-in tracks is left as it was. With no playable track at all the party fails.
TEST_F(CliParty, AFolderOfTracksIsMixedAloneSkippingTracksThatCannotPlay) {
    const fs::path folder = dir_ / "my set";
    fs::create_directories(folder);
    const std::set<std::string> names{"Night Drive.mp3", "Solar Run.mp3", "Velvet Skyline.mp3"};
    for (const std::string& name : names) {
        fs::copy_file(fs::path(VX_RESOURCES_DIR "/sound") / name, folder / name);
    }
    test::writeFile(folder / "a empty.mp3", "");
    test::writeFile(folder / "b cut.mp3",
                    test::slurp(VX_RESOURCES_DIR "/sound/Copper Lines.mp3").substr(0, 3000));
    // A tenth of a second of WAVE audio under an MP3 name.
    fs::rename(test::writeSine(dir_ / "short.wav", 440, 4410), folder / "c short.mp3");

    const fs::path mix = dir_ / "mix.wav";
    const test::CliRun r = run(home() + " party " + test::quoted(folder) + " --minutes 6 --out " +
                               mix.string() + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"a empty.mp3", "b cut.mp3", "c short.mp3"}) {
        const std::string said = std::string("skipped ") + name;
        const size_t at = r.err.find(said);
        EXPECT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(said, at + 1), std::string::npos) << "said twice: " << r.err;
    }
    const auto out = nlohmann::json::parse(r.out);
    const auto& transitions = out["transitions"];
    ASSERT_GE(transitions.size(), 2u);
    EXPECT_EQ(transitions[0]["from"]["track"], "Night Drive.mp3");
    EXPECT_EQ(transitions[0]["to"]["track"], "Solar Run.mp3");
    for (const auto& t : transitions) {
        SCOPED_TRACE(t.dump());
        EXPECT_TRUE(names.count(t["from"]["track"].get<std::string>()));
        EXPECT_TRUE(names.count(t["to"]["track"].get<std::string>()));
    }
    const auto settings =
        nlohmann::json::parse(test::slurp(dir_ / "home" / "settings.json"))["values"];
    for (const char* key : {"kStreamFile0", "kStreamFile1"}) {
        const fs::path saved = settings[key]["string"].get<std::string>();
        EXPECT_EQ(saved.parent_path(), folder) << key;
    }
    EXPECT_FALSE(settings["kHideBundled"]["bool"].get<bool>());

    // After the first minute (the first track's intro may be quiet) no three seconds are
    // silent.
    std::string error;
    auto reader = AudioFileReader::open(mix, AudioFileReader::Client::Stereo44100, &error);
    ASSERT_TRUE(reader) << error;
    ASSERT_TRUE(reader->seek(60 * 44100));
    std::vector<float> window(2 * 3 * 44100);
    int windows = 0;
    for (int64_t n; (n = reader->read(window.data(), 3 * 44100)) == 3 * 44100; ++windows) {
        double sum = 0;
        for (float v : window) {
            sum += double(v) * v;
        }
        EXPECT_GT(sum / double(window.size()), 1e-6) << "silence at " << 60 + 3 * windows << " s";
    }
    EXPECT_GE(windows, 90);

    for (const std::string& good : names) {
        fs::remove(folder / good);
    }
    const test::CliRun none =
        run(home() + " party " + test::quoted(folder) + " --minutes 1 --out " + mix.string());
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no track in this folder can be played"), std::string::npos)
        << none.err;
}

TEST_F(CliParty, BadInputFailsWithOneLine) {
    for (const char* bad : {"party --minutes 0", "party --minutes x", "party --buffer 7",
                            "party /no/such/folder", "party a b"}) {
        const test::CliRun r = run(home() + " " + bad);
        EXPECT_NE(r.exitCode, 0) << bad;
        EXPECT_EQ(test::lineCount(r.err), 1u) << bad << ": " << r.err;
    }
}

} // namespace
} // namespace vx
