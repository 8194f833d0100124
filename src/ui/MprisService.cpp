#include "ui/MprisService.h"

#include "app/DuovexAppDelegate.h"
#include "deck/SampleTestController.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"
#include "platform/Log.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

#include <cstdlib>

namespace vx::ui {

namespace {

constexpr int kTogglePlayPause = 103;
constexpr int kNextTrack = 104;
constexpr int kPreviousTrack = 105;
// The decks' decoded audio runs at this rate (frames per second).
constexpr double kFrameRate = 44100.0;
// A heard position this far (µs) from where the last one ran to is a jump, announced.
constexpr qlonglong kJumpUs = 1'000'000;
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

qlonglong microseconds(double frames) {
    return frames > 0.0 ? qlonglong(frames / kFrameRate * 1e6) : 0;
}

// FNV-1a over the track's description: the same track on the same deck keeps its id.
quint64 trackHash(const QString& text) {
    quint64 h = 14695981039346656037ull;
    for (const QChar c : text) {
        h = (h ^ c.unicode()) * 1099511628211ull;
    }
    return h;
}

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
    QVariantMap metadata() const { return service_.metadata(); }
    qlonglong position() const { return service_.position(); }
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
    lastMetadata_ = metadata();
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

int MprisService::heardDeck() const {
    AudioOut* engine = app_.engine();
    if (!engine || !engine->initialized()) {
        return -1;
    }
    int heard = -1;
    double best = -1.0;
    for (int d = 0; d < 2; ++d) {
        const audioStream& s = engine->deck(d);
        if (!s.isLoaded.load()) {
            continue;
        }
        const double score = (s.isPlaying.load() ? 10.0 : 0.0) + double(s.faderGain.load());
        if (score > best) {
            best = score;
            heard = d;
        }
    }
    return heard;
}

QVariantMap MprisService::metadata() const {
    const int d = heardDeck();
    const SampleTestController* screen = app_.mixingScreen();
    if (d < 0 || !screen) {
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack)))}};
    }
    const QString title = QString::fromStdString(screen->view(d).title.text);
    const QString artist = QString::fromStdString(screen->view(d).artist.text);
    const qlonglong length = microseconds(app_.engine()->deck(d).lengthFrames.load());
    const QString id =
        QStringLiteral("/org/velvox/Nexa/deck%1/track_%2")
            .arg(d)
            .arg(trackHash(title + QChar(0) + artist + QChar(0) + QString::number(length)), 16, 16,
                 QLatin1Char('0'));
    QVariantMap m{{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(id))},
                  {QStringLiteral("mpris:length"), length},
                  {QStringLiteral("xesam:title"), title}};
    if (!artist.isEmpty()) {
        m.insert(QStringLiteral("xesam:artist"), QStringList{artist});
    }
    return m;
}

qlonglong MprisService::position() const {
    const int d = heardDeck();
    return d < 0 ? 0 : microseconds(app_.engine()->deck(d).position.load());
}

void MprisService::refresh() {
    if (!registered_) {
        return;
    }
    QVariantMap changed;
    const QString status = playbackStatus();
    if (status != lastStatus_) {
        lastStatus_ = status;
        changed.insert(QStringLiteral("PlaybackStatus"), status);
    }
    const QVariantMap meta = metadata();
    const bool newTrack = meta != lastMetadata_;
    if (newTrack) {
        lastMetadata_ = meta;
        changed.insert(QStringLiteral("Metadata"), meta);
    }
    if (!changed.isEmpty()) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
        bus_.send(signal);
    }

    // Where the heard deck would be had it run on since the last refresh; far from it, the
    // position jumped.
    const qlonglong now = position();
    const int d = heardDeck();
    const double speed = d >= 0 && app_.engine()->deck(d).isPlaying.load()
                             ? app_.engine()->deck(d).speed.load()
                             : 0.0;
    const qlonglong expected =
        sinceRefresh_.isValid()
            ? lastPositionUs_ + qlonglong(double(sinceRefresh_.nsecsElapsed()) / 1e3 * lastSpeed_)
            : now;
    if (!newTrack && std::llabs(now - expected) > kJumpUs) {
        QDBusMessage seeked = QDBusMessage::createSignal(
            QString::fromLatin1(kObjectPath), QStringLiteral("org.mpris.MediaPlayer2.Player"),
            QStringLiteral("Seeked"));
        seeked << now;
        bus_.send(seeked);
    }
    lastPositionUs_ = now;
    lastSpeed_ = speed;
    sinceRefresh_.start();
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
