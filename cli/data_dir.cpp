#include "data_dir.h"

#include "command.h"

#include "app/data_folder.h"

#include <QDir>
#include <QFile>
#include <QString>

namespace vellumet::cli {

namespace {

std::string prepare(const std::string& overrideDir, app::RecordTables tables) {
    const app::DataFolderResult result =
        app::prepareDataFolder(app::fromNativePath(overrideDir), {}, tables);
    if (!result.status)
        throw CommandError("data folder: " + result.status.error().text());
    return app::nativePath(result.path);
}

} // namespace

// The same preparation as the window's start-up.
std::string prepareDataDir(const std::string& overrideDir) {
    return prepare(overrideDir, app::RecordTables::LeaveAlone);
}

std::string prepareDatabase(const std::string& overrideDir) {
    const QString folder = app::fromNativePath(prepare(overrideDir, app::RecordTables::Create));
    return app::nativePath(app::databasePath(folder));
}

} // namespace vellumet::cli
