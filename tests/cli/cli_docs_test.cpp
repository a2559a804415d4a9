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

// A line with its numbers masked and its blanks collapsed: what stays the
// same between the documented run and this one.
std::string shape(const std::string& line) {
    static const std::regex offset("([0-9]{2}:[0-9]{2}:[0-9]{2})(Z|[+-][0-9]{2}:[0-9]{2})");
    static const std::regex number("-?[0-9]+(\\.[0-9]+)?");
    static const std::regex blanks(" +");
    std::string text = std::regex_replace(line, offset, "$1+00:00");
    text = std::regex_replace(text, number, "9");
    return std::regex_replace(text, blanks, " ");
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
// JSON has the documented keys, and each line shown is printed in that form,
// with other numbers.
TEST_F(CliFixture, TheDocumentedExamplesDoWhatTheDocumentationShows) {
    const std::vector<DocExample> examples = docExamples();
    ASSERT_GE(examples.size(), 10u);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dataDir.path()));
    // The log the import example reads, copied from the card.
    ASSERT_EQ(run({"fetch", "CH1_2612.CSV", "--no-import"}).status, kExitOk);
    static const std::regex exitStatus("\\(exit status ([0-9]+)\\)");
    for (const DocExample& example : examples) {
        SCOPED_TRACE(example.command);
#ifndef VELLUMET_HAVE_GRAPH
        // A build without charts has no plot; its refusal is tested elsewhere.
        if (example.command.rfind("plot ", 0) == 0)
            continue;
#endif
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
        if (shown.find("\":") != std::string::npos) {
            EXPECT_EQ(jsonKeys(shown), jsonKeys(printed)) << printed;
        }
        // The fetch examples show copies this data folder does not hold (one
        // cut short, one that differs), and devices shows stations plugged
        // into another machine: they are only run.
        if (example.command.rfind("fetch ", 0) == 0 || example.command == "devices")
            continue;
        std::string printedShapes = "\n";
        for (const std::string& line : lines(printed))
            printedShapes += shape(line) + '\n';
        for (std::string line : example.shown) {
            line = std::regex_replace(line, exitStatus, "");
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            if (line.empty() || line.find("…") != std::string::npos)
                continue;
            EXPECT_NE(printedShapes.find('\n' + shape(line) + '\n'), std::string::npos)
                << "shown: " << line << "\nprinted:\n"
                << printed;
        }
    }
    QDir::setCurrent(before);
}

} // namespace
} // namespace vellumet::cli::test
