#include "ui/DBusNotifier.h"

#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

namespace vx::ui {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

bool DBusNotifier::notify(const std::string& summary, const std::string& body,
                          const std::string& sound) {
    QDBusConnection bus = busAddress_.isEmpty()
                              ? QDBusConnection::sessionBus()
                              : QDBusConnection::connectToBus(
                                    busAddress_, QStringLiteral("vx-notify ") + busAddress_);
    if (!bus.isConnected()) {
        logLine("desktop notification: no session bus");
        return false;
    }
    // A server that is neither running nor activatable would only make the call wait.
    QDBusConnectionInterface* names = bus.interface();
    const bool running = names && names->isServiceRegistered(kService).value();
    const bool activatable = names && names->activatableServiceNames().value().contains(kService);
    if (!running && !activatable) {
        logLine("desktop notification: no notification server on the session bus");
        return false;
    }
    QDBusInterface server(kService, kPath, kService, bus);
    server.setTimeout(kCallTimeoutMs);
    QVariantMap hints;
    if (!sound.empty()) {
        hints.insert(QStringLiteral("sound-file"), QString::fromStdString(sound));
    }
    const QDBusReply<unsigned> reply = server.call(
        QStringLiteral("Notify"), QStringLiteral("Velvox Nexa"), 0u, QString(),
        QString::fromStdString(summary), QString::fromStdString(body), QStringList(), hints, -1);
    if (!reply.isValid()) {
        logLine("desktop notification failed: %s", reply.error().message().toUtf8().constData());
        return false;
    }
    lastId_ = reply.value();
    return true;
}

} // namespace vx::ui
