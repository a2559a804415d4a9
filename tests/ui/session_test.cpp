#include "ui/main/main_session.h"

#include "station_rig.h"

#include "device/command_frame.h"
#include "device/station_blocks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace vellumet;
using namespace vellumet::ui;
using namespace std::chrono_literals;

TEST(MainSession, StartsWithEveryReadingMissing) {
    StationRig rig;
    MainSession session(*rig.link);
    for (const ChannelReading& r : session.readings()) {
        EXPECT_EQ(r.temperature, NO_VALUE_F);
        EXPECT_EQ(r.humidity, NO_VALUE);
    }
    EXPECT_EQ(session.snapshot()->came, 0u);
}

TEST(MainSession, RefreshSendsTheEightQueriesAndTakesEveryAnswer) {
    StationRig rig;
    MainSession session(*rig.link);
    ASSERT_TRUE(session.openAtStart());
    rig.station->clearReceived();
    session.refresh();

    std::vector<std::uint8_t> codes;
    for (const Block& frame : rig.station->receivedFrames())
        codes.push_back(frame[1]);
    const std::vector<std::uint8_t> expected{
        cmd::Settings,    cmd::Identification, cmd::Interval,    cmd::AlarmBlock1,
        cmd::AlarmBlock3, cmd::AlarmBlock4,    cmd::Calibration, cmd::Readings};
    EXPECT_EQ(codes, expected);

    const std::shared_ptr<const StationSnapshot> s = session.snapshot();
    EXPECT_TRUE(s->complete());
    EXPECT_EQ(s->interval, rig.station->interval());
    EXPECT_FALSE(s->identText.empty());
    EXPECT_NE(rig.station->ident().find(s->identText), std::string::npos);
    EXPECT_EQ(s->settings, rig.station->settingsBlock());
    EXPECT_EQ(s->alarmSwitches, rig.station->alarmBlock(1));
    EXPECT_EQ(s->temperatureLimits, rig.station->alarmBlock(3));
    EXPECT_EQ(s->humidityLimits, rig.station->alarmBlock(4));
    EXPECT_EQ(s->calibration, rig.station->calibrationBlock());

    const Readings r = session.readings();
    EXPECT_FLOAT_EQ(r[0].temperature, 23.5f);
    EXPECT_EQ(r[0].humidity, 45);
    EXPECT_FLOAT_EQ(r[1].temperature, -5.2f);
    EXPECT_EQ(r[2].temperature, NO_VALUE_F);
    EXPECT_EQ(r[2].humidity, 50);
    EXPECT_EQ(r[3].humidity, NO_VALUE);
    EXPECT_EQ(r[7].temperature, NO_VALUE_F);
}

// A refresh in which one query goes unanswered takes the others; the window
// gets a new snapshot each time, so a holder of the old one sees it unchanged.
TEST(MainSession, RefreshWithAnUnansweredQueryTakesTheRest) {
    sim::Profile profile = StationRig::profile();
    profile.faults.ignored = {cmd::Calibration};
    StationRig rig(profile);
    MainSession session(*rig.link);
    ASSERT_TRUE(session.openAtStart());
    session.refresh();
    const std::shared_ptr<const StationSnapshot> first = session.snapshot();
    EXPECT_EQ(first->missingText(), "calibration");
    EXPECT_FLOAT_EQ(first->readings[0].temperature, 23.5f);

    ASSERT_TRUE(setLoggingInterval(*rig.link, first->interval + 1).ok());
    session.refresh();
    const std::shared_ptr<const StationSnapshot> second = session.snapshot();
    EXPECT_EQ(second->interval, first->interval + 1);
    EXPECT_EQ(second->missingText(), "calibration");
    EXPECT_NE(first->interval, second->interval) << "the first snapshot did not change";
}

TEST(MainSession, RemovalMakesEveryReadingMissingAndReleasesSenders) {
    StationRig rig;
    MainSession session(*rig.link);
    ASSERT_TRUE(session.openAtStart());
    session.refresh();
    ASSERT_FLOAT_EQ(session.readings()[0].temperature, 23.5f);

    rig.station->unplug();
    vellumet::LinkTestAccess::occupy(*rig.link); // as if a sender were waiting
    const auto result = session.handleDeviceChange(DeviceChange::Removal);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
    EXPECT_FALSE(session.connected());
    EXPECT_TRUE(vellumet::LinkTestAccess::free(*rig.link));
    for (const ChannelReading& reading : session.readings()) {
        EXPECT_EQ(reading.temperature, NO_VALUE_F);
        EXPECT_EQ(reading.humidity, NO_VALUE);
    }
}

TEST(MainSession, ChangesThatDoNotFitTheStateAreIgnored) {
    StationRig rig;
    MainSession session(*rig.link);
    ASSERT_TRUE(session.openAtStart());
    EXPECT_FALSE(session.handleDeviceChange(DeviceChange::Arrival).has_value());

    rig.station->unplug();
    ASSERT_EQ(session.handleDeviceChange(DeviceChange::Removal), std::optional<bool>(false));
    EXPECT_FALSE(session.handleDeviceChange(DeviceChange::Removal).has_value());

    rig.station->plug();
    EXPECT_EQ(session.handleDeviceChange(DeviceChange::Arrival), std::optional<bool>(true));
    EXPECT_TRUE(session.connected());
}

TEST(MainSession, RemovalOfAnotherDeviceKeepsTheConnection) {
    StationRig rig;
    MainSession session(*rig.link);
    ASSERT_TRUE(session.openAtStart());
    EXPECT_EQ(session.handleDeviceChange(DeviceChange::Removal), std::optional<bool>(true));
    EXPECT_TRUE(session.connected());
}

TEST(MainSession, RescanFindsPlugAndUnplug) {
    StationRig rig;
    rig.station->unplug();
    MainSession session(*rig.link);
    ASSERT_FALSE(session.openAtStart());
    EXPECT_FALSE(session.rescan().has_value()); // nothing there, nothing to do
    rig.station->plug();
    EXPECT_EQ(session.rescan(), std::optional<bool>(true));
    EXPECT_FALSE(session.rescan().has_value()); // still there
    rig.station->unplug();
    EXPECT_EQ(session.rescan(), std::optional<bool>(false));
}

TEST(MainSession, ShutdownIsPromptWhileTheStationIsSilent) {
    StationRig rig(StationRig::profile(/*silent=*/true));
    auto session = std::make_unique<MainSession>(*rig.link);
    ASSERT_TRUE(session->openAtStart());
    session->startPolling({});
    // Wait until the refresh sits in its first five-second wait.
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (session->poll().state() != PollLoop::State::Refreshing &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(session->poll().state(), PollLoop::State::Refreshing);
    std::this_thread::sleep_for(50ms);

    const auto start = std::chrono::steady_clock::now();
    session.reset();
    rig.link.reset(); // joins the reader thread
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 1s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
}
