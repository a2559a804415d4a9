#include "cli_harness.h"

#include <QFile>

using namespace vellumet;
using namespace vellumet::cli::test;

namespace {

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
// exactly its rows; a refused import keeps the rows of the last good one.
TEST_F(RecordCommands, ImportsEveryCardLogAndPrintsItsRows) {
    for (const sim::CardFile& card : sim::defaultCard()) {
        const CliResult r = cli({"--format", "json", "import", write(card.name, card.content)});
        ASSERT_EQ(r.status, 0) << card.name << r.err;
        const std::size_t lines =
            static_cast<std::size_t>(std::count(card.content.begin(), card.content.end(), '\n'));
        const std::size_t rows = lines > 0 ? lines - 1 : 0;
        EXPECT_NE(r.out.find("\"rows\": " + std::to_string(rows)), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(card.name.find("IN") != std::string::npos ? "\"indoor\": true"
                                                                       : "\"indoor\": false"),
                  std::string::npos);
        const CliResult all = cli({"--format", "csv", "records"});
        ASSERT_EQ(all.status, 0) << all.err;
        EXPECT_EQ(static_cast<std::size_t>(std::count(all.out.begin(), all.out.end(), '\n')),
                  rows + 1)
            << card.name;
    }
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
    EXPECT_EQ(r.out, "Time                 Temperature\n2026-01-13 15:00:00  22.5\n");
    r = cli({"--format", "json", "records", "--column", "humidity"});
    EXPECT_NE(r.out.find("\"count\": 2"), std::string::npos) << r.out;
    r = cli({"--format", "csv", "records", "--to", "2026-01-12"});
    EXPECT_EQ(r.out, "time,temperature,humidity,dewPoint,heatIndex\n");
    r = cli({"--format", "csv", "records", "--from", "2026-01-12 13:00:00"});
    EXPECT_EQ(r.out, "time,temperature,humidity,dewPoint,heatIndex\n"
                     "2026-01-12 14:00:00,,46,9.5,22\n2026-01-13 15:00:00,22.5,,,23\n");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"records", "--from", "yesterday"},
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
