#pragma once
// BatchAnalize: the batch-analysis screen. It analyses, one after another, every user track
// (documents folder) that has no tempo yet or no peak file, through the engine's analysis
// queue, and shows the current track's title, album and artist, the current track's
// percentage, an overall progress and "Done:%3i of %3i".
//
// The screen drives the queue one track at a time: it starts an analysis, and each "Analyze
// Complete" the engine posts (for a finished, failed or cancelled run alike) removes that
// track from the work list and starts the next. When nothing is left it says "Analysis
// Complete" (an alert and the "done.wav" sound while the application is active, a desktop
// notification otherwise), posts "Analyzes Complete" and closes itself. Its stop button
// cancels the runs it started; those tracks keep no result and come back in the next batch.
//
// While it is up with work to do, the process-wide batch flag (batchAnalysisRunning) is set:
// the application reads it to keep running in the background instead of quitting.
//
// Plain state for the shell to draw (labels, progress 0…1), handlers for the shell to call
// (viewWillAppear, stop, viewDidDisappear). Everything here runs on the main thread; the
// analyses run on the engine's threads and report through the notification centre.

#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vx {

class Alerts;
class AudioOut;
class DBController;
class VXAudioFileInfo;

// What the batch screen asks of the application around it. Main thread.
class BatchAnalysisHost {
public:
    virtual ~BatchAnalysisHost() = default;
    // Work starts: stop redrawing the waveforms under the modal screen.
    virtual void stopWaveformRedraw() = 0;
    // The screen went away: restart the waveform redraw unless the application forbids it.
    virtual void restartWaveformRedraw() = 0;
    // Whether the application is in the foreground (else a desktop notification is shown).
    virtual bool applicationActive() const = 0;
    // A desktop notification with `body`, playing the resource sound `sound`.
    virtual void showLocalNotification(const std::string& body, const std::string& sound) = 0;
    // Plays the resource sound `name` ("done.wav") once, outside the recorded mix.
    virtual void playSound(const std::string& name) = 0;
    // The screen closed itself (all done, or stopped): take it off the window.
    virtual void batchAnalizeDidHide() = 0;
};

class BatchAnalize {
public:
    // Seconds between two progress refreshes.
    static constexpr double kRefreshInterval = 0.05;
    static constexpr const char* kAlertTitle = "Velvox Nexa";
    static constexpr const char* kCompleteMessage = "Analysis Complete";
    static constexpr const char* kDoneSound = "done.wav";

    // Main thread. Every reference must outlive the controller; `alerts` may be null.
    BatchAnalize(AudioOut& engine, DBController& db, NotificationCenter& notifications,
                 RunLoop& loop, BatchAnalysisHost& host, Alerts* alerts);
    // Main thread: as viewDidDisappear.
    ~BatchAnalize();
    BatchAnalize(const BatchAnalize&) = delete;
    BatchAnalize& operator=(const BatchAnalize&) = delete;

    // Any thread: the process-wide batch flag.
    static bool batchAnalysisRunning() { return batchFlag_.load(std::memory_order_relaxed); }

    // --- the library's work (main thread) ----------------------------------------------------
    // Whether a track needs analysis: no tempo (≤ 0) or no peak file.
    static bool needsAnalysis(const VXAudioFileInfo& info);
    // Number of user tracks that need analysis.
    int calcPresentJobs();
    // Rebuilds the work list with those tracks, in library order.
    void fillTasks();

    // --- screen handlers (main thread) -------------------------------------------------------
    // The screen is shown: build the work list, start the refresh timer and the first run.
    void viewWillAppear();
    // The stop button: cancel the runs this screen started and close.
    void stop();
    // The screen went away: timer off, flag off, observer off, waveforms back. Idempotent.
    void viewDidDisappear();

    // Starts the analysis of the first track of the work list; false when it is empty.
    bool addAnotherTask();
    // "Analyze Complete" for `path` (full path or file name).
    void analyzeComplete(const std::filesystem::path& path);
    // Refresh: the counter and the progress of the first running analysis (0 when none).
    void updateProgress();
    // `p` is the current track's progress 0…1: overall progress and percentage text.
    void setProgress(float p);

    // --- state for the shell (main thread) ---------------------------------------------------
    bool shown() const { return shown_; }
    const std::string& doneLabel() const { return doneLabel_; }
    const std::string& titleLabel() const { return titleLabel_; }
    const std::string& albumLabel() const { return albumLabel_; }
    const std::string& artistLabel() const { return artistLabel_; }
    const std::string& percentLabel() const { return percentLabel_; }
    // Overall progress 0…1: the progress bar is its image's width × this.
    double overallProgress() const { return overall_; }
    int toAnalyze() const { return toAnalyze_; }
    int noAnalyzing() const { return noAnalyzing_; }
    bool batchAnalyzesInGame() const { return batchAnalyzesInGame_; }
    const std::vector<std::shared_ptr<VXAudioFileInfo>>& trackList() const { return trackList_; }

private:
    std::vector<std::shared_ptr<VXAudioFileInfo>> userTracksToAnalyze();
    void fillLabels(const VXAudioFileInfo* info, const std::string& fileName);
    void fillLabelsByTopmostTask();
    void allDone();
    void close();

    static std::atomic<bool> batchFlag_;

    AudioOut& engine_;
    DBController& db_;
    NotificationCenter& notifications_;
    RunLoop& loop_;
    BatchAnalysisHost& host_;
    Alerts* alerts_;

    TimerHandle refreshProgressTimer_;
    bool shown_ = false;
    bool observing_ = false;
    bool flagSet_ = false;
    std::string currentFileName_;
    int toAnalyze_ = 0;
    int noAnalyzing_ = 0;
    bool batchAnalyzesInGame_ = false;
    std::vector<std::shared_ptr<VXAudioFileInfo>> trackList_;
    std::set<std::string> started_; // file names of the runs this screen started
    double overall_ = 0.0;
    std::string doneLabel_, titleLabel_, albumLabel_, artistLabel_, percentLabel_;
};

} // namespace vx
