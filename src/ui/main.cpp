// velvox: the application. Reads the command line, then either runs headless (no display) or
// builds the core through AppCore and opens the Qt Quick shell.
//
//   velvox [--home DIR] [--phone | --tablet] [--no-sound] [--headless] [--startup-time]
//          [--frame-rate SECONDS] [URL...]
//
// --phone and --tablet keep that layout whatever the window's size; without them the layout
// follows the window (the phone's while its shorter side is under 600 px).
// One instance runs per home: a launch while one runs hands its URLs (or a raise) to it and
// exits (DesktopIntegration).
// --startup-time prints how long the start took, from the process's first line to the first
// frame drawn with both decks loaded, and quits (the start-up benchmark).
// --frame-rate starts both decks once they are loaded, counts the frames drawn over SECONDS
// (after one second of settling), prints the rate and quits (the drawing benchmark; the
// engine's "skip buffer" lines go to stderr as ever).

#include "app/DuovexAppDelegate.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "platform/Paths.h"
#include "ui/AppCore.h"
#include "ui/DeckAdapter.h"
#include "ui/DesktopIntegration.h"
#include "ui/HeadlessRun.h"
#include "ui/MixerAdapter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

Q_IMPORT_QML_PLUGIN(Velvox_NexaPlugin)

namespace {

bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::string(platform).rfind("offscreen", 0) == 0) {
        return true; // drawing offscreen was asked for explicitly
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Counts the frames `window` draws with both decks playing, over `seconds` after a second of
// settling; prints the rate and quits.
void measureFrames(QQuickWindow* window, vx::ui::AppCore& core, double seconds) {
    struct Count {
        bool started = false;
        bool counting = false;
        long frames = 0;
        QElapsedTimer clock;
    };
    auto* count = new Count;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [window, &core, seconds, count] {
        vx::AudioOut* out = core.delegate().engine();
        const auto ready = [out](int d) {
            return out->deck(d).isLoaded.load() && !out->deck(d).isLoading.load();
        };
        if (count->counting) {
            ++count->frames;
            return;
        }
        if (count->started || !out || !out->initialized() || !ready(0) || !ready(1)) {
            window->update(); // keep frames coming until the decks are ready
            return;
        }
        count->started = true;
        for (int d = 0; d < 2; ++d) {
            if (!out->deck(d).isPlaying.load()) {
                core.mixer().deck(d)->playStop();
            }
        }
        QTimer::singleShot(1000, window, [count] {
            count->counting = true;
            count->clock.start();
        });
        QTimer::singleShot(1000 + int(seconds * 1000), window, [count] {
            const double elapsed = double(count->clock.nsecsElapsed()) / 1e9;
            std::printf("%ld frames in %.2f s with both decks playing: %.1f fps\n", count->frames,
                        elapsed, double(count->frames) / elapsed);
            std::fflush(stdout);
            delete count;
            QCoreApplication::quit();
        });
    });
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string homeError;
    const auto home = vx::takeHomeArgument(args, &homeError);
    if (!homeError.empty()) {
        std::fprintf(stderr, "velvox: %s\n", homeError.c_str());
        return 2;
    }
    const vx::Paths paths = vx::Paths::resolve(home);
    const QStringList urls = vx::ui::takeUrlArguments(args);
    bool headless = !displayAvailable();
    bool noSound = false;
    bool startupTime = false;
    double frameSeconds = 0.0;
    bool secondsFollow = false; // the argument after --frame-rate may give its seconds
    QElapsedTimer sinceStart;
    sinceStart.start();
    std::optional<bool> tablet;
    for (const auto& a : args) {
        const bool mayBeSeconds = secondsFollow;
        secondsFollow = false;
        if (a == "--headless") {
            headless = true;
        } else if (a == "--phone") {
            tablet = false;
        } else if (a == "--tablet") {
            tablet = true;
        } else if (a == "--no-sound") {
            noSound = true;
        } else if (a == "--startup-time") {
            startupTime = true;
        } else if (a == "--frame-rate") {
            frameSeconds = 10.0;
            secondsFollow = true;
        } else if (mayBeSeconds && std::atof(a.c_str()) > 0.0) {
            frameSeconds = std::atof(a.c_str());
        }
    }
    if (headless) {
        return vx::ui::runHeadless(paths);
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Velvox Nexa"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.korvane.VelvoxNexa"));
    vx::ui::DesktopIntegration desktop(paths);
    if (!desktop.claim(urls)) {
        return 0; // the running instance took the URLs
    }
    // A layout asked for by name stays; otherwise the window's size chooses it, at launch and
    // whenever a resize crosses the threshold.
    const bool followWindow = !tablet.has_value();
    if (!tablet) {
        const QSize size = QGuiApplication::primaryScreen()
                               ? QGuiApplication::primaryScreen()->size()
                               : QSize(480, 800);
        tablet = vx::ui::AppCore::tabletScreen(size.width(), size.height());
    }
    vx::ui::AppCore core(vx::ui::AppCore::Options{
        .paths = paths, .tablet = *tablet, .followWindow = followWindow, .offlineAudio = noSound});
    desktop.attach(core, urls);
    QQmlApplicationEngine engine;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Velvox/Nexa/Main.qml")));
    if (startupTime && !engine.rootObjects().isEmpty()) {
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        if (window) {
            // A frame swapped while both decks are loaded is a drawn mixing screen, ready to play.
            QObject::connect(window, &QQuickWindow::frameSwapped, &app, [&] {
                vx::AudioOut* out = core.delegate().engine();
                const auto ready = [out](int d) {
                    return out->deck(d).isLoaded.load() && !out->deck(d).isLoading.load();
                };
                if (out && out->initialized() && ready(0) && ready(1)) {
                    std::printf("mixing screen drawn with both decks loaded after %.3f s\n",
                                double(sinceStart.nsecsElapsed()) / 1e9);
                    std::fflush(stdout);
                    QCoreApplication::quit();
                }
                window->update(); // keep frames coming until the decks are ready
            });
        }
    }
    if (frameSeconds > 0.0 && !engine.rootObjects().isEmpty()) {
        if (auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first())) {
            measureFrames(window, core, frameSeconds);
        }
    }
    return app.exec();
}
