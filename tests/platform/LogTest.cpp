#include "platform/Log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace vx;

TEST(Log, CaptureRecordsWholeLinesWithoutTheirNewline) {
    LogCapture capture;
    const std::string long1(3000, 'a');
    logLine("plain %d", 1);
    logLine("with newline %s\n", "x");
    logLine("%s", "");
    logLine("<%s|%d>", long1.c_str(), 77);
    const std::vector<std::string> expected = {"plain 1", "with newline x", "",
                                               "<" + long1 + "|77>"};
    EXPECT_EQ(capture.lines(), expected);
    EXPECT_TRUE(capture.contains("newline"));
    EXPECT_FALSE(capture.contains("absent"));
}

TEST(Log, CapturesNestAndEachSeesOnlyItsOwnLifetime) {
    LogCapture outer;
    logLine("one");
    std::vector<std::string> innerLines;
    {
        LogCapture inner;
        logLine("two");
        innerLines = inner.lines();
    }
    logLine("three");
    EXPECT_EQ(innerLines, (std::vector<std::string>{"two"}));
    EXPECT_EQ(outer.lines(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST(Log, LinesFromSeveralThreadsAreAllCapturedWholeAndInEachThreadsOrder) {
    LogCapture capture;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                logLine("thread %d line %d", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), size_t{kThreads * kPerThread});
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
        ASSERT_EQ(i, next[static_cast<size_t>(t)]) << line;
        ++next[static_cast<size_t>(t)];
    }
}

TEST(Log, RealtimeLinesComeOutInOrderWhenDrainedOverManyLaps) {
    drainRealtimeLog(); // empties what earlier tests left in the ring
    LogCapture capture;
    int written = 0;
    for (int lap = 0; lap < 7; ++lap) {
        // Not a multiple of the ring size, never more than it holds.
        const int count = std::min(static_cast<int>(kRealtimeLogSlots) - 3 + lap,
                                   static_cast<int>(kRealtimeLogSlots));
        for (int i = 0; i < count; ++i) {
            logRealtime("n %d", written++);
        }
        // Nothing is written until the main thread drains.
        EXPECT_EQ(capture.lines().size(), static_cast<size_t>(written - count));
        EXPECT_EQ(drainRealtimeLog(), static_cast<size_t>(count));
    }
    EXPECT_EQ(drainRealtimeLog(), 0u);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(written));
    for (int i = 0; i < written; ++i) {
        ASSERT_EQ(lines[static_cast<size_t>(i)], "n " + std::to_string(i));
    }
}

TEST(Log, RealtimeOverflowIsDroppedAndCounted) {
    drainRealtimeLog();
    const uint64_t droppedBefore = droppedRealtimeLogLines();
    LogCapture capture;
    for (size_t i = 0; i < kRealtimeLogSlots + 7; ++i) {
        logRealtime("click %zu", i);
    }
    EXPECT_EQ(droppedRealtimeLogLines() - droppedBefore, 7u);
    EXPECT_EQ(drainRealtimeLog(), kRealtimeLogSlots);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), kRealtimeLogSlots + 1); // the lines kept, then the drop report
    EXPECT_EQ(lines.front(), "click 0");
    EXPECT_EQ(lines[kRealtimeLogSlots - 1], "click " + std::to_string(kRealtimeLogSlots - 1));
    EXPECT_NE(lines.back().find("7 realtime log lines dropped"), std::string::npos) << lines.back();
    // Room again after draining; the drop is reported once.
    logRealtime("after");
    EXPECT_EQ(drainRealtimeLog(), 1u);
    EXPECT_EQ(capture.lines().back(), "after");
    EXPECT_EQ(droppedRealtimeLogLines() - droppedBefore, 7u);
}

TEST(Log, RealtimeLinesAreCutToTheSlotSize) {
    drainRealtimeLog();
    LogCapture capture;
    const std::string longText(1000, 'z');
    logRealtime("%s", longText.c_str());
    EXPECT_EQ(drainRealtimeLog(), 1u);
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], std::string(kRealtimeLogLineBytes - 1, 'z'));
}

TEST(Log, RealtimeProducersOnSeveralThreadsWhileTheMainThreadDrains) {
    drainRealtimeLog();
    const uint64_t droppedBefore = droppedRealtimeLogLines();
    LogCapture capture;
    constexpr int kThreads = 3;
    constexpr int kPerThread = 2000;
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &running] {
            for (int i = 0; i < kPerThread; ++i) {
                logRealtime("rt %d %d", t, i);
            }
            running.fetch_sub(1);
        });
    }
    size_t drained = 0;
    while (running.load() > 0) {
        drained += drainRealtimeLog();
    }
    for (auto& thread : threads) {
        thread.join();
    }
    drained += drainRealtimeLog();
    const uint64_t dropped = droppedRealtimeLogLines() - droppedBefore;
    EXPECT_EQ(drained + dropped, size_t{kThreads * kPerThread});
    // Whatever got through is in each producer's order.
    std::vector<int> last(kThreads, -1);
    size_t realtimeLines = 0;
    for (const std::string& line : capture.lines()) {
        int t = -1;
        int i = -1;
        if (std::sscanf(line.c_str(), "rt %d %d", &t, &i) != 2) {
            continue; // a drop report
        }
        ++realtimeLines;
        ASSERT_GT(i, last[static_cast<size_t>(t)]) << line;
        last[static_cast<size_t>(t)] = i;
    }
    EXPECT_EQ(realtimeLines, drained);
}
