#include "app/single_instance.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vellumet::app;

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstReleases) {
    QTemporaryDir dir;
    SingleInstance first(QStringLiteral("kq7421"), dir.path());
    SingleInstance second(QStringLiteral("kq7421"), dir.path());
    EXPECT_EQ(first.lockPath(), dir.filePath(QStringLiteral("kq7421.lock")));
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(first.acquire()); // taking it again is harmless
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(first.held()); // the refused attempt leaves the holder alone
    EXPECT_TRUE(QFileInfo::exists(first.lockPath()));

    first.release();
    EXPECT_FALSE(first.held());
    EXPECT_TRUE(second.acquire());
}

TEST(SingleInstance, OtherNamesDoNotCollide) {
    QTemporaryDir dir;
    SingleInstance a(QStringLiteral("kq7421"), dir.path());
    SingleInstance b(QStringLiteral("other"), dir.path());
    EXPECT_TRUE(a.acquire());
    EXPECT_TRUE(b.acquire());
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
    EXPECT_TRUE(instance.acquire());
}
