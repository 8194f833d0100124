// AudioOut: recording the mix, the microphone session, and the sampler pads' set-up.
//
// The render callback hands each finished buffer to the record writer while `recording_` is
// set (see renderSlice); it brackets the hand-off with `recordHandOff_`, so that stopping can
// wait until no hand-off that saw the flag is still running before the writer is closed.

#include "dsp/SamplePlayerFixed.h"
#include "engine/AudioOut.h"
#include "engine/MixRecordWriter.h"
#include "engine/sampleLoad.h"
#include "platform/Log.h"

#include <cmath>
#include <cstdio>
#include <thread>

namespace vx {

std::filesystem::path AudioOut::recordFileName(const std::filesystem::path& folder, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "VXNexa_%04i.wav", number);
    return folder / name;
}

bool AudioOut::PrepareRecordFor(const std::filesystem::path& path) {
    if (recording_.load(std::memory_order_acquire)) {
        return false;
    }
    if (recordWriter_) {
        // A file is still open from an earlier prepare: it is closed and forgotten.
        recordWriter_.reset();
        recorder_.store(nullptr, std::memory_order_release);
        return false;
    }
    recordFile_ = path;
    lastRecordFailed_ = false;
    MixRecordWriter::Options options;
    options.float32 = outputDeviceInputFormat.isFloat();
    options.sampleRate = int(std::lround(hardwareSampleRate));
    options.waitWhenFull = recordWaitsWhenFull_;
    std::string error;
    recordWriter_ = MixRecordWriter::create(path, options, &error);
    if (!recordWriter_) {
        logLine("Error: %s (%s)\n", "couldn't create the record file", error.c_str());
        return false;
    }
    recorder_.store(recordWriter_.get(), std::memory_order_release);
    return true;
}

bool AudioOut::startRecord() {
    if (!recordWriter_) {
        return false;
    }
    recording_.store(true, std::memory_order_seq_cst);
    return true;
}

bool AudioOut::abortRecord() {
    recording_.store(false, std::memory_order_seq_cst);
    if (!recordWriter_) {
        return true;
    }
    // A hand-off that read the flag before it was cleared may still be copying: wait it out
    // (it copies one buffer into memory). An even count means none is running.
    const uint32_t seen = recordHandOff_.load(std::memory_order_seq_cst);
    if (seen & 1u) {
        while (recordHandOff_.load(std::memory_order_seq_cst) == seen) {
            std::this_thread::yield();
        }
    }
    recorder_.store(nullptr, std::memory_order_release);
    const bool complete = recordWriter_->close();
    if (!complete) {
        lastRecordFailed_ = true;
        logLine("Recording %s is incomplete: %llu frames were lost", recordFile_.string().c_str(),
                static_cast<unsigned long long>(recordWriter_->droppedFrames()));
    }
    recordWriter_.reset();
    return true;
}

bool AudioOut::recordFailed() const {
    return recordWriter_ ? recordWriter_->failed() : lastRecordFailed_;
}

bool AudioOut::setupRecordSession() {
    device_.disposeUnit();
    device_.setActive(false);
    unitReady_ = false;
    SoundStarted = false;
    return true;
}

void AudioOut::restorePlaySession() {
    device_.initializeSession([this](bool begins) { sessionInterrupted(begins); });
    device_.setCategory("medi");
    hardwareSampleRate = device_.hardwareSampleRate();
    bufferFrames =
        static_cast<uint32_t>(std::lround(device_.hardwareBufferDuration() * hardwareSampleRate));
    StreamFormat format;
    std::string error;
    if (!setUpOutputUnit(device_, &AudioOut::renderCallback, this, format, &error)) {
        return;
    }
    outputDeviceInputFormat = format;
    unitReady_ = true;
    const int status = device_.startUnit();
    if (status != 0) {
        logLine("Error: %s (%s)\n", "couldn't start the remote I/O unit",
                formatStatus(status).c_str());
    } else {
        SoundStarted = true;
    }
    device_.setActive(true);
}

bool AudioOut::restartOutput(const std::string& name, uint32_t frames) {
    if (frames == 0 || frames > kMaxFrames) {
        return false;
    }
    const uint32_t before = bufferFrames;
    // The decks are plain state beside the unit: disposing of the unit and setting it up again
    // leaves their positions and their play state as they are.
    setupRecordSession();
    const bool taken = device_.configureOutput(name, frames);
    restorePlaySession();
    if (taken && unitReady_) {
        return true;
    }
    logLine("the output could not start on \"%s\" with %u frames: back to the default",
            name.c_str(), frames);
    setupRecordSession();
    device_.configureOutput("", before);
    restorePlaySession();
    return false;
}

int AudioOut::getMicState() {
    if (!micAllowed.load(std::memory_order_relaxed)) {
        micEnabled.store(false, std::memory_order_relaxed);
        micState.store(-1, std::memory_order_relaxed);
    }
    return micState.load(std::memory_order_relaxed);
}

int AudioOut::setMicState(int value) {
    getMicState();
    if (value != -1) {
        micState.store(value, std::memory_order_relaxed);
        if (value == 0) {
            micEnabled.store(false, std::memory_order_relaxed);
        } else if (value >= 1 && value <= 3) {
            micEnabled.store(true, std::memory_order_relaxed);
            setMicGain(0.5f * float(value));
        }
    }
    return micState.load(std::memory_order_relaxed);
}

int AudioOut::loadDefaultPads(const std::filesystem::path& folder) {
    int loaded = 0;
    for (int i = 0; i < kPadCount; ++i) {
        const std::filesystem::path file = folder / ("fx_" + std::to_string(i + 1) + ".wav");
        loaded += sampleLoad(pad(i), file, nullptr, std::nullopt) ? 1 : 0;
    }
    return loaded;
}

void AudioOut::padPress(int index) {
    if (index >= 0 && index < kPadCount) {
        pad(index).noteOn();
    }
}

} // namespace vx
