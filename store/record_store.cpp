#include "record_store.h"

#include "automation_date.h"
#include "record_schema.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace vellumet::store {

namespace {

// The only texts ever placed into a statement as a column name.
constexpr std::array<std::string_view, 4> kColumnNames = {"Temperature", "Humidity", "DewPoint",
                                                          "Heatindex"};

constexpr std::string_view kRowColumns = "Time, Temperature, Humidity, Dewpoint, Heatindex";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::size_t indexOf(SeriesColumn column) {
    return static_cast<std::size_t>(column);
}

Error notOpen() {
    return makeError(Errc::Database, "the record database is not open");
}

float realOrMissing(const Statement& st, int index) {
    return st.columnIsNull(index) ? kNoValue : static_cast<float>(st.columnDouble(index));
}

LogRecord recordFromRow(const Statement& st) {
    LogRecord r;
    r.time = st.columnDouble(0);
    r.temperature = realOrMissing(st, 1);
    r.humidity = st.columnIsNull(2) ? kNoHumidity : static_cast<std::int32_t>(st.columnInt64(2));
    r.dewPoint = realOrMissing(st, 3);
    r.heatIndex = realOrMissing(st, 4);
    return r;
}

void bindRecord(Statement& st, int first, const LogRecord& r) {
    st.bind(first, r.time);
    st.bind(first + 1, static_cast<double>(r.temperature));
    st.bind(first + 2, r.humidity);
    st.bind(first + 3, static_cast<double>(r.dewPoint));
    st.bind(first + 4, static_cast<double>(r.heatIndex));
}

constexpr const char* kIncomingTable = "RecordsIncoming";

// The packed copy of the rows: LogRecords as they lie in memory, so only a
// machine of the same byte order and layout may read them.
constexpr const char* kPacksTable = "RecordPacks";
constexpr const char* kIncomingPacksTable = "RecordPacksIncoming";
constexpr std::size_t kPackRows = 4096;
// A long read looks at its stop token once per this many rows.
constexpr std::size_t kRowsPerStopCheck = 4096;
constexpr bool kCanPack = std::endian::native == std::endian::little;
constexpr int kPackFormat = 0x5650'0100 + static_cast<int>(sizeof(LogRecord));

std::string packsTableSql(std::string_view name) {
    return "CREATE TABLE " + std::string(name) +
           " (Pack INTEGER PRIMARY KEY, Format INTEGER NOT NULL, FirstTime REAL NOT NULL,"
           " LastTime REAL NOT NULL, Rows BLOB NOT NULL)";
}

// Any change to Records by other means than an import makes the copy stale.
constexpr const char* kDropPackTriggers = "DROP TRIGGER IF EXISTS RecordPacksStaleOnInsert;"
                                          "DROP TRIGGER IF EXISTS RecordPacksStaleOnUpdate;"
                                          "DROP TRIGGER IF EXISTS RecordPacksStaleOnDelete;";
constexpr const char* kCreatePackTriggers =
    "CREATE TRIGGER RecordPacksStaleOnInsert AFTER INSERT ON Records"
    " BEGIN DELETE FROM RecordPacks; END;"
    "CREATE TRIGGER RecordPacksStaleOnUpdate AFTER UPDATE ON Records"
    " BEGIN DELETE FROM RecordPacks; END;"
    "CREATE TRIGGER RecordPacksStaleOnDelete AFTER DELETE ON Records"
    " BEGIN DELETE FROM RecordPacks; END;";

// Ends a read snapshot however the read ends.
class ReadSnapshot {
public:
    explicit ReadSnapshot(Database& db) : db_(db) {}
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
    Status begin() {
        Status s = db_.execute("SAVEPOINT WindowRead", "cannot read the record database");
        open_ = s.ok();
        return s;
    }
    ~ReadSnapshot() {
        if (open_)
            (void)db_.execute("RELEASE WindowRead", "cannot end a read");
    }

private:
    Database& db_;
    bool open_ = false;
};

std::string insertSql(std::string_view table, std::size_t rows) {
    std::string sql = "INSERT OR ROLLBACK INTO " + std::string(table) + " (" +
                      std::string(kRowColumns) + ") VALUES ";
    for (std::size_t i = 0; i < rows; ++i)
        sql += i == 0 ? "(?,?,?,?,?)" : ",(?,?,?,?,?)";
    return sql;
}

std::string windowSql(std::optional<SeriesColumn> column) {
    std::string sql =
        "SELECT " + std::string(kRowColumns) + " FROM Records WHERE Time > ?1 AND Time <= ?2";
    if (column)
        sql += " AND " + std::string(seriesColumnName(*column)) + " <> 65535";
    return sql + " ORDER BY Time ASC";
}

// Runs a statement of the window start..end (parameters 1 and 2), handing
// each row to onRow; stops early when onRow returns false.
template <typename OnRow>
Status stepWindow(Statement& st, double start, double end, OnRow&& onRow) {
    st.bind(1, start);
    st.bind(2, end);
    for (;;) {
        Result<bool> row = st.step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        if constexpr (std::is_void_v<decltype(onRow(static_cast<const Statement&>(st)))>)
            onRow(static_cast<const Statement&>(st));
        else if (!onRow(static_cast<const Statement&>(st)))
            break;
    }
    st.reset();
    return {};
}

} // namespace

Result<SeriesColumn> parseSeriesColumn(std::string_view name) {
    for (std::size_t i = 0; i < kColumnNames.size(); ++i)
        if (equalsIgnoringCase(name, kColumnNames[i]))
            return static_cast<SeriesColumn>(i);
    return makeError(Errc::InvalidInput, "'" + std::string(name) +
                                             "' is not a value column (Temperature, Humidity, "
                                             "DewPoint or Heatindex)");
}

std::string_view seriesColumnName(SeriesColumn column) {
    return kColumnNames[indexOf(column)];
}

double seriesValue(const LogRecord& r, SeriesColumn column) {
    switch (column) {
    case SeriesColumn::Temperature:
        return r.temperature;
    case SeriesColumn::Humidity:
        return r.humidity;
    case SeriesColumn::DewPoint:
        return r.dewPoint;
    case SeriesColumn::Heatindex:
        return r.heatIndex;
    }
    return kNoValue;
}

void RecordStore::close() {
    selected_ = nullptr;
    replacing_ = false;
    for (Statement* st : {&clearRecords_, &clearParam_, &insertOne_, &insertBatch_, &selectAll_,
                          &span_, &insertPack_, &packsPresent_, &packsUsable_, &selectPacks_})
        *st = Statement();
    for (Statement& st : count_)
        st = Statement();
    for (Statement& st : select_)
        st = Statement();
    db_ = Database();
}

Status RecordStore::openDatabase(const std::string& path) {
    close();
    Result<Database> db = Database::open(path);
    if (!db)
        return db.error();
    // Also proves that the file is a database we can read: SQLite opens lazily.
    // Debian and others build SQLite to zero every freed page, which makes
    // dropping the old rows of an import write them twice more (zeros and
    // journal). FAST still clears deleted content inside the pages in use.
    if (Status s = db->execute("PRAGMA secure_delete = FAST", "cannot set up the record database");
        !s)
        return s;
    if (Status created = createRecordTables(db->handle()); !created)
        return makeError(Errc::Database,
                         "cannot use the record database " + path + ": " + created.error().message);
    db_ = std::move(*db);
    return {};
}

Result<Statement*> RecordStore::statement(Statement& slot, const std::string& sql) {
    if (!db_.isOpen())
        return notOpen();
    if (!slot.isPrepared()) {
        Result<Statement> prepared = Statement::prepare(db_, sql);
        if (!prepared)
            return prepared.error();
        slot = std::move(*prepared);
    }
    return &slot;
}

Result<Transaction> RecordStore::beginTransaction() {
    if (!db_.isOpen())
        return notOpen();
    return Transaction::begin(db_);
}

Status RecordStore::clearTables() {
    // Without the triggers the delete below empties the table at once
    // instead of row by row.
    if (!db_.isOpen())
        return notOpen();
    const std::string drop =
        std::string(kDropPackTriggers) + "DROP TABLE IF EXISTS " + kPacksTable + ";";
    if (Status s = db_.execute(drop.c_str(), "cannot empty the record database"); !s)
        return s;
    Result<Statement*> records = statement(clearRecords_, "DELETE FROM Records");
    if (!records)
        return records.error();
    if (Status s = (*records)->run(); !s)
        return s;
    Result<Statement*> param = statement(clearParam_, "DELETE FROM Param");
    if (!param)
        return param.error();
    return (*param)->run();
}

void RecordStore::dropInsertStatements() {
    insertOne_ = Statement();
    insertBatch_ = Statement();
    insertPack_ = Statement();
}

Status RecordStore::beginReplacement() {
    if (!db_.isOpen())
        return notOpen();
    dropInsertStatements();
    // The new rows get their own index, which grows with them; the old one
    // goes with the old table.
    const std::string sql = std::string("DROP TABLE IF EXISTS ") + kIncomingTable + ";" +
                            recordsTableSql(kIncomingTable) + ";CREATE INDEX " +
                            freeTimeIndexName(db_.handle()) + " ON " + kIncomingTable + "(Time);";
    if (Status s = db_.execute(sql.c_str(), "cannot prepare the new records"); !s)
        return s;
    pack_.clear();
    packLastTime_ = -HUGE_VAL;
    packing_ = false;
    if (kCanPack) {
        const std::string packs = std::string("DROP TABLE IF EXISTS ") + kIncomingPacksTable + ";" +
                                  packsTableSql(kIncomingPacksTable);
        if (Status s = db_.execute(packs.c_str(), "cannot prepare the new records"); !s)
            return s;
        pack_.reserve(kPackRows);
        packing_ = true;
    }
    replacing_ = true;
    return {};
}

Status RecordStore::finishReplacement() {
    if (!replacing_)
        return makeError(Errc::Database, "no replacement of the records has begun");
    replacing_ = false;
    if (packing_ && !pack_.empty())
        if (Status s = writePack(); !s)
            return s;
    dropInsertStatements();
    // Dropping Records also drops the indexes and triggers other programs put
    // on it: they are made again on the new table from their own text.
    Result<std::string> theirs = othersObjectsOnRecords();
    if (!theirs)
        return theirs.error();
    // The legacy rename leaves views and other tables' triggers as they are
    // written; the modern one refuses while a view names the missing Records.
    std::string sql =
        std::string("PRAGMA legacy_alter_table = ON;DROP TABLE Records;ALTER TABLE ") +
        kIncomingTable + " RENAME TO Records;PRAGMA legacy_alter_table = OFF;" + *theirs +
        "DELETE FROM Param;DROP TABLE IF EXISTS " + kPacksTable + ";";
    if (packing_)
        sql += std::string("ALTER TABLE ") + kIncomingPacksTable + " RENAME TO " + kPacksTable +
               ";" + kCreatePackTriggers;
    else
        sql += std::string("DROP TABLE IF EXISTS ") + kIncomingPacksTable + ";";
    packing_ = false;
    pack_ = {};
    return db_.execute(sql.c_str(), "cannot replace the records");
}

Result<std::string> RecordStore::othersObjectsOnRecords() {
    Result<Statement> st = Statement::prepare(
        db_, "SELECT sql FROM sqlite_master WHERE tbl_name = 'Records' COLLATE NOCASE AND type IN "
             "('index', 'trigger') AND sql IS NOT NULL AND name NOT IN ('RecordsByTime', "
             "'RecordsByTimeB', 'RecordPacksStaleOnInsert', 'RecordPacksStaleOnUpdate', "
             "'RecordPacksStaleOnDelete') ORDER BY type, rowid");
    if (!st)
        return st.error();
    std::string sql;
    for (;;) {
        Result<bool> row = st->step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        sql += st->columnText(0);
        sql += ";";
    }
    return sql;
}

Status RecordStore::packRows(std::span<const LogRecord> records) {
    for (const LogRecord& r : records) {
        if (r.time == 0.0) // unreadable time: only Records holds the row
            continue;
        if (!std::isfinite(r.time) || r.time < packLastTime_) {
            // Times that go back: the log is read from Records alone.
            packing_ = false;
            pack_ = {};
            return {};
        }
        packLastTime_ = r.time;
        pack_.push_back(r);
        if (pack_.size() == kPackRows)
            if (Status s = writePack(); !s)
                return s;
    }
    return {};
}

Status RecordStore::writePack() {
    Result<Statement*> st =
        statement(insertPack_, std::string("INSERT INTO ") + kIncomingPacksTable +
                                   " (Format, FirstTime, LastTime, Rows)"
                                   " VALUES (?, ?, ?, ?)");
    if (!st)
        return st.error();
    (*st)->bind(1, kPackFormat);
    (*st)->bind(2, pack_.front().time);
    (*st)->bind(3, pack_.back().time);
    (*st)->bindBlob(4, std::as_bytes(std::span(pack_)));
    Status s = (*st)->run();
    pack_.clear();
    return s;
}

Status RecordStore::appendRecord(const LogRecord& record) {
    return appendRecords(std::span(&record, 1));
}

Status RecordStore::appendRecords(std::span<const LogRecord> records) {
    if (replacing_ && packing_)
        if (Status s = packRows(records); !s)
            return s;
    while (!records.empty()) {
        const bool batch = records.size() >= kBatchRows;
        const std::string_view table = replacing_ ? kIncomingTable : "Records";
        Result<Statement*> st = batch ? statement(insertBatch_, insertSql(table, kBatchRows))
                                      : statement(insertOne_, insertSql(table, 1));
        if (!st)
            return st.error();
        const std::size_t rows = batch ? kBatchRows : 1;
        for (std::size_t i = 0; i < rows; ++i)
            bindRecord(**st, static_cast<int>(i * 5 + 1), records[i]);
        if (Status s = (*st)->run(); !s)
            return s;
        records = records.subspan(rows);
    }
    return {};
}

Result<std::int64_t> RecordStore::countSeries(double start, double end, SeriesColumn column) {
    Result<Statement*> st =
        statement(count_[indexOf(column)],
                  "SELECT count(*) FROM Records WHERE Time > ?1 AND Time <= ?2 AND " +
                      std::string(seriesColumnName(column)) + " <> 65535");
    if (!st)
        return st.error();
    (*st)->bind(1, start);
    (*st)->bind(2, end);
    Result<bool> row = (*st)->step();
    if (!row)
        return row.error();
    const std::int64_t n = *row ? (*st)->columnInt64(0) : 0;
    (*st)->reset();
    return n;
}

Status RecordStore::selectSeries(double start, double end, SeriesColumn column) {
    if (selected_)
        selected_->reset();
    selected_ = nullptr;
    Result<Statement*> st = statement(select_[indexOf(column)], windowSql(column));
    if (!st)
        return st.error();
    (*st)->bind(1, start);
    (*st)->bind(2, end);
    selected_ = *st;
    selectedColumn_ = column;
    return {};
}

Result<Series> RecordStore::readSeries(std::int64_t n) {
    if (!selected_)
        return makeError(Errc::Database, "no window has been selected");
    const std::size_t size = static_cast<std::size_t>(std::max<std::int64_t>(n, 0));
    Series series{std::vector<double>(size), std::vector<double>(size)};
    for (std::size_t i = 0; i < size; ++i) {
        Result<bool> row = selected_->step();
        if (!row) {
            selected_ = nullptr;
            return row.error();
        }
        if (!*row)
            break;
        const LogRecord record = recordFromRow(*selected_);
        series.times[i] = record.time;
        series.values[i] = seriesValue(record, selectedColumn_);
    }
    selected_->reset();
    selected_ = nullptr;
    return series;
}

Result<std::vector<LogRecord>> RecordStore::readRecords(double start, double end,
                                                        std::optional<SeriesColumn> column,
                                                        const std::stop_token& stop) {
    Result<Statement*> st = column ? statement(select_[indexOf(*column)], windowSql(column))
                                   : statement(selectAll_, windowSql(std::nullopt));
    if (!st)
        return st.error();
    if (selected_ == *st)
        selected_ = nullptr;
    std::vector<LogRecord> records;
    if (Status s = stepWindow(**st, start, end,
                              [&](const Statement& row) {
                                  records.push_back(recordFromRow(row));
                                  return records.size() % kRowsPerStopCheck != 0 ||
                                         !stop.stop_requested();
                              });
        !s)
        return s.error();
    if (stop.stop_requested())
        return makeError(Errc::Cancelled, "reading the records was stopped");
    return records;
}

Result<bool> RecordStore::hasPackedRows() {
    if (!kCanPack)
        return false;
    Result<Statement*> present = statement(
        packsPresent_, std::string("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                   "name = '") +
                           kPacksTable + "'");
    if (!present)
        return present.error();
    Result<bool> row = (*present)->step();
    if (!row)
        return row.error();
    const bool there = *row && (*present)->columnInt64(0) == 1;
    (*present)->reset();
    if (!there)
        return false;
    // Emptied by the triggers, or written by another build: not usable.
    Result<Statement*> usable =
        statement(packsUsable_,
                  std::string("SELECT count(*), min(Format), max(Format), "
                              "max(length(Rows) % " +
                              std::to_string(sizeof(LogRecord)) + "), min(length(Rows)) FROM ") +
                      kPacksTable);
    if (!usable)
        return usable.error();
    row = (*usable)->step();
    if (!row)
        return row.error();
    const Statement& u = **usable;
    const bool ok = *row && u.columnInt64(0) > 0 && u.columnInt64(1) == kPackFormat &&
                    u.columnInt64(2) == kPackFormat && u.columnInt64(3) == 0 &&
                    u.columnInt64(4) > 0;
    (*usable)->reset();
    return ok;
}

Status RecordStore::visitWindow(double start, double end, const RowVisitor& visit) {
    if (!db_.isOpen())
        return notOpen();
    ReadSnapshot snapshot(db_);
    if (Status s = snapshot.begin(); !s)
        return s;
    // The packed copy leaves out the rows of unreadable time (0).
    const bool windowHoldsZero = start < 0.0 && end >= 0.0;
    if (!windowHoldsZero) {
        Result<bool> packed = hasPackedRows();
        if (!packed)
            return packed.error();
        if (*packed)
            return visitPacks(start, end, visit);
    }
    return visitRows(start, end, visit);
}

Status RecordStore::visitPacks(double start, double end, const RowVisitor& visit) {
    Result<Statement*> st =
        statement(selectPacks_, std::string("SELECT Rows FROM ") + kPacksTable +
                                    " WHERE LastTime > ?1 AND FirstTime <= ?2 ORDER BY Pack");
    if (!st)
        return st.error();
    (*st)->bind(1, start);
    (*st)->bind(2, end);
    std::vector<LogRecord> rows;
    for (;;) {
        Result<bool> row = (*st)->step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        const std::span<const std::byte> bytes = (*st)->columnBlob(0);
        rows.resize(bytes.size() / sizeof(LogRecord));
        std::memcpy(rows.data(), bytes.data(), rows.size() * sizeof(LogRecord));
        const auto byTime = [](double t, const LogRecord& r) { return t < r.time; };
        const auto first = std::upper_bound(rows.begin(), rows.end(), start, byTime);
        const auto last = std::upper_bound(first, rows.end(), end, byTime);
        if (first != last)
            visit(std::span<const LogRecord>(first, last));
    }
    (*st)->reset();
    return {};
}

Status RecordStore::visitRows(double start, double end, const RowVisitor& visit) {
    Result<Statement*> st = statement(selectAll_, windowSql(std::nullopt));
    if (!st)
        return st.error();
    if (selected_ == *st)
        selected_ = nullptr;
    std::vector<LogRecord> rows;
    rows.reserve(kPackRows);
    if (Status s = stepWindow(**st, start, end,
                              [&](const Statement& row) {
                                  rows.push_back(recordFromRow(row));
                                  if (rows.size() == kPackRows) {
                                      visit(rows);
                                      rows.clear();
                                  }
                              });
        !s)
        return s;
    if (!rows.empty())
        visit(rows);
    return {};
}

Result<std::optional<RecordStore::TimeSpan>> RecordStore::timeSpan() {
    Result<Statement*> st =
        // Worded so that each end is one step along the index on Time.
        statement(span_, "SELECT (SELECT Time FROM Records WHERE Time <> 0 ORDER BY Time LIMIT 1),"
                         " (SELECT Time FROM Records WHERE Time <> 0 ORDER BY Time DESC LIMIT 1)");
    if (!st)
        return st.error();
    Result<bool> row = (*st)->step();
    if (!row)
        return row.error();
    std::optional<TimeSpan> span;
    if (*row && !(*st)->columnIsNull(0))
        span = TimeSpan{(*st)->columnDouble(0), (*st)->columnDouble(1)};
    (*st)->reset();
    return span;
}

Status RecordStore::writeParam(std::string_view name, std::string_view value) {
    if (!db_.isOpen())
        return notOpen();
    Result<Statement> remove = Statement::prepare(db_, "DELETE FROM Param WHERE Name = ?1");
    if (!remove)
        return remove.error();
    remove->bindText(1, name);
    if (Status s = remove->run(); !s)
        return s;
    Result<Statement> insert =
        Statement::prepare(db_, "INSERT INTO Param (Name, Value) VALUES (?1, ?2)");
    if (!insert)
        return insert.error();
    insert->bindText(1, name);
    insert->bindText(2, value);
    return insert->run();
}

Status RecordStore::visitTimesAsWritten(const TimeVisitor& visit) {
    if (!db_.isOpen())
        return notOpen();
    Result<Statement> st = Statement::prepare(db_, "SELECT Time FROM Records ORDER BY rowid");
    if (!st)
        return st.error();
    std::vector<double> times;
    times.reserve(kPackRows);
    for (;;) {
        Result<bool> row = st->step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        times.push_back(st->columnDouble(0));
        if (times.size() == kPackRows) {
            visit(times);
            times.clear();
        }
    }
    if (!times.empty())
        visit(times);
    return {};
}

Result<std::optional<std::string>> RecordStore::readParam(std::string_view name) {
    if (!db_.isOpen())
        return notOpen();
    Result<Statement> st =
        Statement::prepare(db_, "SELECT Value FROM Param WHERE Name = ?1 ORDER BY rowid DESC");
    if (!st)
        return st.error();
    st->bindText(1, name);
    Result<bool> row = st->step();
    if (!row)
        return row.error();
    if (!*row || st->columnIsNull(0))
        return std::optional<std::string>();
    return std::optional<std::string>(st->columnText(0));
}

} // namespace vellumet::store
