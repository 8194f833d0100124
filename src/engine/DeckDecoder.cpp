#include "engine/DeckDecoder.h"
#include "engine/Transport.h"

#include "analysis/peakFileData.h"
#include "dsp/lphpFilter.h"
#include "dsp/mirel_extraLP.h"
#include "engine/BlockCache.h"
#include "engine/DeckCues.h"
#include "engine/DeckEffects.h"
#include "engine/DeckSpeed.h"
#include "engine/Stretcher.h"
#include "engine/audioStream.h"
#include "library/DBController.h"
#include "library/VXAudioFileInfo.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <chrono>
#include <cmath>

namespace vx {

namespace {

// Idle sleep of a decode pass that found nothing to do, foreground and background (seconds).
constexpr double kIdleSleep = 8192.0 / kFrameRate;
constexpr double kIdleSleepBackground = 32768.0 / kFrameRate;

void neutralMixer(audioStream& deck) {
    for (auto* ramp : {&deck.eqLowRamp, &deck.eqMidRamp, &deck.eqHighRamp, &deck.resonanceRamp,
                       &deck.lphpRamp}) {
        ramp->On.store(false, std::memory_order_release);
    }
    deck.eqLowDb.store(0.0f);
    deck.eqMidDb.store(0.0f);
    deck.eqHighDb.store(0.0f);
    for (Eq8& eq : deck.eq) {
        for (int band = 0; band < 3; ++band) {
            eq.eqSetBandGain(band, 0.0f);
        }
    }
    for (auto& filter : deck.xyFilter) {
        filter->reset();
        filter->setResonance(0.7f);
        filter->setCutoff(1.0f);
    }
    deck.resonanceMix.store(1.0f);
    for (auto& lphp : deck.lphp) {
        lphp->setPosition(0.5f);
        lphp->clear();
    }
    deck.lphpPosition.store(0.5f);
}

} // namespace

std::string trackMemoryKey(const std::filesystem::path& path) {
    return path.parent_path().filename().string() + "_" + path.filename().string();
}

namespace {

// Any thread: keeps `old` alive until the main thread runs, so the last reference to a
// replaced record (and its peak data and info) is dropped there.
void freeOnMain(EngineServices& services, std::shared_ptr<const LoadedTrack> old) {
    if (old && services.loop && !services.loop->isMainThread()) {
        services.loop->post([old = std::move(old)]() mutable { old.reset(); });
    }
}

// Decode thread: takes the deck off the air. The render thread checks `isLoaded` under the
// engine lock, so once this returns it no longer touches the deck's ring, filters or effects.
void takeOffAir(audioStream& deck) {
    if (deck.engineLock) {
        std::lock_guard engine(*deck.engineLock);
        deck.isLoaded.store(false, std::memory_order_release);
    } else {
        deck.isLoaded.store(false, std::memory_order_release);
    }
}

} // namespace

int openTrack(audioStream& deck, const std::filesystem::path& path, EngineServices& services) {
    if (deck.isLoaded.load() || deck.file) {
        closeTrack(deck, services);
    }
    // Whatever the deck held, the render thread is done with it before the ring is reset.
    takeOffAir(deck);
    deck.triggerCountdown.store(0);
    deck.triggerArmed.store(false);
    deck.brakeRequested.store(false);
    deck.inertiaSpeed.store(0.0);
    deck.isLoading.store(true);
    deck.needsAnalysis.store(false);

    // Everything that touches the disk or the database happens before any lock is taken.
    std::shared_ptr<VXAudioFileInfo> info;
    if (services.db) {
        for (int i = 0; i < 100 && services.db->isDBBusy(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        info = services.db->getFullInfoForFile(path);
    }
    std::string error;
    auto reader = AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, &error);
    if (!reader) {
        logLine("Could not open %s: %s", path.string().c_str(), error.c_str());
        deck.isLoading.store(false);
        return 0;
    }
    const AudioFileFormat& format = reader->fileFormat();
    const int64_t frames64 = reader->lengthFrames();
    const auto length =
        static_cast<int32_t>(std::min<int64_t>(frames64, INT32_MAX - 2 * kBlockFrames));

    // Peaks beside the track: loaded, or a new record of "not computed" entries written at once.
    const int32_t peakCount = peakCountForFrames(length);
    auto peaks = peakFileData::create(peakCount);
    const auto peakPath = peakFilePath(path);
    bool needsAnalysis = false;
    if (!peakFileLoad(*peaks, peakPath, peakCount)) {
        peaks = peakFileData::create(peakCount);
        peakFileWrite(*peaks, peakPath);
        needsAnalysis = true;
    }

    auto record = std::make_shared<LoadedTrack>();
    record->path = path;
    record->info = info;
    record->peaks = peaks;
    record->lengthFrames = length;
    if (services.defaults) {
        if (auto memory = services.defaults->mapForKey(trackMemoryKey(path))) {
            if (auto it = memory->find("kVolume"); it != memory->end()) {
                record->rememberedVolume = UserDefaults::asFloat(it->second);
            }
        }
    }
    const bool normalize = services.defaults && services.defaults->boolForKey("kNormalizeVolume");
    // The first beat mark, when the track has a tempo.
    const double tempo = info ? info->tempo : 0.0;
    if (tempo > 0 && length >= 1) {
        for (int32_t i = 1; int64_t{256} * i < length; ++i) {
            if (peaks->isBeatEntry(i)) {
                record->firstBeatFrame = 1 + 256.0 * i;
                break;
            }
        }
    }

    // The deck is off the air (not loaded): the render thread does not touch its filters,
    // effects or ring, so they are reset without the engine lock.
    {
        std::lock_guard lock(*deck.decodeLock);
        deck.normalizeGain.store(1.0f);
        deck.fileFormat = {};
        deck.fileFormat.sampleRate = format.sampleRate;
        deck.fileFormat.channelsPerFrame = static_cast<uint32_t>(format.channels);
        deck.clientFormat = {44100.0, 0x9 /* float, packed */, 8, 1, 8, 2, 32};
        deck.file = std::move(reader);

        deck.lengthFrames.store(length);
        deck.numBlocks.store((length + kBlockFrames - 1) / kBlockFrames);
        deck.baseSpeed.store(1.0);
        deck.speed.store(1.0);
        if (deck.stretcher) {
            // A request, not a set: a pitch that key lock sets after this load replaces it.
            deck.stretcher->requestPitch(1.0);
            deck.stretcher->requestClear();
        }
        deck.speedRamp.On.store(false, std::memory_order_release);
        deck.nextReadFrame.store(0); // the reader stands at frame 0 after opening
        deck.headerFrames.store(static_cast<int32_t>(format.primingFrames));
        if (format.primingFrames != 0) {
            logLine("Not zero headerFrames:%i", static_cast<int>(format.primingFrames));
        }
        for (soundBuffer& slot : deck.blocks) {
            resetSlot(slot);
        }
        deck.blockWanted.assign(static_cast<size_t>(deck.numBlocks.load()), 0);
        deck.blockFailed.assign(static_cast<size_t>(deck.numBlocks.load()), 0);
        deck.replanNeeded.store(true);
        deck.position.store(0.0);

        deck.volume.store(record->rememberedVolume.value_or(1.0f));
        deck.volumeRamp.On.store(false, std::memory_order_release);
        deck.loopActive.store(false);
        deck.stopFlag.store(false);
        deck.loopStart.store(0);
        deck.loopEnd.store(0);
        if (normalize) {
            deck.volume.store(static_cast<float>(peaks->gain.load()));
        }
        deck.firstBeatFrame.store(record->firstBeatFrame);
        neutralMixer(deck);
        deck.eq[0].eqSetSampleRate(float(kSampleRate));
        deck.eq[1].eqSetSampleRate(float(kSampleRate));
        deck.meterLevel.store(0.0f);
        deck.meterLevelHold.store(0.0f);
        deck.needsAnalysis.store(needsAnalysis);
        freeOnMain(services, publishTrack(deck, record));
        // The effects follow the new track's tempo before the deck is heard.
        retuneTempoSyncedEffects(deck);
        if (!deck.pitchMode.load()) {
            // The stretcher was emptied when the file was opened: normally no latency is left.
            deck.position.store(deck.position.load() - pendingStretchLatency(deck));
        }
        deck.firstPlayPending.store(true);
        deck.isLoading.store(false);
        // Publishes everything above to the render thread (acquire in mixDecks).
        deck.isLoaded.store(true, std::memory_order_release);
    }

    if (tempo <= 0) {
        const std::string name = path.filename().string();
        if (!services.analysisQueued || !services.analysisQueued(name)) {
            deck.needsAnalysis.store(true);
        }
    }
    if (services.loop) {
        const int index = deck.deckIndex;
        services.loop->post([&services, &deck, index] {
            // The track's cue points and even beats, then everyone who waits for the track.
            deckFileOpened(deck, services.db.get());
            if (services.fileOpened) {
                services.fileOpened(index);
            }
            if (services.notifications) {
                services.notifications->post("fileOpened", index);
            }
        });
    }
    return 1;
}

void closeTrack(audioStream& deck, EngineServices& services) {
    const auto record = deck.track();
    bool hadFile = false;
    takeOffAir(deck);
    {
        std::lock_guard lock(*deck.decodeLock);
        hadFile = deck.file != nullptr;
        deck.file.reset();
        deck.isPlaying.store(false, std::memory_order_release);
        freeOnMain(services, publishTrack(deck, nullptr));
    }
    // The settings are written after the lock is released: nobody waits on the disk.
    if (services.defaults && hadFile) {
        // The track's speed and volume are remembered for its next load.
        if (record && !record->path.empty()) {
            UserDefaults::Map memory;
            memory["kSpeed"] = deck.baseSpeed.load();
            memory["kVolume"] = deck.volume.load();
            services.defaults->setMap(trackMemoryKey(record->path), memory);
        }
        services.defaults->setInteger("kStreamCrate" + std::to_string(deck.deckIndex),
                                      deck.crateIndex.load());
        services.defaults->synchronize();
    }
    freeOnMain(services, record);
}

DeckDecoder::DeckDecoder(audioStream& deck, EngineServices& services)
    : deck_(deck), services_(services) {}

DeckDecoder::~DeckDecoder() {
    shutdown();
}

std::string DeckDecoder::displayName() const {
    std::lock_guard lock(const_cast<std::mutex&>(threadMutex_));
    return displayName_;
}

void DeckDecoder::load(const std::filesystem::path& path) {
    std::lock_guard lock(threadMutex_);
    loads_.fetch_add(1, std::memory_order_relaxed);
    // The new generation first, so that the replaced thread can no longer report idle.
    const uint64_t generation = generation_.fetch_add(1, std::memory_order_acq_rel) + 1;
    {
        std::lock_guard state(stateMutex_);
        idle_ = false;
        alive_ += 1;
    }
    std::thread previous = std::move(thread_);
    thread_ = std::thread([this, path, generation, prev = std::move(previous)]() mutable {
        threadMain(path, std::move(prev), generation);
    });
}

void DeckDecoder::shutdown() {
    std::thread last;
    {
        std::lock_guard lock(threadMutex_);
        last = std::move(thread_);
    }
    generation_.fetch_add(1, std::memory_order_acq_rel);
    {
        std::lock_guard lock(stateMutex_);
        wakeRequested_ = true;
    }
    wake_.notify_all();
    if (last.joinable()) {
        last.join();
    }
}

void DeckDecoder::markIdle(bool idle, uint64_t generation) {
    {
        std::lock_guard lock(stateMutex_);
        // A replaced thread speaks no more for the deck: only the current one sets the state.
        if (generation != generation_.load(std::memory_order_acquire)) {
            return;
        }
        idle_ = idle;
    }
    idleChanged_.notify_all();
}

void DeckDecoder::wait(double seconds) {
    std::unique_lock lock(stateMutex_);
    wake_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return wakeRequested_; });
    wakeRequested_ = false;
}

bool DeckDecoder::settle(double timeoutSeconds) {
    std::unique_lock lock(stateMutex_);
    if (alive_ == 0) {
        return true;
    }
    idle_ = false;
    wakeRequested_ = true;
    wake_.notify_all();
    return idleChanged_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                                 [this] { return idle_ || alive_ == 0; });
}

void DeckDecoder::threadEnded() {
    {
        std::lock_guard lock(stateMutex_);
        alive_ -= 1;
        if (alive_ == 0) {
            idle_ = true;
        }
    }
    idleChanged_.notify_all();
}

void DeckDecoder::threadMain(std::filesystem::path path, std::thread previous,
                             uint64_t generation) {
    // End the thread that served the deck before (its generation is no longer current): it
    // closes its file and saves its memory.
    const auto current = [this, generation] {
        return generation_.load(std::memory_order_acquire) == generation;
    };
    {
        std::lock_guard lock(stateMutex_);
        wakeRequested_ = true;
    }
    wake_.notify_all();
    if (previous.joinable()) {
        previous.join();
    }

    if (!current()) {
        opened_.fetch_add(1, std::memory_order_release);
        threadEnded(); // replaced before it began
        return;
    }
    const int ok = openTrack(deck_, path, services_);
    opened_.fetch_add(1, std::memory_order_release);
    if (!ok) {
        threadEnded();
        return;
    }
    {
        std::lock_guard lock(threadMutex_);
        if (const auto info = deck_.info()) {
            displayName_ =
                info->artist && !info->artist->empty() ? *info->artist : info->title.value_or("");
        }
    }
    if (deck_.needsAnalysis.load() && services_.startAnalysis) {
        services_.startAnalysis(path);
    }
    deck_.decoderRunning.store(true, std::memory_order_release);
    deck_.decoderBusy.store(true);

    bool reportedFirstPass = false;
    while (true) {
        if (!current()) {
            deck_.decoderRunning.store(false, std::memory_order_release);
            closeTrack(deck_, services_);
            threadEnded();
            return;
        }
        bool worked = false;
        if (deck_.replanNeeded.load(std::memory_order_relaxed)) {
            std::lock_guard lock(*deck_.decodeLock);
            replan(deck_);
            worked = true;
        }
        {
            std::lock_guard lock(*deck_.decodeLock);
            if (deck_.isLoaded.load() && deck_.file) {
                const bool background = services_.inBackground.load(std::memory_order_relaxed);
                int decoded = fillStep(deck_);
                for (int extra = 0; background && decoded && extra < 3; ++extra) {
                    decoded = fillStep(deck_);
                }
                worked = worked || decoded;
                deck_.decoderBusy.store(decoded != 0);
            }
        }
        const bool background = services_.inBackground.load(std::memory_order_relaxed);
        if (!reportedFirstPass && !background) {
            reportedFirstPass = true;
            if (services_.loop && services_.loadFileDidHide) {
                services_.loop->post([this] {
                    if (services_.loadFileDidHide) {
                        services_.loadFileDidHide();
                    }
                });
            }
        }
        if (!worked) {
            markIdle(!deck_.replanNeeded.load(std::memory_order_relaxed), generation);
            if (!deck_.replanNeeded.load(std::memory_order_relaxed)) {
                wait(background ? kIdleSleepBackground : kIdleSleep);
            }
        } else {
            markIdle(false, generation);
        }
    }
}

} // namespace vx
