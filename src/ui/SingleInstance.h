#pragma once
// SingleInstance: one running application per home. The first launch listens on a local socket
// in its private temporary folder; a later launch on the same home connects, hands over the
// URLs it was given (or nothing, which asks for a raise) and exits.
//
// A lock file beside the socket decides who is first, so two launches at the same moment never
// both listen (nor remove each other's socket); a lock left by a process that died is taken
// over. A launch that finds the lock held but nobody listening yet (the first one is still
// starting) retries for a few seconds.
//
// Protocol: UTF-8 lines; each non-empty line is one URL, an empty line only asks for a raise.
// The sender writes its lines and closes; what it wrote stays readable after it exits.
//
// Threads: GUI thread only.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <filesystem>
#include <memory>

namespace vx::ui {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // GUI thread: for the home whose private temporary folder is `folder` (must exist).
    explicit SingleInstance(const std::filesystem::path& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // GUI thread: true when this process is the first: it now listens. False when another
    // instance runs and took `urls` (a raise when empty); the caller then exits. Also true,
    // with a log line, when neither works (this process runs on its own).
    bool claim(const QStringList& urls, int waitMs = 5000);
    // The socket's path.
    QString serverName() const { return socketPath_; }

signals:
    // A later launch handed over a URL.
    void urlReceived(const QString& url);
    // A later launch asked for the window to come to the front.
    void raiseRequested();

private:
    bool handOver(const QStringList& urls, int waitMs);
    void accept();

    QString socketPath_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace vx::ui
