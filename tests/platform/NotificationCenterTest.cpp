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

struct Fixture {
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

TEST(NotificationCenter, PostDeliversLaterOnTheMainLoopInPostingOrder) {
    Fixture f;
    std::vector<std::string> seen;
    int owner = 0;
    f.center.addObserver(&owner, "loaded",
                         [&](const Notification& n) { seen.push_back(describe(n)); });
    f.center.addObserver(&owner, "changed",
                         [&](const Notification& n) { seen.push_back(describe(n)); });
    f.center.post("loaded", 1);
    f.center.post("changed", std::string("/music/a.mp3"));
    f.center.post("loaded");
    f.center.post("ignored", 7);
    EXPECT_TRUE(seen.empty()); // never delivered inside post, even on the main thread
    f.loop.runDue();
    const std::vector<std::string> expected = {"loaded:1", "changed:/music/a.mp3", "loaded"};
    EXPECT_EQ(seen, expected);
}

TEST(NotificationCenter, PostNowDeliversBeforeReturningToEveryObserverInOrder) {
    Fixture f;
    std::vector<std::string> seen;
    int a = 0;
    int b = 0;
    f.center.addObserver(&a, "x", [&](const Notification&) { seen.push_back("a"); });
    f.center.addObserver(&b, "x", [&](const Notification&) { seen.push_back("b"); });
    f.center.postNow("x");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(f.loop.pendingTasks(), 0u);
}

TEST(NotificationCenter, ObserverRemovedBeforeDeliveryIsNotCalled) {
    Fixture f;
    int owner = 0;
    int other = 0;
    int ownerCalls = 0;
    int otherCalls = 0;
    f.center.addObserver(&owner, "n", [&](const Notification&) { ++ownerCalls; });
    f.center.addObserver(&owner, "m", [&](const Notification&) { ++ownerCalls; });
    f.center.addObserver(&other, "n", [&](const Notification&) { ++otherCalls; });
    f.center.post("n");
    f.center.post("m");
    f.center.removeObserver(&owner);
    f.loop.runDue();
    EXPECT_EQ(ownerCalls, 0);
    EXPECT_EQ(otherCalls, 1);
    EXPECT_EQ(f.center.observerCount(), 1u);
}

TEST(NotificationCenter, RemovingOneNameKeepsTheOwnersOtherObservers) {
    Fixture f;
    int owner = 0;
    std::vector<std::string> seen;
    f.center.addObserver(&owner, "n", [&](const Notification& n) { seen.push_back(n.name); });
    f.center.addObserver(&owner, "m", [&](const Notification& n) { seen.push_back(n.name); });
    f.center.removeObserver(&owner, "n");
    f.center.postNow("n");
    f.center.postNow("m");
    EXPECT_EQ(seen, (std::vector<std::string>{"m"}));
    EXPECT_EQ(f.center.observerCount("n"), 0u);
    EXPECT_EQ(f.center.observerCount("m"), 1u);
}

TEST(NotificationCenter, RemoveTokenRemovesOnlyThatObserver) {
    Fixture f;
    int owner = 0;
    int first = 0;
    int second = 0;
    const auto token = f.center.addObserver(&owner, "n", [&](const Notification&) { ++first; });
    f.center.addObserver(&owner, "n", [&](const Notification&) { ++second; });
    f.center.removeToken(token);
    f.center.postNow("n");
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST(NotificationCenter, ObserversAddedOrRemovedDuringDeliveryAreSafe) {
    Fixture f;
    int a = 0;
    int b = 0;
    int c = 0;
    std::vector<std::string> seen;
    f.center.addObserver(&a, "n", [&](const Notification&) {
        seen.push_back("a");
        f.center.removeObserver(&b); // b comes later in this delivery: must not be called
        f.center.addObserver(&c, "n", [&](const Notification&) { seen.push_back("c"); });
        f.center.removeObserver(&a); // itself, while running
    });
    f.center.addObserver(&b, "n", [&](const Notification&) { seen.push_back("b"); });
    f.center.postNow("n");
    EXPECT_EQ(seen, (std::vector<std::string>{"a"}));
    f.center.postNow("n");
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
