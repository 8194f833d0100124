// Wi-Fi transfer: upload speed over loopback while both decks play, and the decks' health
// meanwhile.
//
// The engine renders on the offline device's own thread, paced in real time like a sound card,
// with both decks playing demo MP3s that their decode threads read from the documents folder
// (the disk the upload writes to). The transfer service runs on this thread's run loop (its
// requests hand their work to it), and a client thread uploads `Arg` MB of data through
// "/files" on 127.0.0.1. Counters: MB_per_s of the upload (body bytes over the wall time of the
// request) and skip_buffers, the render's "skip buffer" lines during the upload.

#include "../tests/library/LibraryFixture.h"

#include "app/WiFiTransfer.h"
#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace vx;
namespace fs = std::filesystem;

void BM_TransferUploadWhileDecksPlay(benchmark::State& state) {
    const size_t megabytes = size_t(state.range(0));
    test::LibraryTempDir home;
    const Paths paths = Paths::forHome(home.path());
    std::string error;
    if (!paths.ensureWritableFolders(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    SystemClock clock;
    RunLoop loop(clock);
    NotificationCenter notifications(loop);
    UserDefaults defaults(paths.settingsFile());
    EngineServices services;
    services.db = DBController::init(paths);
    services.defaults = &defaults;
    services.notifications = &notifications;
    services.loop = &loop;
    OfflineAudioDevice device(
        OfflineAudioDevice::Options{.bufferFrames = 512, .pacedRealTime = true, .ownThread = true});
    AudioOut engine(device, &loop, &services);
    if (!engine.init()) {
        state.SkipWithError("no engine");
        return;
    }
    int deck = 0;
    for (const char* name : {"Copper Lines.mp3", "Neon Harbor.mp3"}) {
        fs::copy_file(paths.sound() / name, paths.documents() / name);
        engine.runDecode(deck++, paths.documents() / name);
    }
    engine.settleDecoders(30.0);
    loop.runPosted();
    for (int d = 0; d < 2; ++d) {
        engine.deck(d).pitchMode.store(false); // key lock on: the full render load
        deckPlay(engine.deck(d));
    }
    engine.StartSound();

    WiFiTransfer transfer(paths, loop, notifications, services.db, nullptr);
    WiFiTransferOptions options;
    options.port = 0;
    options.bindAddress = "127.0.0.1";
    options.maxUploadBytes = uint64_t(megabytes + 16) << 20;
    transfer.setOptions(options);
    if (transfer.startServer()) {
        state.SkipWithError("the server did not start");
        return;
    }
    const std::string block(1 << 20, 'v');
    double seconds = 0.0;
    size_t skips = 0;
    for (auto _ : state) {
        drainRealtimeLog();
        LogCapture log;
        std::atomic<bool> done{false};
        int status = 0;
        const auto start = std::chrono::steady_clock::now();
        std::thread client([&] {
            httplib::Client c("127.0.0.1", transfer.port());
            c.set_write_timeout(120, 0);
            c.set_read_timeout(120, 0);
            const auto r = c.Post("/files", httplib::Headers{}, httplib::MultipartFormDataItems{},
                                  httplib::MultipartFormDataProviderItems{
                                      {"newfile",
                                       [&](size_t offset, httplib::DataSink& sink) {
                                           if (offset >= megabytes << 20) {
                                               sink.done();
                                               return true;
                                           }
                                           return sink.write(block.data(), block.size());
                                       },
                                       "upload.bin", "application/octet-stream"}});
            status = r ? r->status : -1;
            done.store(true);
        });
        loop.runUntil([&] { return done.load(); }, 300.0);
        client.join();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        drainRealtimeLog();
        for (const std::string& line : log.lines()) {
            skips += line.find("skip buffer") != std::string::npos;
        }
        if (status != 302 || fs::file_size(paths.documents() / "upload.bin") != megabytes << 20) {
            state.SkipWithError("the upload was not stored whole");
            break;
        }
        transfer.fileShouldDelete("upload.bin");
    }
    state.SetIterationTime(seconds / double(state.iterations()));
    state.counters["MB_per_s"] = double(megabytes * state.iterations()) / seconds;
    state.counters["skip_buffers"] = double(skips);
    state.counters["decks_playing"] =
        double(engine.deck(0).isPlaying.load()) + double(engine.deck(1).isPlaying.load());
    transfer.stopServer();
    engine.StopSound();
    engine.closeDecoders();
}
BENCHMARK(BM_TransferUploadWhileDecksPlay)
    ->Arg(1024)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
