#pragma once
// SampleEdit: the sample library screen's controller. It lists the WAV files directly in the
// documents folder (recorded mixes, named "VXNexa…", excluded), shows which pad plays each,
// assigns a file to one of the six pads (a file plays on one pad at most), previews, deletes,
// renames, copies and pastes files, and records new samples from the microphone.
//
// Pad assignments live in the pads themselves and under "LastSample1"…"LastSample6" in the
// user defaults (full paths; "" for an empty pad); every change to them posts "sampleChanged"
// so the pad labels elsewhere follow. A rename moves the pad's assignment with the file.
//
// Threads: main thread only.

#include "samples/FileExchange.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vx {

class Alerts;
class AudioOut;
class MicRecorder;
class NotificationCenter;
class Pasteboard;
class PreviewPlayer;
class UserDefaults;

struct SampleRow {
    std::string fileName;
    std::string info;     // "%02d:%02d, %3.1f %@, %@": duration, size in "Mb"/"kb", date
    int assigned = -1;    // index 0…5 of the pad that plays the file, −1 when none
    std::string padLabel; // "1"…"6", or "X"
};

class SampleEdit {
public:
    static constexpr int kFirstPadTag = 100;
    static constexpr int kRenameTag = 300;

    SampleEdit(AudioOut& engine, UserDefaults& defaults, NotificationCenter& notifications,
               Pasteboard& pasteboard, PreviewPlayer& preview, Alerts& alerts,
               std::filesystem::path documents);
    ~SampleEdit();
    SampleEdit(const SampleEdit&) = delete;
    SampleEdit& operator=(const SampleEdit&) = delete;

    // Called when the screen closes (the delegate's sampleEditDidHide).
    void setDidHideHandler(std::function<void()> handler) { didHide_ = std::move(handler); }
    // The clock that names pastes without a name (tests set their own).
    void setNow(std::function<std::time_t()> now) { now_ = std::move(now); }

    void viewWillAppear();
    void loadFileList();
    const std::vector<SampleRow>& rows() const { return rows_; }
    int rowOf(const std::string& fileName) const;

    // Selecting a row; fileToLoad names it ("" when none).
    void selectRow(int row);
    const std::string& fileToLoad() const { return fileToLoad_; }
    // The pad-choice overlay of a row, and one of its buttons (tags 100…105 assign pad 1…6;
    // any other tag clears the file's pad).
    void showOverlay(int row);
    int overlayRow() const { return overlayRow_; }
    void setSample2Button(int tag);

    // Previews a row with the preview player (a second press stops it).
    void playRow(int row);
    int playingRow() const;
    void setVolume(float volume);

    // Deletes a row's file; its pad is cleared. False when the file could not be removed.
    bool deleteRow(int row);
    // Asks for the selected file's new name ("New name for the file", tag 300).
    void renameAction();
    // The rename itself: folder/oldName → newStem + its extension; refused names and existing
    // files leave everything as it was (and show why).
    RenameResult rename(const std::string& oldName, const std::string& newStem);

    // The selected file onto the pasteboard / a file from the pasteboard into the folder.
    bool copySelected();
    bool pasteAction();

    // The microphone: stops the decks and previews, hands the audio session to `recorder`
    // and starts it; "Record is not possible" (session restored) when it does not start.
    bool record(MicRecorder& recorder);
    // Ends the recording: the take, if any, becomes "mic_<n>.wav" with the next free n from
    // "kRecordNo"; playback is restored in every case. Returns the new file's name or "".
    std::string recDone(MicRecorder& recorder);

    void done();

private:
    std::string padFile(int pad) const;
    void assignPad(int pad, const std::filesystem::path& path);
    void finishPadChange();
    void alert(const std::string& message);

    AudioOut& engine_;
    UserDefaults& defaults_;
    NotificationCenter& notifications_;
    Pasteboard& pasteboard_;
    PreviewPlayer& preview_;
    Alerts& alerts_;
    std::filesystem::path documents_;
    std::function<void()> didHide_;
    std::function<std::time_t()> now_;
    std::vector<SampleRow> rows_;
    std::string fileToLoad_;
    std::string previewing_;
    int overlayRow_ = -1;
};

} // namespace vx
