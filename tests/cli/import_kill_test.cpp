#include <QProcess>
#include <QTemporaryDir>

#include "store/archive.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
#include <limits>
#include <span>
#include <string>
#include <thread>

namespace {

// Rows of a five-field log, `step` minutes apart from January 1st on.
void writeLog(const std::string& path, int rows, int step, double temperature) {
    std::ofstream out(path);
    out << "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    for (int i = 0; i < rows; ++i) {
        // Real dates, into February: a history keeps only readings with a time.
        const int minute = i * step;
        const int d = minute / 1440;
        const int month = d < 31 ? 1 : 2;
        const int dom = d < 31 ? d + 1 : d - 30;
        out << "2026-0" << month << '-' << (dom < 10 ? "0" : "") << dom << ' ' << minute % 1440 / 60
            << ':' << (minute % 60 < 10 ? "0" : "") << minute % 60 << ":00," << temperature
            << ",50,10.0," << temperature << '\n';
    }
}

struct Contents {
    std::string integrity;
    long long rows = -1;
    double temperatureSum = 0;
    bool operator==(const Contents&) const = default;
};

Contents contentsOf(const std::string& database, const char* table = "Records",
                    const char* temperature = "Temperature") {
    Contents c;
    sqlite3* db = nullptr;
    // Read-write, as every user of the database opens it: a hot journal left by
    // the killed import is rolled back on the first read.
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return c;
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW)
        c.integrity = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    const std::string sum =
        std::string("SELECT count(*), total(") + temperature + ") FROM " + table;
    sqlite3_prepare_v2(db, sum.c_str(), -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW) {
        c.rows = sqlite3_column_int64(st, 0);
        c.temperatureSum = sqlite3_column_double(st, 1);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return c;
}

} // namespace

// The history beside the database: its channel 1's readings and the sum of
// their temperatures in tenths, as the history reads them back.
Contents archiveOf(const std::string& folder) {
    const std::string path = folder + "/archive.sqlite";
    // Rolls a hot journal back and checks the file.
    Contents c = contentsOf(path, "Files");
    c.rows = -1;
    c.temperatureSum = 0;
    vellumet::store::Archive archive;
    if (!archive.open(path))
        return c;
    long long rows = 0;
    const auto read =
        archive.visit(1, std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max(),
                      [&](std::span<const vellumet::store::ArchivedRow> run) {
                          for (const auto& r : run) {
                              ++rows;
                              c.temperatureSum += std::round(r.temperature * 10.0f);
                          }
                          return true;
                      });
    if (read)
        c.rows = rows;
    return c;
}

// An import killed at any moment leaves a sound database holding exactly
// the previous log or exactly the new one, never a mix or an empty table;
// the history likewise holds the import whole or not at all.
TEST(ImportKilled, LeavesThePreviousLogOrTheNewOneWhole) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string database = folder + "/7421.mdb";
    // Both logs of channel 1; the second covers the first's readings, spread
    // over its whole span, with other temperatures: an import of either
    // changes the history from its first batch of rows to its last.
    const std::string first = folder + "/CH1_FIRST.CSV";
    const std::string second = folder + "/CH1_SECOND.CSV";
    writeLog(first, 3000, 20, 20.0);
    writeLog(second, 60000, 1, 30.0);

    {
        QProcess process;
        process.start(VELLUMET_CLI_PATH, {QStringLiteral("--data-dir"), dir.path(),
                                          QStringLiteral("import"), QString::fromStdString(first)});
        ASSERT_TRUE(process.waitForFinished(30000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    const Contents before = contentsOf(database);
    ASSERT_EQ(before.rows, 3000);
    ASSERT_EQ(archiveOf(folder).rows, 3000);

    // How long a whole import of the second log takes, to spread the kills
    // over it; the last of the runs is timed, as the killed ones find the
    // history already holding the readings.
    const auto importOf = [&](const std::string& log) {
        QProcess process;
        process.start(VELLUMET_CLI_PATH, {QStringLiteral("--data-dir"), dir.path(),
                                          QStringLiteral("import"), QString::fromStdString(log)});
        return process.waitForFinished(60000) && process.exitCode() == 0;
    };
    ASSERT_TRUE(importOf(second));
    ASSERT_TRUE(importOf(first));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(importOf(second));
    const auto whole = std::chrono::steady_clock::now() - started;
    const Contents after = contentsOf(database);
    ASSERT_EQ(after.rows, 60000);
    const Contents archiveAfter = archiveOf(folder);
    ASSERT_EQ(archiveAfter.rows, 60000);
    ASSERT_EQ(archiveAfter.temperatureSum, 60000 * 300.0);

    int keptOld = 0, tookNew = 0;
    const int points = 24;
    for (int k = 0; k < points; ++k) {
        // Back to the first log, then kill the second's import at point k.
        {
            QProcess process;
            process.start(VELLUMET_CLI_PATH,
                          {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("import"),
                           QString::fromStdString(first)});
            ASSERT_TRUE(process.waitForFinished(30000));
        }
        // The first log's readings are back in the history as it had them.
        const Contents archiveBefore = archiveOf(folder);
        ASSERT_EQ(archiveBefore.rows, 60000);
        ASSERT_EQ(archiveBefore.temperatureSum, 60000 * 300.0 - 3000 * 100.0);
        QProcess victim;
        victim.start(VELLUMET_CLI_PATH, {QStringLiteral("--data-dir"), dir.path(),
                                         QStringLiteral("import"), QString::fromStdString(second)});
        ASSERT_TRUE(victim.waitForStarted(5000));
        // From the start to a little past the time a whole import takes.
        std::this_thread::sleep_for(whole * 4 * (k + 1) / (3 * points));
        ::kill(static_cast<pid_t>(victim.processId()), SIGKILL);
        victim.waitForFinished(10000);

        const Contents now = contentsOf(database);
        EXPECT_EQ(now.integrity, "ok") << "kill point " << k;
        if (now.rows == before.rows && now.temperatureSum == before.temperatureSum)
            ++keptOld;
        else if (now.rows == after.rows && now.temperatureSum == after.temperatureSum)
            ++tookNew;
        else
            ADD_FAILURE() << "kill point " << k << ": " << now.rows << " rows, neither log";
        const Contents history = archiveOf(folder);
        EXPECT_EQ(history.integrity, "ok") << "kill point " << k;
        EXPECT_TRUE(history == archiveBefore || history == archiveAfter)
            << "kill point " << k << ": the history holds " << history.rows
            << " readings summing to " << history.temperatureSum << ", neither state";
    }
    EXPECT_EQ(keptOld + tookNew, points);
    RecordProperty("keptOld", keptOld);
    RecordProperty("tookNew", tookNew);
    std::printf("kill points: %d, previous log kept: %d, new log whole: %d\n", points, keptOld,
                tookNew);
}
