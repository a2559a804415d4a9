#include "cli_harness.h"

#include <QDir>
#include <QFile>

using namespace vellumet;
using namespace vellumet::cli::test;

namespace {

class CardCommands : public CliFixture {
public:
    void fastStation(sim::Faults faults = {}) {
        sim::Profile p;
        p.faults = faults;
        p.faults.reportMs = 0;
        makeStation(p);
    }
    std::string local(const std::string& name) {
        QFile f(dataDir.filePath(QString::fromStdString(name)));
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll().replace("\r\n", "\n").toStdString();
    }
};

} // namespace

TEST_F(CardCommands, ListsFetchesEveryFileAndShowsLocalCopies) {
    fastStation();
    const CliResult before = run({"--format", "csv", "files"});
    ASSERT_EQ(before.status, 0) << before.err;
    const auto rows = lines(before.out);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], "name,bytes,size,local,localBytes,problem");
    EXPECT_EQ(csvSplit(rows[1])[3], "false");

    const CliResult fetched = run({"--format", "json", "fetch", "--all", "--no-import"});
    ASSERT_EQ(fetched.status, 0) << fetched.err;
    for (const std::string& name : station->cardFileNames())
        EXPECT_EQ(local(name), *station->cardFile(name)) << name;

    const CliResult after = run({"files"});
    ASSERT_EQ(after.status, 0);
    for (const std::string& line : lines(after.out))
        if (line.starts_with("CH")) {
            EXPECT_NE(line.find("complete"), std::string::npos) << line;
        }

    const CliResult imported = run({"fetch", "CH4_2612.CSV"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("0 bytes fetched"), std::string::npos) << imported.out;
    EXPECT_NE(imported.out.find("1 rows imported"), std::string::npos) << imported.out;
}

TEST_F(CardCommands, FailedChunkKeepsWhatArrivedAndTheNextFetchResumes) {
    sim::Faults faults;
    faults.unplugAfterReports = 100;
    fastStation(faults);
    const CliResult cut = run({"fetch", "CH1_2612.CSV"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("bytes are kept"), std::string::npos) << cut.err;
    EXPECT_TRUE(cut.out.empty());
    const std::string card = *station->cardFile("CH1_2612.CSV");
    const std::string kept = local("CH1_2612.CSV");
    ASSERT_GT(kept.size(), 0u);
    EXPECT_EQ(kept, card.substr(0, kept.size()));

    station->plug();
    const CliResult rest = run({"fetch", "--no-import", "CH1_2612.CSV"});
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_NE(rest.out.find("resumed at byte " + std::to_string(kept.size())), std::string::npos)
        << rest.out;
    EXPECT_EQ(local("CH1_2612.CSV"), card);
}

TEST_F(CardCommands, DeleteAsksOrNeedsYesAndRefusesUnknownNames) {
    fastStation();
    QFile copy(dataDir.filePath("CH5_2612.CSV"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.close();
    // No one at a terminal to answer: nothing happens without --yes.
    const CliResult unasked = run({"delete", "CH5_2612.CSV"});
    EXPECT_EQ(unasked.status, 2);
    EXPECT_TRUE(station->cardFile("CH5_2612.CSV").has_value());

    EXPECT_EQ(run({"delete", "--yes", "../CH5_2612.CSV"}).status, 1);
    const CliResult deleted = run({"--format", "json", "delete", "--yes", "CH5_2612.CSV"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.out.find("\"localCopyRemoved\": true"), std::string::npos);
    EXPECT_FALSE(station->cardFile("CH5_2612.CSV").has_value());
    EXPECT_FALSE(QFile::exists(dataDir.filePath("CH5_2612.CSV")));
}
