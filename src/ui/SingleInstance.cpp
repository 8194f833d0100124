#include "ui/SingleInstance.h"

#include "platform/Log.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

namespace vx::ui {

namespace {

constexpr int kConnectMs = 1000;
constexpr int kRetryMs = 100;

} // namespace

SingleInstance::SingleInstance(const std::filesystem::path& folder, QObject* parent)
    : QObject(parent), socketPath_(QString::fromStdString((folder / "velvox.socket").string())),
      lock_(QString::fromStdString((folder / "velvox.lock").string())) {
    lock_.setStaleLockTime(0); // only a dead owner makes the lock stale
}

SingleInstance::~SingleInstance() {
    if (server_) {
        server_->close();
    }
}

bool SingleInstance::claim(const QStringList& urls, int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (lock_.tryLock(0)) {
            // First: a socket file left by a process that died is in the way.
            QLocalServer::removeServer(socketPath_);
            server_ = std::make_unique<QLocalServer>();
            server_->setSocketOptions(QLocalServer::UserAccessOption);
            if (!server_->listen(socketPath_)) {
                logLine("single instance: cannot listen on %s: %s",
                        socketPath_.toUtf8().constData(),
                        server_->errorString().toUtf8().constData());
                server_.reset();
                return true;
            }
            connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
            return true;
        }
        if (handOver(urls, waitMs)) {
            return false;
        }
        if (deadline.hasExpired()) {
            logLine("single instance: another launch holds the lock but does not answer");
            return true;
        }
        QThread::msleep(kRetryMs); // the first launch is still starting
    }
}

bool SingleInstance::handOver(const QStringList& urls, int waitMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectMs)) {
        return false;
    }
    QByteArray message;
    if (urls.isEmpty()) {
        message = "\n";
    }
    for (const QString& url : urls) {
        message += url.toUtf8() + "\n";
    }
    if (socket.write(message) != message.size()) {
        return false;
    }
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(waitMs)) {
            return false;
        }
    }
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        const auto read = [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine().trimmed();
                if (line.isEmpty()) {
                    emit raiseRequested();
                } else {
                    emit urlReceived(QString::fromUtf8(line));
                    emit raiseRequested();
                }
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        connect(socket, &QLocalSocket::disconnected, this, [socket, read] {
            read();
            socket->deleteLater();
        });
        read();
    }
}

} // namespace vx::ui
