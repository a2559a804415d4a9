#include "cli_harness.h"

#include <QFile>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vellumet::cli::test {
namespace {

class ArchiveCommands : public CliFixture {
protected:
    // A log in the data folder (as a fetch leaves its copy): readings at the
    // given minutes of 2026-01-01, temperature = base + minute / 10.
    std::string writeLog(const std::string& name, const std::vector<int>& minutes, double base) {
        const std::string path = dataDir.filePath(QString::fromStdString(name)).toStdString();
        std::string text = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
        for (int m : minutes)
            text += "2026-01-01 " + std::to_string(m / 60) + ':' + (m % 60 < 10 ? "0" : "") +
                    std::to_string(m % 60) + ":00," + std::to_string(base + m / 10.0) +
                    ",50,--,--\n";
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }
};

std::vector<int> every(int from, int to, int step) {
    std::vector<int> minutes;
    for (int m = from; m <= to; m += step)
        minutes.push_back(m);
    return minutes;
}

// Several channels read together: one line per time, a group of columns
// per channel, empty where a channel has no reading, the user's name in
// the heading; the same after the history is rebuilt from the copies.
TEST_F(ArchiveCommands, ReadsChannelsSideBySideAndRebuildsTheSame) {
    ASSERT_EQ(run({"import", writeLog("CH1_A.CSV", every(0, 30, 10), 20)}).status, kExitOk);
    ASSERT_EQ(run({"import", writeLog("CH2_A.CSV", every(15, 45, 15), 10)}).status, kExitOk);
    ASSERT_EQ(run({"name", "CH2", "Cellar"}).status, kExitOk);
    const std::string expected = "time,CH1 temperature,Cellar temperature\n"
                                 "2026-01-01 00:00:00,20,\n"
                                 "2026-01-01 00:10:00,21,\n"
                                 "2026-01-01 00:15:00,,11.5\n"
                                 "2026-01-01 00:20:00,22,\n"
                                 "2026-01-01 00:30:00,23,13\n"
                                 "2026-01-01 00:45:00,,14.5\n";
    const std::vector<std::string> query = {"--format",  "csv",        "records",   "--archive",
                                            "--channel", "CH1",        "--channel", "Cellar",
                                            "--column",  "Temperature"};
    CliResult r = run(query);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, expected);

    r = run({"archive", "--rebuild"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.err.find("rebuilt the history from 2 files, 7 readings"), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("Cellar"), std::string::npos) << r.out;
    r = run(query);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, expected);
}

// Gaps are counted only past three logging intervals.
TEST_F(ArchiveCommands, CountsGapsLongerThanThreeIntervals) {
    std::vector<int> minutes = every(0, 100, 5); // interval 5
    std::vector<int> later = every(115, 200, 5); // a 15-minute step: no gap
    std::vector<int> last = every(225, 300, 5);  // a 25-minute step: a gap
    minutes.insert(minutes.end(), later.begin(), later.end());
    minutes.insert(minutes.end(), last.begin(), last.end());
    ASSERT_EQ(run({"import", writeLog("CH3_A.CSV", minutes, 0)}).status, kExitOk);
    const CliResult r = run({"--format", "csv", "archive"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "station,channel,name,first,last,rows,files,gaps\n"
                     "unknown,CH3,CH3,2026-01-01 00:00:00,2026-01-01 05:00:00," +
                         std::to_string(minutes.size()) + ",1,1\n");
}

TEST_F(ArchiveCommands, RefusesUnknownChannels) {
    EXPECT_EQ(run({"records", "--archive", "--channel", "CH9"}).status, kExitUsage);
    EXPECT_EQ(run({"records", "--archive"}).status, kExitUsage);
    EXPECT_EQ(run({"name", "CH9", "x"}).status, kExitUsage);
    EXPECT_EQ(run({"import", "--channel", "Attic", "x.csv"}).status, kExitUsage);
}

} // namespace
} // namespace vellumet::cli::test

namespace vellumet::cli::test {
namespace {

// A log fetched from a station is kept under the station's identification.
TEST_F(ArchiveCommands, KeepsFetchedLogsUnderTheirStation) {
    const CliResult info = run({"--format", "json", "info"});
    ASSERT_EQ(info.status, kExitOk) << info.err;
    const auto at = info.out.find("\"identification\": \"");
    ASSERT_NE(at, std::string::npos) << info.out;
    const std::size_t start = at + 19;
    const std::string ident = info.out.substr(start, info.out.find('"', start) - start);
    ASSERT_EQ(run({"fetch", "CH1_2612.CSV"}).status, kExitOk);
    const CliResult r = run({"--format", "csv", "archive"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out.rfind(ident + ",CH1,CH1,", r.out.find('\n') + 1), r.out.find('\n') + 1)
        << r.out;
}

} // namespace
} // namespace vellumet::cli::test

namespace vellumet::cli::test {
namespace {

#ifdef VELLUMET_HAVE_GRAPH
// Several channels in one plot: a curve each, named by the channel in the
// legend (the user's name where there is one).
TEST_F(ArchiveCommands, PlotsACurvePerChannel) {
    ASSERT_EQ(run({"import", writeLog("CH1_A.CSV", every(0, 300, 5), 20)}).status, kExitOk);
    ASSERT_EQ(run({"import", writeLog("CH2_A.CSV", every(0, 300, 5), 10)}).status, kExitOk);
    ASSERT_EQ(run({"name", "CH2", "Cellar"}).status, kExitOk);
    const std::string out = dataDir.filePath(QStringLiteral("plot.svg")).toStdString();
    const CliResult r =
        run({"plot", "--archive", "--channel", "CH1", "--channel", "CH2", "--out", out});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    QFile file(QString::fromStdString(out));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray svg = file.readAll();
    EXPECT_TRUE(svg.contains(">CH1<")) << "legend of CH1";
    EXPECT_TRUE(svg.contains(">Cellar<")) << "legend of CH2 by its name";
    EXPECT_EQ(run({"plot", "--channel", "CH1", "--out", out}).status, kExitUsage);
}
#endif

} // namespace
} // namespace vellumet::cli::test
