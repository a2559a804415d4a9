#include "device/station_blocks.h"
#include "device/station_snapshot.h"
#include "link_test_access.h"
#include "scripted_transport.h"

#include <gtest/gtest.h>

namespace vellumet {
namespace {

using namespace std::chrono_literals;
using test::blockOf;
using test::ScriptedTransport;

struct ExchangeFixture : ::testing::Test {
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    std::unique_ptr<StationLink> link;
    LinkTiming timing = LinkTiming::quick();
    std::atomic<int> screenByte{0};
    std::atomic<bool> silent{false};

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
        link = std::make_unique<StationLink>(transport, timing);
        ASSERT_TRUE(link->openStation());
    }

    std::vector<std::uint8_t> codes() {
        std::vector<std::uint8_t> out;
        for (const Block& b : transport->written())
            out.push_back(b[1]);
        return out;
    }
};

TEST_F(ExchangeFixture, ReadStationSendsTheEightQueriesInOrderAndSaysWhatCame) {
    std::vector<std::pair<RefreshStep, unsigned>> steps;
    StationSnapshot s = readStation(*link, {}, [&](RefreshStep step, const StationSnapshot& sofar) {
        steps.emplace_back(step, sofar.came);
    });
    EXPECT_TRUE(s.complete());
    EXPECT_EQ(s.missingText(), "");
    const unsigned info = static_cast<unsigned>(StationPart::Settings) |
                          static_cast<unsigned>(StationPart::Identification) |
                          static_cast<unsigned>(StationPart::Interval);
    const unsigned alarms = info | static_cast<unsigned>(StationPart::Alarms);
    const unsigned calibration = alarms | static_cast<unsigned>(StationPart::Calibration);
    EXPECT_EQ(steps, (std::vector<std::pair<RefreshStep, unsigned>>{
                         {RefreshStep::StationInfo, info},
                         {RefreshStep::AlarmLimits, alarms},
                         {RefreshStep::Calibration, calibration},
                         {RefreshStep::CurrentReadings, kAllParts}}));
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x04, 0xFE, 0x41, 0x06, 0x08, 0x09, 0x05, 0x03}));
    EXPECT_EQ(s.settings, blockOf({0x00, 1, 2, 3, 4, 5, 6, 1}));
    EXPECT_EQ(s.identText, "{ZP7421X@}");
    EXPECT_EQ(s.areas(), kMaxAreas);
    EXPECT_EQ(s.interval, 10);
    EXPECT_EQ(s.alarmSwitches[1], 0xA1);
    EXPECT_EQ(s.temperatureLimits[1], 0xA3);
    EXPECT_EQ(s.humidityLimits[1], 0xA4);
    EXPECT_EQ(s.calibration[1], 0xCA);
    EXPECT_TRUE(s.fahrenheit());
    EXPECT_TRUE(link->fahrenheit());
    EXPECT_FLOAT_EQ(s.readings[0].temperature, 25.0f);
    EXPECT_EQ(s.readings[0].humidity, 50);
    EXPECT_FALSE(s.readings[1].hasTemperature());

    // Left without its readings, the reading ends after the calibration.
    {
        std::lock_guard lock(transport->shared.mutex);
        transport->shared.written.clear();
    }
    s = readStation(*link, {}, {}, StationRead::WithoutReadings);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x04, 0xFE, 0x41, 0x06, 0x08, 0x09, 0x05}));
    EXPECT_TRUE(s.complete(kInfoParts));
    EXPECT_EQ(s.missingText(), "readings");

    silent = true;
    timing.waitPercent = 3; // a silent reading runs every wait out
    link = std::make_unique<StationLink>(transport, timing);
    ASSERT_TRUE(link->openStation());
    s = readStation(*link);
    EXPECT_EQ(s.came, 0u);
    EXPECT_EQ(s.missingText(), "settings, identification, interval, alarms, calibration, readings");
    EXPECT_FALSE(s.stopped);
}

// What came replaces its part; a part that did not come keeps what it held.
TEST_F(ExchangeFixture, SnapshotUpdatedWithTakesOnlyThePartsThatCame) {
    const StationSnapshot before = readStation(*link);
    StationSnapshot fresh;
    fresh.settings[1] = 0x77;
    fresh.identText = "other";
    fresh.calibration[1] = 0x55;
    fresh.came = static_cast<unsigned>(StationPart::Calibration);
    fresh.stopped = true;
    const StationSnapshot after = before.updatedWith(fresh);
    EXPECT_EQ(after.calibration[1], 0x55);
    EXPECT_EQ(after.settings, before.settings);
    EXPECT_EQ(after.identText, before.identText);
    EXPECT_EQ(after.readings, before.readings);
    EXPECT_EQ(after.came, kAllParts);
    EXPECT_TRUE(after.stopped);
}

TEST_F(ExchangeFixture, RefreshStopsInsideAWaitWhenCancelled) {
    silent = true;
    std::stop_source stop;
    std::thread canceller([&] {
        std::this_thread::sleep_for(30ms);
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    const StationSnapshot report = readStation(*link, stop.get_token());
    canceller.join();
    EXPECT_TRUE(report.stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms)
        << "a silent refresh lasts " << timing.scaled(14800).count() << " ms";
    EXPECT_EQ(codes().size(), 1u) << "nothing is sent after the stop";
}

TEST_F(ExchangeFixture, WriteSendsStatusThenFramesThenEndWithTheirGaps) {
    timing.writeGap = 50ms;
    link = std::make_unique<StationLink>(transport, timing);
    ASSERT_TRUE(link->openStation());
    const CommandFrame frames[] = {CommandFrame(cmd::WriteAlarm1), CommandFrame(cmd::WriteAlarm3)};
    EXPECT_TRUE(link->writeSettings(frames).ok());
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51, 0x12, 0x14, 0x2F}));
    std::lock_guard lock(transport->shared.mutex);
    const auto& t = transport->shared.writeTimes;
    for (std::size_t i = 1; i < t.size(); ++i)
        EXPECT_GE(t[i] - t[i - 1], 50ms) << "frame " << i << " follows at least the write gap";
}

TEST_F(ExchangeFixture, WriteToStationAwayFromMainScreenSendsNothingMore) {
    screenByte = 0xFF;
    const CommandFrame frames[] = {CommandFrame(cmd::WriteSettings)};
    EXPECT_EQ(link->writeSettings(frames).code(), Errc::AwayFromMainScreen);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51}));
    EXPECT_TRUE(LinkTestAccess::free(*link)) << "the link is left free";

    // A status answer that does not come leaves the last one in force.
    silent = true;
    EXPECT_EQ(link->writeSettings(frames).code(), Errc::AwayFromMainScreen);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51, 0x51}));
    silent = false;
    screenByte = 0;
    std::this_thread::sleep_for(3 * timing.statusAnswerWait); // the owed status answer's time
    EXPECT_TRUE(link->writeSettings(frames).ok());
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51, 0x51, 0x51, 0x10, 0x2F}));
}

TEST_F(ExchangeFixture, SilentStationIsStillWrittenAndWaitsRunOut) {
    silent = true;
    const CommandFrame frames[] = {CommandFrame(cmd::WriteCalibration)};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link->writeSettings(frames).ok());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51, 0x11, 0x2F}));
    EXPECT_GE(took, timing.statusAnswerWait + timing.scaled(write::Settings.closingWait));
    EXPECT_FALSE(LinkTestAccess::free(*link)) << "the status answer is still owed";
}

TEST_F(ExchangeFixture, WriteIsRefusedUnconnectedAndFailsWhenAFrameIsNotTaken) {
    link->closeStation();
    const CommandFrame frames[] = {CommandFrame(cmd::WriteSettings)};
    EXPECT_EQ(link->writeSettings(frames).code(), Errc::NotConnected);
    EXPECT_TRUE(transport->written().empty());

    ASSERT_TRUE(link->openStation());
    transport->shared.responder = [this](const Block& frame) -> std::vector<Block> {
        if (frame[1] == cmd::ScreenStatus) {
            std::lock_guard lock(transport->shared.mutex);
            transport->shared.gone = true; // the station goes right after answering
            return {blockOf({0x00, 0x00})};
        }
        return {};
    };
    EXPECT_EQ(link->writeSettings(frames).code(), Errc::StationGone);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x51})) << "the data frame never went out";
}

TEST_F(ExchangeFixture, IntervalWriteSendsFrameAndEndWithoutStatusQuery) {
    EXPECT_TRUE(setLoggingInterval(*link, 15).ok());
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{0x40, 0x2F}));
    EXPECT_EQ(transport->written()[0][2], 15);
    EXPECT_EQ(setLoggingInterval(*link, 241).code(), Errc::InvalidInput);
    EXPECT_EQ(codes().size(), 2u);
}

TEST_F(ExchangeFixture, RemovalReleasesAWaitingSender) {
    timing = LinkTiming{}; // the real waits: 5000 ms for the settings answer
    link = std::make_unique<StationLink>(transport, timing);
    ASSERT_TRUE(link->openStation());
    silent = true;
    std::thread remover([&] {
        std::this_thread::sleep_for(100ms);
        link->markStationGone();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link->query(query::Settings).code(), Errc::StationGone);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    remover.join();
}

TEST_F(ExchangeFixture, CancelWaitsEndsEveryWaitAtOnce) {
    timing = LinkTiming{};
    link = std::make_unique<StationLink>(transport, timing);
    ASSERT_TRUE(link->openStation());
    silent = true;
    // The cancel comes once the request is out, so the query is in its wait
    // however slowly a loaded machine got it there; it is repeated, since a
    // cancel only ends the waits under way when it comes.
    std::atomic<bool> done{false};
    std::atomic<std::chrono::steady_clock::rep> firstCancel{0};
    std::thread canceller([&] {
        while (transport->written().empty() && !done)
            std::this_thread::sleep_for(1ms);
        firstCancel = std::chrono::steady_clock::now().time_since_epoch().count();
        while (!done) {
            link->cancelWaits();
            std::this_thread::sleep_for(10ms);
        }
    });
    EXPECT_EQ(link->query(query::Settings).code(), Errc::Cancelled);
    const auto end = std::chrono::steady_clock::now();
    done = true;
    canceller.join();
    const std::chrono::steady_clock::time_point cancelled{
        std::chrono::steady_clock::duration{firstCancel.load()}};
    EXPECT_LT(end - cancelled, 500ms);
}

} // namespace
} // namespace vellumet
