#pragma once
// DuovexAppDelegate: the application around the two decks — start-up, the platform's
// lifecycle events, the state that survives a restart, the switching between the full-screen
// parts of the interface, and the continuation of playback through a crate.
//
// Start-up runs in two halves, as on the handheld platform the application comes from: the launch
// call makes the converter state and the database, covers the window with the splash and asks the
// main run loop to continue 0.01 s later (the splash gets drawn first); the continuation reads and
// writes the saved state, sets up the audio session, creates the engine, gives the pads their
// sounds, starts the output, creates the mixing screen (which restores the decks) and finally
// reconciles the database with the built-in folder (when the application's version changed, or at
// the first start) and with the documents folder (when its signature changed). Nothing here sleeps:
// every wait is a timer on the run loop, so tests and headless runs drive it with a manual clock.
//
// The lifecycle paths save the session into the user-defaults store (tracks on the decks with
// their crates, pad files, master and pad gains, the settings the shell keeps) and, on entering
// the background with nothing playing and party mode off, ask the shell to end the process:
// exitRequested() turns true and the shell quits and destroys the delegate, so the next start is
// a fresh launch that restores that session.
//
// Screens are plain state here (which is shown, which deck the browser loads, where a popover
// points); the shell draws them.
//
// Owns: the user-defaults store, the notification centre, the services the decode threads use,
// the track database, the converter state, the engine, the mixing-screen controller and the
// track browser (made when first shown). Borrows the audio device, the run loop (both must
// outlive it) and an optional alert presenter.
//
// Threads: main thread only, except updateLastHash (any thread: the database calls it after
// insertions and removals) and currentFolderSignature (any thread).

#include "app/AudioOutputSettings.h"
#include "app/CrateManager.h"
#include "app/LoadFile.h"
#include "app/MainMenu.h"
#include "app/PlaylistManager.h"
#include "app/SettingsController.h"
#include "controls/BatchAnalize.h"
#include "deck/SampleTestController.h"
#include "engine/DeckDecoder.h"
#include "library/iTunesImporter.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/Paths.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "samples/MicRecorder.h"
#include "samples/RecordEdit.h"
#include "samples/SampleEdit.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx {

class Alerts;
class AudioInput;
class AudioDevice;
class AudioOut;
class ConversionState;
class DBController;
class ServerCaller;
class WiFiTransfer;
class DesktopNotifier;
class PreviewPlayer;

// A rectangle in the window's points (origin top-left).
struct ScreenRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const ScreenRect&) const = default;
};

class DuovexAppDelegate final : public MixingScreenHost,
                                public SettingsHost,
                                public MainMenuHost,
                                public BatchAnalysisHost {
public:
    // Delay from the launch to its continuation, in seconds.
    static constexpr double kContinueLoadDelay = 0.01;
    // Delay before a crate continuation looks at the deck, in seconds.
    static constexpr double kNextLoadDelay = 0.1;
    // Delays after the browser hides before the mixing screen refreshes names / sliders (s).
    static constexpr double kUpdateNamesDelay = 0.2;
    static constexpr double kUpdateSlidersDelay = 0.25;
    // Engine gains set when the engine is created (0…1).
    static constexpr float kInitialGain = 0.5f;
    static constexpr float kInitialSampleGain = 0.75f;
    // Waveform redraw intervals in seconds: under the main menu, and otherwise.
    static constexpr double kMenuRedrawInterval = 1.0 / 15.0;
    static constexpr double kRedrawInterval = 0.02;
    // The fade used when the mixing screen first appears.
    static constexpr int kFadeTransition = 13;

    // Main thread: nothing starts until applicationDidFinishLaunching. `bundleVersion` is the
    // application's version text; `alerts` may be null (alerts are then only logged).
    DuovexAppDelegate(Paths paths, AudioDevice& device, RunLoop& loop, std::string bundleVersion,
                      Alerts* alerts = nullptr);
    // Main thread: ends the decode threads and the analyses, cancels its timers, then drops
    // the mixing screen, the engine and the database, in that order. Shut the loop down
    // afterwards rather than running it again: work the engine queued there may outlive it.
    ~DuovexAppDelegate() override;
    DuovexAppDelegate(const DuovexAppDelegate&) = delete;
    DuovexAppDelegate& operator=(const DuovexAppDelegate&) = delete;

    // --- lifecycle (main thread) -------------------------------------------------------------
    // Launch: `tablet` says whether the screen is tablet-sized. Prepares the converter state,
    // opens the database, shows the splash and continues kContinueLoadDelay seconds later.
    void applicationDidFinishLaunching(bool tablet);
    // True once the continuation has run (the engine and the mixing screen exist).
    bool launched() const { return launched_; }
    // Log "resign active", stop the waveform animation, remember the folder signature, mark
    // the application in the background.
    void applicationWillResignActive();
    // Log "enter background", save the session and write the store; then either ask the shell
    // to end the process (nothing playing, party mode off, output not suspended) or keep
    // running with remote-control events on.
    void applicationDidEnterBackground();
    // Restart the animation, stop remote-control events, restart the output.
    void applicationWillEnterForeground();
    // Log "become active"; reconcile the documents folder if its signature changed since
    // resign-active; clear the background mark.
    void applicationDidBecomeActive();
    // Log "will terminate", save the session, end the decode threads, write the store.
    void applicationWillTerminate();
    // Log "mem warning".
    void applicationDidReceiveMemoryWarning();
    // True once entering the background has asked for the process to end (exit status 0).
    bool exitRequested() const { return exitRequested_; }

    // --- screens (main thread) -----------------------------------------------------------
    // Opens the track browser for `deck` (made on first use): tablet, a popover anchored at
    // loadFileAnchor(); phone, the browser's view at the window's top-left corner.
    void showLoadFile(int deck) override;
    // The track browser; null until it is first shown.
    LoadFile* loadFile() const { return loadFile_.get(); }
    // Main thread: starts a music-library import with `starter` (the browser, the main menu or
    // the crate manager) as its delegate: the import view and the picker show. Ignored while
    // an import runs.
    void startImport(iTunesImporterDelegate& starter);
    // Main thread: the import last started (its picker and progress state), or null.
    iTunesImporter* importer() const { return importer_.get(); }
    // Main thread: an import ended: its view goes and "importDone" is posted.
    void importDidEnd() override;
    // The browser closed, or a load ended: plays the deck a crate continuation loaded,
    // re-enables touches, refreshes names after 0.2 s and sliders after 0.25 s.
    void loadFileDidHide();
    // Main thread: a deck's decoder finished its first pass in the foreground. With the browser
    // closed this is loadFileDidHide; with it open, the browser stays: only the pending
    // automatic play and the refreshes run.
    void decoderFirstPass();
    // Shows the main menu (its controller made on first use, once the engine exists); waveforms
    // redraw at 1/15 s.
    void showMainMenu() override;
    // The main menu closed itself / is closed: menu off, touches on, redraw at 0.02 s.
    void mainMenuDidHide() override;
    void hideMenu();
    // Shows the settings: tablet, a popover from settingsAnchor() pointing up.
    void showSettings() override;
    // The settings closed: touches on.
    void settingsDidHide() override;
    // A setting changed on the settings screen: the delegate's own copies are read again and
    // "settingChanged" (object: the key) tells every other reader at once.
    void settingChanged(const std::string& key) override;
    // Tablet: the settings popover closes (the shell draws it).
    void closeSettingsPopover() override { settingsShown_ = false; }

    // --- the menu's screens (DuovexAppDelegateScreens.cpp; main thread) ----------------------
    // MainMenuHost: the batch-analysis screen opens (its controller made anew each time).
    void showBatchAnalysis() override;
    // MainMenuHost: party mode is asked for; the shell opens its view (takePartyModeRequest).
    void showPartyMode() override;
    void showMenuAlert(const std::string& message) override { showAlert(message); }
    // True once after showPartyMode: the shell opens the party view and closes the menu.
    bool takePartyModeRequest();
    // The menu's record button: starts or ends the mix recording as the mixing screen's button
    // does, then plays "rec.wav" through the preview output (never recorded). A recording now
    // running closes the menu; otherwise the recordings list is asked for (recordingsShown).
    void recordsAction();
    bool recordingsShown() const { return recordingsShown_; }
    void setRecordingsShown(bool on) { recordingsShown_ = on; }
    // The menu's help button: the screen of gestures.
    void showHelp() { helpShown_ = true; }
    void hideHelp() { helpShown_ = false; }
    bool helpShown() const { return helpShown_; }
    // Pad `index` (0…5) pressed on the menu or the pad strip: it restarts (noteOn).
    void padPressed(int index);

    // --- the sample library and recordings list (DuovexAppDelegateSamples.cpp) ---------------
    // Main thread: the screens' controllers, made on first show (null without an engine, a
    // preview player or an alert presenter). Each is shown again with its list rebuilt.
    SampleEdit* showSampleEdit();
    void sampleEditDidHide();
    RecordEdit* showRecordEdit();
    void recordEditDidHide();
    SampleEdit* sampleEdit() const { return sampleEditShown_ ? sampleEdit_.get() : nullptr; }
    RecordEdit* recordEdit() const { return recordEditShown_ ? recordEdit_.get() : nullptr; }
    // --- the crate manager and the playlist editor (DuovexAppDelegateCrates.cpp) -------------
    // Main thread: the screens' controllers, made on first show (null without a database).
    // Each is shown again with its list rebuilt; null while not shown.
    CrateManager* showCrateManager();
    void crateManagerDidHide();
    CrateManager* crateManager() const {
        return crateManagerShown_ ? crateManager_.get() : nullptr;
    }
    PlaylistManager* showPlaylistManager();
    void playlistManagerDidHide();
    PlaylistManager* playlistManager() const {
        return playlistManagerShown_ ? playlistManager_.get() : nullptr;
    }
    // Main thread: the microphone recorder of the sample library, on `input` (the system's
    // default input unless a test gives its own, which must outlive the delegate's use).
    MicRecorder& micRecorder();
    void setAudioInput(AudioInput* input);

    // BatchAnalysisHost.
    void stopWaveformRedraw() override;
    void restartWaveformRedraw() override;
    bool applicationActive() const override { return !inBackground_; }
    void showLocalNotification(const std::string& body, const std::string& sound) override;
    void playSound(const std::string& name) override;
    void batchAnalizeDidHide() override;
    bool batchShown() const { return batchShown_; }

    // The screens' controllers: null until first shown (the menu also without an engine).
    MainMenu* mainMenu() const { return mainMenu_.get(); }
    SettingsController* settings() const { return settings_.get(); }
    // The settings' "Audio output" group; null until the settings are first shown.
    AudioOutputSettings* audioOutput() const { return audioOutput_.get(); }
    BatchAnalize* batchAnalize() const { return batch_.get(); }
    const SettingsFlags& settingsFlags() const { return settingsFlags_; }
    // The output for interface sounds and previews, and the desktop notifications; both are
    // set by the shell (null: sounds and notifications are only logged). They must outlive
    // the delegate's use of them: clear them before destroying them.
    void setPreviewPlayer(PreviewPlayer* player) { preview_ = player; }
    PreviewPlayer* previewPlayer() const { return preview_; }
    void setDesktopNotifier(DesktopNotifier* notifier) { notifier_ = notifier; }
    // The alert presenter given at construction (may be null).
    Alerts* alerts() const { return alerts_; }
    // Records the window transition the shell animates (0 none … 13 fade; 0.35 s).
    void transitViewWithEffect(int effect) { lastTransition_ = effect; }
    // Main thread: the tablet flag given at launch, or the layout the window switched to since.
    bool isTablet() const override { return tablet_; }
    // Main thread: the shell now shows the tablet (true) or the phone layout; screens opened
    // from here on are placed for it.
    void setTablet(bool tablet) { tablet_ = tablet; }
    // Reads the settings the delegate keeps a copy of.
    void readSettings();
    void showMessage(const std::string& message) override;
    // Main thread: true while party mode owns the decks: the mixing screen's party mode, or
    // the flag set here.
    bool partyMode() const override { return partyMode_ || (testCnt_ && testCnt_->partyModeOn()); }
    void setPartyMode(bool on) { partyMode_ = on; }

    // Main thread: what is shown: the splash (until the mixing screen appears), the browser and for
    // which deck, the main menu, the settings.
    bool splashShown() const { return splashShown_; }
    bool loadFileShown() const { return loadFileShown_; }
    int sideToLoad() const { return sideToLoad_; }
    bool mainMenuShown() const { return mainMenuShown_; }
    bool settingsShown() const { return settingsShown_; }
    // Main thread: popover anchors in window points (tablet only; nothing on a phone).
    std::optional<ScreenRect> loadFileAnchor() const;
    std::optional<ScreenRect> settingsAnchor() const;
    // Main thread: layout and image names for the device kind.
    std::string splashImage() const;
    std::string mixingScreenLayout() const;
    std::string mainMenuLayout() const;
    // Main thread: the last window transition, the waveform redraw interval (s), whether the
    // waveforms animate, whether remote-control events reach the mixing screen.
    int lastTransition() const { return lastTransition_; }
    double waveformRedrawInterval() const { return redrawInterval_; }
    bool waveformAnimating() const { return waveformAnimating_; }
    bool receivingRemoteControl() const { return receivingRemoteControl_; }

    // --- crate continuation, folder signature, alerts --------------------------------------
    // Main thread: a deck that came from a crate played to its end. After kNextLoadDelay:
    // nothing for an empty crate, the same deck again for a crate of one, else the next track
    // of the crate (wrapping), if it has a peak file, is loaded and played once it is ready.
    void nextLoad(int deck);
    // Any thread: stores the documents folder's signature under "kLashHash" (in memory).
    void updateLastHash();
    // Any thread: the documents folder's signature now.
    uint64_t currentFolderSignature() const;
    // Main thread: an alert titled "Velvox Nexa" with an "OK" button.
    void showAlert(const std::string& text);

    // --- open-URL and paste import (DuovexAppDelegatePaste.cpp) --------------------------
    // URL prefixes: launch only, and paste (the rest of the URL is the percent-encoded name).
    static constexpr const char* kLaunchURL = "korvane.velvoxnexa://launch";
    static constexpr const char* kPasteURL = "korvane.velvox://pastefile:";
    // Main thread: another application opened a URL of ours. False without a URL, true for
    // every URL. Sets the folder paths again first (the call may come before the launch has
    // finished); the launch URL logs "simple launch"; a paste URL pastes (doPaste), or, before
    // the launch has finished, waits for its end. Every other URL does nothing.
    bool handleOpenURL(const std::optional<std::string>& url);
    // Main thread: writes the track on the pasteboard (its MP3 data, and its peak data when
    // given and valid) to the documents folder under the decoded `encodedName` and registers it;
    // every outcome is an alert or a log line. Refuses a name that is not one plain track file
    // name, and a track loaded on a deck; writes through a temporary file, so the documents
    // folder only ever holds complete files.
    void doPaste(const std::string& encodedName);
    // Main thread: the pasteboard in use (an in-memory one unless the shell set the system's).
    Pasteboard& pasteboard() { return *pasteboard_; }
    // Main thread: borrows `pasteboard` (must outlive this object); null goes back to the
    // in-memory one.
    void setPasteboard(Pasteboard* pasteboard) {
        pasteboard_ = pasteboard ? pasteboard : &memoryPasteboard_;
    }
    // Main thread: decodes %XX escapes; nothing when the result is not valid UTF-8.
    static std::optional<std::string> percentDecode(const std::string& text);
    // --- Wi-Fi transfer (main thread) --------------------------------------------------------
    // The transfer service (made on first use): the file-resource delegate's operations.
    WiFiTransfer& wifiTransfer();
    // Starts the transfer for `caller` (the crate manager; the sample and recording screens),
    // with the settings' access-code choice; the alerts say how it went.
    void startServerAction(ServerCaller* caller);
    // Why the documents folder's file `name` may not be deleted now (the mix being recorded, a
    // track on a deck or under analysis), or nothing.
    std::optional<std::string> fileInUse(const std::string& name) const;

    // --- flags and settings (main thread) ----------------------------------------------------
    // True when this launch wrote the first-start values.
    bool firstStart() const { return firstStart_; }
    // Between resign-active (or entering the background) and become-active.
    bool inBackground() const { return inBackground_; }
    // Output suspended: an interruption lasts, or a screen (batch analysis) asked for it.
    bool outputSuspended() const;
    void setOutputSuspended(bool on) { outputSuspended_ = on; }
    bool needAutoPlay() const { return needAutoPlay_; }
    int autoPlayIndex() const { return autoPlayIndex_; }
    bool normalizeVolume() const { return normalizeVolume_; }
    void setNormalizeVolume(bool on) { normalizeVolume_ = on; }
    float dipCorrection() const { return dipCorrection_; }
    double pitchStep() const { return pitchStep_; }
    bool hideBundled() const { return hideBundled_; }
    bool stopProofLock() const { return stopProofLock_; }
    bool snapCueToBeat() const { return snapCueToBeat_; }
    void setSnapCueToBeat(bool on) { snapCueToBeat_ = on; }
    bool dontMarkEvenBeat() const { return dontMarkEvenBeat_; }
    float songPartInAutoPlay() const { return songPartInAutoPlay_; }
    bool lastSplit() const { return lastSplit_; }
    void setLastSplit(bool on) { lastSplit_ = on; }
    bool lastZoomMode() const { return lastZoomMode_; }
    void setLastZoomMode(bool on) { lastZoomMode_ = on; }
    // Main thread: frames per hardware buffer found when the audio session was set up.
    uint32_t framesPerBuffer() const { return framesPerBuffer_; }

    // --- what it owns (main thread) ----------------------------------------------------------
    const Paths& paths() const { return paths_; }
    UserDefaults& defaults() { return defaults_; }
    NotificationCenter& notifications() { return notifications_; }
    EngineServices& services() { return services_; }
    // The database; null before the launch or when it could not be opened.
    DBController* db() const { return db_.get(); }
    // The engine; null before the continuation.
    AudioOut* engine() const { return engine_.get(); }
    // The mixing screen; null before the continuation (or without a working output).
    SampleTestController* mixingScreen() const { return testCnt_.get(); }
    // The converter state; null before the launch.
    ConversionState* conversionState() const { return conversion_.get(); }

private:
    void continueLoad();
    void writeFirstStartValues();
    void setUpAudioSession();
    void loadPads();
    void loadMainView();
    void reconcile(int location);
    void saveSession(bool background);
    void saveDecks();
    void continueCrate(int deck);
    void playDeck(int deck);
    // The deck a crate continuation loaded starts once its load has run its first pass.
    void playPendingAutoPlay();
    // Names after 0.2 s, sliders after 0.25 s on the mixing screen.
    void refreshScreenSoon();
    std::array<std::string, 2> defaultTracks() const;
    void runPendingURLs();
    void removeStalePasteParts();
    bool trackOnDeck(const std::filesystem::path& file) const;

    const Paths paths_;
    AudioDevice& device_;
    RunLoop& loop_;
    const std::string bundleVersion_;
    Alerts* alerts_;

    UserDefaults defaults_;
    NotificationCenter notifications_;
    EngineServices services_;
    std::shared_ptr<DBController> db_;
    std::unique_ptr<ConversionState> conversion_;
    std::unique_ptr<AudioOut> engine_;
    std::unique_ptr<SampleTestController> testCnt_;
    std::unique_ptr<LoadFile> loadFile_;
    MemoryPasteboard memoryPasteboard_;
    Pasteboard* pasteboard_ = &memoryPasteboard_;
    std::vector<std::string> pendingURLs_; // paste URLs that came before the launch ended
    std::unique_ptr<WiFiTransfer> wifiTransfer_;
    std::unique_ptr<MainMenu> mainMenu_;
    SettingsFlags settingsFlags_;
    std::unique_ptr<SettingsController> settings_;
    std::unique_ptr<AudioOutputSettings> audioOutput_;
    std::unique_ptr<BatchAnalize> batch_;
    std::unique_ptr<SampleEdit> sampleEdit_;
    std::unique_ptr<RecordEdit> recordEdit_;
    std::unique_ptr<AudioInput> ownInput_;
    AudioInput* input_ = nullptr;
    std::unique_ptr<MicRecorder> micRecorder_;
    bool sampleEditShown_ = false;
    bool recordEditShown_ = false;
    PreviewPlayer* preview_ = nullptr;
    DesktopNotifier* notifier_ = nullptr;
    std::unique_ptr<CrateManager> crateManager_;
    std::unique_ptr<PlaylistManager> playlistManager_;
    bool crateManagerShown_ = false;
    bool playlistManagerShown_ = false;
    // The music-library import under way or last run; it calls back into the screen that
    // started it, so it goes before the screens.
    std::unique_ptr<iTunesImporter> importer_;

    TimerHandle continueTimer_;
    std::array<TimerHandle, 2> nextLoadTimer_{};
    TimerHandle namesTimer_;
    TimerHandle slidersTimer_;

    // Process-wide flags.
    bool launched_ = false;
    bool tablet_ = false;
    bool firstStart_ = false;
    bool inBackground_ = false;
    bool outputSuspended_ = false; // asked for by a screen
    bool interrupted_ = false;     // an audio-session interruption lasts
    bool exitRequested_ = false;
    bool partyMode_ = false;
    std::optional<uint64_t> resignSignature_;

    // Crate continuation.
    bool needAutoPlay_ = false;
    int autoPlayIndex_ = 0;

    // Settings read at launch and kept for the rest of the run.
    bool normalizeVolume_ = true;
    float dipCorrection_ = 1.0f;
    double pitchStep_ = 0.001;
    bool hideBundled_ = false;
    bool stopProofLock_ = false;
    bool snapCueToBeat_ = true;
    bool dontMarkEvenBeat_ = false;
    float songPartInAutoPlay_ = 0.5f;
    bool lastSplit_ = false;
    bool lastZoomMode_ = true;
    uint32_t framesPerBuffer_ = 0;

    // Screens.
    bool splashShown_ = false;
    bool loadFileShown_ = false;
    int sideToLoad_ = 0;
    bool mainMenuShown_ = false;
    bool settingsShown_ = false;
    bool batchShown_ = false;
    bool helpShown_ = false;
    bool recordingsShown_ = false;
    bool partyModeRequested_ = false;
    int lastTransition_ = 0;
    double redrawInterval_ = kRedrawInterval;
    bool waveformAnimating_ = false;
    bool receivingRemoteControl_ = false;
};

} // namespace vx
