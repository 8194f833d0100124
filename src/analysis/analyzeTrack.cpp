#include "analysis/analyzeTrack.h"

#include "analysis/BeatDetect.h"
#include "analysis/peakFileData.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"

#include <cmath>
#include <memory>
#include <string>

namespace vx {

int analyzeTrack(const std::filesystem::path& path, peakFileData* peaks,
                 std::atomic<float>* progress, const TempoOverrideQuery& tempoOverride) {
    // The caller's record stays alive through the caller's reference for the whole run.
    if (progress != nullptr) {
        progress->store(0.0f, std::memory_order_relaxed);
    }
    std::string error;
    // Read at the decks' rate whatever the file's own: the tempo detector counts 44100 frames
    // per second, and the peak windows must cover the same 256 frames a deck plays.
    const std::unique_ptr<AudioFileReader> reader =
        AudioFileReader::open(path, AudioFileReader::Client::Mono44100, &error);
    if (!reader) {
        // Nothing was analysed, so the caller must not take the record's tempo as a result
        // (reporting success here would store a tempo of 0 for the track).
        logLine("Could not analyse %s: %s", path.string().c_str(), error.c_str());
        return 0;
    }
    const std::filesystem::path peakPath = peakFilePath(path);

    std::shared_ptr<peakFileData> own;
    if (peaks == nullptr) {
        own = peakFileData::create(peakCountForFrames(reader->lengthFrames()));
        peaks = own.get();
    }
    const int32_t count = peaks->count;

    BeatDetect detect(*peaks);
    float block[BeatDetect::kBlockFrames];
    int32_t windowsDone = 0;
    while (windowsDone < count) {
        const int64_t frames = reader->read(block, BeatDetect::kBlockFrames);
        if (frames <= 0) {
            break;
        }
        detect.processBlock(block, int(frames));
        windowsDone = int32_t(std::trunc(windowsDone + double(frames) / kPeakWindowFrames));
        if (progress != nullptr) {
            // Compare-and-swap, so that a cancel written between the check and the update is
            // not overwritten.
            float seen = progress->load(std::memory_order_relaxed);
            const float done = float(double(windowsDone) / count);
            while (seen != -1.0f &&
                   !progress->compare_exchange_weak(seen, done, std::memory_order_relaxed)) {
            }
            if (seen == -1.0f) {
                peaks->ready.store(0, std::memory_order_relaxed);
                return 0;
            }
        }
        peaks->ready.store(1, std::memory_order_relaxed);
        peaks->changes.fetch_add(1, std::memory_order_release);
    }

    if (tempoOverride) {
        const double bpm = tempoOverride(path);
        if (bpm > 0.0) {
            detect.setTempoOverride(bpm);
        }
    }
    const double bpm = detect.computeBpm();
    peaks->bpm.store(bpm, std::memory_order_relaxed);
    peaks->gain.store(detect.gain(), std::memory_order_relaxed);
    peakFileWrite(*peaks, peakPath);
    return 1;
}

} // namespace vx
