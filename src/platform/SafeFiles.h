#pragma once
// SafeFiles: the two checks every screen makes before it names or places a file in the
// documents folder.
//
// A name that comes from outside (a rename field, an upload, a pasted item, an exported
// library item) is used only as one plain file name inside the documents folder: checkFileName
// refuses anything that could leave the folder, hide itself, or hit the database's own files.
// safeMoveIntoFolder then puts a file there under such a name: it never replaces a file unless
// asked, works when the source sits on another file system (copy, flush, then link or rename
// into place), and whatever fails, leaves no partial file behind in the folder.
//
// Threads: any; both only touch the file system. No exceptions escape.

#include <filesystem>
#include <string_view>

namespace vx {

// Why a file name was refused; Ok when it is usable.
enum class FileNameCheck {
    Ok,
    Empty,     // ""
    DotName,   // "." or ".."
    Separator, // contains '/' or '\'
    Nul,       // contains a NUL byte
    Control,   // contains a control character (below 0x20, or 0x7F)
    TooLong,   // more than 255 bytes
    Database,  // "velvox.sqlite" or a file beside it ("velvox.sqlite-wal"...), any case
};

// Any thread: whether `name` may be used as one file name inside the documents folder.
FileNameCheck checkFileName(std::string_view name);
inline bool isSafeFileName(std::string_view name) {
    return checkFileName(name) == FileNameCheck::Ok;
}

enum class SafeMoveResult {
    Moved,         // the file is now folder/name, complete and flushed; the source is gone
    BadName,       // checkFileName refused the name
    SourceMissing, // the source is not a regular file
    Exists,        // folder/name exists and overwrite was not asked; nothing changed
    Failed,        // an I/O step failed; nothing is left under folder/name or beside it
};

// Any thread: moves the regular file `source` to `folder`/`name`. An existing file there is
// replaced only when `overwrite` is set (atomically: readers see the old or the new file). A
// source on another file system is copied into a hidden temporary file in `folder`, flushed to
// disk, put in place, and only then removed. A failure is written as one log line.
// Any thread: writes all `size` bytes to `fd`, retrying short and interrupted writes. False on
// an error (errno tells which).
bool writeAll(int fd, const char* data, size_t size);

SafeMoveResult safeMoveIntoFolder(const std::filesystem::path& source,
                                  const std::filesystem::path& folder, std::string_view name,
                                  bool overwrite = false);

} // namespace vx
