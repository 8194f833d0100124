#pragma once
// MediaPicker: the music picker's plain state: a searchable, multi-select list of the music
// folder's tracks (title, artist, album, length), for the shell to draw.
//
// The folder is scanned on a thread of the picker's own (a collection of thousands of files
// takes a while to read the tags of); the rows appear on the main thread when the scan is
// done, and `loading` is true meanwhile. The search keeps the rows whose title, artist or
// album contains the text (letters A-Z in any case; other characters as they are).
// Selections survive a change of the search text.
//
// Threads: main thread only, but for the scan thread it owns, which reaches the main thread
// only through RunLoop::post and is joined by the destructor.

#include "platform/MusicLibrary.h"
#include "platform/RunLoop.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vx {

class MediaPicker {
public:
    // One row as the shell draws it.
    struct Row {
        std::string title;
        std::string artist;
        std::string album;
        std::string length; // "m:ss"
        bool selected = false;
        std::string problem; // why it cannot be imported ("" when it can); shown dimmed
    };

    // Main thread: the picker of `folder`; nothing is scanned before startScan.
    MediaPicker(RunLoop& loop, std::filesystem::path folder);
    // Main thread: stops and joins a scan still running.
    ~MediaPicker();
    MediaPicker(const MediaPicker&) = delete;
    MediaPicker& operator=(const MediaPicker&) = delete;

    // Main thread: scans the folder off the main thread; the rows appear when it is done.
    void startScan();
    // Main thread: true while the scan runs.
    bool loading() const { return loading_; }
    const std::filesystem::path& folder() const { return folder_; }

    // Main thread: keeps the rows that contain `text` (empty: every row).
    void setSearchText(const std::string& text);
    const std::string& searchText() const { return searchText_; }
    // Main thread: the rows shown (after the search).
    size_t rowCount() const { return shown_.size(); }
    Row row(size_t index) const;
    // Main thread: selects or deselects shown row `index`; rows that cannot be imported stay
    // unselected.
    void toggleRow(size_t index);
    // Main thread: the number of selected items (shown or not).
    size_t selectedCount() const;
    // Main thread: the selected items in the folder's order.
    std::vector<MusicLibraryItem> selectedItems() const;

    // Any thread: "m:ss" of a length in seconds (negative or NaN as 0).
    static std::string lengthText(double seconds);

private:
    struct Shared {
        bool alive = true; // main thread only
    };
    void filter();

    RunLoop& loop_;
    const std::filesystem::path folder_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread scanner_;
    std::atomic<bool> cancel_{false};

    // Main thread only.
    bool loading_ = false;
    std::vector<MusicLibraryItem> items_;
    std::vector<bool> selected_;
    std::vector<size_t> shown_; // indexes into items_
    std::string searchText_;
};

} // namespace vx
