#include "device/trace_transport.h"
#include "sim/virtual_station.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumet::sim {
namespace {

// The profile, or nothing with the reason in error.
std::optional<Profile> loadWithError(const std::string& path, std::string& error) {
    Result<Profile> loaded = loadProfile(path);
    if (!loaded) {
        error = loaded.error().text();
        return std::nullopt;
    }
    return std::move(*loaded);
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct ProfileFixture : ::testing::Test {
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              (std::string("vellumet_profile_") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "card");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string write(const std::string& json) {
        const fs::path p = dir / "profile.json";
        std::ofstream(p) << json;
        return p.string();
    }

    // Loads json and returns the error text, which must be one line naming the file.
    std::string errorOf(const std::string& json) {
        std::string error;
        const std::string path = write(json);
        EXPECT_FALSE(loadWithError(path, error).has_value()) << json;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        return error;
    }
};

TEST_F(ProfileFixture, ReadsEveryField) {
    const std::string path = write(R"({
        "answers": {"0x03": "00FA32 FF9C14", "254": "7B41407D", "0x01": ["7B412C00000005", "7B407D"]},
        "ident": "{ZP7421@}",
        "screenAway": 1,
        "interval": 10,
        "unit": 1,
        "sdDir": "card",
        "faults": {"silent": true, "answerDelayMs": 5, "reportMs": 2,
                   "unplugAfterReports": 40, "corruptContentEvery": 7}
    })");
    std::string error;
    const auto p = loadWithError(path, error);
    ASSERT_TRUE(p.has_value()) << error;
    ASSERT_EQ(p->answers.size(), 2u);
    const Block& readings = p->answers.at(0x03);
    EXPECT_EQ(std::vector<int>(readings.begin(), readings.begin() + 8),
              (std::vector<int>{0x00, 0xFA, 0x32, 0xFF, 0x9C, 0x14, 0, 0})); // the rest is zero
    EXPECT_EQ(p->answers.at(0xFE)[1], 0x41);
    // A list is one report per element, in order.
    ASSERT_EQ(p->answerSequences.at(0x01).size(), 2u);
    EXPECT_EQ(p->answerSequences.at(0x01)[0][6], 0x05);
    EXPECT_EQ(p->answerSequences.at(0x01)[1][1], '@');
    EXPECT_EQ(p->ident, "{ZP7421@}");
    EXPECT_EQ(p->screenAway, 1);
    EXPECT_EQ(p->interval, 10);
    EXPECT_EQ(p->unit, 1);
    EXPECT_EQ(fs::path(p->sdDir), fs::canonical(dir / "card")); // relative to the profile
    EXPECT_TRUE(p->faults.silent);
    EXPECT_EQ(p->faults.answerDelayMs, 5);
    EXPECT_EQ(p->faults.reportMs, 2);
    EXPECT_EQ(p->faults.unplugAfterReports, 40);
    EXPECT_EQ(p->faults.corruptContentEvery, 7);
}

TEST_F(ProfileFixture, EmptyObjectIsTheDefaultStation) {
    std::string error;
    const auto p = loadWithError(write("{}"), error);
    ASSERT_TRUE(p.has_value()) << error;
    const Profile defaults;
    EXPECT_EQ(p->ident, "{ZP7421X@}");
    EXPECT_EQ(p->interval, defaults.interval);
    EXPECT_TRUE(p->answers.empty());
    EXPECT_TRUE(p->sdDir.empty());
    EXPECT_EQ(p->faults.reportMs, 1);
    EXPECT_FALSE(p->faults.silent);
}

TEST_F(ProfileFixture, LatinOneIdentBecomesSingleBytes) {
    std::string error;
    const auto p = loadWithError(write(R"({"ident": "St\u00e4tion"})"), error);
    ASSERT_TRUE(p.has_value()) << error;
    EXPECT_EQ(p->ident, std::string("St\xE4tion"));
}

TEST_F(ProfileFixture, BadFilesGiveClearErrors) {
    EXPECT_NE(errorOf("{\"interval\": 5").find("JSON"), std::string::npos);
    EXPECT_NE(errorOf("[1, 2]").find("object"), std::string::npos);
    EXPECT_NE(errorOf(R"({"intervall": 5})").find("intervall"), std::string::npos);
    EXPECT_NE(errorOf(R"({"faults": {"slient": true}})").find("slient"), std::string::npos);
    EXPECT_NE(errorOf(R"({"interval": "5"})").find("interval"), std::string::npos);
    EXPECT_NE(errorOf(R"({"unit": 1.5})").find("unit"), std::string::npos);
    EXPECT_NE(errorOf(R"({"screenAway": 256})").find("screenAway"), std::string::npos);
    EXPECT_NE(errorOf(R"({"faults": {"reportMs": -1}})").find("reportMs"), std::string::npos);
    EXPECT_NE(errorOf(R"({"faults": {"silent": 1}})").find("silent"), std::string::npos);
    EXPECT_NE(errorOf(R"({"answers": {"0x3G": "00"}})").find("0x3G"), std::string::npos);
    EXPECT_NE(errorOf(R"({"answers": {"0x100": "00"}})").find("0x100"), std::string::npos);
    EXPECT_NE(errorOf(R"({"answers": {"0x03": "0FA"}})").find("0x03"), std::string::npos);
    EXPECT_NE(errorOf(R"({"answers": {"0x03": "ZZ"}})").find("ZZ"), std::string::npos);
    EXPECT_NE(errorOf(R"({"answers": {"0x03": ")" + std::string(130, '0') + "\"}}").find("128"),
              std::string::npos);
    EXPECT_NE(errorOf(R"({"answers": {"0x03": 5}})").find("0x03"), std::string::npos);
    EXPECT_NE(errorOf(R"({"sdDir": "no_such_folder"})").find("no_such_folder"), std::string::npos);
    EXPECT_NE(errorOf(R"({"ident": "\u20ac"})").find("ident"), std::string::npos);
}

TEST_F(ProfileFixture, OnlyAnExistingRegularFileOfAtMostOneMegabyteIsRead) {
    const fs::path fifo = dir / "fifo.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A profile of exactly 1 MB is read; one byte more is refused.
    const std::string fits = "{}" + std::string((1u << 20) - 2, ' ');
    std::ofstream(dir / "fits.json") << fits;
    std::ofstream(dir / "large.json") << fits << ' ';
    const std::pair<fs::path, const char*> refused[] = {
        {fifo, "regular file"},
        {dir / "card", "regular file"},
        {dir / "large.json", "1 MB"},
        {dir / "absent.json", "absent.json"},
    };
    for (const auto& [path, reason] : refused) {
        // On a thread, so that a read that blocks fails the test instead of hanging it.
        auto result = std::async(std::launch::async, [p = path.string()] {
            std::string error;
            const bool loaded = loadWithError(p, error).has_value();
            return std::make_pair(loaded, error);
        });
        if (result.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << path << ": still reading after 5 s";
            // Let a reader blocked on the FIFO see its end.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        const auto [loaded, error] = result.get();
        EXPECT_FALSE(loaded) << path;
        EXPECT_NE(error.find(path.string()), std::string::npos) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    std::string error;
    EXPECT_TRUE(loadWithError((dir / "fits.json").string(), error).has_value()) << error;
}

} // namespace
} // namespace vellumet::sim
