#pragma once

#include "core/result.h"

#include <string>
#include <string_view>

struct sqlite3;

namespace vellumet::store {

// Creates whatever is missing of the two tables and the index on Time on an
// open connection; harmless on a database that has them. Database with
// SQLite's text when it cannot.
Status createRecordTables(sqlite3* db);
// The name for a new index on Time that the current one does not use.
std::string freeTimeIndexName(sqlite3* db);
// CREATE TABLE for a table with the columns of Records under another name.
std::string recordsTableSql(std::string_view name);

// Creates the tables Records and Param in the SQLite file at path when they are
// missing (the file itself too). Existing tables and their rows are left alone.
// Database with a one-line reason when it cannot.
Status ensureRecordSchema(const std::string& path);

// Whether the file at path is an SQLite database holding both tables.
bool hasRecordSchema(const std::string& path);

} // namespace vellumet::store
