// velvox: the application. Reads the command line, then either runs headless (no display) or
// builds the core through AppCore and opens the Qt Quick shell.
//
//   velvox [--home DIR] [--phone | --tablet] [--no-sound] [--headless] [--startup-time] [URL...]
//
// One instance runs per home: a launch while one runs hands its URLs (or a raise) to it and
// exits (DesktopIntegration).
// --startup-time prints how long the start took, from the process's first line to the first
// frame drawn with both decks loaded, and quits (the start-up benchmark).

#include "app/DuovexAppDelegate.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "platform/Paths.h"
#include "ui/AppCore.h"
#include "ui/DesktopIntegration.h"
#include "ui/HeadlessRun.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QScreen>
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
    QElapsedTimer sinceStart;
    sinceStart.start();
    std::optional<bool> tablet;
    for (const auto& a : args) {
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
    if (!tablet) {
        const QSize size = QGuiApplication::primaryScreen()
                               ? QGuiApplication::primaryScreen()->size()
                               : QSize(480, 800);
        tablet = vx::ui::AppCore::tabletScreen(size.width(), size.height());
    }
    vx::ui::AppCore core(
        vx::ui::AppCore::Options{.paths = paths, .tablet = *tablet, .offlineAudio = noSound});
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
    return app.exec();
}
