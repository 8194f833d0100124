#include "EngineFixture.h"

#include "engine/ConversionState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using vx::ConversionState;
using Value = ConversionState::Value;

using vx::test::eventually;

// Threads that are joined however the test ends: initialize() first (it ends the conversion
// and wakes every waiter), so that a failed assertion cannot leave one blocked for good.
class Workers {
public:
    explicit Workers(ConversionState& state) : state_(state) {}
    ~Workers() {
        state_.initialize();
        join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
    void start(std::function<void()> body) { threads_.emplace_back(std::move(body)); }
    void join() {
        for (auto& t : threads_) {
            if (t.joinable()) {
                t.join();
            }
        }
    }

private:
    ConversionState& state_;
    std::vector<std::thread> threads_;
};

TEST(ConversionState, PauseAndResumeOnlyActOnARunningConversion) {
    // Each step: the operation, what it returns, the value after it.
    enum class Op { Pause, Resume, SetRunning, SetDone, Check };
    struct Step {
        Op op;
        bool returns;
        Value after;
    };
    const std::vector<Step> steps = {
        {Op::Pause, false, Value::Done},  // nothing to pause
        {Op::Resume, false, Value::Done}, // nothing to resume
        {Op::SetRunning, true, Value::Running},
        {Op::Check, false, Value::Running}, // running: passes straight through, twice
        {Op::Check, false, Value::Running},
        {Op::Resume, false, Value::Running}, // not paused
        {Op::Pause, true, Value::Paused},
        {Op::Pause, false, Value::Paused}, // already paused
        {Op::Resume, true, Value::Running},
        {Op::Resume, false, Value::Running},
        {Op::Pause, true, Value::Paused},
        {Op::SetDone, true, Value::Done}, // a paused conversion may end
        {Op::Pause, false, Value::Done},
        {Op::SetRunning, true, Value::Running}, // and a new one start
        {Op::SetDone, true, Value::Done},
    };
    ConversionState state;
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        bool result = true;
        switch (step.op) {
        case Op::Pause:
            result = state.pause();
            break;
        case Op::Resume:
            result = state.resume();
            break;
        case Op::SetRunning:
            state.setRunning();
            break;
        case Op::SetDone:
            state.setDone();
            break;
        case Op::Check:
            result = state.pausedCheck();
            break;
        }
        EXPECT_EQ(result, step.returns) << "step " << i;
        EXPECT_EQ(state.value(), step.after) << "step " << i;
    }
}

TEST(ConversionState, PausedCheckBlocksEveryWaiterUntilResumed) {
    ConversionState state;
    state.setRunning();
    ASSERT_TRUE(state.pause());
    std::atomic<int> results[3] = {-1, -1, -1};
    Workers workers(state);
    for (auto& result : results) {
        workers.start([&] { result = state.pausedCheck() ? 1 : 0; });
    }
    ASSERT_TRUE(eventually([&] { return state.waitingThreads() == 3; }));
    // Blocked in the wait: none has returned.
    for (const auto& result : results) {
        EXPECT_EQ(result.load(), -1);
    }
    EXPECT_EQ(state.value(), Value::Paused);
    ASSERT_TRUE(state.resume());
    ASSERT_TRUE(eventually([&] { return state.waitingThreads() == 0; }));
    workers.join();
    for (const auto& result : results) {
        EXPECT_EQ(result.load(), 1); // each says it waited
    }
    EXPECT_EQ(state.value(), Value::Running);
    state.setDone();
}

TEST(ConversionState, SetDoneAndInitializeEndAConversionAndReleaseAPausedWaiter) {
    for (bool byInitialize : {false, true}) {
        SCOPED_TRACE(byInitialize ? "initialize" : "setDone");
        ConversionState state;
        state.setRunning();
        ASSERT_TRUE(state.pause());
        Workers worker(state);
        worker.start([&] { state.pausedCheck(); });
        ASSERT_TRUE(eventually([&] { return state.waitingThreads() == 1; }));
        byInitialize ? state.initialize() : state.setDone();
        ASSERT_TRUE(eventually([&] { return state.waitingThreads() == 0; }));
        worker.join();
        EXPECT_EQ(state.value(), Value::Done);
    }
}

using ConversionStateDeathTest = ::testing::Test;

TEST_F(ConversionStateDeathTest, MisuseAbortsNamingTheOperation) {
    struct Case {
        const char* operation;
        std::function<void()> misuse;
    };
    const Case cases[] = {
        {"ThreadStateSetRunning",
         [] {
             ConversionState state;
             state.setRunning();
             state.setRunning();
         }},
        {"ThreadStateSetRunning",
         [] {
             ConversionState state;
             state.setRunning();
             state.pause();
             state.setRunning();
         }},
        {"ThreadStatePausedCheck",
         [] {
             ConversionState state;
             state.pausedCheck();
         }},
        {"ThreadStateSetDone",
         [] {
             ConversionState state;
             state.setDone();
         }},
        {"ThreadStateInitalize", [] { ConversionState state([] { return false; }); }},
        {"ThreadStateInitalize",
         [] {
             ConversionState state;
             std::thread([&] { state.initialize(); }).join();
         }},
    };
    for (const Case& c : cases) {
        EXPECT_DEATH(c.misuse(), std::string("Assertion failed: ") + c.operation) << c.operation;
    }
}

} // namespace
