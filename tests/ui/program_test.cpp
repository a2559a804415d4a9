#include "store/record_schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

const QString kProgram = QStringLiteral(VELLUMET_EXECUTABLE);

// Each run gets its own runtime folder (where the lock lives) and data folder.
QProcessEnvironment isolated(const QTemporaryDir& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    return env;
}

} // namespace

TEST(Program, VersionAndHelpNeedNoWindow) {
    QProcess version;
    version.start(kProgram, {QStringLiteral("--version")});
    ASSERT_TRUE(version.waitForFinished(5000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput().trimmed(), QByteArray("Vellumet 1.5.2"));

    QProcess help;
    help.start(kProgram, {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(5000));
    EXPECT_TRUE(help.readAllStandardOutput().contains("--simulate[=PROFILE]"));

    QProcess wrong;
    wrong.start(kProgram, {QStringLiteral("--no-such-option")});
    ASSERT_TRUE(wrong.waitForFinished(5000));
    EXPECT_NE(wrong.exitCode(), 0);
}

TEST(Program, FirstStartPreparesTheDataFolderAndASecondStartEndsAtOnce) {
    QTemporaryDir runtime;
    QTemporaryDir data;
    const QString folder = data.filePath(QStringLiteral("KQ7421"));

    QProcess first;
    first.setProcessEnvironment(isolated(runtime));
    first.start(kProgram, {QStringLiteral("--simulate"), QStringLiteral("--data-dir"), folder});
    ASSERT_TRUE(first.waitForStarted(5000));
    const QString lock = QDir(runtime.path()).filePath(QStringLiteral("kq7421.lock"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(lock); }, 10000))
        << first.readAllStandardError().toStdString();
    // The lock comes before the data folder is prepared, and the folder's files
    // come one after the other: wait for the whole database and the settings.
    const std::string database =
        QFile::encodeName(QDir(folder).filePath(QStringLiteral("7421.mdb"))).toStdString();
    const QString settings = QDir(folder).filePath(QStringLiteral("Main.ini"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return vellumet::store::hasRecordSchema(database) && QFileInfo::exists(settings); },
        10000));

    QProcess second;
    second.setProcessEnvironment(isolated(runtime));
    const auto start = std::chrono::steady_clock::now();
    second.start(kProgram, {QStringLiteral("--simulate"), QStringLiteral("--data-dir"), folder});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    // The first one is untouched and still runs.
    EXPECT_FALSE(first.waitForFinished(300));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished(5000);
}
