#include "Reverb.h"

namespace vx {

namespace {
// Classic Freeverb tunings at 44.1 kHz, in samples.
constexpr int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllPasses[4] = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;
} // namespace

Reverb::Reverb(double roomSize, double damping)
    : feedback_(static_cast<float>(0.7 + 0.28 * roomSize)),
      damp_(static_cast<float>(0.4 * damping)) {
    for (int spreadIndex = 0; spreadIndex < 2; ++spreadIndex) {
        Channel& ch = spreadIndex == 0 ? left_ : right_;
        const int spread = spreadIndex * kStereoSpread;
        for (int len : kCombs)
            ch.combs.push_back({std::vector<float>(static_cast<size_t>(len + spread), 0.0f)});
        for (int len : kAllPasses)
            ch.allPasses.push_back({std::vector<float>(static_cast<size_t>(len + spread), 0.0f)});
    }
}

float Reverb::runChannel(Channel& ch, float input) {
    float sum = 0.0f;
    for (Comb& c : ch.combs) {
        float out = c.line[c.pos];
        c.store = out * (1.0f - damp_) + c.store * damp_;
        c.line[c.pos] = input + c.store * feedback_;
        if (++c.pos == c.line.size())
            c.pos = 0;
        sum += out;
    }
    for (AllPass& a : ch.allPasses) {
        float buffered = a.line[a.pos];
        float out = buffered - sum;
        a.line[a.pos] = sum + buffered * 0.5f;
        if (++a.pos == a.line.size())
            a.pos = 0;
        sum = out;
    }
    return sum;
}

void Reverb::process(StereoBuffer& buffer) {
    const int64_t n = buffer.frames();
    for (int64_t i = 0; i < n; ++i) {
        const size_t k = static_cast<size_t>(i);
        float input = (buffer.left[k] + buffer.right[k]) * 0.015f;
        buffer.left[k] = runChannel(left_, input);
        buffer.right[k] = runChannel(right_, input);
    }
}

} // namespace vx
