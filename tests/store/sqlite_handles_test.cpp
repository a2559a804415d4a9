#include "store/sqlite_handles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

using namespace vellumet;
using namespace vellumet::store;

namespace {

class SqliteHandles : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = QFile::encodeName(dir.filePath("handles.db")).toStdString();
        sqlite3* created = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &created), SQLITE_OK);
        sqlite3_close(created);
        Result<Database> opened = Database::open(path);
        ASSERT_TRUE(opened.ok()) << opened.error().text();
        db = std::move(*opened);
        ASSERT_TRUE(db.execute("CREATE TABLE T (a, b, c, d)", "create").ok());
    }

    long long rows() {
        Result<Statement> count = Statement::prepare(db, "SELECT count(*) FROM T");
        EXPECT_TRUE(count.ok());
        EXPECT_TRUE(*count->step());
        return count->columnInt64(0);
    }

    QTemporaryDir dir;
    std::string path;
    Database db;
};

} // namespace

TEST_F(SqliteHandles, OpenNeverCreatesAFileAndSaysWhichOneFailed) {
    const std::string missing = path + ".missing";
    const Result<Database> opened = Database::open(missing);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.code(), Errc::Database);
    EXPECT_NE(opened.error().text().find(missing), std::string::npos);
    EXPECT_FALSE(QFile::exists(QFile::decodeName(missing.c_str())));

    const Result<Statement> bad = Statement::prepare(db, "SELECT 1 FROM Nowhere");
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.error().text().find("no such table: Nowhere"), std::string::npos)
        << bad.error().text();
}

TEST_F(SqliteHandles, ValuesGoInAndComeBackOutByTypeAndAStatementRunsAgainAfterReset) {
    Result<Statement> insert = Statement::prepare(db, "INSERT INTO T VALUES (?1, ?2, ?3, ?4)");
    ASSERT_TRUE(insert.ok());
    const std::array<std::byte, 3> blob{std::byte{0}, std::byte{0xFF}, std::byte{7}};
    {
        std::string text = "Zürich";
        insert->bind(1, 2.5);
        insert->bind(2, -7);
        insert->bindText(3, text);
        text = "overwritten"; // text is copied at once
        insert->bindBlob(4, blob);
        ASSERT_TRUE(insert->run().ok());
    }
    // Bindings stay after a run: only the first value changes.
    insert->bind(1, 3.5);
    ASSERT_TRUE(insert->run().ok());
    EXPECT_EQ(rows(), 2);

    Result<Statement> select = Statement::prepare(db, "SELECT a, b, c, d, NULL FROM T ORDER BY a");
    ASSERT_TRUE(select.ok());
    for (const double a : {2.5, 3.5}) {
        ASSERT_TRUE(*select->step());
        EXPECT_EQ(select->columnDouble(0), a);
        EXPECT_EQ(select->columnInt64(1), -7);
        EXPECT_EQ(select->columnText(2), "Zürich");
        const std::span<const std::byte> got = select->columnBlob(3);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), blob.begin(), blob.end()));
        EXPECT_TRUE(select->columnIsNull(4));
        EXPECT_FALSE(select->columnIsNull(0));
    }
    EXPECT_FALSE(*select->step());
    select->reset();
    EXPECT_TRUE(*select->step());

    // Moving hands the statement over; the one left behind is empty.
    Statement moved = std::move(*select);
    EXPECT_FALSE(select->isPrepared());
    EXPECT_TRUE(moved.isPrepared());
    EXPECT_EQ(moved.columnDouble(0), 2.5);
}

TEST_F(SqliteHandles, ATransactionKeepsItsRowsOnlyWhenCommitted) {
    {
        Result<Transaction> t = Transaction::begin(db);
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(db.execute("INSERT INTO T VALUES (1, 1, 1, 1)", "insert").ok());
    } // dropped: rolled back
    EXPECT_EQ(rows(), 0);
    {
        Result<Transaction> t = Transaction::begin(db);
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(db.execute("INSERT INTO T VALUES (1, 1, 1, 1)", "insert").ok());
        Transaction moved = std::move(*t);
        ASSERT_TRUE(moved.commit().ok());
        EXPECT_EQ(moved.commit().code(), Errc::Database); // only once
    }
    EXPECT_EQ(rows(), 1);

    // A statement that fails inside a transaction leaves it open; dropping it
    // still puts everything back.
    {
        Result<Transaction> t = Transaction::begin(db);
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(db.execute("INSERT INTO T VALUES (2, 2, 2, 2)", "insert").ok());
        const Status failed = db.execute("INSERT INTO Nowhere VALUES (1)", "insert elsewhere");
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.error().text().rfind("insert elsewhere: ", 0), 0u);
    }
    EXPECT_EQ(rows(), 1);
}

TEST_F(SqliteHandles, ADatabaseAnotherProgramWritesIsReportedAsBusyInWords) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_busy_timeout(db.handle(), 0); // the test does not wait the usual seconds
    const Result<Transaction> t = Transaction::begin(db);
    ASSERT_FALSE(t.ok());
    EXPECT_EQ(t.code(), Errc::Database);
    EXPECT_NE(t.error().text().find("another program is using the record database"),
              std::string::npos);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(Transaction::begin(db).ok());
}
