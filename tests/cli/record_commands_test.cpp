#include "cli_harness.h"

#include <QDateTime>
#include <QFile>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <stop_token>
#include <thread>

using namespace vellumet;
using namespace vellumet::cli::test;

namespace {

std::string manyLinesLog(int count) {
    std::string text = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    for (int i = 0; i < count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "2026-01-%02d %02d:%02d:00,1.5,50,0.5,1.5\n", 1 + i / 1440,
                      i / 60 % 24, i % 60);
        text += line;
    }
    return text;
}

class RecordCommands : public CliFixture {
public:
    std::string write(const std::string& name, const std::string& content) {
        const QString path = dataDir.filePath(QString::fromStdString(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return path.toStdString();
    }
    CliResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--data-dir", dataDir.path().toStdString()});
        return runRaw(args);
    }
};

} // namespace

// Every log of the virtual station's card goes in, and records gives back
// exactly its rows; a log without readings is refused and keeps the rows of
// the last good one.
TEST_F(RecordCommands, ImportsEveryCardLogAndPrintsItsRows) {
    std::size_t previous = 0;
    int refused = 0;
    for (const sim::CardFile& card : sim::defaultCard()) {
        const CliResult r = cli({"--format", "json", "import", write(card.name, card.content)});
        const std::size_t lines =
            static_cast<std::size_t>(std::count(card.content.begin(), card.content.end(), '\n'));
        const std::size_t rows = lines > 0 ? lines - 1 : 0;
        if (rows == 0) {
            ++refused;
            EXPECT_EQ(r.status, 1) << card.name;
            EXPECT_TRUE(r.out.empty());
            EXPECT_EQ(r.err, "vellumet-cli: no readings in " + write(card.name, card.content) +
                                 "; the database is unchanged\n");
        } else {
            ASSERT_EQ(r.status, 0) << card.name << r.err;
            EXPECT_NE(r.out.find("\"rows\": " + std::to_string(rows)), std::string::npos) << r.out;
            EXPECT_NE(r.out.find(card.name.find("IN") != std::string::npos ? "\"indoor\": true"
                                                                           : "\"indoor\": false"),
                      std::string::npos);
            previous = rows;
        }
        const CliResult all = cli({"--format", "csv", "records"});
        ASSERT_EQ(all.status, 0) << all.err;
        EXPECT_EQ(static_cast<std::size_t>(std::count(all.out.begin(), all.out.end(), '\n')),
                  previous + 1)
            << card.name;
    }
    EXPECT_GT(refused, 0); // the card holds a log with a header alone
}

// Another program (an import) holding the database: the commands that do not
// use it run, those that do wait for it a few seconds, then say it is busy.
TEST_F(RecordCommands, OnlyTheRecordCommandsWaitForABusyDatabase) {
    ASSERT_EQ(cli({"import", write("CH1.CSV", "Time,Temperature(C),Humidity(%),DewPoint(C),"
                                              "HeatIndex(C)\n2026-01-12 13:00:00,21.5,45,9,21\n")})
                  .status,
              0);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(dataDir.filePath("7421.mdb")).constData(), &other),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    CliResult r = run({"--format", "csv", "live"});
    EXPECT_EQ(r.status, 0) << r.err;

    r = cli({"records"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("another program is using the record database"), std::string::npos)
        << r.err;

    std::thread finisher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    });
    r = cli({"--format", "csv", "records"});
    finisher.join();
    sqlite3_close(other);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "time,temperature,humidity,dewPoint,heatIndex\n"
                     "2026-01-12 13:00:00,21.5,45,9,21\n");
}

// Stopped by Ctrl-C or SIGTERM: a failure, and nothing of the result printed.
// Anything but a regular file is refused at once.
TEST_F(RecordCommands, AStoppedRecordsPrintsNothingAndSpecialFilesAreRefused) {
    ASSERT_EQ(cli({"import", write("CH1.CSV", manyLinesLog(10000))}).status, 0);
    std::stop_source interrupt;
    interrupt.request_stop();
    cli::Environment env;
    env.stop = interrupt.get_token();
    CliResult r = runRaw({"--data-dir", dataDir.path().toStdString(), "records"}, env);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err, "vellumet-cli: interrupted\n");

    r = cli({"import", "/dev/null"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vellumet-cli: /dev/null is not a regular file; only a log file is imported\n");
    EXPECT_EQ(cli({"--format", "csv", "records"}).out.size(),
              std::string("time,temperature,humidity,dewPoint,heatIndex\n").size() +
                  10000 * std::string("2026-01-01 00:00:00,1.5,50,0.5,1.5\n").size());
}

TEST_F(RecordCommands, WindowColumnAndFormats) {
    ASSERT_EQ(cli({"import", write("CH1.CSV", "Time,Temperature(C),Humidity(%),DewPoint(C),"
                                              "HeatIndex(C)\n"
                                              "12/01/2026 PM 1:00:00,21.5,45,9.1,21.5\n"
                                              "12/01/2026 PM 2:00:00,--,46,9.5,22.0\n"
                                              "13/01/2026 PM 3:00:00,22.5,--,--,23.0\n")})
                  .status,
              0);
    CliResult r = cli({"records", "--from", "2026-01-12 13:00:00", "--to=2026-01-13 15:00:00",
                       "--column", "Temperature"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Numbers right-aligned under a heading with the log's unit.
    EXPECT_EQ(r.out, "Time                 Temperature °C\n2026-01-13 15:00:00            22.5\n");
    // The time watch prints, with its offset, names the same moment in local time.
    const QDateTime to = QDateTime::fromString("2026-01-13T15:00:00", Qt::ISODate);
    const std::string iso =
        to.toOffsetFromUtc(to.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    EXPECT_EQ(
        cli({"records", "--from", "2026-01-12 13:00:00", "--to", iso, "--column", "Temperature"})
            .out,
        r.out)
        << iso;
    r = cli({"--format", "json", "records", "--column", "humidity"});
    EXPECT_NE(r.out.find("\"count\": 2"), std::string::npos) << r.out;
    r = cli({"--format", "csv", "records", "--to", "2026-01-12"});
    EXPECT_EQ(r.out, "time,temperature,humidity,dewPoint,heatIndex\n");
    r = cli({"--format", "csv", "records", "--from", "2026-01-12 13:00:00"});
    EXPECT_EQ(r.out, "time,temperature,humidity,dewPoint,heatIndex\n"
                     "2026-01-12 14:00:00,,46,9.5,22\n2026-01-13 15:00:00,22.5,,,23\n");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"records", "--from", "yesterday"},
          {"records", "--from", "2026-01-13", "--to", "2026-01-12"},
          {"records", "--to", "2026-01-13T25:00:00"},
          {"records", "--column", "Time"},
          {"records", "--to"},
          {"import"}}) {
        r = cli(bad);
        EXPECT_EQ(r.status, 2) << bad[1];
        EXPECT_TRUE(r.out.empty());
    }
    r = cli({"import", write("BAD.CSV", std::string("Time\n\0\0\0", 8))});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("binary"), std::string::npos) << r.err;
    EXPECT_NE(cli({"records"}).out.find("22.5"), std::string::npos); // still the last good log
}
