// Music-library import: 200 tagged tracks in nested folders (artist/album) scanned and imported
// into a fresh documents folder and library, while deck 0 plays a five-minute MP3 on the
// offline device's own render thread, paced in real time. The import runs as in the
// application: the export loop on its own thread, each registration (fileImported) on the main
// thread, which also runs a 10 ms timer whose lateness shows how long the interface would
// stall. Counters: tracks per second and MB per second of the whole import (scan included),
// the longest main-thread stall, and "skip buffer" lines and seconds played of the deck.

#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h" // tests/library
#include "library/iTunesImporter.h"
#include "platform/Clock.h"
#include "platform/EncodeFixture.h"
#include "platform/Log.h"
#include "platform/OfflineAudioDevice.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

using namespace vx;
namespace fs = std::filesystem;

constexpr int kTracks = 200;
constexpr int kTrackSeconds = 30;

// 200 copies of one 30-second MP3 (192 kbit/s, about 0.7 MB), each with its own tags, in
// 10 artist folders of 4 albums; and the five-minute MP3 the deck plays.
struct Collection {
    fixture::TempDir dir;
    fs::path music = dir.path() / "Music";
    fs::path deckTrack = dir.file("deck.mp3");
    uint64_t bytes = 0;

    Collection() {
        std::string error;
        const fs::path one = dir.file("one.mp3");
        fixture::encode(one, fixture::Codec::Mp3Cbr,
                        fixture::musicSignal(int64_t{kTrackSeconds} * 44100, 44100, 2, 3), 44100, 2,
                        &error);
        fixture::encode(deckTrack, fixture::Codec::Mp3Cbr,
                        fixture::musicSignal(int64_t{300} * 44100, 44100, 2, 5), 44100, 2, &error);
        for (int i = 0; i < kTracks; ++i) {
            const std::string artist = "Artist " + std::to_string(i % 10);
            const std::string album = "Album " + std::to_string(i / 10 % 4);
            const fs::path path = music / artist / album / ("Track " + std::to_string(i) + ".mp3");
            fs::create_directories(path.parent_path());
            fs::copy_file(one, path);
            TagLib::MPEG::File file(path.c_str());
            TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
            tag->setTitle("Track " + std::to_string(i));
            tag->setArtist(artist);
            tag->setAlbum(album);
            auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TBPM", TagLib::String::UTF8);
            frame->setText(TagLib::String(std::to_string(100 + i % 40)));
            tag->addFrame(frame);
            file.save();
            bytes += fs::file_size(path);
        }
    }
};

class Registering final : public iTunesImporterDelegate {
public:
    Registering(DBController& db, const Paths& paths) : db_(db), paths_(paths) {}
    void fileImported(const ImportParams& params) override {
        imported += iTunesImporter::registerImportedFile(db_, paths_, params) ? 1 : 0;
    }
    void importDone() override { done = true; }
    int imported = 0;
    bool done = false;

private:
    DBController& db_;
    const Paths& paths_;
};

void BM_Import200TracksWhilePlaying(benchmark::State& state) {
    static Collection collection;
    setLogToStderr(false);
    for (auto _ : state) {
        test::LibraryHome home;
        auto db = DBController::init(home.paths());
        SystemClock clock;
        RunLoop loop(clock);
        EngineServices services;
        OfflineAudioDevice device(OfflineAudioDevice::Options{
            .bufferFrames = 1024, .pacedRealTime = true, .ownThread = true});
        AudioOut engine(device, &loop, &services);
        engine.init();
        engine.StartSound();
        engine.runDecode1(collection.deckTrack);
        engine.settleDecoders(30.0);
        engine.startPlay();
        const double startPosition = engine.deck(0).position.load();
        LogCapture capture;

        using Steady = std::chrono::steady_clock;
        Steady::time_point lastTick = Steady::now();
        double longestStall = 0;
        TimerHandle ticks = loop.every(0.01, [&] {
            const Steady::time_point now = Steady::now();
            longestStall =
                std::max(longestStall, std::chrono::duration<double>(now - lastTick).count());
            lastTick = now;
        });

        Registering delegate(*db, home.paths());
        const Steady::time_point start = Steady::now();
        {
            iTunesImporter importer(loop, home.paths().documents(), nullptr, nullptr, &delegate);
            importer.mediaPickerDidPickMediaItems(MusicLibrary(collection.music).items());
            loop.runUntil([&] { return delegate.done; }, 600);
        }
        const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
        ticks.invalidate();
        const double played = (engine.deck(0).position.load() - startPosition) / 44100.0;
        engine.StopSound();
        engine.serviceRenderRequests();
        engine.closeDecoders();

        int skips = 0;
        for (const auto& line : capture.lines()) {
            skips += line.find("skip buffer") != std::string::npos;
        }
        state.SetIterationTime(seconds);
        state.counters["tracks"] = delegate.imported;
        state.counters["tracksPerSecond"] = delegate.imported / seconds;
        state.counters["MBPerSecond"] = double(collection.bytes) / 1e6 / seconds;
        state.counters["longestMainStallMs"] = longestStall * 1000.0;
        state.counters["skipBuffers"] = skips;
        state.counters["deckPlayedSeconds"] = played;
    }
    setLogToStderr(true);
}

BENCHMARK(BM_Import200TracksWhilePlaying)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
