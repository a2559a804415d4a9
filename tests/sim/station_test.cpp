#include "sim_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace vellumet::sim {
namespace {

using namespace std::chrono_literals;
using test::bigEndian32;
using test::Peer;
using test::signed16;

std::string text(const Block& b) {
    std::string s;
    for (std::uint8_t c : b) {
        if (c == 0)
            break;
        s += static_cast<char>(c);
    }
    return s;
}

Block frameOf(std::initializer_list<std::uint8_t> bytes) {
    Block b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

// The file-read request: name, start and end (big-endian), "@}".
Block readRequest(const std::string& name, std::uint32_t from, std::uint32_t to) {
    Block b{};
    std::size_t i = 0;
    b[i++] = 0x7B;
    b[i++] = 0x02;
    for (char c : name)
        b[i++] = static_cast<std::uint8_t>(c);
    for (std::uint32_t v : {from, to})
        for (int shift = 24; shift >= 0; shift -= 8)
            b[i++] = static_cast<std::uint8_t>(v >> shift);
    b[i++] = 0x40;
    b[i++] = 0x7D;
    return b;
}

Block deleteRequest(const std::string& name) {
    Block b{};
    std::size_t i = 0;
    b[i++] = 0x7B;
    b[i++] = 0x20;
    for (char c : name)
        b[i++] = static_cast<std::uint8_t>(c);
    b[i++] = 0x40;
    b[i++] = 0x7D;
    return b;
}

struct ListedFile {
    std::string name;
    std::uint32_t size;
};

// Decodes file-list reports by their documented layout: lead byte, name up to
// the first comma, then the size as four big-endian bytes.
std::vector<ListedFile> decodeList(const std::vector<Block>& reports) {
    std::vector<ListedFile> out;
    for (const Block& r : reports) {
        if (text(r).rfind("{@}", 0) == 0)
            break;
        std::size_t k = 1;
        while (k < r.size() && r[k] != ',' && r[k] != 0)
            ++k;
        EXPECT_EQ(r[k], ',');
        out.push_back({std::string(r.begin() + 1, r.begin() + static_cast<std::ptrdiff_t>(k)),
                       bigEndian32(r, k + 1)});
    }
    return out;
}

// What the program keeps of content reports: the text before the first "}"
// without "{"; the chunk ends at a piece that begins with "@".
std::string decodeContent(const std::vector<Block>& reports, bool* complete = nullptr) {
    std::string content;
    if (complete)
        *complete = false;
    for (const Block& r : reports) {
        const std::string t = text(r);
        const auto close = t.find('}');
        if (close == std::string::npos)
            continue;
        std::string piece = t.substr(0, close);
        std::erase(piece, '{');
        if (!piece.empty() && piece[0] == '@') {
            if (complete)
                *complete = true;
            break;
        }
        content += piece;
    }
    return content;
}

// What a fresh station answers, as the program's decoders will see it: one
// report per query, each value within what a real station shows.
TEST(VirtualStation, AFreshStationAnswersEveryQueryOnceWithPlausibleValues) {
    Profile profile = Peer::fastProfile();
    profile.unit = 1;
    profile.interval = 17;
    profile.screenAway = 3;
    profile.ident = "{ZP7421@}";
    Peer peer(profile);
    std::map<std::uint8_t, Block> answer;
    for (std::uint8_t code :
         {cmd::Readings, cmd::Settings, cmd::Calibration, cmd::AlarmBlock1, cmd::AlarmBlock3,
          cmd::AlarmBlock4, cmd::Interval, cmd::ScreenStatus, cmd::Identification}) {
        ASSERT_TRUE(peer.send(code));
        const auto reports = peer.collect(15);
        ASSERT_EQ(reports.size(), 1u) << "code " << int(code);
        answer[code] = reports[0];
    }
    const Block& readings = answer[cmd::Readings];
    const Block& settings = answer[cmd::Settings];
    const Block& limits = answer[cmd::AlarmBlock3];
    const Block& humidityLimits = answer[cmd::AlarmBlock4];
    for (std::size_t n = 1; n <= 8; ++n) {
        SCOPED_TRACE("CH" + std::to_string(n));
        EXPECT_GE(signed16(readings, 3 * n - 2), -400);
        EXPECT_LE(signed16(readings, 3 * n - 2), 600);
        EXPECT_GE(readings[3 * n], 1);
        EXPECT_LE(readings[3 * n], 99);
        const std::uint32_t mask = bigEndian32(settings, 8 + 4 * (n - 1));
        EXPECT_NE(mask, 0u);
        EXPECT_EQ(mask >> 24, 0u);
        EXPECT_GE(signed16(limits, 4 * n - 1), -400); // low below high
        EXPECT_LT(signed16(limits, 4 * n - 1), signed16(limits, 4 * n - 3));
        EXPECT_LE(signed16(limits, 4 * n - 3), 600);
        EXPECT_GE(humidityLimits[2 * n], 1);
        EXPECT_LT(humidityLimits[2 * n], humidityLimits[2 * n - 1]);
        EXPECT_LE(humidityLimits[2 * n - 1], 99);
    }
    for (std::size_t i = 25; i < 64; ++i)
        EXPECT_EQ(readings[i], 0) << "byte " << i;
    EXPECT_EQ(settings[7], 1); // the profile's temperature unit
    EXPECT_TRUE(settings[2] == 12 || settings[2] == 24 || settings[2] == 48 || settings[2] == 72);
    EXPECT_LE(settings[1], 3);
    EXPECT_GE(static_cast<std::int8_t>(settings[6]), -12);
    EXPECT_LE(static_cast<std::int8_t>(settings[6]), 12);
    EXPECT_TRUE(bigEndian32(settings, 8 + 4 * 4) & (1u << 12)); // area 5: CH5's temperature
    EXPECT_LE(answer[cmd::AlarmBlock1][1], 1);
    EXPECT_LE(answer[cmd::AlarmBlock1][2], 1);
    EXPECT_EQ(answer[cmd::Calibration], Block{}); // no offsets on a fresh station
    EXPECT_EQ(answer[cmd::Interval][1], 17);
    EXPECT_EQ(answer[cmd::ScreenStatus][1], 3);
    EXPECT_EQ(text(answer[cmd::Identification]), "{ZP7421@}"); // text from byte zero
    EXPECT_EQ(answer[cmd::Identification][9], 0);
    EXPECT_EQ(peer.station->unit(), 1);
}

// Each write frame lands in the answer to its query from byte 1 on, unanswered,
// and leaves the bytes after its payload as they were: a five-area settings
// write keeps areas 6 to 8.
TEST(VirtualStation, EachWriteShowsInItsQuerysAnswer) {
    const auto bytes = [](std::size_t n, std::uint8_t first) {
        std::vector<std::uint8_t> v(n);
        for (std::size_t i = 0; i < n; ++i)
            v[i] = static_cast<std::uint8_t>(first + 7 * i);
        return v;
    };
    // Graph humidity over 48 h, AM h:mm:ss, DD-MM-YYYY, DST on, UTC-5, °F, then the areas.
    std::vector<std::uint8_t> eightAreas = {1, 48, 1, 2, 1, 0xFB, 1};
    const std::vector<std::uint8_t> masks = bytes(32, 0);
    eightAreas.insert(eightAreas.end(), masks.begin(), masks.end());
    std::vector<std::uint8_t> temperatures = bytes(32, 3);
    temperatures[30] = temperatures[31] = 0xFF; // CH8 low: no value
    const struct {
        std::uint8_t write, query;
        std::vector<std::uint8_t> payload;
    } rows[] = {
        {cmd::WriteSettings, cmd::Settings, {0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
                                             2, 0,  0, 0, 4, 0, 0, 0, 8, 0, 0, 0, 16}},
        {cmd::WriteSettings, cmd::Settings, eightAreas},
        {cmd::WriteCalibration, cmd::Calibration, bytes(24, 0xF1)},
        {cmd::WriteAlarm1, cmd::AlarmBlock1, {1, 0, 0x81, 0x42, 0x24, 0x18}},
        {cmd::WriteAlarm3, cmd::AlarmBlock3, temperatures},
        {cmd::WriteAlarm4, cmd::AlarmBlock4, bytes(16, 10)},
        {cmd::WriteInterval, cmd::Interval, {42}},
    };
    Peer peer;
    for (const auto& row : rows) {
        const Block before = peer.ask(row.query);
        ASSERT_TRUE(peer.send(row.write, row.payload));
        EXPECT_TRUE(peer.collect(20).empty()) << "writes are not answered";
        const Block after = peer.ask(row.query);
        Block expected = before;
        std::copy(row.payload.begin(), row.payload.end(), expected.begin() + 1);
        EXPECT_EQ(after, expected) << "write " << int(row.write) << ", " << row.payload.size();
    }
    EXPECT_EQ(peer.station->unit(), 1);
    EXPECT_EQ(peer.station->interval(), 42);
    EXPECT_EQ(peer.ask(cmd::Calibration), peer.station->calibrationBlock());
    peer.send(cmd::EndOfWrite);
    EXPECT_EQ(peer.station->endOfWriteCount(), 1);
    for (const std::uint8_t outside :
         {std::uint8_t{0}, std::uint8_t{241}}) { // the station keeps its interval
        peer.send(cmd::WriteInterval, {outside});
        EXPECT_EQ(peer.ask(cmd::Interval)[1], 42);
    }
    peer.send(cmd::WriteInterval, {240});
    EXPECT_EQ(peer.ask(cmd::Interval)[1], 240);
}

TEST(VirtualStation, FileListHasOneReportPerFileThenEndMarker) {
    Peer peer;
    peer.send(cmd::FileList);
    const auto reports = peer.collectUntilEnd();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(text(reports.back()), "{@}");
    const auto files = decodeList(reports);
    const auto card = defaultCard();
    ASSERT_EQ(files.size(), card.size());
    ASSERT_EQ(reports.size(), card.size() + 1);
    for (std::size_t i = 0; i < card.size(); ++i) {
        EXPECT_EQ(files[i].name, card[i].name);
        EXPECT_EQ(files[i].size, card[i].content.size()) << card[i].name;
    }
}

TEST(VirtualStation, FileContentComesInBracedPiecesThenEndMarker) {
    Peer peer;
    const auto card = defaultCard();
    const auto& big = *std::max_element(card.begin(), card.end(), [](auto& a, auto& b) {
        return a.content.size() < b.content.size();
    });
    peer.send(readRequest(big.name, 4096, 8192));
    const auto reports = peer.collectUntilEnd();
    ASSERT_GE(reports.size(), 2u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
        const std::string t = text(reports[i]);
        EXPECT_EQ(t.front(), '{');
        EXPECT_EQ(t.back(), '}');
        EXPECT_LE(t.size(), 64u);
    }
    bool complete = false;
    EXPECT_EQ(decodeContent(reports, &complete), big.content.substr(4096, 4096));
    EXPECT_TRUE(complete);
    EXPECT_EQ(reports.size(), (4096 + 61) / 62 + 1); // full 62-byte pieces
}

TEST(VirtualStation, FileContentRangesAreClippedToTheFile) {
    Peer peer;
    const auto card = defaultCard();
    const CardFile& f = card[0];
    const auto size = static_cast<std::uint32_t>(f.content.size());

    peer.send(readRequest(f.name, size - 10, size + 4086));
    EXPECT_EQ(decodeContent(peer.collectUntilEnd()), f.content.substr(size - 10));

    peer.send(readRequest(f.name, size, size)); // nothing left: the end marker alone
    auto reports = peer.collectUntilEnd();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(text(reports[0]), "{@}");

    peer.send(readRequest("NOSUCH.CSV", 0, 4096));
    reports = peer.collectUntilEnd();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(text(reports[0]), "{@}");

    // A whole small file in one request.
    const CardFile& small = card[4];
    peer.send(readRequest(small.name, 0, 4096));
    EXPECT_EQ(decodeContent(peer.collectUntilEnd()), small.content);
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path =
            std::filesystem::temp_directory_path() /
            ("vellumet_sim_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream(path / name, std::ios::binary) << content;
    }
};

TEST(VirtualStation, FolderCardIsServedAndDeletedOnDisk) {
    TempDir dir;
    const std::string a = "Time,Temperature(C),Humidity(%)\n2026-12-01 08:30:00,21.5,40\n";
    std::string b(5000, 'x');
    dir.write("B_LOG.CSV", b);
    dir.write("A_IN.CSV", a);
    Profile profile = Peer::fastProfile();
    profile.sdDir = dir.path.string();
    Peer peer(profile);

    peer.send(cmd::FileList);
    const auto files = decodeList(peer.collectUntilEnd());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "A_IN.CSV");
    EXPECT_EQ(files[0].size, a.size());
    EXPECT_EQ(files[1].size, b.size());

    peer.send(readRequest("B_LOG.CSV", 4096, 5000));
    EXPECT_EQ(decodeContent(peer.collectUntilEnd()), b.substr(4096));
    peer.send(readRequest("A_IN.CSV", 0, 4096));
    EXPECT_EQ(decodeContent(peer.collectUntilEnd()), a);

    peer.send(deleteRequest("A_IN.CSV"));
    peer.collect(20);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "A_IN.CSV"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / "B_LOG.CSV"));
}

TEST(VirtualStation, FrameWithoutItsTrailerInPlaceIsIgnored) {
    Peer peer;
    const Block settings = peer.station->settingsBlock();
    const auto names = peer.station->cardFileNames();
    const std::string file = names.front();

    Block settingsTrailerBetween = frameOf({0x7B, 0x10});
    std::fill_n(settingsTrailerBetween.begin() + 2, 31, 1); // neither 27 nor 39 bytes
    settingsTrailerBetween[33] = 0x40;
    settingsTrailerBetween[34] = 0x7D;
    Block calibrationEarly = frameOf({0x7B, 0x11});
    std::fill_n(calibrationEarly.begin() + 2, 23, 5);
    calibrationEarly[25] = 0x40;
    calibrationEarly[26] = 0x7D;
    Block readUnclosed = readRequest(file, 0, 4096);
    readUnclosed[10 + file.size()] = 0;
    readUnclosed[11 + file.size()] = 0;
    Block readJunk = readRequest(file, 0, 4096);
    readJunk[63] = 1;
    Block deleteUnclosed = deleteRequest(file);
    deleteUnclosed[2 + file.size()] = 0;
    deleteUnclosed[3 + file.size()] = 0;

    const std::pair<const char*, Block> cases[] = {
        {"query, trailer one byte late", frameOf({0x7B, 0x03, 0x00, 0x40, 0x7D})},
        {"query without trailer", frameOf({0x7B, 0x04})},
        {"query, a byte after the trailer", frameOf({0x7B, 0xFE, 0x40, 0x7D, 0x00, 0x01})},
        {"file list, trailer one byte late", frameOf({0x7B, 0x01, 0x00, 0x40, 0x7D})},
        {"interval write without its byte", frameOf({0x7B, 0x40, 0x40, 0x7D})},
        {"interval write, trailer late", frameOf({0x7B, 0x40, 0x1E, 0x00, 0x40, 0x7D})},
        {"settings write of 31 bytes", settingsTrailerBetween},
        {"calibration write one byte short", calibrationEarly},
        {"alarm write without trailer", frameOf({0x7B, 0x12, 1, 1, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"clock write one byte short",
         frameOf({0x7B, 0x30, 0x07, 0xEA, 0x0C, 0x06, 0x0A, 0x35, 0x07, 0x40, 0x7D})},
        {"language write of two bytes", frameOf({0x7B, 0x0B, 0x00, 0x01, 0x40, 0x7D})},
        {"end of write with a payload", frameOf({0x7B, 0x2F, 0x01, 0x40, 0x7D})},
        {"read request without trailer", readUnclosed},
        {"read request, a byte after the trailer", readJunk},
        {"delete request without trailer", deleteUnclosed},
    };
    for (const auto& [label, frame] : cases) {
        ASSERT_TRUE(peer.send(frame)) << label;
        EXPECT_TRUE(peer.collect(15).empty()) << label << ": answered";
    }
    EXPECT_EQ(peer.station->receivedFrames().size(), std::size(cases)) << "all are recorded";
    EXPECT_EQ(peer.station->settingsBlock(), settings);
    EXPECT_EQ(peer.station->calibrationBlock(), Block{});
    EXPECT_EQ(peer.station->alarmBlock(1)[1], 0);
    EXPECT_EQ(peer.station->interval(), 5);
    EXPECT_FALSE(peer.station->lastClockFrame().has_value());
    EXPECT_FALSE(peer.station->language().has_value());
    EXPECT_EQ(peer.station->endOfWriteCount(), 0);
    EXPECT_EQ(peer.station->cardFileNames(), names);

    // The same station takes the frames once they are well formed.
    peer.send(cmd::WriteInterval, {30});
    EXPECT_EQ(peer.ask(cmd::Interval)[1], 30);
    peer.send(deleteRequest(file));
    EXPECT_EQ(peer.station->cardFileNames().size(), names.size() - 1);
}

// Caps the process's address space for a scope, so that an allocation far
// beyond what a request needs fails instead of passing unnoticed.
struct AddressSpaceCap {
    rlimit saved{};
    bool set = false;
    explicit AddressSpaceCap(std::size_t headroom) {
        std::ifstream statm("/proc/self/statm");
        std::size_t pages = 0;
        if (!(statm >> pages) || getrlimit(RLIMIT_AS, &saved) != 0)
            return;
        rlimit cap = saved;
        cap.rlim_cur = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom;
        set = setrlimit(RLIMIT_AS, &cap) == 0;
    }
    ~AddressSpaceCap() {
        if (set)
            setrlimit(RLIMIT_AS, &saved);
    }
};

TEST(VirtualStation, HugeReadRangeIsClippedToTheFileFirst) {
    TempDir dir;
    const std::string content(1000, 'x');
    dir.write("A.CSV", content);
    Profile profile = Peer::fastProfile();
    profile.sdDir = dir.path.string();
    Peer peer(profile);
    std::vector<Block> whole, beyond, fromCard;
    {
        const AddressSpaceCap cap(512u << 20); // far less than the 4 GiB asked for
        ASSERT_TRUE(cap.set);
        peer.send(readRequest("A.CSV", 0, 0xFFFFFFFF));
        whole = peer.collectUntilEnd();
        peer.send(readRequest("A.CSV", 0xFFFFFF00, 0xFFFFFFFF));
        beyond = peer.collectUntilEnd();
    }
    EXPECT_EQ(decodeContent(whole), content);
    ASSERT_EQ(beyond.size(), 1u);
    EXPECT_EQ(text(beyond[0]), "{@}");
}

TEST(VirtualStation, NamesThatCouldNameAnotherFileAreRefused) {
    TempDir dir;
    std::filesystem::create_directories(dir.path / "card");
    std::ofstream(dir.path / "card" / "A.CSV") << "inside";
    std::ofstream(dir.path / "card" / "B\\C.CSV") << "backslash";
    std::ofstream(dir.path / "OUT.CSV") << "outside";
    Profile profile = Peer::fastProfile();
    profile.sdDir = (dir.path / "card").string();
    Peer peer(profile);

    for (const std::string& name :
         {std::string("A.CSV\0X", 7), std::string("../OUT.CSV"), std::string("..\\OUT.CSV"),
          std::string("B\\C.CSV"), std::string(".."), std::string("."), std::string()}) {
        const std::string shown = std::regex_replace(name, std::regex(std::string(1, '\0')), "\\0");
        peer.send(readRequest(name, 0, 4096));
        const auto reports = peer.collect(15);
        ASSERT_EQ(reports.size(), 1u) << shown << ": the end marker alone";
        EXPECT_EQ(text(reports[0]), "{@}") << shown;
        peer.send(deleteRequest(name));
        EXPECT_FALSE(peer.station->cardFile(name).has_value()) << shown;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path / "card" / "A.CSV"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / "card" / "B\\C.CSV"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / "OUT.CSV"));
    peer.send(cmd::FileList);
    const auto listed = decodeList(peer.collectUntilEnd());
    ASSERT_EQ(listed.size(), 1u) << "a name no request could give is not listed";
    EXPECT_EQ(listed[0].name, "A.CSV");
    peer.send(readRequest("A.CSV", 0, 4096));
    EXPECT_EQ(decodeContent(peer.collectUntilEnd()), "inside");
}

TEST(VirtualStation, EveryNthContentReportLosesItsClosingBrace) {
    Profile profile = Peer::fastProfile();
    profile.faults.corruptContentEvery = 3;
    Peer peer(profile);
    const CardFile f = defaultCard()[0];
    peer.send(readRequest(f.name, 0, 62 * 9));
    const auto reports = peer.collectUntilEnd();
    ASSERT_EQ(reports.size(), 10u);
    for (std::size_t i = 0; i < 9; ++i) {
        const bool closed = text(reports[i]).find('}') != std::string::npos;
        EXPECT_EQ(closed, (i + 1) % 3 != 0) << "report " << i + 1;
    }
    EXPECT_EQ(text(reports[9]), "{@}"); // the end marker is never damaged
    EXPECT_EQ(decodeContent(reports).size(), 62u * 6u);
}

TEST(VirtualStation, ReportsArriveOnePerReportTime) {
    Profile profile;
    profile.faults.reportMs = 4;
    profile.faults.answerDelayMs = 20;
    Peer peer(profile);
    const CardFile f = defaultCard()[0];
    const auto start = std::chrono::steady_clock::now();
    peer.send(readRequest(f.name, 0, 62 * 9)); // nine pieces and the end marker
    const auto reports = peer.collectUntilEnd();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(reports.size(), 10u);
    EXPECT_GE(elapsed, 20ms + 10 * 4ms);
    EXPECT_LT(elapsed, 500ms);
}

TEST(VirtualStation, ReadWakesPromptlyWhenReportIsDue) {
    Profile profile;
    profile.faults.answerDelayMs = 30;
    Peer peer(profile);
    std::atomic<int> result{-2};
    std::chrono::steady_clock::duration waited{};
    std::thread reader([&] {
        Block b{};
        const auto start = std::chrono::steady_clock::now();
        result = peer.reader->read(b.data(), b.size(), 2000);
        waited = std::chrono::steady_clock::now() - start;
    });
    std::this_thread::sleep_for(5ms);
    peer.send(cmd::Interval);
    reader.join();
    EXPECT_EQ(result.load(), 64);
    EXPECT_GE(waited, 30ms);
    EXPECT_LT(waited, 500ms);
}

TEST(VirtualStation, BlockingReadEndsWithUnplug) {
    Peer peer;
    std::atomic<int> result{-2};
    std::thread reader([&] {
        Block b{};
        result = peer.reader->read(b.data(), b.size(), -1);
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(result.load(), -2) << "a blocking read waits";
    peer.station->unplug();
    reader.join();
    EXPECT_EQ(result.load(), -1);
}

TEST(VirtualStation, SilentStationTakesFramesAndAnswersNothing) {
    Profile profile = Peer::fastProfile();
    profile.faults.silent = true;
    Peer peer(profile);
    EXPECT_TRUE(peer.send(cmd::Readings));
    EXPECT_TRUE(peer.send(cmd::WriteInterval, {9}));
    EXPECT_TRUE(peer.collect(30).empty());
    EXPECT_EQ(peer.station->receivedFrames().size(), 2u);
    EXPECT_EQ(peer.station->interval(), 9);
}

TEST(VirtualStation, UnplugAfterReportsEndsTheDevice) {
    Profile profile = Peer::fastProfile();
    profile.faults.unplugAfterReports = 3;
    Peer peer(profile);
    std::atomic<int> removals{0};
    peer.transport.setChangeListener([&](DeviceChange c) {
        if (c == DeviceChange::Removal)
            ++removals;
    });
    peer.send(cmd::FileList); // more than three reports
    Block b{};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(peer.reader->read(b.data(), b.size(), 200), 64) << "report " << i + 1;
    EXPECT_EQ(peer.reader->read(b.data(), b.size(), 200), -1);
    EXPECT_FALSE(peer.send(cmd::Readings));
    EXPECT_TRUE(peer.transport.enumerate(kStationVendorId, kStationProductId).empty());
    for (int i = 0; i < 100 && removals == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(removals.load(), 1);
    peer.transport.setChangeListener(nullptr);
}

TEST(VirtualStation, PlugAndUnplugAsTheProgramSeesThem) {
    Peer peer;
    std::mutex m;
    std::vector<DeviceChange> changes;
    peer.transport.setChangeListener([&](DeviceChange c) {
        std::lock_guard lock(m);
        changes.push_back(c);
    });
    const auto devices = peer.transport.enumerate(kStationVendorId, kStationProductId);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path, "sim:station");
    EXPECT_TRUE(peer.transport.enumerate(0x046D, kStationProductId).empty());

    peer.send(cmd::Settings); // pending answer is lost with the device
    peer.station->unplug();
    EXPECT_FALSE(peer.station->plugged());
    Block b{};
    EXPECT_EQ(peer.reader->read(b.data(), b.size(), 50), -1);
    EXPECT_FALSE(peer.send(cmd::Readings));
    EXPECT_EQ(peer.transport.open(VirtualTransport::kPath), nullptr);
    EXPECT_TRUE(peer.transport.enumerate(kStationVendorId, kStationProductId).empty());

    peer.station->plug();
    EXPECT_EQ(peer.transport.enumerate(kStationVendorId, kStationProductId).size(), 1u);
    // Handles from before the unplug stay dead; new ones work.
    EXPECT_EQ(peer.reader->read(b.data(), b.size(), 10), -1);
    auto writer = peer.transport.open(VirtualTransport::kPath);
    auto reader = peer.transport.open(VirtualTransport::kPath);
    ASSERT_TRUE(writer && reader);
    std::uint8_t report[65] = {0, 0x7B, cmd::Interval, 0x40, 0x7D};
    EXPECT_TRUE(writer->write(report, sizeof report));
    EXPECT_EQ(reader->read(b.data(), b.size(), 200), 64);

    for (int i = 0; i < 100; ++i) {
        {
            std::lock_guard lock(m);
            if (changes.size() >= 2)
                break;
        }
        std::this_thread::sleep_for(2ms);
    }
    peer.transport.setChangeListener(nullptr);
    std::lock_guard lock(m);
    EXPECT_EQ(changes, (std::vector<DeviceChange>{DeviceChange::Removal, DeviceChange::Arrival}));
}

TEST(VirtualStation, ReportWithOtherReportIdIsRefused) {
    Peer peer;
    std::uint8_t report[65] = {1, 0x7B, cmd::Interval, 0x40, 0x7D};
    EXPECT_FALSE(peer.writer->write(report, sizeof report));
    EXPECT_TRUE(peer.station->receivedFrames().empty());
}

} // namespace
} // namespace vellumet::sim
