#pragma once
// Alerts: modal messages with one button, shown by whoever draws the screens.
//
// The core decides that a message is to be shown and with which words; the shell (Qt Quick
// in the application, a log line or nothing in headless runs, a recording fake in tests)
// shows it. Nothing waits for the button: the alert is informational.

#include <string>

namespace vx {

class Alerts {
public:
    virtual ~Alerts() = default;
    // Main thread: shows `message` under `title` with one button labelled `button`.
    virtual void showAlert(const std::string& title, const std::string& message,
                           const std::string& button) = 0;
};

} // namespace vx
