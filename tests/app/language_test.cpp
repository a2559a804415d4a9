#include "app/language.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vellumet::app;

TEST(LanguageRule, OnlyExactDeutschSelectsGerman) {
    EXPECT_EQ(languageFromValue(QStringLiteral("Deutsch")), UiLanguage::German);
    EXPECT_EQ(languageFromValue(QStringLiteral("English")), UiLanguage::English);
    for (const char* other : {"deutsch", "DEUTSCH", " Deutsch", "Deutsch ", "German", "", "de"})
        EXPECT_EQ(languageFromValue(QString::fromLatin1(other)), UiLanguage::English) << other;
    EXPECT_EQ(languageId(UiLanguage::German), 0x407);
    EXPECT_EQ(languageId(UiLanguage::English), 0x409);
}

TEST(LanguageRule, ReadsTheKeyOfTheLanguageSection) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Main.ini"));
    EXPECT_TRUE(readLanguageValue(ini).isEmpty()); // no file
    EXPECT_EQ(languageFromSettings(ini), UiLanguage::English);

    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Other]\r\nLanguage=Deutsch\r\n[Language]\r\nLanguage=Deutsch\r\n");
    file.close();
    EXPECT_EQ(readLanguageValue(ini), QStringLiteral("Deutsch"));
    EXPECT_EQ(languageFromSettings(ini), UiLanguage::German);
}

TEST(LanguageRule, ValueInAnotherSectionDoesNotCount) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Main.ini"));
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Other]\r\nLanguage=Deutsch\r\n");
    file.close();
    EXPECT_EQ(languageFromSettings(ini), UiLanguage::English);
}

TEST(LanguageRule, LowerCaseValueSelectsEnglish) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Main.ini"));
    ASSERT_TRUE(writeLanguageValue(ini, QStringLiteral("deutsch")));
    EXPECT_EQ(readLanguageValue(ini), QStringLiteral("deutsch"));
    EXPECT_EQ(languageFromSettings(ini), UiLanguage::English);
    ASSERT_TRUE(writeLanguageValue(ini, QStringLiteral("Deutsch")));
    EXPECT_EQ(languageFromSettings(ini), UiLanguage::German);
}
