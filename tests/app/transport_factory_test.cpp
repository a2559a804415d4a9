#include "app/transport_factory.h"
#include "device/station_link.h"
#include "device/trace_transport.h"
#include "sim/virtual_station.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

TEST_F(TransportFactory, DeviceIsChosenByPathSerialOrLinkAndTheVariableStandsIn) {
    const std::string node = path("hidraw3");
    std::ofstream(node).close();
    const std::string link = path("station-link");
    std::filesystem::create_symlink(node, link);
    const DeviceInfo info{node, kStationVendorId, kStationProductId, "A1B2", "Station"};
    for (const std::string& name : {node, std::string("A1B2"), link, std::string()})
        EXPECT_TRUE(matchesDevice(info, name)) << name;
    for (const std::string& name : {path("hidraw4"), std::string("A1B"), std::string("Station")})
        EXPECT_FALSE(matchesDevice(info, name)) << name;

    ::setenv(kDeviceVariable, "FROMENV", 1);
    EXPECT_EQ(chosenDevice("GIVEN"), "GIVEN");
    EXPECT_EQ(chosenDevice(""), "FROMENV");
    ::unsetenv(kDeviceVariable);
    EXPECT_EQ(chosenDevice(""), "");

    // The virtual station is there whatever a left-over variable names.
    auto simulated = makeTransport({true, "", "", "", "NOT-THIS-ONE"});
    ASSERT_TRUE(simulated.ok());
    EXPECT_EQ((*simulated)->enumerate(kStationVendorId, kStationProductId).size(), 1u);
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
