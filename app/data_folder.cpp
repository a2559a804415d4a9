#include "data_folder.h"

#include "store/record_schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace vellumet::app {

namespace {

QString templateFile(const QString& templateDir, const QString& name) {
    const QStringList dirs =
        templateDir.isEmpty() ? defaultTemplateDirs() : QStringList{templateDir};
    for (const QString& dir : dirs) {
        const QString candidate = QDir(dir).filePath(name);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

// A copy of a read-only template must stay writable: the Language dialog writes to it.
void makeWritable(const QString& path) {
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOwner |
                                    QFileDevice::WriteOwner | QFileDevice::ReadUser |
                                    QFileDevice::WriteUser);
}

bool writeDefaultSettings(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    return file.write("[Language]\r\nLanguage=English\r\n") > 0;
}

} // namespace

QString databasePath(const QString& folder) {
    return QDir(folder).filePath(QString::fromLatin1(kDatabaseFileName));
}

std::string nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromNativePath(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

QString defaultDataFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir(base).filePath(QStringLiteral("KQ7421"));
}

QStringList defaultTemplateDirs() {
    if (!QCoreApplication::instance())
        return {};
    const QDir exeDir(QCoreApplication::applicationDirPath());
    return {exeDir.absolutePath(), exeDir.filePath(QStringLiteral("resources/templates")),
            QDir::cleanPath(exeDir.filePath(QStringLiteral("../share/vellumet/templates")))};
}

DataFolderResult prepareDataFolder(const QString& overrideDir, const QString& templateDir,
                                   RecordTables tables) {
    DataFolderResult result;
    const QString folder = QDir::cleanPath(
        QFileInfo(overrideDir.isEmpty() ? defaultDataFolder() : overrideDir).absoluteFilePath());
    // The folder is named even when it cannot be made, so that nothing is read
    // from or written to some other folder (the current one) instead.
    result.path = folder;
    if (!QDir().mkpath(folder)) {
        result.status =
            makeError(Errc::Io, "cannot create the data folder " + folder.toStdString());
        return result;
    }
    const QDir dir(folder);

    for (const char* name : {kDatabaseFileName, kSettingsFileName}) {
        const QString target = dir.filePath(QString::fromLatin1(name));
        if (QFileInfo::exists(target))
            continue; // a file the user already has is never replaced
        const QString source = templateFile(templateDir, QString::fromLatin1(name));
        if (!source.isEmpty())
            QFile::copy(source, target);
    }

    const QString settings = dir.filePath(QString::fromLatin1(kSettingsFileName));
    if (!QFileInfo::exists(settings) && !writeDefaultSettings(settings))
        result.status = makeError(Errc::Io, "cannot write " + settings.toStdString());
    if (QFileInfo::exists(settings))
        makeWritable(settings);

    if (tables == RecordTables::LeaveAlone)
        return result;
    // Creates the tables when the file or one of them is missing; a file that is
    // not a database is reported, never overwritten.
    const QString database = databasePath(dir.path());
    const Status schema = store::ensureRecordSchema(nativePath(database));
    if (!schema && result.status)
        result.status =
            makeError(Errc::Database, database.toStdString() + ": " + schema.error().text());
    return result;
}

} // namespace vellumet::app
