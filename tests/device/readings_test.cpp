#include "device/readings.h"

#include <gtest/gtest.h>

namespace vellumet {
namespace {

Block readingsWith(int channel, std::uint8_t hi, std::uint8_t lo, std::uint8_t h) {
    Block b{};
    b.fill(0xFF);
    b[3 * channel - 2] = hi;
    b[3 * channel - 1] = lo;
    b[3 * channel] = h;
    return b;
}

TEST(DecodeReadings, TemperaturesAndSentinels) {
    struct Case {
        std::uint8_t hi, lo;
        float expected;
    } cases[] = {
        {0x00, 0xFA, 25.0f},      {0xFF, 0x9C, -10.0f},     {0xFF, 0x00, -25.6f},
        {0xFE, 0x70, -40.0f},     {0x02, 0x58, 60.0f},      {0x02, 0x59, NO_VALUE_F},
        {0x7F, 0xFF, NO_VALUE_F}, {0xFF, 0xFF, NO_VALUE_F}, {0x7F, 0xFE, NO_VALUE_F},
        {0xFE, 0x6F, NO_VALUE_F}, // -40.1
    };
    for (const Case& c : cases) {
        const Readings r = decodeReadings(readingsWith(3, c.hi, c.lo, 50));
        EXPECT_FLOAT_EQ(r[2].temperature, c.expected) << int(c.hi) << "," << int(c.lo);
        EXPECT_EQ(r[2].humidity, 50);
    }
    // 0x7F 0xFE decodes to 3276.6 before the range pass drops it.
    EXPECT_FLOAT_EQ(decodeTemperature(0x7F, 0xFE), 3276.6f);
}

TEST(DecodeReadings, HumidityRange) {
    const std::pair<std::uint8_t, std::int32_t> cases[] = {
        {0, NO_VALUE}, {1, 1}, {99, 99}, {100, NO_VALUE}, {0xFF, NO_VALUE}};
    for (auto [byte, expected] : cases)
        EXPECT_EQ(decodeReadings(readingsWith(8, 0, 0xFA, byte))[7].humidity, expected)
            << int(byte);
}

TEST(DecodeReadings, EachChannelFromItsOwnBytes) {
    Block b{};
    for (int n = 1; n <= 8; ++n) {
        b[3 * n - 2] = 0;
        b[3 * n - 1] = static_cast<std::uint8_t>(n * 10); // n.0 °C
        b[3 * n] = static_cast<std::uint8_t>(n + 20);
    }
    b[25] = 0x55; // bytes past channel 8 are not read
    const Readings r = decodeReadings(b);
    for (int n = 1; n <= 8; ++n) {
        EXPECT_FLOAT_EQ(r[n - 1].temperature, static_cast<float>(n));
        EXPECT_EQ(r[n - 1].humidity, n + 20);
    }
}

TEST(DewPoint, KnownFigures) {
    EXPECT_NEAR(dewPoint(25.0f, 50), 13.886f, 0.0005f);
    EXPECT_NEAR(dewPoint(20.0f, 65), 13.246f, 0.0005f);
    EXPECT_NEAR(dewPoint(0.0f, 80), -3.037f, 0.0005f);
    EXPECT_EQ(dewPoint(-40.0f, 1), NO_VALUE_F);
    for (float t : {-40.0f, 0.0f, 25.0f, 60.0f, NO_VALUE_F})
        EXPECT_EQ(dewPoint(t, NO_VALUE), NO_VALUE_F);
    EXPECT_EQ(dewPoint(25.0f, 0), NO_VALUE_F) << "zero humidity must not give NaN";
    EXPECT_EQ(formatTemperature(dewPoint(25.0f, 50), TextForm::WithUnit, false), "13.9  °C");
    // Rounded to single precision at every step, as the station does: in
    // double throughout this one would show 32.3.
    EXPECT_EQ(formatTemperature(dewPoint(37.4f, 75), TextForm::WithUnit, false), "32.2  °C");
}

TEST(DewPoint, MissingTemperatureShowsMissing) {
    EXPECT_EQ(channelDewPoint({NO_VALUE_F, 50}), NO_VALUE_F);
    EXPECT_EQ(channelDewPoint({25.0f, NO_VALUE}), NO_VALUE_F);
    EXPECT_NEAR(channelDewPoint({25.0f, 50}), 13.886f, 0.0005f);
}

TEST(Format, TemperatureModes) {
    EXPECT_EQ(formatTemperature(23.5f, TextForm::WithUnit, false), "23.5  °C");
    EXPECT_EQ(formatTemperature(-10.0f, TextForm::WithUnit, false), "-10.0  °C");
    EXPECT_EQ(formatTemperature(25.0f, TextForm::WithUnit, true), "77.0  °F");
    EXPECT_EQ(formatTemperature(NO_VALUE_F, TextForm::WithUnit, false), "--  °C");
    EXPECT_EQ(formatTemperature(NO_VALUE_F, TextForm::WithUnit, true), "--  °F");
    EXPECT_EQ(formatTemperature(25.0f, TextForm::NumberOnly, false), "25.0  ");
    EXPECT_EQ(formatTemperature(25.0f, TextForm::NumberOnly, true), "77.0  ");
    EXPECT_EQ(formatTemperature(NO_VALUE_F, TextForm::NumberOnly, true), "--  ");
    EXPECT_EQ(formatTemperature(1.5f, TextForm::Difference, true), "2.7");
    EXPECT_EQ(formatTemperature(1.5f, TextForm::Difference, false), "1.5");
    EXPECT_EQ(formatTemperature(-0.5f, TextForm::Difference, false), "-0.5");
}

TEST(Format, Humidity) {
    EXPECT_EQ(formatHumidity(NO_VALUE, TextForm::WithUnit), "--  %");
    EXPECT_EQ(formatHumidity(45, TextForm::WithUnit), "45  %");
    EXPECT_EQ(formatHumidity(45, TextForm::NumberOnly), "45  ");
    EXPECT_EQ(formatHumidity(NO_VALUE, TextForm::NumberOnly), "--  ");
}

} // namespace
} // namespace vellumet
