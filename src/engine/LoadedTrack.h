#pragma once
// LoadedTrack: what one deck knows about the track it holds, as one immutable record.
//
// The decode thread builds a record when it opens a track (its info from the database, its peak
// data, its playable length, its first beat mark and the speed and volume remembered for it)
// without holding any lock that the render or main thread waits on, and publishes it with one
// swap of a shared pointer (`publishTrack`). Readers on any thread but the render thread take a
// local copy
// (`audioStream::track()`), so they never see half of one track and half of the next, and the
// data they hold stays alive while they use it. A change (a new tempo after an analysis, a grid
// moved) publishes a new record; nothing replaces a part of a record in place. The record a
// publish replaces is handed to the main thread to be freed there.
//
// The peak entries inside `peaks` are written in place by the analysis and decode threads
// through atomics (see peakFileData): the record fixes which peak data a track has, not its
// contents.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace vx {

class VXAudioFileInfo;
struct peakFileData;

struct LoadedTrack {
    std::filesystem::path path;            // the open file
    std::shared_ptr<VXAudioFileInfo> info; // from the database; null without one
    std::shared_ptr<peakFileData> peaks;   // never null in a published record of a real track
    int32_t lengthFrames = 0;              // playable frames at 44100 Hz
    double firstBeatFrame = 0;             // frame of the first beat mark; 0 without a tempo
    std::optional<float> rememberedVolume; // the per-track memory, when the track had one
    std::optional<double> rememberedSpeed;
};

// The deck's published record: a shared pointer swapped and copied whole. A small mutex guards
// the pointer itself (held for a copy or a swap, never across other work, never by the render
// thread), which every tool and sanitizer understands; this standard library's
// std::atomic<std::shared_ptr> hides its lock from the thread sanitizer.
class LoadedTrackSlot {
public:
    // Any thread but the render thread: a copy of the current record (null when none).
    std::shared_ptr<const LoadedTrack> load() const {
        std::lock_guard lock(mutex_);
        return track_;
    }
    // Any thread but the render thread: publishes `track`; returns the record it replaces.
    std::shared_ptr<const LoadedTrack> exchange(std::shared_ptr<const LoadedTrack> track) {
        std::lock_guard lock(mutex_);
        track_.swap(track);
        return track;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const LoadedTrack> track_;
};

} // namespace vx
