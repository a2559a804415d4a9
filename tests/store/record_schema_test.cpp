#include "store/record_schema.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace vellumet::store;

namespace {

int exec(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

int count(const std::string& path, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("SELECT count(*) FROM ") + table;
    int n = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

} // namespace

TEST(RecordSchema, CreatesBothTablesWithTheImporterColumns) {
    QTemporaryDir dir;
    const std::string path = QFile::encodeName(dir.filePath("7421.mdb")).toStdString();
    EXPECT_FALSE(hasRecordSchema(path));
    ASSERT_TRUE(ensureRecordSchema(path).ok());
    EXPECT_TRUE(hasRecordSchema(path));
    // Column names in either spelling, as writer and queries use them.
    EXPECT_EQ(exec(path, "INSERT INTO Records (Time, Temperature, Humidity, Dewpoint, Heatindex) "
                         "VALUES (45000.5, 21.5, 40, 7.5, 21.0)"),
              SQLITE_OK);
    EXPECT_EQ(exec(path, "SELECT DewPoint FROM Records WHERE Time >= 45000"), SQLITE_OK);
    EXPECT_EQ(exec(path, "DELETE FROM Param"), SQLITE_OK);
    EXPECT_EQ(count(path, "Records"), 1);
}

TEST(RecordSchema, KeepsRowsOfExistingTables) {
    QTemporaryDir dir;
    const std::string path = QFile::encodeName(dir.filePath("7421.mdb")).toStdString();
    ASSERT_TRUE(ensureRecordSchema(path).ok());
    ASSERT_EQ(exec(path, "INSERT INTO Records (Time) VALUES (1.0)"), SQLITE_OK);
    ASSERT_TRUE(ensureRecordSchema(path).ok());
    EXPECT_EQ(count(path, "Records"), 1);
}

TEST(RecordSchema, AddsAMissingTable) {
    QTemporaryDir dir;
    const std::string path = QFile::encodeName(dir.filePath("7421.mdb")).toStdString();
    ASSERT_TRUE(ensureRecordSchema(path).ok());
    ASSERT_EQ(exec(path, "DROP TABLE Param"), SQLITE_OK);
    EXPECT_FALSE(hasRecordSchema(path));
    ASSERT_TRUE(ensureRecordSchema(path).ok());
    EXPECT_TRUE(hasRecordSchema(path));
    EXPECT_EQ(count(path, "Param"), 0);
}

TEST(RecordSchema, ReportsAFileThatIsNoDatabase) {
    QTemporaryDir dir;
    const QString name = dir.filePath("7421.mdb");
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2048, 'x'));
    file.close();
    EXPECT_FALSE(ensureRecordSchema(QFile::encodeName(name).toStdString()).ok());
}
