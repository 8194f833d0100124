#include "ui/ShellAdapter.h"

#include "app/DuovexAppDelegate.h"

#include <QJSEngine>
#include <QQmlEngine>

namespace vx::ui {

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
                       QStringList{QString::fromStdString(button)}, AlertRequest{}});
    if (alerts_.size() == 1) {
        emit changed();
    }
}

void ShellAdapter::ask(AlertRequest request) {
    QStringList buttons;
    for (const std::string& b : request.buttons) {
        buttons.append(QString::fromStdString(b));
    }
    if (buttons.isEmpty()) {
        buttons.append(QStringLiteral("OK")); // a box must always be closable
    }
    alerts_.push_back({QString::fromStdString(request.title),
                       QString::fromStdString(request.message), buttons, std::move(request)});
    if (alerts_.size() == 1) {
        emit changed();
    }
}

void ShellAdapter::dismissAlert() {
    answerAlert(0, alertFieldText());
}

void ShellAdapter::answerAlert(int index, const QString& text) {
    if (alerts_.empty() || index < 0 || index >= alerts_.front().buttons.size()) {
        return;
    }
    const AlertRequest request = std::move(alerts_.front().request);
    alerts_.pop_front();
    if (request.answer) {
        request.answer(index, request.tag, text.toStdString());
    }
    emit changed();
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

void ShellAdapter::windowResized(int width, int height) {
    if (resizeHandler_) {
        resizeHandler_(width, height);
    }
}

} // namespace vx::ui
