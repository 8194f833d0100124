#pragma once

#include <cstdint>

namespace vx {

// SplitMix64 generator. The content generator must write byte-identical files on every run and
// every standard library, so it never uses std::random_device or the std distributions (whose
// output is implementation-defined); all randomness comes from fixed starting states here.
class Rng {
public:
    // Any thread; `state` is the fixed starting state.
    explicit Rng(uint64_t state) : state_(state) {}

    // Any thread; next raw 64-bit value.
    uint64_t next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Any thread; uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    // Any thread; uniform in [-1, 1), as float for noise sources.
    float bipolar() { return static_cast<float>(uniform() * 2.0 - 1.0); }

    // Any thread; integer in [0, n) for n > 0.
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }

    // Any thread; true with probability p.
    bool chance(double p) { return uniform() < p; }

private:
    uint64_t state_;
};

} // namespace vx
