#include "cli_harness.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vellumet;
using namespace vellumet::cli::test;

namespace {

class CardCommands : public CliFixture {
public:
    void fastStation(sim::Faults faults = {}) {
        sim::Profile p;
        p.faults = faults;
        p.faults.reportMs = 0;
        makeStation(p);
    }
    std::string local(const std::string& name) {
        QFile f(dataDir.filePath(QString::fromStdString(name)));
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll().replace("\r\n", "\n").toStdString();
    }
    long long databaseRows() {
        sqlite3* db = nullptr;
        long long rows = -1;
        if (sqlite3_open_v2(dataDir.filePath("7421.mdb").toUtf8().constData(), &db,
                            SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, "SELECT count(*) FROM Records", -1, &st, nullptr);
            if (st && sqlite3_step(st) == SQLITE_ROW)
                rows = sqlite3_column_int64(st, 0);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return rows;
    }
};

long long lineFeeds(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

} // namespace

TEST_F(CardCommands, ListsFetchesEveryFileAndShowsLocalCopies) {
    fastStation();
    const CliResult before = run({"--format", "csv", "files"});
    ASSERT_EQ(before.status, 0) << before.err;
    const auto rows = lines(before.out);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], "name,bytes,size,local,localBytes,problem");
    EXPECT_EQ(csvSplit(rows[1])[3], "false");

    const CliResult fetched = run({"--format", "json", "fetch", "--all", "--no-import"});
    ASSERT_EQ(fetched.status, 0) << fetched.err;
    for (const std::string& name : station->cardFileNames())
        EXPECT_EQ(local(name), *station->cardFile(name)) << name;

    const CliResult after = run({"files"});
    ASSERT_EQ(after.status, 0);
    for (const std::string& line : lines(after.out))
        if (line.starts_with("CH")) {
            EXPECT_NE(line.find("complete"), std::string::npos) << line;
        }

    const CliResult imported = run({"fetch", "CH4_2612.CSV"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("0 bytes fetched"), std::string::npos) << imported.out;
    EXPECT_NE(imported.out.find(", 1 row imported"), std::string::npos) << imported.out;

    // A card log with a header alone is fetched whole; there is nothing to
    // import, the records stay as they were, and that is no failure.
    const CliResult headerOnly = run({"fetch", "CH5_2612.CSV"});
    ASSERT_EQ(headerOnly.status, 0) << headerOnly.err;
    EXPECT_NE(headerOnly.out.find("no readings to import"), std::string::npos) << headerOnly.out;
    const CliResult records = run({"records"});
    EXPECT_EQ(lines(records.out).size(), 2u) << records.out; // the CH4 reading stays
}

TEST_F(CardCommands, FailedChunkKeepsWhatArrivedAndTheNextFetchResumes) {
    sim::Faults faults;
    faults.unplugAfterReports = 100;
    fastStation(faults);
    const CliResult cut = run({"fetch", "CH1_2612.CSV"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("bytes are kept"), std::string::npos) << cut.err;
    EXPECT_TRUE(cut.out.empty());
    const std::string card = *station->cardFile("CH1_2612.CSV");
    const std::string kept = local("CH1_2612.CSV");
    ASSERT_GT(kept.size(), 0u);
    EXPECT_EQ(kept, card.substr(0, kept.size()));
    // The whole lines that arrived replaced the records, and the message says so;
    // the cut-off last line is no reading.
    ASSERT_NE(kept.back(), '\n');
    const long long rows = lineFeeds(kept) - 1;
    EXPECT_EQ(databaseRows(), rows);
    EXPECT_NE(cut.err.find(std::to_string(rows) + " rows now stand in the database"),
              std::string::npos)
        << cut.err;

    station->plug();
    const CliResult rest = run({"fetch", "--no-import", "CH1_2612.CSV"});
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_NE(rest.out.find("resumed at byte " + std::to_string(kept.size())), std::string::npos)
        << rest.out;
    EXPECT_EQ(local("CH1_2612.CSV"), card);
}

TEST_F(CardCommands, DeleteAsksOrNeedsYesAndRefusesUnknownNames) {
    fastStation();
    QFile copy(dataDir.filePath("CH5_2612.CSV"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.close();
    // No one at a terminal to answer: nothing happens without --yes.
    const CliResult unasked = run({"delete", "CH5_2612.CSV"});
    EXPECT_EQ(unasked.status, 2);
    EXPECT_TRUE(station->cardFile("CH5_2612.CSV").has_value());

    EXPECT_EQ(run({"delete", "--yes", "../CH5_2612.CSV"}).status, 1);
    const CliResult deleted = run({"--format", "json", "delete", "--yes", "CH5_2612.CSV"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.out.find("\"localCopyRemoved\": true"), std::string::npos);
    EXPECT_FALSE(station->cardFile("CH5_2612.CSV").has_value());
    EXPECT_FALSE(QFile::exists(dataDir.filePath("CH5_2612.CSV")));
}

// A deleted file takes the records with it only when they are its readings;
// the plot's unit is the imported log's.
TEST_F(CardCommands, DeleteEmptiesOnlyItsOwnRecordsAndPlotTakesTheLogsUnit) {
    fastStation();
    const CliResult fetched = run({"fetch", "CH2_2612.CSV"}); // a °F log
    ASSERT_EQ(fetched.status, 0) << fetched.err;
    ASSERT_EQ(databaseRows(), 2016);
#ifdef VELLUMET_HAVE_GRAPH
    const QString svg = dataDir.filePath("plot.svg");
    const CliResult plotted = run({"plot", "--out", svg.toStdString()});
    ASSERT_EQ(plotted.status, 0) << plotted.err;
    QFile drawing(svg);
    ASSERT_TRUE(drawing.open(QIODevice::ReadOnly));
    const QByteArray text = drawing.readAll();
    EXPECT_TRUE(text.contains("(\u00b0F)"));
    EXPECT_FALSE(text.contains("(\u00b0C)"));
#endif

    for (const char* other : {"CH5_2612.CSV", "CH4_2612.CSV"}) {
        const CliResult kept = run({"delete", "--yes", other});
        ASSERT_EQ(kept.status, 0) << kept.err;
        EXPECT_EQ(kept.out.find("record database"), std::string::npos) << kept.out;
        EXPECT_EQ(databaseRows(), 2016) << other;
    }
    const CliResult own = run({"--format", "csv", "delete", "--yes", "CH2_2612.CSV"});
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_EQ(own.out, "deleted,localCopyRemoved,recordsCleared,recordsRemoved\n"
                       "CH2_2612.CSV,true,true,2016\n");
    EXPECT_EQ(databaseRows(), 0);
}

// Scripts rely on the exit status: a good transfer whose import fails is a failure.
TEST_F(CardCommands, FetchFailsWhenItsImportFails) {
    fastStation();
    ASSERT_EQ(run({"records"}).status, 0); // makes the data folder and its database
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dataDir.filePath("7421.mdb").toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const CliResult fetched = run({"fetch", "CH4_2612.CSV"});
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(fetched.status, 1);
    EXPECT_TRUE(fetched.out.empty()) << fetched.out;
    EXPECT_NE(fetched.err.find("import failed"), std::string::npos) << fetched.err;
    EXPECT_NE(fetched.err.find("locked"), std::string::npos) << fetched.err;
    EXPECT_EQ(local("CH4_2612.CSV"), *station->cardFile("CH4_2612.CSV"));
}

// One writer of a data folder at a time: every writing command waits briefly
// for the holder of the folder's lock, then gives up with one line naming it,
// having written nothing.
TEST_F(CardCommands, WritingCommandsWaitForTheDataFolderOrSayWhoHoldsIt) {
    fastStation();
    ASSERT_EQ(run({"files"}).status, 0);
    const std::string log = dataDir.filePath("LOG.CSV").toStdString();
    { std::ofstream(log) << "Time,Temperature(C),Humidity(%)\n2026-01-01 00:00:00,20.0,50\n"; }
    const int fd =
        ::open(dataDir.filePath("vellumet.lock").toUtf8().constData(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const std::string pid = std::to_string(::getpid());
    ASSERT_EQ(::ftruncate(fd, 0), 0);
    ASSERT_EQ(::write(fd, pid.data(), pid.size()), static_cast<ssize_t>(pid.size()));
    const std::vector<std::vector<std::string>> writers = {
        {"fetch", "CH4_2612.CSV"}, {"delete", "--yes", "CH5_2612.CSV"}, {"import", log}};
    for (const auto& command : writers) {
        SCOPED_TRACE(command.front());
        const CliResult r = run(command);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find("is in use by process " + pid), std::string::npos) << r.err;
    }
    EXPECT_EQ(local("CH4_2612.CSV"), "<missing>");
    EXPECT_TRUE(station->cardFile("CH5_2612.CSV").has_value());
    EXPECT_EQ(databaseRows(), 0);

    // Given up within the wait, the lock is taken.
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::close(fd);
    });
    const CliResult waited = run({"fetch", "CH4_2612.CSV"});
    release.join();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_EQ(local("CH4_2612.CSV"), *station->cardFile("CH4_2612.CSV"));
}

// Two fetches of one file at once, as two processes: never both write, and
// whichever reports success leaves a copy equal to the card file and the
// database holding its readings once.
TEST_F(CardCommands, TwoFetchesAtOnceNeverBothWrite) {
    const std::string card = *sim::VirtualStation(sim::Profile{}).cardFile("CH1_2612.CSV");
    fastStation();
    ASSERT_EQ(run({"files"}).status, 0); // the folder and its database exist before the race
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QFile::remove(dataDir.filePath("CH1_2612.CSV"));
        QProcess a, b;
        const QStringList args = {"--simulate", "--data-dir", dataDir.path(), "fetch",
                                  "CH1_2612.CSV"};
        a.start(VELLUMET_CLI_PATH, args);
        b.start(VELLUMET_CLI_PATH, args);
        ASSERT_TRUE(a.waitForFinished(60000));
        ASSERT_TRUE(b.waitForFinished(60000));
        int succeeded = 0;
        for (QProcess* p : {&a, &b}) {
            const std::string err = p->readAllStandardError().toStdString();
            if (p->exitCode() == 0) {
                ++succeeded;
                EXPECT_NE(p->readAllStandardOutput().toStdString().find(
                              std::to_string(card.size()) + " of " + std::to_string(card.size()) +
                              " held"),
                          std::string::npos);
            } else {
                EXPECT_EQ(p->exitCode(), 1);
                EXPECT_NE(err.find("is in use by process"), std::string::npos) << err;
            }
        }
        EXPECT_GE(succeeded, 1);
        EXPECT_EQ(local("CH1_2612.CSV"), card);
        EXPECT_EQ(databaseRows(), lineFeeds(card) - 1);
    }
}

// The question before a deletion ends on Ctrl-C or SIGTERM, and nothing is deleted.
TEST_F(CardCommands, DeleteQuestionEndsOnInterrupt) {
    QFile copy(dataDir.filePath("CH5_2612.CSV"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.close();
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        int terminal = -1;
        const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string dir = dataDir.path().toStdString();
            execl(VELLUMET_CLI_PATH, VELLUMET_CLI_PATH, "--simulate", "--data-dir", dir.c_str(),
                  "delete", "CH5_2612.CSV", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait for the question, then interrupt.
        std::string shown;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        ::fcntl(terminal, F_SETFL, O_NONBLOCK);
        while (shown.find("[y/N]") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            char buffer[256];
            const ssize_t got = ::read(terminal, buffer, sizeof buffer);
            if (got > 0)
                shown.append(buffer, static_cast<std::size_t>(got));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_NE(shown.find("[y/N]"), std::string::npos) << shown;
        ::kill(child, sig);
        int status = 0;
        pid_t ended = 0;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        ::close(terminal);
        ASSERT_EQ(ended, child) << "the question did not end";
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig); // 130 for Ctrl-C, 143 for SIGTERM
        EXPECT_TRUE(QFile::exists(dataDir.filePath("CH5_2612.CSV")));
    }
}
