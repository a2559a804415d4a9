#include "device/station_blocks.h"
#include "sim/virtual_station.h"

#include <gtest/gtest.h>

namespace vellumet {
namespace {

Block settingsWith(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
    Block b{};
    for (auto [at, value] : bytes)
        b[at] = value;
    return b;
}

TEST(StationSettingsDecode, FieldsAtTheirOffsets) {
    const StationSettings s = decodeStationSettings(settingsWith({{1, 3},
                                                                  {2, 48},
                                                                  {3, 2},
                                                                  {4, 1},
                                                                  {5, 1},
                                                                  {6, 0xFB},
                                                                  {7, 1},
                                                                  {8, 0x00},
                                                                  {9, 0x80},
                                                                  {10, 0x00},
                                                                  {11, 0x01},
                                                                  {36, 0x12},
                                                                  {37, 0x34},
                                                                  {38, 0x56},
                                                                  {39, 0x78}}));
    EXPECT_EQ(s.graphType, 3);
    EXPECT_EQ(s.graphTimeHours, 48);
    EXPECT_EQ(s.timeFormat, 2);
    EXPECT_EQ(s.dateFormat, 1);
    EXPECT_EQ(s.daylightSaving, 1);
    EXPECT_EQ(s.timeZoneHours, -5);
    EXPECT_EQ(s.unit, 1);
    EXPECT_EQ(s.areaMasks[0], 0x00800001u) << "big-endian";
    EXPECT_EQ(s.areaMasks[7], 0x12345678u);
    EXPECT_EQ(s.areaMasks[3], 0u);
}

TEST(StationSettingsDecode, GraphTimeOtherThanTheListReadsAs72) {
    for (int hours : {12, 24, 48})
        EXPECT_EQ(decodeStationSettings(settingsWith({{2, std::uint8_t(hours)}})).graphTimeHours,
                  hours);
    for (int odd : {0, 72, 13, 255})
        EXPECT_EQ(decodeStationSettings(settingsWith({{2, std::uint8_t(odd)}})).graphTimeHours, 72)
            << odd;
}

TEST(StationSettingsDecode, TimeZoneIsSigned) {
    EXPECT_EQ(decodeStationSettings(settingsWith({{6, 0xF4}})).timeZoneHours, -12);
    EXPECT_EQ(decodeStationSettings(settingsWith({{6, 0x0C}})).timeZoneHours, 12);
}

TEST(AreaMask, ThreeBitsPerChannel) {
    EXPECT_TRUE(areaShows(1u << 23, 8, AreaItem::HeatIndex));
    EXPECT_FALSE(areaShows(1u << 23, 8, AreaItem::DewPoint));
    EXPECT_TRUE(areaShows(1u << 3, 2, AreaItem::Temperature));
    EXPECT_TRUE(areaShows(1u << 4, 2, AreaItem::DewPoint));
    EXPECT_FALSE(areaShows(0xFFFFFFFFu, 9, AreaItem::Temperature));
    EXPECT_FALSE(areaShows(0xFFFFFFFFu, 0, AreaItem::Temperature));
}

TEST(AreaCount, EightOnlyWithTheMarker) {
    EXPECT_EQ(areaCount("{ZP7421X@}"), 8);
    EXPECT_EQ(areaCount("xx{ZP7421X@}yy"), 8);
    EXPECT_EQ(areaCount("{ZP7421@}"), 5);
    EXPECT_EQ(areaCount(""), 5);
}

TEST(FormatNames, ListsAndOutOfRange) {
    EXPECT_EQ(timeFormatName(1), "AM h:mm:ss");
    EXPECT_EQ(dateFormatName(2), "DD-MM-YYYY");
    EXPECT_EQ(timeFormatName(3), "");
    EXPECT_EQ(dateFormatName(-1), "");
}

TEST(AlarmDecode, LimitsSwitchesAndEnables) {
    Block sw{};
    sw[1] = 1; // humidity alarm off
    sw[2] = 0; // temperature alarm on
    sw[3] = 0b1000'0001;
    sw[4] = 0b0000'0010;
    sw[5] = 0b0000'0100;
    sw[6] = 0b1000'0000;
    Block t{};
    t.fill(0x00);
    t[1] = 0x00, t[2] = 0xFA;   // CH1 high 25.0
    t[3] = 0xFF, t[4] = 0x38;   // CH1 low -20.0
    t[5] = 0x7F, t[6] = 0xFF;   // CH2 high none
    t[7] = 0xFF, t[8] = 0xFF;   // CH2 low none
    t[29] = 0x02, t[30] = 0x58; // CH8 high 60.0
    t[31] = 0xFF, t[32] = 0x9C; // CH8 low -10.0
    Block h{};
    h[1] = 80, h[2] = 20;     // CH1
    h[3] = 0xFF, h[4] = 0xFF; // CH2 none
    h[15] = 99, h[16] = 1;    // CH8

    const AlarmSettings a = decodeAlarmSettings(sw, t, h);
    EXPECT_FALSE(a.humidityOn());
    EXPECT_TRUE(a.temperatureOn());
    EXPECT_FLOAT_EQ(a.temperature[0].high, 25.0f);
    EXPECT_FLOAT_EQ(a.temperature[0].low, -20.0f);
    EXPECT_EQ(a.temperature[1].high, NO_VALUE_F);
    EXPECT_EQ(a.temperature[1].low, NO_VALUE_F);
    EXPECT_FLOAT_EQ(a.temperature[7].high, 60.0f);
    EXPECT_FLOAT_EQ(a.temperature[7].low, -10.0f);
    EXPECT_EQ(a.humidity[0].high, 80);
    EXPECT_EQ(a.humidity[0].low, 20);
    EXPECT_EQ(a.humidity[1].high, NO_VALUE);
    EXPECT_EQ(a.humidity[7].high, 99);
    EXPECT_EQ(a.humidity[7].low, 1);
    EXPECT_TRUE(a.humidity[0].highEnabled);
    EXPECT_TRUE(a.humidity[7].highEnabled);
    EXPECT_FALSE(a.humidity[1].highEnabled);
    EXPECT_TRUE(a.humidity[1].lowEnabled);
    EXPECT_TRUE(a.temperature[2].highEnabled);
    EXPECT_FALSE(a.temperature[0].highEnabled);
    EXPECT_TRUE(a.temperature[7].lowEnabled);
}

TEST(AlarmState, OnlyAnEnabledLimitOfASwitchedOnQuantityTrips) {
    AlarmSettings a;
    a.temperature[2] = {30.0f, 5.0f, true, true};
    a.humidity[2] = {80, 20, true, false};
    struct Case {
        const char* what;
        int temperatureSwitch, humiditySwitch;
        float temperature;
        std::int32_t humidity;
        AlarmState expected;
    };
    const Case cases[] = {
        {"inside both", 0, 0, 20.0f, 50, AlarmState::None},
        {"at the high limit", 0, 0, 30.0f, 80, AlarmState::None},
        {"above the high limit", 0, 0, 30.1f, 50, AlarmState::High},
        {"below the low limit", 0, 0, 4.9f, 50, AlarmState::Low},
        {"temperature switched off", 1, 0, 40.0f, 50, AlarmState::None},
        {"humidity above", 0, 0, 20.0f, 81, AlarmState::High},
        {"humidity low limit not enabled", 0, 0, 20.0f, 10, AlarmState::None},
        {"humidity switched off", 0, 1, 20.0f, 95, AlarmState::None},
        {"temperature goes first", 0, 0, 4.0f, 95, AlarmState::Low},
        {"missing temperature", 0, 0, NO_VALUE_F, 50, AlarmState::None},
        {"missing humidity", 0, 0, 20.0f, NO_VALUE, AlarmState::None},
    };
    for (const Case& c : cases) {
        a.temperatureSwitch = c.temperatureSwitch;
        a.humiditySwitch = c.humiditySwitch;
        EXPECT_EQ(alarmStateOf(a, 2, {c.temperature, c.humidity}), c.expected) << c.what;
        EXPECT_EQ(alarmStateOf(a, 3, {c.temperature, c.humidity}), AlarmState::None)
            << "channel 4 has no limits enabled: " << c.what;
    }
    a.temperature[0] = {NO_VALUE_F, NO_VALUE_F, true, true};
    EXPECT_EQ(alarmStateOf(a, 0, {60.0f, 50}), AlarmState::None) << "a missing limit never trips";
    EXPECT_EQ(alarmStateOf(a, 8, {60.0f, 50}), AlarmState::None);
    EXPECT_EQ(alarmStateName(AlarmState::High), "high");
    EXPECT_EQ(alarmStateName(AlarmState::Low), "low");
    EXPECT_EQ(alarmStateName(AlarmState::None), "");
}

TEST(CalibrationDecode, SignedOffsets) {
    Block b{};
    const std::uint8_t triples[] = {0x00, 0x0F, 0x05, 0xFF, 0xF1, 0xFB,
                                    0x7F, 0xFF, 0x00, 0xFF, 0xFF, 0xFF};
    std::copy(std::begin(triples), std::end(triples), b.begin() + 1);
    b[22] = 0x00, b[23] = 0x03, b[24] = 0x02; // CH8
    const CalibrationOffsets c = decodeCalibration(b);
    EXPECT_FLOAT_EQ(c[0].temperature, 1.5f);
    EXPECT_EQ(c[0].humidity, 5);
    EXPECT_FLOAT_EQ(c[1].temperature, -1.5f);
    EXPECT_EQ(c[1].humidity, -5);
    EXPECT_EQ(c[2].temperature, NO_VALUE_F);
    EXPECT_EQ(c[3].temperature, NO_VALUE_F);
    EXPECT_EQ(c[3].humidity, -1) << "0xFF reads as -1";
    EXPECT_FLOAT_EQ(c[7].temperature, 0.3f);
    EXPECT_EQ(c[7].humidity, 2);
}

TEST(IntervalFrame, LayoutAndRange) {
    Block expected{};
    expected[0] = 0x7B, expected[1] = 0x40, expected[2] = 10, expected[3] = 0x40,
    expected[4] = 0x7D;
    EXPECT_EQ(intervalFrame(10).bytes(), expected);
    EXPECT_EQ(intervalFrame(240).bytes()[2], 240);
    for (int ok : {1, 5, 240})
        EXPECT_TRUE(intervalInRange(ok)) << ok;
    for (int bad : {0, 241, -5, 1000})
        EXPECT_FALSE(intervalInRange(bad)) << bad;
}

TEST(SetLoggingInterval, ChecksRangeThenConnectionAndSendsNothingOnFailure) {
    auto station = std::make_shared<sim::VirtualStation>();
    StationLink link(std::make_shared<sim::VirtualTransport>(station), LinkTiming::quick());
    EXPECT_EQ(setLoggingInterval(link, 10).code(), Errc::NotConnected);
    ASSERT_TRUE(link.openStation());
    EXPECT_EQ(setLoggingInterval(link, 0).code(), Errc::InvalidInput);
    EXPECT_EQ(setLoggingInterval(link, 241).code(), Errc::InvalidInput);
    EXPECT_TRUE(station->receivedFrames().empty());
    EXPECT_TRUE(setLoggingInterval(link, 30).ok());
    EXPECT_EQ(station->interval(), 30);
}

} // namespace
} // namespace vellumet
