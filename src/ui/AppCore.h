#pragma once
// AppCore: the shell's composition root. It builds the core exactly once per run and hands
// the adapters to QML:
//
//   clock (system) → RunLoop bound to the GUI thread, pumped by a QTimer every few ms
//   sound device: PortAudio when a device opens, else an OfflineAudioDevice on its own render
//                 thread paced in real time (the UI shows a notice)
//   DuovexAppDelegate on the resolved Paths, launched with the tablet flag, the shell's
//                 alerts (ShellAdapter) as its alert presenter
//   preview output: a second device (PortAudio, or offline like the decks') for the interface
//                 sounds, never recorded; desktop notifications over D-Bus
//   adapters: Shell, Mixer (two Decks, sliders, XY pads, the party screen), TrackBrowser,
//             Menu, Settings, Batch, MusicImport, SampleLibrary, Recordings as QML
//             singletons
//   media keys: MPRIS on the session bus, when there is one
//   lifecycle: Qt's application states → the delegate's lifecycle calls; the last window
//              closing, SIGINT or SIGTERM → applicationWillTerminate, then quit;
//              exitRequested → quit.
//
// Everything here lives on the GUI thread, which is the core's main thread. The object must
// be created after the QGuiApplication and before the QML engine (the engine's singletons
// refer to it), and destroyed after the engine.
//
// Threads: GUI (main) thread only.

#include "platform/AudioDevice.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/RunLoop.h"

#include <QObject>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace vx {
class AudioDevice;
class DuovexAppDelegate;
class PreviewPlayer;
} // namespace vx

namespace vx::ui {

class ShellAdapter;
class MixerAdapter;
class BrowserAdapter;
class ImportAdapter;
class CratesAdapter;
class WaveformHub;
class MenuAdapter;
class SettingsAdapter;
class BatchAdapter;
class SampleEditAdapter;
class RecordEditAdapter;
class DBusNotifier;
class QuitSignals;
class MprisService;

class AppCore : public QObject {
    Q_OBJECT
public:
    struct Options {
        Paths paths;
        // Tablet layout; chosen from the primary screen by the caller (see tabletScreen()).
        bool tablet = false;
        // The layout follows the window: a resize across tabletScreen()'s threshold switches
        // it. False keeps `tablet` whatever the window's size (a layout asked for by name).
        bool followWindow = true;
        // Skip the sound card: the offline device paced in real time plays (tests, CI).
        bool offlineAudio = false;
        // Offline audio only: receives every buffer the decks' device renders (on its render
        // thread; must not allocate or block). Tests listen to the mix with it.
        std::function<bool(const float* interleaved, uint32_t frames, const AudioBufferList& raw)>
            offlineSink = {};
        // Interval of the run-loop pump, milliseconds.
        int pumpMs = 4;
        // Interval of the adapters' state refresh, milliseconds (read-outs at 0.1 s).
        int refreshMs = 100;
    };

    // GUI thread: builds the core, registers the adapters for QML and launches the delegate.
    explicit AppCore(Options options, QObject* parent = nullptr);
    // GUI thread: terminates (if not done yet), ends the delegate, then shuts the loop down.
    ~AppCore() override;
    AppCore(const AppCore&) = delete;
    AppCore& operator=(const AppCore&) = delete;

    // GUI thread: true when a screen of this size (logical pixels) gets the tablet layout.
    static bool tabletScreen(int width, int height);
    // GUI thread: registers the fonts shipped in `resources`/fonts, makes the regular one the
    // application's font and the design's font names resolve to them; returns how many loaded.
    static int installFonts(const std::filesystem::path& resources);
    // GUI thread: fonts this composition installed (2 when the resources are complete).
    int fontsInstalled() const { return fontsInstalled_; }

    // GUI thread: the core (for tests and the adapters).
    DuovexAppDelegate& delegate() { return *delegate_; }
    RunLoop& loop() { return loop_; }
    ShellAdapter& shell() { return *shell_; }
    MixerAdapter& mixer() { return *mixer_; }
    BrowserAdapter& browser() { return *browser_; }
    MenuAdapter& menu() { return *menu_; }
    SettingsAdapter& settings() { return *settings_; }
    BatchAdapter& batch() { return *batch_; }
    // GUI thread: the output device of the decks, and that of the preview player (interface
    // sounds; never recorded). Tests listen to the offline ones through their thread sinks.
    AudioDevice& device() { return *device_; }
    AudioDevice& previewDevice() { return *previewDevice_; }
    PreviewPlayer& preview() { return *preview_; }
    ImportAdapter& musicImport() { return *import_; }
    SampleEditAdapter& sampleLibrary() { return *sampleEdit_; }
    RecordEditAdapter& recordings() { return *recordEdit_; }
    CratesAdapter& crates() { return *crates_; }
    // GUI thread: the decks' waveform controls and their frame clock.
    WaveformHub* waveforms() { return waves_.get(); }
    // GUI thread: the media keys' MPRIS player on the session bus (registered() is false
    // without a bus).
    MprisService& mpris() { return *mpris_; }
    // GUI thread: true when the sound card could not be opened and the offline device plays.
    bool offlineFallback() const { return offlineFallback_; }

    // GUI thread: applicationWillTerminate once (later calls do nothing).
    void terminate();
    // GUI thread: one pump of the run loop (runs what is due) and the exit check.
    void pump();
    // GUI thread: refreshes every adapter's state from the controllers now.
    void refresh();
    // GUI thread: the window's content is `width` × `height` logical pixels; switches the
    // layout when the size calls for the other one (and the layout follows the window).
    void windowResized(int width, int height);
    // GUI thread: maps Qt's application state onto the delegate's lifecycle (hidden or
    // suspended: resign active and enter the background; active or inactive — another window
    // has the focus — back to the foreground and become active). Connected to the
    // application's state changes.
    void onApplicationStateChanged(Qt::ApplicationState state);

private:
    SystemClock clock_;
    RunLoop loop_;
    std::unique_ptr<AudioDevice> device_;
    std::unique_ptr<AudioDevice> previewDevice_;
    std::unique_ptr<PreviewPlayer> preview_;
    std::unique_ptr<DBusNotifier> notifier_;
    int fontsInstalled_ = 0;
    bool offlineFallback_ = false;
    std::unique_ptr<ShellAdapter> shell_;
    std::unique_ptr<DuovexAppDelegate> delegate_;
    std::unique_ptr<MixerAdapter> mixer_;
    std::unique_ptr<BrowserAdapter> browser_;
    std::unique_ptr<MenuAdapter> menu_;
    std::unique_ptr<SettingsAdapter> settings_;
    std::unique_ptr<BatchAdapter> batch_;
    std::unique_ptr<ImportAdapter> import_;
    std::unique_ptr<SampleEditAdapter> sampleEdit_;
    std::unique_ptr<RecordEditAdapter> recordEdit_;
    std::unique_ptr<CratesAdapter> crates_;
    std::unique_ptr<WaveformHub> waves_;
    std::unique_ptr<QuitSignals> quitSignals_;
    std::unique_ptr<MprisService> mpris_;
    QTimer pumpTimer_;
    QTimer refreshTimer_;
    Qt::ApplicationState lastState_ = Qt::ApplicationActive;
    bool followWindow_ = true;
    bool resigned_ = false;
    bool backgrounded_ = false;
    bool terminated_ = false;
    bool quitting_ = false;
};

} // namespace vx::ui
