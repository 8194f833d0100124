#pragma once

#include <vector>

#include "StereoBuffer.h"

namespace vx {

// Stereo Schroeder/Moorer reverb (eight damped combs and four all-passes per channel, the right
// channel's delays a little longer for width). Used as a send effect by the demo-track mixer;
// one instance per render job, run on that job's thread. Built this way because it is cheap,
// deterministic and good enough for a pad wash under synthetic demo music.
class Reverb {
public:
    // Render thread; `roomSize` 0..1 (feedback), `damping` 0..1 (high-frequency loss).
    Reverb(double roomSize, double damping);

    // Render thread; replaces `buffer` (the dry send) with the wet signal, same length.
    void process(StereoBuffer& buffer);

private:
    struct Comb {
        std::vector<float> line;
        size_t pos = 0;
        float store = 0.0f;
    };
    struct AllPass {
        std::vector<float> line;
        size_t pos = 0;
    };
    struct Channel {
        std::vector<Comb> combs;
        std::vector<AllPass> allPasses;
    };

    float runChannel(Channel& ch, float input);

    float feedback_;
    float damp_;
    Channel left_;
    Channel right_;
};

} // namespace vx
