#include "core/operation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>
#include <vector>

using namespace vellumet;
using namespace std::chrono_literals;

namespace {

// A body that reports progress until asked to stop (or `steps` are done),
// noting the thread it ran on.
struct Counting {
    int steps;
    std::thread::id* ranOn;
    Result<int> operator()(const OperationContext& context) const {
        *ranOn = std::this_thread::get_id();
        for (int i = 1; i <= steps; ++i) {
            if (context.cancelled())
                return makeError(Errc::Cancelled);
            context.progress(i, steps);
        }
        return steps * 10;
    }
};

} // namespace

TEST(Operation, RunWorksOnTheCallingThreadAndReportsEveryStep) {
    std::thread::id bodyThread, finishedThread;
    Operation<int> op(Counting{3, &bodyThread});
    std::vector<std::pair<std::int64_t, std::int64_t>> steps;
    op.onProgress([&](std::int64_t done, std::int64_t total) { steps.emplace_back(done, total); });
    std::optional<int> finished;
    op.onFinished([&](const Result<int>& r) {
        finishedThread = std::this_thread::get_id();
        finished = *r;
    });
    EXPECT_EQ(op.state(), OperationState::Idle);
    EXPECT_FALSE(op.result().has_value());

    const Result<int> outcome = op.run();
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, 30);
    EXPECT_EQ(bodyThread, std::this_thread::get_id());
    EXPECT_EQ(finishedThread, std::this_thread::get_id());
    EXPECT_EQ(finished, 30);
    EXPECT_EQ(steps, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(op.state(), OperationState::Finished);
    EXPECT_TRUE(op.wait(0ms));
    EXPECT_EQ(**op.result(), 30);
}

TEST(Operation, StartedItRunsElsewhereAndACancelEndsItWithCancelled) {
    std::thread::id bodyThread, finishedThread;
    std::promise<void> begun;
    Operation<int> op([&](const OperationContext& context) -> Result<int> {
        bodyThread = std::this_thread::get_id();
        begun.set_value();
        while (!context.cancelled())
            std::this_thread::sleep_for(1ms);
        return makeError(Errc::Cancelled);
    });
    std::optional<Errc> finished;
    op.onFinished([&](const Result<int>& r) {
        finishedThread = std::this_thread::get_id();
        finished = r.code();
    });
    op.start();
    begun.get_future().wait();
    EXPECT_EQ(op.state(), OperationState::Running);
    EXPECT_FALSE(op.wait(20ms)); // still running: the wait gives up

    static_cast<OperationHandle&>(op).cancel(); // as a closing window does
    EXPECT_TRUE(op.cancelRequested());
    ASSERT_TRUE(op.wait(10s));
    EXPECT_EQ(op.state(), OperationState::Finished);
    EXPECT_NE(bodyThread, std::this_thread::get_id());
    EXPECT_EQ(finishedThread, bodyThread);
    EXPECT_EQ(finished, Errc::Cancelled);
    EXPECT_EQ(op.result()->code(), Errc::Cancelled);
}

TEST(Operation, GoingAwayWhileRunningStopsTheBodyAndWaitsForIt) {
    std::atomic<bool> returned{false};
    std::promise<void> begun;
    {
        Operation<int> op([&](const OperationContext& context) -> Result<int> {
            begun.set_value();
            while (!context.stopToken().stop_requested())
                std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(20ms); // the owner must still wait for this
            returned = true;
            return 0;
        });
        op.start();
        begun.get_future().wait();
    }
    EXPECT_TRUE(returned);
}
