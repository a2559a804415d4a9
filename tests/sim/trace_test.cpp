#include "device/station_link.h"
#include "device/station_snapshot.h"
#include "device/trace_transport.h"
#include "sim/virtual_station.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <csignal>
#include <sys/resource.h>

namespace vellumet::sim {
namespace {

using namespace std::chrono_literals;

const std::regex kLine(R"((\d+) (OUT|IN) ([0-9A-F]{128}))");

std::string hexOf(const Block& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

struct TraceLine {
    long long ms;
    std::string direction;
    std::string hex;
};

std::vector<TraceLine> parse(const std::string& text) {
    std::vector<TraceLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, kLine)) << "bad trace line: " << line;
        if (!m.empty())
            lines.push_back({std::stoll(m[1]), m[2], m[3]});
    }
    return lines;
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(TraceLog, FormatsOneLinePerReport) {
    const std::uint8_t frame[64] = {0x7B, 0x03, 0x40, 0x7D};
    char line[TraceLog::kMaxLineLength];
    const std::size_t n =
        TraceLog::formatLine(line, 1234, TraceLog::Direction::Out, frame, sizeof frame);
    EXPECT_EQ(std::string(line, n), "1234 OUT 7B03407D" + std::string(120, '0') + "\n");

    const std::uint8_t answer[3] = {0xAB, 0x00, 0xF1};
    const std::size_t m = TraceLog::formatLine(line, 0, TraceLog::Direction::In, answer, 3);
    EXPECT_EQ(std::string(line, m), "0 IN AB00F1" + std::string(122, '0') + "\n")
        << "short reports are padded to 64 bytes";
}

TEST(TracingTransport, RecordsEveryFrameAndReportInOrder) {
    std::ostringstream out;
    auto station = std::make_shared<VirtualStation>();
    {
        auto traced =
            std::make_shared<TracingTransport>(std::make_shared<VirtualTransport>(station), out);
        StationLink link(traced, LinkTiming::quick());
        ASSERT_TRUE(link.openStation());
        EXPECT_TRUE(readStation(link).complete());
    }
    const auto lines = parse(out.str());
    std::vector<std::string> expectedOut;
    for (const Block& f : station->receivedFrames())
        expectedOut.push_back(hexOf(f));
    std::vector<std::string> outs;
    int ins = 0;
    long long last = 0;
    for (const TraceLine& l : lines) {
        EXPECT_GE(l.ms, last) << "time goes forward";
        last = l.ms;
        if (l.direction == "OUT")
            outs.push_back(l.hex);
        else
            ++ins;
    }
    EXPECT_EQ(outs, expectedOut);
    EXPECT_EQ(ins, station->reportsSent());
    EXPECT_EQ(ins, 8);
    // Each answer follows its query.
    ASSERT_EQ(lines.size(), 16u);
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].direction, i % 2 == 0 ? "OUT" : "IN") << "line " << i;
    EXPECT_EQ(lines[1].hex, hexOf(station->settingsBlock()));
    EXPECT_EQ(lines[3].hex.substr(0, 20), "7B5A503734323158407D"); // "{ZP7421X@}"
}

TEST(TracingTransport, FileIsReadableWhileRunningAndCompleteAtTheEnd) {
    const auto path = std::filesystem::temp_directory_path() / "vellumet_trace_test.txt";
    std::filesystem::remove(path);
    auto transport = std::make_shared<TracingTransport>(
        std::make_shared<VirtualTransport>(std::make_shared<VirtualStation>()), path.string());
    ASSERT_TRUE(transport->traceOk());
    auto link = std::make_unique<StationLink>(transport, LinkTiming::quick());
    ASSERT_TRUE(link->openStation());
    ASSERT_TRUE(link->query(query::Interval).ok());
    // Written out in the background within the flush interval.
    std::size_t seen = 0;
    for (int i = 0; i < 100 && seen < 2; ++i) {
        std::this_thread::sleep_for(10ms);
        seen = parse(readFile(path)).size();
    }
    EXPECT_EQ(seen, 2u);

    for (int i = 0; i < 20; ++i)
        (void)link->query(query::Readings);
    link.reset();
    transport.reset();
    const auto lines = parse(readFile(path));
    EXPECT_EQ(lines.size(), 42u);
    EXPECT_EQ(lines.back().direction, "IN");
    std::filesystem::remove(path);
}

TEST(TracingTransport, ForwardsDeviceChanges) {
    auto station = std::make_shared<VirtualStation>();
    std::ostringstream out;
    TracingTransport traced(std::make_shared<VirtualTransport>(station), out);
    std::atomic<int> removals{0};
    traced.setChangeListener([&](DeviceChange c) {
        if (c == DeviceChange::Removal)
            ++removals;
    });
    station->unplug();
    for (int i = 0; i < 200 && removals == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(removals.load(), 1);
    EXPECT_TRUE(traced.enumerate(kStationVendorId, kStationProductId).empty());
    traced.setChangeListener(nullptr);
}

TEST(TracingTransport, FailedReadsAndTimeoutsLeaveNoLines) {
    std::ostringstream out;
    auto station = std::make_shared<VirtualStation>();
    {
        TracingTransport traced(std::make_shared<VirtualTransport>(station), out);
        auto handle = traced.open(VirtualTransport::kPath);
        ASSERT_NE(handle, nullptr);
        Block b{};
        EXPECT_EQ(handle->read(b.data(), b.size(), 5), 0);
        station->unplug();
        EXPECT_EQ(handle->read(b.data(), b.size(), 5), -1);
        EXPECT_TRUE(traced.log().flush().ok());
    }
    EXPECT_TRUE(out.str().empty());
}

// A disk that is full for this process: no regular file grows while it
// lasts (the signal of an exceeded limit ignored, so a write just fails).
struct FullDisk {
    rlimit saved{};
    void (*previous)(int) = nullptr;
    bool set = false;
    explicit FullDisk(bool on) {
        if (!on || getrlimit(RLIMIT_FSIZE, &saved) != 0)
            return;
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = saved;
        none.rlim_cur = 0;
        set = setrlimit(RLIMIT_FSIZE, &none) == 0;
    }
    ~FullDisk() {
        if (!set)
            return;
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
};

TEST(TracingTransport, ATraceThatCannotBeWrittenIsReported) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string good = (dir / "vellumet_trace_status.txt").string();
    const std::string full = (dir / "vellumet_trace_full.txt").string();
    const std::string absent = (dir / "vellumet_no_such_folder" / "trace.txt").string();
    struct Case {
        std::string path;
        bool opens;  // creating the file works
        bool writes; // and so do the writes
    };
    for (const Case& c :
         {Case{good, true, true}, Case{full, true, false}, Case{absent, false, false}}) {
        const FullDisk diskFull(c.path == full);
        auto station = std::make_shared<VirtualStation>();
        TracingTransport traced(std::make_shared<VirtualTransport>(station), c.path);
        EXPECT_EQ(traced.traceOk(), c.opens) << c.path;
        auto handle = traced.open(VirtualTransport::kPath);
        ASSERT_NE(handle, nullptr);
        const std::uint8_t query[65] = {0, 0x7B, 0x41, 0x40, 0x7D};
        ASSERT_TRUE(handle->write(query, sizeof query));
        Block b{};
        EXPECT_EQ(handle->read(b.data(), b.size(), 500), 64) << "the link works either way";

        const Status status = traced.traceStatus();
        EXPECT_EQ(status.ok(), c.writes) << c.path;
        if (!status.ok()) {
            EXPECT_EQ(status.code(), Errc::Io);
            EXPECT_NE(status.error().text().find(c.path), std::string::npos)
                << status.error().text();
        }
        // The first error stays, also once nothing more is pending.
        EXPECT_EQ(traced.log().status().ok(), c.writes) << c.path;
        EXPECT_EQ(traced.traceStatus().ok(), c.writes) << c.path;
    }
    EXPECT_EQ(parse(readFile(good)).size(), 2u);
    std::filesystem::remove(good);
    std::filesystem::remove(full);
}

} // namespace
} // namespace vellumet::sim
