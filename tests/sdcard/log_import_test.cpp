#include "sdcard/log_import.h"
#include "sdcard/record_list_model.h"
#include "store/automation_date.h"
#include "store/record_schema.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(LogImportTest, EveryLineEndIsReadAndALogWithoutReadingsIsRefused) {
    const QByteArray lf = manyLines(3);
    QByteArray crlf = lf, cr = lf, mixed = lf;
    crlf.replace("\n", "\r\n");
    cr.replace("\n", "\r");
    const qsizetype second = mixed.indexOf('\n', mixed.indexOf('\n') + 1);
    mixed[second] = '\r';
    mixed.replace(mixed.lastIndexOf('\n'), 1, "\r\n");
    for (const QByteArray& text : {lf, crlf, cr, mixed}) {
        const Result<ImportSummary> s = import(write("CH1.CSV", text));
        ASSERT_TRUE(s.ok()) << s.error().text();
        EXPECT_EQ(s->rows, 3) << text.toStdString();
        EXPECT_EQ(s->unitText, QStringLiteral("(°C)"));
        EXPECT_EQ(s->wrongFieldCounts + s->unreadableTimes + s->unreadableValues, 0);
        EXPECT_EQ(store::formatDateTime(s->lastTime.value()), "2026-12-01 00:00:02");
        ASSERT_EQ(s->table->rowCount(), 3u);
        EXPECT_EQ(s->table->field(2, 4), "1.5");
    }
    // Lines that end with a CR over many chunks of the reading.
    QByteArray big = manyLines(50000);
    big.replace("\n", "\r");
    ASSERT_GT(big.size(), 1 << 20);
    const Result<ImportSummary> s = import(write("CH1.CSV", big));
    ASSERT_TRUE(s.ok()) << s.error().text();
    EXPECT_EQ(s->rows, 50000);
    EXPECT_EQ(s->wrongFieldCounts + s->unreadableTimes, 0);

    const std::vector<LogRecord> before = rows();
    for (const char* content : {"", "Time,Temperature(C),Humidity(%)\n",
                                "Time,Temperature(C),Humidity(%)\r\r\n\r\n", "\n"}) {
        const Result<ImportSummary> refused = import(write("CH2.CSV", content));
        ASSERT_FALSE(refused.ok()) << content;
        EXPECT_EQ(refused.code(), Errc::NoReadings);
        EXPECT_NE(refused.error().message.find("no readings in"), std::string::npos);
        EXPECT_NE(refused.error().message.find("the database is unchanged"), std::string::npos);
        EXPECT_EQ(rows().size(), before.size());
    }
}

TEST_F(LogImportTest, AnOverlongOrControlUnitGivesNoUnitButTheReadingsStay) {
    struct Case {
        std::string unitField;
        std::optional<QString> unit; // nothing: refused
    };
    const Case cases[] = {
        {"Temperature(C)", QStringLiteral("(°C)")},
        {"Temperature(\xb0"
         "F)",
         QStringLiteral("(°°F)")}, // Latin-1, as the card holds it
        {"Temperature(" + std::string(30, 'x') + ")", "(" + QString(30, u'x') + ")"},
        {"Temperature(" + std::string(31, 'x') + ")", std::nullopt},
        {"Temperature(" + std::string(15000, 'C') + ")", std::nullopt},
        {"Temperature(C\x1b[2J)", std::nullopt},
        {"Temperature(C\x85)", std::nullopt},
        {"Temperature(C\t)", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::string header = "Time," + c.unitField + ",Humidity(%)";
        EXPECT_EQ(unitTextOfHeader(header), c.unit) << header.substr(0, 60);
    }
    const std::string longUnit = "Time,Temperature(" + std::string(15000, 'C') + "),Humidity(%)\n";
    const Result<ImportSummary> s =
        import(write("IN1.CSV", QByteArray::fromStdString(longUnit) +
                                    "2026-12-05 10:00:00,20.5,45\n2026-12-05 10:01:00,20.6,45\n"));
    ASSERT_TRUE(s.ok()) << s.error().text();
    EXPECT_EQ(s->rows, 2);
    EXPECT_TRUE(s->unitRefused);
    EXPECT_TRUE(s->unitText.isEmpty());
    EXPECT_EQ(rows().at(1).temperature, 20.6f);
    ASSERT_TRUE(import(write("IN1.CSV", "Time,Temperature(C),Humidity(%)\n"
                                        "2026-12-05 10:00:00,20.5,45\n"))
                    ->unitRefused == false);
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

    // Binary data past the first read of the file, so that rows have gone
    // into the database before the damage is found.
    QByteArray binary = manyLines(40000);
    ASSERT_GT(binary.size(), 1 << 20);
    binary += QByteArray("2026-12-02 0:00:00,\0\0\0,1\n", 25);
    std::int64_t written = 0;
    Result<ImportSummary> s =
        import(write("CH2.CSV", binary), {}, [&](std::int64_t) { ++written; });
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.code(), Errc::BadData);
    EXPECT_NE(s.error().message.find("binary data at byte " + std::to_string(binary.size() - 6)),
              std::string::npos)
        << s.error().message;
    EXPECT_GT(written, 1);
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

TEST_F(LogImportTest, OnlyARegularFileIsOpened) {
    const QString fifo = dir.filePath("CH1.CSV");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, dir.path()}) {
        auto result = std::async(std::launch::async, [&] { return import(path); });
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Blocked in open(): a writer that comes and goes lets it return.
            ::close(::open(QFile::encodeName(path).constData(), O_WRONLY));
            ADD_FAILURE() << path.toStdString() << " was opened";
        }
        const Result<ImportSummary> s = result.get();
        ASSERT_FALSE(s.ok());
        EXPECT_EQ(s.code(), Errc::Io);
        EXPECT_NE(s.error().message.find(path == dir.path() ? "is a folder" : "not a regular file"),
                  std::string::npos)
            << s.error().message;
    }
}

// A disk that fills up in the middle of an import: the write fails, and the
// journal of the rolled-back transaction does not stay behind to take space.
TEST_F(LogImportTest, AFullDiskLeavesNeitherTheNewRowsNorAJournal) {
    ASSERT_TRUE(import(write("CH1.CSV", manyLines(5))).ok());
    const std::vector<LogRecord> before = rows();
    const QString log = write("CH2.CSV", manyLines(200000));
    const QByteArray journal = QFile::encodeName(database + "-journal");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Files may not grow past 2 MiB: the new rows need several times that.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2 << 20, 2 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ImportOptions options;
        options.logPath = log;
        options.databasePath = database;
        const Result<ImportSummary> s = importLog(options, OperationContext({}, {}));
        const bool journalLeft = ::access(journal.constData(), F_OK) == 0;
        ::_exit(s.ok() ? 10 : s.code() != Errc::Database ? 11 : journalLeft ? 12 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: imported, 11: another error, 12: journal left";
    EXPECT_FALSE(QFile::exists(database + "-journal")); // looked at before any new connection
    const std::vector<LogRecord> after = rows();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::memcmp(after.data(), before.data(), before.size() * sizeof(LogRecord)), 0);
}
