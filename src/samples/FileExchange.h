#pragma once
// FileExchange: what the sample library and the recordings list do alike with the files of
// the documents folder: hand a file to another application through the pasteboard, take one
// back, and rename one.
//
// Pasteboard layout (written and read the same way): one item per piece of the file of at most
// kPastePieceBytes, each holding the piece under kPasteboardTypeAudio, in file order, then one
// item holding the file's name under kPasteboardTypeText with a terminating zero byte.
//
// A pasted name comes from another program: it is read only within its item's bytes (a
// missing zero byte ends it at the data's end) and used only when it is a plain, safe file
// name. A paste never replaces a file; its bytes go to a hidden file first and are moved into
// place complete, so a failed paste leaves nothing behind.
//
// Threads: main thread (the pasteboard is the GUI thread's).

#include "platform/Alerts.h"
#include "platform/Pasteboard.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace vx {

inline constexpr const char* kPasteboardTypeAudio = "application/x-velvox-audio";
inline constexpr const char* kPasteboardTypeText = "text/plain;charset=utf-8";
inline constexpr size_t kPastePieceBytes = 5242880;

// Main thread: puts `file` on the pasteboard; false (and "Cant get data" logged, the pasteboard
// untouched) when it cannot be read.
bool copyFileToPasteboard(Pasteboard& pasteboard, const std::filesystem::path& file);

struct PasteOutcome {
    enum class Result { Pasted, NoItems, Nothing, Exists, BadName, CreateFailed };
    Result result = Result::NoItems;
    std::string name;            // the file name used (or refused)
    std::filesystem::path path;  // the new file, when pasted
    std::string message() const; // the alert's text; empty when pasted
};

// Any thread: "Pasted_<calendar year>-<month>-<day>_<24-hour>-<minutes>-<seconds>.wav".
std::string pastedFileName(const std::tm& local);

// Main thread: writes the pasteboard's file into `folder`. `now` names a paste without a name
// item.
PasteOutcome pasteFileFromPasteboard(Pasteboard& pasteboard, const std::filesystem::path& folder,
                                     std::time_t now);

enum class RenameResult { Renamed, NoFile, BadName, Exists, Failed };

// Main thread: renames folder/oldName to `newStem` + oldName's extension, within `folder`
// only; never replaces a file.
RenameResult renameInFolder(const std::filesystem::path& folder, const std::string& oldName,
                            const std::string& newStem, std::string* newName = nullptr);

// The question "New name for the file" for `fileName` (Cancel / Rename, its stem in the text
// field, `tag`): Rename calls `rename` with the typed stem.
AlertRequest renameQuestion(const std::string& fileName, int tag,
                            std::function<void(const std::string& newStem)> rename);

// Any thread: "%02d:%02d" of whole seconds (negative and non-finite values as 0).
std::string minutesSeconds(double seconds);

// Any non-render thread: the length of an audio file in seconds, 0 when it cannot be read.
double audioFileSeconds(const std::filesystem::path& file);

} // namespace vx
