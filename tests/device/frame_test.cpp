#include "device/card_frames.h"
#include "device/command_frame.h"
#include "device/station_blocks.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace vellumet {
namespace {

TEST(CommandFrame, QueryIsBraceCodeAtBraceThenZeros) {
    for (std::uint8_t code :
         {cmd::Readings, cmd::Settings, cmd::Identification, cmd::ScreenStatus, cmd::EndOfWrite}) {
        const Block b = CommandFrame(code).bytes();
        EXPECT_EQ(b[0], 0x7B);
        EXPECT_EQ(b[1], code);
        EXPECT_EQ(b[2], 0x40);
        EXPECT_EQ(b[3], 0x7D);
        for (std::size_t i = 4; i < b.size(); ++i)
            ASSERT_EQ(b[i], 0) << "byte " << i;
    }
}

TEST(CommandFrame, PayloadIsWrittenAsIsBeforeTheTerminator) {
    const std::uint8_t payload[] = {0x40, 0x7D, 0x00, 0x7B}; // no escaping of look-alikes
    const Block b = CommandFrame(cmd::SetLanguage, payload).bytes();
    const Block expected{0x7B, 0x0B, 0x40, 0x7D, 0x00, 0x7B, 0x40, 0x7D};
    EXPECT_EQ(b, expected);
}

TEST(CommandFrame, LongestPayloadFillsTheFrame) {
    std::array<std::uint8_t, 70> payload{};
    payload.fill(0x11);
    const Block b = CommandFrame(cmd::FileRead, payload).bytes();
    EXPECT_EQ(b[61], 0x11);
    EXPECT_EQ(b[62], 0x40);
    EXPECT_EQ(b[63], 0x7D);
}

// The station's command table: code, the kind its answer is filed under,
// and the two waits of its exchange. Every command the program sends
// stands here once.
TEST(CommandTable, EveryCommandKeepsItsCodeKindAndWaits) {
    struct Row {
        std::uint8_t code;
        int kind;
        int before, after;
    };
    const Row table[] = {
        {0x03, 8, 2000, 2000},  {0x04, 1, 5000, 5000}, {0xFE, 13, 1000, 800},
        {0x41, 11, 2000, 2000}, {0x05, 3, 2000, 2000}, {0x06, 4, 1000, 1000},
        {0x08, 6, 1000, 1000},  {0x09, 7, 1000, 1000}, {0x01, 9, 3000, 2000},
        {0x02, 10, 3000, 3000}, {0x20, 19, 3000, 500}, {0x40, 19, 1000, 1000},
        {0x30, 19, 1000, 1000},
    };
    const auto shapes = queryShapes();
    ASSERT_EQ(shapes.size(), std::size(table));
    for (const Row& row : table) {
        const auto found = std::find_if(shapes.begin(), shapes.end(),
                                        [&](const QueryShape& s) { return s.code == row.code; });
        ASSERT_NE(found, shapes.end()) << "code " << int(row.code);
        EXPECT_EQ(static_cast<int>(found->kind), row.kind) << "code " << int(row.code);
        EXPECT_EQ(found->timing.before, row.before) << "code " << int(row.code);
        EXPECT_EQ(found->timing.after, row.after) << "code " << int(row.code);
    }
    // Writes with the screen-status check: settings and the clock from the menu.
    EXPECT_EQ(write::Settings.linkWait, 5000);
    EXPECT_EQ(write::Settings.closingWait, 500);
    EXPECT_EQ(write::Clock.linkWait, 3000);
    EXPECT_EQ(write::Clock.closingWait, 1000);
    const std::pair<std::uint8_t, std::uint8_t> codes[] = {
        {cmd::WriteSettings, 0x10}, {cmd::WriteCalibration, 0x11}, {cmd::WriteAlarm1, 0x12},
        {cmd::WriteAlarm3, 0x14},   {cmd::WriteAlarm4, 0x15},      {cmd::SetLanguage, 0x0B},
        {cmd::EndOfWrite, 0x2F},    {cmd::ScreenStatus, 0x51},
    };
    for (const auto& [code, expected] : codes)
        EXPECT_EQ(code, expected);
    EXPECT_EQ(static_cast<int>(ResponseKind::ScreenStatus), 12);
}

TEST(CardFrames, NameAndBigEndianOffsetsThenTrailer) {
    const auto read = fileReadRequest("A\xC3\xA9.CSV", 0x01020304, 0xA0B0C0D0);
    ASSERT_TRUE(read.ok());
    const Block expected{0x7B, 0x02, 'A',  0xE9, '.',  'C',  'S',  'V',  0x01,
                         0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0, 0x40, 0x7D};
    EXPECT_EQ(read->bytes(), expected) << "é goes out as one Latin-1 byte";

    const auto del = fileDeleteRequest("B.CSV");
    ASSERT_TRUE(del.ok());
    EXPECT_EQ(del->bytes(), (Block{0x7B, 0x20, 'B', '.', 'C', 'S', 'V', 0x40, 0x7D}));

    EXPECT_TRUE(fileReadRequest(std::string(52, 'x'), 0, 1).ok());
    EXPECT_EQ(fileReadRequest(std::string(53, 'x'), 0, 1).code(), Errc::InvalidInput);
    EXPECT_TRUE(fileDeleteRequest(std::string(60, 'x')).ok());
    EXPECT_EQ(fileDeleteRequest(std::string(61, 'x')).code(), Errc::InvalidInput);
    EXPECT_EQ(fileDeleteRequest("").code(), Errc::InvalidInput);
    EXPECT_EQ(fileDeleteRequest(std::string("A\0B", 3)).code(), Errc::InvalidInput);
    EXPECT_EQ(fileDeleteRequest("\xE2\x82\xAC.CSV").code(), Errc::InvalidInput)
        << "no Latin-1 euro";
}

TEST(SettingsFrame, FiveAndEightAreasEndRightAfterTheirMasks) {
    StationSettings s;
    s.graphType = 2;
    s.graphTimeHours = 30; // not one of the four: sent as 72
    s.timeFormat = 1;
    s.dateFormat = 2;
    s.daylightSaving = 1;
    s.timeZoneHours = -5;
    s.unit = 1;
    for (std::size_t a = 0; a < s.areaMasks.size(); ++a)
        s.areaMasks[a] = 0x010203u + static_cast<std::uint32_t>(a);
    const Block five = settingsFrame(s, 5).bytes();
    const Block head{0x7B, 0x10, 2, 72, 1, 2, 1, 0xFB, 1, 0x00, 0x01, 0x02, 0x03};
    EXPECT_TRUE(std::equal(head.begin(), head.begin() + 13, five.begin()));
    EXPECT_EQ(five[25], 0x00);
    EXPECT_EQ(five[28], 0x07) << "area 5 mask, last byte";
    EXPECT_EQ(five[29], 0x40);
    EXPECT_EQ(five[30], 0x7D);
    EXPECT_EQ(five[31], 0x00);
    const Block eight = settingsFrame(s, 8).bytes();
    EXPECT_EQ(eight[40], 0x0A) << "area 8 mask, last byte";
    EXPECT_EQ(eight[41], 0x40);
    EXPECT_EQ(eight[42], 0x7D);
}

} // namespace
} // namespace vellumet
