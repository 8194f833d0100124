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

    bool notify(const std::string& summary, const std::string& body,
                const std::string& sound) override;
    // The id the server gave the last notification (0 before the first success).
    unsigned lastId() const { return lastId_; }

private:
    unsigned lastId_ = 0;
};

} // namespace vx::ui
