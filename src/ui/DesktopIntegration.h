#pragma once
// DesktopIntegration: what makes the shell a desktop application beside its window — one
// running instance per home that later launches hand their URLs to, URLs given on the command
// line ("velvox korvane.velvox://pastefile:Song.mp3", as the desktop file's Exec line passes
// them), and the system clipboard as the application's pasteboard.
//
// Order in main: construct (after the QGuiApplication), claim (before the core is built: a
// later launch exits here), then attach to the built core. Destroy it after the core, which
// borrows its pasteboard.
//
// Threads: GUI thread only.

#include "platform/Paths.h"
#include "ui/ClipboardPasteboard.h"
#include "ui/SingleInstance.h"

#include <QObject>
#include <QStringList>

#include <string>
#include <vector>

namespace vx::ui {

class AppCore;

// Any thread: removes the URL arguments (those holding "://") from `args` and returns them.
QStringList takeUrlArguments(std::vector<std::string>& args);

class DesktopIntegration final : public QObject {
    Q_OBJECT
public:
    // GUI thread: for the home of `paths` (its temporary folder is created when missing).
    explicit DesktopIntegration(const Paths& paths, QObject* parent = nullptr);
    // GUI thread: true when this launch is the running instance now; false when it handed
    // `urls` (or a raise) to the instance that runs, and should exit.
    bool claim(const QStringList& urls);
    // GUI thread: the core pastes from the system clipboard; URLs from later launches and
    // `urls` (this launch's) go to its open-URL handler; raise requests raise the window.
    void attach(AppCore& core, const QStringList& urls);
    ClipboardPasteboard& pasteboard() { return clipboard_; }

private:
    void open(const QString& url);
    static void raiseWindows();

    ClipboardPasteboard clipboard_;
    SingleInstance instance_;
    AppCore* core_ = nullptr;
};

} // namespace vx::ui
