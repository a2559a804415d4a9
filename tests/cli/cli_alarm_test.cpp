#include "cli_harness.h"

#include "device/command_frame.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vellumet::cli::test {
namespace {

// Channel 1 reads 25.0 °C and 50 %.
sim::Profile channelOneProfile() {
    sim::Profile p;
    p.answers[cmd::Readings] = readingsBlock({{0x00, 0xFA, 50}});
    return p;
}

struct AlarmCase {
    std::vector<std::string> limits; // set-alarm 1 ...
    std::string state;               // "high", "low", "" for none
};

const AlarmCase kAlarmCases[] = {
    {{"temperature-high=20.0", "temperature-high-alarm=on", "temperature-alarm=on"}, "high"},
    {{"temperature-high=40.0", "temperature-low=30.0", "temperature-low-alarm=on",
      "temperature-alarm=on"},
     "low"},
    {{"humidity-high=40", "humidity-high-alarm=on", "humidity-alarm=on"}, "high"},
    {{"humidity-high=80", "humidity-low=60", "humidity-low-alarm=on", "humidity-alarm=on"}, "low"},
    // Past the limit, but its switch or the switch for all channels is off.
    {{"temperature-high=20.0", "temperature-high-alarm=off", "temperature-alarm=on"}, ""},
    {{"temperature-high=20.0", "temperature-high-alarm=on", "temperature-alarm=off"}, ""},
};

// The limits are set through set-alarm on the virtual station; live then
// shows the channel's state in every form.
TEST_F(CliFixture, LiveShowsTheAlarmStateOfEachChannel) {
    for (const AlarmCase& c : kAlarmCases) {
        SCOPED_TRACE(c.limits.front() + " " + c.limits.back());
        makeStation(channelOneProfile());
        std::vector<std::string> set = {"set-alarm", "1"};
        set.insert(set.end(), c.limits.begin(), c.limits.end());
        const CliResult written = run(set);
        ASSERT_EQ(written.status, kExitOk) << written.err;

        const CliResult json = run({"--format", "json", "live"});
        ASSERT_EQ(json.status, kExitOk) << json.err;
        const QJsonArray channels = QJsonDocument::fromJson(QByteArray::fromStdString(json.out))
                                        .object()
                                        .value("channels")
                                        .toArray();
        ASSERT_EQ(channels.size(), 8);
        const QJsonValue alarm = channels[0].toObject().value("alarm");
        if (c.state.empty())
            EXPECT_TRUE(alarm.isNull()) << json.out;
        else
            EXPECT_EQ(alarm.toString().toStdString(), c.state);
        EXPECT_TRUE(channels[1].toObject().contains("alarm"));

        const CliResult csv = run({"--format", "csv", "live"});
        ASSERT_EQ(csv.status, kExitOk) << csv.err;
        EXPECT_EQ(csvSplit(lines(csv.out)[1]).at(4), c.state) << csv.out;

        const CliResult text = run({"live"});
        const std::string row = lines(text.out)[1];
        if (c.state.empty())
            EXPECT_EQ(row.find_first_of("hl"), std::string::npos) << row;
        else
            EXPECT_EQ(row.substr(row.size() - c.state.size() - 2), "  " + c.state) << row;

        // A script waiting for an alarm: exit 3 after the round that shows it.
        const CliResult watched =
            run({"--format", "csv", "watch", "--every", "0", "--count", "2", "--exit-on-alarm"});
        if (c.state.empty()) {
            EXPECT_EQ(watched.status, kExitOk) << watched.err;
            EXPECT_EQ(lines(watched.out).size(), 1u + 16u);
        } else {
            EXPECT_EQ(watched.status, kExitAlarm) << watched.err;
            EXPECT_EQ(lines(watched.out).size(), 1u + 8u) << "the round is printed first";
            EXPECT_EQ(watched.err, "vellumet-cli: alarm: CH1 " + c.state + "\n");
        }
    }
}

} // namespace
} // namespace vellumet::cli::test
