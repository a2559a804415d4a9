#pragma once

#include "core/result.h"
#include "sqlite_handles.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet::store {

// The value that marks a missing reading, in every value column.
inline constexpr float kNoValue = 65535.0f;
inline constexpr std::int32_t kNoHumidity = 65535;

// One row of Records: a reading of the log, its time as an automation date.
// Temperatures are in the unit of the log file.
struct LogRecord {
    double time = 0.0;
    float temperature = kNoValue;
    std::int32_t humidity = kNoHumidity;
    float dewPoint = kNoValue;
    float heatIndex = kNoValue;
};
static_assert(sizeof(LogRecord) == 24);

// The value columns a window can be asked for.
enum class SeriesColumn { Temperature, Humidity, DewPoint, Heatindex };

// "Temperature", "Humidity", "DewPoint" or "Heatindex" (any case); nothing else.
Result<SeriesColumn> parseSeriesColumn(std::string_view name);
std::string_view seriesColumnName(SeriesColumn column);
// The column's value of a record, as the store hands it out (single precision
// widened; humidity exact).
double seriesValue(const LogRecord& record, SeriesColumn column);

// Times and values of a window in ascending time, element i of both from the
// same row.
struct Series {
    std::vector<double> times;
    std::vector<double> values;
};

// Access to the record database: the rows of the last imported log.
//
// A window is start < Time <= end; a row whose queried column holds the
// missing-value mark is left out of that column's window only.
//
// An import of a log whose times ascend also leaves a packed copy of its rows
// beside Records (runs of rows as blobs, without the rows of unreadable time),
// which a window is read from many times faster than through the index on
// Time. Any other change to Records drops the copy, and reads go back to
// Records.
class RecordStore {
public:
    RecordStore() = default;
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens the database file (which must exist) and creates whichever of
    // Records and Param is missing. A file that is locked, read-only for the
    // tables, damaged or no database at all is reported with SQLite's text.
    // Opening again closes the previous connection.
    Status openDatabase(const std::string& path);
    bool isOpen() const { return db_.isOpen(); }
    void close();

    // The writes below are only safe as a whole inside one transaction: an
    // import that stops part-way must leave the previous rows in place.
    Result<Transaction> beginTransaction();
    Status clearTables();
    // Replacing every row: the new rows go to a table beside Records, which
    // finishReplacement puts in its place (and empties Param). The old rows
    // are never copied into the rollback journal, which halves the writing.
    // Both calls belong in the transaction that writes the rows.
    Status beginReplacement();
    Status finishReplacement();

    // Named texts kept beside the rows in Param, such as the log they came
    // from; emptied with the rows. Writing a name again replaces its value.
    Status writeParam(std::string_view name, std::string_view value);
    Result<std::optional<std::string>> readParam(std::string_view name);

    // Adds rows to Records, or to the new table between the two calls above.
    Status appendRecord(const LogRecord& record);
    // Many rows at once; faster than one at a time.
    Status appendRecords(std::span<const LogRecord> records);

    // The rows of start < Time <= end that hold a value in the column.
    Result<std::int64_t> countSeries(double start, double end, SeriesColumn column);
    Status selectSeries(double start, double end, SeriesColumn column);
    // Walks the rows of the last selectSeries, at most n of them, into arrays
    // of n elements (zero where the window held fewer rows).
    Result<Series> readSeries(std::int64_t n);

    // Hands every row of a window to `visit`, a run of rows at a time, in
    // ascending time (rows of equal time in the order they were written), all
    // from one snapshot of the database. Reads the packed copy of the rows
    // when it is current, else Records. Stops at the first failure.
    using RowVisitor = std::function<void(std::span<const LogRecord>)>;
    Status visitWindow(double start, double end, const RowVisitor& visit);
    // Whether the packed copy of the rows is there and current.
    Result<bool> hasPackedRows();

    // Whole rows of a window, in ascending time; with a column, only the rows
    // that hold a value there. Cancelled, without rows, once stop is requested.
    Result<std::vector<LogRecord>> readRecords(double start, double end,
                                               std::optional<SeriesColumn> column,
                                               const std::stop_token& stop = {});

    // The time of every row in the order the rows were written (the log's
    // own order, which a window's ascending time does not keep where the
    // station's clock went back), a run at a time.
    using TimeVisitor = std::function<void(std::span<const double>)>;
    Status visitTimesAsWritten(const TimeVisitor& visit);

    // Earliest and latest time of the rows whose time could be read (a time
    // the import could not read is stored as 0); nothing for an empty log.
    struct TimeSpan {
        double first;
        double last;
    };
    Result<std::optional<TimeSpan>> timeSpan();

private:
    Result<Statement*> statement(Statement& slot, const std::string& sql);
    void dropInsertStatements();
    // CREATE statements of the indexes and triggers on Records that are not
    // this program's, each ended by ";".
    Result<std::string> othersObjectsOnRecords();
    Status packRows(std::span<const LogRecord> records);
    Status writePack();
    Status visitPacks(double start, double end, const RowVisitor& visit);
    Status visitRows(double start, double end, const RowVisitor& visit);

    static constexpr std::size_t kBatchRows = 64;
    static constexpr std::size_t kColumns = 4;

    Database db_;
    Statement clearRecords_;
    Statement clearParam_;
    Statement insertOne_;
    Statement insertBatch_;
    std::array<Statement, kColumns> count_;
    std::array<Statement, kColumns> select_;
    Statement selectAll_;
    Statement span_;
    Statement insertPack_;
    Statement packsPresent_;
    Statement packsUsable_;
    Statement selectPacks_;
    // The packed copy an import writes beside the new rows, while their times
    // keep ascending: a pack being filled, and the time of its last row.
    std::vector<LogRecord> pack_;
    double packLastTime_ = 0.0;
    bool packing_ = false;
    Statement* selected_ = nullptr;
    bool replacing_ = false;
    SeriesColumn selectedColumn_ = SeriesColumn::Temperature;
};

} // namespace vellumet::store
