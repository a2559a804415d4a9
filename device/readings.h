#pragma once

#include "command_frame.h"

#include <array>
#include <cstdint>
#include <string>

namespace vellumet {

// Marks a missing or out-of-range value in readings, blocks and records alike.
inline constexpr std::int32_t NO_VALUE = 65535;
inline constexpr float NO_VALUE_F = 65535.0f;

inline constexpr int kChannelCount = 8;

struct ChannelReading {
    float temperature = NO_VALUE_F;   // °C, one decimal
    std::int32_t humidity = NO_VALUE; // percent, 1..99

    bool hasTemperature() const { return temperature != NO_VALUE_F; }
    bool hasHumidity() const { return humidity != NO_VALUE; }
    bool operator==(const ChannelReading&) const = default;
};

using Readings = std::array<ChannelReading, kChannelCount>;

// Decodes the readings answer (answer bytes 1..24) and drops values outside
// the station's range: -40..60 °C and 1..99 %.
Readings decodeReadings(const Block& readingsAnswer);

// Signed tenths of a degree as the station sends them; nullopt-like NO_VALUE_F
// for its two "no value" pairs.
float decodeTemperature(std::uint8_t hi, std::uint8_t lo);

// Dew point in °C from a temperature in °C and a relative humidity in percent,
// or NO_VALUE_F when it cannot be given.
float dewPoint(float temperature, std::int32_t humidity);

// Dew point of one channel as the display shows it: missing when the
// temperature is missing.
float channelDewPoint(const ChannelReading& reading);

// How a value text is written.
enum class TextForm {
    WithUnit,   // "23.5  °C", "45  %"
    NumberOnly, // the number and two blanks, no unit
    Difference, // a temperature difference: no unit, no offset in °F ("%0.1f")
};

// Texts of every window; "--" stands for a missing value.
std::string formatTemperature(float value, TextForm form, bool fahrenheit);
// Difference is not a humidity form and reads as NumberOnly.
std::string formatHumidity(std::int32_t value, TextForm form);

} // namespace vellumet
