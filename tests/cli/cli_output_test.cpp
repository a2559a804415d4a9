#include "cli/output.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace vellumet::cli {
namespace {

TEST(CliOutput, TemperaturesAreRoundedToOneDecimalAndMissingIsNull) {
    EXPECT_TRUE(temperatureJson(NO_VALUE_F).isNull());
    EXPECT_TRUE(humidityJson(NO_VALUE).isNull());
    // 23.4f is 23.39999961...; the output carries the tenth, not float noise.
    EXPECT_EQ(temperatureJson(23.4f).toDouble(), 23.4);
    EXPECT_EQ(temperatureJson(-10.0f).toDouble(), -10.0);
    EXPECT_EQ(humidityJson(45).toInt(), 45);
    EXPECT_EQ(temperatureCsv(23.4f), "23.4");
    EXPECT_EQ(temperatureCsv(-10.0f), "-10.0");
    EXPECT_EQ(temperatureCsv(NO_VALUE_F), "");
    EXPECT_EQ(humidityCsv(NO_VALUE), "");
}

TEST(CliOutput, CsvFieldsAreQuotedOnlyWhenNeeded) {
    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
}

TEST(CliOutput, JsonTextIsOneValidDocumentEndingInANewline) {
    LiveReadings live;
    live.readings[0] = {21.5f, 40};
    const std::string compact = jsonText(liveJson(live), true);
    ASSERT_FALSE(compact.empty());
    EXPECT_EQ(compact.back(), '\n');
    EXPECT_EQ(compact.find('\n'), compact.size() - 1) << "one line per round";
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(compact), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(doc.object().value("channels").toArray().size(), 8);
}

TEST(CliOutput, IdentificationWithACommaStaysOneCsvField) {
    StationInfo info;
    info.identText = "odd,\"name\"";
    const std::string csv = infoCsv(info);
    EXPECT_NE(csv.find("station,identification,,\"odd,\"\"name\"\"\"\n"), std::string::npos) << csv;
}

TEST(CliOutput, MissingAlarmLimitsShowAsDashesInText) {
    StationInfo info;
    const std::string text = infoText(info); // every limit missing by default
    EXPECT_NE(text.find("[ ] --"), std::string::npos) << text;
    EXPECT_EQ(text.find("65535"), std::string::npos) << text;
}

} // namespace
} // namespace vellumet::cli
