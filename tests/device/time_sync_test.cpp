#include "device/time_sync.h"
#include "link_test_access.h"
#include "scripted_transport.h"
#include "sim/virtual_station.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace vellumet {
namespace {

TEST(TimeFrame, LayoutOfASundayMorning) {
    // 2026-12-06 10:53:07, a Sunday.
    const StationTime t{2026, 12, 6, 10, 53, 7, 0};
    const std::uint8_t head[] = {0x7B, 0x30, 0x07, 0xEA, 0x0C, 0x06,
                                 0x0A, 0x35, 0x07, 0x00, 0x40, 0x7D};
    const Block frame = timeFrame(t).bytes();
    for (std::size_t i = 0; i < sizeof head; ++i)
        EXPECT_EQ(frame[i], head[i]) << "byte " << i;
    for (std::size_t i = sizeof head; i < frame.size(); ++i)
        EXPECT_EQ(frame[i], 0) << "byte " << i;
}

// Pins the time zone for one test and puts it back afterwards.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST(LocalStationTime, TakesTheLocalCalendarFields) {
    constexpr std::time_t moment = 1796554387; // 2026-12-06 10:53:07 UTC, a Sunday
    {
        ZoneGuard utc("UTC0");
        EXPECT_EQ(localStationTime(moment), (StationTime{2026, 12, 6, 10, 53, 7, 0}));
    }
    {
        ZoneGuard east("XYZ-3"); // three hours east of UTC
        EXPECT_EQ(localStationTime(moment), (StationTime{2026, 12, 6, 13, 53, 7, 0}));
    }
    {
        ZoneGuard west("XYZ11"); // eleven hours west: still Saturday
        EXPECT_EQ(localStationTime(moment), (StationTime{2026, 12, 5, 23, 53, 7, 6}));
    }
}

struct SyncFixture : ::testing::Test {
    std::shared_ptr<sim::VirtualStation> station = std::make_shared<sim::VirtualStation>();
    StationLink link{std::make_shared<sim::VirtualTransport>(station), LinkTiming::quick()};
    const StationTime time{2026, 12, 6, 10, 53, 7, 0};
};

TEST_F(SyncFixture, GuardedSyncChecksTheScreenThenSendsOnlyTheTime) {
    ASSERT_TRUE(link.openStation());
    EXPECT_TRUE(guardedTimeSync(link, time).ok());
    const auto frames = station->receivedFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], CommandFrame(cmd::ScreenStatus).bytes());
    EXPECT_EQ(frames[1], timeFrame(time).bytes());
    EXPECT_EQ(station->lastClockFrame(), timeFrame(time).bytes());
}

TEST_F(SyncFixture, GuardedSyncAwayFromMainScreenSendsNoTime) {
    station->setScreenAway(1);
    ASSERT_TRUE(link.openStation());
    EXPECT_EQ(guardedTimeSync(link, time).code(), Errc::AwayFromMainScreen);
    EXPECT_EQ(station->receivedFrames().size(), 1u);
    EXPECT_FALSE(station->lastClockFrame().has_value());
}

TEST_F(SyncFixture, GuardedSyncWithoutStationSendsNothing) {
    station->unplug();
    EXPECT_FALSE(link.openStation());
    EXPECT_EQ(guardedTimeSync(link, time).code(), Errc::NotConnected);
    EXPECT_TRUE(station->receivedFrames().empty());
}

TEST_F(SyncFixture, DirectSyncSendsTheTimeWithoutStatusQuery) {
    ASSERT_TRUE(link.openStation());
    EXPECT_TRUE(directTimeSync(link, time).ok());
    const auto frames = station->receivedFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], timeFrame(time).bytes());
}

// Which waits a write uses is seen where it runs: another sender holding the
// link a little longer than its wait for the link makes it give up and send
// nothing, a little less and it sends; after its last frame it waits its
// closing wait out (the station stays silent, so that no status answer ends
// that wait early). The clock from the menu (and sync-time) has its own row.
// An answer still owed is waited out, however long the row's wait for the
// link: the write goes out once its time is over, never before.
TEST(WriteTiming, EachWriteWaitsByItsOwnRow) {
    using namespace std::chrono_literals;
    const StationTime time{2026, 12, 6, 10, 53, 7, 0};
    struct Row {
        const char* write;
        std::function<Status(StationLink&)> run;
        int linkWait;
        int closingWait;
        std::vector<std::uint8_t> codes;
    };
    const Row rows[] = {
        {"menu clock",
         [&](StationLink& l) { return guardedTimeSync(l, time); },
         3000,
         1000,
         {0x51, 0x30}},
        {"direct clock",
         [&](StationLink& l) { return directTimeSync(l, time); },
         1000,
         1000,
         {0x30}},
        {"settings",
         [](StationLink& l) {
             const CommandFrame frame(cmd::WriteAlarm1);
             return l.writeSettings(std::span<const CommandFrame>(&frame, 1));
         },
         5000,
         500,
         {0x51, 0x12, 0x2F}},
    };
    LinkTiming timing = LinkTiming::quick();
    timing.waitPercent = 20;
    constexpr auto margin = 100ms;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.write);
        for (const bool ownedLonger : {true, false}) {
            auto transport = std::make_shared<test::ScriptedTransport>();
            transport->devices = {{"/dev/hidraw0", kStationVendorId, kStationProductId}};
            StationLink link(transport, timing);
            ASSERT_TRUE(link.openStation());
            const auto linkWait = timing.scaled(row.linkWait);
            ASSERT_TRUE(LinkTestAccess::lockExchange(link)); // another sender's exchange
            std::thread other([&] {
                std::this_thread::sleep_for(ownedLonger ? linkWait + margin : linkWait - margin);
                LinkTestAccess::unlockExchange(link);
            });
            const Status status = row.run(link);
            const auto end = std::chrono::steady_clock::now();
            other.join();
            std::vector<std::uint8_t> codes;
            for (const Block& b : transport->written())
                codes.push_back(b[1]);
            if (ownedLonger) {
                EXPECT_EQ(status.code(), Errc::Timeout);
                EXPECT_TRUE(codes.empty());
                continue;
            }
            EXPECT_TRUE(status.ok()) << status.error().text();
            EXPECT_EQ(codes, row.codes);
            std::lock_guard lock(transport->shared.mutex);
            EXPECT_GE(end - transport->shared.writeTimes.back(), timing.scaled(row.closingWait));
        }

        auto transport = std::make_shared<test::ScriptedTransport>();
        transport->devices = {{"/dev/hidraw0", kStationVendorId, kStationProductId}};
        StationLink link(transport, timing);
        ASSERT_TRUE(link.openStation());
        const auto owedFor = timing.scaled(row.linkWait) + margin;
        const auto owedFrom = std::chrono::steady_clock::now();
        LinkTestAccess::owe(link, owedFor);
        EXPECT_TRUE(row.run(link).ok());
        std::lock_guard lock(transport->shared.mutex);
        ASSERT_FALSE(transport->shared.writeTimes.empty());
        EXPECT_GE(transport->shared.writeTimes.front() - owedFrom, owedFor);
    }
}

} // namespace
} // namespace vellumet
