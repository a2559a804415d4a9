#pragma once

#include <string>

namespace vellumet::cli {

// Makes sure the data folder (the given one, or the default when empty) exists
// and can be written; returns its absolute path or throws CommandError. The
// record database is left alone.
std::string prepareDataDir(const std::string& overrideDir);

// The same, and the record database in the folder with its tables, for the
// commands that use it; returns the database's path. A database another
// program keeps busy is waited for a few seconds, then reported.
std::string prepareDatabase(const std::string& overrideDir);

} // namespace vellumet::cli
