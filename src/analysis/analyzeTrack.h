#pragma once
// analyzeTrack: the whole analysis of one track file — peaks, tempo, beat grid and playback
// gain — run by the engine's analysis task on its analysis thread. It reads the file as mono
// float at the file's own rate in blocks of 1024 frames, feeds every block to a BeatDetect,
// reports its progress through the caller's progress value (and stops when that value becomes
// −1.0), then stores the tempo and gain in the peak data and writes the track's peak file.

#include <atomic>
#include <filesystem>
#include <functional>

namespace vx {

struct peakFileData;

// Analysis thread: the tempo (BPM) the engine has fixed for a track while it was being
// analysed (typed in by the user, or already known); ≤ 0 for none.
using TempoOverrideQuery = std::function<double(const std::filesystem::path& path)>;

// Analysis thread: analyses the track at `path` into `peaks` (or, when null, into a record of
// its own of ceil(frames / 256) entries), writing `progress` (when given) = windows done /
// all windows after every block. Returns 0, writing no file and leaving the record not ready,
// as soon as it reads −1.0 from `progress`, and 0, writing nothing, when the file cannot be read
// as audio. Otherwise returns 1: the peak entries hold the peaks and beat marks, the
// record's bpm and gain fields hold the tempo (BPM; `tempoOverride` wins when it gives a
// positive value) and the playback gain (0.001..2.0), and the peak file beside the track
// (peakFilePath) has been written.
int analyzeTrack(const std::filesystem::path& path, peakFileData* peaks,
                 std::atomic<float>* progress, const TempoOverrideQuery& tempoOverride = {});

} // namespace vx
