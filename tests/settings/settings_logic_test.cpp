#include "settings/alarm_logic.h"
#include "settings/calibration_logic.h"
#include "settings/language_logic.h"
#include "settings/setup_logic.h"
#include "settings/station_profile.h"

#include <QJsonDocument>

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

// Text in the station's unit to the tenths of °C the frame carries: cut
// towards zero, which below 32 °F is not the same as rounding down.
TEST(AlarmLogic, LimitTextsAreStoredTruncatedTowardZero) {
    struct Case {
        bool fahrenheit;
        QString text;
        int stored;
    };
    const Case cases[] = {
        {true, "77.0", 250},   {true, "71.6", 219},   {true, "31.9", 0},       {true, "31.6", -2},
        {true, "31.5", -2},    {true, "28.5", -19},   {true, "14.0", -100},    {true, "0.0", -177},
        {true, "-39.9", -399}, {true, "-40.0", -400}, {false, "-20.05", -200}, {false, "-0.25", -2},
        {false, "60.09", 600},
    };
    for (const Case& c : cases) {
        const AlarmEditor editor(Block{}, limitsBlock(350, -100), humidityBlock(), c.fahrenheit);
        AlarmForm form = editor.opening();
        form.temperatureLow[4] = c.text;
        const Result<AlarmFrames> frames = editor.frames(form);
        ASSERT_TRUE(frames) << c.text.toStdString() << ": " << frames.error().text();
        EXPECT_EQ(tenthsAt(frames->temperatures.bytes(), 20), c.stored) << c.text.toStdString();
    }
    // 21.9 °C shows as 71.4 °F, which would read back as 218: untouched, it
    // goes back as the station sent it.
    const AlarmEditor editor(Block{}, limitsBlock(219, -100), humidityBlock(), true);
    EXPECT_EQ(editor.opening().temperatureHigh[0], QStringLiteral("71.4"));
    EXPECT_EQ(tenthsAt(editor.frames(editor.opening())->temperatures.bytes(), 2), 219);
}

TEST(AlarmLogic, ChecksInOrderWithTheirMessages) {
    struct Case {
        bool fahrenheit;
        QString temperature;
        QString humidity;
        const char* message; // nullptr: accepted
    };
    const Case cases[] = {
        {false, "60.0", "99", nullptr},
        {false, "-40.0", "1", nullptr},
        {false, "60.1", "50", "Temp Error: the high limit of CH4 must be from -40.0 to 60.0 °C."},
        {false, "-40.1", "50", "Temp Error"},
        {false, "abc", "50", "Temp Error"}, // letters are not sent as 0 °C
        {false, "30", "100", "Humi Error: the low limit of CH6 must be from 1 to 99 %."},
        {false, "30", "0", "Humi Error"},
        {false, "30", "--", "Humi Error"},
        {false, "70", "100", "Temp Error"}, // temperatures are checked first
        {true, "140.0", "50", nullptr},
        {true, "140.2", "50", "Temp Error: the high limit of CH4 must be from -40.0 to 140.0 °F."},
        // Stored as 0xFF 0xFF, the station's "no limit".
        {false, "-0.1", "50",
         "CH4: -0.1 °C cannot be stored: the station reads -0.1 °C as no value. Use -0.2 "
         "or 0.0."},
        {false, "-0.15", "50", "Use -0.2 or 0.0."},
        {true, "31.8", "50",
         "CH4: 31.7 to 31.8 °F cannot be stored: the station reads -0.1 °C as no value. Use "
         "31.6 or 31.9."},
        {true, "31.65", "50", "Use 31.6 or 31.9."},
    };
    for (const Case& c : cases) {
        const AlarmEditor editor(Block{}, limitsBlock(350, -100), humidityBlock(), c.fahrenheit);
        AlarmForm form = editor.opening();
        form.temperatureHigh[3] = c.temperature;
        form.humidityLow[5] = c.humidity;
        const Result<AlarmFrames> frames = editor.frames(form);
        if (!c.message) {
            EXPECT_TRUE(frames) << c.temperature.toStdString();
        } else {
            ASSERT_FALSE(frames) << c.temperature.toStdString();
            EXPECT_NE(frames.error().text().find(c.message), std::string::npos)
                << frames.error().text();
        }
    }
}

TEST(CalibLogic, CorrectedReadingsAndReservedOffsets) {
    Readings readings{};
    readings[0] = {58.0f, 95};
    readings[1] = {20.0f, 3};
    Block offsets{};
    offsets[3] = 2; // CH1 humidity offset 2
    struct Case {
        bool fahrenheit;
        int channel;
        QString temperature;
        QString humidity;
        const char* message; // nullptr: accepted
    };
    const Case cases[] = {
        {false, 1, "2.0", "2", nullptr},
        {false, 1, "2.1", "2", " CH1 Temp Out of value."},
        {false, 1, "0.0", "6", nullptr},
        {false, 1, "0.0", "7", " CH1 Humi Out of value."},
        {false, 2, "0.0", "-3", nullptr},
        {false, 2, "0.0", "-4", " CH2 Humi Out of value."},
        {false, 2, "abc", "0", " CH2 Temp Out of value."},
        // Stored as 0xFF 0xFF or 0x7F 0xFF, which read back as no offset.
        {false, 3, "-0.1", "0",
         " CH3 -0.1 °C cannot be stored: the station reads -0.1 °C as no value. Use -0.2 or "
         "0.0."},
        {true, 3, "-0.2", "0",
         " CH3 -0.3 to -0.2 °F cannot be stored: the station reads -0.1 °C as no value. Use "
         "-0.4 or -0.1."},
        {false, 3, "3276.7", "0", "Use 3276.6."},
    };
    for (const Case& c : cases) {
        const CalibEditor editor(offsets, readings, c.fahrenheit);
        CalibForm form = editor.opening();
        form.temperature[static_cast<std::size_t>(c.channel - 1)] = c.temperature;
        form.humidity[static_cast<std::size_t>(c.channel - 1)] = c.humidity;
        const Result<CommandFrame> frame = editor.frame(form);
        if (!c.message) {
            EXPECT_TRUE(frame) << c.temperature.toStdString() << ": " << frame.error().text();
        } else {
            ASSERT_FALSE(frame) << c.temperature.toStdString();
            EXPECT_NE(frame.error().text().find(c.message), std::string::npos)
                << frame.error().text();
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

// Offsets are differences: in °F no 32 comes off, and the cut is towards zero.
TEST(CalibLogic, OffsetTextsAreStoredTruncatedTowardZero) {
    struct Case {
        bool fahrenheit;
        QString text;
        int stored;
    };
    const Case cases[] = {
        {true, "2.7", 15},   {true, "-2.7", -15},  {true, "-1.0", -5},
        {true, "-0.5", -2},  {true, "-0.4", -2},   {true, "-0.1", 0},
        {true, "-3.6", -20}, {false, "-0.25", -2}, {false, "-1.55", -15},
    };
    for (const Case& c : cases) {
        const CalibEditor editor(Block{}, Readings{}, c.fahrenheit);
        CalibForm form = editor.opening();
        form.temperature[6] = c.text;
        const Result<CommandFrame> frame = editor.frame(form);
        ASSERT_TRUE(frame) << c.text.toStdString() << ": " << frame.error().text();
        EXPECT_EQ(tenthsAt(frame->bytes(), 20), c.stored) << c.text.toStdString();
    }
    // 0.3 °C shows as 0.5 °F, which would read back as 2: untouched, it goes back as 3.
    Block offsets{};
    offsets[2] = 3;
    const CalibEditor editor(offsets, Readings{}, true);
    EXPECT_EQ(editor.opening().temperature[0], QStringLiteral("0.5"));
    EXPECT_EQ(editor.frame(editor.opening())->bytes()[3], 3);
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
