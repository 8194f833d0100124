#include "analysis/MeterTable.h"

#include <algorithm>
#include <cmath>

namespace vx {

namespace {

double amplitudeOfDecibels(double decibels) {
    return std::pow(10.0, 0.05 * decibels);
}

} // namespace

MeterTable::MeterTable(float minDecibels, int size, float root) {
    if (!(minDecibels < 0.0f) || size < 2 || !(root > 0.0f)) {
        minDecibels = -80.0f;
        size = 400;
        root = 2.0f;
    }
    minDecibels_ = minDecibels;
    resolution_ = minDecibels / static_cast<float>(size - 1);
    scaleFactor_ = 1.0f / resolution_;
    table_.resize(static_cast<size_t>(size));
    const double minAmplitude = amplitudeOfDecibels(minDecibels);
    const double range = 1.0 - minAmplitude;
    const double inverseRoot = 1.0 / root;
    for (int i = 0; i < size; ++i) {
        const double adjusted = (amplitudeOfDecibels(decibelsOfEntry(i)) - minAmplitude) / range;
        table_[static_cast<size_t>(i)] =
            static_cast<float>(std::pow(std::max(adjusted, 0.0), inverseRoot));
    }
}

float MeterTable::valueAt(float decibels) const {
    if (!(decibels >= minDecibels_)) {
        return 0.0f;
    }
    if (decibels >= 0.0f) {
        return 1.0f;
    }
    int index = static_cast<int>(decibels * scaleFactor_);
    if (index >= size()) {
        index = size() - 1;
    }
    return table_[static_cast<size_t>(index)];
}

} // namespace vx
