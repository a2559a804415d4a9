#include "record_schema.h"

#include <sqlite3.h>

namespace vellumet::store {

namespace {

// Column names as the importer and the graph queries use them; SQLite matches
// names without regard to case, as the queries expect.
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS Records ("
                                " Time REAL NOT NULL,"
                                " Temperature REAL,"
                                " Humidity INTEGER,"
                                " Dewpoint REAL,"
                                " Heatindex REAL);"
                                "CREATE INDEX IF NOT EXISTS RecordsByTime ON Records(Time);"
                                "CREATE TABLE IF NOT EXISTS Param ("
                                " Name TEXT,"
                                " Value TEXT);";

struct Database {
    sqlite3* handle = nullptr;
    ~Database() { sqlite3_close(handle); }
};

std::string lastError(sqlite3* db, const char* what) {
    return std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

} // namespace

const char* recordSchemaSql() {
    return kSchema;
}

std::string ensureRecordSchema(const std::string& path) {
    Database db;
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        return lastError(db.handle, "cannot open the record database");
    char* message = nullptr;
    if (sqlite3_exec(db.handle, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string reason = std::string("cannot create the record tables: ") +
                             (message ? message : sqlite3_errmsg(db.handle));
        sqlite3_free(message);
        return reason;
    }
    return {};
}

bool hasRecordSchema(const std::string& path) {
    Database db;
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return false;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.handle,
                           "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                           "('Records', 'Param')",
                           -1, &statement, nullptr) != SQLITE_OK)
        return false;
    const bool both =
        sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == 2;
    sqlite3_finalize(statement);
    return both;
}

} // namespace vellumet::store
