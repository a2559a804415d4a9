#include "store/automation_date.h"
#include "store/record_schema.h"
#include "store/record_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::store;

namespace {

double at(const char* bound) {
    return parseBoundText(bound).value();
}

LogRecord row(const char* time, float t, std::int32_t h, float d, float hi) {
    return LogRecord{at(time), t, h, d, hi};
}

class RecordStoreTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = QFile::encodeName(dir.filePath("7421.mdb")).toStdString();
        ASSERT_TRUE(ensureRecordSchema(path).ok());
        ASSERT_TRUE(store.openDatabase(path).ok());
    }

    void fill(const std::vector<LogRecord>& rows) {
        Result<Transaction> t = store.beginTransaction();
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(store.clearTables().ok());
        ASSERT_TRUE(store.appendRecords(rows).ok());
        ASSERT_TRUE(t->commit().ok());
    }

    std::int64_t count(const char* from, const char* to, const char* column) {
        Result<std::int64_t> n = store.countSeries(at(from), at(to), *parseSeriesColumn(column));
        EXPECT_TRUE(n.ok()) << (n.ok() ? "" : n.error().text());
        return n.ok() ? *n : -1;
    }

    QTemporaryDir dir;
    std::string path;
    RecordStore store;
};

} // namespace

TEST_F(RecordStoreTest, WindowIsHalfOpenAndSkipsMissingValuesOfTheQueriedColumnOnly) {
    fill({
        row("2024-03-05 7:00:00", 20.5f, 40, 6.5f, kNoValue), // on the start bound
        row("2024-03-05 7:10:00", kNoValue, 41, 7.0f, 21.0f),
        row("2024-03-05 7:05:00", 21.5f, kNoHumidity, kNoValue, 22.0f),
        row("2024-03-05 7:20:00", 22.5f, 42, 8.0f, 23.0f), // on the end bound
        row("2024-03-05 7:30:00", 23.5f, 43, 9.0f, 24.0f), // after the end
    });
    const char* from = "2024-03-05 7:00:00";
    const char* to = "2024-03-05 7:20:00";
    EXPECT_EQ(count(from, to, "Temperature"), 2);
    EXPECT_EQ(count(from, to, "Humidity"), 2);
    EXPECT_EQ(count(from, to, "DewPoint"), 2);
    EXPECT_EQ(count(from, to, "Heatindex"), 3);
    EXPECT_EQ(count(from, from, "Heatindex"), 0); // start = end
    EXPECT_EQ(count("2000-01-01 0:00:00", "2100-01-01 0:00:00", "Temperature"), 4);

    ASSERT_TRUE(store.selectSeries(at(from), at(to), SeriesColumn::Heatindex).ok());
    const Result<Series> series = store.readSeries(3);
    ASSERT_TRUE(series.ok());
    const std::vector<double> times = {at("2024-03-05 7:05:00"), at("2024-03-05 7:10:00"), at(to)};
    EXPECT_EQ(series->times, times); // ascending, whatever the order of writing
    EXPECT_EQ(series->values, (std::vector<double>{22.0, 21.0, 23.0}));

    // n bounds the walk; a larger n leaves zeros behind the rows.
    ASSERT_TRUE(store.selectSeries(at(from), at(to), SeriesColumn::Heatindex).ok());
    EXPECT_EQ(store.readSeries(2)->times.size(), 2u);
    ASSERT_TRUE(store.selectSeries(at(from), at(to), SeriesColumn::Humidity).ok());
    EXPECT_EQ(store.readSeries(4)->values, (std::vector<double>{41.0, 42.0, 0.0, 0.0}));
}

TEST_F(RecordStoreTest, ValuesKeepSinglePrecisionAndAReplacementLeavesOnlyTheNewRows) {
    fill({row("2024-03-05 7:00:00", 20.1f, 40, 6.5f, 1.0f)});
    {
        Result<Transaction> t = store.beginTransaction();
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(store.beginReplacement().ok());
        ASSERT_TRUE(store.appendRecord(row("2025-01-01 1:00:00", 20.1f, 50, -3.3f, 1.0f)).ok());
        ASSERT_TRUE(store.finishReplacement().ok());
        ASSERT_TRUE(t->commit().ok());
    }
    const Result<std::vector<LogRecord>> all = store.readRecords(-1e9, 1e9, std::nullopt);
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 1u);
    EXPECT_EQ((*all)[0].humidity, 50);
    ASSERT_TRUE(store.selectSeries(-1e9, 1e9, SeriesColumn::DewPoint).ok());
    EXPECT_EQ(store.readSeries(1)->values[0], static_cast<double>(-3.3f));

    // A store opened afresh finds the index and the tables as start-up made them.
    RecordStore again;
    ASSERT_TRUE(again.openDatabase(path).ok());
    EXPECT_TRUE(hasRecordSchema(path));
    EXPECT_EQ(*again.countSeries(-1e9, 1e9, SeriesColumn::Temperature), 1);
}

TEST_F(RecordStoreTest, AnUncommittedTransactionLeavesTheRowsAsTheyWere) {
    fill({row("2024-03-05 7:00:00", 20.0f, 40, 6.5f, 1.0f)});
    {
        Result<Transaction> t = store.beginTransaction();
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(store.clearTables().ok());
        ASSERT_TRUE(store.appendRecord(row("2025-01-01 1:00:00", 1.0f, 1, 1.0f, 1.0f)).ok());
    } // no commit
    const Result<std::vector<LogRecord>> all = store.readRecords(-1e9, 1e9, std::nullopt);
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 1u);
    EXPECT_EQ((*all)[0].temperature, 20.0f);
}

// Everything visitWindow hands over, checked to come in ascending time.
std::vector<LogRecord> visited(RecordStore& store, double start, double end) {
    std::vector<LogRecord> rows;
    const Status s = store.visitWindow(start, end, [&](std::span<const LogRecord> run) {
        EXPECT_FALSE(run.empty());
        rows.insert(rows.end(), run.begin(), run.end());
    });
    EXPECT_TRUE(s.ok()) << (s.ok() ? "" : s.error().text());
    EXPECT_TRUE(
        std::is_sorted(rows.begin(), rows.end(),
                       [](const LogRecord& a, const LogRecord& b) { return a.time < b.time; }));
    return rows;
}

bool sameRows(const std::vector<LogRecord>& a, const std::vector<LogRecord>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](auto& x, auto& y) {
               return x.time == y.time && x.temperature == y.temperature &&
                      x.humidity == y.humidity && x.dewPoint == y.dewPoint &&
                      x.heatIndex == y.heatIndex;
           });
}

TEST_F(RecordStoreTest, PackedCopyReadsAsRecordsAndGoesStaleOnAnyOtherChange) {
    // 10,000 rows a minute apart over several packs: equal times across the
    // first pack's end, missing values, and one row of unreadable time.
    const double first = at("2024-03-05 0:00:00");
    // The time of a minute, computed as the rows' own: a window bound on a
    // row must be that row's time to the last bit.
    const auto minuteAt = [&](double minute) { return first + minute / 1440.0; };
    std::vector<LogRecord> rows;
    for (int i = 0; i < 10000; ++i) {
        const int minute = i == 4096 ? 4095 : i;
        rows.push_back({minuteAt(minute), i % 7 == 0 ? kNoValue : static_cast<float>(i) / 10,
                        i % 11 == 0 ? kNoHumidity : i % 100, -static_cast<float>(i), 1.5f});
    }
    rows[5000].time = 0.0;
    // Packs of 4096 readable rows: minutes 0..4095, 4095..8192 (without the
    // row of unreadable time), 8193..9999.
    const auto replace = [&](const std::vector<LogRecord>& log) {
        Result<Transaction> t = store.beginTransaction();
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(store.beginReplacement().ok());
        ASSERT_TRUE(store.appendRecords(log).ok());
        ASSERT_TRUE(store.finishReplacement().ok());
        ASSERT_TRUE(t->commit().ok());
    };
    struct Window {
        double start;
        double end;
        std::size_t rows; // of readable time
    };
    const Window windows[] = {
        {-1e9, 1e9, 9999},                      // holds the unreadable time too
        {0.0, 1e9, 9999},                       // every readable row
        {minuteAt(0), minuteAt(9999), 9998},    // leaves out the first row
        {minuteAt(4094), minuteAt(4096), 2},    // equal times across packs
        {minuteAt(4095), minuteAt(8192), 4095}, // ends on the last row of a pack
        {minuteAt(4095), minuteAt(8193), 4096}, // ends on the first row of a pack
        {minuteAt(8192), minuteAt(8193), 1},    // from a pack's last row to the next's first
        {minuteAt(8192), minuteAt(9999), 1807}, // starts on the last row of a pack
        {minuteAt(8193), minuteAt(8194), 1},    // starts on the first row of a pack
        {minuteAt(-1), minuteAt(0), 1},         // the very first row
        {minuteAt(9998), minuteAt(9999), 1},    // the very last row
        {minuteAt(100.5), minuteAt(101.5), 1},  // between rows
        {minuteAt(50), minuteAt(50), 0},        // start = end
        {minuteAt(20000), 1e9, 0},              // after the log
    };
    const auto expectSameAsRecords = [&](const char* state, bool exactCounts) {
        for (const auto& [start, end, count] : windows) {
            SCOPED_TRACE(testing::Message() << state << ", window " << start << ".." << end);
            const Result<std::vector<LogRecord>> records =
                store.readRecords(start, end, std::nullopt);
            ASSERT_TRUE(records.ok());
            const std::vector<LogRecord> seen = visited(store, start, end);
            EXPECT_TRUE(sameRows(seen, *records));
            if (exactCounts) {
                EXPECT_EQ(seen.size(), count + (start < 0.0 ? 1 : 0));
            }
        }
    };

    replace(rows);
    EXPECT_TRUE(*store.hasPackedRows());
    expectSameAsRecords("packed", true);

    // Changed by another program: the copy is dropped and Records read.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "UPDATE Records SET Temperature = 99 WHERE rowid = 20", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    EXPECT_FALSE(*store.hasPackedRows());
    expectSameAsRecords("updated elsewhere", true);
    EXPECT_EQ(visited(store, minuteAt(18.5), minuteAt(19.5)).at(0).temperature, 99.0f);

    // Times that go back: no copy, the same rows.
    std::vector<LogRecord> shuffled = rows;
    std::swap(shuffled[10], shuffled[9000]);
    replace(shuffled);
    EXPECT_FALSE(*store.hasPackedRows());
    expectSameAsRecords("out of order", true);

    // A new copy, then rows added and the tables emptied by this program.
    replace(rows);
    EXPECT_TRUE(*store.hasPackedRows());
    ASSERT_TRUE(store.appendRecord(row("2030-01-01 0:00:00", 1.0f, 1, 1.0f, 1.0f)).ok());
    EXPECT_FALSE(*store.hasPackedRows());
    expectSameAsRecords("appended", false);
    replace(rows);
    ASSERT_TRUE(store.clearTables().ok());
    EXPECT_FALSE(*store.hasPackedRows());
    EXPECT_TRUE(visited(store, -1e9, 1e9).empty());
}

// Views, triggers and indexes another program made on Records keep working
// across imports, beside this program's packed copy.
TEST_F(RecordStoreTest, AReplacementKeepsOtherProgramsObjectsOnRecords) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    const auto query = [&](const char* sql) {
        sqlite3_stmt* st = nullptr;
        std::string result;
        if (sqlite3_prepare_v2(other, sql, -1, &st, nullptr) != SQLITE_OK)
            return std::string("error: ") + sqlite3_errmsg(other);
        while (sqlite3_step(st) == SQLITE_ROW)
            result += (result.empty() ? "" : ",") +
                      std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return result;
    };
    ASSERT_EQ(sqlite3_exec(other,
                           "CREATE VIEW Warm AS SELECT Time FROM Records WHERE Temperature > 20;"
                           "CREATE TABLE Added (Time REAL);"
                           "CREATE TRIGGER NoteAdded AFTER INSERT ON Records"
                           " BEGIN INSERT INTO Added VALUES (new.Time); END;"
                           "CREATE INDEX RecordsByHumidity ON Records(Humidity);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const char* theirs = "SELECT name FROM sqlite_master WHERE tbl_name = 'Records' AND name NOT "
                         "LIKE 'RecordPacks%' AND name NOT LIKE 'RecordsByTime%' ORDER BY name";
    ASSERT_EQ(query(theirs), "NoteAdded,Records,RecordsByHumidity");

    for (const float t : {21.0f, 19.0f, 25.0f}) {
        SCOPED_TRACE(t);
        Result<Transaction> tr = store.beginTransaction();
        ASSERT_TRUE(tr.ok());
        ASSERT_TRUE(store.beginReplacement().ok());
        ASSERT_TRUE(
            store
                .appendRecords(std::vector<LogRecord>{row("2024-03-05 7:00:00", t, 40, 1.0f, 1.0f),
                                                      row("2024-03-05 7:01:00", t, 41, 1.0f, 1.0f)})
                .ok());
        ASSERT_TRUE(store.finishReplacement().ok());
        ASSERT_TRUE(tr->commit().ok());
        EXPECT_EQ(query("SELECT count(*) FROM Warm"), t > 20 ? "2" : "0");
        EXPECT_EQ(query(theirs), "NoteAdded,Records,RecordsByHumidity");
        EXPECT_TRUE(*store.hasPackedRows());
    }
    EXPECT_EQ(query("SELECT count(*) FROM Added"), "0"); // the import's own rows are no additions
    EXPECT_EQ(
        query("SELECT count(*) FROM Records INDEXED BY RecordsByHumidity WHERE Humidity = 40"),
        "1");
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO Records (Time, Temperature) VALUES (50000, 30)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(query("SELECT count(*) FROM Added"), "1");
    EXPECT_EQ(query("SELECT count(*) FROM Warm"), "3");
    EXPECT_FALSE(*store.hasPackedRows()); // this program's own trigger, too
    sqlite3_close(other);
}

TEST_F(RecordStoreTest, TakesOnlyTheValueColumnsByNameAndReadsNothingUnselected) {
    for (const char* column : {"Time", "Temperature; DROP TABLE Records", "", "Dew"})
        EXPECT_EQ(parseSeriesColumn(column).code(), Errc::InvalidInput) << column;
    EXPECT_EQ(count("2024-03-05 7:00:00", "2024-03-05 8:00:00", "dewpoint"), 0); // any case
    EXPECT_EQ(store.readSeries(1).code(), Errc::Database);                       // nothing selected
}

TEST(RecordStoreFile, UnusableFilesGiveOneClearMessageWithSqlitesText) {
    QTemporaryDir dir;
    const auto file = [&](const char* name) {
        return QFile::encodeName(dir.filePath(name)).toStdString();
    };
    {
        QFile text(dir.filePath("text.mdb"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(4096, 'x'));
    }
    RecordStore store;
    Status s = store.openDatabase(file("text.mdb"));
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.code(), Errc::Database);
    EXPECT_NE(s.error().message.find("file is not a database"), std::string::npos)
        << s.error().message;
    EXPECT_FALSE(store.isOpen());

    s = store.openDatabase(file("missing.mdb"));
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.error().message.find("missing.mdb"), std::string::npos);
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.mdb"))); // never created here

    // Locked by another program: the write is refused, not waited for forever.
    const std::string locked = file("locked.mdb");
    ASSERT_TRUE(ensureRecordSchema(locked).ok());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(locked.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::string message;
    if (const Status opened = store.openDatabase(locked); !opened.ok()) {
        message = opened.error().message;
    } else {
        const Result<Transaction> t = store.beginTransaction();
        ASSERT_FALSE(t.ok());
        message = t.error().message;
    }
    EXPECT_NE(message.find("database is locked"), std::string::npos) << message;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}
