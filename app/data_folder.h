#pragma once

#include "core/result.h"

#include <QString>
#include <QStringList>

namespace vellumet::app {

// Name of the record database inside the data folder; other tools and copies
// of the folder look for it under this name.
inline constexpr const char* kDatabaseFileName = "7421.mdb";
inline constexpr const char* kSettingsFileName = "Main.ini";

// The per-user data folder: $XDG_DATA_HOME/KQ7421 (default ~/.local/share/KQ7421) on
// Linux, C:\Users\Public\KQ7421 on Windows, the application data location elsewhere.
QString defaultDataFolder();

// Folders searched for the template Main.ini and 7421.mdb that ship with the program:
// the executable's folder, its resources/templates and ../share/vellumet/templates.
QStringList defaultTemplateDirs();

struct DataFolderResult {
    QString path;  // the data folder (absolute), also when it could not be created
    Status status; // why the folder or a file in it could not be prepared
};

// Creates the data folder (overrideDir when not empty, else defaultDataFolder()) and copies
// the template Main.ini and 7421.mdb from templateDir into it, never overwriting a file that
// is already there. An empty templateDir searches defaultTemplateDirs(). Main.ini is made
// writable. When no template is found, a minimal Main.ini and an empty database with the
// record schema are created instead, so that a first start always ends with usable files.
DataFolderResult prepareDataFolder(const QString& overrideDir = {},
                                   const QString& templateDir = {});

} // namespace vellumet::app
