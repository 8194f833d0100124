#include "ui/AppCore.h"

#include "app/DuovexAppDelegate.h"
#include "deck/SampleTestController.h"
#include "engine/PreviewPlayer.h"
#include "platform/Log.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/PortAudioDevice.h"
#include "ui/BatchAdapter.h"
#include "ui/BrowserAdapter.h"
#include "ui/CratesAdapter.h"
#include "ui/DBusNotifier.h"
#include "ui/ImportAdapter.h"
#include "ui/MenuAdapter.h"
#include "ui/MixerAdapter.h"
#include "ui/MprisService.h"
#include "ui/QuitSignals.h"
#include "ui/RecordEditAdapter.h"
#include "ui/SampleEditAdapter.h"
#include "ui/SettingsAdapter.h"
#include "ui/ShellAdapter.h"
#include "ui/WaveformHub.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>

namespace vx::ui {

namespace {

// Shortest side, in logical pixels, of a screen that gets the tablet layout.
constexpr int kTabletShortSide = 600;

int silence(void*, uint32_t, AudioBufferList& out) {
    for (uint32_t i = 0; i < out.count; ++i) {
        std::fill_n(static_cast<char*>(out.buffers[i].data), out.buffers[i].bytes, 0);
    }
    return 0;
}

// Opens and closes the default sound output once, so that the engine only ever meets a device
// that works. Returns the reason when none opens.
bool soundDeviceOpens(std::string* why) {
    PortAudioDevice probe;
    int status = probe.createUnit();
    if (status == 0) {
        probe.setRenderCallback(&silence, nullptr);
        status = probe.initializeUnit();
    }
    if (status != 0) {
        *why = probe.statusText(status);
    }
    probe.disposeUnit();
    return status == 0;
}

} // namespace

bool AppCore::tabletScreen(int width, int height) {
    return std::min(width, height) >= kTabletShortSide;
}

int AppCore::installFonts(const std::filesystem::path& resources) {
    // The interface's fonts ship in the resources: the named faces of the design resolve to
    // them, and the regular one is every item's default, whatever the machine has installed.
    const struct {
        const char* file;
        const char* standsFor;
    } fonts[] = {{"DejaVuSans.ttf", "Olney-Medium"}, {"DejaVuSans-ExtraLight.ttf", "Olney-Light"}};
    int installed = 0;
    for (const auto& font : fonts) {
        const QString path = QString::fromStdString((resources / "fonts" / font.file).string());
        const int id = QFontDatabase::addApplicationFont(path);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (id < 0 || families.isEmpty()) {
            logLine("font not loaded: %s", path.toUtf8().constData());
            continue;
        }
        QFont::insertSubstitution(QString::fromLatin1(font.standsFor), families.first());
        if (installed == 0 && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QGuiApplication::setFont(QFont(families.first()));
        }
        ++installed;
    }
    return installed;
}

AppCore::AppCore(Options options, QObject* parent)
    : QObject(parent), loop_(clock_), shell_(std::make_unique<ShellAdapter>(nullptr)),
      followWindow_(options.followWindow) {
    loop_.bindToCurrentThread();
    fontsInstalled_ = installFonts(options.paths.resources());
    std::string why = "sound output disabled";
    if (!options.offlineAudio && soundDeviceOpens(&why)) {
        device_ = std::make_unique<PortAudioDevice>();
    } else {
        offlineFallback_ = true;
        auto offline = std::make_unique<OfflineAudioDevice>(
            OfflineAudioDevice::Options{.pacedRealTime = true, .ownThread = true});
        if (options.offlineSink) {
            offline->setThreadSink(options.offlineSink); // before the unit starts
        }
        device_ = std::move(offline);
        logLine("no sound device (%s): playing silently in real time", why.c_str());
        shell_->setAudioNotice(
            QStringLiteral("No sound device could be opened (%1). The decks play silently.")
                .arg(QString::fromStdString(why)));
    }
    // The interface sounds play on an output of their own, beside the decks'.
    if (offlineFallback_) {
        previewDevice_ = std::make_unique<OfflineAudioDevice>(
            OfflineAudioDevice::Options{.pacedRealTime = true, .ownThread = true});
    } else {
        previewDevice_ = std::make_unique<PortAudioDevice>();
    }
    preview_ = std::make_unique<DevicePreviewPlayer>(*previewDevice_, loop_);
    notifier_ = std::make_unique<DBusNotifier>();
    delegate_ = std::make_unique<DuovexAppDelegate>(options.paths, *device_, loop_,
                                                    VX_VERSION_STRING, shell_.get());
    delegate_->setPreviewPlayer(preview_.get());
    delegate_->setDesktopNotifier(notifier_.get());
    shell_->bind(delegate_.get());
    shell_->setResizeHandler([this](int width, int height) { windowResized(width, height); });
    mixer_ = std::make_unique<MixerAdapter>(*delegate_, loop_);
    ShellAdapter::setInstance(shell_.get());
    MixerAdapter::setInstance(mixer_.get());
    browser_ = std::make_unique<BrowserAdapter>(*delegate_, [this] { refresh(); });
    BrowserAdapter::setInstance(browser_.get());
    menu_ = std::make_unique<MenuAdapter>(*delegate_, [this] { refresh(); });
    MenuAdapter::setInstance(menu_.get());
    settings_ = std::make_unique<SettingsAdapter>(*delegate_, [this] { refresh(); });
    SettingsAdapter::setInstance(settings_.get());
    batch_ = std::make_unique<BatchAdapter>(*delegate_, [this] { refresh(); });
    BatchAdapter::setInstance(batch_.get());
    import_ = std::make_unique<ImportAdapter>(*delegate_, [this] { refresh(); });
    ImportAdapter::setInstance(import_.get());
    sampleEdit_ = std::make_unique<SampleEditAdapter>(*delegate_, [this] { refresh(); });
    SampleEditAdapter::setInstance(sampleEdit_.get());
    recordEdit_ = std::make_unique<RecordEditAdapter>(*delegate_, [this] { refresh(); });
    RecordEditAdapter::setInstance(recordEdit_.get());
    crates_ = std::make_unique<CratesAdapter>(*delegate_, [this] { refresh(); });
    CratesAdapter::setInstance(crates_.get());

    pumpTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pumpTimer_, &QTimer::timeout, this, &AppCore::pump);
    pumpTimer_.start(options.pumpMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &AppCore::refresh);
    refreshTimer_.start(options.refreshMs);

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // Closing the window terminates the application through the delegate first.
        app->setQuitOnLastWindowClosed(false);
        connect(app, &QGuiApplication::lastWindowClosed, this, [this] {
            terminate();
            QCoreApplication::quit();
        });
        connect(app, &QGuiApplication::applicationStateChanged, this,
                &AppCore::onApplicationStateChanged);
        lastState_ = app->applicationState();
    }
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &AppCore::terminate);
    // Ctrl+C and a session's logout end the application the way closing its window does.
    quitSignals_ = std::make_unique<QuitSignals>([this](int) {
        terminate();
        QCoreApplication::quit();
    });

    // The waveforms' frame clock; its controls bind to the engine once the launch made it.
    waves_ = std::make_unique<WaveformHub>(*delegate_);
    WaveformHub::setInstance(waves_.get());

    mpris_ = std::make_unique<MprisService>(*delegate_, QDBusConnection::sessionBus());

    delegate_->applicationDidFinishLaunching(options.tablet);
    refresh(); // the layout kind is known from here on
}

AppCore::~AppCore() {
    quitSignals_.reset();
    pumpTimer_.stop();
    refreshTimer_.stop();
    terminate();
    ShellAdapter::setInstance(nullptr);
    MixerAdapter::setInstance(nullptr);
    BrowserAdapter::setInstance(nullptr);
    mpris_.reset();
    browser_.reset();
    MenuAdapter::setInstance(nullptr);
    SettingsAdapter::setInstance(nullptr);
    BatchAdapter::setInstance(nullptr);
    menu_.reset();
    settings_.reset();
    batch_.reset();
    ImportAdapter::setInstance(nullptr);
    import_.reset();
    SampleEditAdapter::setInstance(nullptr);
    RecordEditAdapter::setInstance(nullptr);
    sampleEdit_.reset();
    recordEdit_.reset();
    CratesAdapter::setInstance(nullptr);
    crates_.reset();
    WaveformHub::setInstance(nullptr);
    waves_.reset();
    mixer_.reset();
    shell_->bind(nullptr);
    delegate_->setPreviewPlayer(nullptr);
    delegate_->setDesktopNotifier(nullptr);
    delegate_.reset();
    preview_.reset();
    previewDevice_.reset();
    notifier_.reset();
    loop_.shutdown();
    device_.reset();
}

void AppCore::terminate() {
    if (terminated_ || !delegate_) {
        return;
    }
    terminated_ = true;
    mixer_->closeScreens();
    delegate_->applicationWillTerminate();
}

void AppCore::pump() {
    loop_.runDue();
    if (delegate_->exitRequested() && !quitting_) {
        // Entering the background with nothing to hear ends the process; the session has been
        // saved already, so this is not a termination.
        quitting_ = true;
        terminated_ = true;
        QCoreApplication::quit();
    }
}

void AppCore::refresh() {
    shell_->refresh();
    mixer_->refresh();
    browser_->refresh();
    menu_->refresh();
    settings_->refresh();
    batch_->refresh();
    import_->refresh();
    sampleEdit_->refresh();
    recordEdit_->refresh();
    crates_->refresh();
    if (mpris_) {
        mpris_->refresh();
    }
}

void AppCore::windowResized(int width, int height) {
    if (!followWindow_ || terminated_ || width <= 0 || height <= 0) {
        return;
    }
    const bool tablet = tabletScreen(width, height);
    if (tablet == delegate_->isTablet()) {
        return;
    }
    // The decks, their panels and every screen's state live in the core: the shell only
    // loads the other layout, which draws them as they stand.
    delegate_->setTablet(tablet);
    refresh();
}

void AppCore::onApplicationStateChanged(Qt::ApplicationState state) {
    if (terminated_ || state == lastState_) {
        return;
    }
    lastState_ = state;
    SampleTestController* screen = delegate_->mixingScreen();
    switch (state) {
    case Qt::ApplicationActive:
    case Qt::ApplicationInactive:
        // On a desktop, inactive only means another window has the focus: the window is still
        // seen and heard, so it is not a resign (which would freeze the waveforms and walk the
        // documents folder at every focus change).
        if (backgrounded_) {
            delegate_->applicationWillEnterForeground();
            backgrounded_ = false;
        }
        if (resigned_) {
            delegate_->applicationDidBecomeActive();
            resigned_ = false;
        }
        if (screen) {
            screen->setApplicationInactive(false);
        }
        break;
    case Qt::ApplicationHidden:
    case Qt::ApplicationSuspended:
        if (!resigned_) {
            delegate_->applicationWillResignActive();
            resigned_ = true;
        }
        if (!backgrounded_) {
            backgrounded_ = true;
            delegate_->applicationDidEnterBackground();
        }
        if (screen) {
            screen->setApplicationInactive(true);
        }
        break;
    }
    pump(); // an exit request from entering the background is acted on at once
}

} // namespace vx::ui
