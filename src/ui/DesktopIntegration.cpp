#include "ui/DesktopIntegration.h"

#include "app/DuovexAppDelegate.h"
#include "platform/Log.h"
#include "ui/AppCore.h"

#include <QGuiApplication>
#include <QWindow>

namespace vx::ui {

namespace {

std::filesystem::path preparedTemporary(const Paths& paths) {
    std::string error;
    if (!paths.ensureWritableFolders(&error)) {
        logLine("%s", error.c_str());
    }
    return paths.temporary();
}

} // namespace

QStringList takeUrlArguments(std::vector<std::string>& args) {
    QStringList urls;
    for (auto it = args.begin(); it != args.end();) {
        if (it->rfind("--", 0) != 0 && it->find("://") != std::string::npos) {
            urls.push_back(QString::fromStdString(*it));
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    return urls;
}

DesktopIntegration::DesktopIntegration(const Paths& paths, QObject* parent)
    : QObject(parent), instance_(preparedTemporary(paths)) {}

bool DesktopIntegration::claim(const QStringList& urls) {
    return instance_.claim(urls);
}

void DesktopIntegration::attach(AppCore& core, const QStringList& urls) {
    core_ = &core;
    core.delegate().setPasteboard(&clipboard_);
    connect(&instance_, &SingleInstance::urlReceived, this, &DesktopIntegration::open);
    connect(&instance_, &SingleInstance::raiseRequested, this, &DesktopIntegration::raiseWindows);
    for (const QString& url : urls) {
        open(url); // waits in the delegate until the launch has finished
    }
}

void DesktopIntegration::open(const QString& url) {
    if (core_) {
        core_->delegate().handleOpenURL(url.toStdString());
    }
}

void DesktopIntegration::raiseWindows() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible()) {
            window->showNormal();
            window->raise();
            window->requestActivate();
        }
    }
}

} // namespace vx::ui
