#include "fuzz/targets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

// Every input the fuzzers ever found a fault with is kept in
// tests/data/fuzz/<target>/ and must run cleanly from then on.
TEST(FuzzReplay, EveryKeptInputRunsCleanly) {
    const fs::path root = fs::path(VELLUMET_FUZZ_DATA);
    int replayed = 0;
    for (const auto& target : vellumet::fuzz::kTargets) {
        const fs::path dir = root / std::string(target.name);
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                                  std::istreambuf_iterator<char>());
            SCOPED_TRACE(entry.path().string());
            target.run(bytes.data(), bytes.size()); // aborts on a broken property
            ++replayed;
        }
    }
    RecordProperty("replayed", replayed);
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
