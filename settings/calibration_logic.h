#pragma once

#include "alarm_logic.h"
#include "device/readings.h"
#include "device/station_blocks.h"

#include <QString>

#include <array>

namespace vellumet::settings {

// What the Calibration window shows: per channel the temperature offset in
// the station's unit (a difference: no 32 in °F) and the humidity offset.
struct CalibForm {
    std::array<QString, kChannelCount> temperature;
    std::array<QString, kChannelCount> humidity;

    bool operator==(const CalibForm&) const = default;
};

// A Calibration Save's values: tenths of °C and percent, each NO_VALUE,
// kKeep or kNotANumber as well.
struct CalibValues {
    std::array<int, kChannelCount> temperature{};
    std::array<int, kChannelCount> humidity{};
};

// An offset box's text as tenths of °C: trunc(x × 10), in °F trunc(x / 1.8 × 10).
// "--" gives NO_VALUE; other text that is not a number, nothing.
std::optional<int> offsetTenths(const QString& text, bool fahrenheit);

// The Calibration window's logic. The checks keep each channel's corrected
// reading (the reading with the station's offset taken out and the new one
// put in) within -40.0 to 60.0 °C and 0 to 99 %; a channel without a reading
// is not checked and its box cannot be changed. An offset the user did not
// change goes back as the station sent it.
class CalibEditor {
public:
    CalibEditor(const Block& offsets, const Readings& readings, bool fahrenheit);
    // Without a station: all offsets zero.
    static CalibEditor unconnected(const Readings& readings, bool fahrenheit);

    const CalibForm& opening() const { return opening_; }
    bool fahrenheit() const { return fahrenheit_; }
    bool temperatureEditable(int channel) const;
    bool humidityEditable(int channel) const;

    // " CH%d Temp Out of value." for the first channel whose corrected
    // temperature is out of range (all temperatures before any humidity),
    // " CH%d Humi Out of value." likewise; else the 0x11 frame. An offset
    // that would go out as a no-value pair (-0.1 °C) is refused with the
    // nearest texts that can be stored.
    Result<CommandFrame> frame(const CalibValues& values) const;
    Result<CommandFrame> frame(const CalibForm& form) const { return frame(values(form)); }
    // The form's texts as values: an unchanged text keeps the station's value.
    CalibValues values(const CalibForm& form) const;

private:
    Block offsets_{};
    Readings readings_{};
    bool fahrenheit_ = false;
    CalibForm opening_;
};

} // namespace vellumet::settings
