#include "cli_harness.h"

#include "device/station_access.h"
#include "tests/device/denying_transport.h"

namespace vellumet::cli::test {
namespace {

// A station present but refused (no udev rule) gets the one sentence that says
// how to fix it, on one line, for every command that needs the station; once
// access is granted the same command works.
TEST_F(CliFixture, RefusedStationSaysHowToGrantAccess) {
    makeStation();
    auto denying = std::make_shared<vellumet::test::DenyingTransport>(transport);
    Environment env;
    env.linkTiming = LinkTiming::quick();
    env.makeTransport = [&](const TransportOptions&) {
        return std::static_pointer_cast<Transport>(denying);
    };
    const std::string dir = dataDir.path().toStdString();
    for (const char* command : {"live", "info", "sync-time"}) {
        const CliResult r = runRaw({"--data-dir", dir, command}, env);
        EXPECT_EQ(r.status, kExitFailure) << command;
        EXPECT_EQ(r.out, "") << command;
        ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(accessDeniedSentence()), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Unconnected"), std::string::npos) << r.err;
    }
    EXPECT_GT(denying->refusals.load(), 0);
    EXPECT_TRUE(station->receivedFrames().empty());

    denying->denied = false;
    const CliResult r = runRaw({"--data-dir", dir, "live"}, env);
    EXPECT_EQ(r.status, 0) << r.err;
}

} // namespace
} // namespace vellumet::cli::test
