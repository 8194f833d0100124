#include "analysis/PeakGrid.h"
#include "platform/SampleRate.h"

#include <cmath>

namespace vx {

namespace {

// Sample rate the beat period is measured at.

// A usable period: finite and positive, at least one entry (shorter periods would mark every
// entry anyway, and a vanishing one would never advance).
bool usablePeriod(double& period) {
    if (!std::isfinite(period) || period <= 0.0) {
        return false;
    }
    if (period < 1.0) {
        period = 1.0;
    }
    return true;
}

// Entry a grid position falls in, or −1 outside the record.
int32_t entryAt(double x, int32_t count) {
    const double r = std::round(x);
    return r >= 0.0 && r < count ? static_cast<int32_t>(r) : -1;
}

} // namespace

double beatPeriodWindows(double bpm) {
    if (!std::isfinite(bpm) || bpm <= 0.0) {
        return 1.0;
    }
    return 60.0 / bpm * kFrameRate / kPeakWindowFrames;
}

void markBeatsForward(peakFileData& peaks, double period, double start) {
    if (!usablePeriod(period) || !std::isfinite(start)) {
        return;
    }
    // Steps before the record cannot mark anything: begin at the first position of the same
    // phase that can round to entry 0.
    double first = start;
    if (first < -0.5) {
        first = std::fmod(first, period);
        if (first < -0.5) {
            first += period;
        }
    }
    for (double k = 0.0;; k += 1.0) {
        const double x = first + k * period;
        if (!(x < peaks.count)) {
            break;
        }
        const int32_t e = entryAt(x, peaks.count);
        if (e >= 0) {
            peaks.setFlagBits(e, kPeakBeatFlag);
        }
    }
}

void markBeatsBackward(peakFileData& peaks, double period, double start) {
    if (!usablePeriod(period) || !std::isfinite(start)) {
        return;
    }
    // Steps beyond the record cannot mark anything: begin at the last position of the same
    // phase that rounds inside it (x < count − 0.5).
    const double top = peaks.count - 0.5;
    double first = start;
    if (first >= top) {
        first = top + std::fmod(first - top, period) - period;
    }
    for (double k = 0.0;; k += 1.0) {
        const double x = first - k * period;
        if (!(x >= 0.0)) {
            break;
        }
        const int32_t e = entryAt(x, peaks.count);
        if (e >= 0) {
            peaks.setFlagBits(e, kPeakBeatFlag);
        }
    }
}

bool regridPeaks(peakFileData& peaks, double anchorFrame, double tempo) {
    if (!std::isfinite(tempo) || tempo <= 0.0 || !std::isfinite(anchorFrame) || anchorFrame < 0.0) {
        return false;
    }
    for (int32_t i = 0; i < peaks.count; ++i) {
        peaks.clearFlagBits(i, kPeakBeatBits);
    }
    const double period = beatPeriodWindows(tempo);
    const double start = anchorFrame / kPeakWindowFrames;
    markBeatsForward(peaks, period, start);
    markBeatsBackward(peaks, period, start);
    return true;
}

} // namespace vx
