#include "settings/alarm_logic.h"
#include "settings/calibration_logic.h"
#include "settings/language_logic.h"
#include "settings/setup_logic.h"

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::settings;

namespace {

Block limitsBlock(int highTenths, int lowTenths) {
    Block b{};
    for (std::size_t n = 1; n <= 8; ++n) {
        const auto hi = static_cast<std::uint16_t>(static_cast<std::int16_t>(highTenths));
        const auto lo = static_cast<std::uint16_t>(static_cast<std::int16_t>(lowTenths));
        b[4 * n - 3] = static_cast<std::uint8_t>(hi >> 8);
        b[4 * n - 2] = static_cast<std::uint8_t>(hi);
        b[4 * n - 1] = static_cast<std::uint8_t>(lo >> 8);
        b[4 * n] = static_cast<std::uint8_t>(lo);
    }
    return b;
}

Block humidityBlock() {
    Block b{};
    for (std::size_t n = 1; n <= 8; ++n) {
        b[2 * n - 1] = 80;
        b[2 * n] = 20;
    }
    return b;
}

} // namespace

TEST(AlarmLogic, FahrenheitLimitsTruncateAndUnchangedValuesGoBackExactly) {
    // 21.9 °C shows as 71.4 °F, which would read back as 218 tenths.
    const AlarmEditor editor(Block{}, limitsBlock(219, -100), humidityBlock(), true);
    EXPECT_EQ(editor.opening().temperatureHigh[0], QStringLiteral("71.4"));
    AlarmForm form = editor.opening();
    form.temperatureHigh[1] = QStringLiteral("77.0");
    form.temperatureHigh[2] = QStringLiteral("71.6");
    const Result<AlarmFrames> frames = editor.frames(form);
    ASSERT_TRUE(frames);
    const Block& t = frames->temperatures.bytes();
    EXPECT_EQ(t[1], 0x14);
    EXPECT_EQ(t[2], 0x00);
    EXPECT_EQ(t[3], 219); // unchanged channel 1: as the station sent it
    EXPECT_EQ(t[6], 0x00);
    EXPECT_EQ(t[7], 0xFA); // 77.0 °F -> 250
    EXPECT_EQ(t[10], 0x00);
    EXPECT_EQ(t[11], 219); // 71.6 °F -> 219, not 220
    EXPECT_EQ(t[34], 0x40);
    EXPECT_EQ(t[35], 0x7D);
}

TEST(AlarmLogic, ChecksInOrderWithTheirMessages) {
    const AlarmEditor editor(Block{}, limitsBlock(350, -100), humidityBlock(), false);
    struct Case {
        QString temperature;
        QString humidity;
        const char* message; // nullptr: accepted
    };
    const Case cases[] = {
        {"60.0", "99", nullptr},
        {"-40.0", "1", nullptr},
        {"60.09", "50", nullptr},
        {"60.1", "50", "Temp Error"},
        {"-40.1", "50", "Temp Error"},
        {"abc", "50", "Temp Error"}, // letters are not sent as 0 °C
        {"30", "100", "Humi Error"},
        {"30", "0", "Humi Error"},
        {"30", "--", "Humi Error"},
        {"70", "100", "Temp Error"}, // temperatures are checked first
    };
    for (const Case& c : cases) {
        AlarmForm form = editor.opening();
        form.temperatureHigh[3] = c.temperature;
        form.humidityLow[5] = c.humidity;
        const Result<AlarmFrames> frames = editor.frames(form);
        if (!c.message) {
            EXPECT_TRUE(frames) << c.temperature.toStdString();
            if (frames && c.temperature == "60.09") {
                EXPECT_EQ(frames->temperatures.bytes()[15], 600 & 0xFF);
            }
        } else {
            ASSERT_FALSE(frames) << c.temperature.toStdString();
            EXPECT_EQ(frames.error().text(), c.message);
        }
    }
}

TEST(CalibLogic, CorrectedReadingsAndRawBytes) {
    Readings readings{};
    readings[0] = {58.0f, 95};
    readings[1] = {20.0f, 3};
    Block offsets{};
    offsets[3] = 2; // CH1 humidity offset 2
    const CalibEditor editor(offsets, readings, false);
    EXPECT_FALSE(editor.temperatureEditable(3));

    struct Case {
        int channel;
        QString temperature;
        QString humidity;
        const char* message;
    };
    const Case cases[] = {
        {1, "2.0", "2", nullptr},   {1, "2.1", "2", " CH1 Temp Out of value."},
        {1, "0.0", "6", nullptr},   {1, "0.0", "7", " CH1 Humi Out of value."},
        {2, "0.0", "-3", nullptr},  {2, "0.0", "-4", " CH2 Humi Out of value."},
        {2, "-1.5", "-3", nullptr},
    };
    for (const Case& c : cases) {
        CalibForm form = editor.opening();
        form.temperature[static_cast<std::size_t>(c.channel - 1)] = c.temperature;
        form.humidity[static_cast<std::size_t>(c.channel - 1)] = c.humidity;
        const Result<CommandFrame> frame = editor.frame(form);
        if (c.message) {
            ASSERT_FALSE(frame);
            EXPECT_EQ(frame.error().text(), c.message);
        } else {
            ASSERT_TRUE(frame) << frame.error().text();
        }
    }
    CalibForm form = editor.opening();
    form.temperature[1] = "-1.5";
    form.humidity[1] = "-3";
    const Block b = editor.frame(form)->bytes();
    EXPECT_EQ(b[1], 0x11);
    EXPECT_EQ(b[5], 0xFF); // CH2 temperature at 3n-1, 3n
    EXPECT_EQ(b[6], 0xF1);
    EXPECT_EQ(b[7], 0xFD); // -3 as two's complement
    EXPECT_EQ(b[4], 2);    // CH1 humidity unchanged
    EXPECT_EQ(b[26], 0x40);
    EXPECT_EQ(b[27], 0x7D);
}

TEST(CalibLogic, FahrenheitOffsetUnchangedGoesBackExactly) {
    Block offsets{};
    offsets[2] = 3; // 0.3 °C shows as 0.5 °F
    const CalibEditor editor(offsets, Readings{}, true);
    EXPECT_EQ(editor.opening().temperature[0], QStringLiteral("0.5"));
    EXPECT_EQ(editor.frame(editor.opening())->bytes()[3], 3);
    CalibForm form = editor.opening();
    form.temperature[0] = "2.7";
    EXPECT_EQ(editor.frame(form)->bytes()[3], 15);
}

TEST(SetupLogic, UnmatchedBytesAreKeptAndEmptyAreasRefused) {
    Block answer{};
    answer[1] = 7; // graph type matching no item
    answer[2] = 24;
    answer[6] = 0xF4; // -12
    answer[7] = 0;
    for (std::size_t a = 0; a < 8; ++a)
        answer[8 + 4 * a + 3] = 1;
    const StationSettings station = decodeStationSettings(answer);
    SetupSelection sel = selectionFor(station);
    EXPECT_EQ(sel.graphType, -1);
    EXPECT_EQ(sel.timeZone, 0);
    sel.timeZone = 24; // "12"
    StationSettings wanted = applySelection(station, sel);
    const Result<CommandFrame> frame = setupSaveFrame(wanted, kFiveAreas);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->bytes()[2], 7); // kept, never an undefined byte of our own
    EXPECT_EQ(frame->bytes()[7], 12);
    EXPECT_EQ(frame->bytes()[29], 0x40);
    EXPECT_EQ(frame->bytes()[30], 0x7D);

    AreaGrid grid;
    grid.load(station, kMaxAreas);
    grid.select(1, 0, true);
    const std::uint32_t all = 0xFFFFFF;
    grid.select(2, all); // area 2 stored with every box checked
    EXPECT_EQ(grid.select(1, grid.masks()[2]), all);
    wanted.areaMasks = grid.masksForSave(0); // area 2 cleared and saved while shown
    const Result<CommandFrame> refused = setupSaveFrame(wanted, kMaxAreas);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().text(), "CH Area input error.");

    EXPECT_FALSE(intervalFromText("241"));
    EXPECT_FALSE(intervalFromText("abc"));
    EXPECT_EQ(*intervalFromText("240"), 240);
}

TEST(LanguageLogic, FrameByte) {
    EXPECT_EQ(languageFrame(app::UiLanguage::German).bytes()[2], 0);
    EXPECT_EQ(languageFrame(app::UiLanguage::English).bytes()[2], 1);
    EXPECT_EQ(languageFrame(app::UiLanguage::English).bytes()[3], 0x40);
}
