#pragma once
// Alerts: modal messages shown by whoever draws the screens.
//
// The core decides that a message is to be shown and with which words; the shell (Qt Quick
// in the application, a log line or nothing in headless runs, a recording fake in tests)
// shows it. Two kinds:
//   - showAlert: informational, one button, nothing waits for it;
//   - ask: several buttons, a tag the caller chooses, an optional text field, and a callback
//     that receives the pressed button's index (0 = first), the tag and the field's text.
//     Questions like "Are you sure?" or "New name for the file" go through it.
//
// Threads: main thread only; the answer callback runs on the main thread too.

#include <functional>
#include <string>
#include <vector>

namespace vx {

// One question: title, message, buttons in screen order, and what to do with the answer.
struct AlertRequest {
    // Main thread: the pressed button's index, the request's tag and the text field's text
    // (empty without a field).
    using Answer = std::function<void(int button, int tag, const std::string& text)>;

    std::string title = "Velvox Nexa";
    std::string message;
    std::vector<std::string> buttons{"OK"};
    int cancelButton = 0; // the button that does nothing (headless runs answer with it)
    int tag = 0;
    bool textField = false;
    std::string placeholder; // shown in the empty field
    std::string text;        // the field's initial text
    Answer answer;
};

class Alerts {
public:
    virtual ~Alerts() = default;
    // Main thread: shows `message` under `title` with one button labelled `button`.
    virtual void showAlert(const std::string& title, const std::string& message,
                           const std::string& button) = 0;
    // Main thread: shows the question and calls its answer once a button is pressed. A
    // presenter that cannot ask (headless runs) shows the message and answers at once with the
    // cancel button and the initial text, so nothing is done unasked.
    virtual void ask(AlertRequest request) {
        const int cancel = request.cancelButton;
        showAlert(request.title, request.message,
                  cancel >= 0 && size_t(cancel) < request.buttons.size()
                      ? request.buttons[size_t(cancel)]
                      : std::string());
        if (request.answer) {
            request.answer(cancel, request.tag, request.text);
        }
    }
};

} // namespace vx
