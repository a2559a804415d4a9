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

// The built program as cron runs it: an environment with nothing but PATH,
// standard output read or closed (a full disk: CliProgramWatch). Each command
// gives its exit status, and standard error holds only the program's own lines
// (no warnings of the libraries below), or exactly the line expected.
TEST(CliProgram, RunsAsAProcessWithOnlyItsOwnMessages) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        QStringList args;
        int status;
        int lines = -1;               // of standard output, when counted
        const char* script = nullptr; // the shell's, when standard output is not read
        std::string err = {};         // the whole of standard error, when given
    } rows[] = {
        {{"--format", "csv", "live"}, kExitOk, 9},
        {{"--format", "csv", "watch", "--every", "0", "--count", "1"}, kExitOk, 9},
        {{"info"}, kExitOk},
        {{"fetch", "CH4_2612.CSV"}, kExitOk},
        {{"records"}, kExitOk},
        {{"plot", "--out", dir.filePath("p.png")}, kExitOk},
        {{"set-interval", "300"},
         kExitUsage,
         0,
         nullptr,
         "vellumet-cli: Interval Range of values: 1 to 240 Minute\n"},
        {{"live"},
         kExitFailure,
         -1,
         "exec \"$0\" \"$@\" >&-",
         "vellumet-cli: cannot write standard output: Bad file descriptor\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString() + ' ' + (row.script ? row.script : ""));
        QProcess process;
        QProcessEnvironment bare;
        bare.insert("PATH", QProcessEnvironment::systemEnvironment().value("PATH"));
        process.setProcessEnvironment(bare);
        process.start("/bin/sh",
                      QStringList{"-c", row.script ? row.script : "exec \"$0\" \"$@\"",
                                  VELLUMET_CLI_PATH, "--simulate", "--data-dir", dir.path()} +
                          row.args);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), row.status);
        const std::string out = process.readAllStandardOutput().toStdString();
        const std::string err = process.readAllStandardError().toStdString();
        if (row.lines >= 0) {
            EXPECT_EQ(lines(out).size(), static_cast<std::size_t>(row.lines)) << out;
        }
        if (!row.err.empty()) {
            EXPECT_EQ(err, row.err);
        }
        for (const std::string& line : lines(err))
            EXPECT_EQ(line.rfind("vellumet-cli: ", 0), 0u) << line;
    }
}

} // namespace
} // namespace vellumet::cli::test
