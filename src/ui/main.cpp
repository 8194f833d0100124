// velvox: the application. One composition root: resolves the paths, then either runs
// headless (no display) or opens the Qt Quick shell.

#include "BuiltInTracks.h"
#include "platform/Paths.h"
#include "ui/HeadlessRun.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
    bool headless = !displayAvailable();
    for (const auto& a : args) {
        if (a == "--headless") {
            headless = true;
        }
    }
    if (headless) {
        return vx::ui::runHeadless(paths);
    }
    QGuiApplication app(argc, argv);
    BuiltInTracks::setFolder(QString::fromStdString(paths.sound().string()));
    QQmlApplicationEngine engine;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Velvox/Nexa/Main.qml")));
    return app.exec();
}
