#pragma once
// QuitSignals: SIGINT and SIGTERM (Ctrl+C in a terminal, a desktop session's logout, `kill`)
// end the application through its normal termination, which saves the session, instead of
// killing it on the spot.
//
// A signal handler may do almost nothing, so it only writes the signal's number into one end of
// a socket pair; a QSocketNotifier on the other end wakes the GUI thread, which calls the
// handler given here. The previous dispositions come back when the object is destroyed. One
// instance at a time per process.
//
// Threads: constructed, used and destroyed on the GUI thread; the signal handler runs on
// whichever thread the signal lands and only writes to the socket.

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <memory>

namespace vx::ui {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // GUI thread: installs the handlers; `onSignal` runs on the GUI thread with the signal's
    // number, once per signal received.
    explicit QuitSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    // GUI thread: restores the previous dispositions and closes the socket pair.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // True when the handlers are installed (the socket pair could be made).
    bool installed() const { return notifier_ != nullptr; }

private:
    void readSignals();

    std::function<void(int)> onSignal_;
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

} // namespace vx::ui
