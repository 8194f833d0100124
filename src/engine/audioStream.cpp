#include "engine/audioStream.h"

#include "dsp/AMGate.h"
#include "dsp/AMRepeater.h"
#include "dsp/Bitcrusher.h"
#include "dsp/ChorusFlanger.h"
#include "dsp/MDelay.h"
#include "dsp/Phaser.h"
#include "dsp/lphpFilter.h"
#include "dsp/mirel_extraLP.h"
#include "engine/Stretcher.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"

namespace vx {

audioStream::audioStream() {
    speedRamp.clear(512.0);
    for (ParamFilter* ramp : {&hpFadeRamp, &faderRamp, &volumeRamp, &trimRamp, &resonanceRamp,
                              &lphpRamp, &eqLowRamp, &eqMidRamp, &eqHighRamp, &outputRamp}) {
        ramp->clear(25.0f);
    }
    for (soundBuffer& slot : blocks) {
        slot.list = std::make_unique<float[]>(size_t{kBlockFrames} * 2);
        slot.frames.store(kBlockFrames, std::memory_order_relaxed);
    }
    for (int c = 0; c < 2; ++c) {
        xyFilter[c] = std::make_unique<mirel_extraLP>();
        xyFilter[c]->setCutoff(1.0f);
        xyFilter[c]->setResonance(0.7f);
        lphp[c] = std::make_unique<lphpFilter>();
    }
    repeater = std::make_unique<AMRepeater>();
    delay = std::make_unique<MDelay>();
    gate = std::make_unique<AMGate>();
    phaser = std::make_unique<Phaser>();
    chorus = std::make_unique<ChorusFlanger>();
    crusher = std::make_unique<Bitcrusher>();
}

audioStream::~audioStream() = default;

std::shared_ptr<VXAudioFileInfo> audioStream::info() const {
    const auto t = track();
    return t ? t->info : nullptr;
}

std::shared_ptr<peakFileData> audioStream::peakData() const {
    const auto t = track();
    return t ? t->peaks : nullptr;
}

std::filesystem::path audioStream::trackFile() const {
    const auto t = track();
    return t ? t->path : std::filesystem::path();
}

bool isDeckIndex(int deck) {
    if (deck == 0 || deck == 1) {
        return true;
    }
    logLine("no deck %i", deck);
    return false;
}

std::shared_ptr<const LoadedTrack> publishTrack(audioStream& deck,
                                                std::shared_ptr<const LoadedTrack> track) {
    // Release: a reader that acquires the new record sees it whole.
    return deck.loadedTrack.exchange(std::move(track));
}

void republishInfo(audioStream& deck, const std::filesystem::path& path,
                   std::shared_ptr<VXAudioFileInfo> info) {
    const auto current = deck.track();
    if (!current || current->path != path) {
        return;
    }
    auto next = std::make_shared<LoadedTrack>(*current);
    next->info = std::move(info);
    publishTrack(deck, std::move(next));
}

void stopStream(audioStream& deck) {
    if (!deck.isLoaded.load(std::memory_order_relaxed)) {
        return;
    }
    deck.isPlaying.store(false, std::memory_order_release);
    deck.speedRamp.On.store(false, std::memory_order_release);
    deck.speedRamp.from.store(0.0, std::memory_order_relaxed);
    deck.speedRamp.to.store(0.0, std::memory_order_relaxed);
    deck.speedRamp.delta.store(0.0, std::memory_order_relaxed);
    deck.speed.store(deck.baseSpeed.load(std::memory_order_relaxed), std::memory_order_relaxed);
    deck.stopFlag.store(false, std::memory_order_relaxed);
    deck.outputRamp.On.store(false, std::memory_order_release);
}

void resetEqState(audioStream& deck) {
    std::unique_lock<EngineLock> engine;
    if (deck.engineLock) {
        engine = std::unique_lock(*deck.engineLock);
    }
    deck.eq[0].eqSetSampleRate(float(kSampleRate));
    deck.eq[1].eqSetSampleRate(float(kSampleRate));
}

soundBuffer* findBlock(audioStream& deck, int32_t blockIndex) {
    if (blockIndex < 0) {
        return nullptr;
    }
    for (soundBuffer& slot : deck.blocks) {
        if (slot.valid.load(std::memory_order_acquire) &&
            slot.blockIndex.load(std::memory_order_relaxed) == blockIndex) {
            return &slot;
        }
    }
    return nullptr;
}

} // namespace vx
