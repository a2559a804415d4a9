#include "app/data_folder.h"
#include "app/language.h"
#include "store/record_schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vellumet::app;

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        templates = root.filePath(QStringLiteral("templates"));
        data = root.filePath(QStringLiteral("data/nested/KQ7421"));
        QDir().mkpath(templates);
    }

    // Templates: a German Main.ini, read-only as it ships, and a database with the tables.
    void makeTemplates(const QByteArray& ini = "[Language]\r\nLanguage=Deutsch\r\n") {
        const QString iniPath = QDir(templates).filePath(QStringLiteral("Main.ini"));
        QFile::setPermissions(iniPath, QFile::ReadOwner | QFile::WriteOwner);
        writeFile(iniPath, ini);
        QFile::setPermissions(iniPath, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const QString db = QDir(templates).filePath(QStringLiteral("7421.mdb"));
        QFile::remove(db);
        ASSERT_TRUE(vellumet::store::ensureRecordSchema(local(db)).ok());
    }

    QTemporaryDir root;
    QString templates;
    QString data;
};

} // namespace

TEST_F(DataFolderTest, FirstStartCreatesTheFolderAndCopiesBothTemplates) {
    makeTemplates();
    const DataFolderResult result = prepareDataFolder(data, templates);
    EXPECT_TRUE(result.status.ok()) << result.status.error().text();
    EXPECT_EQ(result.path, QDir::cleanPath(data));
    const QString ini = QDir(data).filePath(QStringLiteral("Main.ini"));
    EXPECT_EQ(readFile(ini), QByteArray("[Language]\r\nLanguage=Deutsch\r\n"));
    EXPECT_EQ(languageFromSettings(ini), UiLanguage::German);
    EXPECT_TRUE(vellumet::store::hasRecordSchema(local(QDir(data).filePath("7421.mdb"))));
}

TEST_F(DataFolderTest, ReadOnlyTemplateBecomesAWritableCopy) {
    makeTemplates();
    // Permission bits rather than isWritable(): the suite may run as root.
    ASSERT_FALSE(QFile::permissions(QDir(templates).filePath("Main.ini")) & QFile::WriteOwner);
    prepareDataFolder(data, templates);
    const QString ini = QDir(data).filePath(QStringLiteral("Main.ini"));
    EXPECT_TRUE(QFile::permissions(ini) & QFile::WriteOwner);
    EXPECT_TRUE(writeLanguageValue(ini, QStringLiteral("English")));
    EXPECT_EQ(readLanguageValue(ini), QStringLiteral("English"));
}

TEST_F(DataFolderTest, ExistingFilesAreNeverOverwritten) {
    makeTemplates();
    QDir().mkpath(data);
    const QString ini = QDir(data).filePath(QStringLiteral("Main.ini"));
    writeFile(ini, "[Language]\r\nLanguage=English\r\n");
    const QString db = QDir(data).filePath(QStringLiteral("7421.mdb"));
    ASSERT_TRUE(vellumet::store::ensureRecordSchema(local(db)).ok());
    const QByteArray dbBefore = readFile(db);

    // Newer templates next to the program change nothing on later starts.
    makeTemplates("[Language]\r\nLanguage=Deutsch\r\n; newer\r\n");
    const DataFolderResult result = prepareDataFolder(data, templates);
    EXPECT_TRUE(result.status.ok());
    EXPECT_EQ(readFile(ini), QByteArray("[Language]\r\nLanguage=English\r\n"));
    EXPECT_EQ(readFile(db), dbBefore);
}

TEST_F(DataFolderTest, WithoutTemplatesTheFolderIsStillUsable) {
    const QString empty = root.filePath(QStringLiteral("no-templates"));
    QDir().mkpath(empty);
    const DataFolderResult result = prepareDataFolder(data, empty);
    EXPECT_TRUE(result.status.ok()) << result.status.error().text();
    const QString ini = QDir(data).filePath(QStringLiteral("Main.ini"));
    ASSERT_TRUE(QFileInfo::exists(ini));
    EXPECT_EQ(readLanguageValue(ini), QStringLiteral("English"));
    EXPECT_TRUE(QFile::permissions(ini) & QFile::WriteOwner);
    EXPECT_TRUE(vellumet::store::hasRecordSchema(local(QDir(data).filePath("7421.mdb"))));
}

TEST_F(DataFolderTest, MissingTableIsAddedToAnExistingDatabase) {
    makeTemplates();
    QDir().mkpath(data);
    const QString db = QDir(data).filePath(QStringLiteral("7421.mdb"));
    ASSERT_TRUE(vellumet::store::ensureRecordSchema(local(db)).ok());
    // An empty file is a valid, empty SQLite database without tables.
    QFile::remove(db);
    writeFile(db, "");
    ASSERT_FALSE(vellumet::store::hasRecordSchema(local(db)));
    prepareDataFolder(data, templates);
    EXPECT_TRUE(vellumet::store::hasRecordSchema(local(db)));
}

TEST_F(DataFolderTest, AFileThatIsNoDatabaseIsReportedAndKept) {
    QDir().mkpath(data);
    const QString db = QDir(data).filePath(QStringLiteral("7421.mdb"));
    const QByteArray foreign(4096, 'J');
    writeFile(db, foreign);
    const DataFolderResult result = prepareDataFolder(data, templates);
    EXPECT_FALSE(result.status.ok());
    EXPECT_EQ(result.path, QDir::cleanPath(data));
    EXPECT_EQ(readFile(db), foreign);
}

TEST_F(DataFolderTest, FolderThatCannotBeCreatedIsReported) {
    const QString blocker = root.filePath(QStringLiteral("plainfile"));
    writeFile(blocker, "x");
    const DataFolderResult result =
        prepareDataFolder(blocker + QStringLiteral("/KQ7421"), templates);
    EXPECT_EQ(result.path, blocker + QStringLiteral("/KQ7421"))
        << "the fixed folder is named still, so nothing is read from elsewhere";
    EXPECT_FALSE(result.status.ok());
}

TEST_F(DataFolderTest, DefaultFolderFollowsXdgDataHome) {
#if defined(Q_OS_LINUX)
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", root.path().toLocal8Bit());
    EXPECT_EQ(defaultDataFolder(), QDir(root.path()).filePath(QStringLiteral("KQ7421")));
    qputenv("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(defaultDataFolder(), QDir::home().filePath(QStringLiteral(".local/share/KQ7421")));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(defaultDataFolder(), QDir::home().filePath(QStringLiteral(".local/share/KQ7421")));
    if (!saved.isNull())
        qputenv("XDG_DATA_HOME", saved);
#else
    GTEST_SKIP() << "Linux folder layout";
#endif
}
