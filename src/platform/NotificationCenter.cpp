#include "platform/NotificationCenter.h"

#include "platform/RunLoop.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace vx {

namespace {

struct Observer {
    NotificationCenter::Token token = 0;
    const void* owner = nullptr;
    std::string name;
    std::function<void(const Notification&)> fn;
    bool active = true; // cleared on removal so a delivery in progress skips it
};

} // namespace

struct NotificationCenter::State {
    std::vector<std::shared_ptr<Observer>> observers; // in the order they were added
    Token nextToken = 1;

    void deliver(const Notification& notification) const {
        // Take the matching observers first: callbacks may add or remove observers.
        std::vector<std::shared_ptr<Observer>> targets;
        for (const auto& observer : observers) {
            if (observer->name == notification.name) {
                targets.push_back(observer);
            }
        }
        for (const auto& observer : targets) {
            if (observer->active) {
                observer->fn(notification);
            }
        }
    }

    template <typename Match> void remove(Match match) {
        std::erase_if(observers, [&](const std::shared_ptr<Observer>& observer) {
            if (!match(*observer)) {
                return false;
            }
            observer->active = false;
            return true;
        });
    }
};

NotificationCenter::NotificationCenter(RunLoop& loop)
    : loop_(loop), state_(std::make_shared<State>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter::Token
NotificationCenter::addObserver(const void* owner, const std::string& name,
                                std::function<void(const Notification&)> fn) {
    assert(loop_.isMainThread());
    auto observer = std::make_shared<Observer>();
    observer->token = state_->nextToken++;
    observer->owner = owner;
    observer->name = name;
    observer->fn = std::move(fn);
    state_->observers.push_back(observer);
    return observer->token;
}

void NotificationCenter::removeObserver(const void* owner) {
    assert(loop_.isMainThread());
    state_->remove([&](const Observer& o) { return o.owner == owner; });
}

void NotificationCenter::removeObserver(const void* owner, const std::string& name) {
    assert(loop_.isMainThread());
    state_->remove([&](const Observer& o) { return o.owner == owner && o.name == name; });
}

void NotificationCenter::removeToken(Token token) {
    assert(loop_.isMainThread());
    state_->remove([&](const Observer& o) { return o.token == token; });
}

void NotificationCenter::post(const std::string& name, NotificationObject object) {
    // The task keeps only a weak reference: a centre destroyed before delivery drops it.
    std::weak_ptr<State> weak = state_;
    loop_.post([weak = std::move(weak), notification = Notification{name, std::move(object)}] {
        if (const auto state = weak.lock()) {
            state->deliver(notification);
        }
    });
}

void NotificationCenter::postNow(const std::string& name, NotificationObject object) {
    assert(loop_.isMainThread());
    // Keep the state alive even if an observer destroys the centre during delivery.
    const std::shared_ptr<State> state = state_;
    state->deliver(Notification{name, std::move(object)});
}

size_t NotificationCenter::observerCount(const std::string& name) const {
    assert(loop_.isMainThread());
    if (name.empty()) {
        return state_->observers.size();
    }
    return static_cast<size_t>(
        std::count_if(state_->observers.begin(), state_->observers.end(),
                      [&](const auto& observer) { return observer->name == name; }));
}

} // namespace vx
