#pragma once

#include "device/manual_reset_event.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vellumet::ui {

struct PollTiming {
    // Length of one pass; the window is repainted after each.
    std::chrono::milliseconds tick{1000};
    // Counter value from which a refresh is due again.
    int refreshThreshold = 40;
};

// The polling thread's loop: a refresh of all station data at once and then
// every threshold/2 passes while connected and no dialog is open, and a repaint
// after every pass. The counter grows by 2 per pass while connected and idle
// and by 1 otherwise, so a station plugged in after a long wait is refreshed
// at once, one plugged in soon after start when the counter reaches the threshold.
class PollLoop {
public:
    struct Hooks {
        std::function<bool()> connected;
        std::function<void()> refresh; // runs the queries; called on the polling thread
        std::function<void()> repaint; // asks the window to repaint; any thread
    };

    PollLoop(Hooks hooks, PollTiming timing = {});
    ~PollLoop();
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    void start();
    // Ends the loop and joins the thread. A refresh in progress must return
    // promptly for this to be quick; the owner cancels its waits first.
    void stop();
    bool running() const { return thread_.joinable(); }
    bool stopping() const { return stop_.load(); }

    // One pass without the pause and the repaint: the refresh when one is due,
    // and the counter.
    // Returns whether a refresh ran. Public so that tests can drive the counter.
    bool pass();

    int counter() const { return counter_.load(); }
    int refreshCount() const { return refreshes_.load(); }

    // Idle: a pass may start a refresh. Refreshing: one runs. Held: a menu
    // command holds the loop and no refresh starts until it lets go.
    enum class State { Idle, Refreshing, Held };
    State state() const;

    // What a menu command does before it opens its dialog: hold the loop, then
    // give a refresh in progress up to maxWait to end.
    void holdForDialog(std::chrono::milliseconds maxWait = std::chrono::milliseconds(3000));
    void releaseAfterDialog();
    // The two halves of holdForDialog, for a command that asks the user first
    // and waits off the window's thread. Once hold() has returned no refresh
    // starts (the pass decides under the same lock); a refresh already running
    // ends and the loop is held then. waitForIdle returns whether no refresh
    // runs any more within maxWait.
    void hold();
    bool waitForIdle(std::chrono::milliseconds maxWait = std::chrono::milliseconds(3000));

private:
    void run();
    // Under stateMutex_: whether a refresh is due now; if so the loop is
    // Refreshing from here on.
    bool startRefresh();
    void endRefresh();

    Hooks hooks_;
    PollTiming timing_;
    std::atomic<int> counter_{0};
    std::atomic<int> refreshes_{0};
    std::atomic<bool> stop_{false};
    mutable std::mutex stateMutex_;
    std::condition_variable stateChanged_;
    State state_ = State::Idle;
    bool holdWanted_ = false; // a hold came while a refresh ran
    std::mutex stopMutex_;
    ManualResetEvent stopEvent_{false};
    std::thread thread_;
};

} // namespace vellumet::ui
