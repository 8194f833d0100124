#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/Paths.h"
#include "platform/SampleRate.h"

namespace vx {

class DBController;

// VXAudioFileInfo: what the system knows about one track file.
//
// An info is made either from a row of the track database (initWithDictionary) or by reading
// the file itself (initWithFile): its location and identity hash, its tags, its tempo, its
// lengths and size, its play count and its places in the five crates. Every list, browser
// cell, deck and analysis task holds its tracks as shared infos; each listing makes new ones,
// so a change made to one info (a new title, a new tempo) is seen by others of the same track
// only once they are made again.
//
// Where the tempo comes from, when the file is read: a number after "bpm" in the file name,
// then the file's tempo tag, then (M4A only) the MP4 "tmpo" atom, then the header of the
// track's peak file left by an earlier analysis.
//
// The further tags (comments, encoding application, copyright) and, for an info made from a
// row without them, the durations and size are read from the file lazily, on first use; those
// fields sit behind a small mutex so that the main thread and a deck's decode thread may both
// ask. The plain public fields are written by the thread that made the info (or the main
// thread once the info is shared) and read by anyone.
class VXAudioFileInfo {
public:
    // A database row: column name -> value; NULL columns are absent.
    using RowValue = std::variant<int64_t, double, std::string>;
    using Row = std::map<std::string, RowValue, std::less<>>;

    // What initWithDictionary reads a row through: values by column name, nothing for a
    // missing or NULL column. The database reads its result rows through one of these without
    // copying them into a Row first.
    class RowSource {
    public:
        virtual ~RowSource() = default;
        virtual std::optional<double> number(std::string_view column) const = 0;
        virtual std::optional<int64_t> integer(std::string_view column) const = 0;
        virtual std::optional<std::string> text(std::string_view column) const = 0;
    };

    static constexpr double kSampleRate = kFrameRate; // frames per second of the durations
    static constexpr int kCrateCount = 5;

    // Any thread: an empty info (no file name, numbers 0, no crates).
    VXAudioFileInfo();
    VXAudioFileInfo(const VXAudioFileInfo&) = delete;
    VXAudioFileInfo& operator=(const VXAudioFileInfo&) = delete;

    // Any non-render thread: reads everything from the file at `path` (full path). A missing
    // file gives an empty info. `paths` tells the built-in folder (location 1) from the rest.
    static std::shared_ptr<VXAudioFileInfo> initWithFile(const std::filesystem::path& path,
                                                         const Paths& paths);
    // Any thread: builds the info from a database row; the file is not touched. The file name
    // is rebuilt from the row's location: 0 the documents folder, 1 the built-in folder.
    static std::shared_ptr<VXAudioFileInfo> initWithDictionary(const Row& row, const Paths& paths);
    // Any thread: the same from any source of row values.
    static std::shared_ptr<VXAudioFileInfo> initWithDictionary(const RowSource& row,
                                                               const Paths& paths);

    // Any non-render thread: length in seconds; reads the file first when not yet known.
    double durationSeconds() const;
    // Any non-render thread: length in frames at 44100 Hz; reads the file first when not known.
    uint64_t durationInSamples() const;
    // Any thread: file size in bytes as last read (0 until known).
    uint64_t fileSize() const;
    // Any non-render thread: the comments tag; reads the tags first when not yet read.
    std::optional<std::string> Comments() const;
    // Any non-render thread: the encoding-application tag; reads the tags first if needed.
    std::optional<std::string> EncodindApp() const;
    // Any non-render thread: the copyright tag; reads the tags first if needed.
    std::optional<std::string> Copyright() const;
    // Any non-render thread: reads the lazily loaded fields from the file (further tags, the
    // durations when they are 0, the size). Nothing happens without a readable file.
    void updateTags() const;
    // Any thread: true once updateTags has read the file's tags.
    bool tagsRead() const;

    // Owner thread: replace a field in memory only (persist with DBController::updateInfo).
    void updateArtist(const std::string& value) { artist = value; }
    void updateTitle(const std::string& value) { title = value; }
    void updateAlbum(const std::string& value) { album = value; }
    // Owner thread: date added, seconds since 1970-01-01 00:00 UTC.
    void updateDate(double secondsSince1970) { date_added = secondsSince1970; }
    // Main thread: sets a new tempo (BPM) and stores it in `db` when it differs and the track
    // is a user track (location 0); refreshes crateSortOrder and cycleLen. Built-in tracks keep
    // their tempo.
    void updateBPM(double bpm, DBController& db);
    // Any thread owning the info: as above without a database (the new tempo in memory only).
    void updateBPM(double bpm);

    // Any thread: true when the track's peak file exists; false without a file name.
    bool peakFileExists() const;
    // Any thread: the peak file's path (the file name with the extension "peak"); empty
    // without a file name.
    std::filesystem::path peakFilePath() const;

    // Owner thread: plain setters (play count; bytes; seconds; frames at 44100 Hz).
    void setPlaycount(int32_t value) { playcount = value; }
    void setFileSize(uint64_t bytes);
    void setDurationSeconds(double seconds);
    void setDurationInSamples(uint64_t frames);
    // Owner thread: sets the tempo field and cycleLen (memory only).
    void setTempo(double bpm);

    // Any thread: the tempo written into a file name: the number that follows the first "bpm"
    // of the lower-cased `path` ("Track bpm128.mp3" -> 128, "bpm 128,5" -> 128.5); 0 when none.
    static double tempoFromName(std::string_view path);
    // Any thread: the tempo byte of an MP4 file's moov/udta/meta/ilst/tmpo/data atom read from
    // `in` (`length` bytes from its current position); -1 when there is none or the atoms are
    // malformed (a size below 8 or beyond its parent ends the search).
    static int readMP4Tempo(std::istream& in, uint64_t length);
    // Any non-render thread: readMP4Tempo of the file at `path`; -1 when it cannot be opened.
    static int readMP4Tempo(const std::filesystem::path& path);
    // Any thread: the beat length in frames for a tempo: 60 x 44100 / bpm, 256 without one.
    static double cycleLenForTempo(double bpm);

    // Plain fields (see the class comment for who writes them).
    double tempo = 0;                  // beats per minute; 0 or less when not found
    uint32_t hash = 0;                 // trackHash of the file name
    std::optional<std::string> artist; // display tags, absent when unknown
    std::optional<std::string> title;
    std::optional<std::string> album;
    std::filesystem::path fileName;   // full path of the file; empty when absent
    int32_t fileGroup = 0;            // location: 0 documents folder, 1 built-in folder
    int32_t playcount = 0;            // times started; -1 when read from the file, not a row
    double avarageVolume = 0;         // 1.0 from a row; a peak header's gain; else 0
    std::optional<double> date_added; // seconds since 1970-01-01 00:00 UTC
    std::array<int32_t, kCrateCount> crateSortOrder{-1, -1, -1, -1, -1}; // -1: not a member
    double cycleLen = 0;   // beat length in frames at 44100 Hz
    int32_t sortOrder = 0; // sort order in the crate the info was listed from, else 0

    // Owner thread: the tags an exported library item carries in its file name
    // ("_Title(t)_Artist(a)_Album(b).m4a") replace title, artist and album; other names change
    // nothing.
    void applyNameTags();

private:
    void readFile(const std::filesystem::path& path, const Paths& paths);
    bool readPeakHeader(double* bpm, double* gain) const;
    void updateTagsLocked() const;

    // Lazily filled; guarded by lazyMutex_.
    mutable std::mutex lazyMutex_;
    mutable uint64_t durationInSamples_ = 0;
    mutable uint64_t fileSize_ = 0;
    mutable double durationSeconds_ = 0;
    mutable std::optional<std::string> comments_;
    mutable std::optional<std::string> encodingApp_;
    mutable std::optional<std::string> copyright_;
    mutable bool tagsRead_ = false;
};

} // namespace vx
