#pragma once
// TSLibraryImport: exports one music-library item into one file.
//
// The export is a copy of the item's audio file, as it is (never re-encoded), into a hidden
// temporary file beside the destination (".<name>.part-<pid>-<n>", which start-up removes
// when a killed run left one). Only a complete copy, flushed to disk, is put under the
// destination's name: replacing an existing file in one step when asked (a re-import), so a
// failed or cancelled export leaves the old file, if any, exactly as it was, and never a
// partial file under a track's name.
//
// Threads: importAsset runs the copy on the calling thread (the importer's loop thread) and
// calls the completion there; status, progress and error may be read, and cancelExport
// called, from any thread meanwhile. One export per object at a time.

#include "platform/MusicLibrary.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

namespace vx {

class TSLibraryImport {
public:
    enum class Status { Waiting, Exporting, Completed, Failed, Cancelled };

    // Any thread: true when `item` can be exported: a file of an importable kind
    // (MusicLibrary::isImportableExtension) with nothing wrong with it.
    static bool validLibraryItem(const MusicLibraryItem& item);
    // Any thread: the lower-cased extension of the item's file without the dot ("mp3").
    static std::string extensionForItem(const MusicLibraryItem& item);

    // Loop thread: exports `item` to `destination` (a full path in an existing folder), then
    // calls `completion` with this object. An existing destination is refused ("File already
    // exists at ...") unless `replaceExisting`; then it is replaced only once the new copy is
    // complete. A missing path ("nil url"), an item that is not valid ("Invalid music library
    // item: ..."), an unknown extension ("unrecognized file extension") and every I/O failure
    // end as Failed with error() saying why.
    void importAsset(const MusicLibraryItem& item, const std::filesystem::path& destination,
                     bool replaceExisting, const std::function<void(TSLibraryImport&)>& completion);
    // Any thread: stops the export under way (it ends as Cancelled) and any later one.
    void cancelExport();

    // Any thread: the export's state, its progress (0..1, bytes copied over the file's size)
    // and, after Failed, why.
    Status status() const { return status_.load(std::memory_order_acquire); }
    double progress() const;
    std::string error() const;

private:
    void finish(Status status, std::string error);

    std::atomic<Status> status_{Status::Waiting};
    std::atomic<uint64_t> bytesDone_{0};
    std::atomic<uint64_t> bytesTotal_{0};
    std::atomic<bool> cancel_{false};
    mutable std::mutex errorMutex_;
    std::string error_; // guarded by errorMutex_
};

} // namespace vx
