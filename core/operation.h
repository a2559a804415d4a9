#pragma once

#include "result.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace vellumet {

enum class OperationState { Idle, Running, Finished };

// What the body of a long job sees: whether it should stop, and where to
// report how far it has come.
class OperationContext {
public:
    OperationContext(std::stop_token stop, std::function<void(std::int64_t, std::int64_t)> progress)
        : stop_(std::move(stop)), progress_(std::move(progress)) {}

    const std::stop_token& stopToken() const { return stop_; }
    bool cancelled() const { return stop_.stop_requested(); }
    // done out of total, in whatever unit the job counts (bytes, lines).
    void progress(std::int64_t done, std::int64_t total) const {
        if (progress_)
            progress_(done, total);
    }

private:
    std::stop_token stop_;
    std::function<void(std::int64_t, std::int64_t)> progress_;
};

// What an owner needs of a running operation whatever its result type: to
// stop it and to wait for it (a window closing).
class OperationHandle {
public:
    virtual ~OperationHandle() = default;
    virtual void cancel() = 0;
    virtual bool wait(std::chrono::milliseconds timeout) = 0;
};

// A long job (a card transfer, a log import, a write to the station) run the
// same way by a window and by the command line: it reports progress, can be
// cancelled from any thread, and ends with a typed result.
//
// run() works on the calling thread (the command line); start() on a thread of
// the operation's own (a window, which then posts the outcome back to its own
// thread from the finished callback). The callbacks run on the thread that
// runs the body.
template <class T> class Operation final : public OperationHandle {
public:
    using Body = std::function<Result<T>(const OperationContext&)>;
    using ProgressFn = std::function<void(std::int64_t done, std::int64_t total)>;
    using FinishedFn = std::function<void(const Result<T>&)>;

    explicit Operation(Body body) : body_(std::move(body)) {}
    ~Operation() override {
        cancel();
        if (thread_.joinable())
            thread_.join();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Set before start() or run().
    void onProgress(ProgressFn fn) { progress_ = std::move(fn); }
    void onFinished(FinishedFn fn) { finished_ = std::move(fn); }

    Result<T> run() {
        begin();
        return execute();
    }

    void start() {
        begin();
        thread_ = std::thread([this] { (void)execute(); });
    }

    // Asks the body to stop; it ends with Errc::Cancelled at its next check.
    void cancel() override { stop_.request_stop(); }
    bool cancelRequested() const { return stop_.stop_requested(); }
    std::stop_token stopToken() const { return stop_.get_token(); }

    OperationState state() const {
        std::lock_guard lock(mutex_);
        return state_;
    }

    // Waits until the body has returned; false on timeout.
    bool wait(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(mutex_);
        return done_.wait_for(lock, timeout, [this] { return state_ == OperationState::Finished; });
    }

    // The outcome once finished.
    std::optional<Result<T>> result() const {
        std::lock_guard lock(mutex_);
        return result_;
    }

private:
    void begin() {
        std::lock_guard lock(mutex_);
        assert(state_ == OperationState::Idle);
        state_ = OperationState::Running;
    }

    Result<T> execute() {
        const OperationContext context(stop_.get_token(), progress_);
        Result<T> outcome = body_(context);
        if (finished_)
            finished_(outcome);
        {
            std::lock_guard lock(mutex_);
            result_ = outcome;
            state_ = OperationState::Finished;
        }
        done_.notify_all();
        return outcome;
    }

    Body body_;
    ProgressFn progress_;
    FinishedFn finished_;
    std::stop_source stop_;
    mutable std::mutex mutex_;
    std::condition_variable done_;
    OperationState state_ = OperationState::Idle;
    std::optional<Result<T>> result_;
    std::thread thread_;
};

} // namespace vellumet
