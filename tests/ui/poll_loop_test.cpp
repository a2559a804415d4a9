#include "ui/main/poll_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace vellumet::ui;
using namespace std::chrono_literals;

namespace {

struct Probe {
    std::atomic<bool> connected{true};
    std::atomic<int> refreshes{0};
    std::atomic<int> repaints{0};
    PollLoop::Hooks hooks() {
        return {[this] { return connected.load(); }, [this] { refreshes++; },
                [this] { repaints++; }};
    }
};

} // namespace

TEST(PollLoop, RefreshesAtOnceAndThenEveryTwentyPasses) {
    Probe probe;
    PollLoop loop(probe.hooks());
    EXPECT_TRUE(loop.pass()); // counter 0: at once
    EXPECT_EQ(loop.counter(), 3);
    int passes = 0;
    while (!loop.pass()) {
        ++passes;
        ASSERT_LT(passes, 100);
    }
    EXPECT_EQ(passes, 19); // the 20th pass after the first refreshes again
    EXPECT_EQ(probe.refreshes.load(), 2);
    EXPECT_EQ(probe.repaints.load(), 2); // one repaint after each refresh
}

// Without a station the counter grows by one a pass and nothing refreshes; a
// station that comes refreshes once the counter has reached forty.
TEST(PollLoop, PlugRefreshesOnceTheCounterReachesForty) {
    const struct {
        int passesUnplugged;
        int passesToRefresh; // after the plug, not counting the one that refreshes
    } rows[] = {{40, 0}, {45, 0}, {10, 15}, {0, 0}}; // 10, 12, ..., 38 do not refresh
    for (const auto& row : rows) {
        Probe probe;
        probe.connected = row.passesUnplugged == 0;
        PollLoop loop(probe.hooks());
        for (int i = 0; i < row.passesUnplugged; ++i)
            EXPECT_FALSE(loop.pass());
        EXPECT_EQ(loop.counter(), row.passesUnplugged);
        EXPECT_EQ(probe.refreshes.load(), 0);
        probe.connected = true;
        int passes = 0;
        while (!loop.pass() && passes < 100)
            ++passes;
        EXPECT_EQ(passes, row.passesToRefresh) << row.passesUnplugged;
        EXPECT_EQ(probe.refreshes.load(), 1);
    }
}

TEST(PollLoop, HoldKeepsTheRefreshBackUntilReleased) {
    Probe probe;
    PollLoop loop(probe.hooks());
    loop.pass(); // the first refresh
    EXPECT_EQ(loop.state(), PollLoop::State::Idle);
    loop.hold();
    EXPECT_EQ(loop.state(), PollLoop::State::Held);
    for (int i = 0; i < 60; ++i)
        EXPECT_FALSE(loop.pass());
    loop.releaseAfterDialog();
    EXPECT_EQ(loop.state(), PollLoop::State::Idle);
    EXPECT_TRUE(loop.pass()); // the counter passed 40 meanwhile
}

// The pass decides to refresh under the same lock the hold takes: once a hold
// has returned and a refresh in progress has ended, no refresh starts until
// the loop is released, however the two threads interleave.
TEST(PollLoop, NoRefreshStartsAfterAHoldHasReturned) {
    std::atomic<bool> held{false};
    std::atomic<int> startedWhileHeld{0};
    std::atomic<int> refreshes{0};
    PollLoop loop({[] { return true; },
                   [&] {
                       if (held.load())
                           ++startedWhileHeld;
                       ++refreshes;
                   },
                   {}},
                  PollTiming{1ms, 2}); // a refresh is due on every pass
    std::atomic<bool> done{false};
    std::thread passes([&] {
        while (!done.load())
            loop.pass();
    });
    const auto until = std::chrono::steady_clock::now() + 1s;
    int holds = 0;
    while (std::chrono::steady_clock::now() < until) {
        loop.hold();
        ASSERT_TRUE(loop.waitForIdle(3000ms));
        held = true;
        for (int i = 0; i < 50; ++i)
            std::this_thread::yield();
        held = false;
        const int before = refreshes.load();
        loop.releaseAfterDialog();
        ++holds;
        // Let the loop refresh once, so that the next hold meets it deciding.
        const auto patience = std::chrono::steady_clock::now() + 10ms;
        while (refreshes.load() == before && std::chrono::steady_clock::now() < patience)
            std::this_thread::yield();
    }
    done = true;
    passes.join();
    EXPECT_EQ(startedWhileHeld.load(), 0) << "in " << holds << " holds";
    EXPECT_GT(refreshes.load(), 0) << "the loop refreshed between the holds";
}

TEST(PollLoop, ThreadRepaintsEveryTickAndStopsPromptly) {
    Probe probe;
    PollLoop loop(probe.hooks(), PollTiming{2ms, 40});
    loop.start();
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (probe.refreshes.load() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    EXPECT_GE(probe.refreshes.load(), 2);
    EXPECT_GT(probe.repaints.load(), 20);
    const auto start = std::chrono::steady_clock::now();
    loop.stop();
    EXPECT_FALSE(loop.running());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
}

TEST(PollLoop, LongTickDoesNotDelayStop) {
    Probe probe;
    probe.connected = false;
    PollLoop loop(probe.hooks(), PollTiming{10s, 40});
    loop.start();
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    loop.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
}

TEST(PollLoop, MenuCommandWaitsForARefreshInProgress) {
    std::atomic<bool> inRefresh{false};
    std::atomic<bool> refreshDone{false};
    PollLoop loop({[] { return true; },
                   [&] {
                       inRefresh = true;
                       std::this_thread::sleep_for(150ms);
                       refreshDone = true;
                   },
                   [] {}},
                  PollTiming{1ms, 40});
    loop.start();
    while (!inRefresh.load())
        std::this_thread::sleep_for(1ms);
    loop.holdForDialog(3000ms);
    EXPECT_TRUE(refreshDone.load()); // the dialog opens only after the refresh ended
    EXPECT_EQ(loop.state(), PollLoop::State::Held);
    loop.releaseAfterDialog();
    EXPECT_NE(loop.state(), PollLoop::State::Held);
    loop.stop();
}

TEST(PollLoop, MenuCommandGivesUpWaitingAfterItsLimit) {
    std::atomic<bool> inRefresh{false};
    std::atomic<bool> release{false};
    PollLoop loop({[] { return true; },
                   [&] {
                       inRefresh = true;
                       while (!release.load())
                           std::this_thread::sleep_for(1ms);
                   },
                   [] {}},
                  PollTiming{1ms, 40});
    loop.start();
    while (!inRefresh.load())
        std::this_thread::sleep_for(1ms);
    const auto start = std::chrono::steady_clock::now();
    loop.holdForDialog(50ms);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 45ms);
    EXPECT_LT(waited, 1s);
    release = true;
    loop.releaseAfterDialog();
    loop.stop();
}
