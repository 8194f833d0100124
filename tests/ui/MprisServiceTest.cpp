// Media keys: the application's MPRIS player on a private session bus (a dbus-daemon this test
// starts and stops), driven with dbus-send as a desktop's media-key handler would.

#include "ui/MprisService.h"
#include "UiShellFixture.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vx::ui {
namespace {

using namespace shelltest;

// A session bus of its own for the test's lifetime.
class PrivateBus {
public:
    PrivateBus() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            return;
        }
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForReadyRead(5000)) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("vx-mpris-test"));
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    const QString& address() const { return address_; }
    QDBusConnection connection() const {
        return QDBusConnection::connectToBus(address_, QStringLiteral("vx-mpris-test"));
    }

    // Runs dbus-send against the bus while the event loop serves the call; its output.
    QString send(const QStringList& arguments) const {
        QProcess p;
        p.start(QStringLiteral("dbus-send"),
                QStringList{QStringLiteral("--bus=") + address_, QStringLiteral("--print-reply"),
                            QStringLiteral("--dest=") + QLatin1String(MprisService::kServiceName),
                            QLatin1String(MprisService::kObjectPath)} +
                    arguments);
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, kStateWaitMs)) {
            p.kill();
            p.waitForFinished();
        }
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    }
    QString call(const char* method) const {
        return send({QStringLiteral("org.mpris.MediaPlayer2.Player.") + QLatin1String(method)});
    }
    QString property(const char* interface, const char* name) const {
        return send({QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                     QStringLiteral("string:") + QLatin1String(interface),
                     QStringLiteral("string:") + QLatin1String(name)});
    }

private:
    QProcess daemon_;
    QString address_;
};

// The private bus and the running shell (phone layout, both decks loaded).
class MprisServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (bus.address().isEmpty()) {
            GTEST_SKIP() << "no dbus-daemon could be started here: the media-key path is not "
                            "tested";
        }
        ASSERT_TRUE(shell.ready());
    }

    PrivateBus bus;
    RunningShell shell{false};
};

TEST_F(MprisServiceTest, MediaKeysDriveTheDecksOverTheSessionBus) {
    auto mpris = std::make_unique<MprisService>(shell.app(), bus.connection());
    ASSERT_TRUE(mpris->registered());

    EXPECT_TRUE(bus.property("org.mpris.MediaPlayer2", "Identity").contains("\"Velvox Nexa\""));
    EXPECT_TRUE(
        bus.property("org.mpris.MediaPlayer2.Player", "PlaybackStatus").contains("\"Paused\""));

    shell.screen()->play(0);
    ASSERT_TRUE(shell.deck(0)->isPlaying.load());
    EXPECT_TRUE(
        bus.property("org.mpris.MediaPlayer2.Player", "PlaybackStatus").contains("\"Playing\""));
    struct Step {
        const char* method;
        bool playsAfter;
    };
    // PlayPause toggles (remembering the deck that played); Play and Pause only act when
    // they change something; Next and Previous belong to party mode and leave the deck alone.
    const Step steps[] = {{"PlayPause", false}, {"PlayPause", true}, {"Play", true},
                          {"Pause", false},     {"Pause", false},    {"Play", true},
                          {"Next", true},       {"Previous", true}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.method);
        const double before = shell.deck(0)->position.load();
        bus.call(s.method);
        EXPECT_EQ(shell.deck(0)->isPlaying.load(), s.playsAfter);
        EXPECT_FALSE(shell.deck(1)->isPlaying.load());
        EXPECT_GE(shell.deck(0)->position.load(), before) << "nothing rewinds";
    }

    // Gone with the service: the name is free again.
    mpris.reset();
    QProcess owner;
    owner.start(QStringLiteral("dbus-send"),
                {QStringLiteral("--bus=") + bus.address(), QStringLiteral("--print-reply"),
                 QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/"),
                 QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                 QStringLiteral("string:") + QLatin1String(MprisService::kServiceName)});
    ASSERT_TRUE(owner.waitForFinished(kStateWaitMs));
    EXPECT_TRUE(owner.readAllStandardOutput().contains("boolean false"));
}

// What a desktop's player widget shows: the heard deck's title, artist, length and track id,
// its position, a PropertiesChanged carrying the new track when another deck is heard, and a
// Seeked when the heard deck jumps back, none while it just plays on (watched with
// dbus-monitor, a separate client of the bus).
TEST_F(MprisServiceTest, MetadataAndPositionFollowTheHeardDeck) {
    SampleTestController& screen = *shell.screen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !screen.view(1).title.text.empty(); }, kStateWaitMs));
    const QString title0 = QString::fromStdString(screen.view(0).title.text);
    const QString title1 = QString::fromStdString(screen.view(1).title.text);
    ASSERT_NE(title0, title1) << "the decks' tracks must differ";
    MprisService mpris(shell.app(), bus.connection());
    ASSERT_TRUE(mpris.registered());
    const auto metadata = [&] { return bus.property("org.mpris.MediaPlayer2.Player", "Metadata"); };

    // Both paused at the crossfader's middle: deck 0.
    QString meta = metadata();
    EXPECT_TRUE(meta.contains("\"" + title0 + "\"")) << meta.toStdString();
    const qlonglong length0 = qlonglong(shell.deck(0)->lengthFrames.load() / 44100.0 * 1e6);
    ASSERT_GT(length0, 0);
    EXPECT_TRUE(meta.contains(QStringLiteral("int64 %1").arg(length0))) << meta.toStdString();
    EXPECT_TRUE(meta.contains(QStringLiteral("object path \"/org/velvox/Nexa/deck0/track_")))
        << meta.toStdString();

    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--address"), bus.address(),
                   QStringLiteral("type='signal',member='PropertiesChanged'"),
                   QStringLiteral("type='signal',member='Seeked'")});
    ASSERT_TRUE(monitor.waitForStarted(kStateWaitMs));
    QTest::qWait(300); // its match rule is in place
    // Deck 1 plays alone: it is heard; its position runs on.
    screen.play(1);
    ASSERT_TRUE(shell.deck(1)->isPlaying.load());
    mpris.refresh();
    meta = metadata();
    EXPECT_TRUE(meta.contains("\"" + title1 + "\"")) << meta.toStdString();
    EXPECT_TRUE(meta.contains(QStringLiteral("/org/velvox/Nexa/deck1/track_")))
        << meta.toStdString();
    const auto position = [&] {
        const QString reply = bus.property("org.mpris.MediaPlayer2.Player", "Position");
        const qsizetype at = reply.indexOf(QStringLiteral("int64 "));
        return at < 0 ? -1 : reply.mid(at + 6).trimmed().toLongLong();
    };
    const qlonglong p1 = position();
    QTest::qWait(400);
    const qlonglong p2 = position();
    EXPECT_GT(p2, p1 + 200000) << "the heard deck's position runs on";
    EXPECT_NEAR(double(p2), shell.deck(1)->position.load() / 44100.0 * 1e6, 300000.0);
    // The change reached the other client with the new track in it.
    QString seen;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            seen += QString::fromUtf8(monitor.readAllStandardOutput());
            return seen.contains(QStringLiteral("\"Metadata\"")) && seen.contains(title1);
        },
        kStateWaitMs))
        << seen.toStdString();

    // Played on past 1.5 s with refreshes on the way: no jump. Rewound: one.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            mpris.refresh();
            return shell.deck(1)->position.load() > 44100.0 * 1.5;
        },
        kStateWaitMs));
    QTest::qWait(200);
    seen += QString::fromUtf8(monitor.readAllStandardOutput());
    EXPECT_FALSE(seen.contains(QStringLiteral("member=Seeked"))) << seen.toStdString();
    screen.rewButton(1);
    mpris.refresh();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            seen += QString::fromUtf8(monitor.readAllStandardOutput());
            return seen.contains(QStringLiteral("member=Seeked"));
        },
        kStateWaitMs))
        << seen.toStdString();
    monitor.kill();
    monitor.waitForFinished();
}

} // namespace
} // namespace vx::ui
