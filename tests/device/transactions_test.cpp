#include "device/station_queries.h"
#include "device/transactions.h"
#include "scripted_transport.h"

#include <gtest/gtest.h>

namespace vellumet {
namespace {

using namespace std::chrono_literals;
using test::blockOf;
using test::ScriptedTransport;

struct TransactionFixture : ::testing::Test {
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    std::unique_ptr<StationLink> link;
    int screenByte = 0;
    bool silent = false;

    void SetUp() override {
        transport->devices = {{"/dev/hidraw0", kStationVendorId, kStationProductId}};
        transport->shared.responder = [this](const Block& frame) -> std::vector<Block> {
            if (silent)
                return {};
            switch (frame[1]) {
            case cmd::ScreenStatus:
                return {blockOf({0x00, static_cast<std::uint8_t>(screenByte)})};
            case cmd::Settings:
                return {blockOf({0x00, 1, 2, 3, 4, 5, 6, 1})};
            case cmd::Identification:
                return {blockOf({'{', 'Z', 'P', '7', '4', '2', '1', 'X', '@', '}'})};
            case cmd::Interval:
                return {blockOf({0x00, 10})};
            case cmd::AlarmBlock1:
                return {blockOf({0x00, 0xA1})};
            case cmd::AlarmBlock3:
                return {blockOf({0x00, 0xA3})};
            case cmd::AlarmBlock4:
                return {blockOf({0x00, 0xA4})};
            case cmd::Calibration:
                return {blockOf({0x00, 0xCA})};
            case cmd::Readings:
                return {blockOf({0x00, 0x00, 0xFA, 50, 0xFF, 0xFF, 0xFF})};
            default:
                return {};
            }
        };
        link = std::make_unique<StationLink>(transport);
        ASSERT_TRUE(link->openStation());
    }

    std::vector<std::uint8_t> codes() {
        std::vector<std::uint8_t> out;
        for (const Block& b : transport->written())
            out.push_back(b[1]);
        return out;
    }
};

TEST_F(TransactionFixture, EachQueryReportsWhetherItsAnswersCame) {
    EXPECT_TRUE(queryStationInfo(*link));
    EXPECT_TRUE(queryAlarmLimits(*link));
    EXPECT_TRUE(queryCalibration(*link));
    silent = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(queryAlarmLimits(*link));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 3000ms)
        << "the chain waits 1000 ms for each of the three answers";
    EXPECT_TRUE(link->responseEvent.isSet());
}

TEST_F(TransactionFixture, RefreshSendsTheEightQueriesInOrderAndFilesAnswers) {
    const Readings r = refreshAll(*link);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x04, 0xFE, 0x41, 0x06, 0x08, 0x09, 0x05, 0x03}));
    EXPECT_EQ(link->answers().identText(), "{ZP7421X@}");
    EXPECT_EQ(link->answers().intervalAnswer(), 10);
    EXPECT_EQ(link->answers().alarmAnswer(1)[1], 0xA1);
    EXPECT_EQ(link->answers().alarmAnswer(2)[1], 0x00) << "block 2 is never requested";
    EXPECT_EQ(link->answers().alarmAnswer(3)[1], 0xA3);
    EXPECT_EQ(link->answers().alarmAnswer(4)[1], 0xA4);
    EXPECT_EQ(link->answers().calibrationAnswer()[1], 0xCA);
    EXPECT_EQ(link->fahrenheit.load(), 1);
    EXPECT_FLOAT_EQ(r[0].temperature, 25.0f);
    EXPECT_EQ(r[0].humidity, 50);
    EXPECT_FALSE(r[1].hasTemperature());
}

TEST_F(TransactionFixture, WriteSendsStatusThenFramesThenEnd) {
    const CommandFrame frames[] = {CommandFrame(cmd::WriteAlarm1), CommandFrame(cmd::WriteAlarm3)};
    EXPECT_EQ(writeTransaction(*link, frames), WriteOutcome::Sent);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51, 0x12, 0x14, 0x2F}));
    std::lock_guard lock(transport->shared.mutex);
    const auto& t = transport->shared.writeTimes;
    for (std::size_t i = 2; i < t.size(); ++i)
        EXPECT_GE(t[i] - t[i - 1], 60ms) << "each data frame is followed by 10 + 50 ms";
}

TEST_F(TransactionFixture, WriteToStationAwayFromMainScreenSendsNothingMore) {
    screenByte = 0xFF;
    std::atomic<int> dialogCopy{0};
    link->answers().addAwayCopy(&dialogCopy);
    const CommandFrame frames[] = {CommandFrame(cmd::WriteSettings)};
    WriteOptions options;
    options.awayFlag = &dialogCopy;
    EXPECT_EQ(writeTransaction(*link, frames, options), WriteOutcome::AwayFromMainScreen);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51}));
    EXPECT_EQ(dialogCopy.load(), 255);
    EXPECT_TRUE(link->responseEvent.isSet()) << "the link is left free";
}

TEST_F(TransactionFixture, ClockWriteSendsNoEndFrame) {
    const CommandFrame frames[] = {CommandFrame(cmd::SetClock)};
    WriteOptions options;
    options.sendEndOfWrite = false;
    options.closingWaitMs = 1000;
    EXPECT_EQ(writeTransaction(*link, frames, options), WriteOutcome::Sent);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51, 0x30}));
}

TEST_F(TransactionFixture, SilentStationIsStillWrittenAndWaitsRunOut) {
    silent = true;
    const CommandFrame frames[] = {CommandFrame(cmd::WriteCalibration)};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(writeTransaction(*link, frames), WriteOutcome::Sent);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51, 0x11, 0x2F}));
    EXPECT_GE(took, std::chrono::milliseconds(kScreenStatusWaitMs + 500));
    EXPECT_EQ(link->expected(), ResponseKind::NoAnswer);
    EXPECT_TRUE(link->responseEvent.isSet());
}

TEST_F(TransactionFixture, WriteWhileUnconnectedIsSkipped) {
    link->closeStation();
    const CommandFrame frames[] = {CommandFrame(cmd::WriteSettings)};
    EXPECT_EQ(writeTransaction(*link, frames), WriteOutcome::NotConnected);
    EXPECT_TRUE(transport->written().empty());
}

TEST_F(TransactionFixture, IntervalWriteSendsFrameAndEndWithoutStatusQuery) {
    const std::uint8_t payload[] = {15};
    const auto start = std::chrono::steady_clock::now();
    intervalWriteTransaction(*link, CommandFrame(cmd::WriteInterval, payload));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1000ms) << "nothing answers a write";
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x40, 0x2F}));
    EXPECT_EQ(transport->written()[0][2], 15);
}

TEST_F(TransactionFixture, UnconnectedQueriesReturnAtOnce) {
    link->closeStation();
    const auto start = std::chrono::steady_clock::now();
    queryAlarmLimits(*link);
    queryCalibration(*link);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms)
        << "a connected chain would wait 1000 ms";
}

TEST_F(TransactionFixture, RemovalReleasesAWaitingSender) {
    silent = true;
    std::thread releaser([&] {
        std::this_thread::sleep_for(100ms);
        link->responseEvent.set();
    });
    const auto start = std::chrono::steady_clock::now();
    queryTransaction(*link, query::Settings);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    releaser.join();
}

} // namespace
} // namespace vellumet
