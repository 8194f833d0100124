#pragma once
// SliderAdapter (QML type `SliderControl`, made by the deck and mixer adapters): one AMSlider
// of a controller as QML properties. QML gives it the control's size and its pointer's size
// (points = QML pixels) and forwards each touch with its timestamp; the core control turns
// them into values and events, which reach the controller's handlers by themselves. The
// adapter then tells its owner, which refreshes the screen's state.
//
// The slider belongs to a controller that may not exist yet (before the launch continues) or
// any more (the party screen closed): the adapter asks for it on every use and does nothing
// without it.
//
// Threads: GUI (main) thread only.

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class AMSlider;
}

namespace vx::ui {

class SliderAdapter : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(SliderControl)
    QML_UNCREATABLE("made by the screen adapters")
    Q_PROPERTY(double value READ value NOTIFY changed)
    Q_PROPERTY(double pointerX READ pointerX NOTIFY changed)
    Q_PROPERTY(double pointerY READ pointerY NOTIFY changed)
    Q_PROPERTY(double pointerWidth READ pointerWidth NOTIFY changed)
    Q_PROPERTY(double pointerHeight READ pointerHeight NOTIFY changed)
    Q_PROPERTY(bool selected READ selected NOTIFY changed)
    Q_PROPERTY(bool overShown READ overShown NOTIFY changed)

public:
    using Source = std::function<AMSlider*()>;
    // GUI thread: `source` finds the control (null while there is none); `touched` runs after
    // every touch call.
    SliderAdapter(Source source, std::function<void()> touched, QObject* parent = nullptr);

    // GUI thread: re-reads the control; emits changed() when anything differs.
    void refresh();
    // GUI thread: a touch that neither caught the pointer nor jumped it ends as a cancel, so
    // the control reports no touch-up for it (the crossfader's track is no button).
    void setTapsOffPointerIgnored(bool on) { tapsOffPointerIgnored_ = on; }

    double value() const { return state_.value; }
    double pointerX() const { return state_.pointerX; }
    double pointerY() const { return state_.pointerY; }
    double pointerWidth() const { return state_.pointerWidth; }
    double pointerHeight() const { return state_.pointerHeight; }
    bool selected() const { return state_.selected; }
    bool overShown() const { return state_.overShown; }

    // GUI thread: the control's size and its pointer's size in points, and its axis.
    Q_INVOKABLE void setGeometry(double width, double height, double pointerWidth,
                                 double pointerHeight, bool horizontal);
    // GUI thread: a finger in the control's own coordinates (points), timestamps in seconds
    // (any origin: only differences count).
    Q_INVOKABLE void touchBegan(double x, double y, double timestamp);
    Q_INVOKABLE void touchMoved(double x, double y, double timestamp);
    Q_INVOKABLE void touchEnded(double x, double y, double timestamp);
    Q_INVOKABLE void touchCancelled();

signals:
    void changed();

private:
    struct State {
        double value = 0.5;
        double pointerX = 0;
        double pointerY = 0;
        double pointerWidth = 0;
        double pointerHeight = 0;
        bool selected = false;
        bool overShown = false;
        bool operator==(const State&) const = default;
    };
    struct Geometry {
        double width = 0;
        double height = 0;
        double pointerWidth = 0;
        double pointerHeight = 0;
        bool horizontal = true;
        bool known = false;
    };
    void afterTouch();
    void applyGeometry(AMSlider& s);

    Source source_;
    std::function<void()> touched_;
    State state_;
    // The view's last geometry, and the control it was last given to.
    Geometry geometry_;
    AMSlider* sized_ = nullptr;
    bool tapsOffPointerIgnored_ = false;
};

} // namespace vx::ui
