#include "platform/EngineLock.h"
#include "platform/AudioFileReader.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;

// Disk work under the engine lock is counted once per call, on the thread that holds it only;
// the same work outside the lock, or on another thread meanwhile, counts nothing.
TEST(EngineLock, FileAndSettingsWorkUnderTheLockTripsTheWire) {
    const fs::path dir = fs::temp_directory_path() / ("vx-lock-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    vx::UserDefaults defaults(dir / "settings.json");
    vx::EngineLock engine;
    vx::IoMutex io;
    vx::takeEngineLockViolations();

    defaults.synchronize();
    EXPECT_EQ(vx::takeEngineLockViolations(), 0u);
    {
        std::lock_guard lock(engine);
        std::lock_guard again(engine); // recursive: one holder, counted once per call below
        std::thread([&] {
            defaults.synchronize(); // another thread, not holding the lock
        }).join();
        EXPECT_EQ(vx::takeEngineLockViolations(), 0u);
        defaults.synchronize();
        EXPECT_EQ(vx::takeEngineLockViolations(), 1u);
        EXPECT_EQ(vx::lastEngineLockViolation(), "a settings write");
        EXPECT_FALSE(vx::AudioFileReader::open(dir / "none.wav",
                                               vx::AudioFileReader::Client::Stereo44100, nullptr));
        std::lock_guard decode(io);
        EXPECT_EQ(vx::takeEngineLockViolations(), 2u);
    }
    EXPECT_FALSE(vx::holdingEngineLock());
    fs::remove_all(dir);
}

} // namespace
