#include "ui/MprisService.h"

#include "app/DuovexAppDelegate.h"
#include "deck/SampleTestController.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "platform/Log.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace vx::ui {

namespace {

constexpr int kTogglePlayPause = 103;
constexpr int kNextTrack = 104;
constexpr int kPreviousTrack = 105;

} // namespace

// org.mpris.MediaPlayer2: who the player is. Nothing to raise or quit from outside.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(bool CanQuit READ no)
    Q_PROPERTY(bool CanRaise READ no)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

public:
    explicit MprisRootAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    QString identity() const { return QStringLiteral("Velvox Nexa"); }
    QString desktopEntry() const { return QStringLiteral("velvox"); }
    bool no() const { return false; }
    QStringList none() const { return {}; }

public slots:
    void Raise() {}
    void Quit() {}
};

// org.mpris.MediaPlayer2.Player: the transport the media keys drive.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ yes)
    Q_PROPERTY(bool CanGoPrevious READ yes)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)

public:
    MprisPlayerAdaptor(MprisService& service, QObject* parent)
        : QDBusAbstractAdaptor(parent), service_(service) {}
    QString playbackStatus() const { return service_.playbackStatus(); }
    double one() const { return 1.0; }
    QVariantMap metadata() const { return {}; }
    qlonglong position() const { return 0; }
    bool yes() const { return true; }
    bool no() const { return false; }

public slots:
    void PlayPause() { service_.playPause(); }
    void Play() { service_.play(); }
    void Pause() { service_.pause(); }
    void Next() { service_.next(); }
    void Previous() { service_.previous(); }
    void Stop() { service_.pause(); }

private:
    MprisService& service_;
};

MprisService::MprisService(DuovexAppDelegate& app, QDBusConnection bus, QObject* parent)
    : QObject(parent), app_(app), bus_(std::move(bus)) {
    if (!bus_.isConnected()) {
        logLine("no session bus: media keys are not available");
        return;
    }
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(*this, this);
    if (!bus_.registerObject(QString::fromLatin1(kObjectPath), this)) {
        logLine("media keys: %s", bus_.lastError().message().toUtf8().constData());
        return;
    }
    if (!bus_.registerService(QString::fromLatin1(kServiceName))) {
        logLine("media keys: %s", bus_.lastError().message().toUtf8().constData());
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
        return;
    }
    registered_ = true;
    lastStatus_ = playbackStatus();
}

MprisService::~MprisService() {
    if (registered_) {
        bus_.unregisterService(QString::fromLatin1(kServiceName));
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

bool MprisService::anyDeckPlays() const {
    AudioOut* engine = app_.engine();
    if (!engine || !engine->initialized()) {
        return false;
    }
    return engine->deck(0).isPlaying.load() || engine->deck(1).isPlaying.load();
}

QString MprisService::playbackStatus() const {
    if (anyDeckPlays()) {
        return QStringLiteral("Playing");
    }
    AudioOut* engine = app_.engine();
    const bool loaded = engine && engine->initialized() &&
                        (engine->deck(0).isLoaded.load() || engine->deck(1).isLoaded.load());
    return loaded ? QStringLiteral("Paused") : QStringLiteral("Stopped");
}

void MprisService::refresh() {
    if (!registered_) {
        return;
    }
    const QString status = playbackStatus();
    if (status == lastStatus_) {
        return;
    }
    lastStatus_ = status;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player")
           << QVariantMap{{QStringLiteral("PlaybackStatus"), status}} << QStringList();
    bus_.send(signal);
}

void MprisService::remoteControl(int subtype) {
    if (SampleTestController* screen = app_.mixingScreen()) {
        screen->remoteControlReceived(subtype);
    }
    refresh();
}

void MprisService::playPause() {
    remoteControl(kTogglePlayPause);
}

void MprisService::play() {
    if (!anyDeckPlays()) {
        remoteControl(kTogglePlayPause);
    }
}

void MprisService::pause() {
    if (anyDeckPlays()) {
        remoteControl(kTogglePlayPause);
    }
}

void MprisService::next() {
    remoteControl(kNextTrack);
}

void MprisService::previous() {
    remoteControl(kPreviousTrack);
}

} // namespace vx::ui

#include "MprisService.moc"
