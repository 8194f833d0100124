#pragma once
// XYPadAdapter (QML type `XYPadControl`, made by the deck adapter): a deck's FXController as
// QML properties. QML gives the pad's and the puck's size (points) and forwards each touch
// with its timestamp; the controller turns them into the effect's two parameters and its own
// events (engage on touch-down, release on touch-up).
//
// Threads: GUI (main) thread only.

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class FXController;
}

namespace vx::ui {

class XYPadAdapter : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(XYPadControl)
    QML_UNCREATABLE("made by the deck adapter")
    Q_PROPERTY(double puckX READ puckX NOTIFY changed)
    Q_PROPERTY(double puckY READ puckY NOTIFY changed)
    Q_PROPERTY(double xParam READ xParam NOTIFY changed)
    Q_PROPERTY(double yParam READ yParam NOTIFY changed)
    Q_PROPERTY(bool touched READ touched NOTIFY changed)

public:
    using Source = std::function<FXController*()>;
    // GUI thread: `source` finds the pad (null while there is none); `touched` runs after
    // every touch call.
    XYPadAdapter(Source source, std::function<void()> touched, QObject* parent = nullptr);

    // GUI thread: re-reads the pad; emits changed() when anything differs.
    void refresh();

    // Puck centre in the pad's coordinates (points); parameters 0…1 (y from the bottom).
    double puckX() const { return state_.puckX; }
    double puckY() const { return state_.puckY; }
    double xParam() const { return state_.xParam; }
    double yParam() const { return state_.yParam; }
    bool touched() const { return state_.touched; }

    // GUI thread: the pad's and the puck's size, points.
    Q_INVOKABLE void setGeometry(double width, double height, double puckWidth, double puckHeight);
    // GUI thread: a finger in the pad's coordinates (points), timestamps in seconds.
    Q_INVOKABLE void touchBegan(double x, double y, double timestamp);
    Q_INVOKABLE void touchMoved(double x, double y, double timestamp);
    Q_INVOKABLE void touchEnded(double x, double y, double timestamp);
    Q_INVOKABLE void touchCancelled();

signals:
    void changed();

private:
    struct State {
        double puckX = 0;
        double puckY = 0;
        double xParam = 0.5;
        double yParam = 0.5;
        bool touched = false;
        bool operator==(const State&) const = default;
    };
    void afterTouch();

    Source source_;
    std::function<void()> touched_;
    State state_;
};

} // namespace vx::ui
