#include "platform/RunLoop.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace vx;

class ManualRunLoop : public ::testing::Test {
protected:
    ManualClock clock;
    RunLoop loop{clock};
};

class SystemRunLoop : public ::testing::Test {
protected:
    SystemClock clock;
    RunLoop loop{clock};
};

TEST_F(ManualRunLoop, TimersFireInDueOrderWithTiesInCreationOrder) {
    std::vector<std::string> fired;
    loop.after(0.3, [&] { fired.push_back("c"); });
    loop.after(0.1, [&] { fired.push_back("a1"); });
    loop.every(0.2, [&] { fired.push_back("b"); });
    loop.after(0.1, [&] { fired.push_back("a2"); });
    loop.after(0.2, [&] { fired.push_back("b2"); });
    clock.set(1.0);
    EXPECT_EQ(loop.runDue(), 5u);
    const std::vector<std::string> expected = {"a1", "a2", "b", "b2", "c"};
    EXPECT_EQ(fired, expected);
}

TEST_F(ManualRunLoop, TimerFiresExactlyAtItsDueTimeAndNotBefore) {
    clock.set(10.0);
    int fired = 0;
    const TimerHandle handle = loop.after(0.5, [&] { ++fired; });
    EXPECT_DOUBLE_EQ(handle.fireTime(), 10.5);
    clock.set(10.499999);
    EXPECT_EQ(loop.runDue(), 0u);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(handle.isValid());
    clock.set(10.5);
    EXPECT_EQ(loop.runDue(), 1u);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(handle.isValid()); // a one-shot timer is spent once it fired
    clock.set(20.0);
    EXPECT_EQ(loop.runDue(), 0u);
    EXPECT_EQ(fired, 1);
}

TEST_F(ManualRunLoop, RepeatingTimerStaysOnItsGridWhenServicedLate) {
    // Serviced every 0.75 s, a 1 s timer must still fire once per grid tick, at the first pass
    // after each; one rescheduled from "now" would fire at 1.5, 3.0, 4.5, 6.0 only.
    std::vector<double> firedAt;
    loop.every(1.0, [&] { firedAt.push_back(clock.now()); });
    for (int pass = 1; pass <= 8; ++pass) {
        clock.set(0.75 * pass);
        loop.runDue();
    }
    const std::vector<double> expected = {1.5, 2.25, 3.0, 4.5, 5.25, 6.0};
    EXPECT_EQ(firedAt, expected);
}

TEST_F(ManualRunLoop, RepeatingTimerFarBehindFiresOnceThenResumesOnItsGrid) {
    int fired = 0;
    const TimerHandle handle = loop.every(1.0, [&] { ++fired; });
    clock.set(5.5);
    EXPECT_EQ(loop.runDue(), 1u);
    EXPECT_EQ(fired, 1);
    EXPECT_DOUBLE_EQ(handle.fireTime(), 6.0);
    clock.set(5.999);
    EXPECT_EQ(loop.runDue(), 0u);
    clock.set(6.0);
    EXPECT_EQ(loop.runDue(), 1u);
    EXPECT_DOUBLE_EQ(handle.fireTime(), 7.0);
    EXPECT_EQ(fired, 2);
}

TEST_F(ManualRunLoop, RunForOnManualClockStepsThroughEachDueTimeWithoutSleeping) {
    std::vector<double> firedAt;
    loop.every(0.25, [&] { firedAt.push_back(clock.now()); });
    loop.after(0.6, [&] { firedAt.push_back(clock.now()); });
    loop.runFor(1.0);
    const std::vector<double> expected = {0.25, 0.5, 0.6, 0.75, 1.0};
    EXPECT_EQ(firedAt, expected);
    EXPECT_EQ(clock.now(), 1.0);
    // A second span continues from where the first ended.
    loop.runFor(0.5);
    EXPECT_EQ(firedAt.size(), 7u);
    EXPECT_EQ(firedAt.back(), 1.5);
}

TEST_F(ManualRunLoop, RepeatingTimerCanInvalidateItselfFromItsCallback) {
    int fired = 0;
    TimerHandle handle;
    handle = loop.every(0.1, [&] {
        if (++fired == 3) {
            handle.invalidate();
        }
    });
    loop.runFor(2.0);
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(handle.isValid());
    EXPECT_FALSE(loop.nextTimerTime().has_value());
}

TEST_F(ManualRunLoop, CallbackCanInvalidateATimerOfItsPassAndAddOneForALaterPass) {
    TimerHandle victim;
    bool victimRan = false;
    std::vector<std::string> fired;
    loop.after(1.0, [&] {
        victim.invalidate();
        fired.push_back("outer");
        loop.after(0.0, [&] { fired.push_back("inner"); });
    });
    victim = loop.after(1.0, [&] { victimRan = true; });
    clock.set(1.0);
    EXPECT_EQ(loop.runDue(), 1u);
    EXPECT_FALSE(victimRan);
    EXPECT_EQ(fired.size(), 1u);
    EXPECT_EQ(loop.runDue(), 1u);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[1], "inner");
}

TEST_F(ManualRunLoop, InvalidatedTimersReleaseTheirCallbacks) {
    auto token = std::make_shared<int>(0);
    std::vector<TimerHandle> handles;
    for (int i = 0; i < 200; ++i) {
        handles.push_back(loop.after(100.0 + i, [token] { ++*token; }));
        handles.back().invalidate();
    }
    EXPECT_FALSE(loop.nextTimerTime().has_value());
    EXPECT_EQ(token.use_count(), 1); // no queued timer still holds its callback
    clock.set(1000.0);
    EXPECT_EQ(loop.runDue(), 0u);
    EXPECT_EQ(*token, 0);
}

TEST(RunLoop, DefaultHandleIsInvalidAndHarmless) {
    TimerHandle handle;
    EXPECT_FALSE(handle.isValid());
    handle.invalidate();
}

TEST_F(ManualRunLoop, EveryClampsTheIntervalToTheMinimum) {
    int fired = 0;
    const TimerHandle handle = loop.every(0.0, [&] { ++fired; });
    EXPECT_EQ(handle.interval(), RunLoop::kMinimumInterval);
    loop.runFor(0.01);
    EXPECT_EQ(fired, 10);
}

TEST_F(ManualRunLoop, PostedTasksRunInOrderAndTasksPostedDuringAPassRunInTheNext) {
    std::vector<int> ran;
    loop.post([&] {
        ran.push_back(1);
        loop.post([&] { ran.push_back(3); });
    });
    loop.post([&] { ran.push_back(2); });
    EXPECT_EQ(loop.pendingTasks(), 2u);
    EXPECT_EQ(loop.runDue(), 2u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(loop.runDue(), 1u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.runDue(), 0u);
}

TEST_F(ManualRunLoop, RunPostedRunsTheQueuedTasksAndLeavesDueTimersForRunDue) {
    std::vector<int> ran;
    loop.after(0.0, [&] { ran.push_back(0); });
    loop.post([&] {
        ran.push_back(1);
        loop.post([&] { ran.push_back(2); });
    });
    EXPECT_EQ(loop.runPosted(), 1u);
    EXPECT_EQ(ran, (std::vector<int>{1}));
    EXPECT_EQ(loop.runPosted(), 1u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(loop.runPosted(), 0u);
    EXPECT_EQ(loop.runDue(), 1u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 0}));
}

TEST_F(ManualRunLoop, SelfRepostingTaskDoesNotStarveTimers) {
    int spins = 0;
    std::function<void()> spin = [&] {
        ++spins;
        loop.post(spin);
    };
    loop.post(spin);
    bool timerRan = false;
    loop.after(0.0, [&] { timerRan = true; });
    EXPECT_EQ(loop.runDue(), 2u);
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(spins, 1);
    loop.shutdown();
}

TEST_F(ManualRunLoop, PostsFromSeveralThreadsKeepEachThreadsOrder) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 1000;
    int timerFired = 0;
    loop.every(0.1, [&] { ++timerFired; });
    std::vector<std::pair<int, int>> ran; // main thread only
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        // Holds taken before the threads start: the manual clock must wait for their posts.
        threads.emplace_back([&, t, hold = loop.holdClock()]() mutable {
            for (int i = 0; i < kPerThread; ++i) {
                loop.post([&ran, this, t, i] {
                    EXPECT_TRUE(loop.isMainThread());
                    ran.emplace_back(t, i);
                });
            }
            hold.release();
        });
    }
    const bool done = loop.runUntil([&] { return ran.size() == kThreads * kPerThread; }, 5.0);
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(done);
    // The clock stood still while the threads held it, so the timer never came due.
    EXPECT_EQ(clock.now(), 0.0);
    EXPECT_EQ(timerFired, 0);
    std::vector<int> next(kThreads, 0);
    for (const auto& [t, i] : ran) {
        ASSERT_EQ(i, next[t]) << "thread " << t;
        ++next[t];
    }
}

TEST_F(SystemRunLoop, InvokeAndWaitFromAnotherThreadRunsOnTheMainThreadAndBlocks) {
    int valueSetOnMain = 0; // plain int: invokeAndWait must order the write before the read
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> returned{false};
    bool result = false;
    int seenByWorker = -1;
    std::thread worker([&] {
        result = loop.invokeAndWait([&] {
            ranOnMain.store(loop.isMainThread());
            valueSetOnMain = 42;
        });
        seenByWorker = valueSetOnMain;
        returned.store(true);
    });
    EXPECT_TRUE(loop.runUntil([&] { return returned.load(); }, 30.0));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ranOnMain.load());
    EXPECT_EQ(seenByWorker, 42);
}

TEST_F(ManualRunLoop, InvokeAndWaitOnTheMainThreadRunsDirectly) {
    bool ran = false;
    EXPECT_TRUE(loop.invokeAndWait([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.pendingTasks(), 0u);
}

TEST_F(ManualRunLoop, InvokeAndWaitReturnsWithoutRunningWhenTheLoopShutsDown) {
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    std::thread worker([&] { result.store(loop.invokeAndWait([&] { ran.store(true); }) ? 1 : 0); });
    while (loop.pendingTasks() == 0) {
        std::this_thread::yield();
    }
    loop.shutdown();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(ran.load());
    // Later calls return at once too.
    std::thread late([&] { result.store(loop.invokeAndWait([&] { ran.store(true); }) ? 1 : 0); });
    late.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(loop.post([] {}));
}

TEST_F(ManualRunLoop, ShutdownInvalidatesTimersAndStopsRuns) {
    const TimerHandle handle = loop.every(1.0, [] {});
    loop.shutdown();
    EXPECT_TRUE(loop.isShutDown());
    EXPECT_FALSE(handle.isValid());
    EXPECT_FALSE(loop.after(1.0, [] {}).isValid());
    loop.run(); // returns at once
    EXPECT_EQ(clock.now(), 0.0);
}

TEST_F(ManualRunLoop, RunUntilOnManualClockReturnsWhenThePredicateHoldsOrAtTheTimeout) {
    int ticks = 0;
    loop.every(0.5, [&] { ++ticks; });
    EXPECT_TRUE(loop.runUntil([&] { return ticks == 3; }, 10.0));
    EXPECT_EQ(clock.now(), 1.5);
    EXPECT_FALSE(loop.runUntil([] { return false; }, 2.0));
    EXPECT_EQ(clock.now(), 3.5);
    EXPECT_EQ(ticks, 7);
}

TEST_F(SystemRunLoop, RunForFiresTimersDueWithinTheSpanOnlyAndRunUntilTimesOut) {
    int soon = 0;
    int late = 0;
    loop.after(0.01, [&] { ++soon; });
    loop.after(3600.0, [&] { ++late; });
    loop.runFor(0.03);
    EXPECT_EQ(soon, 1);
    EXPECT_EQ(late, 0);
    const double start = clock.now();
    EXPECT_FALSE(loop.runUntil([] { return false; }, 0.02));
    EXPECT_GE(clock.now() - start, 0.02);
}

TEST_F(SystemRunLoop, QuitFromAnotherThreadEndsRun) {
    bool taskRan = false;
    std::thread other([&] {
        loop.post([&] { taskRan = true; });
        loop.quit();
    });
    loop.run();
    other.join();
    loop.runDue(); // the task may still be queued if quit was seen first
    EXPECT_TRUE(taskRan);
}

TEST_F(ManualRunLoop, QuitBeforeRunIsConsumedByItAndQuitFromATimerEndsRun) {
    int ticks = 0;
    loop.every(1.0, [&] {
        if (++ticks == 5) {
            loop.quit();
        }
    });
    loop.quit();
    loop.run();
    EXPECT_EQ(clock.now(), 0.0);
    loop.run(); // the first request was used up by the first run
    EXPECT_EQ(ticks, 5);
    EXPECT_EQ(clock.now(), 5.0);
}

TEST_F(ManualRunLoop, NestedRunInsideATimerCallback) {
    bool innerDone = false;
    bool innerResult = false;
    double innerEnd = -1.0;
    int outerTicks = 0;
    loop.every(1.0, [&] { ++outerTicks; });
    loop.after(0.1, [&] {
        loop.after(0.2, [&] { innerDone = true; });
        innerResult = loop.runUntil([&] { return innerDone; }, 5.0);
        innerEnd = clock.now();
    });
    loop.runFor(3.0);
    EXPECT_TRUE(innerResult);
    EXPECT_DOUBLE_EQ(innerEnd, 0.3);
    EXPECT_EQ(outerTicks, 3);
    EXPECT_EQ(clock.now(), 3.0);
}

TEST_F(ManualRunLoop, BindToCurrentThreadMovesTheMainThread) {
    EXPECT_TRUE(loop.isMainThread());
    std::atomic<bool> workerIsMain{false};
    int fired = 0;
    std::thread worker([&] {
        loop.bindToCurrentThread();
        workerIsMain.store(loop.isMainThread());
        loop.after(1.0, [&] { ++fired; });
        loop.runFor(1.0);
    });
    worker.join();
    EXPECT_TRUE(workerIsMain.load());
    EXPECT_FALSE(loop.isMainThread());
    EXPECT_EQ(fired, 1);
    loop.bindToCurrentThread();
    EXPECT_TRUE(loop.isMainThread());
}

TEST_F(ManualRunLoop, ClockHeldTooLongIsMovedOnWithALogLine) {
    loop.setStallLimit(0.01);
    LogCapture capture;
    int ticks = 0;
    loop.every(1.0, [&] { ++ticks; });
    ClockHold hold = loop.holdClock();
    EXPECT_TRUE(hold.isHeld());
    loop.runFor(2.0);
    EXPECT_EQ(clock.now(), 2.0);
    EXPECT_EQ(ticks, 2);
    EXPECT_TRUE(capture.contains("clock held"));
    hold.release();
    EXPECT_FALSE(hold.isHeld());
}

TEST(RunLoop, ClockHoldMayOutliveTheLoop) {
    ClockHold hold;
    {
        ManualClock clock;
        RunLoop loop(clock);
        hold = loop.holdClock();
    }
    EXPECT_TRUE(hold.isHeld());
    hold.release();
    EXPECT_FALSE(hold.isHeld());
}
