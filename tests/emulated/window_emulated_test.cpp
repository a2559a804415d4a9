// The window with the real hidapi transport and device monitor, against
// stations plugged, unplugged and refused behind emulated hidraw nodes.

#include "emulated_station.h"

#include "ui/main/main_window.h"

#include "app/messenger.h"
#include "device/hidapi_transport.h"
#include "device/station_access.h"
#include "device/station_snapshot.h"

#include <QTest>

#include <gtest/gtest.h>

namespace vellumet::emulated {
namespace {

using namespace std::chrono_literals;
using ui::MainWindow;

class QuietMessenger : public app::Messenger {
public:
    void info(const QString&) override {}
    bool confirm(const QString&, app::QuestionStyle) override { return true; }
};

// A readings answer with a value on every channel that does not drift.
sim::Profile steadyProfile(std::uint8_t tenthsBase) {
    Block readings = sim::generatedReadings(0ms);
    for (int channel = 0; channel < kChannelCount; ++channel) {
        readings[1 + 3 * channel] = 0;
        readings[2 + 3 * channel] = static_cast<std::uint8_t>(tenthsBase + channel);
        readings[3 + 3 * channel] = 40;
    }
    sim::Profile profile;
    profile.answers[0x03] = readings;
    return profile;
}

bool allChannelsRead(MainWindow& window) {
    const Readings readings = window.session().readings();
    return std::all_of(readings.begin(), readings.end(),
                       [](const ChannelReading& r) { return r.hasTemperature(); });
}

struct Window {
    explicit Window(ui::DeviceMonitor::Options monitor) {
        MainWindow::Options options;
        options.pollTiming = ui::PollTiming{5ms, 40};
        options.monitor = monitor;
        dialog = std::make_unique<MainWindow>(link, messenger, options);
        dialog->onInitDialog();
    }
    ~Window() { dialog->reject(); }
    QString status() const { return dialog->statusPaneText(1); }
    bool waitFor(const QString& text, int ms = 3000) {
        return QTest::qWaitFor([&] { return status() == text; }, ms);
    }

    StationLink link{std::make_shared<HidapiTransport>(), LinkTiming::quick()};
    QuietMessenger messenger;
    std::unique_ptr<MainWindow> dialog;
};

// Only the monitor's events can connect here: the re-scan is an hour away.
ui::DeviceMonitor::Options udevOnly() {
    return {true, std::chrono::hours(1)};
}
ui::DeviceMonitor::Options rescanOnly() {
    return {false, 100ms};
}

TEST(EmulatedWindow, PlugUnplugAndReplugReachTheWindowThroughUdevAndThroughTheRescan) {
    VELLUMET_REQUIRE_RIG();
    for (const bool udev : {true, false}) {
        SCOPED_TRACE(udev ? "udev monitor" : "periodic rescan");
        EmulatedBus bus;
        EmulatedStation& station = bus.addStation({.profile = steadyProfile(200)}, false);
        Window window(udev ? udevOnly() : rescanOnly());
        EXPECT_EQ(window.status(), "Unconnected");

        station.plug();
        EXPECT_TRUE(window.waitFor("Connected")) << window.status().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return allChannelsRead(*window.dialog); }, 3000));

        station.unplug();
        EXPECT_TRUE(window.waitFor("Unconnected")) << window.status().toStdString();
        EXPECT_FALSE(allChannelsRead(*window.dialog));

        station.plug();
        EXPECT_TRUE(window.waitFor("Connected")) << window.status().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return allChannelsRead(*window.dialog); }, 3000));
    }
}

TEST(EmulatedWindow, RefusedNodeShowsThePermissionSentenceUntilAccessIsGranted) {
    VELLUMET_REQUIRE_RIG();
    EmulatedBus bus;
    EmulatedStation& station = bus.addStation({}, false);
    station.setDenied(true);
    Window window(udevOnly());
    station.plug();
    const QString sentence = QString::fromStdString(accessDeniedSentence());
    EXPECT_TRUE(window.waitFor(sentence)) << window.status().toStdString();

    // The rule installed and "udevadm trigger" run: a change event, then the scan.
    station.setDenied(false);
    station.announce("change");
    EXPECT_TRUE(window.waitFor("Connected")) << window.status().toStdString();
}

TEST(EmulatedWindow, TitleNamesTheStationOnlyWhenTwoArePresent) {
    VELLUMET_REQUIRE_RIG();
    EmulatedBus bus;
    bus.addStation({.serial = "EM0001"});
    Window window(udevOnly());
    ASSERT_TRUE(window.waitFor("Connected"));
    EXPECT_EQ(window.dialog->windowTitle(), "Vellumet");

    EmulatedStation& second = bus.addStation({.serial = "EM0002"}, false);
    second.plug();
    // The window keeps the station it has; the title says which one it is.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.dialog->windowTitle() == QString::fromUtf8("Vellumet \u2014 EM0001"); },
        3000))
        << window.dialog->windowTitle().toStdString();
    EXPECT_EQ(window.status(), "Connected");
    EXPECT_EQ(window.link.devicePath(), "/dev/hidraw0");

    second.unplug();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.dialog->windowTitle() == "Vellumet"; }, 3000))
        << window.dialog->windowTitle().toStdString();
}

} // namespace
} // namespace vellumet::emulated
