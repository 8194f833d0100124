#pragma once
// peakFileData: a track's waveform overview — one two-byte entry per 256 frames — with the
// track's detected tempo and playback gain, in memory and in its peak file beside the track.
//
// Entry i covers frames 256·i .. 256·i + 255 of the track. Byte 0 is the display height
// (0..254, in practice 0..50); byte 1 holds flags: bit 0 marks a low-frequency-dominant window
// (drawn in the second colour), bits 4..7 are beat flags (bit 6 a beat of the regular grid,
// bit 4 an even beat). 0xFF in a byte means "not computed yet": a new record starts with every
// byte 0xFF, and readers draw nothing for such a window.
//
// Threads and ownership: one record is shared (std::shared_ptr, which stands for the
// reference count) by the deck that plays the track, the analysis that fills it and the
// drawing code. Entries are written by the analysis and decode threads while the render and
// main threads read them, so every entry byte is read and written through a relaxed
// std::atomic_ref, one byte at a time: a reader may see an entry half filled, never a data
// race. Writers store byte 1 before byte 0, so an entry whose height is not 0xFF also has its
// flags. `bpm`, `gain` and `ready` are relaxed atomics for the same reason. The buffer itself
// and `count` are fixed while the record is shared: only `peakFileLoad` replaces them, and it
// is called on a record no other thread holds yet (a deck loads a fresh record, then
// publishes it).
//
// Peak file, little-endian, no padding: int32 header size (20), double BPM (0 = never
// analysed), double gain, then the entries in order. The entry count is not stored; it follows
// from the file length. Writing goes through a temporary file and a rename, so a crash leaves
// either the old file or the new one; loading treats the file as untrusted input.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace vx {

// Frames per peak entry (one window).
inline constexpr int32_t kPeakWindowFrames = 256;
// Bytes per peak entry.
inline constexpr int32_t kPeakEntryBytes = 2;
// Bytes before the entries in a peak file.
inline constexpr int32_t kPeakHeaderSize = 20;
// Value of an entry byte that has not been computed yet.
inline constexpr uint8_t kPeakNotComputed = 0xFF;
// Byte 1: the window is low-frequency dominant.
inline constexpr uint8_t kPeakLowFrequencyFlag = 0x01;
// Byte 1: an even beat (counted from the nearest cue point).
inline constexpr uint8_t kPeakEvenBeatFlag = 0x10;
// Byte 1: a beat of the regular grid starts in this window.
inline constexpr uint8_t kPeakBeatFlag = 0x40;
// Byte 1: the four beat-flag bits; an entry with any of them set is a beat entry.
inline constexpr uint8_t kPeakBeatBits = 0xF0;

struct peakFileData {
    int32_t headerSize = kPeakHeaderSize; // bytes of header in the file (always 20)
    std::atomic<double> bpm{0.0};         // detected tempo; 0 when never analysed
    std::atomic<double> gain{1.0};        // playback gain from loudness; 1.0 when unknown
    std::unique_ptr<uint8_t[]> entries;   // count × 2 bytes; access through the functions below
    std::atomic<int32_t> ready{1};        // 1 while entries are valid or being filled
    // Bumped by whoever fills entries (the analysis after every block, the decoder after
    // drawing a block's peaks): readers that draw the entries compare it with the value they
    // saw last to know the drawing is out of date.
    std::atomic<uint32_t> changes{0};
    int32_t count = 0; // number of entries

    // Any thread: a new record of `count` entries, every byte 0xFF, BPM 0, gain 1.0, ready.
    static std::shared_ptr<peakFileData> create(int32_t count);

    // Any thread (render included: no allocation, no locks): byte 0 of entry i, the height;
    // 0xFF when not computed or when i is outside 0..count-1.
    uint8_t height(int32_t i) const;
    // Any thread (render included): byte 1 of entry i, the flags; 0xFF when not computed or
    // outside the record.
    uint8_t flags(int32_t i) const;
    // Any thread (render included): whether entry i's height has been computed.
    bool isComputed(int32_t i) const { return height(i) != kPeakNotComputed; }
    // Any thread (render included): whether entry i carries a beat flag (byte 1 > 15). A byte
    // 1 of 0xFF is "not computed", not a beat.
    bool isBeatEntry(int32_t i) const;

    // Analysis or decode thread: stores entry i, byte 1 (`flags`) first, then byte 0
    // (`height`). Ignored outside the record.
    void setEntry(int32_t i, uint8_t height, uint8_t flags);
    // Analysis or decode thread: as setEntry, but keeps the beat bits (4..7) that byte 1
    // already holds unless it is still 0xFF, so a block computed after the grid was placed
    // does not wipe its beats.
    void fillEntry(int32_t i, uint8_t height, uint8_t flags);
    // Any thread: sets `mask` in byte 1 of entry i (atomic read-modify-write). Ignored outside.
    void setFlagBits(int32_t i, uint8_t mask);
    // Any thread: clears `mask` in byte 1 of entry i (atomic read-modify-write). Ignored
    // outside.
    void clearFlagBits(int32_t i, uint8_t mask);
    // Any thread except render: copies the count × 2 entry bytes to `out`, byte by byte.
    void copyEntries(uint8_t* out) const;
};

// Any thread: entries for a track of `frames` frames, ceil(frames / 256); 0 for frames ≤ 0,
// clamped to the int32 range.
int32_t peakCountForFrames(int64_t frames);

// Byte 1 bits that no producer writes (an entry with any of them, and not 0xFF, is damaged).
inline constexpr uint8_t kPeakUnusedBits = 0x0E;
// Bounds of a peak file's header: the tempo (0 = never analysed, else what tap, entry, the
// detector and its halving/doubling can give) and the gain (the analysis's own clamp).
inline constexpr double kPeakMinBpm = 20.0;
inline constexpr double kPeakMaxBpm = 480.0;
inline constexpr double kPeakMinGain = 0.001;
inline constexpr double kPeakMaxGain = 2.0;
// Most entries a peak file may hold: 24 hours at 44100 Hz.
inline constexpr int64_t kPeakMaxEntries = int64_t{24} * 3600 * 44100 / kPeakWindowFrames + 1;
// Ending of the peak file of a track that shares its stem with another audio file in its
// folder (see peakFilePath).
inline constexpr const char* kPeakSiblingSuffix = ".vxpeak";

// Any thread: the peak file of a track, the track's path with its extension replaced by
// "peak" (a/b/c.mp3 → a/b/c.peak; a/b/c → a/b/c.peak). When another audio file of the same
// stem lies beside it (Song.mp3 and Song.m4a), the one whose file name sorts first keeps that
// name and the other gets its whole file name plus ".vxpeak" (Song.mp3.vxpeak), which no plain
// name can equal, so the two never share a file. A lone track's existing peak file keeps its
// name.
//
// A track in a folder this process may not write (an installed, read-only resources folder)
// has its peak file in the peak cache folder instead, when one is set: cache/<folder name>-<hash
// of the folder's path>/<peak file name>. A peak file that already lies beside such a track is
// still used as long as the cache holds none for it.
std::filesystem::path peakFilePath(const std::filesystem::path& trackPath);

// Main thread, at start-up (before decode or analysis threads run): the folder for the peak
// files of tracks in folders that cannot be written; empty (the default) writes nowhere else.
void setPeakCacheFolder(const std::filesystem::path& folder);
// Any thread: the folder set above.
std::filesystem::path peakCacheFolder();

// Decode or main thread, on a record no other thread holds yet: reads the peak file at `path`
// into `record` (header size, BPM, gain, entries; count from the file length; ready = 1).
// Returns false, logs why, and leaves `record` unchanged, when the file is missing or
// unreadable, its header size is not 20, it is shorter than the header, its entry data has an
// odd length or more than kPeakMaxEntries entries, its BPM is neither 0 nor in
// kPeakMinBpm..kPeakMaxBpm, its gain is not in kPeakMinGain..kPeakMaxGain, or an entry carries
// flag bits that are never written. With `expectedCount` ≥ 0 (the track's entry count) a file
// holding another number of entries is refused from its size alone, before anything is read.
bool peakFileLoad(peakFileData& record, const std::filesystem::path& path);
bool peakFileLoad(peakFileData& record, const std::filesystem::path& path, int32_t expectedCount);

// Any thread except render: writes `record` to `path` (20-byte header, then count × 2 entry
// bytes) through a temporary file in the same folder and a rename; a missing folder inside the
// peak cache folder is created first. A gain that is not a
// positive finite number is set to 1.0 in the record first. Returns false, leaving any
// existing file unchanged, when the file cannot be written.
bool peakFileWrite(peakFileData& record, const std::filesystem::path& path);

} // namespace vx
