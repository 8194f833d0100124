#include "ui/QuitSignals.h"

#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vx::ui {

namespace {

// The write end of the active instance's socket pair; -1 while none is installed.
volatile sig_atomic_t writeFd = -1;

void onQuitSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (writeFd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(writeFd, &number, 1);
    }
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(std::function<void(int signal)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) {
        logLine("quit signals not handled: %s", std::strerror(errno));
        fds_[0] = fds_[1] = -1;
        return;
    }
    // A burst of signals never blocks the handler: a full socket just drops the extra ones.
    ::fcntl(fds_[1], F_SETFL, ::fcntl(fds_[1], F_GETFL) | O_NONBLOCK);
    ::fcntl(fds_[0], F_SETFL, ::fcntl(fds_[0], F_GETFL) | O_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::readSignals);
    writeFd = fds_[1];
    struct sigaction action {};
    action.sa_handler = &onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

QuitSignals::~QuitSignals() {
    if (!notifier_) {
        return;
    }
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    writeFd = -1;
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void QuitSignals::readSignals() {
    unsigned char number = 0;
    while (::read(fds_[0], &number, 1) == 1) {
        logLine("signal %d: ending the application", int(number));
        if (onSignal_) {
            onSignal_(int(number));
        }
    }
}

} // namespace vx::ui
