#pragma once

#include "core/result.h"

#include <QString>
#include <QStringList>

#include <string>

namespace vellumet::app {

// Name of the record database inside the data folder; other tools and copies
// of the folder look for it under this name.
inline constexpr const char* kDatabaseFileName = "7421.mdb";
inline constexpr const char* kSettingsFileName = "Main.ini";

// The record database of a data folder.
QString databasePath(const QString& folder);

// A file name in the form the system calls (and SQLite) take, and back.
std::string nativePath(const QString& path);
QString fromNativePath(const std::string& path);

// The per-user data folder: $XDG_DATA_HOME/KQ7421 (default ~/.local/share/KQ7421) on
// Linux.
QString defaultDataFolder();

// Folders searched for the template Main.ini and 7421.mdb that ship with the program:
// the executable's folder, its resources/templates and ../share/vellumet/templates.
QStringList defaultTemplateDirs();

struct DataFolderResult {
    QString path;  // the data folder (absolute), also when it could not be created
    Status status; // why the folder or a file in it could not be prepared
};

// Whether preparing the folder also opens the record database to create its tables.
// Only the users of the database do: another program's import holds it for a while.
enum class RecordTables { Create, LeaveAlone };

// Creates the data folder (overrideDir when not empty, else defaultDataFolder()) and copies
// the template Main.ini and 7421.mdb from templateDir into it, never overwriting a file that
// is already there. An empty templateDir searches defaultTemplateDirs(). Main.ini is made
// writable. When no template is found, a minimal Main.ini and (with RecordTables::Create)
// an empty database with the record schema are created instead, so that a first start
// always ends with usable files. A database another program keeps busy is waited for a
// few seconds, then reported as busy.
DataFolderResult prepareDataFolder(const QString& overrideDir = {}, const QString& templateDir = {},
                                   RecordTables tables = RecordTables::Create);

} // namespace vellumet::app
