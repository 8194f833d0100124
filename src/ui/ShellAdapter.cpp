#include "ui/ShellAdapter.h"

#include "app/DuovexAppDelegate.h"

#include <QJSEngine>
#include <QQmlEngine>

namespace vx::ui {

namespace {
ShellAdapter* registered = nullptr;
} // namespace

void ShellAdapter::setInstance(ShellAdapter* instance) {
    registered = instance;
}

ShellAdapter* ShellAdapter::create(QQmlEngine*, QJSEngine*) {
    if (registered) {
        QJSEngine::setObjectOwnership(registered, QJSEngine::CppOwnership);
    }
    return registered;
}

void ShellAdapter::setAudioNotice(const QString& text) {
    audioNotice_ = text;
    emit changed();
}

void ShellAdapter::refresh() {
    State next;
    if (delegate_) {
        next.tablet = delegate_->isTablet();
        next.launched = delegate_->launched();
        next.browserShown = delegate_->loadFileShown();
        next.browserDeck = delegate_->sideToLoad();
        next.mainMenuShown = delegate_->mainMenuShown();
    }
    if (!(next == state_)) {
        state_ = next;
        emit changed();
    }
}

void ShellAdapter::showAlert(const std::string& title, const std::string& message,
                             const std::string& button) {
    alerts_.push_back({QString::fromStdString(title), QString::fromStdString(message),
                       QString::fromStdString(button)});
    if (alerts_.size() == 1) {
        emit changed();
    }
}

void ShellAdapter::dismissAlert() {
    if (!alerts_.empty()) {
        alerts_.pop_front();
        emit changed();
    }
}

void ShellAdapter::closeBrowser() {
    if (delegate_ && delegate_->loadFileShown()) {
        delegate_->loadFileDidHide();
    }
    refresh();
}

void ShellAdapter::closeMainMenu() {
    if (delegate_ && delegate_->mainMenuShown()) {
        delegate_->hideMenu();
    }
    refresh();
}

} // namespace vx::ui
