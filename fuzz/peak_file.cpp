// Fuzz target: the peak file reader. Whatever the bytes, a load either fails and leaves the
// record as it was, or gives a record within the documented bounds that writes back to the
// same bytes.

#include "FuzzSupport.h"
#include "analysis/peakFileData.h"

#include <cmath>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    static const auto path = fuzz::scratchPath("peak");
    static const auto again = fuzz::scratchPath("peak-again");
    fuzz::writeScratch(path, data, size);
    for (const int32_t expected : {-1, int32_t(size > 20 ? (size - 20) / 2 : 0)}) {
        const auto record = peakFileData::create(3);
        if (!peakFileLoad(*record, path, expected)) {
            VX_FUZZ_CHECK(record->count == 3 && record->height(0) == kPeakNotComputed);
            continue;
        }
        VX_FUZZ_CHECK(size_t(20 + 2 * int64_t(record->count)) == size);
        VX_FUZZ_CHECK(expected < 0 || record->count == expected);
        const double bpm = record->bpm.load();
        const double gain = record->gain.load();
        VX_FUZZ_CHECK(bpm == 0.0 || (bpm >= kPeakMinBpm && bpm <= kPeakMaxBpm));
        VX_FUZZ_CHECK(gain >= kPeakMinGain && gain <= kPeakMaxGain);
        VX_FUZZ_CHECK(peakFileWrite(*record, again));
        const auto back = peakFileData::create(0);
        VX_FUZZ_CHECK(peakFileLoad(*back, again, record->count));
        std::vector<uint8_t> a(size_t(record->count) * 2), b(a.size());
        record->copyEntries(a.data());
        back->copyEntries(b.data());
        VX_FUZZ_CHECK(a == b && back->bpm.load() == bpm && back->gain.load() == gain);
    }
    return 0;
}
