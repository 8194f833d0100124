#include "library/MediaPicker.h"

#include <cmath>
#include <cstdio>

namespace vx {

namespace {

std::string foldCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

MediaPicker::MediaPicker(RunLoop& loop, std::filesystem::path folder)
    : loop_(loop), folder_(std::move(folder)) {}

MediaPicker::~MediaPicker() {
    shared_->alive = false;
    cancel_.store(true, std::memory_order_relaxed);
    if (scanner_.joinable()) {
        scanner_.join();
    }
}

void MediaPicker::startScan() {
    if (loading_) {
        return;
    }
    if (scanner_.joinable()) {
        scanner_.join();
    }
    loading_ = true;
    scanner_ = std::thread([this, shared = shared_] {
        std::vector<MusicLibraryItem> items = MusicLibrary(folder_).items(&cancel_);
        loop_.post([this, shared, items = std::move(items)]() mutable {
            if (!shared->alive) {
                return;
            }
            items_ = std::move(items);
            selected_.assign(items_.size(), false);
            loading_ = false;
            filter();
        });
    });
}

void MediaPicker::setSearchText(const std::string& text) {
    searchText_ = text;
    filter();
}

void MediaPicker::filter() {
    shown_.clear();
    const std::string needle = foldCase(searchText_);
    for (size_t i = 0; i < items_.size(); ++i) {
        const MusicLibraryItem& item = items_[i];
        if (needle.empty() || foldCase(item.title).find(needle) != std::string::npos ||
            foldCase(item.artist).find(needle) != std::string::npos ||
            foldCase(item.album).find(needle) != std::string::npos) {
            shown_.push_back(i);
        }
    }
}

MediaPicker::Row MediaPicker::row(size_t index) const {
    Row row;
    if (index >= shown_.size()) {
        return row;
    }
    const MusicLibraryItem& item = items_[shown_[index]];
    row.title = item.title;
    row.artist = item.artist;
    row.album = item.album;
    row.length = lengthText(item.durationSeconds);
    row.selected = selected_[shown_[index]];
    row.problem = item.problem;
    return row;
}

void MediaPicker::toggleRow(size_t index) {
    if (index >= shown_.size() || !items_[shown_[index]].problem.empty()) {
        return;
    }
    selected_[shown_[index]] = !selected_[shown_[index]];
}

size_t MediaPicker::selectedCount() const {
    size_t count = 0;
    for (const bool s : selected_) {
        count += s ? 1 : 0;
    }
    return count;
}

std::vector<MusicLibraryItem> MediaPicker::selectedItems() const {
    std::vector<MusicLibraryItem> items;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (selected_[i]) {
            items.push_back(items_[i]);
        }
    }
    return items;
}

std::string MediaPicker::lengthText(double seconds) {
    const long total = std::isfinite(seconds) && seconds > 0 ? std::lround(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

} // namespace vx
