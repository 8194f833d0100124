#pragma once
// RecordEdit: the recordings list screen's controller. It lists the files of the documents
// folder whose names begin with "VXNexa" (the recorded mixes and their M4A copies), plays one
// back with a position slider and two time labels, converts a WAV recording to M4A off the
// main thread, shares an M4A through the pasteboard, and renames, deletes and pastes files.
//
// The mix being recorded right now is never deleted, renamed, converted or shared, and no
// conversion starts while the mix is recorded (it stops the output, which would end the
// recording's audio). A failed conversion leaves an earlier good M4A of the same name alone.
//
// Threads: main thread only; the conversion runs on a thread of its own and reports back
// through the run loop.

#include "samples/FileExchange.h"

#include "platform/RunLoop.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vx {

class Alerts;
class AudioOut;
class ConversionState;
class NotificationCenter;
class Pasteboard;
class PreviewPlayer;

struct RecordRow {
    std::string fileName;
    std::string extension;    // without the dot
    std::string sizeText;     // "%3.0f %@" in "Mb" or "kb"
    double duration = 0;      // seconds
    std::string durationText; // "%02d:%02d"
};

class RecordEdit {
public:
    static constexpr double kSliderInterval = 0.02;

    RecordEdit(AudioOut& engine, NotificationCenter& notifications, Pasteboard& pasteboard,
               PreviewPlayer& preview, Alerts& alerts, RunLoop& loop, ConversionState& conversion,
               std::filesystem::path documents);
    ~RecordEdit();
    RecordEdit(const RecordEdit&) = delete;
    RecordEdit& operator=(const RecordEdit&) = delete;

    void setNow(std::function<std::time_t()> now) { now_ = std::move(now); }

    void viewWillAppear();
    void loadFileList();
    const std::vector<RecordRow>& rows() const { return rows_; }
    int rowOf(const std::string& fileName) const;

    void selectRow(int row);
    const std::string& fileToLoad() const { return fileToLoad_; }
    const std::string& recordName() const { return recordName_; }

    // Plays a row (a second press stops it); the slider and labels follow every 0.02 s.
    void playRow(int row);
    int playingRow() const;
    // Slider 0…1 and the labels: elapsed and remaining time.
    double slider() const { return slider_; }
    const std::string& positionBefore() const { return positionBefore_; }
    const std::string& positionAfter() const { return positionAfter_; }
    void refreshSlider();
    // Dragging the slider: touch pauses, moving seeks, release resumes.
    void sliderTouch();
    void sliderPosition(double value);
    void sliderUp();

    // Converts the selected WAV recording to "<same path>.m4a". False when refused.
    bool convertFile();
    bool converting() const { return converting_; }
    void setConvertedHandler(std::function<void(bool ok)> handler) {
        converted_ = std::move(handler);
    }
    // The selected M4A onto the pasteboard.
    bool share();
    bool pasteAction();
    bool deleteRow(int row);
    void renameAction();
    RenameResult rename(const std::string& oldName, const std::string& newStem);
    void done();

private:
    bool isBeingRecorded(const std::string& name) const;
    void whenConverted(bool ok);
    void stopPlayback();
    void updateLabels(double time, double duration);
    void alert(const std::string& message);

    AudioOut& engine_;
    NotificationCenter& notifications_;
    Pasteboard& pasteboard_;
    PreviewPlayer& preview_;
    Alerts& alerts_;
    RunLoop& loop_;
    ConversionState& conversion_;
    std::filesystem::path documents_;
    std::function<std::time_t()> now_;
    std::function<void(bool)> converted_;
    std::vector<RecordRow> rows_;
    std::string fileToLoad_;
    std::string recordName_;
    std::string playing_;
    double slider_ = 0;
    std::string positionBefore_ = "00:00";
    std::string positionAfter_ = "00:00";
    bool dragging_ = false;
    bool wasPlaying_ = false;
    bool converting_ = false;
    TimerHandle sliderTimer_;
    std::thread worker_;
    // Cleared by the destructor: a conversion's report that arrives later is dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vx
