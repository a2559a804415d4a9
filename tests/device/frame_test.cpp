#include "device/command_frame.h"

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

TEST(CommandTable, TimeoutsAndKinds) {
    EXPECT_EQ(query::Readings.kind, ResponseKind::Readings);
    EXPECT_EQ(query::Readings.timing.before, 2000);
    EXPECT_EQ(query::Settings.timing.after, 5000);
    EXPECT_EQ(query::Identification.timing.before, 1000);
    EXPECT_EQ(query::Identification.timing.after, 800);
    EXPECT_EQ(query::Interval.kind, ResponseKind::Interval);
    EXPECT_EQ(query::Calibration.kind, ResponseKind::Calibration);
    EXPECT_EQ(query::Alarm3.code, 0x08);
    EXPECT_EQ(query::Alarm3.kind, ResponseKind::Alarm3);
    EXPECT_EQ(query::FileList.timing.before, 3000);
    EXPECT_EQ(query::FileList.timing.after, 2000);
    EXPECT_EQ(query::DeleteFile.timing.after, 500);
    EXPECT_EQ(static_cast<int>(ResponseKind::NoAnswer), 19);
}

} // namespace
} // namespace vellumet
