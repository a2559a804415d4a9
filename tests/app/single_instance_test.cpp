#include "app/single_instance.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vellumet::app;
using Outcome = SingleInstance::Outcome;

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstReleases) {
    QTemporaryDir dir;
    SingleInstance first(QStringLiteral("kq7421"), dir.path());
    SingleInstance second(QStringLiteral("kq7421"), dir.path());
    EXPECT_EQ(first.lockPath(), dir.filePath(QStringLiteral("kq7421.lock")));
    ASSERT_EQ(first.acquire(), Outcome::Acquired);
    EXPECT_TRUE(first.held());
    EXPECT_EQ(first.acquire(), Outcome::Acquired); // taking it again is harmless
    EXPECT_EQ(second.acquire(), Outcome::HeldByAnother);
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(first.held()); // the refused attempt leaves the holder alone
    EXPECT_TRUE(QFileInfo::exists(first.lockPath()));

    first.release();
    EXPECT_FALSE(first.held());
    EXPECT_EQ(second.acquire(), Outcome::Acquired);
}

TEST(SingleInstance, OtherNamesDoNotCollide) {
    QTemporaryDir dir;
    SingleInstance a(QStringLiteral("kq7421"), dir.path());
    SingleInstance b(QStringLiteral("other"), dir.path());
    EXPECT_EQ(a.acquire(), Outcome::Acquired);
    EXPECT_EQ(b.acquire(), Outcome::Acquired);
}

TEST(SingleInstance, LockOfADeadProcessIsTakenOver) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kq7421.lock"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // pid, application name, host name: a process that cannot be running.
    file.write("2147483646\nvellumet\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    file.close();
    SingleInstance instance(QStringLiteral("kq7421"), dir.path());
    EXPECT_EQ(instance.acquire(), Outcome::Acquired);
}

// A lock that cannot be made at all says nothing about another copy: the
// program must go on rather than end as if it were the second one.
TEST(SingleInstance, LockThatCannotBeMadeIsNotAnotherCopy) {
    QTemporaryDir dir;
    QFile notAFolder(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    SingleInstance instance(QStringLiteral("kq7421"), notAFolder.fileName());
    EXPECT_EQ(instance.acquire(), Outcome::Unavailable);
    EXPECT_FALSE(instance.held());
}
