#pragma once
// AudioDevice: the output unit and audio session the engine plays through.
//
// The engine was designed for a handheld platform whose output is a "remote I/O" unit that
// calls a render callback on a real-time thread, set up in six numbered steps, inside an
// audio session that has a category, can be activated, reports the hardware rate and buffer
// duration, and can be interrupted. This interface keeps that shape so that the engine's
// set-up code and its messages stay step by step, and so that two very different devices
// fit under it:
//   - PortAudioDevice: the default output of the machine (ALSA, JACK, Pulse);
//   - OfflineAudioDevice: pulls buffers into memory or a WAV file, as fast as possible or
//     paced in real time, and can drive the main run loop on the audio clock.
//
// Threads: every method is for the main thread except the render callback, which the device
// calls on its render thread (or on the caller's thread for offline pulls). Status values
// are 0 for success and a device-specific non-zero code otherwise; statusText() explains one.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vx {

// Sample layout of the output unit's client format.
enum class SampleFormat {
    Float32NonInterleaved, // two buffers of float, left and right
    Int16Interleaved,      // one buffer of signed 16-bit, L R L R
};

struct StreamFormat {
    double sampleRate = 44100.0;
    uint32_t channels = 2;
    SampleFormat sample = SampleFormat::Float32NonInterleaved;
    // Fixed-point fraction bits of the client format; 0 for float and plain integer formats.
    uint32_t fixedPointFractionBits = 0;

    bool isFloat() const { return sample == SampleFormat::Float32NonInterleaved; }
    uint32_t bytesPerSample() const { return isFloat() ? 4u : 2u; }
};

// One buffer of a buffer list: `channels` interleaved channels in `bytes` bytes.
struct AudioBuffer {
    void* data = nullptr;
    uint32_t channels = 0;
    uint32_t bytes = 0;
};

// What the render callback fills: two mono float buffers, or one interleaved 16-bit buffer.
struct AudioBufferList {
    uint32_t count = 0;
    AudioBuffer buffers[2];
};

// Render thread: fill `frames` frames of `out`; no allocation, no locks but the engine lock.
// Returns 0 on success.
using RenderCallback = int (*)(void* context, uint32_t frames, AudioBufferList& out);

// Main thread: called with true when an interruption begins and false when it ends.
using InterruptionListener = std::function<void(bool begins)>;

// Render thread: true while the calling thread is inside a device's render callback (test
// builds count the allocations made there).
bool inRenderCallback();

// Set by a device around each call of the render callback.
class RenderCallbackScope {
public:
    RenderCallbackScope();
    ~RenderCallbackScope();
    RenderCallbackScope(const RenderCallbackScope&) = delete;
    RenderCallbackScope& operator=(const RenderCallbackScope&) = delete;
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;

    // A short name for logs ("portaudio", "offline").
    virtual std::string name() const = 0;
    // Explains a non-zero status of this device, e.g. "Device unavailable".
    virtual std::string statusText(int status) const = 0;

    // --- audio session -------------------------------------------------------------------
    // Main thread: installs the interruption listener.
    virtual int initializeSession(InterruptionListener listener) = 0;
    // Main thread: the session category, a four-character code ("medi" for media playback).
    virtual int setCategory(const std::string& category) = 0;
    // Main thread: activates or deactivates the session.
    virtual int setActive(bool active) = 0;
    // Main thread: the hardware sample rate in Hz ("chsr").
    virtual double hardwareSampleRate() const = 0;
    // Main thread: the hardware I/O buffer duration in seconds ("chbd").
    virtual double hardwareBufferDuration() const = 0;

    // --- output unit, in set-up order ------------------------------------------------------
    // 1. Finds the output and creates the unit.
    virtual int createUnit() = 0;
    // 2. Enables input on the unit (the microphone path); devices without input accept it.
    virtual int enableInput() = 0;
    // 3. Installs the render callback with its context.
    virtual int setRenderCallback(RenderCallback callback, void* context) = 0;
    // 4. Reads the unit's client format (what the render callback must produce).
    virtual int getClientFormat(StreamFormat& format) const = 0;
    // 5. Sets the client format.
    virtual int setClientFormat(const StreamFormat& format) = 0;
    // 6. Prepares the unit to run (opens the stream).
    virtual int initializeUnit() = 0;
    // Starts / stops calling the render callback.
    virtual int startUnit() = 0;
    virtual int stopUnit() = 0;
    // Undoes createUnit … initializeUnit; safe to call at any point.
    virtual void disposeUnit() = 0;
    virtual bool isRunning() const = 0;

    // --- choosing the output (the settings' "Audio output" group) ---------------------------
    // Main thread: the outputs this device can play through, by name, the default first;
    // empty when there is no choice.
    virtual std::vector<std::string> outputNames() const { return {}; }
    // Main thread: the output (a name from outputNames, or empty for the default) and the
    // frames per buffer that the next set-up (createUnit … initializeUnit) uses. False, with
    // nothing changed, when the device cannot take them.
    virtual bool configureOutput(const std::string& /*name*/, uint32_t /*bufferFrames*/) {
        return false;
    }
};

// Main thread: runs set-up steps 1–6 on `device` with the engine's messages. On failure it
// prints "Error: <message> (<status>)\n" to the log and returns false with `error` set to the
// same text; the unit is disposed again.
bool setUpOutputUnit(AudioDevice& device, RenderCallback callback, void* context,
                     StreamFormat& formatOut, std::string* error);

// Formats a status the way the engine's messages show it: a four-character code when all four
// bytes are printable, else the decimal number.
std::string formatStatus(int status);

} // namespace vx
