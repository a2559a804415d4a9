#include "cli_harness.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace vellumet::cli::test {
namespace {

// The built program, with its standard output appended to a file, as a
// cron job or a shell loop runs it.
int runAppending(const QString& dataDir, const QString& log, const QStringList& args,
                 const char* redirect = ">>") {
    QProcess process;
    process.setProgram("/bin/sh");
    QStringList all = {"-c",
                       QString("exec \"$0\" \"$@\" %1 \"$LOG\"").arg(redirect),
                       VELLUMET_CLI_PATH,
                       "--simulate",
                       "--data-dir",
                       dataDir};
    all += args;
    process.setArguments(all);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LOG", log);
    process.setProcessEnvironment(environment);
    process.start();
    EXPECT_TRUE(process.waitForFinished(30000));
    return process.exitCode();
}

std::string fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A log grown by several runs has its header once, at its start; a new or
// emptied file gets one, unless --no-header.
TEST(CliProgramWatch, AnAppendedLogKeepsOneHeader) {
    struct Case {
        const char* format;
        const char* header;
        const char* redirect;
        std::vector<QStringList> extra; // one run each
        std::size_t headers;
    };
    const Case cases[] = {
        {"csv", "time,channel,", ">>", {{}, {}, {}}, 1},
        {"text", "Time  ", ">>", {{}, {}}, 1},
        {"csv", "time,channel,", ">>", {{"--no-header"}, {}}, 0},
        {"csv", "time,channel,", ">", {{}, {}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + c.redirect + std::to_string(c.extra.size()));
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString log = dir.filePath("log");
        for (const QStringList& extra : c.extra)
            ASSERT_EQ(runAppending(dir.path(), log,
                                   QStringList{"--format", c.format, "watch", "--every", "0",
                                               "--count", "1"} +
                                       extra,
                                   c.redirect),
                      kExitOk);
        const std::string text = fileText(log);
        EXPECT_EQ(count(text, c.header), c.headers) << text;
        if (c.headers == 1) {
            EXPECT_EQ(text.rfind(c.header, 0), 0u) << text;
        }
        const std::size_t runs = std::string(c.redirect) == ">>" ? c.extra.size() : 1;
        EXPECT_EQ(lines(text).size(), c.headers + 8 * runs) << text;
    }
}

// Run by cron: an environment with nothing but PATH. Standard error holds
// only the program's own lines, no warnings of the libraries below.
TEST(CliProgramTerminal, NoLibraryWarningsInABareEnvironment) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList commands[] = {
        {"live"},    {"--format", "csv", "watch", "--every", "0", "--count", "1"},
        {"info"},    {"fetch", "CH4_2612.CSV"},
        {"records"}, {"plot", "--out", dir.filePath("p.png")},
    };
    for (const QStringList& command : commands) {
        SCOPED_TRACE(command.join(' ').toStdString());
        QProcess process;
        QProcessEnvironment bare;
        bare.insert("PATH", QProcessEnvironment::systemEnvironment().value("PATH"));
        process.setProcessEnvironment(bare);
        process.start(VELLUMET_CLI_PATH,
                      QStringList{"--simulate", "--data-dir", dir.path()} + command);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), kExitOk);
        // Only the program's own lines (plot says what it wrote).
        for (const std::string& line : lines(process.readAllStandardError().toStdString()))
            EXPECT_EQ(line.rfind("vellumet-cli: ", 0), 0u) << line;
    }
}

} // namespace
} // namespace vellumet::cli::test
