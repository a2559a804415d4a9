#pragma once

#include "device/station_blocks.h"

#include <QString>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace vellumet::settings {

// Alarm limits in tenths of °C: -40.0 to 60.0; humidity limits 1 to 99 %.
inline constexpr int kTemperatureMinTenths = -400;
inline constexpr int kTemperatureMaxTenths = 600;
inline constexpr int kHumidityLimitMin = 1;
inline constexpr int kHumidityLimitMax = 99;

// What the Alarm window shows: both switches (0 ON, 1 OFF, -1 no selection),
// the 32 enable boxes and the 32 limit texts, channel 1 first. Temperatures
// are in the station's unit.
struct AlarmForm {
    int temperatureSwitch = 0;
    int humiditySwitch = 0;
    std::array<bool, kChannelCount> temperatureHighOn{};
    std::array<bool, kChannelCount> temperatureLowOn{};
    std::array<bool, kChannelCount> humidityHighOn{};
    std::array<bool, kChannelCount> humidityLowOn{};
    std::array<QString, kChannelCount> temperatureHigh;
    std::array<QString, kChannelCount> temperatureLow;
    std::array<QString, kChannelCount> humidityHigh;
    std::array<QString, kChannelCount> humidityLow;

    bool operator==(const AlarmForm&) const = default;
};

// A limit box's text as tenths of °C: trunc(x × 10) in °C, trunc((x − 32) /
// 1.8 × 10) in °F. "--" gives NO_VALUE; other text that is not a number, nothing.
std::optional<int> temperatureLimitTenths(const QString& text, bool fahrenheit);

// Special entries of AlarmValues and CalibValues besides NO_VALUE.
inline constexpr int kKeep = std::numeric_limits<int>::min(); // the station's own value
inline constexpr int kNotANumber = kKeep + 1;                 // text that is not a number

// An Alarm Save's values: switches 0 ON, 1 OFF, -1 the station's own byte;
// temperatures in tenths of °C, humidities in percent, each NO_VALUE, kKeep or
// kNotANumber as well. A window's form never gives a humidity NO_VALUE (its
// "--" is refused); a station profile does, to put back a limit the station
// held unset.
struct AlarmValues {
    int temperatureSwitch = -1;
    int humiditySwitch = -1;
    std::array<bool, kChannelCount> temperatureHighOn{};
    std::array<bool, kChannelCount> temperatureLowOn{};
    std::array<bool, kChannelCount> humidityHighOn{};
    std::array<bool, kChannelCount> humidityLowOn{};
    std::array<int, kChannelCount> temperatureHigh{};
    std::array<int, kChannelCount> temperatureLow{};
    std::array<int, kChannelCount> humidityHigh{};
    std::array<int, kChannelCount> humidityLow{};
};

// The three frames of an Alarm Save: switches 0x12, temperatures 0x14, humidities 0x15.
struct AlarmFrames {
    CommandFrame switches;
    CommandFrame temperatures;
    CommandFrame humidities;
};

// The Alarm window's logic: the form for the station's three blocks, and the
// checked frames for an edited form. A limit whose text the user did not
// change, and a switch without a selection, go back as the station sent them,
// so that a value shown rounded in °F is never changed by a Save.
class AlarmEditor {
public:
    AlarmEditor(const Block& switches, const Block& temperatureLimits, const Block& humidityLimits,
                bool fahrenheit);
    // Without a station: no limits, no enables, both switches ON.
    static AlarmEditor unconnected(bool fahrenheit);

    const AlarmForm& opening() const { return opening_; }
    bool fahrenheit() const { return fahrenheit_; }

    // The form's texts as values: an unchanged text keeps the station's value.
    AlarmValues values(const AlarmForm& form) const;
    // Every value kept: what the station holds now.
    AlarmValues keepAll() const;

    // Checks every limit (temperatures first, channel by channel, high before
    // low: "Temp Error"; then humidities: "Humi Error") and builds the frames.
    // A temperature that would go out as the station's no-value pair (-0.1 °C)
    // is refused with the nearest texts that can be stored.
    Result<AlarmFrames> frames(const AlarmValues& values) const;
    Result<AlarmFrames> frames(const AlarmForm& form) const { return frames(values(form)); }

private:
    Result<std::uint16_t> temperatureRaw(int value, std::uint16_t stationRaw, std::size_t channel,
                                         bool high) const;

    Block switches_{};
    Block temperatures_{};
    Block humidities_{};
    bool fahrenheit_ = false;
    AlarmForm opening_;
};

} // namespace vellumet::settings

namespace vellumet::settings {

// Sets one key of an Alarm form as the command line names it. Per channel
// (1..8): temperature-high, temperature-low (in the station's unit, or "--"),
// humidity-high, humidity-low (percent), and their switches
// temperature-high-alarm … humidity-low-alarm (on/off); for all channels:
// temperature-alarm and humidity-alarm (on/off). InvalidInput for an unknown
// key or a switch that is not on or off; the limits are checked by Save.
Status applyAlarmKey(AlarmForm& form, int channel, const std::string& key,
                     const std::string& value);
std::vector<std::string> alarmKeys();

} // namespace vellumet::settings
