#pragma once
// AudioOut: the engine. It owns the output unit and the render callback that the unit calls on
// its real-time thread for every hardware buffer, the two deck records, the six sampler pad
// slots, the two decode locks and the engine lock.
//
// The render callback renders each loaded deck (source read with interpolation, EQ, volume,
// LP/HP sweep, trim and fader gains, key-lock stretching, one effect, output fade, meter),
// sums the decks, adds the pads, applies the master gain, clips, converts to the output
// format and hands the buffer to the recorder while recording.
//
// Threads:
//   - main: init, start/stop, the setters (ramps written without locks, `On` last), the
//     service pass that carries out what the render thread asked for (next-track loads,
//     stretcher pitch after an underrun) and drains the render thread's log lines;
//   - render: renderCallback only — no allocation, no file access, no waiting except the
//     engine lock, which it holds around deck rendering. The lock is recursive because
//     position triggers fired inside deck rendering may start a deck, whose play operation
//     tries the same lock;
//   - decode threads fill the decks' rings under their decode locks (lock order: engine lock
//     before a decode lock).

#include "dsp/ParamFilter.h"
#include "engine/audioStream.h"
#include "platform/AudioDevice.h"
#include "platform/RenderMailbox.h"

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vx {

class RunLoop;
class TimerHandle;
class SamplePlayerFixed;
class MixRecordWriter;
class DeckDecoder;
struct EngineServices;
class analyzeProgress;
struct peakFileData;

// The analysis routine: fills `peaks` for the track at `path`, writing progress (0…1) after
// every block and stopping with 0 when it reads −1.0; 1 on success (tempo and gain stored in
// the peak data, peak file written). Runs on an analysis thread.
using AnalysisRoutine = std::function<int(const std::filesystem::path& path, peakFileData& peaks,
                                          std::atomic<float>& progress)>;

// Receives every finished output buffer while recording. Render thread: must not block.
class MixRecorder {
public:
    virtual ~MixRecorder() = default;
    // Render thread: the buffer exactly as described (interleaved float mix, or the 16-bit
    // output list).
    virtual void writeBuffer(const AudioBufferList& buffers, uint32_t frames) = 0;
};

class AudioOut {
public:
    // Largest buffer rendered in one pass; larger device buffers are rendered in slices.
    static constexpr uint32_t kMaxFrames = 6144;
    // Stretcher top-ups in one buffer: after a short output, and to fill an emptied stretcher
    // (8 × 1024 frames cover its ~4400-frame processing window at any speed up to 1.85).
    static constexpr int kRefillAttempts = 16;
    static constexpr int kFillAttempts = 8;
    static constexpr uint32_t kFillChunkFrames = 1024;
    static constexpr int kPadCount = 6;

    // Main thread: builds the decks (allocated once, kept for the engine's life). `loop` is the
    // main run loop, used to service render-thread requests; it may be null in tests that
    // call serviceRenderRequests() themselves. `services` (database, defaults, notifications)
    // serve the decode threads; null for an engine whose rings are filled by hand.
    AudioOut(AudioDevice& device, RunLoop* loop, EngineServices* services = nullptr);
    ~AudioOut();
    AudioOut(const AudioOut&) = delete;
    AudioOut& operator=(const AudioOut&) = delete;

    // Main thread: sets up the output unit (messages "Error: %s (%s)") and the engine
    // values. False when the unit could not be set up: the engine then has no decks.
    bool init();
    bool initialized() const { return unitReady_; }

    // Main thread: activate the session and start the output unit / stop both.
    bool StartSound();
    bool ResumeSound() { return StartSound(); }
    void StopSound();
    void PauseSound() { StopSound(); }

    // Main thread: run the play operation on each loaded deck and let deck rendering run /
    // stop both loaded decks and keep the decks silent.
    void startPlay();
    void stopPlay();
    void abortPlay() { stopPlay(); }

    // Main thread: master gain 0…1 (scaled to the output's full scale × 0.75).
    void setGain(float value);
    float getGain() const;
    // Main thread: sampler pad gain 0…1, ramped over 8 callbacks.
    void setSampleGain(float value);
    float getSampleGain() const;
    void setMicGain(float value) { lMicGain = value; }
    float getMicGain() const { return lMicGain; }
    // Any thread: the last render callback's time over the duration of the audio it rendered
    // (0.5 = it took half the buffer's time); 0 before the first callback.
    double lastCpuLoad() const { return lastCpuLoad_.load(std::memory_order_relaxed); }

    // Main thread: the play operation's hook. Set by the transport layer; until then the
    // engine starts a deck by itself (fade-in over 256 frames).
    void setPlayHandler(std::function<void(audioStream&)> handler) {
        playHandler_ = std::move(handler);
    }
    // Main thread: asked for when a deck that came from a crate plays past its end.
    void setNextLoadHandler(std::function<void(int deck)> handler) {
        nextLoadHandler_ = std::move(handler);
    }
    // --- recording the mix -------------------------------------------------------------
    // Main thread: creates the record file at `path` (replacing any file there) in the output's
    // format — 32-bit float stereo for the float output, 16-bit stereo otherwise — at the
    // mix's rate. False while recording, or when a record file is already open (that file is
    // then closed and forgotten), or when the file cannot be created.
    bool PrepareRecordFor(const std::filesystem::path& path);
    // Main thread: starts handing the finished buffers to the record file; false without a
    // prepared file.
    bool startRecord();
    // Main thread: stops recording and closes the record file (its final header written); true,
    // also when no file was open (then nothing changes).
    bool abortRecord();
    // Main thread: the file being (or last) recorded.
    const std::filesystem::path& recordFile() const { return recordFile_; }
    void setRecordFile(const std::filesystem::path& path) { recordFile_ = path; }
    bool isRecording() const { return recording_.load(std::memory_order_acquire); }
    bool recordFileOpen() const { return recordWriter_ != nullptr; }
    // Main thread: the open recording hit a write error (it has ended there), or, with none
    // open, the last one closed was incomplete (write error or dropped buffers).
    bool recordFailed() const;
    // Main thread: the recording writer's options for the next PrepareRecordFor (a renderer
    // that runs faster than real time asks the writer to wait for room instead of dropping).
    void setRecordWaitsWhenFull(bool wait) { recordWaitsWhenFull_ = wait; }
    // The record file of sequence number `number` in `folder`: "VXNexa_%04i.wav".
    static std::filesystem::path recordFileName(const std::filesystem::path& folder, int number);

    // Main thread: hands the audio session to the microphone recorder: disposes of the output
    // unit and deactivates the session. True.
    bool setupRecordSession();
    // Main thread: takes the session back for playback and restarts the output unit.
    void restorePlaySession();
    // Main thread: sets the output up again on the output `name` (empty: the default) with
    // `frames` per buffer (1…kMaxFrames), keeping the decks, their positions and what plays.
    // When the device refuses them or the output does not start with them, it starts again
    // on the default output with the buffer size it had, and returns false.
    bool restartOutput(const std::string& name, uint32_t frames);
    // Main thread: microphone state: −1 not allowed, 0 off, 1…3 on at gain 0.5, 1.0, 1.5.
    int setMicState(int value);
    int getMicState();

    // --- sampler pads --------------------------------------------------------------------
    // Main thread: pad `index` (0…5).
    SamplePlayerFixed& pad(int index) { return *pads_[size_t(index)]; }
    // Main thread: loads "fx_1.wav" … "fx_6.wav" from `folder` into pads 1…6 (no defaults key);
    // the number of pads that got a sound.
    int loadDefaultPads(const std::filesystem::path& folder);
    // Main thread: presses pad `index` (0…5): it restarts from its first frame.
    void padPress(int index);

    // Main thread: the audio session's interruption listener. A beginning interruption stops the
    // output unit and marks the engine interrupted; its end restores the mark, reactivates the
    // session and starts the unit again.
    void sessionInterrupted(bool begins);
    bool interrupted() const { return interrupted_; }

    // Main thread: loads `path` into deck 0 / deck 1 on a new decode thread.
    void runDecode1(const std::filesystem::path& path) { runDecode(0, path); }
    void runDecode2(const std::filesystem::path& path) { runDecode(1, path); }
    void runDecode(int deck, const std::filesystem::path& path);
    // Main thread: true while a load started by runDecode has not yet opened (or failed).
    bool deckOpening(int deck) const;
    // Decode thread (or a test): opens `path` on deck `deck` at once; 1 on success, 0 on failure.
    int PreparePlaybackWithFile(const std::filesystem::path& path, int deck);
    // Main thread: waits until both decoders have nothing left to do (headless rendering calls
    // it before every buffer). True when both settled in time.
    bool settleDecoders(double timeoutSeconds = 5.0);
    // Main thread: ends both decode threads (they close their files and save track memory).
    void closeDecoders();
    DeckDecoder* decoder(int deck) { return decoders_[deck].get(); }

    // --- analysis tasks (registry changed only on the main thread) ----------------------------
    // Main thread: the routine each analysis runs (tests put in their own).
    void setAnalysisRoutine(AnalysisRoutine routine) { analysisRoutine_ = std::move(routine); }
    // Any thread: runs the analysis of `path` on a new analysis thread of the engine's own.
    void startAnalysis(const std::filesystem::path& path);
    // Analysis thread: one analysis run, start to end (see the class comment).
    void runAnalyze(const std::filesystem::path& path);
    // Main thread: adds a task; false when a task with the same name is registered.
    bool registerAnalyze(std::shared_ptr<analyzeProgress> task);
    // Any thread: number of registered tasks; their names (nullopt before the first task).
    int getNumAnalizes() const;
    std::optional<std::vector<std::string>> getCurrentAnalizes() const;
    // Any thread: a task's progress for the path's last component (0 when none).
    float getProgressForAnalyze(const std::filesystem::path& path) const;
    // Main thread: sets a task's progress (−1.0 cancels it).
    void setProgressForAnalyze(const std::filesystem::path& path, float value);
    // Any thread: a task's tempo override; −1.0 for no such task; 0 before the first task.
    double getTempoOverrideForAnalyze(const std::filesystem::path& path) const;
    // Main thread: sets a task's tempo override, when the task exists.
    void setTempoOverrideForAnalyze(const std::filesystem::path& path, double bpm);
    // Main thread: a run succeeded / did not: update the deck and the database, remove the
    // task, post "Analyze Complete" with the path.
    void analyzeComplete(const std::filesystem::path& path);
    void analyzeNotComplete(const std::filesystem::path& path);
    // Main thread: joins the analysis threads that have finished (all of them with `all`).
    void joinAnalyses(bool all);
    // Any thread: analysis threads started and not yet ended (including those that end at
    // once because their file is already being analysed).
    int runningAnalysisThreads() const;
    // Main thread: waits until every analysis thread has ended, running the main loop's posted
    // tasks meanwhile (an analysis registers and completes through them) and its due timers
    // only at the end. Headless renders call it before each buffer, so an analysis always
    // lands at the same point of the mix, and two never race each other to completion.
    void waitForAnalyses();

    // The kinds of message the engine itself sends to the main thread; other parts of the
    // application use kinds from kFirstCustomMessage on.
    enum : uint16_t {
        kNextLoadMessage = 1,
        kPlayCountMessage,
        kFirstCustomMessage = kFirstCustomRenderMessage
    };
    static constexpr uint16_t kMessageKinds = 32;
    // Render thread (or any thread acting inside the engine; no allocation, no locks): queues
    // a message for the main thread, handled at the main loop's next pass.
    bool sendToMain(uint16_t kind, int deck) {
        return mailbox_.send({kind, static_cast<int16_t>(deck)});
    }
    // Main thread: what to do with messages of `kind` (kFirstCustomMessage…kMessageKinds − 1);
    // an empty function removes the handler.
    void onRenderMessage(uint16_t kind, std::function<void(int deck)> handler);

    // Main thread: carries out what the render thread asked for (the mailbox, the stretchers'
    // pitch requests) and drains its log lines. The main loop runs it at every pass.
    void serviceRenderRequests();

    // Render thread: the output unit's callback.
    static int renderCallback(void* context, uint32_t frames, AudioBufferList& out);

    audioStream& deck(int index) { return *fileStream[index]; }
    EngineLock& engineLock() { return engineLock_; }
    const StreamFormat& outputFormat() const { return outputDeviceInputFormat; }
    float fullScale() const { return fullScale_; }
    uint64_t samplesPlayedCount() const { return samplesPlayed.load(std::memory_order_relaxed); }
    bool engineRunning() const { return engineRunning_.load(std::memory_order_relaxed); }
    // Main thread: lets deck rendering run (or keeps every deck silent) without starting or
    // stopping any deck.
    void setEngineRunning(bool on) { engineRunning_.store(on, std::memory_order_release); }
    float masterGain() const { return masterGain_.load(std::memory_order_relaxed); }

    // The system's engine fields.
    std::atomic<bool> SoundStarted{false};
    std::array<audioStream*, 2> fileStream{nullptr, nullptr};
    uint32_t FPMathBits = 0;
    StreamFormat outputDeviceInputFormat;
    std::array<std::atomic<SamplePlayerFixed*>, kPadCount> Sample{};
    std::atomic<bool> micEnabled{false};
    std::atomic<bool> micAllowed{false};
    std::atomic<int32_t> micState{0};
    float lMicGain = 0;
    IoMutex decodeLock1;
    IoMutex decodeLock2;
    ParamFilter sampleGainFilter;
    std::atomic<uint64_t> samplesPlayed{0};
    double hardwareSampleRate = 44100.0;
    uint32_t bufferFrames = 1024;

private:
    int render(uint32_t frames, AudioBufferList& out);
    void renderSlice(uint32_t frames, uint32_t offset, AudioBufferList& out);
    void mixDecks(uint32_t frames);
    void renderDeck(audioStream& d, uint32_t frames, float* mainOut, float* preOut);
    // Per-frame source loop: renders frames [first, frames) of the deck into tmp and pre.
    // Returns false when the current block was missing ("skip buffer": silence).
    bool readSource(audioStream& d, uint32_t first, uint32_t frames, float* tmp, float* pre);
    void stretch(audioStream& d, uint32_t frames, float* tmp, float* mainOut);
    void outputFade(audioStream& d, uint32_t frames, float* mainOut);
    void meter(audioStream& d, uint32_t frames, const float* pre);
    void requestNextLoad(int deck);
    // Any thread without a main loop to serve the runs: joins every analysis thread.
    void joinAllAnalysisThreads();
    void playDeck(audioStream& d);

    AudioDevice& device_;
    RunLoop* loop_;
    EngineServices* services_;
    // Tasks posted to the main loop check it before they touch the engine (main thread only).
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    RenderMailbox mailbox_;
    std::array<std::function<void(int)>, kMessageKinds> messageHandlers_;
    int loopSource_ = 0; // the main loop's id of serviceRenderRequests; 0 when none
    std::unique_ptr<audioStream> decks_[2];
    std::unique_ptr<DeckDecoder> decoders_[2]; // after the decks: destroyed before them
    EngineLock engineLock_;
    bool unitReady_ = false;
    bool interrupted_ = false;
    bool interruptedBefore_ = false;
    float fullScale_ = 1.0f;
    std::atomic<float> masterGain_{1.0f};
    std::atomic<float> samplerGain_{1.0f};
    std::atomic<bool> engineRunning_{false};
    std::atomic<bool> recording_{false};
    std::atomic<double> lastCpuLoad_{0.0};
    std::atomic<MixRecorder*> recorder_{nullptr};
    // Render thread: odd while a buffer is being handed to the recorder.
    std::atomic<uint32_t> recordHandOff_{0};
    std::unique_ptr<MixRecordWriter> recordWriter_;
    std::filesystem::path recordFile_;
    bool recordWaitsWhenFull_ = false;
    bool lastRecordFailed_ = false;
    std::array<std::unique_ptr<SamplePlayerFixed>, kPadCount> pads_;
    std::function<void(audioStream&)> playHandler_;
    std::function<void(int)> nextLoadHandler_;

    // Analysis registry: changed only on the main thread; the mutex lets decode and analysis
    // threads read it.
    mutable std::mutex analysesMutex_;
    std::optional<std::map<std::string, std::shared_ptr<analyzeProgress>>> analyzesTasks;
    AnalysisRoutine analysisRoutine_;
    struct AnalysisThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    mutable std::mutex analysisThreadsMutex_;
    std::vector<AnalysisThread> analysisThreads_;

    // Work buffers, interleaved stereo, allocated once.
    std::unique_ptr<float[]> mix_;
    std::unique_ptr<float[]> deckMain_[2];
    std::unique_ptr<float[]> deckPre_[2];
    std::unique_ptr<float[]> deckTemp_;  // source frames before the stretcher
    std::unique_ptr<float[]> refill_;    // extra source fed to a short stretcher
    std::unique_ptr<float[]> refillPre_; // pre-fader frames of a refill (discarded)
};

} // namespace vx
