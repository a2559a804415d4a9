#include "poll_loop.h"

namespace vellumet::ui {

PollLoop::PollLoop(Hooks hooks, PollTiming timing) : hooks_(std::move(hooks)), timing_(timing) {}

PollLoop::~PollLoop() {
    stop();
}

void PollLoop::start() {
    if (thread_.joinable())
        return;
    stop_ = false;
    stopEvent_.reset();
    thread_ = std::thread([this] { run(); });
}

void PollLoop::stop() {
    std::lock_guard lock(stopMutex_);
    stop_ = true;
    stopEvent_.set();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

bool PollLoop::startRefresh() {
    std::lock_guard lock(stateMutex_);
    if (state_ != State::Idle)
        return false;
    const int count = counter_.load();
    if (count < timing_.refreshThreshold && count != 0)
        return false;
    state_ = State::Refreshing;
    return true;
}

void PollLoop::endRefresh() {
    {
        std::lock_guard lock(stateMutex_);
        state_ = holdWanted_ ? State::Held : State::Idle;
    }
    stateChanged_.notify_all();
}

PollLoop::State PollLoop::state() const {
    std::lock_guard lock(stateMutex_);
    return state_;
}

bool PollLoop::pass() {
    bool refreshed = false;
    bool idle = false;
    if (hooks_.connected()) {
        if (startRefresh()) {
            hooks_.refresh();
            refreshes_.fetch_add(1);
            if (hooks_.repaint)
                hooks_.repaint();
            endRefresh();
            counter_ = 1;
            refreshed = true;
        }
        idle = state() != State::Held;
    }
    if (idle)
        counter_.fetch_add(1);
    // Saturate far above the threshold: the value only matters up to there.
    if (counter_.load() < 1'000'000)
        counter_.fetch_add(1);
    return refreshed;
}

void PollLoop::run() {
    while (!stop_.load()) {
        pass();
        if (stop_.load() || stopEvent_.wait(timing_.tick))
            break;
        if (hooks_.repaint)
            hooks_.repaint();
    }
}

void PollLoop::holdForDialog(std::chrono::milliseconds maxWait) {
    hold();
    waitForIdle(maxWait);
}

void PollLoop::hold() {
    std::lock_guard lock(stateMutex_);
    holdWanted_ = true;
    if (state_ == State::Idle)
        state_ = State::Held;
}

bool PollLoop::waitForIdle(std::chrono::milliseconds maxWait) {
    std::unique_lock lock(stateMutex_);
    return stateChanged_.wait_for(lock, maxWait, [this] { return state_ != State::Refreshing; });
}

void PollLoop::releaseAfterDialog() {
    std::lock_guard lock(stateMutex_);
    holdWanted_ = false;
    if (state_ == State::Held)
        state_ = State::Idle;
}

} // namespace vellumet::ui
