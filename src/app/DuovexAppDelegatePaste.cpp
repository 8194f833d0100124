// The application delegate's open-URL and paste import: another application puts a track on the
// pasteboard and opens "korvane.velvox://pastefile:<name>".
//
// The name and the bytes come from another program, so neither is trusted: the name must be one
// plain track file name (no folder, no database file), the audio is written to a hidden
// temporary file in the documents folder and moved into place only once every byte is on disk,
// and pasted peak data is kept only when its header is sound and its entry count fits the
// pasted audio. The peak file is in place before the track is registered, so the row gets the
// tempo it carries; without usable peak data the track is analysed. A paste over an existing
// track drops that track's old peak file and refreshes its row, so nothing describes the old
// audio afterwards. A track loaded on a deck is never replaced.

#include "app/DuovexAppDelegate.h"

#include "analysis/peakFileData.h"
#include "engine/AudioOut.h"
#include "library/DBController.h"
#include "library/TrackHash.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"
#include "platform/SafeFiles.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace vx {

namespace {

namespace fs = std::filesystem;

// Hidden name of a file being pasted (or of pasted peak data being checked).
constexpr std::string_view kPartPrefix = ".vxpaste-";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool validUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t more = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= text.size()) {
            return false;
        }
        for (size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += more + 1;
    }
    return true;
}

enum class WriteStep { Done, Create, Write };

// Writes `chunks` in order to a new hidden file in `folder`; every write and the flush are
// checked, and on failure the partial file is removed. `*path` names the file on success.
WriteStep writeTemporary(const fs::path& folder, const std::vector<Pasteboard::Data>& chunks,
                         fs::path* path, int* error) {
    std::string name = (folder / (std::string(kPartPrefix) + "XXXXXX")).string();
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return WriteStep::Create;
    }
    const auto fail = [&] {
        *error = errno;
        ::close(fd);
        ::unlink(name.c_str());
        return WriteStep::Write;
    };
    for (const Pasteboard::Data& chunk : chunks) {
        const uint8_t* data = chunk.data();
        size_t left = chunk.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, data, left);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return fail();
            }
            data += written;
            left -= size_t(written);
        }
    }
    // Readable by the user's other programs like any file they make (mkostemp gives 0600).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    if (::fsync(fd) != 0) {
        return fail();
    }
    if (::close(fd) != 0) {
        *error = errno;
        ::unlink(name.c_str());
        return WriteStep::Write;
    }
    *path = name;
    return WriteStep::Done;
}

// The pasted peak data, checked against the pasted audio: loaded into a record when its header
// and entry count are sound, else null (and the reason logged).
std::shared_ptr<peakFileData> checkedPeaks(const std::vector<Pasteboard::Data>& chunks,
                                           const fs::path& audio, const fs::path& scratchFolder) {
    std::string error;
    const auto reader = AudioFileReader::open(audio, AudioFileReader::Client::Stereo44100, &error);
    if (!reader) {
        logLine("pasted peak data dropped: the pasted audio cannot be read (%s)", error.c_str());
        return nullptr;
    }
    const int32_t expected = peakCountForFrames(reader->lengthFrames());
    fs::path scratch;
    int writeError = 0;
    if (writeTemporary(scratchFolder, chunks, &scratch, &writeError) != WriteStep::Done) {
        logLine("cant create peak");
        return nullptr;
    }
    auto record = peakFileData::create(0);
    const bool loaded = peakFileLoad(*record, scratch, expected);
    std::error_code ec;
    fs::remove(scratch, ec);
    if (!loaded) {
        logLine("pasted peak data dropped: not a peak file of %d entries", expected);
        return nullptr;
    }
    return record;
}

} // namespace

std::optional<std::string> DuovexAppDelegate::percentDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out.push_back(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    if (!validUtf8(out)) {
        return std::nullopt;
    }
    return out;
}

bool DuovexAppDelegate::handleOpenURL(const std::optional<std::string>& url) {
    if (!url) {
        return false;
    }
    // The folders again: the call may come before the launch has set them up.
    DBController::setPaths(paths_);
    setPeakCacheFolder(paths_.cache() / "peaks");
    const std::string_view text = *url;
    if (text.starts_with(kLaunchURL)) {
        logLine("simple launch");
    } else if (text.starts_with(kPasteURL)) {
        const std::string name(text.substr(std::string_view(kPasteURL).size()));
        if (launched_) {
            doPaste(name);
        } else {
            logLine("paste of %s waits for the launch", name.c_str());
            pendingURLs_.push_back(*url);
        }
    }
    return true;
}

void DuovexAppDelegate::runPendingURLs() {
    std::vector<std::string> urls;
    urls.swap(pendingURLs_);
    for (const std::string& url : urls) {
        handleOpenURL(url);
    }
}

void DuovexAppDelegate::removeStalePasteParts() {
    // A paste cut short (the process killed mid-write) leaves its hidden partial file.
    std::error_code ec;
    for (fs::directory_iterator it(paths_.documents(), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().filename().string().starts_with(kPartPrefix)) {
            std::error_code removeError;
            fs::remove(it->path(), removeError);
        }
    }
}

bool DuovexAppDelegate::trackOnDeck(const fs::path& file) const {
    if (!engine_ || !engine_->initialized()) {
        return false;
    }
    for (int d = 0; d < 2; ++d) {
        const fs::path loaded = engine_->deck(d).trackFile();
        std::error_code ec;
        if (!loaded.empty() && (loaded == file || fs::equivalent(loaded, file, ec))) {
            return true;
        }
    }
    return false;
}

void DuovexAppDelegate::doPaste(const std::string& encodedName) {
    const std::optional<std::string> decoded = percentDecode(encodedName);
    const std::string name = decoded.value_or(encodedName);
    logLine("Begin paste:%s", name.c_str());
    if (!decoded || !isSafeFileName(name) || !isTrackExtension(fs::path(name))) {
        logLine("paste refused: \"%s\" is not a plain track file name", name.c_str());
        showAlert("Can't paste: the name is not a plain track file name");
        return;
    }

    const std::vector<size_t> audioItems = pasteboard_->itemsWithType(kPasteboardTypeMP3);
    if (audioItems.empty()) {
        showAlert("Can't get item set");
        return;
    }
    const std::vector<Pasteboard::Data> audio =
        pasteboard_->dataForType(kPasteboardTypeMP3, audioItems);
    size_t audioBytes = 0;
    for (const auto& chunk : audio) {
        audioBytes += chunk.size();
    }
    if (audioBytes == 0) {
        showAlert("Nothing to paste");
        return;
    }
    const fs::path target = paths_.documents() / name;
    if (trackOnDeck(target)) {
        showAlert("Can't paste over a track that is loaded on a deck:\n" + name);
        return;
    }

    fs::path written;
    int error = 0;
    switch (writeTemporary(paths_.documents(), audio, &written, &error)) {
    case WriteStep::Create:
        logLine("paste: creating a file in %s failed: %s", paths_.documents().c_str(),
                std::strerror(error));
        showAlert("Can't create file");
        return;
    case WriteStep::Write:
        logLine("paste: writing %s failed: %s", name.c_str(), std::strerror(error));
        showAlert("Can't write file\n" + name + "\n" + std::strerror(error));
        return;
    case WriteStep::Done:
        break;
    }

    // The peak file first, so that registering the track reads its tempo.
    const fs::path peakPath = peakFilePath(target);
    bool peaksGiven = false;
    bool peaksKept = false;
    bool peaksPlaced = true;
    const std::vector<size_t> peakItems = pasteboard_->itemsWithType(kPasteboardTypePeak);
    if (!peakItems.empty()) {
        const auto peakChunks = pasteboard_->dataForType(kPasteboardTypePeak, peakItems);
        peaksGiven = !peakChunks.empty();
        if (peaksGiven) {
            if (auto record = checkedPeaks(peakChunks, written, paths_.documents())) {
                peaksKept = peakFileWrite(*record, peakPath);
                if (!peaksKept) {
                    logLine("Cant open for write");
                    peaksPlaced = false;
                }
            }
        }
    }
    std::error_code ec;
    if (!peaksKept) {
        // A peak file under this name describes other audio (the track pasted over, or one
        // deleted earlier).
        fs::remove(peakPath, ec);
    }

    const bool replacing = fs::exists(target, ec);
    std::shared_ptr<VXAudioFileInfo> previous;
    if (replacing && db_) {
        previous = db_->getFullInfoForFile(target);
    }
    if (safeMoveIntoFolder(written, paths_.documents(), name, true) != SafeMoveResult::Moved) {
        fs::remove(written, ec);
        if (peaksKept) {
            fs::remove(peakPath, ec);
        }
        showAlert("Can't write file\n" + name);
        return;
    }
    showAlert("File pasted!\n" + name);

    if (db_) {
        if (replacing) {
            // The row stays (crates, play count) but describes the new audio.
            auto fresh = VXAudioFileInfo::initWithFile(target, paths_);
            if (previous && previous->date_added) {
                fresh->updateDate(*previous->date_added);
            }
            db_->updateInfo(*fresh);
        }
        reconcile(kUserLocation);
    }
    if (!peaksKept && engine_) {
        engine_->startAnalysis(target);
    }

    if (peaksGiven && peaksPlaced) {
        pasteboard_->clear();
    }
}

} // namespace vx
