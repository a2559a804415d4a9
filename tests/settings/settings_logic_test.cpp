#include "settings/alarm_logic.h"
#include "settings/calibration_logic.h"
#include "settings/language_logic.h"
#include "settings/setup_logic.h"
#include "settings/station_profile.h"

#include <QJsonDocument>

#include <span>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::settings;

namespace {

Block blockOf(std::initializer_list<std::uint8_t> bytes) {
    Block b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

// Every limit pair the same: channel n high then low at 4n-3 .. 4n.
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

int tenthsAt(const Block& frame, std::size_t at) {
    return static_cast<std::int16_t>(frame[at] << 8 | frame[at + 1]);
}

// Where a typed text goes: CH4's alarm limits, CH7's calibration offsets.
enum Box { TempHigh, TempLow, Humi, OffsetTemp, OffsetHumi };

// The value a text in one box sends, or the error its Save gives.
Result<int> storedFor(Box box, bool fahrenheit, const QString& text) {
    if (box == OffsetTemp || box == OffsetHumi) {
        const CalibEditor editor(Block{}, Readings{}, fahrenheit);
        CalibForm form = editor.opening();
        (box == OffsetTemp ? form.temperature : form.humidity)[6] = text;
        const Result<CommandFrame> frame = editor.frame(form);
        if (!frame)
            return frame.error();
        return box == OffsetTemp ? tenthsAt(frame->bytes(), 20)
                                 : static_cast<std::int8_t>(frame->bytes()[22]);
    }
    const AlarmEditor editor(Block{}, limitsBlock(350, -100), humidityBlock(), fahrenheit);
    AlarmForm form = editor.opening();
    (box == TempHigh  ? form.temperatureHigh
     : box == TempLow ? form.temperatureLow
                      : form.humidityLow)[3] = text;
    const Result<AlarmFrames> frames = editor.frames(form);
    if (!frames)
        return frames.error();
    return box == Humi ? frames->humidities.bytes()[9]
                       : tenthsAt(frames->temperatures.bytes(), box == TempHigh ? 14 : 16);
}

} // namespace

TEST(AlarmLogic, FramesByteForByte) {
    const Block switches = blockOf({0x00, 1, 0, 0x03, 0x0C, 0x30, 0xC0});
    Block limits = limitsBlock(350, -100);
    limits[1] = 0x00, limits[2] = 0xFA; // CH1 high 25.0
    limits[3] = 0xFF, limits[4] = 0x38; // CH1 low -20.0
    limits[5] = 0x7F, limits[6] = 0xFF; // CH2 high: the station's other no-value pair
    limits[7] = 0xFF, limits[8] = 0xFF;
    Block humidity{};
    for (std::size_t n = 1; n <= 8; ++n) {
        humidity[2 * n - 1] = 80;
        humidity[2 * n] = static_cast<std::uint8_t>(20 + n);
    }
    const AlarmEditor editor(switches, limits, humidity, false);
    AlarmForm form = editor.opening();
    form.temperatureSwitch = 1;
    form.humidityHighOn[7] = true;
    form.temperatureHigh[2] = "30.5";
    form.temperatureLow[3] = "--";
    form.humidityHigh[4] = "75";
    const Result<AlarmFrames> frames = editor.frames(form);
    ASSERT_TRUE(frames) << frames.error().text();

    EXPECT_EQ(frames->switches.bytes(),
              blockOf({0x7B, 0x12, 1, 1, 0x83, 0x0C, 0x30, 0xC0, 0x40, 0x7D}));
    EXPECT_EQ(frames->temperatures.bytes(),
              blockOf({0x7B, 0x14, 0x00, 0xFA, 0xFF, 0x38, 0x7F, 0xFF, 0xFF, 0xFF, 0x01, 0x31,
                       0xFF, 0x9C, 0x01, 0x5E, 0xFF, 0xFF, 0x01, 0x5E, 0xFF, 0x9C, 0x01, 0x5E,
                       0xFF, 0x9C, 0x01, 0x5E, 0xFF, 0x9C, 0x01, 0x5E, 0xFF, 0x9C, 0x40, 0x7D}));
    EXPECT_EQ(frames->humidities.bytes(),
              blockOf({0x7B, 0x15, 80, 21, 80, 22, 80, 23, 80,   24,
                       75,   25,   80, 26, 80, 27, 80, 28, 0x40, 0x7D}));
}

// Each text typed into a box against what its Save sends: the range at both
// ends in either unit, the cut towards zero (below 32 °F not the same as
// rounding down), and the texts that would go out as a no-value pair.
struct TypedRow {
    Box box;
    bool fahrenheit;
    QString text;
    int stored;                    // tenths of °C, percent; -1 for 0xFF 0xFF
    const char* refused = nullptr; // part of the message, when refused
};

void expectRows(std::span<const TypedRow> rows) {
    for (const TypedRow& row : rows) {
        const std::string shown = std::to_string(row.box) + (row.fahrenheit ? " °F " : " °C ") +
                                  '"' + row.text.toStdString() + '"';
        const Result<int> got = storedFor(row.box, row.fahrenheit, row.text);
        if (row.refused) {
            ASSERT_FALSE(got) << shown << " taken as " << *got;
            EXPECT_NE(got.error().text().find(row.refused), std::string::npos)
                << shown << ": " << got.error().text();
        } else {
            ASSERT_TRUE(got) << shown << ": " << got.error().text();
            EXPECT_EQ(*got, row.stored) << shown;
        }
    }
}

TEST(AlarmLogic, TypedLimits) {
    const bool C = false, F = true;
    const char* highC = "Temp Error: the high limit of CH4 must be from -40.0 to 60.0 °C.";
    const char* lowC = "Temp Error: the low limit of CH4 must be from -40.0 to 60.0 °C.";
    const char* highF = "Temp Error: the high limit of CH4 must be from -40.0 to 140.0 °F.";
    const char* lowF = "Temp Error: the low limit of CH4 must be from -40.0 to 140.0 °F.";
    const char* humidity = "Humi Error: the low limit of CH4 must be from 1 to 99 %.";
    const char* noValueC = "CH4: -0.1 °C cannot be stored: the station reads -0.1 °C as no "
                           "value. Use -0.2 or 0.0.";
    const char* noValueF = "CH4: 31.7 to 31.8 °F cannot be stored: the station reads -0.1 °C as "
                           "no value. Use 31.6 or 31.9.";
    const char *useC = "Use -0.2 or 0.0.", *useF = "Use 31.6 or 31.9.";
    // Letters are not sent as 0 °C; "--" clears a temperature limit but not
    // a humidity limit.
    const TypedRow rows[] = {
        {TempHigh, C, "60.0", 600},         {TempHigh, C, "60.09", 600},
        {TempHigh, C, "60.1", 0, highC},    {TempLow, C, "-40.0", -400},
        {TempLow, C, "-40.09", -400},       {TempLow, C, "-40.1", 0, lowC},
        {TempLow, C, "-20.05", -200},       {TempLow, C, "-0.25", -2},
        {TempHigh, C, " 25.5 ", 255},       {TempHigh, C, "--", -1},
        {TempHigh, C, "abc", 0, highC},     {TempHigh, C, "", 0, highC},
        {TempHigh, C, "-0.1", 0, noValueC}, {TempLow, C, "-0.15", 0, useC},
    };
    const TypedRow fahrenheit[] = {
        {TempHigh, F, "140.0", 600},      {TempHigh, F, "140.1", 600},
        {TempHigh, F, "140.2", 0, highF}, {TempLow, F, "-40.0", -400},
        {TempLow, F, "-40.1", -400},      {TempLow, F, "-40.2", 0, lowF},
        {TempLow, F, "77.0", 250},        {TempLow, F, "71.6", 219},
        {TempLow, F, "31.9", 0},          {TempLow, F, "31.6", -2},
        {TempLow, F, "31.5", -2},         {TempLow, F, "28.5", -19},
        {TempLow, F, "14.0", -100},       {TempLow, F, "0.0", -177},
        {TempLow, F, "-39.9", -399},      {TempHigh, F, "31.8", 0, noValueF},
        {TempLow, F, "31.65", 0, useF},
    };
    const TypedRow humidities[] = {
        {Humi, C, "1", 1},
        {Humi, C, "99", 99},
        {Humi, F, " 50 ", 50},
        {Humi, C, "0", 0, humidity},
        {Humi, C, "100", 0, humidity},
        {Humi, C, "-1", 0, humidity},
        {Humi, C, "--", 0, humidity},
        {Humi, C, "abc", 0, humidity},
        {Humi, C, "50.5", 0, humidity},
    };
    expectRows(rows);
    expectRows(fahrenheit);
    expectRows(humidities);
    // Temperatures are checked before humidities.
    const AlarmEditor editor(Block{}, limitsBlock(350, -100), humidityBlock(), false);
    AlarmForm form = editor.opening();
    form.humidityLow[0] = "100";
    form.temperatureHigh[7] = "70";
    EXPECT_EQ(editor.frames(form).error().text().rfind("Temp Error: the high limit of CH8", 0), 0u);
}

// Offsets typed into CH7, which has no reading: what fits the frame's 16 and
// 8 signed bits goes out; in °F an offset is a difference (no 32 comes off).
TEST(CalibLogic, TypedOffsets) {
    const bool C = false, F = true;
    const char* temp = " CH7 Temp Out of value.";
    const char* humi = " CH7 Humi Out of value.";
    const char* noValueC = " CH7 -0.1 °C cannot be stored: the station reads -0.1 °C as no "
                           "value. Use -0.2 or 0.0.";
    const char* noValueF = " CH7 -0.3 to -0.2 °F cannot be stored: the station reads -0.1 °C as "
                           "no value. Use -0.4 or -0.1.";
    const char* use = "Use 3276.6.";
    const TypedRow rows[] = {
        {OffsetTemp, F, "2.7", 15},           {OffsetTemp, F, "-2.7", -15},
        {OffsetTemp, F, "-1.0", -5},          {OffsetTemp, F, "-0.5", -2},
        {OffsetTemp, F, "-0.4", -2},          {OffsetTemp, F, "-0.1", 0},
        {OffsetTemp, F, "-3.6", -20},         {OffsetTemp, C, "-0.25", -2},
        {OffsetTemp, C, "-1.55", -15},        {OffsetTemp, C, "3276.6", 32766},
        {OffsetTemp, C, "-3276.8", -32768},   {OffsetTemp, C, "3276.8", 0, temp},
        {OffsetTemp, C, "-3276.9", 0, temp},  {OffsetTemp, C, "--", -1},
        {OffsetTemp, C, "abc", 0, temp},      {OffsetTemp, C, "-0.1", 0, noValueC},
        {OffsetTemp, F, "-0.2", 0, noValueF}, {OffsetTemp, C, "3276.7", 0, use},
    };
    const TypedRow humidities[] = {
        {OffsetHumi, C, "127", 127},     {OffsetHumi, C, "-128", -128},
        {OffsetHumi, F, "-3", -3},       {OffsetHumi, C, "--", -1},
        {OffsetHumi, C, "128", 0, humi}, {OffsetHumi, C, "-129", 0, humi},
        {OffsetHumi, C, "abc", 0, humi}, {OffsetHumi, C, "1.5", 0, humi},
    };
    expectRows(rows);
    expectRows(humidities);
}

// What the station holds goes back as it sent it when its box is left as
// shown, even where the text shown would read back as another value; a kept
// alarm limit out of range is refused like a typed one.
TEST(AlarmLogic, UntouchedLimitsGoBackAsTheStationSentThem) {
    const struct {
        bool fahrenheit;
        std::uint16_t temperature; // CH1's high limits as the station holds them
        std::uint8_t humidity;
        QString shown, humidityShown;
        const char* refused = nullptr;
    } rows[] = {
        {true, 219, 80, "71.4", "80"}, // 71.4 °F would be stored as 218
        {true, 0xFFFE, 80, "31.6", "80"},
        {true, 600, 99, "140.0", "99"},
        {false, 0x7FFF, 1, "--", "1"},
        {true, 0xFFFF, 80, "--", "80"},
        {false, 650, 80, "65.0", "80", "Temp Error: the high limit of CH1"},
        {false, 350, 0xFF, "35.0", "--", "Humi Error: the high limit of CH1"},
        {false, 350, 100, "35.0", "100", "Humi Error: the high limit of CH1"},
    };
    for (const auto& row : rows) {
        Block limits = limitsBlock(350, -100);
        limits[1] = static_cast<std::uint8_t>(row.temperature >> 8);
        limits[2] = static_cast<std::uint8_t>(row.temperature);
        Block humidity = humidityBlock();
        humidity[1] = row.humidity;
        const AlarmEditor editor(Block{}, limits, humidity, row.fahrenheit);
        EXPECT_EQ(editor.opening().temperatureHigh[0], row.shown);
        EXPECT_EQ(editor.opening().humidityHigh[0], row.humidityShown);
        const Result<AlarmFrames> frames = editor.frames(editor.opening());
        if (row.refused) {
            ASSERT_FALSE(frames) << row.shown.toStdString();
            EXPECT_NE(frames.error().text().find(row.refused), std::string::npos);
        } else {
            ASSERT_TRUE(frames) << row.shown.toStdString() << ": " << frames.error().text();
            EXPECT_TRUE(std::equal(limits.begin() + 1, limits.begin() + 33,
                                   frames->temperatures.bytes().begin() + 2));
            EXPECT_EQ(frames->humidities.bytes()[2], row.humidity);
        }
    }
}

// The switches: the station's byte 0 shows ON and 1 OFF; any other byte shows
// no selection and goes back as it came. Each enable box is one bit of its
// byte, channel 1 the lowest.
TEST(AlarmLogic, SwitchesAndEnableBits) {
    const struct {
        std::uint8_t station;
        int shown, chosen;
        std::uint8_t sent;
    } switches[] = {{0, 0, 1, 1},   {1, 1, 0, 0},         {1, 1, 1, 1},
                    {2, -1, -1, 2}, {0xFF, -1, -1, 0xFF}, {2, -1, 0, 0}};
    for (const auto& row : switches) {
        const AlarmEditor editor(blockOf({0, row.station, row.station}), limitsBlock(350, -100),
                                 humidityBlock(), false);
        AlarmForm form = editor.opening();
        EXPECT_EQ(form.humiditySwitch, row.shown) << int(row.station);
        EXPECT_EQ(form.temperatureSwitch, row.shown) << int(row.station);
        form.humiditySwitch = form.temperatureSwitch = row.chosen;
        const Block sent = editor.frames(form)->switches.bytes();
        EXPECT_EQ(sent[2], row.sent) << "humidity " << int(row.station);
        EXPECT_EQ(sent[3], row.sent) << "temperature " << int(row.station);
    }
    const struct {
        std::array<bool, kChannelCount> AlarmForm::*box;
        std::size_t byte; // in the station's block; the frame's is one further on
        int channel;
    } enables[] = {{&AlarmForm::humidityHighOn, 3, 1},
                   {&AlarmForm::humidityLowOn, 4, 8},
                   {&AlarmForm::temperatureHighOn, 5, 3},
                   {&AlarmForm::temperatureLowOn, 6, 6}};
    const AlarmForm none =
        AlarmEditor(Block{}, limitsBlock(350, -100), humidityBlock(), false).opening();
    for (const auto& row : enables) {
        const auto i = static_cast<std::size_t>(row.channel - 1);
        Block station{};
        station[row.byte] = static_cast<std::uint8_t>(1u << i);
        const AlarmEditor editor(station, limitsBlock(350, -100), humidityBlock(), false);
        AlarmForm form = none;
        (form.*row.box)[i] = true;
        EXPECT_EQ(editor.opening(), form) << "byte " << row.byte;
        (form.*row.box)[i] = false;
        (form.*row.box)[7 - i] = true;
        Block sent = editor.frames(form)->switches.bytes();
        EXPECT_EQ(sent[row.byte + 1], 1u << (7 - i)) << "byte " << row.byte;
        sent[row.byte + 1] = 0;
        EXPECT_EQ(sent, editor.frames(none)->switches.bytes()) << "only its own bit";
    }
}

// The command line's keys onto an Alarm form.
TEST(AlarmLogic, CommandLineKeys) {
    const struct {
        int channel;
        const char *key, *value;
        void (*change)(AlarmForm&); // nullptr: refused with this message
        const char* refused = nullptr;
    } rows[] = {
        {3, "temperature-high", " 30.5 ", [](AlarmForm& f) { f.temperatureHigh[2] = "30.5"; }},
        {8, "temperature-low", "--", [](AlarmForm& f) { f.temperatureLow[7] = "--"; }},
        {1, "humidity-high", "abc", [](AlarmForm& f) { f.humidityHigh[0] = "abc"; }},
        {3, "humidity-low", "70", [](AlarmForm& f) { f.humidityLow[2] = "70"; }},
        {3, "temperature-high-alarm", "ON", [](AlarmForm& f) { f.temperatureHighOn[2] = true; }},
        {3, "temperature-low-alarm", "on", [](AlarmForm& f) { f.temperatureLowOn[2] = true; }},
        {3, "humidity-high-alarm", "on", [](AlarmForm& f) { f.humidityHighOn[2] = true; }},
        {3, "humidity-low-alarm", "on", [](AlarmForm& f) { f.humidityLowOn[2] = true; }},
        {3, "temperature-alarm", "off", [](AlarmForm& f) { f.temperatureSwitch = 1; }},
        {3, "humidity-alarm", "Off", [](AlarmForm& f) { f.humiditySwitch = 1; }},
        {3, "humidity-alarm", "yes", nullptr,
         "humidity-alarm: 'yes' is not accepted; use on or off"},
        {3, "dew-point", "on", nullptr, "unknown alarm setting 'dew-point'; use temperature-high,"},
        {0, "humidity-low", "30", nullptr, "the channel must be 1 to 8"},
        {9, "humidity-low", "30", nullptr, "the channel must be 1 to 8"},
    };
    AlarmForm opened =
        AlarmEditor(Block{}, limitsBlock(350, -100), humidityBlock(), false).opening();
    for (const auto& row : rows) {
        AlarmForm form = opened, expected = opened;
        const Status set = applyAlarmKey(form, row.channel, row.key, row.value);
        if (row.change) {
            EXPECT_TRUE(set) << row.key << ": " << set.error().text();
            row.change(expected);
        } else {
            ASSERT_FALSE(set) << row.key << '=' << row.value;
            EXPECT_NE(set.error().text().find(row.refused), std::string::npos)
                << set.error().text();
        }
        EXPECT_EQ(form, expected) << row.key << '=' << row.value;
    }
}

// Read-back: a block holds a write frame when the bytes its payload lands on
// match, whatever follows them.
TEST(AlarmLogic, ReadBackComparesThePayloadOnly) {
    const AlarmEditor alarm(blockOf({0, 0, 1, 3, 4, 5, 6}), limitsBlock(350, -100), humidityBlock(),
                            false);
    const Result<AlarmFrames> alarms = alarm.frames(alarm.opening());
    Block offsets{};
    offsets[24] = 0x05;
    const CalibEditor calib(offsets, Readings{}, false);
    const Result<CommandFrame> calibration = calib.frame(calib.opening());
    ASSERT_TRUE(alarms && calibration);
    StationSettings settings;
    settings.areaMasks.fill(0xABCDEF);
    const struct {
        CommandFrame frame;
        int areas;
        std::size_t payload;
    } rows[] = {
        {alarms->switches, kMaxAreas, 6},
        {alarms->temperatures, kMaxAreas, 32},
        {alarms->humidities, kMaxAreas, 16},
        {*calibration, kMaxAreas, 24},
        {settingsFrame(settings, kFiveAreas), kFiveAreas, 27},
        {settingsFrame(settings, kMaxAreas), kMaxAreas, 39},
    };
    for (const auto& row : rows) {
        const int code = row.frame.code();
        Block block{};
        block.fill(0x55);
        block = blockAfterWrite(block, row.frame, row.areas);
        EXPECT_TRUE(std::equal(block.begin() + 1, block.begin() + 1 + row.payload,
                               row.frame.bytes().begin() + 2))
            << code;
        EXPECT_EQ(block[row.payload + 1], 0x55) << code << ": beyond the payload";
        for (const std::size_t at :
             {std::size_t{0}, std::size_t{1}, row.payload, row.payload + 1}) {
            Block other = block;
            other[at] ^= 0x01;
            const bool inPayload = at >= 1 && at <= row.payload;
            EXPECT_EQ(blockHolds(other, row.frame, row.areas), !inPayload)
                << code << " byte " << at;
        }
    }
}

TEST(CalibLogic, FrameByteForByte) {
    const Block offsets =
        blockOf({0x00, 0x00, 0x0F, 0x05, 0xFF, 0xF1, 0xFB, 0x7F, 0xFF, 0x00, 0x00, 0x03});
    Readings readings{};
    readings[0] = {20.0f, 50};
    readings[1] = {20.0f, 50};
    const CalibEditor editor(offsets, readings, false);
    EXPECT_FALSE(editor.temperatureEditable(3));
    EXPECT_TRUE(editor.humidityEditable(2));
    CalibForm form = editor.opening();
    form.temperature[3] = "2.5";
    form.humidity[3] = "-3";
    form.temperature[4] = "--";
    const Result<CommandFrame> frame = editor.frame(form);
    ASSERT_TRUE(frame) << frame.error().text();
    EXPECT_EQ(frame->bytes(), blockOf({0x7B, 0x11, 0x00, 0x0F, 0x05, 0xFF, 0xF1, 0xFB, 0x7F, 0xFF,
                                       0x00, 0x00, 0x19, 0xFD, 0xFF, 0xFF, 0x00, 0,    0,    0,
                                       0,    0,    0,    0,    0,    0,    0x40, 0x7D}));
}

// The corrected reading (the reading with the station's offset taken out and
// the new one put in) must stay within -40.0 to 60.0 °C and 0 to 99 %; a
// channel without a reading is not checked.
TEST(CalibLogic, CorrectedReadingsStayInRange) {
    Readings readings{};
    readings[0] = {58.0f, 95}; // held with offsets of -1.0 °C and +2 %
    readings[1] = {20.0f, 3};
    readings[2] = {-39.0f, 50};
    const Block offsets = blockOf({0x00, 0xFF, 0xF6, 2});
    const struct {
        bool fahrenheit;
        int channel;
        QString temperature, humidity;
        const char* refused = nullptr;
    } rows[] = {
        {false, 1, "1.0", "2"},
        {false, 1, "1.1", "2", " CH1 Temp Out of value."},
        {true, 1, "1.8", "2"},
        {true, 1, "2.0", "2", " CH1 Temp Out of value."},
        {false, 1, "-1.0", "6"},
        {false, 1, "-1.0", "7", " CH1 Humi Out of value."},
        {false, 1, "1.1", "7", " CH1 Temp"}, // temperatures first
        {false, 2, "0.0", "-3"},
        {false, 2, "0.0", "-4", " CH2 Humi Out of value."},
        {false, 3, "-1.0", "0"},
        {false, 3, "-1.1", "0", " CH3 Temp Out of value."},
        {false, 4, "100.0", "60"},
    };
    for (const auto& row : rows) {
        const CalibEditor editor(offsets, readings, row.fahrenheit);
        const auto i = static_cast<std::size_t>(row.channel - 1);
        EXPECT_EQ(editor.temperatureEditable(row.channel), row.channel <= 3);
        CalibForm form = editor.opening();
        form.temperature[i] = row.temperature;
        form.humidity[i] = row.humidity;
        const Result<CommandFrame> frame = editor.frame(form);
        const std::string shown = "CH" + std::to_string(row.channel) + ' ' +
                                  row.temperature.toStdString() + ' ' + row.humidity.toStdString();
        EXPECT_EQ(frame.ok(), row.refused == nullptr) << shown;
        if (row.refused && !frame) {
            EXPECT_NE(frame.error().text().find(row.refused), std::string::npos) << shown;
        }
    }
}

// Offsets left as shown go back as the station sent them, even where the text
// shown would read back as another value.
TEST(CalibLogic, UntouchedOffsetsGoBackAsTheStationSentThem) {
    const struct {
        bool fahrenheit;
        std::uint8_t high, low, humidity; // CH1's three bytes
        QString shown, humidityShown;
    } rows[] = {
        {true, 0x00, 0x03, 0x00, "0.5", "0"}, // 0.5 °F would be stored as 2
        {false, 0xFF, 0xF1, 0xFB, "-1.5", "-5"}, {true, 0xFF, 0xF1, 0xFB, "-2.7", "-5"},
        {false, 0x7F, 0xFF, 0x7F, "--", "127"},  {false, 0xFF, 0xFF, 0x80, "--", "-128"},
    };
    for (const auto& row : rows) {
        const Block offsets = blockOf({0x00, row.high, row.low, row.humidity});
        const CalibEditor editor(offsets, Readings{}, row.fahrenheit);
        EXPECT_EQ(editor.opening().temperature[0], row.shown);
        EXPECT_EQ(editor.opening().humidity[0], row.humidityShown);
        const Result<CommandFrame> frame = editor.frame(editor.opening());
        ASSERT_TRUE(frame) << row.shown.toStdString();
        EXPECT_TRUE(
            std::equal(offsets.begin() + 1, offsets.begin() + 25, frame->bytes().begin() + 2))
            << row.shown.toStdString();
    }
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
    // Graph type 7 kept, never an undefined byte of our own; five areas only.
    EXPECT_EQ(frame->bytes(), blockOf({0x7B, 0x10, 7, 24, 0, 0, 0, 12, 0, 0, 0, 0, 1, 0,    0,   0,
                                       1,    0,    0, 0,  1, 0, 0, 0,  1, 0, 0, 0, 1, 0x40, 0x7D}));

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
}

// Each box of the Setup window against the station's byte: the item shown,
// and the byte a Save sends back for it. A byte no item stands for shows no
// selection and goes back unchanged.
TEST(SetupLogic, EveryBoxShowsItsItemAndSavesItsByte) {
    struct Row {
        int StationSettings::*field;
        int SetupSelection::*box;
        int byte;
        int item; // -1: none
    };
    using S = StationSettings;
    using B = SetupSelection;
    const Row rows[] = {
        {&S::graphType, &B::graphType, 0, 0},
        {&S::graphType, &B::graphType, 3, 3},
        {&S::graphType, &B::graphType, 4, -1},
        {&S::graphTimeHours, &B::graphTime, 12, 0},
        {&S::graphTimeHours, &B::graphTime, 72, 3},
        {&S::graphTimeHours, &B::graphTime, 36, -1},
        {&S::timeFormat, &B::timeFormat, 2, 2},
        {&S::timeFormat, &B::timeFormat, 3, -1},
        {&S::dateFormat, &B::dateFormat, 1, 1},
        {&S::dateFormat, &B::dateFormat, -1, -1},
        {&S::daylightSaving, &B::daylightSaving, 1, 1},
        {&S::daylightSaving, &B::daylightSaving, 2, -1},
        {&S::timeZoneHours, &B::timeZone, -12, 0},
        {&S::timeZoneHours, &B::timeZone, 12, 24},
        {&S::timeZoneHours, &B::timeZone, 13, -1},
        {&S::timeZoneHours, &B::timeZone, -13, -1},
        {&S::unit, &B::unit, 1, 1},
        {&S::unit, &B::unit, 2, -1},
    };
    for (const Row& row : rows) {
        StationSettings station;
        station.*row.field = row.byte;
        SetupSelection shown = selectionFor(station);
        EXPECT_EQ(shown.*row.box, row.item) << "byte " << row.byte;
        EXPECT_EQ(applySelection(station, shown), station) << "byte " << row.byte;
        // Choosing the first item always sends that item's byte.
        shown.*row.box = 0;
        EXPECT_EQ(selectionFor(applySelection(station, shown)).*row.box, 0) << "byte " << row.byte;
    }
    for (const auto& [text, minutes] : std::vector<std::pair<const char*, int>>{
             {"1", 1}, {"240", 240}, {"0", -1}, {"241", -1}, {"abc", -1}, {"1.5", -1}, {"", -1}}) {
        const Result<int> got = intervalFromText(QString::fromLatin1(text));
        EXPECT_EQ(got ? *got : -1, minutes) << text;
    }
}

// A backup restores onto the station it came from, whatever it holds: unset
// limits (both no-value pairs, and 0xFF for humidity), °F, a settings byte no
// item stands for, and limits and offsets right next to the no-value pair.
TEST(StationProfile, BackupRestoresAndReadsBackTheSame) {
    StationSnapshot station;
    station.came = kAllParts; // a five-area station: no eight-area marker
    // Graph type 7 matches no item; unit °F.
    station.settings = blockOf({0x00, 7, 24, 1, 2, 1, 0xFB, 1});
    for (std::size_t a = 0; a < kFiveAreas; ++a)
        station.settings[8 + 4 * a + 3] = static_cast<std::uint8_t>(a + 1);
    station.interval = 10;
    station.alarmSwitches = blockOf({0x00, 1, 0, 0x03, 0x0C, 0x30, 0xC0});
    station.temperatureLimits = limitsBlock(300, -100);
    const std::uint8_t pairs[] = {0x7F, 0xFF, 0xFF, 0xFF,  // CH1 unset, both ways
                                  0xFF, 0xFE, 0x00, 0x00,  // CH2 -0.2, 0.0
                                  0x00, 0x01, 0xFE, 0x70}; // CH3 0.1, -40.0
    std::copy(std::begin(pairs), std::end(pairs), station.temperatureLimits.begin() + 1);
    station.humidityLimits = humidityBlock();
    station.humidityLimits[1] = 0xFF; // CH1 humidity limits unset
    station.humidityLimits[2] = 0xFF;
    station.calibration = blockOf({0x00, 0x7F, 0xFF, 0xFF, 0xFF, 0xFE, 0x00});
    const auto fileOf = [](const StationSnapshot& s) {
        // Through the file's text, as backup writes it and restore reads it.
        return QJsonDocument::fromJson(QJsonDocument(profileJson(s)).toJson()).object();
    };
    const QJsonObject backup = fileOf(station);

    const Result<RestorePlan> same = planRestore(station, backup);
    ASSERT_TRUE(same) << same.error().text();
    EXPECT_TRUE(same->empty()) << "nothing to write onto the station it came from";

    // Onto the same station after everything was changed.
    StationSnapshot changed = station;
    changed.settings[7] = 0;
    changed.interval = 5;
    changed.temperatureLimits = limitsBlock(250, -50);
    changed.humidityLimits = humidityBlock();
    changed.calibration = Block{};
    const Result<RestorePlan> plan = planRestore(changed, backup);
    ASSERT_TRUE(plan) << plan.error().text();
    EXPECT_EQ(fileOf(plan->after), backup) << "a backup after the restore gives the same file";
    ASSERT_TRUE(plan->settings);
    EXPECT_EQ(plan->settings->bytes()[8], 1);
    EXPECT_EQ(plan->interval, 10);
    ASSERT_EQ(plan->alarms.size(), 2u) << "the switches are unchanged";
    Block temperatures = station.temperatureLimits;
    temperatures[1] = 0xFF; // no value goes out as 0xFF 0xFF
    EXPECT_TRUE(std::equal(temperatures.begin() + 1, temperatures.begin() + 33,
                           plan->alarms[0].bytes().begin() + 2));
    EXPECT_TRUE(std::equal(station.humidityLimits.begin() + 1, station.humidityLimits.begin() + 17,
                           plan->alarms[1].bytes().begin() + 2));
    ASSERT_TRUE(plan->calibration);
    EXPECT_EQ(plan->calibration->bytes(),
              blockOf({0x7B, 0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0, 0, 0, 0, 0,    0,
                       0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0x40, 0x7D}));

    // A hand-made file with a limit stored as the no-value pair is refused.
    QJsonObject alarms = backup["alarms"].toObject();
    QJsonObject ch2 = alarms["CH2"].toObject();
    ch2["temperature-low"] = -0.1;
    alarms["CH2"] = ch2;
    QJsonObject edited = backup;
    edited["alarms"] = alarms;
    const Result<RestorePlan> refused = planRestore(station, edited);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().text().find("Use -0.2 or 0.0."), std::string::npos)
        << refused.error().text();
}

TEST(LanguageLogic, FrameByte) {
    EXPECT_EQ(languageFrame(app::UiLanguage::German).bytes()[2], 0);
    EXPECT_EQ(languageFrame(app::UiLanguage::English).bytes()[2], 1);
    EXPECT_EQ(languageFrame(app::UiLanguage::English).bytes()[3], 0x40);
}
