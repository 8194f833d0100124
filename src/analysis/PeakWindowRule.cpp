#include "analysis/PeakWindowRule.h"

#include <algorithm>
#include <cmath>

namespace vx {

PeakEntry PeakWindowRule::next(const float* samples, int n) {
    float peak = 0.0f;
    float maxLP = 0.0f;
    float maxBP = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float s = samples[i];
        // Written as "greater than" so that a NaN sample never becomes the maximum.
        const float a = std::fabs(s);
        if (a > peak) {
            peak = a;
        }
        const float lp = std::fabs(lowPass.tick(s));
        if (lp > maxLP) {
            maxLP = lp;
        }
        const float bp = std::fabs(bandPass.tick(s));
        if (bp > maxBP) {
            maxBP = bp;
        }
    }

    const float smoothed = 0.5f * previousPeak + 0.5f * peak;
    // float × 50 is exact in double, so the truncation sees the true product. Loud input
    // (|s| > 5) is clamped rather than wrapped.
    const double scaled = std::trunc(static_cast<double>(smoothed) * kHeightScale);
    int height = scaled < kMaxHeight ? static_cast<int>(scaled) : kMaxHeight;

    PeakEntry entry;
    if (smoothed > 0.0f) {
        const bool low = std::fabs(maxLP / smoothed) > kLowShare &&
                         std::fabs(maxBP / smoothed) * kBandWeight <= kBandLimit;
        const int flag = low ? 1 : 0;
        if (!low) {
            height = static_cast<int>(height * 0.5);
        }
        entry.flags = static_cast<uint8_t>(flag);
        previousPeak = flag == previousFlag ? peak : 0.0f;
        previousFlag = flag;
    } else {
        entry.flags = 0;
        previousPeak = peak;
    }
    entry.height = static_cast<uint8_t>(height);
    return entry;
}

void PeakWindowRule::restart() {
    previousPeak = 0.0f;
    previousFlag = -1;
}

int32_t makePeaksFromBlock(const float* block, int32_t frames, int64_t startFrame,
                           peakFileData& peaks) {
    if (block == nullptr || frames <= 0 || startFrame < 0) {
        return 0;
    }
    const int64_t firstEntry = (startFrame + kPeakWindowFrames - 1) / kPeakWindowFrames;
    int64_t frame = firstEntry * kPeakWindowFrames - startFrame; // first frame of the window
    PeakWindowRule rule;
    float mono[kPeakWindowFrames];
    int32_t written = 0;
    for (int64_t entry = firstEntry; frame < frames && entry < peaks.count; ++entry) {
        const int n = static_cast<int>(std::min<int64_t>(kPeakWindowFrames, frames - frame));
        const float* in = block + 2 * frame;
        for (int i = 0; i < n; ++i) {
            mono[i] = (in[2 * i] + in[2 * i + 1]) * 0.5f;
        }
        const PeakEntry e = rule.next(mono, n);
        peaks.fillEntry(static_cast<int32_t>(entry), e.height, e.flags);
        ++written;
        frame += n;
    }
    return written;
}

} // namespace vx
