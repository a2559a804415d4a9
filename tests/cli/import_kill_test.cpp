#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Rows of a five-field log, one minute apart from the given day on.
void writeLog(const std::string& path, int rows, int day, double temperature) {
    std::ofstream out(path);
    out << "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    for (int i = 0; i < rows; ++i)
        out << "2026-01-" << (day < 10 ? "0" : "") << day + i / 1440 << ' ' << i % 1440 / 60 << ':'
            << (i % 60 < 10 ? "0" : "") << i % 60 << ":00," << temperature << ",50,10.0,"
            << temperature << '\n';
}

struct Contents {
    std::string integrity;
    long long rows = -1;
    double temperatureSum = 0;
};

Contents contentsOf(const std::string& database) {
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
    sqlite3_prepare_v2(db, "SELECT count(*), total(Temperature) FROM Records", -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW) {
        c.rows = sqlite3_column_int64(st, 0);
        c.temperatureSum = sqlite3_column_double(st, 1);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return c;
}

} // namespace

// An import killed at any moment leaves a sound database holding exactly
// the previous log or exactly the new one, never a mix or an empty table.
TEST(ImportKilled, LeavesThePreviousLogOrTheNewOneWhole) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string database = folder + "/7421.mdb";
    const std::string first = folder + "/FIRST.CSV";
    const std::string second = folder + "/SECOND.CSV";
    writeLog(first, 3000, 1, 20.0);
    writeLog(second, 60000, 5, 30.0);

    {
        QProcess process;
        process.start(VELLUMET_CLI_PATH, {QStringLiteral("--data-dir"), dir.path(),
                                          QStringLiteral("import"), QString::fromStdString(first)});
        ASSERT_TRUE(process.waitForFinished(30000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    const Contents before = contentsOf(database);
    ASSERT_EQ(before.rows, 3000);

    // How long a whole import of the second log takes, to spread the kills over it.
    const auto started = std::chrono::steady_clock::now();
    {
        QProcess process;
        process.start(VELLUMET_CLI_PATH,
                      {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("import"),
                       QString::fromStdString(second)});
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0);
    }
    const auto whole = std::chrono::steady_clock::now() - started;
    const Contents after = contentsOf(database);
    ASSERT_EQ(after.rows, 60000);

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
    }
    EXPECT_EQ(keptOld + tookNew, points);
    RecordProperty("keptOld", keptOld);
    RecordProperty("tookNew", tookNew);
    std::printf("kill points: %d, previous log kept: %d, new log whole: %d\n", points, keptOld,
                tookNew);
}
