#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace vx {

class RunLoop;

// What a notification is about: nothing, a deck number, or a file path.
using NotificationObject = std::variant<std::monostate, int, std::string>;

struct Notification {
    std::string name;
    NotificationObject object;
};

// NotificationCenter: named notifications delivered on the main run loop.
//
// Controllers observe names ("a deck finished loading", "the library changed") with a callback
// and an owner pointer, usually `this`, so that one removeObserver(this) in a destructor undoes
// all of them. Any thread may post; delivery always happens later on the main thread through
// RunLoop::post, in posting order, so an observer never runs on a decode or HTTP thread and
// never re-enters the code that posted. postNow delivers at once, for the main thread.
//
// Delivery calls the observers registered for the name at the moment delivery starts, in the
// order they were added. An observer removed before (or during) a delivery is not called by
// it; one added during a delivery is called from the next one. Queued deliveries become no-ops
// if the centre is destroyed first. The observer list is main-thread only.
class NotificationCenter {
public:
    using Token = uint64_t;

    // Main thread. The loop must outlive the centre.
    explicit NotificationCenter(RunLoop& loop);
    // Main thread: notifications still queued are dropped.
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Main thread: calls `fn` on the main thread for every notification called `name`.
    // Returns a token for removeToken.
    Token addObserver(const void* owner, const std::string& name,
                      std::function<void(const Notification&)> fn);
    // Main thread: removes all of `owner`'s observers.
    void removeObserver(const void* owner);
    // Main thread: removes `owner`'s observers of `name`.
    void removeObserver(const void* owner, const std::string& name);
    // Main thread: removes the one observer added with `token`.
    void removeToken(Token token);

    // Any thread: delivers the notification on the main run loop, after what is already queued
    // there (asynchronously even when called on the main thread).
    void post(const std::string& name, NotificationObject object = {});
    // Main thread: delivers the notification now, before returning.
    void postNow(const std::string& name, NotificationObject object = {});

    // Main thread: number of registered observers (of `name`, or of all names when empty).
    size_t observerCount(const std::string& name = {}) const;

private:
    struct State; // the observer list, shared with queued deliveries
    RunLoop& loop_;
    std::shared_ptr<State> state_;
};

} // namespace vx
