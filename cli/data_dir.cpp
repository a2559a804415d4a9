#include "data_dir.h"

#include "command.h"

#include "app/data_folder.h"

#include <QString>

namespace vellumet::cli {

// The same preparation as the window's start-up.
std::string prepareDataDir(const std::string& overrideDir) {
    const app::DataFolderResult result =
        app::prepareDataFolder(QString::fromStdString(overrideDir));
    if (!result.status)
        throw CommandError("data folder: " + result.status.error().text());
    return result.path.toStdString();
}

} // namespace vellumet::cli
