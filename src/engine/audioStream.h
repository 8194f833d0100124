#pragma once
// audioStream: everything about one deck that the render thread, the deck's decode thread and
// the user interface share.
//
// There are exactly two, built once when the engine starts and never freed; `AudioOut` owns
// them and hands out references (the waveform control keeps its own). There are no accessors:
// the render callback, the decode threads, the transport functions and the touch control read
// and write the fields directly, which is why every field that crosses threads is an atomic:
//   - the user interface writes gains, EQ, effect selectors, loop and speed fields, and starts
//     ramps (targets first, the ramp's `On` last, with release);
//   - the render thread writes `position`, `speed`, the meters, the ramps it steps,
//     `replanNeeded`, `isPlaying` (through the stop routine), the scratch and trigger counters;
//   - the decode thread, under `decodeLock`, fills the ring; a slot's `valid` flag is stored
//     with release after its data, start frame and frame count are complete, and cleared before
//     the slot is refilled. The render thread reads the ring without the lock (acquire on
//     `valid`).
// Values are relaxed atomics: on x86 they cost what plain loads and stores cost.

#include "dsp/Eq8.h"
#include "engine/LoadedTrack.h"
#include "dsp/ParamFilter.h"
#include "platform/EngineLock.h"
#include "platform/SampleRate.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vx {

class AudioFileReader;
class Stretcher;
class VXAudioFileInfo;
struct peakFileData;
class mirel_extraLP;
class lphpFilter;
class AMRepeater;
class MDelay;
class AMGate;
class Phaser;
class ChorusFlanger;
class Bitcrusher;

// Decoded audio: 44100 Hz stereo interleaved float.
// Frames per decoded block; the block of frame p is floor(p / kBlockFrames).
inline constexpr int32_t kBlockFrames = 32768;
// Blocks in each deck's ring.
inline constexpr int kRingBlocks = 20;
// How far the position may run before frame 0 or past the last frame.
inline constexpr int32_t kOverrunMargin = 32768;
// Offset from read position to audible position while key lock is on, before the render
// thread has measured the stretcher (frames).
inline constexpr double kInitialStretchLatency = -5120.0;

// A file's data format, as the decoder reports it (zero when no file is open).
struct StreamDescription {
    double sampleRate = 0;
    uint32_t formatFlags = 0;
    uint32_t bytesPerPacket = 0;
    uint32_t framesPerPacket = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t channelsPerFrame = 0;
    uint32_t bitsPerChannel = 0;
};

// One slot of the decoded-block ring.
struct soundBuffer {
    // Stereo interleaved float, room for kBlockFrames frames (allocated once).
    std::unique_ptr<float[]> list;
    std::atomic<int32_t> blockIndex{-1};
    // Publishes a complete slot (release by the decoder, acquire by the render thread).
    std::atomic<bool> valid{false};
    bool spareFlag = false;
    std::atomic<int32_t> startFrame{-1};
    std::atomic<int32_t> endFrame{0};
    std::atomic<int32_t> frames{kBlockFrames};
    std::atomic<int32_t> requestedFrame{-1};
    int32_t spare = 0;
};

// Render thread → main: message sent when a position trigger fires or a countdown ends.
// Runs on the render thread inside the engine lock; it may start a deck.
using TriggerSelector = void (*)(void* target, int deckIndex);

struct audioStream {
    audioStream();
    ~audioStream();
    audioStream(const audioStream&) = delete;
    audioStream& operator=(const audioStream&) = delete;

    std::atomic<float> meterLevel{0};
    std::atomic<float> meterLevelHold{0};
    int32_t deckIndex = 0;
    std::atomic<int32_t> crateIndex{-1};
    StreamDescription fileFormat;
    StreamDescription clientFormat;
    std::atomic<double> position{0};
    std::atomic<bool> isLoaded{false};
    std::atomic<int32_t> lengthFrames{0};
    std::atomic<int32_t> nextReadFrame{-1};
    std::atomic<int32_t> loopStart{0};
    std::atomic<int32_t> loopEnd{0};
    std::atomic<bool> loopActive{false};
    std::unique_ptr<Stretcher> stretcher;
    tParamFilter speedRamp;
    ParamFilter hpFadeRamp;
    ParamFilter faderRamp;
    std::atomic<bool> isScratching{false};
    std::atomic<int32_t> scratchIdleFrames{0};
    std::atomic<int32_t> scratchFrames{0};
    std::atomic<bool> triggerArmed{false}; // publishes triggerFrame/target/selector
    std::atomic<int32_t> triggerFrame{0};
    std::atomic<bool> triggerAudible{false}; // triggerFrame is a heard frame (key lock latency)
    std::atomic<int32_t> triggerCountdown{0};
    std::atomic<void*> triggerTarget{nullptr};
    std::atomic<TriggerSelector> triggerSelector{nullptr};
    std::unique_ptr<AudioFileReader> file; // decode thread only
    std::array<soundBuffer, kRingBlocks> blocks;
    std::vector<int16_t> blockWanted; // decode thread
    // Decode thread: blocks whose decoding failed since the load; never tried again, so a
    // damaged spot costs one attempt, and the blocks behind it are still filled.
    std::vector<uint8_t> blockFailed;
    // The loaded track as one record (see LoadedTrack): published by the decode thread, or by
    // the main thread when it changes; null while no track is loaded. Not for the render
    // thread (a copy may allocate nothing, but it may free the last reference).
    LoadedTrackSlot loadedTrack;
    // Any thread but the render thread: a copy of the loaded track's record (null when none),
    // and its parts.
    std::shared_ptr<const LoadedTrack> track() const {
        return loadedTrack.load();
    }
    std::shared_ptr<VXAudioFileInfo> info() const;
    std::shared_ptr<peakFileData> peakData() const;
    std::filesystem::path trackFile() const;
    std::atomic<int32_t> numBlocks{0};
    std::atomic<bool> replanNeeded{false};
    std::atomic<float> faderGain{1.0f};
    std::atomic<int32_t> stopCountdown{0};
    std::atomic<double> inertiaSpeed{0};
    std::atomic<bool> decoderBusy{false};
    std::atomic<bool> threeFingerMode{false};
    std::atomic<bool> twoFingerMode{false};
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> firstPlayPending{false};
    std::atomic<int32_t> headerFrames{0};
    std::atomic<float> volume{1.0f};
    std::atomic<float> trimGain{1.0f};
    std::atomic<float> resonanceMix{1.0f};
    std::atomic<float> hpFade{0};
    std::atomic<float> lphpPosition{0.5f};
    std::atomic<float> eqLowDb{0};
    std::atomic<float> eqMidDb{0};
    std::atomic<float> eqHighDb{0};
    std::atomic<float> normalizeGain{1.0f};
    ParamFilter volumeRamp;
    ParamFilter trimRamp;
    ParamFilter resonanceRamp;
    ParamFilter lphpRamp;
    ParamFilter eqLowRamp;
    ParamFilter eqMidRamp;
    ParamFilter eqHighRamp;
    std::atomic<bool> needsAnalysis{false};
    Eq8 eq[2];
    std::atomic<bool> inertiaDecay{true};
    std::atomic<bool> pitchLock{false};
    std::atomic<bool> decoderRunning{false};
    std::atomic<bool> brakeRequested{false};
    std::unique_ptr<mirel_extraLP> xyFilter[2];
    std::unique_ptr<lphpFilter> lphp[2];
    std::atomic<bool> isLoading{false};
    std::atomic<bool> ignoreZeroSpeed{false};
    IoMutex* decodeLock = nullptr;    // the deck's decode lock (set by AudioOut)
    EngineLock* engineLock = nullptr; // the engine's lock (set by AudioOut)
    std::atomic<double> stretchLatency{kInitialStretchLatency};
    std::vector<long> cuePoints; // main thread, ascending
    int32_t numCuePoints = 0;
    std::unique_ptr<AMRepeater> repeater;
    std::unique_ptr<MDelay> delay;
    std::unique_ptr<AMGate> gate;
    std::unique_ptr<Phaser> phaser;
    std::unique_ptr<ChorusFlanger> chorus;
    std::unique_ptr<Bitcrusher> crusher;
    std::atomic<double> firstBeatFrame{0};
    std::atomic<float> outputRampLength{0};
    ParamFilter outputRamp;
    std::atomic<bool> fxEngaged{false};
    std::atomic<bool> pitchMode{false};
    std::atomic<double> baseSpeed{1.0};
    std::atomic<double> speed{1.0};
    std::atomic<bool> isPlaying{false};
    std::atomic<bool> fxRepeaterOn{false};
    std::atomic<bool> fxDelayOn{false};
    std::atomic<bool> fxGateOn{false};
    std::atomic<bool> fxPhaserOn{false};
    std::atomic<bool> fxChorusOn{false};
    std::atomic<bool> fxCrusherOn{false};
    std::atomic<bool> fxFilterOn{false};
};

// Any thread that may stop a deck (render, main under the engine lock): the stop routine.
// With a track loaded: not playing, speed ramp zeroed and off, speed = baseSpeed, stopFlag
// and the output fade cleared.
void stopStream(audioStream& deck);

// Any thread: true for a deck number (0 or 1); anything else is refused with a log line, never
// folded onto a deck that exists.
bool isDeckIndex(int deck);

// Any thread but the render thread: publishes `track` (null: none) as the deck's record and
// returns the record it replaces, for the caller to free on the main thread.
std::shared_ptr<const LoadedTrack> publishTrack(audioStream& deck,
                                                std::shared_ptr<const LoadedTrack> track);
// Main thread: publishes a copy of the deck's record with `info` in place of its info, when
// the deck still holds the track at `path` (a copy of the record otherwise stays as it is).
void republishInfo(audioStream& deck, const std::filesystem::path& path,
                   std::shared_ptr<VXAudioFileInfo> info);

// Main thread: clears both channels' EQ history (a jump does not ring the old signal through
// the filters) under the engine lock, between two rendered buffers.
void resetEqState(audioStream& deck);

// Render thread: the ring slot holding block `blockIndex`, or null when it is not decoded.
soundBuffer* findBlock(audioStream& deck, int32_t blockIndex);

} // namespace vx
