// The desktop side of paste import: a second launch of the real velvox binary hands its URL to
// the running instance, and, on an X server, a track that a real X client (xclip) put on the
// clipboard under "audio/mpeg" ends up in the documents folder and in the browser.

#include "ui/DesktopIntegration.h"
#include "UiShellFixture.h"
#include "app/LoadFile.h"
#include "library/DBController.h"
#include "platform/Pasteboard.h"
#include "ui/ClipboardPasteboard.h"
#include "ui/SingleInstance.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vx::ui {
namespace {

using namespace shelltest;
namespace fs = std::filesystem;

const QString kUrl = QStringLiteral("korvane.velvox://pastefile:My%20Song.mp3");

// Runs `program` to its end while this process keeps serving its own events (the clipboard,
// the local server); its exit code, or -1.
int runServing(const QString& program, const QStringList& arguments, int waitMs = 30000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(waitMs)) {
        return -1;
    }
    const bool finished = QTest::qWaitFor(
        [&] { return process.state() == QProcess::NotRunning || process.waitForFinished(5); },
        waitMs);
    if (!finished || process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return process.exitCode();
}

TEST(DesktopIntegrationTest, ALaterLaunchHandsOverItsUrlOrARaiseAndExits) {
    vx::test::LibraryTempDir home;
    fs::create_directories(home.path() / "tmp");
    SingleInstance running(home.path() / "tmp");
    ASSERT_TRUE(running.claim({}));
    QSignalSpy urls(&running, &SingleInstance::urlReceived);
    QSignalSpy raises(&running, &SingleInstance::raiseRequested);

    const QString homeArg = QString::fromStdString(home.path().string());
    EXPECT_EQ(runServing(QStringLiteral(VX_VELVOX_PATH), {QStringLiteral("--home"), homeArg, kUrl}),
              0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return urls.count() == 1; }, kStateWaitMs));
    EXPECT_EQ(urls.at(0).at(0).toString(), kUrl);
    EXPECT_GE(raises.count(), 1);

    // No URL: only a raise.
    raises.clear();
    EXPECT_EQ(runServing(QStringLiteral(VX_VELVOX_PATH), {QStringLiteral("--home"), homeArg}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return raises.count() == 1; }, kStateWaitMs));
    EXPECT_EQ(urls.count(), 1);
}

TEST(DesktopIntegrationTest, AUrlOnTheCommandLineIsOpenedOnceTheLaunchHasFinished) {
    vx::test::LibraryTempDir home;
    const QString homeArg = QString::fromStdString(home.path().string());
    QProcess first;
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(QStringLiteral(VX_VELVOX_PATH),
                {QStringLiteral("--home"), homeArg, QStringLiteral("--no-sound"),
                 QStringLiteral("korvane.velvox://pastefile:First%20Track.mp3")});
    ASSERT_TRUE(first.waitForStarted(kStateWaitMs));
    QByteArray output;
    const auto logged = [&](const char* line) {
        return QTest::qWaitFor(
            [&] {
                first.waitForReadyRead(5);
                output += first.readAll();
                return output.contains(line);
            },
            kLoadWaitMs);
    };
    // The clipboard of this launch is empty: the paste runs and says so.
    EXPECT_TRUE(logged("Begin paste:First Track.mp3")) << output.toStdString();
    EXPECT_TRUE(logged("Can't get item set")) << output.toStdString();
    // A later launch with the launch URL reaches this one.
    EXPECT_EQ(
        runServing(QStringLiteral(VX_VELVOX_PATH), {QStringLiteral("--home"), homeArg,
                                                    QStringLiteral("korvane.velvoxnexa://launch")}),
        0);
    EXPECT_TRUE(logged("simple launch")) << output.toStdString();
    first.kill();
    first.waitForFinished(kStateWaitMs);
}

TEST(DesktopIntegrationTest, AnXclipTrackPastedByASecondLaunchShowsInTheBrowser) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        GTEST_SKIP() << "needs an X server and its clipboard (the ui_xvfb run has them)";
    }
    const QString xclip = QStandardPaths::findExecutable(QStringLiteral("xclip"));
    ASSERT_FALSE(xclip.isEmpty()) << "xclip is missing (scripts/install-deps.sh installs it)";

    RunningShell shell(false);
    const Paths& paths = shell.app().paths();
    DesktopIntegration desktop(paths);
    ASSERT_TRUE(desktop.claim({}));
    desktop.attach(shell.core(), {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell.bothLoaded(); }, kLoadWaitMs));

    // A built-in track of known tempo (122 BPM) under another name.
    const fs::path song = paths.temporary() / "song.mp3";
    fs::copy_file(fs::path(VX_RESOURCES_DIR) / "sound" / "Copper Lines.mp3", song);
    ASSERT_EQ(runServing(xclip, {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                 QStringLiteral("-t"), QStringLiteral("audio/mpeg"),
                                 QStringLiteral("-i"), QString::fromStdString(song.string())}),
              0);
    const QString home = QString::fromStdString(paths.documents().parent_path().string());
    ASSERT_EQ(runServing(QStringLiteral(VX_VELVOX_PATH), {QStringLiteral("--home"), home, kUrl}),
              0);

    const fs::path pasted = paths.documents() / "My Song.mp3";
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(pasted); }, kStateWaitMs));
    EXPECT_EQ(vx::test::slurpBytes(pasted), vx::test::slurpBytes(song));
    // Without peak data on the clipboard the track is analysed; the browser then lists it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shell.app().db()->getFullInfoForFile(pasted)->tempo > 0; }, kLoadWaitMs));
    shell.app().showLoadFile(0);
    const LoadFile* browser = shell.app().loadFile();
    ASSERT_NE(browser, nullptr);
    size_t row = browser->infoList().size();
    for (size_t i = 0; i < browser->infoList().size(); ++i) {
        if (browser->infoList()[i]->fileName == pasted) {
            row = i;
        }
    }
    ASSERT_LT(row, browser->infoList().size());
    EXPECT_NEAR(browser->infoList()[row]->durationSeconds(),
                VXAudioFileInfo::initWithFile(song, paths)->durationSeconds(), 0.05);
    EXPECT_GT(browser->infoList()[row]->durationSeconds(), 10.0);
    EXPECT_NEAR(browser->infoList()[row]->tempo, 122.0, 1.0);
    EXPECT_EQ(browser->row(row).tempo.rfind("122 /", 0), 0u) << browser->row(row).tempo;
    // Audio alone: the clipboard keeps it (only a paste with peak data clears it).
    EXPECT_EQ(desktop.pasteboard().itemsWithType(kPasteboardTypeMP3).size(), 1u);
}

} // namespace
} // namespace vx::ui
