#include "cli_harness.h"

#include "cli/command.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace vellumet::cli::test {
namespace {

TEST(CliOptions, VersionNamesTheProgramAndItsVersion) {
    const CliResult r = CliFixture::runRaw({"--version"});
    EXPECT_EQ(r.status, kExitOk);
    ASSERT_EQ(r.out.rfind("vellumet-cli ", 0), 0u) << r.out;
    const std::string version = r.out.substr(13);
    EXPECT_TRUE(!version.empty() && std::isdigit(static_cast<unsigned char>(version[0]))) << r.out;
}

TEST(CliOptions, OptionsTakeTheirValueAfterAnEqualsSignOrAsTheNextWord) {
    const std::vector<std::string> args = {"--out=a=b.png", "--from",  "2024-01-01",
                                           "word=x",        "--help=", "--kind"};
    OptionReader words(args);
    const auto usageError = [](const auto& call) {
        try {
            call();
        } catch (const UsageError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    ASSERT_TRUE(words.next());
    EXPECT_EQ(words.name(), "--out");
    EXPECT_EQ(words.value(), "a=b.png"); // split at the first "=" only
    ASSERT_TRUE(words.next());
    EXPECT_FALSE(words.hasInlineValue());
    EXPECT_EQ(words.value(), "2024-01-01");
    ASSERT_TRUE(words.next()); // the value was used up
    EXPECT_EQ(words.name(), "word=x");
    EXPECT_EQ(words.arg(), "word=x");
    EXPECT_EQ(usageError([&] { words.noValue(); }), "no error");
    ASSERT_TRUE(words.next());
    EXPECT_EQ(words.name(), "--help");
    EXPECT_EQ(usageError([&] { words.noValue(); }), "--help takes no value");
    ASSERT_TRUE(words.next());
    EXPECT_EQ(usageError([&] { words.value("usage: plot"); }), "--kind needs a value; usage: plot");
    EXPECT_FALSE(words.next());
}

TEST(CliOptions, UsageErrorsExitTwoWithOneLineAndNoOutput) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--format", "xml", "live"},
        {"--format"},
        {"--bogus", "live"},
        {"--data-dir"},
        {"--help=yes"},
        {"--simulate=", "live"},
        {"--simulate", "live", "extra"},
        {"--simulate", "info", "--every", "3"},
        {"--simulate", "sync-time", "now"},
        {"--simulate", "set-interval"},
        {"--simulate", "set-interval", "5", "6"},
        {"--simulate", "watch", "--count", "0"},
        {"--simulate", "watch", "--count", "many"},
        {"--simulate", "watch", "--every", "-1"},
        {"--simulate", "watch", "--every", "soon"},
        {"--simulate", "watch", "--every", "1e10"},
        {"--simulate", "watch", "--every", "86401"},
        {"--simulate", "watch", "--every"},
        {"--simulate", "watch", "--forever"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args)
            shown += a + ' ';
        const CliResult r = CliFixture::runRaw(args);
        EXPECT_EQ(r.status, kExitUsage) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_EQ(lines(r.err).size(), 1u) << shown << r.err;
        EXPECT_EQ(r.err.rfind("vellumet-cli: ", 0), 0u) << r.err;
    }
}

TEST_F(CliFixture, OptionsReachTheTransportAndMayFollowTheCommand) {
    const std::string trace = (dataDir.path() + "/trace.txt").toStdString();
    const CliResult r = run({"live", "--trace", trace, "--simulate=/some/profile.json"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    ASSERT_EQ(seenOptions.size(), 1u);
    EXPECT_TRUE(seenOptions[0].simulate);
    EXPECT_EQ(seenOptions[0].profilePath, "/some/profile.json");
    EXPECT_EQ(seenOptions[0].tracePath, trace);
}

// The trace file is created anew, so the data folder's database and Main.ini
// are refused under any name, before anything is opened.
TEST_F(CliFixture, TraceIsNeverTheDataFoldersDatabaseOrSettings) {
    ASSERT_EQ(run({"records"}).status, kExitOk); // makes the data folder's files
    const QString dir = dataDir.path();
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray database = contents(dir + "/7421.mdb");
    const QByteArray settings = contents(dir + "/Main.ini");
    ASSERT_FALSE(database.isEmpty());
    ASSERT_TRUE(QDir().mkdir(dir + "/sub"));
    ASSERT_TRUE(QFile::link(dir + "/Main.ini", dir + "/settings-link"));
    ASSERT_TRUE(QFile::link(dir, dir + "/folder-link"));
    ASSERT_EQ(::link((dir + "/7421.mdb").toLocal8Bit().constData(),
                     (dir + "/hard-link").toLocal8Bit().constData()),
              0);
    ASSERT_TRUE(QFile::link(dir + "/sub/../7421.mdb", dir + "/db-link"));
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir + "/sub"));
    const std::vector<std::string> traces = {(dir + "/7421.mdb").toStdString(),
                                             (dir + "/Main.ini").toStdString(),
                                             (dir + "/sub/../Main.ini").toStdString(),
                                             (dir + "//./7421.mdb").toStdString(),
                                             "../Main.ini",
                                             (dir + "/settings-link").toStdString(),
                                             (dir + "/folder-link/7421.mdb").toStdString(),
                                             (dir + "/hard-link").toStdString(),
                                             (dir + "/db-link").toStdString()};
    for (const std::string& trace : traces) {
        const CliResult r = run({"--trace", trace, "live"});
        EXPECT_EQ(r.status, kExitUsage) << trace;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    QDir::setCurrent(cwd);
    EXPECT_TRUE(seenOptions.empty()) << "no transport made for a refused trace";
    EXPECT_EQ(contents(dir + "/7421.mdb"), database);
    EXPECT_EQ(contents(dir + "/Main.ini"), settings);

    // Through the real transport selection too (the window takes this way).
    TransportOptions options;
    options.simulate = true;
    options.tracePath = (dir + "/settings-link").toStdString();
    options.dataFolder = dir.toStdString();
    const Result<std::shared_ptr<Transport>> made = makeTransport(options);
    ASSERT_FALSE(made.ok());
    EXPECT_EQ(made.code(), Errc::InvalidInput);
    EXPECT_EQ(contents(dir + "/Main.ini"), settings);
}

TEST_F(CliFixture, TransportThatCannotBeMadeIsAFailure) {
    Environment env;
    env.makeTransport = [](const TransportOptions&) -> Result<std::shared_ptr<Transport>> {
        return makeError(Errc::InvalidInput, "profile broken.json: not JSON");
    };
    const CliResult r = runRaw({"--simulate=broken.json", "live"}, env);
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vellumet-cli: profile broken.json: not JSON\n");
}

TEST_F(CliFixture, UnusableDataFolderFailsBeforeTheStationIsTouched) {
    const QString file = dataDir.path() + "/not-a-folder";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    makeStation();
    Environment env;
    env.makeTransport = [this](const TransportOptions&) {
        return std::static_pointer_cast<Transport>(transport);
    };
    const CliResult r = runRaw({"--data-dir", file.toStdString(), "live"}, env);
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(station->receivedFrames().empty());
}

// Without a test transport: the real selection, its virtual station and its trace.
TEST_F(CliFixture, SimulateWithoutAProfileUsesTheBuiltInStation) {
    const std::string trace = (dataDir.path() + "/trace.txt").toStdString();
    const CliResult r = runRaw({"--simulate", "--data-dir", dataDir.path().toStdString(), "--trace",
                                trace, "--format", "json", "live"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.out))
                  .object()
                  .value("channels")
                  .toArray()
                  .size(),
              8);
    EXPECT_GT(QFileInfo(QString::fromStdString(trace)).size(), 0);
}

} // namespace
} // namespace vellumet::cli::test
