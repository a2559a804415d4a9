#include "fuzz/targets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Runs every file in dir through the target; returns how many there were.
int replayFolder(const vellumet::fuzz::NamedTarget& target, const fs::path& dir) {
    if (!fs::is_directory(dir))
        return 0;
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                              std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        target.run(bytes.data(), bytes.size()); // aborts on a broken property
        ++replayed;
    }
    return replayed;
}

} // namespace

// Every input the fuzzers ever found a fault with is kept in
// tests/data/fuzz/<target>/ and must run cleanly from then on; the seeds in
// fuzz/seeds/<target>/ run too, so that every target meets real inputs here
// and not only in a fuzzing run.
TEST(FuzzReplay, EveryTargetReplaysItsSeedsAndKeptInputs) {
    // The names the fuzz build and scripts/fuzz-smoke use: a target missing
    // from the table would never be replayed.
    std::ifstream script(fs::path(VELLUMET_SOURCE_DIR) / "scripts" / "fuzz-smoke");
    std::stringstream text;
    text << script.rdbuf();
    const std::string line = text.str().substr(text.str().find("targets=("));
    std::istringstream names(line.substr(9, line.find(')') - 9));
    std::set<std::string> expected{std::istream_iterator<std::string>(names), {}};
    ASSERT_EQ(expected.size(), 9u) << "the target list of scripts/fuzz-smoke was not read";

    std::set<std::string> covered;
    for (const auto& target : vellumet::fuzz::kTargets) {
        const int seeds =
            replayFolder(target, fs::path(VELLUMET_SOURCE_DIR) / "fuzz" / "seeds" / target.name);
        replayFolder(target,
                     fs::path(VELLUMET_SOURCE_DIR) / "tests" / "data" / "fuzz" / target.name);
        EXPECT_GT(seeds, 0) << "no seeds for " << target.name;
        covered.insert(std::string(target.name));
    }
    EXPECT_EQ(covered, expected);
}

// The targets themselves on a few plain inputs, so that a target that breaks
// on ordinary data is found here rather than by the fuzzer.
TEST(FuzzReplay, TargetsTakeOrdinaryInputs) {
    const std::string inputs[] = {
        "",
        std::string(200, '\xff'),
        "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n2026-01-01 "
        "00:00:00,21.5,45,9.1,21.5\n",
        "2024-3-5 7:04:09",
        R"({"interval": 7, "unit": 1})",
    };
    for (const auto& target : vellumet::fuzz::kTargets)
        for (const std::string& input : inputs)
            target.run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}
