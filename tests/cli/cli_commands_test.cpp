#include "cli_harness.h"

#include "device/readings.h"
#include "device/time_sync.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// JSON stays in °C for a °F station; only "unit" names the station's unit.
TEST_F(CliFixture, LiveJsonCarriesCelsiusPercentAndNulls) {
    for (const int unit : {1, 0}) {
        makeStation(knownReadingsProfile(unit));
        const CliResult r = run({"--format", "json", "live"});
        ASSERT_EQ(r.status, kExitOk) << r.err;
        const QJsonObject o = parseObject(r.out);
        EXPECT_EQ(o.value("unit").toString(), QString::fromUtf8(unit ? "°F" : "°C"));
        // The time it was read, in the form watch gives it.
        const QDateTime time = QDateTime::fromString(o.value("time").toString(), Qt::ISODate);
        EXPECT_TRUE(time.isValid() && std::abs(time.secsTo(QDateTime::currentDateTime())) < 60)
            << r.out;
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
}

// Numbers right-aligned under headings that carry the units: each value ends
// where its heading ends. CSV leaves a missing value's field empty.
TEST_F(CliFixture, LiveTextAlignsNumbersUnderTheirUnits) {
    struct Case {
        int unit;
        std::string header;
        std::vector<std::string> rows;
        const char* format = "text";
    };
    const Case cases[] = {
        {0,
         "channel,temperature,humidity,dewPoint,alarm,name",
         {"1,25.0,50,13.9,,CH1", "2,-10.0,,,,CH2", "3,,40,,,CH3", "4,,,,,CH4"},
         "csv"},
        {0,
         "      Temperature °C  Humidity %  DewPoint °C  Alarm",
         {"CH1             25.0          50         13.9",
          "CH2            -10.0          --           --",
          "CH3               --          40           --"}},
        {1,
         "      Temperature °F  Humidity %  DewPoint °F  Alarm",
         {"CH1             77.0          50         57.0"}},
    };
    for (const Case& c : cases) {
        makeStation(knownReadingsProfile(c.unit));
        const CliResult r = run({"--format", c.format, "live"});
        ASSERT_EQ(r.status, kExitOk) << r.err;
        const auto rows = lines(r.out);
        ASSERT_EQ(rows.size(), 9u) << r.out; // heading and eight channels
        EXPECT_EQ(rows[0], c.header);
        for (std::size_t i = 0; i < c.rows.size(); ++i)
            EXPECT_EQ(rows[i + 1], c.rows[i]);
        EXPECT_TRUE(rows[8].starts_with("CH8") || rows[8].starts_with("8,")) << rows[8];
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

// The text shows the station's areas, and its limits in its own unit: the
// virtual station's 35.0 and -10.0 °C are 95.0 and 14.0 °F. CSV gives one
// row per value, the calibration's last of them.
TEST_F(CliFixture, InfoTextAndCsvFollowTheStation) {
    const struct {
        const char* ident;
        int unit;
        const char* format;
        std::vector<std::string> shown, absent;
    } rows[] = {
        {"{ZP7421@}",
         0,
         "text",
         {"CH Area5", "35.0", "-10.0", "{ZP7421@}", "Interval:"},
         {"CH Area6"}},
        {"{ZP7421X@}", 1, "text", {"CH Area8", "95.0", "14.0"}, {"35.0"}},
        {"{ZP7421X@}",
         0,
         "csv",
         {"section,name,channel,value\nstation,", "\nstation,interval,,5\n",
          "\ncalibration,temperature,8,0.0\ncalibration,humidity,8,0\n"},
         {",,,", "\"", "calibration,temperature,9"}},
    };
    for (const auto& row : rows) {
        sim::Profile p;
        p.ident = row.ident;
        p.unit = row.unit;
        makeStation(p);
        const CliResult r = run({"--format", row.format, "info"});
        ASSERT_EQ(r.status, kExitOk) << r.err;
        for (const std::string& text : row.shown)
            EXPECT_NE(r.out.find(text), std::string::npos) << text << " in\n" << r.out;
        for (const std::string& text : row.absent)
            EXPECT_EQ(r.out.find(text), std::string::npos) << text << " in\n" << r.out;
    }
}

// The text form is the documented example's; JSON says the time sent.
TEST_F(CliFixture, SyncTimeSendsTheLocalTimeAfterTheStatusCheck) {
    const auto startedAt = std::time(nullptr);
    const CliResult r = run({"sync-time", "--format", "json"});
    const auto endedAt = std::time(nullptr);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(receivedCodes(), (std::vector<std::uint8_t>{cmd::ScreenStatus, cmd::SetClock}));
    EXPECT_EQ(station->endOfWriteCount(), 0) << "the clock write has no closing 0x2F";
    ASSERT_TRUE(station->lastClockFrame().has_value());
    const Block clock = *station->lastClockFrame();
    bool matches = false;
    for (auto t = startedAt; t <= endedAt; ++t)
        matches = matches || clock == timeFrame(localStationTime(t)).bytes();
    EXPECT_TRUE(matches) << "frame holds a local time of the run";
    const QJsonObject o = parseObject(r.out);
    EXPECT_EQ(o.value("message").toString(), "Sync Time Success");
    EXPECT_EQ(o.value("outcome").toString(), "sent");
    EXPECT_EQ(o.value("time").toString(),
              QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", clock[2] << 8 | clock[3], clock[4],
                                clock[5], clock[6], clock[7], clock[8]));
}

// Away from the main screen, or gone right after its status answer: the time
// never reached the station, and success must not be claimed.
TEST_F(CliFixture, SyncTimeThatDidNotReachTheStationFails) {
    for (const bool away : {true, false}) {
        sim::Profile profile;
        profile.screenAway = away ? 1 : 0;
        profile.faults.unplugAfterReports = away ? 0 : 1;
        makeStation(profile);
        const CliResult r = run({"sync-time"});
        EXPECT_EQ(r.status, kExitFailure);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.find("Success"), std::string::npos) << r.err;
        EXPECT_FALSE(station->lastClockFrame().has_value());
        if (away) {
            EXPECT_EQ(r.err, "vellumet-cli: Please switch the device to the main screen.\n");
            EXPECT_EQ(receivedCodes(), (std::vector<std::uint8_t>{cmd::ScreenStatus}));
        }
    }
}

// The interval goes out without a status query, and only the station's own
// answer confirms it; a value out of range sends nothing.
TEST_F(CliFixture, SetIntervalIsConfirmedByTheStationsAnswer) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
        int interval;     // the station's afterwards
        int answered = 0; // what the station answers, when not its own
    } rows[] = {
        {{"set-interval", "10"},
         kExitOk,
         "Set Interval Success: the station confirms 10 minutes\n",
         "",
         10},
        {{"--format", "json", "set-interval", "1"},
         kExitOk,
         R"({"interval":1,"message":"Set Interval Success","outcome":"confirmed"})"
         "\n",
         "",
         1},
        {{"--format", "json", "set-interval", "240"},
         kExitOk,
         R"({"interval":240,"message":"Set Interval Success","outcome":"confirmed"})"
         "\n",
         "",
         240},
        {{"set-interval", "10"},
         kExitFailure,
         "",
         "vellumet-cli: the interval was sent, but the station reports 7 minutes\n",
         10,
         7},
    };
    for (const auto& row : rows) {
        sim::Profile profile;
        if (row.answered)
            profile.answers[cmd::Interval] = Block{0x00, static_cast<std::uint8_t>(row.answered)};
        makeStation(profile);
        const CliResult r = run(row.args);
        EXPECT_EQ(r.status, row.status) << row.args.back();
        const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(r.out));
        EXPECT_EQ(json.isObject() ? json.toJson(QJsonDocument::Compact).toStdString() + "\n"
                                  : r.out,
                  row.out);
        EXPECT_EQ(r.err, row.err);
        EXPECT_EQ(station->interval(), row.interval);
        const std::uint8_t payload[] = {static_cast<std::uint8_t>(row.interval)};
        EXPECT_EQ(station->receivedFrames(),
                  (std::vector<Block>{CommandFrame(cmd::WriteInterval, payload).bytes(),
                                      CommandFrame(cmd::EndOfWrite).bytes(),
                                      CommandFrame(cmd::Interval).bytes()}))
            << "the write, its end and the read-back";
    }
    makeStation();
    for (const char* bad : {"0", "241", "-5", "abc", "10min", ""}) {
        const CliResult r = run({"set-interval", bad});
        EXPECT_EQ(r.status, kExitUsage) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_EQ(r.err, "vellumet-cli: Interval Range of values: 1 to 240 Minute\n") << bad;
    }
    EXPECT_TRUE(station->receivedFrames().empty());
    EXPECT_EQ(station->interval(), 5);
}

// ---- Files the tool writes, and the end of a command on a signal ----

// A card log of `rows` readings a minute apart from 2026-01-01.
void writeMinuteLog(const QString& path, int rows) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    char line[96];
    for (int i = 0; i < rows; ++i) {
        const int day = i / 1440 % 28 + 1, month = i / (1440 * 28) % 12 + 1;
        const int year = 2026 + i / (1440 * 28 * 12);
        std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:00,%.1f,%d,%.1f,%.1f\n", year,
                      month, day, i % 1440 / 60, i % 60, 15.0 + (i % 100) / 10.0, 40 + i % 30, 8.0,
                      15.0);
        out << line;
    }
}

void importMinuteLog(const QString& dataDir, int rows) {
    const QString log = dataDir + "/log.csv";
    writeMinuteLog(log, rows);
    const CliResult r =
        CliFixture::runRaw({"--data-dir", dataDir.toStdString(), "import", log.toStdString()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    QFile::remove(log);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files in a folder, hidden ones included: a temporary file left behind shows.
QStringList folderEntries(const QString& path) {
    return QDir(path).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

#ifdef VELLUMET_HAVE_GRAPH
TEST_F(CliFixture, PlotWritesTheImageItsNameAsksFor) {
    importMinuteLog(dataDir.path(), 1440);
    const QString png = dataDir.filePath("day.png");
    const QString svg = dataDir.filePath("day.SVG");
    ASSERT_EQ(run({"plot", "--out", png.toStdString(), "--size", "400x300"}).status, kExitOk);
    EXPECT_TRUE(fileBytes(png).startsWith("\x89PNG\r\n")) << "a PNG image";
    // A unit at the limit: 32 characters, 64 bytes of UTF-8.
    const std::string degrees = [] {
        std::string text;
        for (int i = 0; i < 32; ++i)
            text += "\u00b0";
        return text;
    }();
    const CliResult r = run({"plot", "--out", svg.toStdString(), "--unit", degrees});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const QByteArray drawing = fileBytes(svg);
    EXPECT_TRUE(drawing.startsWith("<?xml")) << drawing.left(16).toStdString();
    EXPECT_TRUE(drawing.contains("<svg"));
    EXPECT_TRUE(drawing.contains(QByteArray::fromStdString(degrees))) << "the axis title as text";
    EXPECT_TRUE(drawing.contains("<polyline")) << "the curves stay lines";

    const QStringList before = folderEntries(dataDir.path());
    const std::vector<std::vector<std::string>> refused = {
        {"--out", dataDir.filePath("day.jpg").toStdString()},
        {"--out", dataDir.filePath("day").toStdString()},
        {"--out", png.toStdString(), "--unit", std::string(33, 'x')},
        {"--out", png.toStdString(), "--unit", std::string(100000, 'x')},
        {"--out", png.toStdString(), "--unit", "(\t\u00b0C)"},
        {"--out", png.toStdString(), "--unit", "\x1b[2J"},
        {"--out", png.toStdString(), "--unit", "(\u009b)"},
        {"--out", png.toStdString(), "--unit", "\xff\xfe"},
    };
    for (std::vector<std::string> args : refused) {
        args.insert(args.begin(), "plot");
        const CliResult bad = run(args);
        EXPECT_EQ(bad.status, kExitUsage) << args[2] << ' ' << args.back();
        EXPECT_EQ(lines(bad.err).size(), 1u) << bad.err;
    }
    EXPECT_EQ(folderEntries(dataDir.path()), before);
}
#endif

// A FIFO, a link to one or a folder in the place of the output file is left as
// it is, and nothing is written beside it. No real device node is used here:
// a fault in this check, run as root, would replace it for the whole machine.
TEST_F(CliFixture, OutputFilesNeverReplaceASpecialFile) {
    importMinuteLog(dataDir.path(), 60);
    const QString fifo = dataDir.filePath("pipe.png");
    const QString folder = dataDir.filePath("folder.png");
    const QString link = dataDir.filePath("link.png");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(QFile::link(fifo, link));
    const QStringList before = folderEntries(dataDir.path());
#ifdef VELLUMET_HAVE_GRAPH
    const std::vector<std::string> writers = {"plot", "backup"};
#else
    const std::vector<std::string> writers = {"backup"}; // a build without charts has no plot
#endif
    for (const QString& target : {fifo, folder, link}) {
        for (const std::string& command : writers) {
            const std::string path = target.toStdString();
            const CliResult r =
                command == "plot" ? run({"plot", "--out", path}) : run({"backup", path});
            EXPECT_EQ(r.status, kExitFailure) << command << ' ' << path;
            EXPECT_EQ(r.err, "vellumet-cli: " + path +
                                 " exists and is not a regular file; nothing was written\n");
        }
    }
    EXPECT_EQ(folderEntries(dataDir.path()), before);
    EXPECT_EQ(QFileInfo(fifo).isFile() || QFileInfo(fifo).isDir(), false);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(station->receivedFrames().empty()) << "refused before the station is read";
}

// The built program saving a backup onto a disk with no room (a file size
// limit of 0): the earlier backup stays as it was, and nothing is left beside it.
TEST(CliProgramBackup, ABackupThatCannotBeWrittenKeepsTheOldOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString backup = dir.filePath("station.json");
    QProcess first;
    first.start(VELLUMET_CLI_PATH, {"--simulate", "--data-dir", dir.path(), "backup", backup});
    ASSERT_TRUE(first.waitForFinished(20000));
    ASSERT_EQ(first.exitCode(), kExitOk) << first.readAllStandardError().toStdString();
    ASSERT_TRUE(QFile::setPermissions(backup, QFile::ReadOwner | QFile::WriteOwner));
    const QByteArray saved = fileBytes(backup);
    ASSERT_GT(saved.size(), 100);
    const QStringList entries = folderEntries(dir.path());

    QProcess full;
    full.start("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"", VELLUMET_CLI_PATH,
                           "--simulate", "--data-dir", dir.path(), "backup", backup});
    ASSERT_TRUE(full.waitForFinished(20000));
    EXPECT_EQ(full.exitCode(), kExitFailure);
    EXPECT_TRUE(full.readAllStandardOutput().isEmpty()) << "nothing said to be saved";
    EXPECT_EQ(full.readAllStandardError().toStdString(),
              "vellumet-cli: cannot write " + backup.toStdString() + ": File too large\n");
    EXPECT_EQ(fileBytes(backup), saved);
    EXPECT_EQ(folderEntries(dir.path()), entries);

    // Saved again with room, the file is replaced and keeps its permissions.
    first.start(VELLUMET_CLI_PATH, {"--simulate", "--data-dir", dir.path(), "backup", backup});
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitCode(), kExitOk);
    EXPECT_EQ(fileBytes(backup), saved);
    struct stat info {};
    ASSERT_EQ(::stat(backup.toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(folderEntries(dir.path()), entries);
}

// A command a signal stopped prints and writes nothing, and exits with the
// signal's status (128 + its number), or 1 when no signal is known.
TEST_F(CliFixture, AStoppedCommandExitsWithItsSignalsStatus) {
    importMinuteLog(dataDir.path(), 60);
    const QString image = dataDir.filePath("stopped.png");
    const QString backup = dataDir.filePath("stopped.json");
    for (const auto& [signal, status] :
         {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{0, kExitFailure}}) {
        std::vector<std::vector<std::string>> commands = {{"live"},
                                                          {"backup", backup.toStdString()}};
#ifdef VELLUMET_HAVE_GRAPH
        commands.push_back({"plot", "--out", image.toStdString()});
#endif
        for (const auto& command : commands) {
            std::stop_source interrupt;
            interrupt.request_stop();
            Environment env;
            env.stop = interrupt.get_token();
            if (signal != 0)
                env.stopSignal = [signal = signal] { return signal; };
            const CliResult r = run(command, env);
            EXPECT_EQ(r.status, status) << command.front() << ' ' << signal;
            EXPECT_EQ(r.out, "") << command.front();
            EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
            EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
        }
    }
    EXPECT_FALSE(QFileInfo::exists(image));
    EXPECT_FALSE(QFileInfo::exists(backup));
}

// The built program, its standard output and error on the given descriptors.
pid_t startProgram(std::vector<std::string> args, int outFd, int errFd) {
    args.insert(args.begin(), VELLUMET_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The wait status once the process has ended, or nothing within the time.
std::optional<int> waitForEnd(pid_t pid, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    do {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

// Whether the process has come as far as taking SIGINT and SIGTERM itself.
bool takesSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            const unsigned long long wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
            return (mask & wanted) == wanted;
        }
    return false;
}

bool waitUntilTakingSignals(pid_t pid) {
    for (int i = 0; i < 10000; ++i) {
        if (takesSignals(pid))
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// Ctrl-C or SIGTERM in the middle of a plot of a long log ends it at once,
// with the signal's status and no image.
TEST(CliProgramSignals, APlotEndsOnTheFirstSignal) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    importMinuteLog(dir.path(), 300000);
    const QStringList entries = folderEntries(dir.path());
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        const QString errPath = dir.filePath("../plot-err.txt");
        const int errFd = ::open(errPath.toLocal8Bit().constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(errFd, 0);
        const pid_t pid = startProgram({"--data-dir", dir.path().toStdString(), "plot", "--out",
                                        dir.filePath("long.png").toStdString()},
                                       errFd, errFd);
        ::close(errFd);
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(waitUntilTakingSignals(pid));
        ::kill(pid, signal);
        const auto sent = std::chrono::steady_clock::now();
        const std::optional<int> ended = waitForEnd(pid, std::chrono::seconds(20));
        const auto took = std::chrono::steady_clock::now() - sent;
        ASSERT_TRUE(ended.has_value());
        ASSERT_TRUE(WIFEXITED(*ended)) << "ended by the signal itself, not on its own";
        EXPECT_EQ(WEXITSTATUS(*ended), status) << fileBytes(errPath).toStdString();
        // Qt may note a missing XDG_RUNTIME_DIR before; the tool's own line comes last.
        const std::vector<std::string> said = lines(fileBytes(errPath).toStdString());
        ASSERT_FALSE(said.empty());
        EXPECT_EQ(said.back(), "vellumet-cli: interrupted; nothing was written");
        // Half a second is the aim; a loaded machine gets more.
        EXPECT_LT(took, std::chrono::seconds(3));
        EXPECT_EQ(folderEntries(dir.path()), entries) << "no image, whole or part";
        QFile::remove(errPath);
    }
}

// A process that cannot end on the first signal (here: blocked writing to a
// pipe that nobody reads) ends at once on the second.
TEST(CliProgramSignals, ASecondSignalEndsTheProcessAtOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    ::fcntl(pipeFds[0], F_SETPIPE_SZ, 4096); // fills in a few rounds
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = startProgram({"--simulate", "--data-dir", dir.path().toStdString(),
                                    "--format", "csv", "watch", "--every", "0"},
                                   pipeFds[1], devNull);
    ::close(pipeFds[1]);
    ::close(devNull);
    ASSERT_GT(pid, 0);
    // Wait for the pipe to fill: then the watch is stuck in its write.
    // A round that does not fit whole waits, so the pipe stays a little short
    // of its size: full is when it stops growing.
    const int capacity = ::fcntl(pipeFds[0], F_GETPIPE_SZ);
    for (int i = 0, held = -1; i < 100; ++i) {
        int now = 0;
        ::ioctl(pipeFds[0], FIONREAD, &now);
        if (now == held && now > capacity / 2)
            break;
        held = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    ASSERT_TRUE(takesSignals(pid));
    ::kill(pid, SIGINT);
    EXPECT_FALSE(waitForEnd(pid, std::chrono::milliseconds(300)).has_value())
        << "a write to a full pipe cannot be cut short";
    ::kill(pid, SIGINT);
    const std::optional<int> ended = waitForEnd(pid, std::chrono::seconds(5));
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ::close(pipeFds[0]);
    ASSERT_TRUE(ended.has_value()) << "the second Ctrl-C did not end the process";
    ASSERT_TRUE(WIFEXITED(*ended));
    EXPECT_EQ(WEXITSTATUS(*ended), 130);
}

} // namespace
} // namespace vellumet::cli::test
