// velvox-cli with damaged inputs: peak files that lie, two tracks of one stem, a folder that
// cannot be written, a truncated MP3, a WAVE header with an absurd rate, a damaged library.
// (A party over a folder with tracks that cannot play is in CliPartyTest.)

#include "CliHarness.h"

#include <nlohmann/json.hpp>

#include <cstring>

namespace vx {
namespace {

using test::CliTest;
using test::quoted;
using test::writeFile;
namespace fs = std::filesystem;

double headerBpm(const std::string& peakFile) {
    double bpm = 0;
    std::memcpy(&bpm, peakFile.data() + 4, 8);
    return bpm;
}

struct Unmount {
    fs::path where;
    ~Unmount() {
        [[maybe_unused]] const int r =
            std::system(("umount " + where.string() + " 2>/dev/null").c_str());
    }
};

class CliDamaged : public CliTest {
protected:
    fs::path copyTrack(const char* name, const std::string& as) {
        const fs::path to = dir_ / as;
        fs::copy_file(fs::path(VX_RESOURCES_DIR "/sound") / name, to);
        return to;
    }
};

// A peak file that lies (a header gain of 1e30, a file cut at an even length, random entries)
// is not used: the deck plays at the analysed level and the file is rebuilt as it was.
TEST_F(CliDamaged, PeakFilesThatLieAreRebuilt) {
    const fs::path track = copyTrack("Night Drive.mp3", "Night Drive.mp3");
    const fs::path peak = dir_ / "Night Drive.peak";
    ASSERT_EQ(run(home() + " analyze " + quoted(track)).exitCode, 0);
    const std::string good = test::slurp(peak);
    ASSERT_GT(good.size(), 10000u);
    const std::string play = home() + " play " + quoted(track) + " --start 30 --seconds 2 --out ";
    ASSERT_EQ(run(play + (dir_ / "good.wav").string()).exitCode, 0);
    const float level = test::peakOf(test::readAudio(dir_ / "good.wav"));
    ASSERT_GT(level, 0.05f);

    std::string loud = good;
    const double gain = 1e30;
    std::memcpy(loud.data() + 12, &gain, 8);
    std::string random = good;
    for (size_t i = 20; i < random.size(); ++i) {
        random[i] = char((i * 2654435761u) >> 13);
    }
    for (const std::string& bad : {loud, good.substr(0, good.size() - 1000), random}) {
        writeFile(peak, bad);
        const test::CliRun r = run(play + (dir_ / "o.wav").string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NEAR(test::peakOf(test::readAudio(dir_ / "o.wav")), level, 1e-4);
        EXPECT_TRUE(test::slurp(peak) == good) << "the peak file was not rebuilt";
    }
}

// Song.mp3 and Song.m4a in one folder keep their analyses apart: the first by name keeps
// Song.peak, the other gets a name of its own.
TEST_F(CliDamaged, TwoTracksOfOneStemHaveTheirOwnPeakFiles) {
    const fs::path mp3 = copyTrack("Solar Run.mp3", "Song.mp3");
    ASSERT_EQ(run(home() + " convert " + quoted(VX_RESOURCES_DIR "/sound/Night Drive.mp3") + " " +
                  (dir_ / "Song.m4a").string())
                  .exitCode,
              0);
    const test::CliRun r =
        run(home() + " analyze " + quoted(mp3) + " " + (dir_ / "Song.m4a").string() + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto rows = nlohmann::json::parse(r.out);
    const double mp3Bpm = rows[0]["bpm"].get<double>();
    const double m4aBpm = rows[1]["bpm"].get<double>();
    ASSERT_NE(mp3Bpm, m4aBpm);
    EXPECT_EQ(headerBpm(test::slurp(dir_ / "Song.peak")), m4aBpm);
    EXPECT_EQ(headerBpm(test::slurp(dir_ / "Song.mp3.vxpeak")), mp3Bpm);
}

// In a folder that cannot be written the analysis fails and says why; the old peak file's
// contents are not reported as the new result. Needs a read-only mount (skipped without one).
TEST_F(CliDamaged, AnalysingInAReadOnlyFolderFailsHonestly) {
    const fs::path mount = dir_ / "ro";
    fs::create_directories(mount);
    if (std::system(
            ("mount -t tmpfs -o size=16m tmpfs " + mount.string() + " 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    // Unmounted however the test ends, so the test folder can be removed.
    const Unmount unmount{mount};
    const fs::path track = mount / "Night Drive.mp3";
    fs::copy_file(VX_RESOURCES_DIR "/sound/Night Drive.mp3", track);
    ASSERT_EQ(run(home() + " analyze " + quoted(track)).exitCode, 0);
    std::string stale = test::slurp(mount / "Night Drive.peak");
    const double oldGain = 1.234;
    std::memcpy(stale.data() + 12, &oldGain, 8);
    writeFile(mount / "Night Drive.peak", stale);
    ASSERT_EQ(std::system(("mount -o remount,ro " + mount.string()).c_str()), 0);
    const test::CliRun r = run(home() + " analyze " + quoted(track) + " --json");
    EXPECT_EQ(r.exitCode, 1);
    const auto rows = nlohmann::json::parse(r.out);
    EXPECT_NE(rows[0]["error"].get<std::string>().find("could not be written"), std::string::npos)
        << rows[0]["error"];
    EXPECT_NE(rows[0]["gain"].get<double>(), oldGain);
}

// A truncated MP3 is as long as what decodes: info says so, and the analysis computes every
// entry of that length, finds its beats and reports the file as damaged.
TEST_F(CliDamaged, ATruncatedMp3IsAsLongAsWhatPlays) {
    const fs::path whole = VX_RESOURCES_DIR "/sound/Night Drive.mp3";
    const std::string bytes = test::slurp(whole);
    const fs::path half = dir_ / "Half.mp3";
    writeFile(half, bytes.substr(0, bytes.size() / 2));
    const auto info = [&](const fs::path& f) {
        return nlohmann::json::parse(run("info " + quoted(f) + " --json").out);
    };
    const double full = info(whole)["seconds"].get<double>();
    EXPECT_TRUE(info(whole)["damaged"].is_null());
    EXPECT_NEAR(info(half)["seconds"].get<double>(), full / 2, 2.0);
    EXPECT_NE(info(half)["damaged"].get<std::string>().find("truncated"), std::string::npos);

    const test::CliRun r = run(home() + " analyze " + quoted(half) + " --json");
    EXPECT_EQ(r.exitCode, 1);
    const auto row = nlohmann::json::parse(r.out)[0];
    EXPECT_NE(row["error"].get<std::string>().find("damaged"), std::string::npos) << row;
    EXPECT_GT(row["bpm"].get<double>(), 0.0);
    const std::string peak = test::slurp(dir_ / "Half.peak");
    size_t uncomputed = 0;
    for (size_t i = 20; i + 1 < peak.size(); i += 2) {
        uncomputed += uint8_t(peak[i]) == 0xFF ? 1 : 0;
    }
    EXPECT_EQ(uncomputed, 0u);
    EXPECT_NEAR(double(peak.size() - 20) / 2 * 256 / 44100, full / 2, 2.0);
}

// A WAVE header claiming 1 Hz is refused at once by every command, leaving no output behind.
TEST_F(CliDamaged, AWaveHeaderWithAnAbsurdRateIsRefused) {
    std::string wav = "RIFF....WAVEfmt ";
    const auto put32 = [&](uint32_t v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](uint16_t v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
    put32(16);
    put16(1);
    put16(2);
    put32(1); // 1 Hz
    put32(4);
    put16(4);
    put16(16);
    wav += "data";
    put32(400000);
    wav += std::string(400000, '\1');
    const fs::path file = dir_ / "slow.wav";
    writeFile(file, wav);
    for (const std::string& command :
         {"analyze " + quoted(file), "info " + quoted(file),
          "play " + quoted(file) + " --out " + (dir_ / "o.wav").string(),
          "convert " + quoted(file) + " " + (dir_ / "o.m4a").string()}) {
        const test::CliRun r = run(home() + " " + command);
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_EQ(test::lineCount(r.err), 1u) << command << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "o.wav"));
    EXPECT_FALSE(fs::exists(dir_ / "o.m4a"));
}

// The library as a user meets it: a damaged one is moved aside (kept byte for byte) with one
// line saying so, and a read-only one is reported rather than hidden (the last needs a bind
// mount; skipped without one).
TEST_F(CliDamaged, ALibraryThatCannotBeUsedIsSaidSo) {
    const fs::path documents = dir_ / "home" / "Documents";
    fs::create_directories(documents);
    const fs::path db = documents / "velvox.sqlite";
    writeFile(db, std::string(5000, 'x'));
    const std::string play = home() + " play " + quoted(VX_RESOURCES_DIR "/sound/Night Drive.mp3") +
                             " --seconds 1 --out " + (dir_ / "o.wav").string();
    test::CliRun r = run(play);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("was damaged"), std::string::npos) << r.err;
    int aside = 0;
    for (const auto& e : fs::directory_iterator(documents)) {
        if (e.path().filename().string().rfind("velvox.sqlite.damaged-", 0) == 0) {
            ++aside;
            EXPECT_EQ(test::slurp(e.path()), std::string(5000, 'x'));
        }
    }
    EXPECT_EQ(aside, 1);
    r = run(play);
    EXPECT_EQ(r.err, "") << "told once";

    if (std::system(("mount --bind " + db.string() + " " + db.string() +
                     " 2>/dev/null && mount "
                     "-o remount,bind,ro " +
                     db.string() + " 2>/dev/null")
                        .c_str()) != 0) {
        std::system(("umount " + db.string() + " 2>/dev/null").c_str());
        GTEST_SKIP() << "cannot bind-mount the library read-only here";
    }
    {
        const Unmount unmount{db};
        r = run(play);
    }
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("is read-only"), std::string::npos) << r.err;
}

} // namespace
} // namespace vx
