#include "sdcard/log_import.h"
#include "sdcard/record_list_model.h"
#include "store/automation_date.h"
#include "store/record_schema.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::sdcard;
using store::kNoHumidity;
using store::kNoValue;
using store::LogRecord;

namespace {

class LogImportTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        database = dir.filePath("7421.mdb");
        ASSERT_TRUE(store::ensureRecordSchema(QFile::encodeName(database).toStdString()).ok());
    }

    QString write(const char* name, const QByteArray& content) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    Result<ImportSummary> import(const QString& path, std::optional<int> stationFormat = {},
                                 std::function<void(std::int64_t)> onProgress = {}) {
        ImportOptions options;
        options.logPath = path;
        options.databasePath = database;
        options.stationDateFormat = stationFormat;
        options.fallbackOrder = DateOrder::MonthFirst;
        options.keepRows = true;
        auto operation = makeImportOperation(options);
        if (onProgress)
            operation->onProgress([&](std::int64_t done, std::int64_t) {
                onProgress(done);
                if (done > 0 && cancelAfterFirst)
                    operation->cancel();
            });
        return operation->run();
    }

    std::vector<LogRecord> rows() {
        store::RecordStore store;
        EXPECT_TRUE(store.openDatabase(QFile::encodeName(database).toStdString()).ok());
        Result<std::vector<LogRecord>> all = store.readRecords(-1e9, 1e9, std::nullopt);
        EXPECT_TRUE(all.ok());
        return all.ok() ? *all : std::vector<LogRecord>{};
    }

    QTemporaryDir dir;
    QString database;
    bool cancelAfterFirst = false;
};

QByteArray manyLines(int count) {
    QByteArray text = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    for (int i = 0; i < count; ++i)
        text += QByteArray("2026-12-01 ") + QByteArray::number(i / 3600 % 24) + ':' +
                QByteArray::number(i / 60 % 60).rightJustified(2, '0') + ':' +
                QByteArray::number(i % 60).rightJustified(2, '0') + ",1.5,50,0.5,1.5\n";
    return text;
}

} // namespace

TEST_F(LogImportTest, FiveFieldLogWithMissingAndFlawedValues) {
    const QString path =
        write("CH1_2612.CSV", "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\r\n"
                              "2026-12-01 00:00:00,21.5,45,9.1,21.5\r\n"
                              "2026-12-01 00:05:00,--,--,--,--\r\n"
                              "2026-12-01 00:10:00,--.-,46,abc,22.0\r\n"
                              "not a time,20.0,44,8.0,20.0\r\n"
                              "\r\n"
                              "2026-12-01 00:15:00,19.5,43\n"
                              "2026-12-01 00:20:00,19.0,42,7.0,19.0,extra"); // no line end
    const Result<ImportSummary> s = import(path);
    ASSERT_TRUE(s.ok()) << s.error().text();
    EXPECT_EQ(s->rows, 6);
    EXPECT_EQ(s->unitText, QStringLiteral("(°C)"));
    EXPECT_FALSE(s->indoor);
    EXPECT_EQ(store::formatDateTime(s->firstTime.value()), "2026-12-01 00:00:00");
    EXPECT_EQ(store::formatDateTime(s->lastTime.value()), "2026-12-01 00:20:00");
    EXPECT_EQ(s->unreadableTimes, 1);
    EXPECT_EQ(s->unreadableValues, 1);
    EXPECT_EQ(s->wrongFieldCounts, 2);

    const std::vector<LogRecord> r = rows();
    ASSERT_EQ(r.size(), 6u);
    // In time order: the row whose time is no date comes first, at 0.0.
    EXPECT_EQ(r[0].time, 0.0);
    EXPECT_EQ(r[0].temperature, 20.0f);
    EXPECT_EQ(r[1].temperature, 21.5f);
    EXPECT_EQ(r[1].humidity, 45);
    EXPECT_EQ(r[1].dewPoint, 9.1f);
    const LogRecord allMissing{r[2].time, kNoValue, kNoHumidity, kNoValue, kNoValue};
    EXPECT_EQ(std::memcmp(&r[2], &allMissing, sizeof allMissing), 0);
    EXPECT_EQ(r[3].temperature, kNoValue); // "--.-"
    EXPECT_EQ(r[3].dewPoint, kNoValue);    // "abc"
    EXPECT_EQ(r[3].heatIndex, 22.0f);
    EXPECT_EQ(r[4].dewPoint, kNoValue); // fields the line lacks
    EXPECT_EQ(r[5].heatIndex, 19.0f);

    ASSERT_TRUE(s->table);
    EXPECT_EQ(s->table->field(3, 0), "not a time"); // shown as the file has it
    EXPECT_EQ(s->table->field(5, 4), "19.0,extra");
    EXPECT_LE(s->table->overheadBytes(), 64 * s->table->rowCount());
}

TEST_F(LogImportTest, IndoorLogInFahrenheitHasThreeColumnsAndNoDerivedValues) {
    const QString path = write("INDOOR01.CSV", "Time,Temperature(F),Humidity(%)\n"
                                               "2026-12-05 10:00:00,70.5,45,55.0,71.0\n");
    const Result<ImportSummary> s = import(path);
    ASSERT_TRUE(s.ok()) << s.error().text();
    EXPECT_TRUE(s->indoor);
    EXPECT_EQ(s->unitText, QStringLiteral("(°F)"));
    const std::vector<LogRecord> r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].temperature, 70.5f);
    EXPECT_EQ(r[0].dewPoint, kNoValue);
    EXPECT_EQ(r[0].heatIndex, kNoValue);

    RecordListModel model;
    model.setTable(s->table, s->unitText);
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Time"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Temperature(°F)"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Humidity(%)"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("45,55.0,71.0"));
}

TEST_F(LogImportTest, HeaderOnlyAndEmptyFilesReplaceTheRowsWithNone) {
    ASSERT_TRUE(import(write("CH1.CSV", manyLines(3))).ok());
    struct Case {
        const char* content;
        const char* unit;
    };
    for (const Case c : {Case{"Time,Temperature(C),Humidity(%)\n", "(°C)"}, Case{"", ""}}) {
        const Result<ImportSummary> s = import(write("CH2.CSV", c.content));
        ASSERT_TRUE(s.ok()) << s.error().text();
        EXPECT_EQ(s->rows, 0);
        EXPECT_EQ(s->unitText, QString::fromUtf8(c.unit));
        EXPECT_FALSE(s->firstTime);
        EXPECT_TRUE(rows().empty());

        RecordListModel model;
        model.setTable(s->table, s->unitText);
        EXPECT_EQ(model.rowCount(), 0);
        EXPECT_EQ(model.columnCount(), 5);
        EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(),
                  QStringLiteral("DewPoint") + QString::fromUtf8(c.unit));
    }
}

TEST_F(LogImportTest, DayAndMonthOrderIsDecidedOncePerFile) {
    struct Case {
        const char* lines;
        std::optional<int> stationFormat;
        const char* firstRow;
    };
    const Case cases[] = {
        // A later line shows the day first; it decides for the first line too.
        {"03-04-2026 1:00:00\n13-04-2026 1:00:00\n", std::nullopt, "2026-04-03 01:00:00"},
        {"03/04/2026 1:00:00\n03/14/2026 1:00:00\n", 2, "2026-03-04 01:00:00"},
        // Undecided by the file: the station's setting, then the fallback.
        {"03.04.2026 1:00:00\n", 2, "2026-04-03 01:00:00"},
        {"03.04.2026 1:00:00\n", 1, "2026-03-04 01:00:00"},
        {"03.04.2026 1:00:00\n", std::nullopt, "2026-03-04 01:00:00"},
    };
    for (const Case& c : cases) {
        QByteArray text = "Time,Temperature(C),Humidity(%)\n";
        for (const QByteArray& line : QByteArray(c.lines).split('\n'))
            if (!line.isEmpty())
                text += line + ",1.0,50\n";
        const Result<ImportSummary> s = import(write("INx.CSV", text), c.stationFormat);
        ASSERT_TRUE(s.ok()) << s.error().text();
        const std::vector<LogRecord> r = rows();
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(store::formatDateTime(r[0].time), c.firstRow) << c.lines;
    }
}

TEST_F(LogImportTest, AFailedOrStoppedImportLeavesThePreviousRowsIntact) {
    ASSERT_TRUE(import(write("CH1.CSV", manyLines(5))).ok());
    const std::vector<LogRecord> before = rows();
    ASSERT_EQ(before.size(), 5u);

    // Binary data well after the first rows have been written.
    QByteArray binary = manyLines(20000);
    binary += QByteArray("2026-12-02 0:00:00,\0\0\0,1\n", 25);
    Result<ImportSummary> s = import(write("CH2.CSV", binary));
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.code(), Errc::BadData);
    EXPECT_NE(s.error().message.find("binary"), std::string::npos);
    EXPECT_EQ(rows().size(), before.size());

    // Cancelled after the first batch of rows went into the database.
    cancelAfterFirst = true;
    std::int64_t reports = 0;
    s = import(write("CH3.CSV", manyLines(20000)), {}, [&](std::int64_t) { ++reports; });
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.code(), Errc::Cancelled);
    EXPECT_GE(reports, 1);
    EXPECT_EQ(rows().size(), before.size());
    cancelAfterFirst = false;

    // A missing log and a database locked by another program.
    s = import(dir.filePath("gone.csv"));
    EXPECT_EQ(s.code(), Errc::Io);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(database).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    s = import(write("CH4.CSV", manyLines(10)));
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.code(), Errc::Database);
    EXPECT_NE(s.error().message.find("locked"), std::string::npos) << s.error().message;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    const std::vector<LogRecord> after = rows();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::memcmp(after.data(), before.data(), before.size() * sizeof(LogRecord)), 0);
}

TEST_F(LogImportTest, RecordsListShowsLongFieldsWholeAndCentred) {
    const QByteArray longText(200, 'x');
    const Result<ImportSummary> s =
        import(write("CH1.CSV", "Time,Temperature(C),Humidity(%),D,H\n2026-12-01 0:00:00," +
                                    longText + ",50,1.0,2.0\n"));
    ASSERT_TRUE(s.ok());
    RecordListModel model;
    model.setTable(s->table, s->unitText);
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QString::fromLatin1(longText));
    EXPECT_EQ(model.data(model.index(0, 4)).toString(), QStringLiteral("2.0"));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignCenter);
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("HeatIndex(°C)"));
}
