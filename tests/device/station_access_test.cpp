#include "denying_transport.h"
#include "device/station_access.h"
#include "device/station_link.h"
#include "device/trace_transport.h"
#include "scripted_transport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vellumet {
namespace {

using test::DenyingTransport;
using test::ScriptedTransport;

DeviceInfo station(const char* path) {
    return {path, kStationVendorId, kStationProductId};
}

// Which reason a scan keeps when the station's interfaces fail to open in
// different ways: a refusal is the one the user can act on, so it wins over
// a plain failure, and any interface that opens wins over both.
TEST(StationAccess, ScanKeepsWhyTheStationCouldNotBeOpened) {
    struct Case {
        const char* name;
        std::vector<DeviceInfo> devices;
        std::string deniedPath;  // refused for lack of permission
        std::string failingPath; // fails for another reason
        bool connected;
        Errc code; // when not connected
    };
    const std::vector<Case> cases = {
        {"none present", {}, "", "", false, Errc::NotConnected},
        {"only refused", {station("/dev/hidraw3")}, "/dev/hidraw3", "", false, Errc::AccessDenied},
        {"only failing", {station("/dev/hidraw3")}, "", "/dev/hidraw3", false, Errc::NotConnected},
        {"failing then refused",
         {station("/dev/hidraw2"), station("/dev/hidraw3")},
         "/dev/hidraw3",
         "/dev/hidraw2",
         false,
         Errc::AccessDenied},
        {"refused then failing",
         {station("/dev/hidraw2"), station("/dev/hidraw3")},
         "/dev/hidraw2",
         "/dev/hidraw3",
         false,
         Errc::AccessDenied},
        {"refused then usable",
         {station("/dev/hidraw2"), station("/dev/hidraw3")},
         "/dev/hidraw2",
         "",
         true,
         Errc::NotConnected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto scripted = std::make_shared<ScriptedTransport>();
        scripted->devices = c.devices;
        if (!c.failingPath.empty())
            scripted->openFails[c.failingPath] = true;
        auto transport = std::make_shared<DenyingTransport>(scripted, c.deniedPath);
        transport->denied = !c.deniedPath.empty();
        StationLink link(transport, LinkTiming::quick());

        EXPECT_EQ(link.openStation(), c.connected);
        EXPECT_EQ(link.connected(), c.connected);
        const Status scan = link.openStatus();
        EXPECT_EQ(scan.ok(), c.connected);
        if (!c.connected) {
            EXPECT_EQ(scan.code(), c.code);
            if (c.code == Errc::AccessDenied) {
                EXPECT_NE(scan.error().text().find(c.deniedPath), std::string::npos);
            }
        }
    }
}

TEST(StationAccess, GrantedAccessIsTakenUpByTheNextScanAndThroughATrace) {
    auto scripted = std::make_shared<ScriptedTransport>();
    scripted->devices = {station("/dev/hidraw3")};
    auto denying = std::make_shared<DenyingTransport>(scripted);
    std::ostringstream trace;
    auto traced = std::make_shared<TracingTransport>(denying, trace);
    StationLink link(traced, LinkTiming::quick());

    EXPECT_FALSE(link.openStation());
    EXPECT_EQ(link.openStatus().code(), Errc::AccessDenied) << "the trace passes the reason on";

    denying->denied = false; // the rule is installed and udev reloaded
    EXPECT_TRUE(link.openStation());
    EXPECT_TRUE(link.openStatus().ok());
    EXPECT_EQ(scripted->opened.size(), 2u);
}

// The sentence names the rule file the project ships, and that rule matches
// the station only and hands it to the logged-in user early enough for
// systemd's seat rules (73-seat-late.rules) to apply the access.
TEST(StationAccess, SentenceNamesTheShippedRuleAndTheReloadCommand) {
    const std::string sentence = accessDeniedSentence();
    EXPECT_NE(sentence.find(kUdevRuleFile), std::string::npos);
    EXPECT_NE(sentence.find(kUdevReloadCommand), std::string::npos);
    EXPECT_EQ(sentence.find('%'), std::string::npos) << sentence;

    std::ifstream file(std::string(VELLUMET_SOURCE_DIR "/resources/udev/") + kUdevRuleFile);
    ASSERT_TRUE(file) << "resources/udev/" << kUdevRuleFile << " is missing";
    EXPECT_LT(std::string(kUdevRuleFile), std::string("73-seat-late.rules"));
    std::vector<std::string> rules;
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line[0] != '#')
            rules.push_back(line);
    ASSERT_EQ(rules.size(), 1u);
    for (const char* part : {"SUBSYSTEM==\"hidraw\"", "ATTRS{idVendor}==\"0483\"",
                             "ATTRS{idProduct}==\"5750\"", "TAG+=\"uaccess\""})
        EXPECT_NE(rules[0].find(part), std::string::npos) << part;
}

} // namespace
} // namespace vellumet
