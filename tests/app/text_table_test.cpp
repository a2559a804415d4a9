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
    EXPECT_EQ(table.at(21), utf8("SD-Karten-Dateien"));
}

TEST_F(TextTableTest, SwitchingBackToEnglishDropsTheGermanCatalogue) {
    installTranslations(UiLanguage::German);
    installTranslations(UiLanguage::English);
    TextTable table;
    table.load();
    EXPECT_EQ(table.at(31), QStringLiteral("Unconnected"));
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
