#include "app/AudioOutputSettings.h"

#include "engine/AudioOut.h"
#include "platform/AudioDevice.h"
#include "platform/SampleRate.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cstdio>

namespace vx {

AudioOutputSettings::AudioOutputSettings(UserDefaults& defaults, AudioDevice& device,
                                         AudioOut* engine)
    : defaults_(defaults), device_(device), engine_(engine) {}

uint32_t AudioOutputSettings::storedBufferFrames(const UserDefaults& defaults) {
    const int64_t stored = defaults.integerForKey(kBufferKey, kDefaultBufferFrames);
    const bool offered =
        std::find(kBufferSizes.begin(), kBufferSizes.end(), stored) != kBufferSizes.end();
    return offered ? uint32_t(stored) : kDefaultBufferFrames;
}

void AudioOutputSettings::applyStored(const UserDefaults& defaults, AudioDevice& device) {
    if (!defaults.hasKey(kDeviceKey) && !defaults.hasKey(kBufferKey)) {
        return; // the device keeps its own choice until the user makes one
    }
    device.configureOutput(defaults.stringForKey(kDeviceKey), storedBufferFrames(defaults));
}

std::string AudioOutputSettings::latencyText(uint32_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", double(frames) * 1000.0 / kFrameRate);
    return text;
}

void AudioOutputSettings::viewWillAppear() {
    names_ = device_.outputNames();
    const std::string stored = defaults_.stringForKey(kDeviceKey);
    const auto it = std::find(names_.begin(), names_.end(), stored);
    selected_ = it == names_.end() ? 0 : int(it - names_.begin());
    frames_ = storedBufferFrames(defaults_);
}

bool AudioOutputSettings::selectOutput(int index) {
    if (index < 0 || size_t(index) >= names_.size()) {
        return false;
    }
    selected_ = index;
    // The default output is stored as "" so that it follows the system's default.
    defaults_.setString(kDeviceKey, index == 0 ? std::string() : names_[size_t(index)]);
    return apply();
}

bool AudioOutputSettings::selectBufferFrames(uint32_t frames) {
    if (std::find(kBufferSizes.begin(), kBufferSizes.end(), frames) == kBufferSizes.end()) {
        return false;
    }
    frames_ = frames;
    defaults_.setInteger(kBufferKey, frames);
    return apply();
}

bool AudioOutputSettings::apply() {
    defaults_.synchronize();
    const std::string name = defaults_.stringForKey(kDeviceKey);
    if (engine_ && engine_->initialized()) {
        return engine_->restartOutput(name, frames_);
    }
    return device_.configureOutput(name, frames_);
}

} // namespace vx
