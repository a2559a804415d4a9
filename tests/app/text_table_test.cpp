#include "app/text_table.h"

#include "expected_texts.h"

#include <gtest/gtest.h>

#include <set>

using namespace vellumet::app;

namespace {

class TextTableTest : public ::testing::Test {
protected:
    void TearDown() override { installTranslations(UiLanguage::English); }
};

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

TEST_F(TextTableTest, EnglishTableHoldsEveryEntry) {
    ASSERT_TRUE(installTranslations(UiLanguage::English));
    TextTable table;
    EXPECT_FALSE(table.loaded());
    EXPECT_TRUE(table.at(0).isEmpty()); // empty until loaded
    table.load();
    for (std::size_t i = 0; i < kExpectedTexts.size(); ++i) {
        EXPECT_EQ(table.at(static_cast<int>(i)), utf8(kExpectedTexts[i].english)) << "index " << i;
    }
    EXPECT_EQ(table.aboutMenuText(), QStringLiteral("About Vellumet(&A)..."));
    EXPECT_TRUE(table.at(-1).isEmpty());
    EXPECT_TRUE(table.at(55).isEmpty());
}

TEST_F(TextTableTest, GermanTableIsCompleteAndExact) {
    ASSERT_TRUE(installTranslations(UiLanguage::German)) << "German catalogue not embedded";
    TextTable table;
    table.load();
    for (std::size_t i = 0; i < kExpectedTexts.size(); ++i)
        EXPECT_EQ(table.at(static_cast<int>(i)), utf8(kExpectedTexts[i].german)) << "index " << i;
    EXPECT_EQ(table.aboutMenuText(), utf8("Über Vellumet(&A)..."));
    EXPECT_EQ(table.at(21), utf8("SD Karte Datei"));
}

TEST_F(TextTableTest, MenuInBothLanguages) {
    const std::array<int, 6> ids{32772, 32773, 32774, 32775, 32776, 32777};
    const char* english[] = {"Setup",       "Alarm",     "Calibration",
                             "SDCard File", "Sync Time", "Language"};
    const char* german[] = {"Einstellungen",        "Alarm",  "Kalibrierung", "SD Karte Datei",
                            "Synchronisationszeit", "Sprache"};
    ASSERT_EQ(menuCommands().size(), 6u);

    installTranslations(UiLanguage::English);
    EXPECT_EQ(menuTitle(), QStringLiteral("Menu"));
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(menuCommands()[i].id, ids[i]);
        EXPECT_EQ(menuText(menuCommands()[i]), utf8(english[i]));
    }

    installTranslations(UiLanguage::German);
    EXPECT_EQ(menuTitle(), utf8("Menü"));
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(menuText(menuCommands()[i]), utf8(german[i]));
}

TEST_F(TextTableTest, SwitchingBackToEnglishDropsTheGermanCatalogue) {
    installTranslations(UiLanguage::German);
    installTranslations(UiLanguage::English);
    TextTable table;
    table.load();
    EXPECT_EQ(table.at(31), QStringLiteral("Unconnected"));
    EXPECT_EQ(menuText(menuCommands()[3]), QStringLiteral("SDCard File"));
}

TEST_F(TextTableTest, SourceTextsAreUniqueWithinTheTable) {
    std::set<std::string> seen;
    for (const auto& entry : textSources())
        EXPECT_TRUE(seen.insert(entry.source).second) << entry.source;
}

TEST_F(TextTableTest, GlobalTableLoadsOnce) {
    installTranslations(UiLanguage::English);
    loadTexts();
    EXPECT_TRUE(texts().loaded());
    EXPECT_EQ(texts()[TextId::Connected], QStringLiteral("Connected"));
}
