#include "cli_harness.h"

#include "device/readings.h"
#include "device/time_sync.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cmath>

namespace vellumet::cli::test {
namespace {

QJsonObject parseObject(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n"
                                                     << text;
    EXPECT_TRUE(doc.isObject());
    return doc.object();
}

// CH1 25.0 °C 50 %; CH2 -10.0 °C, no humidity; CH3 no temperature, 40 %;
// CH4 60.1 °C (out of range) and 100 % (out of range); CH5 to CH8 nothing.
sim::Profile knownReadingsProfile(int unit = 0) {
    sim::Profile p;
    p.unit = unit;
    p.answers[cmd::Readings] =
        readingsBlock({{0x00, 0xFA, 50}, {0xFF, 0x9C, 0xFF}, {0x7F, 0xFF, 40}, {0x02, 0x59, 100}});
    return p;
}

TEST_F(CliFixture, LiveRunsTheRefreshQueriesInThePollingOrder) {
    const CliResult r = run({"live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(receivedCodes(), kRefreshCodes);
    for (const Block& frame : station->receivedFrames())
        EXPECT_EQ(frame, CommandFrame(frame[1]).bytes()) << "a query carries no payload";
}

TEST_F(CliFixture, LiveJsonCarriesCelsiusPercentAndNulls) {
    makeStation(knownReadingsProfile());
    const CliResult r = run({"--format", "json", "live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const QJsonObject o = parseObject(r.out);
    EXPECT_EQ(o.value("unit").toString(), QString::fromUtf8("°C"));
    const QJsonArray channels = o.value("channels").toArray();
    ASSERT_EQ(channels.size(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(channels[i].toObject().value("channel").toInt(), i + 1);

    const QJsonObject ch1 = channels[0].toObject();
    EXPECT_DOUBLE_EQ(ch1.value("temperature").toDouble(), 25.0);
    EXPECT_EQ(ch1.value("humidity").toInt(), 50);
    EXPECT_DOUBLE_EQ(ch1.value("dewPoint").toDouble(), 13.9); // 13.886 rounded

    const QJsonObject ch2 = channels[1].toObject();
    EXPECT_DOUBLE_EQ(ch2.value("temperature").toDouble(), -10.0);
    EXPECT_TRUE(ch2.value("humidity").isNull());
    EXPECT_TRUE(ch2.value("dewPoint").isNull());

    const QJsonObject ch3 = channels[2].toObject();
    EXPECT_TRUE(ch3.value("temperature").isNull());
    EXPECT_EQ(ch3.value("humidity").toInt(), 40);
    EXPECT_TRUE(ch3.value("dewPoint").isNull()) << "no dew point without a temperature";

    const QJsonObject ch4 = channels[3].toObject();
    EXPECT_TRUE(ch4.value("temperature").isNull()) << "60.1 is out of range";
    EXPECT_TRUE(ch4.value("humidity").isNull()) << "100 is out of range";
    for (int i = 4; i < 8; ++i) {
        const QJsonObject ch = channels[i].toObject();
        for (const char* key : {"temperature", "humidity", "dewPoint"}) {
            ASSERT_TRUE(ch.contains(key));
            EXPECT_TRUE(ch.value(key).isNull()) << key;
        }
    }
}

TEST_F(CliFixture, LiveJsonStaysInCelsiusForAFahrenheitStation) {
    makeStation(knownReadingsProfile(1));
    const CliResult r = run({"live", "--format=json"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const QJsonObject o = parseObject(r.out);
    EXPECT_EQ(o.value("unit").toString(), QString::fromUtf8("°F"));
    EXPECT_DOUBLE_EQ(o.value("channels").toArray()[0].toObject().value("temperature").toDouble(),
                     25.0);
}

TEST_F(CliFixture, LiveTextUsesTheWindowsTexts) {
    makeStation(knownReadingsProfile());
    const CliResult r = run({"live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 9u) << r.out; // heading and eight channels
    EXPECT_NE(rows[1].find("CH1"), std::string::npos);
    EXPECT_NE(rows[1].find(formatTemperature(25.0f, TextForm::WithUnit, false)), std::string::npos)
        << rows[1];
    EXPECT_NE(rows[1].find("50  %"), std::string::npos) << rows[1];
    EXPECT_NE(rows[1].find("13.9  °C"), std::string::npos) << rows[1];
    EXPECT_NE(rows[2].find("-10.0  °C"), std::string::npos) << rows[2];
    EXPECT_NE(rows[2].find("--  %"), std::string::npos) << rows[2];
    EXPECT_NE(rows[3].find("--  °C"), std::string::npos) << rows[3];
    EXPECT_NE(rows[3].find("40  %"), std::string::npos) << rows[3];
    EXPECT_NE(rows[8].find("CH8"), std::string::npos);
}

TEST_F(CliFixture, LiveTextFollowsTheStationsFahrenheit) {
    makeStation(knownReadingsProfile(1));
    const CliResult r = run({"live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("77.0  °F"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("°C"), std::string::npos) << r.out;
}

TEST_F(CliFixture, LiveCsvHasAHeaderAndOneLinePerChannel) {
    makeStation(knownReadingsProfile());
    const CliResult r = run({"--format", "csv", "live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[0], "channel,temperature,humidity,dewPoint");
    for (int n = 1; n <= 8; ++n) {
        const auto f = csvSplit(rows[n]);
        ASSERT_EQ(f.size(), 4u) << rows[n];
        EXPECT_EQ(f[0], std::to_string(n));
    }
    EXPECT_EQ(csvSplit(rows[1]), (std::vector<std::string>{"1", "25.0", "50", "13.9"}));
    EXPECT_EQ(csvSplit(rows[2]), (std::vector<std::string>{"2", "-10.0", "", ""}));
    EXPECT_EQ(csvSplit(rows[3]), (std::vector<std::string>{"3", "", "40", ""}));
}

TEST_F(CliFixture, LiveAgainstTheGeneratedStationMatchesItsAnswer) {
    // Readings drift slowly; two answers taken a moment apart agree.
    const CliResult r = run({"--format", "json", "live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const Readings expected = decodeReadings(sim::generatedReadings(std::chrono::milliseconds(0)));
    const QJsonArray channels = parseObject(r.out).value("channels").toArray();
    ASSERT_EQ(channels.size(), 8);
    for (int i = 0; i < 8; ++i) {
        const QJsonObject ch = channels[i].toObject();
        if (expected[i].hasTemperature())
            EXPECT_NEAR(ch.value("temperature").toDouble(), expected[i].temperature, 0.25) << i;
        else
            EXPECT_TRUE(ch.value("temperature").isNull());
    }
}

// Answers later than their waits must never be printed as another kind's
// data (the alarm limits or the calibration as readings): with each delay
// either the true readings come out, or the command fails.
TEST_F(CliFixture, LateAnswersAreNeverPrintedAsReadings) {
    for (int delayMs : {90, 300}) { // 900 ms and 3000 ms at the station's own pace
        sim::Profile profile = knownReadingsProfile();
        profile.faults.answerDelayMs = delayMs;
        makeStation(profile);
        const CliResult r = run({"--format", "json", "live"});
        if (r.status == kExitOk) {
            const QJsonArray channels = parseObject(r.out).value("channels").toArray();
            ASSERT_EQ(channels.size(), 8) << delayMs;
            EXPECT_DOUBLE_EQ(channels[0].toObject().value("temperature").toDouble(), 25.0)
                << delayMs << ": " << r.out;
        } else {
            EXPECT_EQ(r.status, kExitFailure) << delayMs;
            EXPECT_EQ(r.out, "") << delayMs;
        }
        if (delayMs == 300) {
            EXPECT_EQ(r.status, kExitFailure) << "the readings answer came far too late";
        }
    }
}

// Ctrl-C ends a command within half a second, even in the middle of the
// waits for a silent station (a refresh would take 14.8 s).
TEST_F(CliFixture, InterruptEndsACommandAtOnce) {
    sim::Profile profile;
    profile.faults.silent = true;
    makeStation(profile);
    linkPercent = 0;
    for (const char* command : {"live", "info", "sync-time"}) {
        std::stop_source interrupt;
        Environment env;
        env.stop = interrupt.get_token();
        std::thread ctrlC([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            interrupt.request_stop();
        });
        const auto start = std::chrono::steady_clock::now();
        const CliResult r = run({command}, env);
        const auto took = std::chrono::steady_clock::now() - start;
        ctrlC.join();
        EXPECT_LT(took, std::chrono::milliseconds(800)) << command;
        EXPECT_EQ(r.status, kExitFailure) << command;
        EXPECT_EQ(r.out, "") << command;
    }
}

TEST_F(CliFixture, NoStationIsAnErrorOnOneLineWithNothingOnStandardOutput) {
    makeStation();
    station->unplug();
    for (const char* command : {"live", "info", "sync-time", "watch"}) {
        const CliResult r = run({"--format", "json", command});
        EXPECT_EQ(r.status, kExitFailure) << command;
        EXPECT_EQ(r.out, "") << command;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find("no station found"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--simulate"), std::string::npos) << r.err;
    }
    const CliResult r = run({"set-interval", "10"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_NE(r.err.find("Unconnected"), std::string::npos);
    EXPECT_TRUE(station->receivedFrames().empty());
}

TEST_F(CliFixture, InfoDecodesEveryBlock) {
    sim::Profile p;
    p.interval = 17;
    // CH1 +1.5 °C and +5 %, CH2 -1.5 °C and -5 %, CH3 no temperature offset.
    Block calibration{};
    const std::uint8_t triples[] = {0x00, 0x0F, 0x05, 0xFF, 0xF1, 0xFB, 0x7F, 0xFF, 0x00};
    std::copy(std::begin(triples), std::end(triples), calibration.begin() + 1);
    p.answers[cmd::Calibration] = calibration;
    makeStation(p);

    const CliResult r = run({"info", "--format", "json"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(receivedCodes(),
              (std::vector<std::uint8_t>{0x04, 0xFE, 0x41, 0x06, 0x08, 0x09, 0x05}));
    const QJsonObject o = parseObject(r.out);
    EXPECT_EQ(o.value("identification").toString(), "{ZP7421X@}");
    EXPECT_TRUE(o.value("eightAreas").toBool());
    EXPECT_EQ(o.value("interval").toInt(), 17);

    // Settings: compare with the station's own block, read byte by byte here.
    const Block s = station->settingsBlock();
    const QJsonObject settings = o.value("settings").toObject();
    EXPECT_EQ(settings.value("graphType").toInt(), s[1]);
    EXPECT_EQ(settings.value("graphTimeHours").toInt(), s[2]);
    EXPECT_EQ(settings.value("timeZone").toInt(), static_cast<std::int8_t>(s[6]));
    EXPECT_EQ(settings.value("unit").toString(),
              s[7] ? QString::fromUtf8("°F") : QString::fromUtf8("°C"));
    const QJsonArray areas = settings.value("areas").toArray();
    ASSERT_EQ(areas.size(), 8);
    for (int a = 0; a < 8; ++a) {
        const std::size_t at = 8 + 4 * static_cast<std::size_t>(a);
        const qint64 mask = qint64(s[at]) << 24 | qint64(s[at + 1]) << 16 | qint64(s[at + 2]) << 8 |
                            qint64(s[at + 3]);
        const QJsonObject area = areas[a].toObject();
        EXPECT_EQ(area.value("area").toInt(), a + 1);
        EXPECT_EQ(area.value("mask").toInteger(), mask);
        for (const QJsonValue ch : area.value("temperature").toArray())
            EXPECT_TRUE(mask >> (3 * (ch.toInt() - 1)) & 1);
        for (const QJsonValue ch : area.value("dewPoint").toArray())
            EXPECT_TRUE(mask >> (3 * (ch.toInt() - 1) + 1) & 1);
    }

    // Alarms: limits and enables from blocks 1, 3 and 4.
    const Block sw = station->alarmBlock(1);
    const Block tl = station->alarmBlock(3);
    const Block hl = station->alarmBlock(4);
    const QJsonObject alarms = o.value("alarms").toObject();
    EXPECT_EQ(alarms.value("temperatureAlarm").toBool(), sw[2] == 0);
    EXPECT_EQ(alarms.value("humidityAlarm").toBool(), sw[1] == 0);
    const QJsonArray alarmChannels = alarms.value("channels").toArray();
    ASSERT_EQ(alarmChannels.size(), 8);
    for (int n = 1; n <= 8; ++n) {
        const QJsonObject c = alarmChannels[n - 1].toObject();
        const auto tenths = [&](int at) {
            return static_cast<std::int16_t>(tl[at] << 8 | tl[at + 1]) / 10.0;
        };
        EXPECT_DOUBLE_EQ(c.value("temperatureHigh").toDouble(), tenths(4 * n - 3)) << n;
        EXPECT_DOUBLE_EQ(c.value("temperatureLow").toDouble(), tenths(4 * n - 1)) << n;
        EXPECT_EQ(c.value("humidityHigh").toInt(), hl[2 * n - 1]) << n;
        EXPECT_EQ(c.value("humidityLow").toInt(), hl[2 * n]) << n;
        EXPECT_EQ(c.value("temperatureHighEnabled").toBool(), bool(sw[5] >> (n - 1) & 1)) << n;
        EXPECT_EQ(c.value("temperatureLowEnabled").toBool(), bool(sw[6] >> (n - 1) & 1)) << n;
        EXPECT_EQ(c.value("humidityHighEnabled").toBool(), bool(sw[3] >> (n - 1) & 1)) << n;
    }

    const QJsonArray cal = o.value("calibration").toArray();
    ASSERT_EQ(cal.size(), 8);
    EXPECT_DOUBLE_EQ(cal[0].toObject().value("temperature").toDouble(), 1.5);
    EXPECT_EQ(cal[0].toObject().value("humidity").toInt(), 5);
    EXPECT_DOUBLE_EQ(cal[1].toObject().value("temperature").toDouble(), -1.5);
    EXPECT_EQ(cal[1].toObject().value("humidity").toInt(), -5);
    EXPECT_TRUE(cal[2].toObject().value("temperature").isNull());
}

TEST_F(CliFixture, InfoShowsFiveAreasForAFiveAreaStation) {
    sim::Profile p;
    p.ident = "{ZP7421@}";
    makeStation(p);
    const CliResult json = run({"--format", "json", "info"});
    ASSERT_EQ(json.status, kExitOk) << json.err;
    EXPECT_EQ(parseObject(json.out).value("settings").toObject().value("areas").toArray().size(),
              5);
    const CliResult text = run({"info"});
    EXPECT_NE(text.out.find("CH Area5"), std::string::npos);
    EXPECT_EQ(text.out.find("CH Area6"), std::string::npos);
}

TEST_F(CliFixture, InfoTextShowsLimitsInTheStationsUnit) {
    sim::Profile p;
    p.unit = 1;
    makeStation(p);
    const CliResult r = run({"info"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    // The virtual station's limits are 35.0 and -10.0 °C: 95.0 and 14.0 °F.
    EXPECT_NE(r.out.find("95.0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("14.0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Interval:"), std::string::npos);
    EXPECT_NE(r.out.find("{ZP7421X@}"), std::string::npos);
}

TEST_F(CliFixture, InfoCsvRowsParseBack) {
    const CliResult r = run({"--format", "csv", "info"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const auto rows = lines(r.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "section,name,channel,value");
    bool sawInterval = false;
    int calibrationRows = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto f = csvSplit(rows[i]);
        ASSERT_EQ(f.size(), 4u) << rows[i];
        if (f[0] == "station" && f[1] == "interval") {
            sawInterval = true;
            EXPECT_EQ(f[3], std::to_string(station->interval()));
        }
        if (f[0] == "calibration")
            ++calibrationRows;
    }
    EXPECT_TRUE(sawInterval);
    EXPECT_EQ(calibrationRows, 16);
}

TEST_F(CliFixture, SyncTimeSendsTheLocalTimeAfterTheStatusCheck) {
    const StationTime before = localStationTime();
    const auto startedAt = std::time(nullptr);
    const CliResult r = run({"sync-time"});
    const auto endedAt = std::time(nullptr);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out.rfind("Sync Time Success: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" sent to the station\n"), std::string::npos) << r.out;
    EXPECT_EQ(receivedCodes(), (std::vector<std::uint8_t>{cmd::ScreenStatus, cmd::SetClock}));
    EXPECT_EQ(station->endOfWriteCount(), 0) << "the clock write has no closing 0x2F";
    ASSERT_TRUE(station->lastClockFrame().has_value());
    const Block clock = *station->lastClockFrame();
    bool matches = false;
    for (auto t = startedAt; t <= endedAt; ++t)
        matches = matches || clock == timeFrame(localStationTime(t)).bytes();
    EXPECT_TRUE(matches) << "frame holds a local time of the run; started " << before.hour << ':'
                         << before.minute << ':' << before.second;
}

TEST_F(CliFixture, SyncTimeJsonReportsTheTimeSent) {
    const CliResult r = run({"sync-time", "--format", "json"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const QJsonObject o = parseObject(r.out);
    EXPECT_EQ(o.value("message").toString(), "Sync Time Success");
    EXPECT_EQ(o.value("outcome").toString(), "sent");
    const Block clock = *station->lastClockFrame();
    const QString expected =
        QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", clock[2] << 8 | clock[3], clock[4],
                          clock[5], clock[6], clock[7], clock[8]);
    EXPECT_EQ(o.value("time").toString(), expected);
}

TEST_F(CliFixture, SyncTimeAwayFromMainScreenSendsNoTime) {
    makeStation();
    station->setScreenAway(1);
    const CliResult r = run({"sync-time"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vellumet-cli: Please switch the device to the main screen.\n");
    EXPECT_EQ(receivedCodes(), (std::vector<std::uint8_t>{cmd::ScreenStatus}));
    EXPECT_FALSE(station->lastClockFrame().has_value());
}

// The station goes right after its status answer: the time never reached
// it, and success must not be claimed.
TEST_F(CliFixture, SyncTimeToAStationThatWentAwayFails) {
    sim::Profile profile;
    profile.faults.unplugAfterReports = 1;
    makeStation(profile);
    const CliResult r = run({"sync-time"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.find("Success"), std::string::npos) << r.err;
    EXPECT_FALSE(station->lastClockFrame().has_value());
}

TEST_F(CliFixture, SetIntervalWritesTheIntervalAndReadsItBack) {
    const CliResult r = run({"set-interval", "10"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "Set Interval Success: the station confirms 10 minutes\n");
    EXPECT_EQ(station->interval(), 10);
    const auto frames = station->receivedFrames();
    ASSERT_EQ(frames.size(), 3u) << "no screen-status query for the interval";
    const std::uint8_t payload[] = {10};
    EXPECT_EQ(frames[0], CommandFrame(cmd::WriteInterval, payload).bytes());
    EXPECT_EQ(frames[1], CommandFrame(cmd::EndOfWrite).bytes());
    EXPECT_EQ(frames[2], CommandFrame(cmd::Interval).bytes()) << "the read-back";
}

TEST_F(CliFixture, SetIntervalTheStationDidNotTakeIsAFailure) {
    sim::Profile profile;
    profile.answers[cmd::Interval] = Block{0x00, 7}; // always answers 7 minutes
    makeStation(profile);
    const CliResult r = run({"set-interval", "10"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.err, "vellumet-cli: the interval was sent, but the station reports 7 minutes\n");
}

TEST_F(CliFixture, SetIntervalAcceptsBothEndsOfTheRange) {
    for (int minutes : {1, 240}) {
        station.reset();
        const CliResult r = run({"--format", "json", "set-interval", std::to_string(minutes)});
        ASSERT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(station->interval(), minutes);
        const QJsonObject o = parseObject(r.out);
        EXPECT_EQ(o.value("message").toString(), "Set Interval Success");
        EXPECT_EQ(o.value("interval").toInt(), minutes);
        EXPECT_EQ(o.value("outcome").toString(), "confirmed");
    }
}

TEST_F(CliFixture, SetIntervalOutOfRangeIsAUsageErrorAndSendsNothing) {
    for (const char* bad : {"0", "241", "-5", "abc", "10min", ""}) {
        const CliResult r = run({"set-interval", bad});
        EXPECT_EQ(r.status, kExitUsage) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_EQ(r.err, "vellumet-cli: Interval Range of values: 1 to 240 Minute\n") << bad;
    }
    EXPECT_TRUE(station->receivedFrames().empty());
    EXPECT_EQ(station->interval(), 5);
}

} // namespace
} // namespace vellumet::cli::test
