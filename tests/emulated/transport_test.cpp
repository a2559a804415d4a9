// The hidapi transport and the link against a station behind an emulated
// hidraw node: what goes over the node, report by report.

#include "emulated_station.h"

#include "device/hidapi_transport.h"
#include "device/station_link.h"
#include "device/station_snapshot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace vellumet::emulated {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(EmulatedTransport, FramesGoOutBehindReportIdZeroAndReportsComeBackWhole) {
    VELLUMET_REQUIRE_RIG();
    EmulatedBus bus;
    EmulatedStation& emulated = bus.addStation();
    StationLink link(std::make_shared<HidapiTransport>());
    ASSERT_TRUE(link.openStation());
    EXPECT_EQ(link.devicePath(), "/dev/hidraw0");
    const StationSnapshot station = readStation(link);
    EXPECT_TRUE(station.complete());

    const auto writes = emulated.rawWrites();
    const auto frames = emulated.station().receivedFrames();
    ASSERT_EQ(writes.size(), 8u); // the eight queries of a refresh
    ASSERT_EQ(frames.size(), writes.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        ASSERT_EQ(writes[i].size(), kOutputReportSize) << "write " << i;
        EXPECT_EQ(writes[i][0], 0) << "write " << i;
        EXPECT_TRUE(std::equal(frames[i].begin(), frames[i].end(), writes[i].begin() + 1));
    }
    const auto reads = emulated.reportsRead();
    ASSERT_FALSE(reads.empty());
    for (const auto& report : reads)
        EXPECT_EQ(report.size(), kReportDataSize);
    EXPECT_TRUE(station.readings[0].hasTemperature());
}

TEST(EmulatedTransport, ReadsPassShortLongAndMissingReportsAsTheyCome) {
    VELLUMET_REQUIRE_RIG();
    EmulatedBus bus;
    EmulatedStation& emulated = bus.addStation();
    HidapiTransport transport;
    auto handle = transport.open(emulated.node());
    ASSERT_TRUE(handle);
    std::uint8_t buffer[kReportDataSize];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);

    // Nothing to read is a timeout (0), not a failure.
    const auto before = Clock::now();
    EXPECT_EQ(handle->read(buffer, sizeof buffer, 50), 0);
    EXPECT_GE(Clock::now() - before, 40ms);

    // A short report: its bytes, the rest of the buffer untouched.
    emulated.injectReport(std::vector<std::uint8_t>(10, 0x11));
    EXPECT_EQ(handle->read(buffer, sizeof buffer, 500), 10);
    EXPECT_EQ(buffer[9], 0x11);
    EXPECT_EQ(buffer[10], 0xEE);

    // A long one is cut at the buffer, as the kernel hands it over.
    std::vector<std::uint8_t> longReport(70);
    for (std::size_t i = 0; i < longReport.size(); ++i)
        longReport[i] = static_cast<std::uint8_t>(i);
    emulated.injectReport(longReport);
    EXPECT_EQ(handle->read(buffer, sizeof buffer, 500), 64);
    EXPECT_TRUE(std::equal(std::begin(buffer), std::end(buffer), longReport.begin()));

    // A device that is gone fails the read at once.
    emulated.setReadsFail(true);
    const auto goneAt = Clock::now();
    EXPECT_EQ(handle->read(buffer, sizeof buffer, 2000), -1);
    EXPECT_LT(Clock::now() - goneAt, 1000ms);
}

TEST(EmulatedTransport, SilentAndGoneStationsEndWithinTheLinksTimeouts) {
    VELLUMET_REQUIRE_RIG();
    EmulatedBus bus;
    EmulatedStation& emulated = bus.addStation();
    StationLink link(std::make_shared<HidapiTransport>());
    ASSERT_TRUE(link.openStation());
    ASSERT_TRUE(link.query(query::Readings).ok());

    // Stops answering: the query times out, the station stays connected.
    emulated.setSilent(true);
    auto start = Clock::now();
    EXPECT_FALSE(link.query(query::Readings).ok());
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_TRUE(link.connected());

    // Reads fail (unplugged under the reader): the link is lost, the next
    // query ends at once with the readings gone.
    std::atomic<bool> lost{false};
    link.setLinkLostListener([&] {
        lost = true;
        link.markStationGone();
    });
    emulated.setSilent(false);
    emulated.setReadsFail(true);
    start = Clock::now();
    while (!lost && Clock::now() - start < 5s)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(lost);
    EXPECT_LT(Clock::now() - start, 2s); // within one read poll and then some
    EXPECT_FALSE(link.connected());
    EXPECT_FALSE(link.query(query::Readings).ok());
    EXPECT_FALSE(readStation(link).has(StationPart::CurrentReadings));
    link.setLinkLostListener(nullptr);
}

TEST(EmulatedTransport, RefusedNodeIsAPermissionProblemUntilFixed) {
    VELLUMET_REQUIRE_RIG();
    EmulatedBus bus;
    EmulatedStation& emulated = bus.addStation();
    emulated.setDenied(true);
    StationLink link(std::make_shared<HidapiTransport>());
    EXPECT_FALSE(link.openStation());
    EXPECT_EQ(link.openStatus().code(), Errc::AccessDenied);
    EXPECT_TRUE(link.stationPresent());

    emulated.setDenied(false);
    EXPECT_TRUE(link.openStation());
    EXPECT_TRUE(link.query(query::Readings).ok());
}

} // namespace
} // namespace vellumet::emulated
