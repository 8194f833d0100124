#pragma once
// OfflineAudioDevice: an output unit without hardware.
//
// It pulls buffers from the render callback into memory or a WAV file, either as fast as the
// machine allows or paced in real time. Headless runs, tests and CI play through it. Two ways
// to drive it:
//   - pull(): the caller's thread is the render thread. With a run loop and an audio clock
//     attached, every buffer advances the clock by its duration, the settle hook runs (the
//     engine lets its decoders catch up there, so results do not depend on thread timing),
//     and then the main run loop runs the work that became due. Timers, party mode and
//     auto-mix therefore run on audio time, faster than real time, and the same inputs give
//     bit-identical output.
//   - with Options::ownThread, startUnit() starts a render thread of the device's own that
//     pulls paced buffers until stopUnit(), like a sound card (the app's fallback when no
//     sound device opens). The main run loop then keeps its own clock.
// A stopped unit (before startUnit or after stopUnit) renders silence without calling back.

#include "platform/AudioDevice.h"
#include "platform/AudioFileWriter.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace vx {

class RunLoop;
class ManualClock;

class OfflineAudioDevice : public AudioDevice {
public:
    struct Options {
        double sampleRate = 44100.0;
        uint32_t bufferFrames = 1024;
        SampleFormat sample = SampleFormat::Float32NonInterleaved;
        bool pacedRealTime = false; // sleep so that audio time keeps pace with wall time
        bool ownThread = false;     // startUnit() starts a render thread of the device's own
    };

    // Receives each rendered buffer as interleaved float (16-bit output is scaled by 1/32768)
    // together with the raw buffer list; returns false to stop the pull.
    using Sink =
        std::function<bool(const float* interleaved, uint32_t frames, const AudioBufferList& raw)>;

    OfflineAudioDevice();
    explicit OfflineAudioDevice(Options options);
    ~OfflineAudioDevice() override;

    std::string name() const override { return "offline"; }
    std::string statusText(int status) const override;

    int initializeSession(InterruptionListener listener) override;
    int setCategory(const std::string& category) override;
    int setActive(bool active) override;
    double hardwareSampleRate() const override { return options_.sampleRate; }
    double hardwareBufferDuration() const override;

    int createUnit() override;
    int enableInput() override { return 0; }
    int setRenderCallback(RenderCallback callback, void* context) override;
    int getClientFormat(StreamFormat& format) const override;
    int setClientFormat(const StreamFormat& format) override;
    int initializeUnit() override;
    int startUnit() override;
    int stopUnit() override;
    void disposeUnit() override;
    bool isRunning() const override { return running_.load(std::memory_order_acquire); }
    // One output, "Offline output"; the buffer size can change while the unit is disposed.
    std::vector<std::string> outputNames() const override { return {"Offline output"}; }
    bool configureOutput(const std::string& name, uint32_t bufferFrames) override;

    // Main thread: after each pulled buffer, advance `audioClock` by the buffer's duration and
    // run `loop`'s due work. Either may be null.
    void attachRunLoop(RunLoop* loop, ManualClock* audioClock);
    // Main thread: runs after each pulled buffer, before the run loop's due work.
    void setSettleHook(std::function<void()> hook);
    // Main thread: the sink of the device's own render thread (ownThread mode).
    void setThreadSink(Sink sink);

    // Caller's thread acts as render thread: renders `frames` frames in buffers of
    // bufferFrames (the last one may be shorter) and hands each to `sink`. Returns false when
    // the sink stopped the pull or the unit is not initialised.
    bool pull(int64_t frames, const Sink& sink);
    // Renders `frames` frames and returns them interleaved (stereo float).
    std::vector<float> renderToMemory(int64_t frames);
    // Renders `frames` frames into a WAV file: 32-bit float for float output, 16-bit PCM for
    // 16-bit output, at the device's rate. `keepGoing`, when given, is asked before each
    // buffer; false ends the render early with a complete file (still a success). `*rendered`
    // (if given) gets the frames that reached the file. False with *error when the file cannot
    // be created or written (a valid file of what was written remains).
    bool renderToFile(const std::filesystem::path& path, int64_t frames, std::string* error,
                      const std::function<bool()>& keepGoing = {}, int64_t* rendered = nullptr);

    // Simulates a session interruption (calls the listener on the caller's thread).
    void interrupt(bool begins);

    // Any thread: frames rendered since the unit was created (callback or silence).
    uint64_t framesRendered() const { return framesRendered_.load(std::memory_order_relaxed); }
    bool sessionActive() const { return sessionActive_; }
    const std::string& category() const { return category_; }

private:
    bool renderOne(uint32_t frames, const Sink& sink);
    void threadMain();

    Options options_;
    StreamFormat format_;
    bool unitCreated_ = false;
    bool unitInitialized_ = false;
    bool sessionActive_ = false;
    std::string category_;
    InterruptionListener interruptionListener_;
    RenderCallback callback_ = nullptr;
    void* context_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> framesRendered_{0};

    RunLoop* loop_ = nullptr;
    ManualClock* audioClock_ = nullptr;
    std::function<void()> settleHook_;
    Sink threadSink_;
    std::thread thread_;
    std::atomic<bool> threadStop_{false};

    // Buffers owned by the device, sized at initializeUnit.
    std::vector<float> left_, right_, interleaved_;
    std::vector<int16_t> pcm_;
};

} // namespace vx
