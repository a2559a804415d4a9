#include "record_schema.h"

#include "sqlite_handles.h"

#include <sqlite3.h>

namespace vellumet::store {

namespace {

// Column names as the importer and the graph queries use them; SQLite matches
// names without regard to case, as the queries expect.
#define VELLUMET_RECORDS_COLUMNS                                                                   \
    " (Time REAL NOT NULL, Temperature REAL, Humidity INTEGER, Dewpoint REAL, Heatindex REAL)"
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS Records" VELLUMET_RECORDS_COLUMNS ";"
                                "CREATE TABLE IF NOT EXISTS Param ("
                                " Name TEXT,"
                                " Value TEXT);";

// The index on Time takes one of two names: an import builds the new rows'
// index beside the old one, under the name the old one does not use.
constexpr const char* kTimeIndexNames[] = {"RecordsByTime", "RecordsByTimeB"};

struct Connection {
    sqlite3* handle = nullptr;
    ~Connection() { sqlite3_close(handle); }
};

std::string lastError(sqlite3* db, const char* what) {
    return std::string(what) + ": " + sqliteReason(db);
}

} // namespace

std::string timeIndexInUse(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    std::string name;
    if (sqlite3_prepare_v2(db,
                           "SELECT name FROM sqlite_master WHERE type = 'index' AND "
                           "tbl_name = 'Records' AND name IN ('RecordsByTime', 'RecordsByTimeB')",
                           -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        name = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    return name;
}

std::string freeTimeIndexName(sqlite3* db) {
    return timeIndexInUse(db) == kTimeIndexNames[0] ? kTimeIndexNames[1] : kTimeIndexNames[0];
}

namespace {

// Whether both tables are there; a read, so it needs no write lock and goes
// on while another program writes.
bool bothTables(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    bool both = false;
    if (sqlite3_prepare_v2(db,
                           "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                           "('Records', 'Param')",
                           -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        both = sqlite3_column_int(statement, 0) == 2;
    sqlite3_finalize(statement);
    return both;
}

} // namespace

Status createRecordTables(sqlite3* db) {
    if (bothTables(db) && !timeIndexInUse(db).empty())
        return {};
    char* message = nullptr;
    // Larger pages make the million-row imports of a year's log markedly
    // cheaper; the size only takes effect on a file that has no tables yet.
    int rc = sqlite3_exec(db, "PRAGMA page_size = 16384", nullptr, nullptr, &message);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, kSchema, nullptr, nullptr, &message);
    if (rc == SQLITE_OK && timeIndexInUse(db).empty()) {
        const std::string sql =
            "CREATE INDEX " + std::string(kTimeIndexNames[0]) + " ON Records(Time)";
        rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    }
    if (rc == SQLITE_OK)
        return {};
    std::string reason = sqliteReason(db, message);
    sqlite3_free(message);
    return makeError(Errc::Database, reason);
}

std::string recordsTableSql(std::string_view name) {
    return "CREATE TABLE " + std::string(name) + VELLUMET_RECORDS_COLUMNS;
}

Status ensureRecordSchema(const std::string& path) {
    Connection db;
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        return makeError(Errc::Database, lastError(db.handle, "cannot open the record database"));
    // Another program's import holds the database for a moment: wait for it.
    sqlite3_busy_timeout(db.handle, kBusyTimeoutMs);
    if (Status created = createRecordTables(db.handle); !created)
        return makeError(Errc::Database,
                         "cannot create the record tables: " + created.error().message);
    return {};
}

bool hasRecordSchema(const std::string& path) {
    Connection db;
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return false;
    return bothTables(db.handle);
}

} // namespace vellumet::store
