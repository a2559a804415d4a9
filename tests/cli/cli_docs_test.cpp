#include "cli_harness.h"

#include <QDir>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace vellumet::cli::test {
namespace {

// One "$ vellumet-cli ..." line of docs/cli.md and the lines shown after it.
struct DocExample {
    std::string command;
    std::vector<std::string> shown;
};

std::vector<DocExample> docExamples() {
    std::ifstream file(VELLUMET_SOURCE_DIR "/docs/cli.md");
    std::vector<DocExample> examples;
    bool inBlock = false;
    DocExample* current = nullptr;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("```", 0) == 0) {
            inBlock = !inBlock;
            current = nullptr;
        } else if (inBlock && line.rfind("$ vellumet-cli ", 0) == 0) {
            examples.push_back({line.substr(15), {}});
            current = &examples.back();
        } else if (current) {
            current->shown.push_back(line);
        }
    }
    return examples;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> result;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' && !quoted) || (c == '>' && !quoted)) {
            if (any)
                result.push_back(word);
            word.clear();
            any = false;
            if (c == '>')
                break; // a redirection: the test reads standard output itself
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        result.push_back(word);
    return result;
}

std::set<std::string> jsonKeys(const std::string& text) {
    static const std::regex key("\"([A-Za-z]+)\":");
    std::set<std::string> keys;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), key);
         it != std::sregex_iterator(); ++it)
        keys.insert((*it)[1]);
    return keys;
}

// Every example of docs/cli.md, run in its order against the virtual station
// (a stream for one quick round): its exit status is the documented one, its
// JSON has the documented keys, and each line shown without numbers (headings,
// CSV headers, messages) is printed as shown.
TEST_F(CliFixture, TheDocumentedExamplesDoWhatTheDocumentationShows) {
    const std::vector<DocExample> examples = docExamples();
    ASSERT_GE(examples.size(), 10u);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dataDir.path()));
    // The card's logs, copied, for the import examples.
    ASSERT_EQ(run({"fetch", "--all", "--no-import"}).status, kExitOk);
    static const std::regex exitStatus("\\(exit status ([0-9]+)\\)");
    for (const DocExample& example : examples) {
        SCOPED_TRACE(example.command);
        std::vector<std::string> args = words(example.command);
        for (std::size_t i = 0; i + 1 < args.size(); ++i) {
            if (args[i] == "--every")
                args[i + 1] = "0";
            if (args[i] == "--count")
                args[i + 1] = "1";
        }
        if (std::find(args.begin(), args.end(), "watch") != args.end() &&
            std::find(args.begin(), args.end(), "--count") == args.end())
            args.insert(args.end(), {"--count", "1"});

        std::string shown;
        int expectedStatus = kExitOk;
        for (const std::string& line : example.shown) {
            std::smatch m;
            if (std::regex_search(line, m, exitStatus))
                expectedStatus = std::stoi(m[1]);
            shown += line + '\n';
        }
        const CliResult r = run(args);
        EXPECT_EQ(r.status, expectedStatus) << r.err;
        const std::string printed = r.out + r.err;
        if (shown.find("\": ") != std::string::npos || shown.find("\":") != std::string::npos) {
            EXPECT_EQ(jsonKeys(shown), jsonKeys(printed)) << printed;
            continue;
        }
        for (const std::string& line : example.shown) {
            if (line.empty() || line.find("…") != std::string::npos ||
                line.find_first_of("0123456789") != std::string::npos)
                continue;
            EXPECT_NE(("\n" + printed).find("\n" + line + "\n"), std::string::npos)
                << "shown: " << line << "\nprinted:\n"
                << printed;
        }
    }
    QDir::setCurrent(before);
}

} // namespace
} // namespace vellumet::cli::test
