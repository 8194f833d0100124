#pragma once
// MprisService: the platform's remote control — keyboard media keys, headset buttons, a
// desktop's player controls — reaches the mixing screen through MPRIS on the session D-Bus.
//
// It registers "org.mpris.MediaPlayer2.velvox" with the object /org/mpris/MediaPlayer2 carrying
// the two MPRIS interfaces: org.mpris.MediaPlayer2 (Identity "Velvox Nexa") and
// org.mpris.MediaPlayer2.Player. The player's calls become the mixing screen's remote-control
// events: PlayPause 103 (togglePlayPause), Next 104 (playNextTrack), Previous 105
// (playPreviousTrack); Play and Pause toggle only when that changes something. PlaybackStatus
// is "Playing" while a deck plays, "Paused" while a track is loaded, else "Stopped", and its
// changes are announced with PropertiesChanged when refresh() finds them.
//
// Without a session bus (or when the name is taken) nothing is registered and the application
// runs on; `registered()` says which.
//
// Threads: GUI (main) thread only; D-Bus calls are delivered on it.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <memory>

namespace vx {
class DuovexAppDelegate;
}

namespace vx::ui {

class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.velvox";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    // GUI thread: registers on `bus` (the session bus in the application) for `app`.
    MprisService(DuovexAppDelegate& app, QDBusConnection bus, QObject* parent = nullptr);
    // GUI thread: unregisters the object and the name.
    ~MprisService() override;
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    bool registered() const { return registered_; }
    // GUI thread: "Playing", "Paused" or "Stopped" from the decks now.
    QString playbackStatus() const;
    // GUI thread: announces a changed playback status on the bus.
    void refresh();

    // GUI thread: the player's calls (the adaptor forwards them).
    void playPause();
    void play();
    void pause();
    void next();
    void previous();

private:
    bool anyDeckPlays() const;
    void remoteControl(int subtype);

    DuovexAppDelegate& app_;
    QDBusConnection bus_;
    bool registered_ = false;
    QString lastStatus_;
};

} // namespace vx::ui
