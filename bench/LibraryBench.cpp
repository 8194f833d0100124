// Track database speed: adding 10,000 tracks, then listing them in each listing order, and
// listing a crate of 2,000 in each order. The goal is every listing under 50 ms, since the
// browser and the crate editor list on every screen change. The database lives in a temp
// folder with the build's template; the tracks need no audio files (names, tags, tempo,
// dates, play counts and lengths are made up, deterministic).

#include "library/DBController.h"
#include "library/LibraryFixture.h" // tests/library

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

namespace {

using vx::DBController;
using vx::VXAudioFileInfo;

constexpr int kTracks = 10000;
constexpr int kCrateTracks = 2000;
constexpr int kCrate = 2;

std::string word(std::mt19937& random) {
    static const char* const syllables[] = {"ka", "lo", "mi", "ne", "ra", "su", "to", "vi",
                                            "ze", "do", "ba", "fe", "gu", "hi", "jo", "pa"};
    std::string text;
    const int count = 2 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
        text += syllables[random() % 16];
    }
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::shared_ptr<VXAudioFileInfo> makeTrack(const vx::Paths& paths, int index,
                                           std::mt19937& random) {
    const std::string title = word(random) + " " + word(random);
    auto info = vx::test::makeInfo(paths, title + " " + std::to_string(index) + ".mp3", title,
                                   word(random) + "'s Band", word(random),
                                   80.0 + static_cast<double>(random() % 9000) / 100.0);
    info->setDurationSeconds(120.0 + static_cast<double>(random() % 300));
    return info;
}

// One library shared by the listing benchmarks, filled on first use.
struct Library {
    vx::test::LibraryHome home;
    std::shared_ptr<DBController> db;
    std::vector<std::shared_ptr<VXAudioFileInfo>> tracks;

    Library() {
        db = DBController::init(home.paths());
        std::mt19937 random(42);
        for (int i = 0; i < kTracks; ++i) {
            auto info = makeTrack(home.paths(), i, random);
            db->addFileToDB(*info, 0);
            if (i % 3 == 0) {
                db->incrementPlayCountForInfo(*info);
            }
            tracks.push_back(std::move(info));
        }
        for (int i = 0; i < kCrateTracks; ++i) {
            db->addToCrate(kCrate, *tracks[static_cast<size_t>(i * (kTracks / kCrateTracks))]);
        }
    }
};

Library& library() {
    static Library shared;
    return shared;
}

void BM_LibraryAddTracks(benchmark::State& state) {
    for (auto _ : state) {
        vx::test::LibraryHome home;
        auto db = DBController::init(home.paths());
        std::mt19937 random(7);
        std::vector<std::shared_ptr<VXAudioFileInfo>> infos;
        for (int i = 0; i < kTracks; ++i) {
            infos.push_back(makeTrack(home.paths(), i, random));
        }
        const auto start = std::chrono::steady_clock::now();
        for (auto& info : infos) {
            db->addFileToDB(*info, 0);
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["tracks"] = kTracks;
    state.counters["per_track_us"] = benchmark::Counter(
        static_cast<double>(kTracks),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LibraryAddTracks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LibraryListGroup(benchmark::State& state) {
    Library& lib = library();
    lib.db->setResultSortOrder(static_cast<int>(state.range(0)));
    size_t listed = 0;
    for (auto _ : state) {
        const auto list = lib.db->getListForGroup(0);
        listed = list ? list->size() : 0;
        benchmark::DoNotOptimize(list);
    }
    state.counters["tracks"] = static_cast<double>(listed);
    state.SetLabel(DBController::orderNameFor(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LibraryListGroup)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

void BM_LibraryListCrate(benchmark::State& state) {
    Library& lib = library();
    lib.db->setResultSortOrder(static_cast<int>(state.range(0)));
    size_t listed = 0;
    for (auto _ : state) {
        const auto list = lib.db->getListForCrate(kCrate);
        listed = list ? list->size() : 0;
        benchmark::DoNotOptimize(list);
    }
    state.counters["tracks"] = static_cast<double>(listed);
    state.SetLabel(DBController::orderNameFor(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LibraryListCrate)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

} // namespace
