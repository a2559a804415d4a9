#include "app/transport_factory.h"
#include "device/station_link.h"
#include "device/trace_transport.h"
#include "sim/virtual_station.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace vellumet {
namespace {

struct TransportFactory : ::testing::Test {
    QTemporaryDir dir;
    std::string path(const char* name) {
        return dir.filePath(QString::fromLatin1(name)).toStdString();
    }
    std::string profile(const std::string& json) {
        const std::string file = path("profile.json");
        std::ofstream(file) << json;
        return file;
    }
};

TEST_F(TransportFactory, BuildsTheVirtualStationFromItsProfileAndTracesIt) {
    auto plain = makeTransport({true, "", ""});
    ASSERT_TRUE(plain.ok()) << plain.error().text();
    ASSERT_NE(dynamic_cast<sim::VirtualTransport*>(plain->get()), nullptr);
    const auto devices = (*plain)->enumerate(kStationVendorId, kStationProductId);
    ASSERT_EQ(devices.size(), 1u);

    auto fromProfile = makeTransport({true, profile(R"({"interval": 33})"), ""});
    ASSERT_TRUE(fromProfile.ok()) << fromProfile.error().text();
    auto* sim = dynamic_cast<sim::VirtualTransport*>(fromProfile->get());
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(sim->station().interval(), 33);

    auto traced = makeTransport({true, "", path("trace.txt")});
    ASSERT_TRUE(traced.ok()) << traced.error().text();
    EXPECT_NE(dynamic_cast<TracingTransport*>(traced->get()), nullptr);
    EXPECT_TRUE((*traced)->status().ok());
}

TEST_F(TransportFactory, UnusableInputsAreErrorsNamingThem) {
    auto badProfile = makeTransport({true, profile("{\"unit\": -1}"), ""});
    ASSERT_FALSE(badProfile.ok());
    EXPECT_EQ(badProfile.code(), Errc::InvalidInput);
    EXPECT_NE(badProfile.error().text().find("unit"), std::string::npos);

    auto badTrace = makeTransport({true, "", path("no/such/trace.txt")});
    ASSERT_FALSE(badTrace.ok());
    EXPECT_NE(badTrace.error().text().find("trace.txt"), std::string::npos);
}

// A trace that opens but cannot be written is reported by the link's owner
// at the end, not lost in silence.
TEST_F(TransportFactory, TraceThatCannotBeWrittenIsReportedThroughTheLink) {
    auto traced = makeTransport({true, "", "/dev/full"});
    ASSERT_TRUE(traced.ok());
    StationLink link(std::move(*traced), LinkTiming::quick());
    ASSERT_TRUE(link.openStation());
    EXPECT_TRUE(link.query(query::Interval).ok());
    const Status status = link.transportStatus();
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.error().text().find("/dev/full"), std::string::npos);
}

} // namespace
} // namespace vellumet
