// SIGTERM (a desktop session's logout) and SIGINT (Ctrl+C) end the running application through
// its termination, which saves the session, exactly as closing its window does.

#include "UiShellFixture.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <csignal>

namespace vx::ui {
namespace {

using namespace shelltest;

TEST(QuitSignalsTest, TerminationSignalsSaveTheSession) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        RunningShell shell(false);
        ASSERT_TRUE(shell.ready());
        DuovexAppDelegate& app = shell.core().delegate();
        const std::filesystem::path settings = app.paths().settingsFile();
        app.engine()->setSampleGain(0.3f);
        std::filesystem::remove(settings);

        ASSERT_EQ(std::raise(signal), 0); // the process lives on: the handler only records it
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return std::filesystem::exists(settings); }, kStateWaitMs))
            << "the termination never ran";
        const UserDefaults saved(settings);
        EXPECT_FALSE(saved.stringForKey("kStreamFile0").empty());
        EXPECT_FALSE(saved.stringForKey("kStreamFile1").empty());
        EXPECT_FLOAT_EQ(saved.floatForKey("kSamplesVolume"), 0.3f);
        EXPECT_FALSE(shell.deck(0)->isLoaded.load()) << "the decoders were closed";
    }
}

} // namespace
} // namespace vx::ui
