#pragma once

#include <string>

namespace vellumet::store {

// The statements that create whatever is missing of the two tables and the
// index on Time; harmless on a database that has them.
const char* recordSchemaSql();

// Creates the tables Records and Param in the SQLite file at path when they are
// missing (the file itself too). Existing tables and their rows are left alone.
// Returns an empty string on success, otherwise a one-line reason.
std::string ensureRecordSchema(const std::string& path);

// Whether the file at path is an SQLite database holding both tables.
bool hasRecordSchema(const std::string& path);

} // namespace vellumet::store
