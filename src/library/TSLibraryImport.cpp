#include "library/TSLibraryImport.h"

#include "platform/Log.h"
#include "platform/SafeFiles.h"

#include <algorithm>
#include <unistd.h>

namespace vx {

namespace fs = std::filesystem;

namespace {

std::atomic<uint64_t> gPartCounter{0};

// The hidden partial file of `destination`, named as every partial file of the documents
// folder is (start-up removes those whose process has gone).
fs::path partPathFor(const fs::path& destination) {
    return destination.parent_path() /
           ("." + destination.filename().string() + ".part-" + std::to_string(::getpid()) + "-" +
            std::to_string(gPartCounter.fetch_add(1)));
}

} // namespace

bool TSLibraryImport::validLibraryItem(const MusicLibraryItem& item) {
    return !item.file.empty() && item.problem.empty() &&
           MusicLibrary::isImportableExtension(item.file);
}

std::string TSLibraryImport::extensionForItem(const MusicLibraryItem& item) {
    std::string extension = item.file.extension().string();
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return extension;
}

double TSLibraryImport::progress() const {
    const uint64_t total = bytesTotal_.load(std::memory_order_relaxed);
    const Status s = status();
    if (s == Status::Completed) {
        return 1.0;
    }
    if (total == 0) {
        return 0.0;
    }
    return std::min(1.0, double(bytesDone_.load(std::memory_order_relaxed)) / double(total));
}

std::string TSLibraryImport::error() const {
    std::lock_guard lock(errorMutex_);
    return error_;
}

void TSLibraryImport::cancelExport() {
    cancel_.store(true, std::memory_order_relaxed);
}

void TSLibraryImport::finish(Status status, std::string error) {
    {
        std::lock_guard lock(errorMutex_);
        error_ = std::move(error);
    }
    // Release: a reader that sees the final status sees the error text and the byte counts.
    status_.store(status, std::memory_order_release);
}

void TSLibraryImport::importAsset(const MusicLibraryItem& item, const fs::path& destination,
                                  bool replaceExisting,
                                  const std::function<void(TSLibraryImport&)>& completion) {
    bytesDone_.store(0, std::memory_order_relaxed);
    bytesTotal_.store(item.size, std::memory_order_relaxed);
    status_.store(Status::Exporting, std::memory_order_release);
    const auto done = [&](Status status, std::string error) {
        finish(status, std::move(error));
        if (completion) {
            completion(*this);
        }
    };

    if (item.file.empty() || destination.empty() || !destination.has_filename()) {
        return done(Status::Failed, "nil url");
    }
    if (!validLibraryItem(item)) {
        const std::string why = item.problem.empty() ? "" : " (" + item.problem + ")";
        return done(Status::Failed, "Invalid music library item: " + item.file.string() + why);
    }
    const fs::path folder = destination.parent_path();
    const std::string name = destination.filename().string();
    if (!isSafeFileName(name)) {
        return done(Status::Failed, "unusable file name: " + name);
    }
    std::error_code ec;
    if (!replaceExisting && fs::exists(destination, ec)) {
        return done(Status::Failed, "File already exists at " + destination.string());
    }
    if (cancel_.load(std::memory_order_relaxed)) {
        return done(Status::Cancelled, "cancelled");
    }

    const fs::path part = partPathFor(destination);
    std::string error;
    if (!MusicLibrary::copyWithProgress(item.file, part, bytesDone_, cancel_, &error)) {
        return done(cancel_.load(std::memory_order_relaxed) ? Status::Cancelled : Status::Failed,
                    error);
    }
    switch (safeMoveIntoFolder(part, folder, name, replaceExisting)) {
    case SafeMoveResult::Moved:
        return done(Status::Completed, {});
    case SafeMoveResult::Exists:
        ::unlink(part.c_str());
        return done(Status::Failed, "File already exists at " + destination.string());
    default:
        ::unlink(part.c_str());
        return done(Status::Failed, "could not put the copy in place as " + destination.string());
    }
}

} // namespace vx
