#include "platform/EngineLock.h"

#include <gtest/gtest.h>

namespace {

// Fails the test in which a file, database or I/O-lock call was made while the calling thread
// held the engine lock (the render thread would have waited for it).
class EngineLockListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { vx::takeEngineLockViolations(); }
    void OnTestEnd(const ::testing::TestInfo&) override {
        EXPECT_EQ(vx::takeEngineLockViolations(), 0u)
            << "engine lock held during " << vx::lastEngineLockViolation();
    }
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new EngineLockListener);
    return RUN_ALL_TESTS();
}
