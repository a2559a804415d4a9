#pragma once

#include "command_frame.h"
#include "readings.h"
#include "station_link.h"

#include <array>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

namespace vellumet {

// Decoders of the answer blocks the settings windows show, and the builders
// of the frames that change them. Plain values in, plain values out, so that
// the dialogs and the command-line tool share one reading of every byte.

inline constexpr int kMaxAreas = 8;
inline constexpr int kFiveAreas = 5;
// Stations whose identification carries this marker have eight display areas.
inline constexpr std::string_view kEightAreaMarker = "{ZP7421X@}";

bool isEightAreaStation(std::string_view identText);
int areaCount(std::string_view identText);

// The answer to 0x04, as the Setup dialog reads it.
struct StationSettings {
    int graphType = 0;       // 0 temperature, 1 humidity, 2 dew point, 3 heat index
    int graphTimeHours = 12; // 12, 24, 48; any other byte reads as 72
    int timeFormat = 0;      // index into timeFormatNames
    int dateFormat = 0;      // index into dateFormatNames
    int daylightSaving = 0;  // 0 off, 1 on
    int timeZoneHours = 0;   // -12..12 (a signed byte)
    int unit = 0;            // 0 °C, non-zero °F
    // Three bits per channel, channel n at bits 3(n-1) (temperature),
    // 3(n-1)+1 (dew point) and 3(n-1)+2 (heat index).
    std::array<std::uint32_t, kMaxAreas> areaMasks{};

    bool operator==(const StationSettings&) const = default;
};

StationSettings decodeStationSettings(const Block& settingsAnswer);

enum class AreaItem { Temperature = 0, DewPoint = 1, HeatIndex = 2 };
bool areaShows(std::uint32_t mask, int channel, AreaItem item);

// The station's fixed item texts; an index outside the list gives "".
std::string_view timeFormatName(int index);
std::string_view dateFormatName(int index);

// The answers to 0x06, 0x08 and 0x09, as the Alarm dialog reads them.
struct TemperatureAlarm {
    float high = NO_VALUE_F; // °C
    float low = NO_VALUE_F;
    bool highEnabled = false;
    bool lowEnabled = false;
};

struct HumidityAlarm {
    std::int32_t high = NO_VALUE; // percent
    std::int32_t low = NO_VALUE;
    bool highEnabled = false;
    bool lowEnabled = false;
};

struct AlarmSettings {
    int temperatureSwitch = 0; // 0 on, 1 off, as the station sends it
    int humiditySwitch = 0;
    std::array<TemperatureAlarm, kChannelCount> temperature{};
    std::array<HumidityAlarm, kChannelCount> humidity{};

    bool temperatureOn() const { return temperatureSwitch == 0; }
    bool humidityOn() const { return humiditySwitch == 0; }
};

AlarmSettings decodeAlarmSettings(const Block& switches, const Block& temperatureLimits,
                                  const Block& humidityLimits);

// Where one channel's reading stands against the limits the station holds:
// past an enabled limit of a quantity whose switch is on (strictly above the
// high limit, strictly below the low one). A missing value or limit never
// trips. Temperature is looked at first, then humidity; within one quantity
// the high limit wins.
enum class AlarmState { None, High, Low };

// channel is 0-based.
AlarmState alarmStateOf(const AlarmSettings& alarms, int channel, const ChannelReading& reading);
// "high", "low", or "" for None: the words the command line prints.
std::string_view alarmStateName(AlarmState state);

// The answer to 0x05, as the Calibration dialog reads it.
struct CalibrationOffset {
    float temperature = NO_VALUE_F; // °C, a difference
    std::int32_t humidity = 0;      // percent, signed
};

using CalibrationOffsets = std::array<CalibrationOffset, kChannelCount>;

CalibrationOffsets decodeCalibration(const Block& calibrationAnswer);

// Logging interval.
inline constexpr int kIntervalMinMinutes = 1;
inline constexpr int kIntervalMaxMinutes = 240;

bool intervalInRange(int minutes);
// 0x40 with the interval as one byte; the caller checks the range first.
CommandFrame intervalFrame(int minutes);

// Set Interval: range check (InvalidInput), then the interval write 0x40 and
// the closing 0x2F. No screen-status query is made for the interval.
Status setLoggingInterval(StationLink& link, int minutes, std::stop_token stop = {});

// The settings write 0x10: the fields of the settings block one byte further
// on, the masks of five areas, or of eight on an eight-area station. The graph
// time is sent as 12, 24, 48 or 72 hours.
CommandFrame settingsFrame(const StationSettings& settings, int areas);

// How many payload bytes of a write frame land in the block its query
// answers (from byte 1 on): settings 7 + 4 per area, alarm blocks 1, 3 and 4
// 6, 32 and 16, calibration 24; 0 for any other frame.
std::size_t writePayloadSize(const CommandFrame& frame, int areas);
// The block as the station holds it after taking the write frame.
Block blockAfterWrite(const Block& block, const CommandFrame& frame, int areas);
// Whether the block the station sends holds the frame's payload.
bool blockHolds(const Block& block, const CommandFrame& frame, int areas);

// The identification answer as text: up to its first zero byte, Latin-1
// taken to UTF-8.
std::string decodeIdentText(const Block& identAnswer);

} // namespace vellumet
