#pragma once
// ShellAdapter (QML singleton `Shell`): the application-wide state the shell draws — the
// layout kind, whether the launch has finished, the sound-device notice, the alert being
// shown — and the alerts themselves: it is the core's Alerts presenter. Alerts raised while
// one is shown wait in a queue and appear one after the other.
//
// Also carries the screens the delegate switches to (browser for which deck, main menu), so
// that the layouts can show them once they exist.
//
// Threads: GUI (main) thread only. Owned by the composition root (AppCore), which registers the
// instance before QML loads; QML never owns it.

#include "platform/Alerts.h"
#include "ui/QmlSingleton.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <deque>
#include <functional>

namespace vx {
class DuovexAppDelegate;
}

namespace vx::ui {

class ShellAdapter : public QObject, public QmlSingleton<ShellAdapter>, public Alerts {
    Q_OBJECT
    QML_NAMED_ELEMENT(Shell)
    QML_SINGLETON
    Q_PROPERTY(bool tablet READ tablet NOTIFY changed)
    Q_PROPERTY(bool launched READ launched NOTIFY changed)
    Q_PROPERTY(QString audioNotice READ audioNotice NOTIFY changed)
    Q_PROPERTY(bool alertShown READ alertShown NOTIFY changed)
    Q_PROPERTY(QString alertTitle READ alertTitle NOTIFY changed)
    Q_PROPERTY(QString alertText READ alertText NOTIFY changed)
    Q_PROPERTY(QString alertButton READ alertButton NOTIFY changed)
    Q_PROPERTY(QStringList alertButtons READ alertButtons NOTIFY changed)
    Q_PROPERTY(bool alertTextField READ alertTextField NOTIFY changed)
    Q_PROPERTY(QString alertPlaceholder READ alertPlaceholder NOTIFY changed)
    Q_PROPERTY(QString alertFieldText READ alertFieldText NOTIFY changed)
    Q_PROPERTY(bool browserShown READ browserShown NOTIFY changed)
    Q_PROPERTY(int browserDeck READ browserDeck NOTIFY changed)
    Q_PROPERTY(bool mainMenuShown READ mainMenuShown NOTIFY changed)

public:
    // GUI thread. Deliberately not default-constructible: QML must take the registered
    // instance through create(), never make one of its own.
    explicit ShellAdapter(QObject* parent) : QObject(parent) {}

    // GUI thread: the delegate whose state is shown (null while none).
    void bind(DuovexAppDelegate* delegate) { delegate_ = delegate; }
    // GUI thread: the notice shown while the offline device stands in for a sound card.
    void setAudioNotice(const QString& text);
    // GUI thread: re-reads the delegate's state; emits changed() when anything differs.
    void refresh();

    // Alerts: GUI thread; queues the alert and shows it when none is up.
    void showAlert(const std::string& title, const std::string& message,
                   const std::string& button) override;
    // Alerts: GUI thread; queues the question; its answer runs when a button is pressed.
    void ask(AlertRequest request) override;

    bool tablet() const { return state_.tablet; }
    bool launched() const { return state_.launched; }
    QString audioNotice() const { return audioNotice_; }
    bool alertShown() const { return !alerts_.empty(); }
    QString alertTitle() const { return alerts_.empty() ? QString() : alerts_.front().title; }
    QString alertText() const { return alerts_.empty() ? QString() : alerts_.front().text; }
    QString alertButton() const {
        return alerts_.empty() || alerts_.front().buttons.isEmpty() ? QString()
                                                                    : alerts_.front().buttons[0];
    }
    QStringList alertButtons() const {
        return alerts_.empty() ? QStringList() : alerts_.front().buttons;
    }
    bool alertTextField() const { return !alerts_.empty() && alerts_.front().request.textField; }
    QString alertPlaceholder() const {
        return alerts_.empty() ? QString()
                               : QString::fromStdString(alerts_.front().request.placeholder);
    }
    QString alertFieldText() const {
        return alerts_.empty() ? QString() : QString::fromStdString(alerts_.front().request.text);
    }
    bool browserShown() const { return state_.browserShown; }
    int browserDeck() const { return state_.browserDeck; }
    bool mainMenuShown() const { return state_.mainMenuShown; }

    // GUI thread: the alert's first button was pressed; the next queued alert, if any, shows.
    Q_INVOKABLE void dismissAlert();
    // GUI thread: button `index` of the alert was pressed with `text` in its field: the alert
    // goes, then its answer runs (it may ask again), then the next queued alert shows.
    Q_INVOKABLE void answerAlert(int index, const QString& text);
    // GUI thread: the browser was closed without loading (the lead's browser calls this too).
    Q_INVOKABLE void closeBrowser();
    // GUI thread: the main menu closed.
    Q_INVOKABLE void closeMainMenu();
    // GUI thread: the window's content took this size (logical pixels); the composition root
    // decides whether the layout switches.
    Q_INVOKABLE void windowResized(int width, int height);
    // GUI thread: what windowResized() calls (set by the composition root).
    void setResizeHandler(std::function<void(int, int)> handler) {
        resizeHandler_ = std::move(handler);
    }

signals:
    void changed();

private:
    struct Alert {
        QString title;
        QString text;
        QStringList buttons;
        AlertRequest request; // tag, field and answer
    };
    struct State {
        bool tablet = false;
        bool launched = false;
        bool browserShown = false;
        int browserDeck = 0;
        bool mainMenuShown = false;
        bool operator==(const State&) const = default;
    };

    DuovexAppDelegate* delegate_ = nullptr;
    std::function<void(int, int)> resizeHandler_;
    State state_;
    QString audioNotice_;
    std::deque<Alert> alerts_;
};

} // namespace vx::ui
