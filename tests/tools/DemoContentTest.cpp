// Checks the generated demo tracks as a listener's software would meet them: decoded from the
// MP3 files in the build's resources folder, against the facts the manifest promises (tempo,
// first-beat frame, length, sections).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/AudioFileReader.h"
#include "platform/AudioTags.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 44100.0;

fs::path resources() {
    return fs::path(VX_RESOURCES_DIR);
}

nlohmann::json loadManifest() {
    std::ifstream in(resources() / "demo-tracks.json");
    if (!in)
        return nlohmann::json::array();
    return nlohmann::json::parse(in, nullptr, false);
}

double toDb(double linear) {
    return 20.0 * std::log10(std::max(linear, 1e-12));
}

// A decoded track: interleaved stereo plus a mono low band (< ~120 Hz, where the kick and the
// bass live) used for the beat and break checks.
struct Decoded {
    std::vector<float> stereo;
    std::vector<float> low;
    int64_t frames = 0;
    int64_t reportedLength = 0;
    int sampleRate = 0;
    int channels = 0;
    std::string codec;
};

Decoded decode(const fs::path& path, std::string* error) {
    Decoded d;
    auto reader = vx::AudioFileReader::open(path, vx::AudioFileReader::Client::Stereo44100, error);
    if (!reader)
        return d;
    d.sampleRate = reader->fileFormat().sampleRate;
    d.channels = reader->fileFormat().channels;
    d.codec = reader->fileFormat().codec;
    d.reportedLength = reader->lengthFrames();
    d.stereo.resize(static_cast<size_t>(d.reportedLength + 4096) * 2);
    int64_t got = 0;
    while (true) {
        const int64_t room = static_cast<int64_t>(d.stereo.size() / 2) - got;
        if (room <= 0)
            break;
        const int64_t n = reader->read(d.stereo.data() + got * 2, std::min<int64_t>(room, 65536));
        if (n <= 0)
            break;
        got += n;
    }
    d.frames = got;
    d.stereo.resize(static_cast<size_t>(got) * 2);
    // Two one-pole low-passes at 120 Hz.
    const float a = static_cast<float>(1.0 - std::exp(-2.0 * M_PI * 120.0 / kRate));
    float z1 = 0.0f, z2 = 0.0f;
    d.low.resize(static_cast<size_t>(got));
    for (int64_t i = 0; i < got; ++i) {
        const float mono = 0.5f * (d.stereo[static_cast<size_t>(2 * i)] +
                                   d.stereo[static_cast<size_t>(2 * i + 1)]);
        z1 += a * (mono - z1);
        z2 += a * (z1 - z2);
        d.low[static_cast<size_t>(i)] = z2;
    }
    return d;
}

// RMS of both channels over frames [from, to).
double stereoRms(const Decoded& d, int64_t from, int64_t to) {
    from = std::clamp<int64_t>(from, 0, d.frames);
    to = std::clamp<int64_t>(to, from, d.frames);
    double sum = 0.0;
    for (int64_t i = 2 * from; i < 2 * to; ++i)
        sum += static_cast<double>(d.stereo[static_cast<size_t>(i)]) *
               d.stereo[static_cast<size_t>(i)];
    return to > from ? std::sqrt(sum / (2.0 * static_cast<double>(to - from))) : 0.0;
}

// Energy of the low band over frames [from, to).
double lowEnergy(const Decoded& d, int64_t from, int64_t to) {
    from = std::clamp<int64_t>(from, 0, d.frames);
    to = std::clamp<int64_t>(to, from, d.frames);
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i)
        sum += static_cast<double>(d.low[static_cast<size_t>(i)]) * d.low[static_cast<size_t>(i)];
    return sum;
}

struct Track {
    std::string file;
    std::string title;
    std::string key;
    double tempo = 0.0;
    int64_t firstBeat = 0;
    int64_t frames = 0;
    struct Section {
        std::string name;
        int startBeat = 0;
        int beats = 0;
    };
    std::vector<Section> sections;

    double beatFrames() const { return 60.0 * kRate / tempo; }
    int64_t beatFrame(double beat) const {
        return firstBeat + static_cast<int64_t>(std::llround(beat * beatFrames()));
    }
    // Beats of all sections with this name, skipping `skip` beats at the start of each.
    std::vector<int> beatsOf(const std::string& name, int skip = 0) const {
        std::vector<int> beats;
        for (const Section& s : sections)
            if (s.name == name)
                for (int b = s.startBeat + skip; b < s.startBeat + s.beats; ++b)
                    beats.push_back(b);
        return beats;
    }
};

std::vector<Track> manifestTracks() {
    std::vector<Track> tracks;
    const nlohmann::json m = loadManifest();
    if (!m.is_array())
        return tracks;
    for (const auto& e : m) {
        Track t;
        t.file = e.value("file", "");
        t.title = e.value("title", "");
        t.key = e.value("key", "");
        t.tempo = e.value("tempo", 0.0);
        t.firstBeat = e.value("firstBeatFrame", int64_t{0});
        t.frames = e.value("frames", int64_t{0});
        if (e.contains("sections"))
            for (const auto& s : e["sections"])
                t.sections.push_back(
                    {s.value("name", ""), s.value("startBeat", 0), s.value("beats", 0)});
        tracks.push_back(t);
    }
    return tracks;
}

// Low-band energy in the 25 ms after each beat (the grid moved by `shiftBeats`), summed over
// `beats`, divided by the same sum for windows starting `offsetBeats` after the beat (the
// "between beats" reference) or, with offsetBeats < 0, for the 25 ms just before the beat.
double beatRatio(const Decoded& d, const Track& t, const std::vector<int>& beats, double shiftBeats,
                 double offsetBeats) {
    const int64_t window = static_cast<int64_t>(0.025 * kRate);
    double on = 0.0, reference = 0.0;
    for (int b : beats) {
        const int64_t at = t.beatFrame(b + shiftBeats);
        on += lowEnergy(d, at, at + window);
        const int64_t ref =
            offsetBeats < 0.0 ? at - window : t.beatFrame(b + shiftBeats + offsetBeats);
        reference += lowEnergy(d, ref, ref + window);
    }
    return on / std::max(reference, 1e-12);
}

TEST(DemoManifestTest, ListsAtLeastSixDistinctTracksWithinTheTempoRangeEachInItsKey) {
    const std::vector<Track> tracks = manifestTracks();
    ASSERT_GE(tracks.size(), 6u) << "manifest missing or short: "
                                 << (resources() / "demo-tracks.json");
    std::set<double> tempos;
    std::set<std::string> titles, keys;
    for (const Track& t : tracks) {
        SCOPED_TRACE(t.file);
        EXPECT_GE(t.tempo, 110.0);
        EXPECT_LE(t.tempo, 140.0);
        EXPECT_GT(t.firstBeat, 0) << "the first beat needs a lead-in";
        EXPECT_LT(t.firstBeat, static_cast<int64_t>(2.0 * kRate));
        EXPECT_GE(t.frames, static_cast<int64_t>(120 * kRate));
        EXPECT_LE(t.frames, static_cast<int64_t>(240 * kRate));
        EXPECT_EQ(t.file, t.title + ".mp3");
        // The application must find the tempo in the audio, not in the name.
        EXPECT_EQ(fs::path(t.file).stem().string().find_first_of("0123456789"), std::string::npos);
        tempos.insert(t.tempo);
        titles.insert(t.title);
        keys.insert(t.key);
    }
    EXPECT_EQ(tempos.size(), tracks.size()) << "tempos must differ between tracks";
    EXPECT_EQ(titles.size(), tracks.size()); // and so the file names, title + ".mp3"
    EXPECT_EQ(keys.size(), tracks.size());
    EXPECT_EQ(keys.count(""), 0u);
}

TEST(DemoManifestTest, SectionsTileTheTrackInOrder) {
    const std::vector<Track> tracks = manifestTracks();
    ASSERT_FALSE(tracks.empty());
    const std::vector<std::string> expected = {"intro", "main", "break", "main", "outro"};
    for (const Track& t : tracks) {
        SCOPED_TRACE(t.file);
        ASSERT_EQ(t.sections.size(), expected.size());
        int next = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(t.sections[i].name, expected[i]);
            EXPECT_EQ(t.sections[i].startBeat, next);
            EXPECT_EQ(t.sections[i].beats % 4, 0) << "sections are whole bars";
            next += t.sections[i].beats;
        }
        EXPECT_GE(t.sections[0].beats, 16 * 4);
        EXPECT_LE(t.sections[0].beats, 32 * 4);
        EXPECT_GE(t.sections[2].beats, 8 * 4);
        EXPECT_LE(t.sections[2].beats, 16 * 4);
        EXPECT_EQ(t.sections[4].beats, 16 * 4);
        // The last beat and a short tail fit in the file.
        EXPECT_LE(t.beatFrame(next), t.frames);
    }
}

// Format, length, lead-in, first beat, peak and loudness.
void checkTimeline(const Decoded& d, const Track& t) {
    EXPECT_EQ(d.codec, "mp3");
    EXPECT_EQ(d.sampleRate, 44100);
    EXPECT_EQ(d.channels, 2);
    // The LAME header carries delay and padding, so the decoded length is exactly the rendered one.
    EXPECT_EQ(d.reportedLength, t.frames);
    EXPECT_EQ(d.frames, t.frames);

    // Silence before the first beat (minus one MP3 granule of pre-echo), then an immediate hit.
    const int64_t granule = 576;
    EXPECT_LT(toDb(stereoRms(d, 0, t.firstBeat - granule)), -60.0);
    EXPECT_GT(toDb(stereoRms(d, t.firstBeat, t.firstBeat + 441)), -30.0)
        << "first 10 ms after the first beat frame should be loud";
    int64_t firstLoud = -1;
    for (int64_t i = 0; i < d.frames && firstLoud < 0; ++i)
        if (std::fabs(d.stereo[static_cast<size_t>(2 * i)]) > 0.02f ||
            std::fabs(d.stereo[static_cast<size_t>(2 * i + 1)]) > 0.02f)
            firstLoud = i;
    EXPECT_GE(firstLoud, t.firstBeat - 64);
    EXPECT_LE(firstLoud, t.firstBeat + 132) << "the first beat starts within 3 ms of its frame";

    // No clipping: every decoded sample at or under -1 dBFS.
    float peak = 0.0f;
    for (float s : d.stereo)
        peak = std::max(peak, std::fabs(s));
    EXPECT_LE(toDb(peak), -1.0);
    EXPECT_GT(toDb(peak), -6.0) << "mastered close to the ceiling";

    // Loudness of the full sections.
    double mainSum = 0.0;
    int64_t mainFrames = 0;
    for (const auto& s : t.sections)
        if (s.name == "main") {
            const int64_t from = t.beatFrame(s.startBeat), to = t.beatFrame(s.startBeat + s.beats);
            const double r = stereoRms(d, from, to);
            mainSum += r * r * static_cast<double>(to - from);
            mainFrames += to - from;
        }
    ASSERT_GT(mainFrames, 0);
    const double mainDb = toDb(std::sqrt(mainSum / static_cast<double>(mainFrames)));
    EXPECT_GT(mainDb, -17.0);
    EXPECT_LT(mainDb, -10.0);
}

// The kick of every beat sits on round(firstBeatFrame + n * 60 * 44100 / tempo).
void checkBeats(const Decoded& d, const Track& t) {
    const std::vector<int> mainBeats = t.beatsOf("main");
    ASSERT_GT(mainBeats.size(), 100u);

    // Low-band energy right after the beats far above the energy half a beat later...
    EXPECT_GT(beatRatio(d, t, mainBeats, 0.0, 0.5), 2.5) << "on-beat / mid-beat low-band energy";
    // ...and far above the energy just before: each kick starts at its frame.
    const double onset = beatRatio(d, t, mainBeats, 0.0, -1.0);
    EXPECT_GT(onset, 10.0) << "low-band energy after / before the beat frames";
    // The measure is sharp: a grid a sixteenth of a beat late, or a tempo 0.5 % slow, loses it.
    EXPECT_GT(onset, 4.0 * beatRatio(d, t, mainBeats, 0.0625, -1.0));
    Track slower = t;
    slower.tempo = t.tempo * 0.995;
    EXPECT_GT(onset, 4.0 * beatRatio(d, slower, mainBeats, 0.0, -1.0));

    // Beat by beat: the low band first reaches half its local maximum just after the frame.
    const int64_t quarter = static_cast<int64_t>(t.beatFrames() / 4.0);
    int onTime = 0;
    std::vector<int64_t> misses;
    for (int b : mainBeats) {
        const int64_t at = t.beatFrame(b);
        float peak = 0.0f;
        for (int64_t i = at - quarter; i < at + quarter && i < d.frames; ++i)
            peak = std::max(peak, std::fabs(d.low[static_cast<size_t>(i)]));
        int64_t rise = at - quarter;
        while (rise < at + quarter && std::fabs(d.low[static_cast<size_t>(rise)]) < 0.5f * peak)
            ++rise;
        if (rise >= at - static_cast<int64_t>(0.002 * kRate) &&
            rise <= at + static_cast<int64_t>(0.015 * kRate))
            ++onTime;
        else if (misses.size() < 5)
            misses.push_back(rise - at);
    }
    EXPECT_GE(onTime, static_cast<int>(0.95 * static_cast<double>(mainBeats.size())))
        << onTime << " of " << mainBeats.size() << " beats rise within -2..+15 ms of their frame;"
        << " first misses (frames): " << ::testing::PrintToString(misses);

    // The intro starts with the kick too (the first beat is a real downbeat).
    const std::vector<int> introBeats = t.beatsOf("intro");
    EXPECT_GT(beatRatio(d, t, introBeats, 0.0, -1.0), 10.0);
}

// The break has no kick or bass but still plays.
void checkBreak(const Decoded& d, const Track& t) {
    auto lowRmsDb = [&](const std::string& name, int skipBeats) {
        double energy = 0.0;
        int64_t frames = 0;
        for (int b : t.beatsOf(name, skipBeats)) {
            energy += lowEnergy(d, t.beatFrame(b), t.beatFrame(b + 1));
            frames += t.beatFrame(b + 1) - t.beatFrame(b);
        }
        return 10.0 * std::log10(std::max(
                          energy / static_cast<double>(std::max<int64_t>(frames, 1)), 1e-24));
    };
    // Skip the break's first beat: the last kick of the main part rings into it.
    const double mainLow = lowRmsDb("main", 0);
    const double breakLow = lowRmsDb("break", 1);
    EXPECT_LT(breakLow, mainLow - 12.0) << "main " << mainLow << " dB, break " << breakLow << " dB";
    // But the break is not silence: pads and lead carry it.
    const Track::Section* brk = nullptr;
    for (const auto& s : t.sections)
        if (s.name == "break")
            brk = &s;
    ASSERT_NE(brk, nullptr);
    EXPECT_GT(
        toDb(stereoRms(d, t.beatFrame(brk->startBeat), t.beatFrame(brk->startBeat + brk->beats))),
        -32.0);
}

class DemoTrackTest : public ::testing::TestWithParam<int> {};

// One test per track decodes it once (about a second) and runs every audio and tag check.
TEST_P(DemoTrackTest, DecodedAudioAndTagsMatchTheManifest) {
    const std::vector<Track> tracks = manifestTracks();
    const size_t index = static_cast<size_t>(GetParam());
    ASSERT_LT(index, tracks.size());
    const Track& t = tracks[index];
    const fs::path path = resources() / "sound" / t.file;
    ASSERT_TRUE(fs::exists(path)) << path;
    std::string error;
    const Decoded d = decode(path, &error);
    ASSERT_GT(d.frames, 0) << error;
    {
        SCOPED_TRACE("timeline");
        checkTimeline(d, t);
    }
    {
        SCOPED_TRACE("beats");
        checkBeats(d, t);
    }
    {
        SCOPED_TRACE("break");
        checkBreak(d, t);
    }
    const auto tags = vx::readAudioTags(path);
    ASSERT_TRUE(tags.has_value());
    EXPECT_EQ(tags->title, t.title);
    EXPECT_EQ(tags->artist, "Velvox Nexa Demo");
    EXPECT_EQ(tags->album, "Velvox Nexa Demos");
    EXPECT_EQ(tags->tempo, 0.0) << "the tempo must come from analysis";
    EXPECT_EQ(tags->encoder, "") << "no library version strings in the files";
}

INSTANTIATE_TEST_SUITE_P(AllTracks, DemoTrackTest, ::testing::Range(0, 6));

} // namespace
