#pragma once
// AudioOutputSettings: the settings screen's "Audio output" group — which sound output the
// decks play through (by name, the default first) and how many frames each buffer holds
// (128…2048; fewer frames, less latency, more risk of a skip). Each choice is stored at once
// ("kOutputDevice", "kBufferFrames") and applied at once by restarting the output, which keeps
// the decks' positions. At launch the stored choice is handed to the device before the engine
// sets it up (applyStored).
//
// Plain state for the shell (names, selected index, buffer sizes, latency text) and handlers.
// Main thread only.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vx {

class AudioDevice;
class AudioOut;
class UserDefaults;

class AudioOutputSettings {
public:
    static constexpr const char* kTitle = "Audio output";
    static constexpr const char* kDeviceKey = "kOutputDevice";
    static constexpr const char* kBufferKey = "kBufferFrames";
    static constexpr std::array<uint32_t, 5> kBufferSizes = {128, 256, 512, 1024, 2048};
    static constexpr uint32_t kDefaultBufferFrames = 1024;

    // Main thread. `engine` may be null (the output is then only configured, for the next
    // set-up). Every reference must outlive the controller.
    AudioOutputSettings(UserDefaults& defaults, AudioDevice& device, AudioOut* engine);

    // Main thread, before the engine sets the output up: hands the stored choice to the
    // device (a stored buffer size that is not offered counts as the default).
    static void applyStored(const UserDefaults& defaults, AudioDevice& device);
    // The stored buffer size, or the default when none (or no offered one) is stored.
    static uint32_t storedBufferFrames(const UserDefaults& defaults);
    // "%.1f ms": the time one buffer of `frames` lasts at 44100 Hz.
    static std::string latencyText(uint32_t frames);

    // Reads the device's outputs and the stored choice (the screen is shown).
    void viewWillAppear();
    // Output `index` of names() / buffer size `frames` chosen: stored and applied. False when
    // the choice is not offered or the output did not start with it (it then runs as before
    // on the default output).
    bool selectOutput(int index);
    bool selectBufferFrames(uint32_t frames);

    const std::vector<std::string>& names() const { return names_; }
    int selectedOutput() const { return selected_; }
    uint32_t bufferFrames() const { return frames_; }

private:
    bool apply();

    UserDefaults& defaults_;
    AudioDevice& device_;
    AudioOut* engine_;
    std::vector<std::string> names_;
    int selected_ = 0;
    uint32_t frames_ = kDefaultBufferFrames;
};

} // namespace vx
