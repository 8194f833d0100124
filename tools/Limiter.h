#pragma once

#include <vector>

#include "StereoBuffer.h"

namespace vx {

// Offline look-ahead peak limiter for finished mixes. Works on a whole buffer at once (the
// generator renders tracks completely before encoding), so it can look ahead freely: the gain
// needed for every peak is spread back over the look-ahead window, then averaged, which keeps
// every sample at or under the ceiling without clicks. Keeps its scratch gain curves between
// calls (they are as long as the buffer); each render thread uses its own instance.
class Limiter {
public:
    // Any thread; `ceiling` linear (e.g. 0.79 for -2 dBFS), look-ahead and release in seconds.
    Limiter(float ceiling, double lookAhead, double release);

    // Render thread; limits `buffer` in place. Returns the smallest gain applied (linear).
    float process(StereoBuffer& buffer);

private:
    float ceiling_;
    int window_;
    double releaseMul_;
    std::vector<float> need_;
    std::vector<float> held_;
};

} // namespace vx
