#pragma once

#include "readings.h"
#include "station_blocks.h"
#include "station_link.h"

#include <functional>
#include <stop_token>
#include <string>

namespace vellumet {

// The parts of the station's state, each read by its own queries.
enum class StationPart : unsigned {
    Settings = 1u << 0,        // 0x04: the settings block, with the area masks and the unit
    Identification = 1u << 1,  // 0xFE
    Interval = 1u << 2,        // 0x41
    Alarms = 1u << 3,          // alarm blocks 1, 3 and 4, all three
    Calibration = 1u << 4,     // 0x05
    CurrentReadings = 1u << 5, // 0x03
};

inline constexpr unsigned kAllParts = 0x3F;
// Everything but the readings: what the station tells about itself.
inline constexpr unsigned kInfoParts =
    kAllParts & ~static_cast<unsigned>(StationPart::CurrentReadings);

// Whether a reading of the station ends with the current readings.
enum class StationRead { Whole, WithoutReadings };

// The four steps of a reading of the whole station, in the order they run.
enum class RefreshStep {
    StationInfo,     // settings, identification, logging interval
    AlarmLimits,     // alarm blocks 1, 3 and 4
    Calibration,     // 0x05
    CurrentReadings, // 0x03
};

// Everything the station tells about itself at one moment, as it sent it,
// and which parts came. A part that did not come holds zeros (readings:
// every value missing). Plain data: front ends share it as a
// shared_ptr<const StationSnapshot>.
struct StationSnapshot {
    Block settings{};
    std::string identText;
    int interval = 0;
    Block alarmSwitches{};     // block 1
    Block temperatureLimits{}; // block 3
    Block humidityLimits{};    // block 4
    Block calibration{};
    Readings readings{};

    unsigned came = 0;        // StationPart bits
    bool stopped = false;     // cancelled between or inside steps
    bool stationGone = false; // the station went away while it was read

    bool has(StationPart part) const { return (came & static_cast<unsigned>(part)) != 0; }
    bool complete(unsigned wanted = kAllParts) const { return (came & wanted) == wanted; }
    // The wanted parts that did not come, in reading order: "identification, interval".
    std::string missingText(unsigned wanted = kAllParts) const;

    int areas() const { return areaCount(identText); }
    bool fahrenheit() const { return settings[7] != 0; }
    StationSettings stationSettings() const { return decodeStationSettings(settings); }
    AlarmSettings alarms() const;
    CalibrationOffsets calibrationOffsets() const { return decodeCalibration(calibration); }

    // This snapshot with every part that came in fresh taken from there; the
    // other parts keep what they held. Stopped and gone are fresh's.
    StationSnapshot updatedWith(const StationSnapshot& fresh) const;
};

// The one reading of the whole station every front end runs: settings,
// identification, interval (all three sent even when one goes unanswered),
// alarm blocks 1, 3 and 4, calibration, readings (unless left out). After
// each step afterStep sees it with what has come so far. Stops between steps
// once stop is requested.
StationSnapshot
readStation(StationLink& link, std::stop_token stop = {},
            const std::function<void(RefreshStep, const StationSnapshot&)>& afterStep = {},
            StationRead read = StationRead::Whole);

} // namespace vellumet
