// The shell's tests need a QGuiApplication before any test runs. Without a display and without
// a platform chosen, they draw offscreen.

#include <QGuiApplication>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <cstdlib>

Q_IMPORT_QML_PLUGIN(Velvox_NexaPlugin)

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (!std::getenv("QT_QPA_PLATFORM") && !(display && *display)) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
