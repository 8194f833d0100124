#include "engine/AudioOut.h"

#include "analysis/analyzeTrack.h"
#include "engine/DeckEffects.h"
#include "dsp/Eq8.h"
#include "dsp/SamplePlayerFixed.h"
#include "dsp/lphpFilter.h"
#include "engine/DeckDecoder.h"
#include "engine/DeckSpeed.h"
#include "engine/MixRecordWriter.h"
#include "engine/Stretcher.h"
#include "engine/Transport.h"
#include "library/DBController.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"

#include <algorithm>
#include <chrono>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#include <cmath>
#include <cstring>

namespace vx {

namespace {

// Period of the main thread's service pass (render-thread requests, render log lines).

void clearFrames(float* buffer, uint32_t frames) {
    std::memset(buffer, 0, sizeof(float) * 2 * frames);
}

float rms(const float* interleaved, uint32_t frames, int channel) {
    if (frames == 0) {
        return 0.0f;
    }
    double sum = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        const float v = interleaved[2 * i + channel];
        sum += static_cast<double>(v) * v;
    }
    return static_cast<float>(std::sqrt(sum / frames));
}

} // namespace

AudioOut::AudioOut(AudioDevice& device, RunLoop* loop, EngineServices* services)
    : device_(device), loop_(loop), services_(services) {
    const size_t samples = size_t{kMaxFrames} * 2;
    mix_ = std::make_unique<float[]>(samples);
    for (int i = 0; i < 2; ++i) {
        deckMain_[i] = std::make_unique<float[]>(samples);
        deckPre_[i] = std::make_unique<float[]>(samples);
    }
    deckTemp_ = std::make_unique<float[]>(samples);
    refill_ = std::make_unique<float[]>(samples);
    refillPre_ = std::make_unique<float[]>(samples);
    sampleGainFilter.clear(8.0f);
    for (int i = 0; i < kPadCount; ++i) {
        pads_[size_t(i)] = std::make_unique<SamplePlayerFixed>();
        Sample[size_t(i)].store(pads_[size_t(i)].get(), std::memory_order_release);
    }
    // The routine every analysis runs: the user's tempo, once typed in, wins over detection.
    analysisRoutine_ = [this](const std::filesystem::path& path, peakFileData& peaks,
                              std::atomic<float>& progress) {
        return analyzeTrack(path, &peaks, &progress, [this](const std::filesystem::path& p) {
            return getTempoOverrideForAnalyze(p);
        });
    };
}

AudioOut::~AudioOut() {
    if (loop_ && loopSource_ != 0) {
        loop_->removeSource(loopSource_); // the loop may outlive the engine
    }
    abortRecord();
    // Decoders first: one still opening its track may start an analysis, which the join below
    // must then see.
    closeDecoders();
    joinAnalyses(true);
    StopSound();
    device_.disposeUnit();
}

void AudioOut::runDecode(int deck, const std::filesystem::path& path) {
    if (decoders_[deck]) {
        decoders_[deck]->load(path);
    }
}

int AudioOut::PreparePlaybackWithFile(const std::filesystem::path& path, int deck) {
    if (!fileStream[deck] || !services_) {
        return 0;
    }
    return openTrack(*fileStream[deck], path, *services_);
}

bool AudioOut::deckOpening(int deck) const {
    const auto& decoder = decoders_[size_t(deck & 1)];
    return decoder && decoder->opening();
}

bool AudioOut::settleDecoders(double timeoutSeconds) {
    bool settled = true;
    for (auto& decoder : decoders_) {
        if (decoder) {
            settled = decoder->settle(timeoutSeconds) && settled;
        }
    }
    return settled;
}

void AudioOut::closeDecoders() {
    for (auto& decoder : decoders_) {
        if (decoder) {
            decoder->shutdown();
        }
    }
}

bool AudioOut::init() {
    samplesPlayed.store(0, std::memory_order_relaxed);
    StreamFormat format;
    std::string error;
    if (!setUpOutputUnit(device_, &AudioOut::renderCallback, this, format, &error)) {
        return false; // half-built: no decks, no buffers in use
    }
    outputDeviceInputFormat = format;
    hardwareSampleRate = device_.hardwareSampleRate();
    bufferFrames =
        static_cast<uint32_t>(std::lround(device_.hardwareBufferDuration() * hardwareSampleRate));

    for (int i = 0; i < 2; ++i) {
        decks_[i] = std::make_unique<audioStream>();
        decks_[i]->deckIndex = i;
        decks_[i]->decodeLock = i == 0 ? &decodeLock1 : &decodeLock2;
        decks_[i]->engineLock = &engineLock_;
        decks_[i]->stretcher = std::make_unique<Stretcher>(&engineLock_);
        fileStream[i] = decks_[i].get();
        if (services_) {
            decoders_[i] = std::make_unique<DeckDecoder>(*decks_[i], *services_);
        }
    }
    if (services_) {
        // A decode thread that opens a track without a tempo starts its analysis here.
        if (!services_->startAnalysis) {
            services_->startAnalysis = [this](const std::filesystem::path& path) {
                startAnalysis(path);
            };
        }
        if (!services_->analysisQueued) {
            services_->analysisQueued = [this](const std::string& name) {
                const auto names = getCurrentAnalizes();
                return names && std::find(names->begin(), names->end(), name) != names->end();
            };
        }
    }

    FPMathBits = format.fixedPointFractionBits;
    if (FPMathBits != 0) {
        fullScale_ = static_cast<float>((1u << FPMathBits) - 1u);
    } else {
        fullScale_ = format.isFloat() ? 1.0f : 32767.0f;
    }
    micEnabled = false;
    micAllowed = false;
    masterGain_.store(fullScale_, std::memory_order_relaxed);
    recording_.store(false, std::memory_order_relaxed);
    engineRunning_.store(false, std::memory_order_relaxed);

    if (loop_) {
        if (loopSource_ == 0) {
            loopSource_ = loop_->addSource([this] {
                serviceRenderRequests();
                return size_t{0};
            });
        }
    }
    unitReady_ = true;
    return true;
}

bool AudioOut::StartSound() {
    if (!unitReady_) {
        return false;
    }
    device_.setActive(true);
    const int status = device_.startUnit();
    if (status != 0) {
        logLine("Error: %s (%s)\n", "couldn't start the remote I/O unit",
                formatStatus(status).c_str());
        return false;
    }
    SoundStarted = true;
    return true;
}

void AudioOut::StopSound() {
    if (!unitReady_) {
        return;
    }
    device_.stopUnit();
    device_.setActive(false);
    SoundStarted = false;
}

void AudioOut::sessionInterrupted(bool begins) {
    logLine("Session interrupted! --- %s ---", begins ? "Begin Interruption" : "End Interruption");
    if (begins) {
        interruptedBefore_ = interrupted_;
        interrupted_ = true;
        device_.stopUnit();
    } else {
        interrupted_ = interruptedBefore_;
        device_.setActive(true);
        device_.startUnit();
    }
}

void AudioOut::playDeck(audioStream& d) {
    if (playHandler_) {
        playHandler_(d);
    } else {
        // The play count is the database's business: counted by the next service pass on
        // the main thread, since a position trigger may start a deck on the render thread.
        deckPlay(d, [this](audioStream& deck) {
            sendToMain(kPlayCountMessage, deck.deckIndex);
        });
    }
}

void AudioOut::startPlay() {
    for (audioStream* d : fileStream) {
        if (d && d->isLoaded.load(std::memory_order_relaxed)) {
            playDeck(*d);
        }
    }
    engineRunning_.store(true, std::memory_order_release);
    logLine("start play");
}

void AudioOut::stopPlay() {
    engineRunning_.store(false, std::memory_order_release);
    for (audioStream* d : fileStream) {
        if (d && d->isLoaded.load(std::memory_order_relaxed)) {
            stopStream(*d);
        }
    }
    logLine("stop play");
}

void AudioOut::setGain(float value) {
    value = std::clamp(value, 0.0f, 1.0f);
    masterGain_.store(value * fullScale_ * 0.75f, std::memory_order_relaxed);
}

float AudioOut::getGain() const {
    return masterGain_.load(std::memory_order_relaxed) / fullScale_ / 0.75f;
}

void AudioOut::setSampleGain(float value) {
    sampleGainFilter.start(samplerGain_.load(std::memory_order_relaxed), value, 8);
}

float AudioOut::getSampleGain() const {
    return sampleGainFilter.isOn() ? sampleGainFilter.to.load(std::memory_order_relaxed)
                                   : samplerGain_.load(std::memory_order_relaxed);
}

void AudioOut::requestNextLoad(int deck) {
    sendToMain(kNextLoadMessage, deck);
}

void AudioOut::onRenderMessage(uint16_t kind, std::function<void(int deck)> handler) {
    if (kind >= kFirstCustomMessage && kind < kMessageKinds) {
        messageHandlers_[kind] = std::move(handler);
    }
}

void AudioOut::serviceRenderRequests() {
    drainRealtimeLog();
    for (audioStream* d : fileStream) {
        if (d && d->stretcher) {
            d->stretcher->applyPendingPitch();
        }
    }
    mailbox_.drain([this](RenderMessage m) {
        const int deck = m.deck & 1;
        switch (m.kind) {
        case kPlayCountMessage:
            if (services_ && services_->db && fileStream[deck]) {
                if (const auto info = fileStream[deck]->info()) {
                    services_->db->incrementPlayCountForInfo(*info);
                }
            }
            break;
        case kNextLoadMessage:
            if (nextLoadHandler_) {
                nextLoadHandler_(deck);
            }
            break;
        default:
            if (m.kind < kMessageKinds && messageHandlers_[m.kind]) {
                // A copy: the handler may replace itself.
                const auto handler = messageHandlers_[m.kind];
                handler(deck);
            }
            break;
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Render thread

int AudioOut::renderCallback(void* context, uint32_t frames, AudioBufferList& out) {
#if defined(__SSE__)
    // Flush denormals to zero: the EQ and filter states decay into them on silence, where each
    // operation would cost a hundred times its normal price.
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
    return static_cast<AudioOut*>(context)->render(frames, out);
}

int AudioOut::render(uint32_t frames, AudioBufferList& out) {
    // The clock read is a plain call (no allocation, no lock).
    const auto start = std::chrono::steady_clock::now();
    // Buffers larger than the work buffers are rendered in slices.
    for (uint32_t offset = 0; offset < frames; offset += kMaxFrames) {
        renderSlice(std::min(kMaxFrames, frames - offset), offset, out);
    }
    const double spent =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (frames > 0 && hardwareSampleRate > 0.0) {
        lastCpuLoad_.store(spent / (frames / hardwareSampleRate), std::memory_order_relaxed);
    }
    return 0;
}

void AudioOut::renderSlice(uint32_t frames, uint32_t offset, AudioBufferList& out) {
    float* mix = mix_.get();
    clearFrames(mix, frames);
    mixDecks(frames);

    const audioStream* d0 = fileStream[0];
    const audioStream* d1 = fileStream[1];
    if ((d0 && d0->isPlaying.load(std::memory_order_relaxed)) ||
        (d1 && d1->isPlaying.load(std::memory_order_relaxed))) {
        samplesPlayed.fetch_add(frames, std::memory_order_relaxed);
    }

    // Sampler pads over the mix, at the shared pad volume after this cycle's ramp step. Every
    // pad is asked, playing or not: mixInto decides from the position, so a press that lands
    // while the pad is being mixed is never lost to a stale `finished`.
    float padGain = samplerGain_.load(std::memory_order_relaxed);
    sampleGainFilter.step(padGain);
    samplerGain_.store(padGain, std::memory_order_relaxed);
    for (auto& slot : Sample) {
        SamplePlayerFixed* pad = slot.load(std::memory_order_acquire);
        if (pad) {
            pad->level = padGain;
            pad->mixInto(mix, static_cast<int>(frames));
        }
    }

    const float master = masterGain_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < frames * 2; ++i) {
        mix[i] *= master;
    }

    // Bracketed so that abortRecord can wait out a hand-off that saw the flag set.
    recordHandOff_.fetch_add(1, std::memory_order_seq_cst);
    MixRecorder* recorder = recording_.load(std::memory_order_seq_cst)
                                ? recorder_.load(std::memory_order_acquire)
                                : nullptr;
    if (outputDeviceInputFormat.isFloat()) {
        auto* left = static_cast<float*>(out.buffers[0].data) + offset;
        auto* right = static_cast<float*>(out.buffers[1].data) + offset;
        for (uint32_t i = 0; i < frames; ++i) {
            const float l = std::clamp(mix[2 * i], -1.0f, 1.0f);
            const float r = std::clamp(mix[2 * i + 1], -1.0f, 1.0f);
            mix[2 * i] = l;
            mix[2 * i + 1] = r;
            left[i] = l;
            right[i] = r;
        }
        if (recorder) {
            AudioBufferList mixList;
            mixList.count = 1;
            mixList.buffers[0] = {mix, 2, frames * 8u};
            recorder->writeBuffer(mixList, frames);
        }
    } else {
        auto* pcm = static_cast<int16_t*>(out.buffers[0].data) + size_t{offset} * 2;
        for (uint32_t i = 0; i < frames * 2; ++i) {
            const float v = std::clamp(mix[i], -32767.0f, 32767.0f);
            pcm[i] = static_cast<int16_t>(std::lrint(v));
        }
        if (recorder) {
            AudioBufferList pcmList;
            pcmList.count = 1;
            pcmList.buffers[0] = {pcm, 2, frames * 4u};
            recorder->writeBuffer(pcmList, frames);
        }
    }
    recordHandOff_.fetch_add(1, std::memory_order_seq_cst);
}

void AudioOut::mixDecks(uint32_t frames) {
    if (!engineRunning_.load(std::memory_order_acquire)) {
        return;
    }
    for (int i = 0; i < 2; ++i) {
        clearFrames(deckMain_[i].get(), frames);
        clearFrames(deckPre_[i].get(), frames);
    }
    {
        std::lock_guard lock(engineLock_);
        for (int i = 0; i < 2; ++i) {
            audioStream* d = fileStream[i];
            if (d && d->isLoaded.load(std::memory_order_acquire)) {
                renderDeck(*d, frames, deckMain_[i].get(), deckPre_[i].get());
            }
        }
    }
    float* mix = mix_.get();
    const float* a = deckMain_[0].get();
    const float* b = deckMain_[1].get();
    for (uint32_t i = 0; i < frames * 2; ++i) {
        mix[i] = a[i] + b[i];
    }
}

void AudioOut::renderDeck(audioStream& d, uint32_t frames, float* mainOut, float* preOut) {
    float* tmp = deckTemp_.get();
    clearFrames(tmp, frames);
    if (d.stretcher && d.stretcher->applyPendingClear()) {
        // Empty: its next output starts at the read position (see stretch()).
        d.stretchLatency.store(0.0, std::memory_order_relaxed);
    }
    const double length = d.lengthFrames.load(std::memory_order_relaxed);
    const double margin = kOverrunMargin;

    // Paused movement: a stopped deck coasting after a fling or a wind, silently.
    const double inertia = d.inertiaSpeed.load(std::memory_order_relaxed);
    if (inertia != 0.0 && !d.isPlaying.load(std::memory_order_relaxed)) {
        double pos = d.position.load(std::memory_order_relaxed) + inertia * frames;
        double next = inertia;
        if (pos <= -margin || pos >= length + margin) {
            pos = std::clamp(pos, -margin, length + margin);
            next = 0.0;
        }
        if (next != 0.0 && d.inertiaDecay.load(std::memory_order_relaxed)) {
            next *= 0.97;
            if (std::fabs(next) < 0.08) {
                next = 0.0;
                d.replanNeeded.store(true, std::memory_order_relaxed);
            }
        }
        d.position.store(pos, std::memory_order_relaxed);
        d.inertiaSpeed.store(next, std::memory_order_relaxed);
        if (d.stretcher) {
            d.stretcher->clearNow();
        }
        return;
    }

    bool sourced = false;
    if (d.isPlaying.load(std::memory_order_relaxed)) {
        const bool scratching = d.isScratching.load(std::memory_order_relaxed);
        if (d.position.load(std::memory_order_relaxed) >= length && !scratching) {
            stopStream(d);
        }
        if (d.inertiaSpeed.exchange(0.0, std::memory_order_relaxed) != 0.0) {
            d.replanNeeded.store(true, std::memory_order_relaxed);
        }
        uint32_t first = 0;
        bool outside = false;
        if (d.isPlaying.load(std::memory_order_relaxed)) {
            double pos = d.position.load(std::memory_order_relaxed);
            double speed = d.speed.load(std::memory_order_relaxed);
            if (pos < 0.0) {
                if (speed < 0.0) {
                    pos += speed * frames;
                    for (uint32_t i = 0; i < frames; ++i) {
                        if (!d.speedRamp.isOn()) {
                            break;
                        }
                        d.speedRamp.stepInto(d.speed);
                    }
                    pos = std::max(pos, -margin);
                    outside = true;
                } else {
                    while (first < frames && pos < 0.0) {
                        pos += speed;
                        d.speedRamp.stepInto(d.speed);
                        speed = d.speed.load(std::memory_order_relaxed);
                        ++first;
                    }
                    outside = pos < 0.0;
                }
                d.position.store(pos, std::memory_order_relaxed);
            } else if (pos >= length) {
                if (speed >= 0.0) {
                    pos += speed * frames;
                    for (uint32_t i = 0; i < frames; ++i) {
                        if (!d.speedRamp.isOn()) {
                            break;
                        }
                        d.speedRamp.stepInto(d.speed);
                    }
                    pos = std::min(pos, length + margin);
                    outside = true;
                } else {
                    while (first < frames && pos >= length) {
                        pos += speed;
                        d.speedRamp.stepInto(d.speed);
                        speed = d.speed.load(std::memory_order_relaxed);
                        ++first;
                    }
                    outside = pos >= length;
                    if (outside) {
                        stopStream(d);
                    }
                }
                d.position.store(pos, std::memory_order_relaxed);
            }
        }
        if (!outside && d.isPlaying.load(std::memory_order_relaxed) && first < frames) {
            sourced = readSource(d, first, frames, tmp, preOut);
        }
    }

    if (sourced) {
        const bool keyLock = !d.pitchMode.load(std::memory_order_relaxed) &&
                             !d.isScratching.load(std::memory_order_relaxed);
        if (keyLock && d.stretcher) {
            stretch(d, frames, tmp, mainOut);
        } else {
            std::memcpy(mainOut, tmp, sizeof(float) * 2 * frames);
        }
        deckRenderEffect(d, mainOut, static_cast<int>(frames));
    }
    outputFade(d, frames, mainOut);
    meter(d, frames, preOut);
}

bool AudioOut::readSource(audioStream& d, uint32_t first, uint32_t frames, float* tmp, float* pre) {
    const int32_t length = d.lengthFrames.load(std::memory_order_relaxed);
    double pos = d.position.load(std::memory_order_relaxed);
    double speed = d.speed.load(std::memory_order_relaxed);
    const auto blockOf = [](double p) {
        return static_cast<int32_t>(std::floor(p / kBlockFrames));
    };

    const int32_t startBlock = blockOf(pos);
    int32_t blockIndex = startBlock;
    soundBuffer* cur = findBlock(d, blockIndex);
    soundBuffer* next = findBlock(d, blockIndex + 1);
    if (!cur) {
        d.replanNeeded.store(true, std::memory_order_relaxed);
        if (pos >= 0.0 && pos < length) {
            logRealtime("skip buffer");
            // Only the frames this pass was to read from the ring: rendering may have begun
            // part-way into the buffer (after a lead-in before frame 0).
            d.position.store(pos + double(frames - first) * speed, std::memory_order_relaxed);
            const double base = d.baseSpeed.load(std::memory_order_relaxed);
            if (speed != base && d.speedRamp.isOn()) {
                d.speedRamp.On.store(false, std::memory_order_release);
                d.speed.store(base, std::memory_order_relaxed);
                if (std::fabs(base) > 0.75 && d.stretcher) {
                    d.stretcher->requestPitch(std::fabs(1.0 / base));
                }
            }
        }
        return false;
    }

    const bool scratching = d.isScratching.load(std::memory_order_relaxed);
    Eq8& eqL = d.eq[0];
    Eq8& eqR = d.eq[1];
    lphpFilter& lpL = *d.lphp[0];
    lphpFilter& lpR = *d.lphp[1];

    // Gains live in locals for the buffer; a ramp step updates both the local and the field.
    float volume = d.volume.load(std::memory_order_relaxed);
    float trim = d.trimGain.load(std::memory_order_relaxed);
    float fader = d.faderGain.load(std::memory_order_relaxed);

    // An audible trigger compares the heard frame: the read position plus the latency the
    // stretcher had at the end of the last buffer (key lock only).
    const double triggerShift = d.triggerAudible.load(std::memory_order_relaxed) &&
                                        !d.pitchMode.load(std::memory_order_relaxed) &&
                                        !d.isScratching.load(std::memory_order_relaxed)
                                    ? pendingStretchLatency(d)
                                    : 0.0;
    for (uint32_t i = first; i < frames; ++i) {
        // Position trigger and countdown (auto-mix and party mode listen to these).
        if (d.triggerArmed.load(std::memory_order_acquire) &&
            pos + triggerShift >= d.triggerFrame.load(std::memory_order_relaxed)) {
            d.triggerArmed.store(false, std::memory_order_relaxed);
            if (auto selector = d.triggerSelector.load(std::memory_order_relaxed)) {
                d.position.store(pos, std::memory_order_relaxed);
                selector(d.triggerTarget.load(std::memory_order_relaxed), d.deckIndex);
            }
        }
        const int32_t countdown = d.triggerCountdown.load(std::memory_order_relaxed);
        if (countdown >= 1) {
            d.triggerCountdown.store(countdown - 1, std::memory_order_relaxed);
            if (countdown == 1) {
                if (auto selector = d.triggerSelector.load(std::memory_order_relaxed)) {
                    d.position.store(pos, std::memory_order_relaxed);
                    selector(d.triggerTarget.load(std::memory_order_relaxed), d.deckIndex);
                }
            }
        }

        // Loop wrap.
        if (d.loopActive.load(std::memory_order_relaxed) &&
            pos > d.loopEnd.load(std::memory_order_relaxed)) {
            pos = d.loopStart.load(std::memory_order_relaxed);
            if (blockOf(pos) != blockIndex) {
                blockIndex = blockOf(pos);
                cur = findBlock(d, blockIndex);
                next = findBlock(d, blockIndex + 1);
                if (!cur) {
                    for (uint32_t j = i; j < frames; ++j) {
                        pos += speed;
                    }
                    d.replanNeeded.store(true, std::memory_order_relaxed);
                    break;
                }
            }
        }

        // Linear interpolation between the frame under the position and the next one.
        const double offset = pos - cur->startFrame.load(std::memory_order_relaxed);
        const auto index = static_cast<int32_t>(std::floor(offset));
        const float frac = static_cast<float>(offset - index);
        const float* a = cur->list.get() + size_t{2} * static_cast<size_t>(index);
        const float* b;
        if (index + 1 < cur->frames.load(std::memory_order_relaxed)) {
            b = a + 2;
        } else if (next) {
            b = next->list.get();
        } else {
            b = a;
        }
        float l = a[0] * (1.0f - frac) + b[0] * frac;
        float r = a[1] * (1.0f - frac) + b[1] * frac;

        // EQ and track volume.
        l = eqL.eqProcess(l) * volume;
        r = eqR.eqProcess(r) * volume;

        // LP/HP knob: a running ramp recomputes both channels' coefficients.
        float sweep;
        if (d.lphpRamp.step(sweep)) {
            d.lphpPosition.store(sweep, std::memory_order_relaxed);
            lpL.setPosition(sweep);
            lpR.setPosition(sweep);
        }
        l = lpL.process(l);
        r = lpR.process(r);

        l *= trim;
        r *= trim;
        pre[2 * i] = l;
        pre[2 * i + 1] = r;
        tmp[2 * i] = l * fader;
        tmp[2 * i + 1] = r * fader;

        // Advance.
        pos += speed;
        if (pos >= length) {
            d.position.store(pos, std::memory_order_relaxed);
            stopStream(d);
            if (!scratching && d.crateIndex.load(std::memory_order_relaxed) >= 0) {
                requestNextLoad(d.deckIndex);
            }
            break;
        }
        if (blockOf(pos) != blockIndex) {
            blockIndex = blockOf(pos);
            cur = findBlock(d, blockIndex);
            next = findBlock(d, blockIndex + 1);
            if (!cur) {
                for (uint32_t j = i + 1; j < frames; ++j) {
                    pos += speed;
                }
                d.replanNeeded.store(true, std::memory_order_relaxed);
                break;
            }
        }

        // Scratch idle glide: no finger movement for 8192 frames brings the deck to rest.
        if (scratching) {
            const int32_t idle = d.scratchIdleFrames.load(std::memory_order_relaxed) + 1;
            d.scratchFrames.fetch_add(1, std::memory_order_relaxed);
            if (idle > 8192) {
                d.scratchIdleFrames.store(0, std::memory_order_relaxed);
                d.position.store(pos, std::memory_order_relaxed);
                setSpeed(d, 0.0, 64);
            } else {
                d.scratchIdleFrames.store(idle, std::memory_order_relaxed);
            }
        }
        const int32_t stopIn = d.stopCountdown.load(std::memory_order_relaxed);
        if (stopIn >= 1) {
            d.stopCountdown.store(stopIn - 1, std::memory_order_relaxed);
            if (stopIn == 1) {
                d.speed.store(0.0, std::memory_order_relaxed);
            }
        }
        d.speedRamp.stepInto(d.speed);
        speed = d.speed.load(std::memory_order_relaxed);

        if (d.faderRamp.step(fader)) {
            d.faderGain.store(fader, std::memory_order_relaxed);
        }
        if (d.volumeRamp.step(volume)) {
            d.volume.store(volume, std::memory_order_relaxed);
        }
        if (d.trimRamp.step(trim)) {
            d.trimGain.store(trim, std::memory_order_relaxed);
        }
        float db;
        if (d.eqLowRamp.step(db)) {
            d.eqLowDb.store(db, std::memory_order_relaxed);
            eqL.eqSetBandGain(0, db);
            eqR.eqSetBandGain(0, db);
        }
        if (d.eqMidRamp.step(db)) {
            d.eqMidDb.store(db, std::memory_order_relaxed);
            eqL.eqSetBandGain(1, db);
            eqR.eqSetBandGain(1, db);
        }
        if (d.eqHighRamp.step(db)) {
            d.eqHighDb.store(db, std::memory_order_relaxed);
            eqL.eqSetBandGain(2, db);
            eqR.eqSetBandGain(2, db);
        }
    }

    d.position.store(pos, std::memory_order_relaxed);
    if (pos >= length && d.isPlaying.load(std::memory_order_relaxed)) {
        stopStream(d);
    }
    if (blockOf(pos) != startBlock) {
        d.replanNeeded.store(true, std::memory_order_relaxed);
    }
    return true;
}

void AudioOut::stretch(audioStream& d, uint32_t frames, float* tmp, float* mainOut) {
    Stretcher& st = *d.stretcher;
    st.put(tmp, frames);
    uint32_t got = st.receive(mainOut, frames);
    if (got < frames) {
        // Short: feed more source in small even-sized reads until the missing frames are ready.
        // An emptied stretcher (after a load, a first play, a key-lock switch or a scratch)
        // gives nothing until it holds a full processing window (about 4400 frames): it is
        // filled here at once, so the deck is heard from its read position in this very buffer
        // instead of after ~90 ms of silence that would also swallow the attack of the beat it
        // was started on.
        const uint32_t missing = frames - got;
        const bool filling = got == 0;
        const uint32_t chunk =
            std::min(kMaxFrames, filling ? std::max(kFillChunkFrames, (missing / 2) * 2 + 2)
                                         : (missing / 2) * 2 + 2);
        const int attempts = filling ? kFillAttempts : kRefillAttempts;
        for (int attempt = 0; attempt < attempts && st.available() < missing; ++attempt) {
            if (!d.isPlaying.load(std::memory_order_relaxed)) {
                break;
            }
            clearFrames(refill_.get(), chunk);
            if (!readSource(d, 0, chunk, refill_.get(), refillPre_.get())) {
                break;
            }
            st.put(refill_.get(), chunk);
        }
        got += st.receive(mainOut + size_t{2} * got, missing);
        if (got < frames) {
            logRealtime("click");
        }
    }
    // The audible frame lags the read position by what the stretcher holds, in source frames.
    d.stretchLatency.store(-static_cast<double>(st.depth()) *
                               d.speed.load(std::memory_order_relaxed),
                           std::memory_order_relaxed);
}

void AudioOut::outputFade(audioStream& d, uint32_t frames, float* mainOut) {
    if (!d.outputRamp.isOn()) {
        return;
    }
    const bool fadingOut = d.outputRamp.to.load(std::memory_order_relaxed) == 0.0f;
    uint32_t i = 0;
    float v = 1.0f;
    for (; i < frames; ++i) {
        if (!d.outputRamp.step(v)) {
            break;
        }
        mainOut[2 * i] *= v;
        mainOut[2 * i + 1] *= v;
    }
    // Frames after the fade's last step keep its final value, so a fade-out ends in silence.
    for (; i < frames; ++i) {
        mainOut[2 * i] *= v;
        mainOut[2 * i + 1] *= v;
    }
    if (fadingOut) {
        stopStream(d);
    }
}

void AudioOut::meter(audioStream& d, uint32_t frames, const float* pre) {
    const float level = (rms(pre, frames, 0) + rms(pre, frames, 1)) * 0.5f * 0.25f +
                        d.meterLevel.load(std::memory_order_relaxed) * 0.75f;
    d.meterLevel.store(level, std::memory_order_relaxed);
    d.meterLevelHold.store(level, std::memory_order_relaxed);
}

} // namespace vx
