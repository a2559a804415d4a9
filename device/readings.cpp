#include "readings.h"

#include <cmath>
#include <cstdio>

namespace vellumet {

namespace {

std::string printf1(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

void eraseAll(std::string& text, const std::string& what) {
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what))
        text.erase(pos, what.size());
}

} // namespace

float decodeTemperature(std::uint8_t hi, std::uint8_t lo) {
    if ((hi == 0xFF && lo == 0xFF) || (hi == 0x7F && lo == 0xFF))
        return NO_VALUE_F;
    const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(hi << 8 | lo));
    return static_cast<float>(raw / 10.0);
}

Readings decodeReadings(const Block& answer) {
    Readings readings;
    for (int n = 1; n <= kChannelCount; ++n) {
        ChannelReading& r = readings[n - 1];
        r.temperature = decodeTemperature(answer[3 * n - 2], answer[3 * n - 1]);
        const std::uint8_t h = answer[3 * n];
        r.humidity = h == 0xFF ? NO_VALUE : h;
    }
    for (ChannelReading& r : readings) {
        if (r.temperature < -40.0f || r.temperature > 60.0f)
            r.temperature = NO_VALUE_F;
        if (r.humidity < 1 || r.humidity > 99)
            r.humidity = NO_VALUE;
    }
    return readings;
}

float dewPoint(float t, std::int32_t rh) {
    if (rh == NO_VALUE)
        return NO_VALUE_F;
    // Each step is rounded to float on purpose: the station computes it so,
    // and only this way do the shown digits agree with its own display.
    const auto es = static_cast<float>(6.107 * std::pow(10.0, 7.6 * t / (t + 240.7)) / 10.0);
    const auto v = static_cast<float>(std::log(es * static_cast<double>(rh) / 100.0 / 0.61078));
    const auto td = static_cast<float>(241.88 * v / (17.558 - v));
    if (!(td <= 60.0f && td >= -40.0f)) // also rejects NaN from a zero humidity
        return NO_VALUE_F;
    return td;
}

float channelDewPoint(const ChannelReading& reading) {
    if (!reading.hasTemperature())
        return NO_VALUE_F;
    return dewPoint(reading.temperature, reading.humidity);
}

std::string formatTemperature(float value, TextForm form, bool fahrenheit) {
    if (form == TextForm::Difference) {
        const double shown = fahrenheit ? value * 1.8 : value;
        return printf1("%0.1f", shown);
    }
    std::string text;
    if (value == NO_VALUE_F)
        text = fahrenheit ? "--  °F" : "--  °C";
    else if (fahrenheit)
        text = printf1("%0.1f  °F", value * 1.8 + 32);
    else
        text = printf1("%0.1f  °C", value);
    if (form == TextForm::NumberOnly) {
        eraseAll(text, "°C");
        eraseAll(text, "°F");
    }
    return text;
}

std::string formatHumidity(std::int32_t value, TextForm form) {
    std::string text = value == NO_VALUE ? std::string("--  %") : std::to_string(value) + "  %";
    if (form != TextForm::WithUnit)
        eraseAll(text, "%");
    return text;
}

} // namespace vellumet
