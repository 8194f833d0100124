#pragma once
// PreviewPlayer: plays one file outside the mix — interface sounds ("done", "rec") and the
// previews the library screens offer — on an output path of its own.
//
// Why a path of its own: the mix recorder sits in the engine's render callback, so a sound
// played there would end up in the recorded mix, and a file decoded there would make the
// decks skip. The preview player owns a second output device with its own render callback;
// the file is decoded in full (FFmpeg, 44100 Hz stereo float) on the main thread before it
// plays, so its callback only copies and scales. Nothing it does touches the engine's lock,
// its rings or its recorder.
//
// DevicePreviewPlayer is the real one. Tests that only need to know what was played use the
// fake in tests/support; tests that need to hear it give the real one an offline device.
//
// Threads: main thread for every method; the render callback runs on the device's thread and
// shares only atomics with it. The end handler runs on the main run loop.

#include "platform/AudioDevice.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx {

class RunLoop;

class PreviewPlayer {
public:
    virtual ~PreviewPlayer() = default;
    // Main thread: decodes `file` in full and makes it current, stopped at 0 s. False (and
    // nothing current) when it cannot be read as audio.
    virtual bool open(const std::filesystem::path& file) = 0;
    // Main thread: plays the current file from its position; false without one, or when the
    // output cannot start.
    virtual bool play() = 0;
    // Main thread: stops the sound and keeps the position.
    virtual void pause() = 0;
    // Main thread: stops the sound and goes back to 0 s.
    virtual void stop() = 0;
    // Main thread: moves to `seconds` (clamped to the file); a playing file goes on from there.
    virtual void seek(double seconds) = 0;
    // Main thread: the position and the current file's length, seconds (0 without a file).
    virtual double currentTime() const = 0;
    virtual double duration() const = 0;
    virtual bool playing() const = 0;
    // Main thread: gain 0…1 applied to every frame from the next buffer on.
    virtual void setVolume(float volume) = 0;
    virtual float volume() const = 0;
    // Main thread: called on the main run loop when a playing file reaches its end (not after
    // pause or stop).
    virtual void setEndHandler(std::function<void()> handler) = 0;
    // Main thread: open and play in one go; false when either fails.
    bool playFile(const std::filesystem::path& file) { return open(file) && play(); }
};

class DevicePreviewPlayer final : public PreviewPlayer {
public:
    // Main thread. The device must outlive the player; the player sets it up on first play.
    DevicePreviewPlayer(AudioDevice& device, RunLoop& loop);
    ~DevicePreviewPlayer() override;
    DevicePreviewPlayer(const DevicePreviewPlayer&) = delete;
    DevicePreviewPlayer& operator=(const DevicePreviewPlayer&) = delete;

    bool open(const std::filesystem::path& file) override;
    bool play() override;
    void pause() override;
    void stop() override;
    void seek(double seconds) override;
    double currentTime() const override;
    double duration() const override;
    bool playing() const override { return playing_.load(std::memory_order_acquire); }
    void setVolume(float volume) override;
    float volume() const override { return volume_.load(std::memory_order_relaxed); }
    void setEndHandler(std::function<void()> handler) override { endHandler_ = std::move(handler); }

    // Render thread: no allocation, no locks.
    int render(uint32_t frames, AudioBufferList& out);

private:
    bool setUp();
    void halt();

    AudioDevice& device_;
    RunLoop& loop_;
    int sourceId_ = -1;
    bool unitReady_ = false;
    StreamFormat format_;
    // Interleaved stereo frames of the current file. Replaced only while the unit is stopped,
    // so the render thread never sees it change.
    std::vector<float> samples_;
    int64_t frames_ = 0;
    // The next frame to play: written by the render thread while playing, by the main thread
    // while stopped.
    std::atomic<int64_t> position_{0};
    // Main → render: set (release) after the position, so the callback reads a settled one.
    std::atomic<bool> playing_{false};
    // Main → render: a seek made while playing (−1: none); the callback takes it over.
    std::atomic<int64_t> seekRequest_{-1};
    std::atomic<float> volume_{1.0f};
    // Render → main: the end was reached; the run loop's source drains it.
    std::atomic<bool> ended_{false};
    std::function<void()> endHandler_;
};

} // namespace vx
