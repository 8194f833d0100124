// Desktop notifications reach a real notification server (dunst) on a private session bus
// started with dbus-run-session; with no server the call fails at once and nothing breaks.

#include "ui/DBusNotifier.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace vx::ui {
namespace {

TEST(DesktopNotification, ReachesARealServerOrFailsQuietly) {
    DBusNotifier nowhere(QStringLiteral("unix:path=/nonexistent/velvox-bus"));
    EXPECT_FALSE(nowhere.notify("Velvox Nexa", "Analysis Complete", ""));

    const char* display = std::getenv("DISPLAY");
    if (!display || !*display || QStandardPaths::findExecutable("dbus-run-session").isEmpty() ||
        QStandardPaths::findExecutable("dunst").isEmpty()) {
        GTEST_SKIP() << "no X display, dbus-run-session or dunst here: the notification server "
                        "cannot be started, so only the failing path was checked";
    }
    // A private bus whose only client is the server: the script prints the bus's address and
    // its own pid, then becomes dunst; ending dunst ends the bus.
    QProcess session;
    session.start(QStringLiteral("dbus-run-session"),
                  {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("echo \"$DBUS_SESSION_BUS_ADDRESS\"; echo $$; exec dunst")});
    ASSERT_TRUE(session.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.canReadLine(); }, 5000));
    const QString address = QString::fromUtf8(session.readLine()).trimmed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.canReadLine(); }, 5000));
    const qint64 serverPid = QString::fromUtf8(session.readLine()).trimmed().toLongLong();
    ASSERT_FALSE(address.isEmpty());

    DBusNotifier notifier(address);
    // The server takes its name on the bus shortly after it starts.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return notifier.notify("Velvox Nexa", "Analysis Complete", "/tmp/done.wav"); },
        10000));
    EXPECT_GT(notifier.lastId(), 0u);

    if (serverPid > 0) {
        ::kill(pid_t(serverPid), SIGTERM);
    }
    EXPECT_TRUE(session.waitForFinished(5000));
}

} // namespace
} // namespace vx::ui
