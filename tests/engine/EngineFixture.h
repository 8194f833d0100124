#pragma once
// Shared set-up for engine tests: an engine on the offline device whose decks hold generated
// tracks, fully decoded into their rings (no decoder thread involved).

#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "platform/AudioFileWriter.h"
#include "platform/OfflineAudioDevice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace vx::test {

// A generated track: the sample value of (frame, channel).
using Signal = std::function<float(int64_t frame, int channel)>;

// Frame-index signal: left = frame / 2^20, right = −left; exact in float for < 2^24 frames,
// so an output sample tells which source frame was played.
inline float frameCode(int64_t frame, int channel) {
    const float v = static_cast<float>(frame) / 1048576.0f;
    return channel == 0 ? v : -v;
}
// One step of frameCode: the left sample of frame n is n * kCodeStep.
constexpr float kCodeStep = 1.0f / 1048576.0f;

inline Signal sine(double hz, float amplitude = 0.5f) {
    return [hz, amplitude](int64_t frame, int) {
        return amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * frame / 44100.0));
    };
}

// Index of the loudest left-channel frame of `out` and its absolute value.
inline std::pair<size_t, float> loudest(const std::vector<float>& out) {
    size_t peak = 0;
    for (size_t i = 0; i * 2 < out.size(); ++i) {
        if (std::fabs(out[2 * i]) > std::fabs(out[2 * peak])) {
            peak = i;
        }
    }
    return {peak, std::fabs(out.empty() ? 0.0f : out[2 * peak])};
}

// Silence with one full-scale frame.
inline Signal clickAt(int64_t click) {
    return [click](int64_t frame, int) { return frame == click ? 1.0f : 0.0f; };
}

// Writes `frames` frames of `signal` as a stereo WAVE file (float unless told) at `rate` Hz.
inline bool writeTrack(const std::filesystem::path& path, int64_t frames, const Signal& signal,
                       int rate = 44100,
                       AudioFileWriter::Format format = AudioFileWriter::Format::WavFloat32) {
    auto writer = AudioFileWriter::create(path, format, rate, 2, nullptr);
    std::vector<float> chunk;
    for (int64_t done = 0; writer && done < frames;) {
        const int64_t n = std::min<int64_t>(65536, frames - done);
        chunk.resize(size_t(n) * 2);
        for (int64_t i = 0; i < n; ++i) {
            chunk[size_t(2 * i)] = signal(done + i, 0);
            chunk[size_t(2 * i + 1)] = signal(done + i, 1);
        }
        if (!writer->write(chunk.data(), n)) {
            return false;
        }
        done += n;
    }
    return writer && writer->close();
}

// Waits for `condition`, polling; false if it has not come true after a generous minute.
// The limit only turns a broken wait into a failure instead of a hang; it measures nothing.
inline bool eventually(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// Writes `length` frames of `signal` into the deck's ring (blocks 0…) and marks the deck loaded
// at position 0 with the given speed settings. Blocks listed in `missing` are left out.
inline void loadGenerated(audioStream& deck, int32_t length, const Signal& signal,
                          const std::vector<int>& missing = {}) {
    const int32_t blocks = (length + kBlockFrames - 1) / kBlockFrames;
    for (int b = 0; b < kRingBlocks; ++b) {
        deck.blocks[b].valid.store(false);
        deck.blocks[b].blockIndex.store(-1);
    }
    for (int b = 0; b < blocks && b < kRingBlocks; ++b) {
        bool skip = false;
        for (int m : missing) {
            skip = skip || m == b;
        }
        if (skip) {
            continue;
        }
        soundBuffer& slot = deck.blocks[b];
        const int32_t start = b * kBlockFrames;
        const int32_t frames = std::min(kBlockFrames, length - start);
        for (int32_t i = 0; i < frames; ++i) {
            slot.list[2 * i] = signal(start + i, 0);
            slot.list[2 * i + 1] = signal(start + i, 1);
        }
        slot.blockIndex.store(b);
        slot.startFrame.store(start);
        slot.endFrame.store(start + frames);
        slot.frames.store(frames);
        slot.valid.store(true, std::memory_order_release);
    }
    deck.lengthFrames.store(length);
    deck.numBlocks.store(blocks);
    deck.position.store(0.0);
    deck.speed.store(1.0);
    deck.baseSpeed.store(1.0);
    deck.isLoaded.store(true, std::memory_order_release);
}

struct Engine {
    explicit Engine(uint32_t bufferFrames = 1024,
                    SampleFormat sample = SampleFormat::Float32NonInterleaved,
                    RunLoop* loop = nullptr)
        : device(OfflineAudioDevice::Options{.bufferFrames = bufferFrames, .sample = sample}),
          out(device, loop) {
        ok = out.init() && out.StartSound();
    }

    // Renders `frames` frames and returns them interleaved.
    std::vector<float> render(int64_t frames) { return device.renderToMemory(frames); }

    // Plays deck `index` from `position` without key lock and without the fade-in, so output
    // frames equal source frames.
    void playPlain(int index, double position = 0.0) {
        audioStream& d = out.deck(index);
        d.pitchMode.store(true);
        d.position.store(position);
        d.isPlaying.store(true);
        d.outputRamp.On.store(false);
        out.startPlay();
        d.outputRamp.On.store(false);
    }

    OfflineAudioDevice device;
    AudioOut out;
    bool ok = false;
};

} // namespace vx::test
