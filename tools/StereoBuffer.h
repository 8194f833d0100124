#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

// Sample rate of everything the content generator writes, in Hz.
constexpr int kGenSampleRate = 44100;

// Planar stereo float buffer the content generator renders into. Each render job owns its
// buffers; nothing here is shared between threads.
struct StereoBuffer {
    std::vector<float> left;
    std::vector<float> right;

    // Any thread; frames at 44100 Hz.
    explicit StereoBuffer(int64_t frames = 0)
        : left(static_cast<std::size_t>(frames), 0.0f),
          right(static_cast<std::size_t>(frames), 0.0f) {}

    // Any thread; length in frames.
    int64_t frames() const { return static_cast<int64_t>(left.size()); }

    // Any thread; adds one stereo sample at `frame`, ignoring positions past either end.
    void add(int64_t frame, float l, float r) {
        if (frame < 0 || frame >= frames())
            return;
        left[static_cast<std::size_t>(frame)] += l;
        right[static_cast<std::size_t>(frame)] += r;
    }
};

} // namespace vx
