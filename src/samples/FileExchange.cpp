#include "samples/FileExchange.h"

#include "platform/AudioFileReader.h"
#include "platform/Log.h"
#include "platform/SafeFiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vx {

bool copyFileToPasteboard(Pasteboard& pasteboard, const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (!in || ec || !fs::is_regular_file(file, ec)) {
        logLine("Cant get data");
        return false;
    }
    std::vector<Pasteboard::Item> items;
    uint64_t left = size;
    while (left > 0) {
        const size_t piece = size_t(std::min<uint64_t>(left, kPastePieceBytes));
        Pasteboard::Data data(piece);
        if (!in.read(reinterpret_cast<char*>(data.data()), std::streamsize(piece))) {
            logLine("Cant get data");
            return false;
        }
        items.push_back({{kPasteboardTypeAudio, std::move(data)}});
        left -= piece;
    }
    const std::string name = file.filename().string();
    Pasteboard::Data nameBytes(name.begin(), name.end());
    nameBytes.push_back(0);
    items.push_back({{kPasteboardTypeText, std::move(nameBytes)}});
    pasteboard.setItems(std::move(items));
    return true;
}

std::string PasteOutcome::message() const {
    switch (result) {
    case Result::Pasted:
        return {};
    case Result::NoItems:
        return "Can't get item set";
    case Result::Nothing:
        return "Nothing to paste";
    case Result::Exists:
        return "File:" + name + " exists!";
    case Result::BadName:
    case Result::CreateFailed:
        return "Can't create file";
    }
    return {};
}

std::string pastedFileName(const std::tm& local) {
    // Calendar year (%Y, not the week-based %G) and a 24-hour clock (%H): names stay in order
    // across New Year and pastes twelve hours apart do not collide.
    char text[64];
    std::strftime(text, sizeof text, "Pasted_%Y-%m-%d_%H-%M-%S.wav", &local);
    return text;
}

PasteOutcome pasteFileFromPasteboard(Pasteboard& pasteboard, const fs::path& folder,
                                     std::time_t now) {
    PasteOutcome outcome;
    const auto audioItems = pasteboard.itemsWithType(kPasteboardTypeAudio);
    if (audioItems.empty()) {
        outcome.result = PasteOutcome::Result::NoItems;
        return outcome;
    }
    const auto pieces = pasteboard.dataForType(kPasteboardTypeAudio, audioItems);
    if (pieces.empty()) {
        outcome.result = PasteOutcome::Result::Nothing;
        return outcome;
    }
    std::tm local{};
    localtime_r(&now, &local);
    outcome.name = pastedFileName(local);
    if (const auto textItems = pasteboard.itemsWithType(kPasteboardTypeText); !textItems.empty()) {
        const auto texts = pasteboard.dataForType(kPasteboardTypeText, {textItems.front()});
        if (!texts.empty()) {
            // The name ends at its zero byte or at the end of the data, whichever comes first.
            const auto& bytes = texts.front();
            const auto end = std::find(bytes.begin(), bytes.end(), uint8_t(0));
            outcome.name.assign(bytes.begin(), end);
        }
    }
    if (!isSafeFileName(outcome.name)) {
        logLine("Paste: refused the file name from the pasteboard");
        outcome.result = PasteOutcome::Result::BadName;
        return outcome;
    }
    std::error_code ec;
    if (fs::exists(folder / outcome.name, ec)) {
        outcome.result = PasteOutcome::Result::Exists;
        return outcome;
    }
    // The bytes go to a hidden file first; only a complete file is moved under the name.
    const fs::path part = folder / ("." + outcome.name + ".paste-" + std::to_string(::getpid()));
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        for (const auto& piece : pieces) {
            out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
        }
        out.flush();
        if (!out) {
            out.close();
            fs::remove(part, ec);
            logLine("Can't open file for writing");
            outcome.result = PasteOutcome::Result::CreateFailed;
            return outcome;
        }
    }
    switch (safeMoveIntoFolder(part, folder, outcome.name, false)) {
    case SafeMoveResult::Moved:
        outcome.result = PasteOutcome::Result::Pasted;
        outcome.path = folder / outcome.name;
        return outcome;
    case SafeMoveResult::Exists:
        outcome.result = PasteOutcome::Result::Exists;
        break;
    default:
        outcome.result = PasteOutcome::Result::CreateFailed;
        break;
    }
    fs::remove(part, ec);
    return outcome;
}

RenameResult renameInFolder(const fs::path& folder, const std::string& oldName,
                            const std::string& newStem, std::string* newName) {
    std::error_code ec;
    if (!isSafeFileName(oldName) || !fs::is_regular_file(folder / oldName, ec)) {
        return RenameResult::NoFile;
    }
    const std::string name = newStem + fs::path(oldName).extension().string();
    if (newStem.empty() || !isSafeFileName(name) || name[0] == '.') {
        return RenameResult::BadName;
    }
    if (newName) {
        *newName = name;
    }
    if (name == oldName) {
        return RenameResult::Renamed;
    }
    switch (safeMoveIntoFolder(folder / oldName, folder, name, false)) {
    case SafeMoveResult::Moved:
        return RenameResult::Renamed;
    case SafeMoveResult::Exists:
        return RenameResult::Exists;
    case SafeMoveResult::BadName:
        return RenameResult::BadName;
    default:
        return RenameResult::Failed;
    }
}

std::string minutesSeconds(double seconds) {
    const long whole = std::isfinite(seconds) && seconds > 0 ? long(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld", whole / 60, whole % 60);
    return text;
}

double audioFileSeconds(const fs::path& file) {
    std::string error;
    const auto reader = AudioFileReader::open(file, AudioFileReader::Client::Stereo44100, &error);
    return reader ? reader->fileFormat().seconds : 0.0;
}

AlertRequest renameQuestion(const std::string& fileName, int tag,
                            std::function<void(const std::string& newStem)> rename) {
    AlertRequest request;
    request.title = "New name for the file";
    request.message = "\n";
    request.buttons = {"Cancel", "Rename"};
    request.cancelButton = 0;
    request.tag = tag;
    request.textField = true;
    request.text = std::filesystem::path(fileName).stem().string();
    request.answer = [rename = std::move(rename)](int button, int, const std::string& text) {
        if (button != 0) {
            rename(text);
        }
    };
    return request;
}

} // namespace vx
