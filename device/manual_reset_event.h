#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace vellumet {

// An event that stays signalled until it is reset: every waiter wakes while it
// is set, not just one. The link uses it to hand the "answer stored / link free"
// state between the senders and the reader thread.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}

    void set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        cv_.notify_all();
    }

    void reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }

    bool isSet() const {
        std::lock_guard lock(mutex_);
        return set_;
    }

    // Returns true when the event was (or became) set, false on timeout.
    bool wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return set_; });
    }

    // As above, but also returns (false) as soon as abandon() holds; waiters
    // look at it again whenever wake() is called.
    bool wait(std::chrono::milliseconds timeout, const std::function<bool()>& abandon) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, timeout, [&] { return set_ || abandon(); });
        return set_;
    }

    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return set_; });
    }

    // Makes every waiter look at its abandon condition again without setting
    // the event.
    void wake() {
        { std::lock_guard lock(mutex_); }
        cv_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;
};

} // namespace vellumet
