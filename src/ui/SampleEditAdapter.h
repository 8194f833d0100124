#pragma once
// SampleEditAdapter (QML singleton `SampleLibrary`): the sample library's face. Its properties
// are SampleEdit's plain state — the rows (file name, information line, pad label, playing),
// the selected row, the row whose pad-choice overlay is open — and the microphone recorder's
// overlay (level, elapsed time). Its invokables forward the screen's touches: open and close,
// row taps, previews, the overlay's pad buttons, delete, rename, copy, paste, the preview
// volume, the microphone's start and stop, and the Wi-Fi button (this screen is the transfer's
// caller: the list is rebuilt when the server stops).
//
// State is pulled by refresh() from the composition root every 0.1 s and after every
// invokable; the controller is made by the delegate on the first open.
//
// Threads: GUI (main) thread only. Owned by the composition root, which registers the instance
// before QML loads.

#include "app/WiFiTransfer.h"
#include "ui/QmlSingleton.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vx {
class DuovexAppDelegate;
class SampleEdit;
} // namespace vx

namespace vx::ui {

class SampleEditAdapter : public QObject,
                          public QmlSingleton<SampleEditAdapter>,
                          public ServerCaller {
    Q_OBJECT
    QML_NAMED_ELEMENT(SampleLibrary)
    QML_SINGLETON
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY changed)
    Q_PROPERTY(int selectedRow READ selectedRow NOTIFY changed)
    Q_PROPERTY(int overlayRow READ overlayRow NOTIFY changed)
    Q_PROPERTY(double volume READ volume NOTIFY changed)
    Q_PROPERTY(bool recorderShown READ recorderShown NOTIFY changed)
    Q_PROPERTY(double recordLevel READ recordLevel NOTIFY changed)
    Q_PROPERTY(QString recordTime READ recordTime NOTIFY changed)

public:
    // GUI thread: the library of `app`; `acted` runs after every invokable.
    SampleEditAdapter(DuovexAppDelegate& app, std::function<void()> acted,
                      QObject* parent = nullptr);
    ~SampleEditAdapter() override;

    // GUI thread: re-reads the controller and the recorder; emits changed() when anything
    // differs.
    void refresh();

    bool shown() const { return s_.shown; }
    // One map per row: fileName, info, padLabel, playing.
    QVariantList rows() const { return s_.rows; }
    int selectedRow() const { return s_.selectedRow; }
    int overlayRow() const { return s_.overlayRow; }
    double volume() const { return volume_; }
    bool recorderShown() const { return s_.recorderShown; }
    double recordLevel() const { return s_.recordLevel; }
    QString recordTime() const { return s_.recordTime; }

    // The transfer stopped: the folder may hold new files.
    void serverStoped() override;

    // --- invokables (GUI thread) -----------------------------------------------------------
    // The mixing screen's SAMPLES button.
    Q_INVOKABLE void open();
    Q_INVOKABLE void close();
    Q_INVOKABLE void select(int row);
    Q_INVOKABLE void play(int row);
    // The row's pad label: opens the pad-choice overlay on that row.
    Q_INVOKABLE void showOverlay(int row);
    // An overlay button: tags 100…105 assign pads 1…6, any other clears the file's pad.
    Q_INVOKABLE void setSample2Button(int tag);
    Q_INVOKABLE void deleteRow(int row);
    Q_INVOKABLE void rename();
    Q_INVOKABLE void copy();
    Q_INVOKABLE void paste();
    // The preview volume slider, 0…1.
    Q_INVOKABLE void setVolume(double value);
    // The microphone: starts a take (the overlay opens) / stops it (the take is kept).
    Q_INVOKABLE void record();
    Q_INVOKABLE void stopRecording();
    Q_INVOKABLE void server();

signals:
    void changed();

private:
    struct State {
        bool shown = false;
        QVariantList rows;
        int selectedRow = -1;
        int overlayRow = -1;
        bool recorderShown = false;
        double recordLevel = 0;
        QString recordTime;
        bool operator==(const State&) const = default;
    };
    SampleEdit* edit() const;
    void acted();

    DuovexAppDelegate& app_;
    std::function<void()> acted_;
    State s_;
    double volume_ = 1.0;
    bool recording_ = false;
};

} // namespace vx::ui
