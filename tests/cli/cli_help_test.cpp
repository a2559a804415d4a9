#include "cli_harness.h"

#include "cli/command.h"
#include "settings/alarm_logic.h"
#include "settings/setup_logic.h"

#include <QDir>

namespace vellumet::cli::test {
namespace {

std::size_t columns(const std::string& line) {
    std::size_t width = 0;
    for (unsigned char c : line)
        if ((c & 0xC0) != 0x80)
            ++width;
    return width;
}

void expectFitsEightyColumns(const std::string& text) {
    for (const std::string& line : lines(text))
        EXPECT_LE(columns(line), 80u) << line;
}

// A command line as a shell splits it (double quotes only), up to a
// redirection.
std::vector<std::string> shellWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any)
                words.push_back(word);
            word.clear();
            any = false;
        } else if (c == '>' && !quoted) {
            break;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        words.push_back(word);
    return words;
}

TEST(CliHelp, TheListFitsEightyColumnsAndNamesEveryCommand) {
    const CliResult r = CliFixture::runRaw({"--help"});
    ASSERT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.err, "");
    expectFitsEightyColumns(r.out);
    for (const Command& command : commandTable())
        EXPECT_NE(r.out.find("\n  " + std::string(command.name) + "  "), std::string::npos)
            << command.name;
    for (const char* option : {"--simulate[=PROFILE]", "--data-dir DIR", "--trace FILE",
                               "--format text|json|csv", "--version", "COMMAND --help"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

// Every command explains itself within 80 columns, in either order of the
// words, with an example that is a valid command line.
TEST(CliHelp, EveryCommandHasItsOwnHelpWithAnExample) {
    for (const Command& command : commandTable()) {
        const std::string name(command.name);
        SCOPED_TRACE(name);
        const CliResult r = CliFixture::runRaw({name, "--help"});
        ASSERT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out.rfind("Usage: vellumet-cli [OPTIONS] " + name, 0), 0u) << r.out;
        expectFitsEightyColumns(r.out);
        EXPECT_EQ(CliFixture::runRaw({"--help", name}).out, r.out);
        const std::size_t example = r.out.find("\nExample:\n  vellumet-cli ");
        ASSERT_NE(example, std::string::npos) << r.out;
        const std::string line = lines(r.out.substr(example + 11))[0];
        EXPECT_NE(line.find(" " + name), std::string::npos) << line;
    }
    EXPECT_EQ(CliFixture::runRaw({"frobnicate", "--help"}).status, kExitUsage);
}

// The keys the commands take, as the settings code knows them, all named.
TEST(CliHelp, CommandHelpNamesEveryKeyAndForm) {
    const std::string settingsHelp = commandHelpText("set-settings");
    for (const std::string& key : settings::settingKeys(8)) {
        if (key.rfind("area", 0) != 0) {
            EXPECT_NE(settingsHelp.find("  " + key), std::string::npos) << key;
        }
    }
    EXPECT_NE(settingsHelp.find("area1..area5"), std::string::npos);
    const std::string alarmHelp = commandHelpText("set-alarm");
    for (const std::string& key : settings::alarmKeys())
        EXPECT_NE(alarmHelp.find(key), std::string::npos) << key;
    for (const char* command : {"records", "plot"}) {
        for (const char* form : {"YYYY-MM-DD", "\"YYYY-MM-DD h:mm:ss\"", "--from"}) {
            EXPECT_NE(commandHelpText(command).find(form), std::string::npos)
                << command << ' ' << form;
        }
    }
    for (const char* column : {"Temperature", "Humidity", "DewPoint", "Heatindex"})
        EXPECT_NE(commandHelpText("records").find(column), std::string::npos) << column;
}

// Each command's example runs against the virtual station without a usage
// error (a missing file or an empty database may still fail it).
TEST_F(CliFixture, EveryHelpExampleIsAValidCommandLine) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dataDir.path()));
    for (const Command& command : commandTable()) {
        const std::string help = commandHelpText(command.name);
        const std::size_t at = help.find("\nExample:\n  vellumet-cli ");
        ASSERT_NE(at, std::string::npos) << command.name;
        std::vector<std::string> words = shellWords(lines(help.substr(at + 11))[0]);
        words.erase(words.begin());
        if (command.name == "watch")
            words.insert(words.end(), {"--count", "1", "--every", "0"});
        const CliResult r = run(words);
        EXPECT_NE(r.status, kExitUsage) << command.name << ": " << r.err;
    }
    QDir::setCurrent(before);
}

} // namespace
} // namespace vellumet::cli::test
