#include "ContentGenerator.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include <unistd.h>

#include <nlohmann/json.hpp>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "Mp3Encoder.h"
#include "PadSounds.h"
#include "TagWriter.h"
#include "TrackComposer.h"
#include "TrackStyle.h"
#include "WavWriter.h"

namespace vx {

namespace {

constexpr const char* kArtist = "Velvox Nexa Demo";
constexpr const char* kAlbum = "Velvox Nexa Demos";
constexpr const char* kManifest = "demo-tracks.json";

struct SoundFile {
    const char* path;
    StereoBuffer (*make)();
};

const SoundFile kSounds[] = {
    {"samples/fx_1.wav", &PadSounds::horn},   {"samples/fx_2.wav", &PadSounds::siren},
    {"samples/fx_3.wav", &PadSounds::clap},   {"samples/fx_4.wav", &PadSounds::laser},
    {"samples/fx_5.wav", &PadSounds::rewind}, {"samples/fx_6.wav", &PadSounds::drop},
    {"done.wav", &PadSounds::doneChime},      {"rec.wav", &PadSounds::recBeep},
};

// Flush denormals to zero: decaying filters and reverb tails otherwise crawl through denormal
// arithmetic. The setting is the same on every run, so output stays deterministic.
void enableFlushToZero() {
#if defined(__SSE__)
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
}

// Writes via a temporary name, so an interrupted run never leaves a half file under the real one.
bool writeAtomically(const std::filesystem::path& target,
                     const std::function<bool(const std::string&, std::string*)>& writer,
                     std::string* error) {
    // The process id keeps two generators writing into one folder (parallel builds sharing a
    // tree) from trampling each other's temporary files.
    const std::filesystem::path temp = target.string() + ".part" + std::to_string(::getpid());
    if (!writer(temp.string(), error))
        return false;
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        *error = target.string() + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace

ContentGenerator::ContentGenerator(std::string outputDir, int threads)
    : outputDir_(std::move(outputDir)), threads_(threads < 1 ? 1 : threads) {}

std::vector<std::string> ContentGenerator::outputFiles() {
    std::vector<std::string> files;
    for (const TrackStyle& s : demoTrackStyles())
        files.push_back("sound/" + s.title + ".mp3");
    for (const SoundFile& f : kSounds)
        files.push_back(f.path);
    files.push_back(kManifest);
    return files;
}

bool ContentGenerator::run(std::string* error) {
    namespace fs = std::filesystem;
    const fs::path root(outputDir_);
    std::error_code ec;
    for (const char* sub : {"sound", "samples", "docroot"}) {
        fs::create_directories(root / sub, ec);
        if (ec) {
            *error = (root / sub).string() + ": " + ec.message();
            return false;
        }
    }

    const std::vector<TrackStyle> styles = demoTrackStyles();
    std::vector<nlohmann::ordered_json> entries(styles.size());
    // Jobs 0..n-1 are the tracks, job n is all the short sounds (quick, so it goes last).
    const int jobCount = static_cast<int>(styles.size()) + 1;
    std::atomic<int> nextJob{0};
    std::mutex errorMutex;
    std::string firstError;

    auto runJob = [&](int job, TrackComposer& composer) -> std::string {
        std::string err;
        if (job == static_cast<int>(styles.size())) {
            for (const SoundFile& f : kSounds) {
                const StereoBuffer audio = f.make();
                auto write = [&](const std::string& p, std::string* e) {
                    return WavWriter::write(audio, p, e);
                };
                if (!writeAtomically(root / f.path, write, &err))
                    return err;
            }
            return {};
        }
        const TrackStyle& style = styles[static_cast<size_t>(job)];
        const ComposedTrack track = composer.compose(style);
        const StereoBuffer& audio = composer.audio();
        const std::string file = style.title + ".mp3";
        auto write = [&](const std::string& p, std::string* e) {
            return Mp3Encoder::write(audio, p, e) &&
                   TagWriter::write(p, style.title, kArtist, kAlbum, e);
        };
        if (!writeAtomically(root / "sound" / file, write, &err))
            return err;
        nlohmann::ordered_json entry;
        entry["file"] = file;
        entry["title"] = style.title;
        entry["artist"] = kArtist;
        entry["album"] = kAlbum;
        entry["key"] = style.key;
        entry["tempo"] = track.tempo;
        entry["firstBeatFrame"] = track.firstBeatFrame;
        entry["frames"] = audio.frames();
        entry["sampleRate"] = kGenSampleRate;
        nlohmann::ordered_json sections = nlohmann::ordered_json::array();
        for (const TrackSection& sec : track.sections)
            sections.push_back(
                {{"name", sec.name}, {"startBeat", sec.startBeat}, {"beats", sec.beats}});
        entry["sections"] = sections;
        entries[static_cast<size_t>(job)] = std::move(entry);
        return {};
    };

    auto worker = [&] {
        enableFlushToZero();
        TrackComposer composer; // per thread: its buses are reused from track to track
        for (int job = nextJob++; job < jobCount; job = nextJob++) {
            std::string err = runJob(job, composer);
            if (!err.empty()) {
                std::lock_guard<std::mutex> lock(errorMutex);
                if (firstError.empty())
                    firstError = err;
            }
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads_; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    if (!firstError.empty()) {
        *error = firstError;
        return false;
    }

    nlohmann::ordered_json manifest = nlohmann::ordered_json::array();
    for (auto& e : entries)
        manifest.push_back(std::move(e));
    auto writeManifest = [&](const std::string& p, std::string* e) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << manifest.dump(2) << '\n';
        out.close();
        if (!out)
            *e = p + ": cannot write the manifest";
        return static_cast<bool>(out);
    };
    return writeAtomically(root / kManifest, writeManifest, error);
}

} // namespace vx
