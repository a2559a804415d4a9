#include "record_store.h"

#include "automation_date.h"
#include "record_schema.h"

#include <algorithm>
#include <cctype>

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

struct Window {
    double start;
    double end;
    SeriesColumn column;
};

Result<Window> parseWindow(std::string_view start, std::string_view end, std::string_view column) {
    Result<double> from = parseBoundText(start);
    if (!from)
        return from.error();
    Result<double> to = parseBoundText(end);
    if (!to)
        return to.error();
    Result<SeriesColumn> c = parseSeriesColumn(column);
    if (!c)
        return c.error();
    return Window{*from, *to, *c};
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
    for (Statement* st :
         {&clearRecords_, &clearParam_, &insertOne_, &insertBatch_, &selectAll_, &span_})
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
    replacing_ = true;
    return {};
}

Status RecordStore::finishReplacement() {
    if (!replacing_)
        return makeError(Errc::Database, "no replacement of the records has begun");
    dropInsertStatements();
    replacing_ = false;
    const std::string sql = std::string("DROP TABLE Records;ALTER TABLE ") + kIncomingTable +
                            " RENAME TO Records;DELETE FROM Param;";
    return db_.execute(sql.c_str(), "cannot replace the records");
}

Status RecordStore::appendRecord(const LogRecord& record) {
    return appendRecords(std::span(&record, 1));
}

Status RecordStore::appendRecords(std::span<const LogRecord> records) {
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

Result<std::int64_t> RecordStore::countSeries(std::string_view start, std::string_view end,
                                              std::string_view column) {
    Result<Window> w = parseWindow(start, end, column);
    if (!w)
        return w.error();
    return countSeries(w->start, w->end, w->column);
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

Status RecordStore::selectSeries(std::string_view start, std::string_view end,
                                 std::string_view column) {
    Result<Window> w = parseWindow(start, end, column);
    if (!w)
        return w.error();
    return selectSeries(w->start, w->end, w->column);
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
                                                        std::optional<SeriesColumn> column) {
    Result<Statement*> st = column ? statement(select_[indexOf(*column)], windowSql(column))
                                   : statement(selectAll_, windowSql(std::nullopt));
    if (!st)
        return st.error();
    if (selected_ == *st)
        selected_ = nullptr;
    (*st)->bind(1, start);
    (*st)->bind(2, end);
    std::vector<LogRecord> records;
    for (;;) {
        Result<bool> row = (*st)->step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        records.push_back(recordFromRow(**st));
    }
    (*st)->reset();
    return records;
}

Result<std::optional<RecordStore::TimeSpan>> RecordStore::timeSpan() {
    Result<Statement*> st =
        statement(span_, "SELECT min(Time), max(Time) FROM Records WHERE Time <> 0");
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

} // namespace vellumet::store
