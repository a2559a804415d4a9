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
    pollIdleEvent.reset();
    pollIdleEvent.set();
    thread_ = std::thread([this] { run(); });
}

void PollLoop::stop() {
    std::lock_guard lock(stopMutex_);
    stop_ = true;
    stopEvent_.set();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

bool PollLoop::pass() {
    bool refreshed = false;
    if (hooks_.connected() && busy.load() == 0) {
        const int count = counter_.load();
        if (count >= timing_.refreshThreshold || count == 0) {
            pollIdleEvent.reset();
            hooks_.refresh();
            refreshes_.fetch_add(1);
            if (hooks_.repaint)
                hooks_.repaint();
            pollIdleEvent.set();
            counter_ = 1;
            refreshed = true;
        }
        counter_.fetch_add(1);
    }
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

bool PollLoop::waitForIdle(std::chrono::milliseconds maxWait) {
    const bool idle = pollIdleEvent.wait(maxWait);
    pollIdleEvent.reset();
    pollIdleEvent.set();
    return idle;
}

void PollLoop::releaseAfterDialog() {
    busy = 0;
}

} // namespace vellumet::ui
