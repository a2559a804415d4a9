#include "cli/output.h"
#include "cli_harness.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <algorithm>

namespace vellumet::cli {
namespace {

using test::CliFixture;
using test::CliResult;
using test::FullBuffer;
using test::lines;

class ResultWriting : public CliFixture {
public:
    // Runs with --simulate and --data-dir, the result going to out.
    int runTo(std::ostream& out, std::vector<std::string> args, std::string& errText) {
        if (!station)
            makeStation();
        Environment env;
        env.makeTransport = [this](const TransportOptions&) {
            return std::static_pointer_cast<Transport>(transport);
        };
        env.linkTiming = LinkTiming::quick();
        args.insert(args.begin(), {"--simulate", "--data-dir", dataDir.path().toStdString()});
        std::ostringstream err;
        const int status = cli::run(args, out, err, env);
        errText = err.str();
        return status;
    }
};

// A result that does not reach standard output whole is a failure, said once.
TEST_F(ResultWriting, AResultThatCannotBeWrittenIsAFailure) {
    const std::vector<std::vector<std::string>> commands = {{"live"},
                                                            {"--format", "json", "info"},
                                                            {"files"},
                                                            {"--format", "csv", "records"},
                                                            {"--help"}};
    for (const auto& command : commands) {
        for (const std::size_t room : {std::size_t{0}, std::size_t{12}}) {
            FullBuffer full(room);
            std::ostream out(&full);
            std::string err;
            const int status = runTo(out, command, err);
            EXPECT_EQ(status, kExitFailure) << command.front() << " room " << room;
            ASSERT_EQ(lines(err).size(), 1u) << err;
            EXPECT_EQ(err.rfind("vellumet-cli: cannot write standard output", 0), 0u) << err;
        }
    }
}

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
    StationSnapshot station;
    station.readings[0] = {21.5f, 40};
    const std::string compact =
        jsonText(liveJson(LiveRound{station, "2026-12-07T10:00:00+01:00"}), true);
    ASSERT_FALSE(compact.empty());
    EXPECT_EQ(compact.back(), '\n');
    EXPECT_EQ(compact.find('\n'), compact.size() - 1) << "one line per round";
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(compact), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(doc.object().value("channels").toArray().size(), 8);
}

TEST(CliOutput, IdentificationWithACommaStaysOneCsvField) {
    StationSnapshot info;
    info.came = kAllParts;
    info.identText = "odd,\"name\"";
    const std::string csv = infoCsv(info);
    EXPECT_NE(csv.find("station,identification,,\"odd,\"\"name\"\"\"\n"), std::string::npos) << csv;
}

TEST(CliOutput, MissingAlarmLimitsShowAsDashesInText) {
    StationSnapshot info;
    info.came = kAllParts;
    info.temperatureLimits.fill(0xFF); // every limit unset
    info.humidityLimits.fill(0xFF);
    const std::string text = infoText(info);
    EXPECT_NE(text.find("[ ]       --"), std::string::npos) << text;
    EXPECT_EQ(text.find("65535"), std::string::npos) << text;
}

// A part the station did not answer is named in every form, and no value of
// it is made up.
TEST(CliOutput, InfoNamesThePartsThatDidNotCome) {
    StationSnapshot info;
    info.came = kInfoParts & ~static_cast<unsigned>(StationPart::Identification) &
                ~static_cast<unsigned>(StationPart::Calibration);
    info.interval = 15;
    const std::string text = infoText(info);
    EXPECT_NE(text.find("Identification:     (not answered)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Interval:           15 Minute\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nCalibration\n(not answered)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Temperature Alarm:"), std::string::npos) << text;

    const QJsonObject json = infoJson(info);
    EXPECT_TRUE(json.value("identification").isNull());
    EXPECT_TRUE(json.value("calibration").isNull());
    EXPECT_EQ(json.value("interval").toInt(), 15);
    EXPECT_EQ(json.value("missing").toArray(), (QJsonArray{"identification", "calibration"}));

    const std::string csv = infoCsv(info);
    EXPECT_NE(csv.find("station,missing,,identification\n"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("station,identification"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("calibration,"), std::string::npos) << csv;
}

TEST(CliOutput, StationTextReachesTheTerminalEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"{ZP7421X@}", "{ZP7421X@}"},
        {"\x1b]0;owned\a\x1b[2J", "\\x1b]0;owned\\x07\\x1b[2J"},
        {"a\rb\nc\td\x7f", "a\\x0db\\x0ac\\x09d\\x7f"},
        {"St\xC3\xA4tion \xE2\x82\xAC", "St\xC3\xA4tion \xE2\x82\xAC"}, // UTF-8 text stays
        {"\xC2\x9B\x32J", "\\u009b2J"},                                 // C1 CSI
        {"\x9B\x32J\xC3", "\\x9b2J\\xc3"},                              // bytes that are not UTF-8
        {"\xE0\x80\x9B", "\\xe0\\x80\\x9b"}, // an overlong form hides nothing
        {"C:\\x1b", "C:\\\\x1b"},            // a backslash cannot fake an escape
    };
    for (const auto& [ident, shown] : cases) {
        StationSnapshot info;
        info.came = kAllParts;
        info.identText = ident;
        const std::string text = infoText(info);
        const std::string line = text.substr(0, text.find('\n'));
        EXPECT_EQ(line, "Identification:     " + shown);
        const auto control = std::find_if(text.begin(), text.end(), [](char c) {
            return c != '\n' && static_cast<unsigned char>(c) < 0x20;
        });
        EXPECT_EQ(control, text.end()) << shown;
    }
}

} // namespace
} // namespace vellumet::cli
