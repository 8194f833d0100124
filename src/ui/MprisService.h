#pragma once
// MprisService: the platform's remote control — keyboard media keys, headset buttons, a
// desktop's player controls — reaches the mixing screen through MPRIS on the session D-Bus.
//
// It registers "org.mpris.MediaPlayer2.velvox" with the object /org/mpris/MediaPlayer2 carrying
// the two MPRIS interfaces: org.mpris.MediaPlayer2 (Identity "Velvox Nexa") and
// org.mpris.MediaPlayer2.Player. The player's calls become the mixing screen's remote-control
// events: PlayPause 103 (togglePlayPause), Next 104 (playNextTrack), Previous 105
// (playPreviousTrack); Play and Pause toggle only when that changes something. PlaybackStatus
// is "Playing" while a deck plays, "Paused" while a track is loaded, else "Stopped".
//
// Metadata and Position describe the deck that is heard: of the loaded decks, one that plays
// before one that does not, then the one the crossfader lets through more (deck 0 on a tie).
// Metadata carries its title (xesam:title), artist (xesam:artist), length (mpris:length, µs)
// and a track id (mpris:trackid) made from the deck and the track; Position is that deck's
// play position in µs. refresh() announces a changed PlaybackStatus or Metadata with one
// PropertiesChanged; Position, as MPRIS has it, is read when asked, and a jump of the heard
// deck's position (a cue, a seek, another deck heard) is announced with Seeked.
//
// Without a session bus (or when the name is taken) nothing is registered and the application
// runs on; `registered()` says which.
//
// Threads: GUI (main) thread only; D-Bus calls are delivered on it.

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVariantMap>

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
    // GUI thread: the heard deck's track (only a "no track" id when no deck is loaded), and
    // its position in microseconds (0 without a track).
    QVariantMap metadata() const;
    qlonglong position() const;
    // GUI thread: announces a changed playback status or track on the bus, or a jump in the
    // heard deck's position.
    void refresh();

    // GUI thread: the player's calls (the adaptor forwards them).
    void playPause();
    void play();
    void pause();
    void next();
    void previous();

private:
    bool anyDeckPlays() const;
    // The deck heard (see above), or -1 when none is loaded.
    int heardDeck() const;
    void remoteControl(int subtype);

    DuovexAppDelegate& app_;
    QDBusConnection bus_;
    bool registered_ = false;
    QString lastStatus_;
    QVariantMap lastMetadata_;
    // The heard deck's position and speed at the last refresh, and the clock since then: the
    // position expected now.
    qlonglong lastPositionUs_ = 0;
    double lastSpeed_ = 0.0;
    QElapsedTimer sinceRefresh_;
};

} // namespace vx::ui
