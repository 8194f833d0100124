#pragma once
// DBusNotifier: desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Without a session bus, or with no
// notification server on it, notify() returns false at once (or after a short timeout for a
// server that does not answer) and logs why; nothing else depends on it.
//
// Threads: GUI (main) thread only.

#include "platform/DesktopNotifier.h"

#include <QString>

namespace vx::ui {

class DBusNotifier final : public DesktopNotifier {
public:
    static constexpr int kCallTimeoutMs = 2000;

    // GUI thread: notifications go to the session bus, or to the bus at `busAddress` when one
    // is given (tests start a private one).
    explicit DBusNotifier(QString busAddress = {}) : busAddress_(std::move(busAddress)) {}

    bool notify(const std::string& summary, const std::string& body,
                const std::string& sound) override;
    // The id the server gave the last notification (0 before the first success).
    unsigned lastId() const { return lastId_; }

private:
    QString busAddress_;
    unsigned lastId_ = 0;
};

} // namespace vx::ui
