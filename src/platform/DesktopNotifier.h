#pragma once
// DesktopNotifier: a notification on the desktop, standing in for the handheld's local
// notification when a long job ends while the application is in the background.
//
// The shell implements it over D-Bus (org.freedesktop.Notifications); without a session bus
// or a notification server the call fails quietly and says so in the log. Nothing in the core
// waits for it or depends on its result.
//
// Threads: main thread only.

#include <string>

namespace vx {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Main thread: shows `body` under `summary`, asking for the sound file `sound` (a path, or
    // empty for none). True when a notification server took it.
    virtual bool notify(const std::string& summary, const std::string& body,
                        const std::string& sound) = 0;
};

} // namespace vx
