#include "cli/channel_names.h"
#include "cli_harness.h"

#include "app/data_folder.h"
#include "store/archive.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vellumet::cli::test {

namespace {

QJsonObject jsonOf(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

class ChannelNamesTest : public CliFixture {
public:
    std::string archive() const {
        return store::archivePathBeside(app::nativePath(app::databasePath(dataDir.path())));
    }
    void name(const std::string& of, int channel, const std::string& text) {
        store::Archive a;
        ASSERT_TRUE(a.open(archive()).ok());
        ASSERT_TRUE(a.setName(of, channel, text).ok());
    }
    // The identification the virtual station answers, as info reports it.
    std::string stationIdent() {
        const CliResult r = run({"--format", "json", "info"});
        EXPECT_EQ(r.status, kExitOk) << r.err;
        return jsonOf(r.out).value("identification").toString().toStdString();
    }
};

TEST_F(ChannelNamesTest, LiveJsonAddsTheStationsNamesBesideTheKeysItHad) {
    // Without a history every channel goes by its own name; nothing is made.
    CliResult r = run({"--format", "json", "live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    QJsonArray channels = jsonOf(r.out).value("channels").toArray();
    ASSERT_EQ(channels.size(), 8);
    EXPECT_EQ(channels[3].toObject().value("name").toString(), QStringLiteral("CH4"));
    EXPECT_EQ(channels[3].toObject().keys(),
              (QStringList{"alarm", "channel", "dewPoint", "humidity", "name", "temperature"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(archive())));

    // A name for this station wins over one given without a station; another
    // station's names stay its own.
    name(store::kUnknownStation, 4, "Cellar");
    name(store::kUnknownStation, 2, "Loft");
    name(stationIdent(), 2, "Attic");
    name("another station", 5, "Garage");
    r = run({"--format", "json", "live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    channels = jsonOf(r.out).value("channels").toArray();
    EXPECT_EQ(channels[1].toObject().value("name").toString(), QStringLiteral("Attic"));
    EXPECT_EQ(channels[3].toObject().value("name").toString(), QStringLiteral("Cellar"));
    EXPECT_EQ(channels[4].toObject().value("name").toString(), QStringLiteral("CH5"));
    EXPECT_EQ(channels[3].toObject().value("channel").toInt(), 4);

    // Text: the name beside the channel; CSV: a last column.
    r = run({"live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("\nCH4 Cellar "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nCH5 "), std::string::npos) << r.out;
    r = run({"--format", "csv", "live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "channel,temperature,humidity,dewPoint,alarm,name");
    EXPECT_NE(r.out.find(",Cellar\n"), std::string::npos) << r.out;
}

TEST_F(ChannelNamesTest, NamesAreReadAgainOnlyWhenTheStationChanges) {
    name("A", 1, "Kitchen");
    StationNames names(archive());
    EXPECT_EQ(names.of("  A ")[1], "Kitchen");
    name("A", 1, "Pantry");
    EXPECT_EQ(names.of("A")[1], "Kitchen"); // the same station: not read again
    name("B", 1, "Shed");
    EXPECT_EQ(names.of("B")[1], "Shed");
    EXPECT_EQ(names.of("A")[1], "Pantry");
    EXPECT_EQ(names.of("")[1], ""); // an unknown station with no names
}

} // namespace

} // namespace vellumet::cli::test
