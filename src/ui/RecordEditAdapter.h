#pragma once
// RecordEditAdapter (QML singleton `Recordings`): the recordings list's face. Its properties
// are RecordEdit's plain state — the rows (name, extension, size, duration, playing), the
// selected recording's name, the two time labels, whether a conversion runs — and the
// position slider, an AMSlider whose touches pause, seek and resume the playback. Its
// invokables forward the screen's touches: close, row taps, play, convert, share, rename,
// delete, paste and the Wi-Fi button (this screen is the transfer's caller: the list is
// rebuilt when the server stops).
//
// The screen shows while the delegate's recordingsShown flag is set (the menu's RECORDINGS
// entry, or its record button ending a recording); refresh() makes the controller appear and
// go with it. While a recording plays, the adapter re-reads the slider and the labels every
// 0.02 s, as the controller updates them; otherwise every 0.1 s with the other adapters.
//
// Threads: GUI (main) thread only. Owned by the composition root, which registers the instance
// before QML loads.

#include "app/WiFiTransfer.h"
#include "deck/AMSlider.h"
#include "ui/QmlSingleton.h"
#include "ui/SliderAdapter.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
class RecordEdit;
} // namespace vx

namespace vx::ui {

class RecordEditAdapter : public QObject,
                          public QmlSingleton<RecordEditAdapter>,
                          public ServerCaller {
    Q_OBJECT
    QML_NAMED_ELEMENT(Recordings)
    QML_SINGLETON
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY changed)
    Q_PROPERTY(int selectedRow READ selectedRow NOTIFY changed)
    Q_PROPERTY(QString recordName READ recordName NOTIFY changed)
    Q_PROPERTY(QString positionBefore READ positionBefore NOTIFY changed)
    Q_PROPERTY(QString positionAfter READ positionAfter NOTIFY changed)
    Q_PROPERTY(double position READ position NOTIFY changed)
    Q_PROPERTY(bool converting READ converting NOTIFY changed)
    Q_PROPERTY(bool canConvert READ canConvert NOTIFY changed)
    Q_PROPERTY(bool canShare READ canShare NOTIFY changed)
    Q_PROPERTY(vx::ui::SliderAdapter* playSlider READ playSlider CONSTANT)

public:
    static constexpr int kSliderRefreshMs = 20;

    // GUI thread: the recordings list of `app`; `acted` runs after every invokable.
    RecordEditAdapter(DuovexAppDelegate& app, std::function<void()> acted,
                      QObject* parent = nullptr);
    ~RecordEditAdapter() override;

    // GUI thread: shows or hides the controller as the delegate asks, re-reads it; emits
    // changed() when anything differs.
    void refresh();

    bool shown() const { return s_.shown; }
    // One map per row: fileName, extension, size, duration, playing.
    QVariantList rows() const { return s_.rows; }
    int selectedRow() const { return s_.selectedRow; }
    QString recordName() const { return s_.recordName; }
    QString positionBefore() const { return s_.positionBefore; }
    QString positionAfter() const { return s_.positionAfter; }
    double position() const { return s_.position; }
    bool converting() const { return s_.converting; }
    bool canConvert() const { return s_.canConvert; }
    bool canShare() const { return s_.canShare; }
    SliderAdapter* playSlider() const { return sliderAdapter_; }

    // The transfer stopped: the folder may hold new files.
    void serverStoped() override;

    // --- invokables (GUI thread) -----------------------------------------------------------
    Q_INVOKABLE void open();
    Q_INVOKABLE void close();
    Q_INVOKABLE void select(int row);
    Q_INVOKABLE void play(int row);
    Q_INVOKABLE void convert();
    Q_INVOKABLE void share();
    Q_INVOKABLE void rename();
    Q_INVOKABLE void deleteRow(int row);
    Q_INVOKABLE void paste();
    Q_INVOKABLE void server();

signals:
    void changed();

private:
    struct State {
        bool shown = false;
        QVariantList rows;
        int selectedRow = -1;
        QString recordName;
        QString positionBefore;
        QString positionAfter;
        double position = 0;
        bool converting = false;
        bool canConvert = false;
        bool canShare = false;
        bool operator==(const State&) const = default;
    };
    RecordEdit* edit() const;
    void sliderEvent(AMSlider::Event event);
    void acted();

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    State s_;
    AMSlider slider_;
    // A finger holds the pointer (the playback is paused for the drag).
    bool held_ = false;
    SliderAdapter* sliderAdapter_;
    QTimer follow_;
};

} // namespace vx::ui
