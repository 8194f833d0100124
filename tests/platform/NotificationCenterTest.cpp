#include "platform/NotificationCenter.h"
#include "platform/Clock.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace vx;

namespace {

class NotificationCenterTest : public ::testing::Test {
protected:
    ManualClock clock;
    RunLoop loop{clock};
    NotificationCenter center{loop};
};

std::string describe(const Notification& n) {
    if (const int* deck = std::get_if<int>(&n.object)) {
        return n.name + ":" + std::to_string(*deck);
    }
    if (const std::string* path = std::get_if<std::string>(&n.object)) {
        return n.name + ":" + *path;
    }
    return n.name;
}

} // namespace

TEST_F(NotificationCenterTest, PostDeliversLaterOnTheMainLoopInPostingOrder) {
    std::vector<std::string> seen;
    int owner = 0;
    center.addObserver(&owner, "loaded",
                       [&](const Notification& n) { seen.push_back(describe(n)); });
    center.addObserver(&owner, "changed",
                       [&](const Notification& n) { seen.push_back(describe(n)); });
    center.post("loaded", 1);
    center.post("changed", std::string("/music/a.mp3"));
    center.post("loaded");
    center.post("ignored", 7);
    EXPECT_TRUE(seen.empty()); // never delivered inside post, even on the main thread
    loop.runDue();
    const std::vector<std::string> expected = {"loaded:1", "changed:/music/a.mp3", "loaded"};
    EXPECT_EQ(seen, expected);
}

TEST_F(NotificationCenterTest, PostNowDeliversBeforeReturningToEveryObserverInOrder) {
    std::vector<std::string> seen;
    int a = 0;
    int b = 0;
    center.addObserver(&a, "x", [&](const Notification&) { seen.push_back("a"); });
    center.addObserver(&b, "x", [&](const Notification&) { seen.push_back("b"); });
    center.postNow("x");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(loop.pendingTasks(), 0u);
}

TEST_F(NotificationCenterTest, ObserverRemovedBeforeDeliveryIsNotCalled) {
    int owner = 0;
    int other = 0;
    int ownerCalls = 0;
    int otherCalls = 0;
    center.addObserver(&owner, "n", [&](const Notification&) { ++ownerCalls; });
    center.addObserver(&owner, "m", [&](const Notification&) { ++ownerCalls; });
    center.addObserver(&other, "n", [&](const Notification&) { ++otherCalls; });
    center.post("n");
    center.post("m");
    center.removeObserver(&owner);
    loop.runDue();
    EXPECT_EQ(ownerCalls, 0);
    EXPECT_EQ(otherCalls, 1);
    EXPECT_EQ(center.observerCount(), 1u);
}

TEST_F(NotificationCenterTest, RemovingANameOrATokenKeepsTheOwnersOtherObservers) {
    int owner = 0;
    std::vector<std::string> seen;
    const auto record = [&](const char* what) {
        return [&seen, what](const Notification&) { seen.push_back(what); };
    };
    center.addObserver(&owner, "n", record("n"));
    center.addObserver(&owner, "m", record("m"));
    const auto token = center.addObserver(&owner, "m", record("token"));
    center.addObserver(&owner, "m", record("after token"));
    center.removeObserver(&owner, "n");
    center.removeToken(token);
    center.postNow("n");
    center.postNow("m");
    EXPECT_EQ(seen, (std::vector<std::string>{"m", "after token"}));
    EXPECT_EQ(center.observerCount("n"), 0u);
    EXPECT_EQ(center.observerCount("m"), 2u);
}

TEST_F(NotificationCenterTest, ObserversAddedOrRemovedDuringDeliveryAreSafe) {
    int a = 0;
    int b = 0;
    int c = 0;
    std::vector<std::string> seen;
    center.addObserver(&a, "n", [&](const Notification&) {
        seen.push_back("a");
        center.removeObserver(&b); // b comes later in this delivery: must not be called
        center.addObserver(&c, "n", [&](const Notification&) { seen.push_back("c"); });
        center.removeObserver(&a); // itself, while running
    });
    center.addObserver(&b, "n", [&](const Notification&) { seen.push_back("b"); });
    center.postNow("n");
    EXPECT_EQ(seen, (std::vector<std::string>{"a"}));
    center.postNow("n");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "c"}));
}

TEST(NotificationCenter, QueuedDeliveriesAreDroppedWhenTheCentreIsDestroyed) {
    ManualClock clock;
    RunLoop loop(clock);
    auto center = std::make_unique<NotificationCenter>(loop);
    int owner = 0;
    int calls = 0;
    center->addObserver(&owner, "n", [&](const Notification&) { ++calls; });
    center->post("n");
    center.reset();
    EXPECT_EQ(loop.runDue(), 1u); // the delivery task runs and does nothing
    EXPECT_EQ(calls, 0);
}

TEST(NotificationCenter, PostsFromOtherThreadsArriveOnTheMainThreadInPostingOrder) {
    SystemClock clock;
    RunLoop loop(clock);
    NotificationCenter center(loop);
    constexpr int kThreads = 3;
    constexpr int kPerThread = 500;
    int owner = 0;
    std::vector<std::string> seen;
    bool allOnMain = true;
    for (int t = 0; t < kThreads; ++t) {
        center.addObserver(&owner, "t" + std::to_string(t), [&](const Notification& n) {
            allOnMain = allOnMain && loop.isMainThread();
            seen.push_back(describe(n));
        });
    }
    center.addObserver(&owner, "first", [&](const Notification& n) { seen.push_back(n.name); });
    center.addObserver(&owner, "second", [&](const Notification& n) { seen.push_back(n.name); });

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&center, t] {
            for (int i = 0; i < kPerThread; ++i) {
                center.post("t" + std::to_string(t), i);
            }
        });
    }
    // One thread posts, then lets another post: the first must be delivered first.
    std::atomic<bool> firstPosted{false};
    std::thread poster1([&] {
        center.post("first");
        firstPosted.store(true, std::memory_order_release);
    });
    std::thread poster2([&] {
        while (!firstPosted.load(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
        center.post("second");
    });

    const size_t total = kThreads * kPerThread + 2;
    EXPECT_TRUE(loop.runUntil([&] { return seen.size() == total; }, 60.0));
    for (auto& thread : threads) {
        thread.join();
    }
    poster1.join();
    poster2.join();
    ASSERT_EQ(seen.size(), total);
    EXPECT_TRUE(allOnMain);

    std::vector<int> next(kThreads, 0);
    ptrdiff_t firstAt = -1;
    ptrdiff_t secondAt = -1;
    for (size_t k = 0; k < seen.size(); ++k) {
        const std::string& s = seen[k];
        if (s == "first") {
            firstAt = static_cast<ptrdiff_t>(k);
            continue;
        }
        if (s == "second") {
            secondAt = static_cast<ptrdiff_t>(k);
            continue;
        }
        const int t = s[1] - '0';
        const int i = std::stoi(s.substr(s.find(':') + 1));
        ASSERT_EQ(i, next[static_cast<size_t>(t)]) << s;
        ++next[static_cast<size_t>(t)];
    }
    ASSERT_GE(firstAt, 0);
    EXPECT_LT(firstAt, secondAt);
}
