#include "Limiter.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace vx {

Limiter::Limiter(float ceiling, double lookAhead, double release)
    : ceiling_(ceiling), window_(std::max(1, static_cast<int>(lookAhead * kGenSampleRate))),
      releaseMul_(std::exp(-1.0 / (release * kGenSampleRate))) {}

float Limiter::process(StereoBuffer& buffer) {
    const int64_t n = buffer.frames();
    if (n == 0)
        return 1.0f;
    // Gain each frame needs on its own.
    need_.resize(static_cast<size_t>(n));
    std::vector<float>& need = need_;
    for (int64_t i = 0; i < n; ++i) {
        const size_t k = static_cast<size_t>(i);
        float peak = std::max(std::fabs(buffer.left[k]), std::fabs(buffer.right[k]));
        need[k] = peak > ceiling_ ? ceiling_ / peak : 1.0f;
    }
    // Minimum over the coming `window_` frames (monotonic deque), so the gain starts falling a
    // full window before each peak; then a release that lets the gain recover slowly.
    held_.resize(static_cast<size_t>(n));
    std::vector<float>& held = held_;
    std::deque<int64_t> candidates;
    int64_t next = 0;
    double released = 1.0;
    for (int64_t i = 0; i < n; ++i) {
        while (next < n && next <= i + window_) {
            while (!candidates.empty() &&
                   need[static_cast<size_t>(candidates.back())] >= need[static_cast<size_t>(next)])
                candidates.pop_back();
            candidates.push_back(next++);
        }
        while (candidates.front() < i)
            candidates.pop_front();
        double g = need[static_cast<size_t>(candidates.front())];
        released = std::min(g, 1.0 - (1.0 - released) * releaseMul_);
        held[static_cast<size_t>(i)] = static_cast<float>(released);
    }
    // Moving average over the trailing window: every frame inside it had a held gain at or
    // below the peak's need, so the average still meets the ceiling.
    float smallest = 1.0f;
    double sum = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        sum += held[static_cast<size_t>(i)];
        if (i >= window_)
            sum -= held[static_cast<size_t>(i - window_)];
        const int64_t count = std::min<int64_t>(i + 1, window_);
        float g = static_cast<float>(sum / static_cast<double>(count));
        // Guard against rounding in the running sum.
        g = std::min(g, need[static_cast<size_t>(i)]);
        const size_t k = static_cast<size_t>(i);
        buffer.left[k] *= g;
        buffer.right[k] *= g;
        smallest = std::min(smallest, g);
    }
    return smallest;
}

} // namespace vx
