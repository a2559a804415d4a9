#include "cli_harness.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace vellumet::cli::test {
namespace {

using Clock = std::chrono::steady_clock;

bool isLocalTimestamp(const std::string& text) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(text), Qt::ISODate);
    return t.isValid() && std::abs(t.secsTo(QDateTime::currentDateTime())) < 60;
}

TEST_F(CliFixture, WatchJsonGivesOneObjectPerRound) {
    const auto start = Clock::now();
    const CliResult r = run({"--format", "json", "watch", "--every", "0.2", "--count", "3"});
    const auto took = Clock::now() - start;
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 3u) << r.out;
    for (const std::string& row : rows) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(row), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << row;
        const QJsonObject o = doc.object();
        EXPECT_TRUE(isLocalTimestamp(o.value("time").toString().toStdString())) << row;
        EXPECT_EQ(o.value("channels").toArray().size(), 8);
        EXPECT_TRUE(o.contains("unit"));
    }
    // Three full refreshes, each in the polling loop's order.
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), kRefreshCodes.begin(), kRefreshCodes.end());
    EXPECT_EQ(receivedCodes(), expected);
    EXPECT_GE(took, std::chrono::milliseconds(400)) << "rounds are --every apart";
}

TEST_F(CliFixture, WatchPrintsEachRoundAsItCompletes) {
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::size_t> seenAfterRound;
    Environment env;
    env.makeTransport = [this](const TransportOptions&) {
        return std::static_pointer_cast<Transport>(transport);
    };
    env.afterWatchRound = [&](const WatchRound&) { seenAfterRound.push_back(out.str().size()); };
    makeStation();
    const int status =
        cli::run({"--format", "csv", "watch", "--every", "0", "--count", "2"}, out, err, env);
    ASSERT_EQ(status, kExitOk) << err.str();
    ASSERT_EQ(seenAfterRound.size(), 2u);
    EXPECT_GT(seenAfterRound[0], 0u) << "round 1 is on the stream before round 2 starts";
    EXPECT_GT(seenAfterRound[1], seenAfterRound[0]);
}

TEST_F(CliFixture, WatchFollowsAStationThatGoesAwayAndComesBack) {
    std::vector<WatchRound> rounds;
    // A watch that fails to follow would wait for ever; end it and let the checks fail.
    std::stop_source giveUp;
    const auto start = Clock::now();
    Environment env;
    env.stop = giveUp.get_token();
    env.afterWatchRound = [&](const WatchRound& round) {
        rounds.push_back(round);
        if (Clock::now() - start > std::chrono::seconds(10))
            giveUp.request_stop();
        if (round.round == 1)
            station->unplug();
        else if (!round.connected)
            station->plug();
    };
    const CliResult r = run({"--format", "json", "watch", "--every", "0.2", "--count", "3"}, env);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    ASSERT_FALSE(giveUp.stop_requested()) << "the watch did not get its three rounds: " << r.err;
    EXPECT_EQ(lines(r.out).size(), 3u) << r.out;
    for (const std::string& row : lines(r.out))
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(row))
                      .object()
                      .value("channels")
                      .toArray()
                      .size(),
                  8);

    ASSERT_GE(rounds.size(), 4u);
    EXPECT_TRUE(rounds[0].printed);
    EXPECT_FALSE(rounds[1].printed) << "nothing printed while the station is away";
    EXPECT_FALSE(rounds[1].connected);
    EXPECT_TRUE(rounds.back().printed);
    EXPECT_EQ(std::count_if(rounds.begin(), rounds.end(), [](auto& w) { return w.printed; }), 3);

    EXPECT_NE(r.err.find("station lost"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("station found again"), std::string::npos) << r.err;
    EXPECT_LT(r.err.find("station lost"), r.err.find("station found again"));

    // After the replug the refresh starts over with the full query order.
    const auto codes = receivedCodes();
    ASSERT_GE(codes.size(), kRefreshCodes.size());
    EXPECT_TRUE(std::equal(kRefreshCodes.begin(), kRefreshCodes.end(),
                           codes.end() - static_cast<std::ptrdiff_t>(kRefreshCodes.size())));
}

// Ctrl-C or SIGTERM ends the watch after its last whole round, with the
// signal's exit status.
TEST_F(CliFixture, WatchEndsCleanlyWhenInterrupted) {
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        std::stop_source interrupt;
        std::thread ctrlC;
        Environment env;
        env.stop = interrupt.get_token();
        env.stopSignal = [signal = signal] { return signal; };
        env.afterWatchRound = [&](const WatchRound& round) {
            if (round.round == 1)
                ctrlC = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    interrupt.request_stop();
                });
        };
        const auto start = Clock::now();
        const CliResult r = run({"--format", "csv", "watch", "--every", "30"}, env);
        const auto took = Clock::now() - start;
        if (ctrlC.joinable())
            ctrlC.join();
        EXPECT_LT(took, std::chrono::seconds(5)) << "the wait between rounds is cut short";
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(r.err, "vellumet-cli: interrupted\n");
        EXPECT_EQ(lines(r.out).size(), 1u + 8u) << "one round, complete: " << r.out;
    }
}

// A logger must know when its log is not being written: the first write
// that fails ends the watch, said once on standard error.
TEST_F(CliFixture, WatchEndsOnTheFirstWriteThatFails) {
    makeStation();
    FullBuffer full(600); // the header and the first round, not the second
    std::ostream out(&full);
    std::ostringstream err;
    int rounds = 0;
    Environment env;
    env.makeTransport = [this](const TransportOptions&) {
        return std::static_pointer_cast<Transport>(transport);
    };
    env.afterWatchRound = [&](const WatchRound&) { ++rounds; };
    const int status =
        cli::run({"--format", "csv", "watch", "--every", "0", "--count", "5"}, out, err, env);
    EXPECT_EQ(status, kExitFailure);
    EXPECT_EQ(err.str().rfind("vellumet-cli: cannot write standard output", 0), 0u) << err.str();
    EXPECT_EQ(lines(err.str()).size(), 1u) << err.str();
    EXPECT_EQ(rounds, 1) << "no round after the one that could not be written";
    EXPECT_EQ(receivedCodes().size(), 2 * kRefreshCodes.size());
}

// The built program logging into a file that reaches its size limit (as a
// full disk would stop it): the log ends with its last whole line.
TEST(CliProgramWatch, ALogThatCannotGrowEndsWithAWholeLine) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.filePath("log.csv");
    // The data folder is made first, without the limit.
    QProcess prepare;
    prepare.start(VELLUMET_CLI_PATH, {"--simulate", "--data-dir", dir.path(), "live"});
    ASSERT_TRUE(prepare.waitForFinished(20000));
    ASSERT_EQ(prepare.exitCode(), kExitOk);
    QProcess process;
    // Two 512-byte blocks: room for two or three rounds; SIGXFSZ would kill
    // the program before it could see the failed write.
    process.setProgram("/bin/sh");
    process.setArguments({"-c", "trap '' XFSZ; ulimit -f 2; exec \"$0\" \"$@\" >> \"$LOG\"",
                          VELLUMET_CLI_PATH, "--simulate", "--data-dir", dir.path(), "--format",
                          "csv", "watch", "--every", "0", "--count", "50"});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LOG", log);
    process.setProcessEnvironment(environment);
    process.start();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), kExitFailure);
    EXPECT_EQ(process.readAllStandardError().toStdString(),
              "vellumet-cli: cannot write standard output: File too large\n");
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string text = file.readAll().toStdString();
    ASSERT_FALSE(text.empty());
    EXPECT_LT(text.size(), 1024u);
    EXPECT_EQ(text.back(), '\n') << "half a line left in the log";
    const auto rows = lines(text);
    EXPECT_EQ((rows.size() - 1) % 8, 0u) << "whole rounds only";
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(csvSplit(rows[i]).size(), 7u) << rows[i];
}

} // namespace
// The station goes away while a command ends: the removal notices run on the
// station's and the reader's threads while the command tears its link down.
// Run under ThreadSanitizer, this shows that no listener reaches a link that
// is being destroyed.
TEST_F(CliFixture, StationLeavingWhileACommandEndsIsSafe) {
    for (int round = 0; round < 20; ++round) {
        makeStation();
        std::thread unplugger([station = station, round] {
            std::this_thread::sleep_for(std::chrono::microseconds(500 * (round % 8)));
            station->unplug();
        });
        const CliResult r = run({"live"});
        unplugger.join();
        EXPECT_TRUE(r.status == kExitOk || r.status == kExitFailure) << r.err;
        EXPECT_TRUE(r.status == kExitFailure || !r.out.empty());
    }
}

} // namespace vellumet::cli::test
